// Stands in for the service control manager's database: the services and drivers of the server and their states.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace lab::host {

class Clock;
class IniFile;

// Results are numbered like the Windows error codes they stand for, so the Win32 layer passes them on.
namespace svcerr {
constexpr uint32_t kSuccess = 0;
constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kDependentServicesRunning = 1051;
constexpr uint32_t kInvalidServiceControl = 1052;
constexpr uint32_t kAlreadyRunning = 1056;
constexpr uint32_t kServiceDisabled = 1058;
constexpr uint32_t kDoesNotExist = 1060;
constexpr uint32_t kCannotAcceptControl = 1061;
constexpr uint32_t kNotActive = 1062;
constexpr uint32_t kDependencyFail = 1068;
constexpr uint32_t kMarkedForDelete = 1072;
constexpr uint32_t kDependencyDeleted = 1075;
}  // namespace svcerr

// The platform's numbers for states, start types and controls.
namespace svc {
constexpr uint32_t kStopped = 1;
constexpr uint32_t kStartPending = 2;
constexpr uint32_t kStopPending = 3;
constexpr uint32_t kRunning = 4;
constexpr uint32_t kContinuePending = 5;
constexpr uint32_t kPausePending = 6;
constexpr uint32_t kPaused = 7;

constexpr uint32_t kDisabled = 4;  // start type

constexpr uint32_t kControlStop = 1;
constexpr uint32_t kControlPause = 2;
constexpr uint32_t kControlContinue = 3;
constexpr uint32_t kControlInterrogate = 4;

constexpr uint32_t kAcceptStop = 1;
constexpr uint32_t kAcceptPauseContinue = 2;

constexpr uint64_t kNever = UINT64_MAX;
}  // namespace svc

// One service or driver: what the profile says of it, the faults it is given and its state now.
struct ServiceEntry {
    std::string name;  // the key name, in the case the profile gives it
    std::string displayName;
    uint32_t type = 0x10;  // own process
    uint32_t startType = 3;  // demand start
    uint32_t errorControl = 1;
    std::string binaryPath;
    std::string loadOrderGroup;
    std::string startName;
    uint32_t tagId = 0;
    std::vector<std::string> dependencies;  // services that must run before this one
    uint32_t controlsAccepted = svc::kAcceptStop;  // while running or paused
    uint32_t waitHint = 0;  // milliseconds, reported while a start or stop is pending
    uint32_t startMs = 0;   // how long a start takes on the lab clock
    uint32_t stopMs = 0;    // how long a stop takes

    // Faults.
    uint32_t startError = 0;      // StartServiceA fails with this code
    uint32_t exitCode = 0;        // the start is taken, but the service then stops with this exit code
    bool bStartHangs = false;     // stays start pending
    bool bStopHangs = false;      // stays stop pending
    bool bMarkedForDelete = false;
    uint32_t deniedAccess = 0;    // rights OpenServiceA refuses with 5

    // State.
    uint32_t state = svc::kStopped;
    uint32_t win32ExitCode = 0;
    uint64_t pendingSince = 0;  // lab tick of the start or stop
    uint64_t pendingUntil = 0;  // lab tick at which it ends, svc::kNever for one that hangs
    uint32_t starts = 0;        // starts taken, over all runs on this state
    std::vector<std::vector<std::string>> startArguments;  // of every start taken in this run
    std::vector<std::string> lastArguments;                // of the latest start, over all runs
};

// What QueryServiceStatus reports.
struct ServiceStatusInfo {
    uint32_t type = 0;
    uint32_t state = 0;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t specificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

class ServiceTable {
public:
    static constexpr uint32_t kLockedForGood = UINT32_MAX;

    explicit ServiceTable(Clock& clock);

    // Reads the profile's services.ini (a missing file is an empty database) and the [Services]
    // switches of lab.ini. Problems go to standard error as "lab: <file>: ..."; bad entries are skipped.
    void Load(const std::string& servicesIni, const IniFile& labSettings);
    // Takes the states of the snapshot when it was made from this profile file (stamp), and from
    // now on writes every change there.
    void Persist(const std::string& snapshotFile, const std::string& stampFile, const std::string& stamp);

    bool Exists(const std::string& name) const;
    // A copy of the service with its pending state brought up to the clock; false when unknown.
    bool Find(const std::string& name, ServiceEntry& entry) const;
    // Whether the service runs now, and how many starts it has taken (cheaper than Find).
    bool IsRunning(const std::string& name, uint32_t* pStarts = nullptr) const;
    // Every service, in start order.
    std::vector<std::string> Names() const;
    // Changes a service (test switches); false when unknown. Saved like any other change.
    bool Change(const std::string& name, const std::function<void(ServiceEntry&)>& change);

    uint32_t Status(const std::string& name, ServiceStatusInfo& status) const;
    uint32_t Start(const std::string& name, const std::vector<std::string>& arguments);
    // status is filled on success and for the refusals the platform fills it for (1052, 1061, 1062).
    uint32_t Control(const std::string& name, uint32_t control, ServiceStatusInfo& status);

    // Every service that depends on this one, directly or not, in the reverse of their start order.
    // activeFilter: 1 active, 2 stopped, 3 both.
    std::vector<std::string> Dependents(const std::string& name, uint32_t activeFilter) const;

    // The database lock: the next `calls` calls that honour it fail with 1055 (kLockedForGood: all).
    void SetLocked(uint32_t calls);
    // True when this call meets the lock; counts it.
    bool ConsumeLock();

    // Rights OpenSCManagerA refuses with 5.
    uint32_t ManagerDeniedAccess() const;
    void SetManagerDeniedAccess(uint32_t rights);

private:
    int IndexOf(const std::string& name) const;
    void Settle(ServiceEntry& entry) const;
    void Report(const ServiceEntry& entry, ServiceStatusInfo& status) const;
    uint32_t StartLocked(size_t index, const std::vector<std::string>& arguments, std::vector<bool>& visiting);
    std::vector<size_t> StartOrder() const;
    std::vector<std::vector<size_t>> DependentIndexes() const;
    std::vector<std::string> DependentsLocked(size_t index, uint32_t activeFilter) const;
    void Save() const;

    Clock& m_clock;
    mutable std::mutex m_lock;
    mutable std::vector<ServiceEntry> m_entries;  // profile order; pending states settle on reading
    uint32_t m_lockedCalls = 0;
    uint32_t m_managerDenied = 0;
    std::string m_snapshotFile;
    std::string m_stampFile;
    std::string m_stamp;
};

}  // namespace lab::host
