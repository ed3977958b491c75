// Stands in for the service control manager's database: the services and drivers of the server and their states.
#include "lab/host/ServiceTable.h"

#include "lab/host/Clock.h"
#include "lab/host/IniFile.h"
#include "lab/host/ProfileValues.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <queue>
#include <sstream>
#include <unistd.h>
#include <unordered_map>

namespace lab::host {

namespace {

constexpr uint32_t kCircularDependency = 1059;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool ParseFlag(const std::string& text, bool& value)
{
    std::string word = Lower(text);
    if (word == "1" || word == "yes" || word == "true") {
        value = true;
        return true;
    }
    if (word == "0" || word == "no" || word == "false") {
        value = false;
        return true;
    }
    return false;
}

bool ParseWordOrNumber(const std::string& text, const std::vector<const char*>& words, uint32_t first,
                       uint32_t& value)
{
    std::string word = Lower(text);
    for (size_t i = 0; i < words.size(); ++i) {
        if (word == words[i]) {
            value = first + static_cast<uint32_t>(i);
            return true;
        }
    }
    return ParseNumber(text, value);
}

bool ParseState(const std::string& text, uint32_t& value)
{
    static const std::vector<const char*> kWords = {"stopped", "start pending", "stop pending", "running",
                                                    "continue pending", "pause pending", "paused"};
    return ParseWordOrNumber(text, kWords, svc::kStopped, value) && value >= svc::kStopped && value <= svc::kPaused;
}

bool ParseStartType(const std::string& text, uint32_t& value)
{
    static const std::vector<const char*> kWords = {"boot", "system", "auto", "demand", "disabled"};
    return ParseWordOrNumber(text, kWords, 0, value) && value <= svc::kDisabled;
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (!item.empty())
            items.push_back(item);
    }
    return items;
}

void Complain(const std::string& file, const std::string& section, const std::string& reason)
{
    std::fprintf(stderr, "lab: %s: [%s] %s\n", file.c_str(), section.c_str(), reason.c_str());
}

// One key of a service's section; false when the key or its value is not understood.
bool ApplyKey(ServiceEntry& entry, const std::string& key, const std::string& value)
{
    std::string k = Lower(key);
    bool bFlag = false;
    if (k == "displayname")
        entry.displayName = value;
    else if (k == "type")
        return ParseNumber(value, entry.type);
    else if (k == "start")
        return ParseStartType(value, entry.startType);
    else if (k == "errorcontrol")
        return ParseNumber(value, entry.errorControl);
    else if (k == "binarypath")
        entry.binaryPath = value;
    else if (k == "group")
        entry.loadOrderGroup = value;
    else if (k == "objectname")
        entry.startName = value;
    else if (k == "tag")
        return ParseNumber(value, entry.tagId);
    else if (k == "dependonservice")
        entry.dependencies = SplitList(value);
    else if (k == "state")
        return ParseState(value, entry.state);
    else if (k == "accept")
        return ParseNumber(value, entry.controlsAccepted);
    else if (k == "waithint")
        return ParseNumber(value, entry.waitHint);
    else if (k == "starttime")
        return ParseNumber(value, entry.startMs);
    else if (k == "stoptime")
        return ParseNumber(value, entry.stopMs);
    else if (k == "starterror")
        return ParseNumber(value, entry.startError);
    else if (k == "exitcode")
        return ParseNumber(value, entry.exitCode);
    else if (k == "deniedaccess")
        return ParseNumber(value, entry.deniedAccess);
    else if (k == "starthangs" && ParseFlag(value, bFlag))
        entry.bStartHangs = bFlag;
    else if (k == "stophangs" && ParseFlag(value, bFlag))
        entry.bStopHangs = bFlag;
    else if (k == "markedfordelete" && ParseFlag(value, bFlag))
        entry.bMarkedForDelete = bFlag;
    else
        return false;
    return true;
}

bool ValidName(const std::string& name)
{
    return !name.empty() && name.size() <= 256 && name.find_first_of("/\\") == std::string::npos;
}

bool Pending(uint32_t state)
{
    return state == svc::kStartPending || state == svc::kStopPending;
}

// The state a service ends in when nothing else happens to it: what a later run finds.
uint32_t EventualState(const ServiceEntry& entry)
{
    if (entry.state == svc::kStartPending && !entry.bStartHangs && entry.pendingUntil != svc::kNever)
        return entry.exitCode ? svc::kStopped : svc::kRunning;
    if (entry.state == svc::kStopPending && !entry.bStopHangs && entry.pendingUntil != svc::kNever)
        return svc::kStopped;
    return entry.state;
}

// A state read from a profile or snapshot: a pending one stays pending until something changes it.
void SetInitialState(ServiceEntry& entry, uint32_t state, uint64_t now)
{
    entry.state = state;
    entry.pendingSince = now;
    entry.pendingUntil = Pending(state) ? svc::kNever : 0;
}

}  // namespace

ServiceTable::ServiceTable(Clock& clock) : m_clock(clock) {}

void ServiceTable::Load(const std::string& servicesIni, const IniFile& labSettings)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_entries.clear();
    m_lockedCalls = 0;
    m_managerDenied = 0;
    m_snapshotFile.clear();
    m_stampFile.clear();
    m_stamp.clear();

    IniFile profile;
    uint64_t now = m_clock.TickMs();
    if (profile.Load(servicesIni)) {
        for (const std::string& section : profile.Sections()) {
            if (!ValidName(section)) {
                Complain(servicesIni, section, "not a service name");
                continue;
            }
            ServiceEntry entry;
            entry.name = section;
            entry.displayName = section;
            for (const auto& pair : profile.Section(section)) {
                if (!ApplyKey(entry, pair.first, pair.second))
                    Complain(servicesIni, section, "cannot take " + pair.first + "=" + pair.second);
            }
            SetInitialState(entry, entry.state, now);
            m_entries.push_back(entry);
        }
    }

    for (const auto& pair : labSettings.Section("Services")) {
        std::string key = Lower(pair.first);
        bool bOk = true;
        if (key == "locked") {
            if (Lower(pair.second) == "always")
                m_lockedCalls = kLockedForGood;
            else
                bOk = ParseNumber(pair.second, m_lockedCalls);
        } else if (key == "deniedaccess") {
            bOk = ParseNumber(pair.second, m_managerDenied);
        } else {
            bOk = false;
        }
        if (!bOk)
            Complain("lab.ini", "Services", "cannot take " + pair.first + "=" + pair.second);
    }
}

void ServiceTable::Persist(const std::string& snapshotFile, const std::string& stampFile, const std::string& stamp)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_snapshotFile = snapshotFile;
    m_stampFile = stampFile;
    m_stamp = stamp;

    std::ifstream stampIn(stampFile, std::ios::binary);
    std::string taken((std::istreambuf_iterator<char>(stampIn)), std::istreambuf_iterator<char>());
    IniFile snapshot;
    if (taken != stamp || !snapshot.Load(snapshotFile))
        return;
    uint64_t now = m_clock.TickMs();
    for (const std::string& section : snapshot.Sections()) {
        int index = IndexOf(section);
        if (index < 0)
            continue;
        ServiceEntry& entry = m_entries[static_cast<size_t>(index)];
        uint32_t value = 0;
        if (ParseState(snapshot.Get(section, "State"), value))
            SetInitialState(entry, value, now);
        if (ParseNumber(snapshot.Get(section, "Starts"), value))
            entry.starts = value;
        entry.lastArguments.clear();
        for (const auto& pair : snapshot.Section(section)) {
            if (EqualsNoCase(pair.first, "Argument"))
                entry.lastArguments.push_back(pair.second);
        }
    }
}

int ServiceTable::IndexOf(const std::string& name) const
{
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (EqualsNoCase(m_entries[i].name, name))
            return static_cast<int>(i);
    }
    return -1;
}

void ServiceTable::Settle(ServiceEntry& entry) const
{
    if (!Pending(entry.state) || entry.pendingUntil == svc::kNever || m_clock.TickMs() < entry.pendingUntil)
        return;
    if (entry.state == svc::kStartPending && entry.exitCode) {
        entry.state = svc::kStopped;
        entry.win32ExitCode = entry.exitCode;
    } else {
        entry.state = entry.state == svc::kStartPending ? svc::kRunning : svc::kStopped;
    }
}

void ServiceTable::Report(const ServiceEntry& entry, ServiceStatusInfo& status) const
{
    status = ServiceStatusInfo();
    status.type = entry.type;
    status.state = entry.state;
    if (entry.state == svc::kRunning || entry.state == svc::kPaused)
        status.controlsAccepted = entry.controlsAccepted;
    status.win32ExitCode = entry.win32ExitCode;
    if (Pending(entry.state)) {
        // A service that hangs stops counting, as a stuck one does.
        uint64_t elapsed = m_clock.TickMs() - entry.pendingSince;
        status.checkPoint = entry.pendingUntil == svc::kNever ? 1 : 1 + static_cast<uint32_t>(elapsed / 1000);
        status.waitHint = entry.waitHint;
    }
}

bool ServiceTable::Exists(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return IndexOf(name) >= 0;
}

bool ServiceTable::Find(const std::string& name, ServiceEntry& entry) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    int index = IndexOf(name);
    if (index < 0)
        return false;
    Settle(m_entries[static_cast<size_t>(index)]);
    entry = m_entries[static_cast<size_t>(index)];
    return true;
}

bool ServiceTable::IsRunning(const std::string& name, uint32_t* pStarts) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    int index = IndexOf(name);
    if (index < 0)
        return false;
    ServiceEntry& entry = m_entries[static_cast<size_t>(index)];
    Settle(entry);
    if (pStarts)
        *pStarts = entry.starts;
    return entry.state == svc::kRunning;
}

std::vector<std::string> ServiceTable::Names() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::string> names;
    for (size_t index : StartOrder())
        names.push_back(m_entries[index].name);
    return names;
}

bool ServiceTable::Change(const std::string& name, const std::function<void(ServiceEntry&)>& change)
{
    std::lock_guard<std::mutex> guard(m_lock);
    int index = IndexOf(name);
    if (index < 0)
        return false;
    ServiceEntry& entry = m_entries[static_cast<size_t>(index)];
    Settle(entry);
    change(entry);
    Save();
    return true;
}

uint32_t ServiceTable::Status(const std::string& name, ServiceStatusInfo& status) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    int index = IndexOf(name);
    if (index < 0)
        return svcerr::kDoesNotExist;
    ServiceEntry& entry = m_entries[static_cast<size_t>(index)];
    Settle(entry);
    Report(entry, status);
    return svcerr::kSuccess;
}

uint32_t ServiceTable::Start(const std::string& name, const std::vector<std::string>& arguments)
{
    std::lock_guard<std::mutex> guard(m_lock);
    int index = IndexOf(name);
    if (index < 0)
        return svcerr::kDoesNotExist;
    std::vector<bool> visiting(m_entries.size(), false);
    uint32_t result = StartLocked(static_cast<size_t>(index), arguments, visiting);
    Save();
    return result;
}

// Like the real manager, a start first starts what the service depends on; the service then
// becomes running once they run and its own start time has passed.
uint32_t ServiceTable::StartLocked(size_t index, const std::vector<std::string>& arguments,
                                   std::vector<bool>& visiting)
{
    ServiceEntry& entry = m_entries[index];
    Settle(entry);
    if (entry.bMarkedForDelete)
        return svcerr::kMarkedForDelete;
    if (entry.startType == svc::kDisabled)
        return svcerr::kServiceDisabled;
    if (entry.state != svc::kStopped)
        return svcerr::kAlreadyRunning;
    if (entry.startError)
        return entry.startError;

    visiting[index] = true;
    uint64_t now = m_clock.TickMs();
    uint64_t ready = now;
    uint32_t result = svcerr::kSuccess;
    for (const std::string& dependencyName : entry.dependencies) {
        int dependency = IndexOf(dependencyName);
        if (dependency < 0 || m_entries[static_cast<size_t>(dependency)].bMarkedForDelete) {
            result = svcerr::kDependencyDeleted;
            break;
        }
        size_t d = static_cast<size_t>(dependency);
        if (visiting[d]) {
            result = kCircularDependency;
            break;
        }
        Settle(m_entries[d]);
        if (m_entries[d].state == svc::kStopped && StartLocked(d, {}, visiting) != svcerr::kSuccess) {
            result = svcerr::kDependencyFail;
            break;
        }
        const ServiceEntry& running = m_entries[d];
        bool bWillStop = running.state == svc::kStopPending || running.state == svc::kStopped ||
                         (running.state == svc::kStartPending && running.exitCode);
        if (bWillStop || running.pendingUntil == svc::kNever) {
            result = svcerr::kDependencyFail;
            break;
        }
        if (running.state == svc::kStartPending)
            ready = std::max(ready, running.pendingUntil);
    }
    visiting[index] = false;
    if (result != svcerr::kSuccess)
        return result;

    ++entry.starts;
    entry.startArguments.push_back(arguments);
    entry.lastArguments = arguments;
    entry.state = svc::kStartPending;
    entry.win32ExitCode = 0;
    entry.pendingSince = now;
    entry.pendingUntil = entry.bStartHangs ? svc::kNever : ready + entry.startMs;
    Settle(entry);
    return svcerr::kSuccess;
}

uint32_t ServiceTable::Control(const std::string& name, uint32_t control, ServiceStatusInfo& status)
{
    std::lock_guard<std::mutex> guard(m_lock);
    int index = IndexOf(name);
    if (index < 0)
        return svcerr::kDoesNotExist;
    ServiceEntry& entry = m_entries[static_cast<size_t>(index)];
    Settle(entry);

    if (control < svc::kControlStop || control > svc::kControlInterrogate)
        return svcerr::kInvalidParameter;
    uint32_t result = svcerr::kSuccess;
    uint32_t needed = control == svc::kControlStop ? svc::kAcceptStop : svc::kAcceptPauseContinue;
    if (entry.state == svc::kStopped)
        result = svcerr::kNotActive;
    else if (control == svc::kControlInterrogate)
        result = svcerr::kSuccess;
    else if (entry.state != svc::kRunning && entry.state != svc::kPaused)
        result = svcerr::kCannotAcceptControl;
    else if (!(entry.controlsAccepted & needed))
        result = svcerr::kInvalidServiceControl;
    else if (control == svc::kControlStop && !DependentsLocked(static_cast<size_t>(index), 1).empty())
        return svcerr::kDependentServicesRunning;  // the platform leaves the status alone here

    if (result == svcerr::kSuccess) {
        uint64_t now = m_clock.TickMs();
        if (control == svc::kControlStop) {
            entry.state = svc::kStopPending;
            entry.pendingSince = now;
            entry.pendingUntil = entry.bStopHangs ? svc::kNever : now + entry.stopMs;
            Settle(entry);
        } else if (control == svc::kControlPause) {
            entry.state = svc::kPaused;
        } else if (control == svc::kControlContinue) {
            entry.state = svc::kRunning;
        }
        if (control != svc::kControlInterrogate)
            Save();
    }
    Report(entry, status);
    return result;
}

// Each service's dependents by index, a name that is not there left out: one pass over the table,
// so that the orders below stay linear however long the chains are.
std::vector<std::vector<size_t>> ServiceTable::DependentIndexes() const
{
    std::unordered_map<std::string, size_t> indexes;
    for (size_t i = m_entries.size(); i-- > 0;)
        indexes[Lower(m_entries[i].name)] = i;  // the first of a name wins, as IndexOf finds it
    std::vector<std::vector<size_t>> dependents(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i) {
        for (const std::string& dependency : m_entries[i].dependencies) {
            auto found = indexes.find(Lower(dependency));
            if (found != indexes.end())
                dependents[found->second].push_back(i);
        }
    }
    return dependents;
}

std::vector<size_t> ServiceTable::StartOrder() const
{
    // Dependencies before their dependents; among services free to start, profile order.
    std::vector<std::vector<size_t>> dependents = DependentIndexes();
    std::vector<size_t> waitingFor(m_entries.size(), 0);
    for (const std::vector<size_t>& list : dependents)
        for (size_t i : list)
            ++waitingFor[i];
    std::priority_queue<size_t, std::vector<size_t>, std::greater<size_t>> free;
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (waitingFor[i] == 0)
            free.push(i);
    std::vector<size_t> order;
    std::vector<bool> placed(m_entries.size(), false);
    size_t firstUnplaced = 0;
    while (order.size() < m_entries.size()) {
        size_t chosen = m_entries.size();
        while (!free.empty() && chosen == m_entries.size()) {
            if (!placed[free.top()])
                chosen = free.top();
            free.pop();
        }
        if (chosen == m_entries.size()) {  // a cycle: take the first of it as it comes
            while (placed[firstUnplaced])
                ++firstUnplaced;
            chosen = firstUnplaced;
        }
        placed[chosen] = true;
        order.push_back(chosen);
        for (size_t i : dependents[chosen])
            if (--waitingFor[i] == 0 && !placed[i])
                free.push(i);
    }
    return order;
}

std::vector<std::string> ServiceTable::Dependents(const std::string& name, uint32_t activeFilter) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    int index = IndexOf(name);
    if (index < 0)
        return {};
    return DependentsLocked(static_cast<size_t>(index), activeFilter);
}

std::vector<std::string> ServiceTable::DependentsLocked(size_t index, uint32_t activeFilter) const
{
    std::vector<std::vector<size_t>> dependents = DependentIndexes();
    std::vector<bool> member(m_entries.size(), false);
    std::vector<size_t> queue = {index};
    while (!queue.empty()) {
        size_t current = queue.back();
        queue.pop_back();
        for (size_t i : dependents[current]) {
            if (!member[i] && i != index) {
                member[i] = true;
                queue.push_back(i);
            }
        }
    }
    std::vector<std::string> names;
    std::vector<size_t> order = StartOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (!member[*it])
            continue;
        ServiceEntry& entry = m_entries[*it];
        Settle(entry);
        bool bActive = entry.state != svc::kStopped;
        if ((bActive && (activeFilter & 1)) || (!bActive && (activeFilter & 2)))
            names.push_back(entry.name);
    }
    return names;
}

void ServiceTable::SetLocked(uint32_t calls)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lockedCalls = calls;
}

bool ServiceTable::ConsumeLock()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_lockedCalls == 0)
        return false;
    if (m_lockedCalls != kLockedForGood)
        --m_lockedCalls;
    return true;
}

uint32_t ServiceTable::ManagerDeniedAccess() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_managerDenied;
}

void ServiceTable::SetManagerDeniedAccess(uint32_t rights)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_managerDenied = rights;
}

void ServiceTable::Save() const
{
    if (m_snapshotFile.empty())
        return;
    std::ostringstream text;
    text << "; Service states the lab keeps for this profile; delete the file to start from the profile again.\r\n";
    for (const ServiceEntry& entry : m_entries) {
        text << "\r\n[" << entry.name << "]\r\nState=" << EventualState(entry) << "\r\nStarts=" << entry.starts
             << "\r\n";
        for (const std::string& argument : entry.lastArguments)
            text << "Argument=" << argument << "\r\n";
    }
    std::string temp = m_snapshotFile + "." + std::to_string(getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text.str();
        if (!out)
            return;
    }
    std::error_code ec;
    std::filesystem::rename(temp, m_snapshotFile, ec);
    std::ofstream(m_stampFile, std::ios::binary | std::ios::trunc) << m_stamp;
}

}  // namespace lab::host
