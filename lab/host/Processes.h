// Stands in for the server's running processes: the live Linux host's, or a list the profile gives.
#pragma once

#include "lab/host/ProfileLayers.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace lab::host {


// What OpenProcess may grant: everything, only PROCESS_QUERY_LIMITED_INFORMATION (and SYNCHRONIZE),
// as for a protected process, or nothing.
enum class ProcessAccess { Full, Limited, None };

struct ProcessModule {
    std::string path;   // in Windows form, as GetModuleFileNameExA reports it
    uint64_t base = 0;  // the module handle: its load address in the process
};

struct ProcessCounters {
    uint32_t pageFaults = 0;
    uint64_t workingSet = 0;
    uint64_t peakWorkingSet = 0;
    uint64_t pagefileUsage = 0;
    uint64_t peakPagefileUsage = 0;
    uint64_t privateUsage = 0;
};

struct ProcessEntry {
    uint32_t pid = 0;
    ProcessAccess access = ProcessAccess::Full;
    std::vector<ProcessModule> modules;  // the executable first; empty for processes without modules
    // A live process is read when asked; these hold the profile's numbers.
    ProcessCounters counters;
    uint32_t handles = 0;
    bool bLive = false;
    uint64_t startTime = 0;  // a live process's start, which tells it from a later one of the same pid
};

class Processes {
public:
    // lab.ini [Processes] Source=live (the default) or Source=profile (the list in processes.ini).
    // A malformed list is reported on standard error and leaves no processes.
    void Load(const ProfileLayers& profile, const IniFile& settings);
    // Replaces the profile's list by text in the processes.ini format and switches to it; false with
    // "line N: reason" and nothing changed when the text is malformed.
    bool SetListText(const std::string& text, std::string& error);
    // Back to the live host's processes.
    void UseLive();

    bool IsLive() const;
    // Every process identifier, in the order Windows would list them.
    std::vector<uint32_t> Ids() const;
    // The process as it is now; false when there is no such process. Listing a live process's
    // modules costs a walk of its memory map, so it can be left out.
    bool Find(uint32_t pid, ProcessEntry& entry, bool bModules = true) const;
    // Counters and handle count as they are now; a live process that has ended reads as zeros.
    // False when they cannot be read (another user's descriptors).
    bool Counters(const ProcessEntry& entry, ProcessCounters& counters) const;
    bool HandleCount(const ProcessEntry& entry, uint32_t& handles) const;
    // True for a live process that is no longer running (its address space, modules and all, is gone).
    static bool Ended(const ProcessEntry& entry);

    // A process of the live host, whatever the source: the program itself and the programs it started
    // are real processes in either case.
    static bool FindLive(uint32_t pid, ProcessEntry& entry, bool bModules = true);

    static bool Parse(const std::string& text, std::vector<ProcessEntry>& list, std::string& error);

private:
    mutable std::mutex m_lock;
    bool m_bLive = true;
    std::vector<ProcessEntry> m_list;
};

}  // namespace lab::host
