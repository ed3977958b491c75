// Stands in for the process status API (psapi) and kernel32's OpenProcess and GetProcessHandleCount.
#include "lab/win32/Psapi.h"

#include "lab/host/Host.h"
#include "lab/host/Processes.h"
#include "lab/win32/Handles.h"
#include "lab/win32/Library.h"
#include "lab/win32/Process.h"
#include "lab/win32/ProcessControl.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using lab::host::ProcessAccess;
using lab::host::ProcessCounters;
using lab::host::ProcessEntry;

constexpr DWORD kErrorPartialCopy = 299;  // ERROR_PARTIAL_COPY: what Windows answers for a process without modules

constexpr DWORD kModuleRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
constexpr DWORD kQueryRights = PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION;

// A handle of OpenProcess: the process as it was found when opened, and the rights granted.
class OpenedProcess : public lab::win32::KernelObject {
public:
    OpenedProcess(ProcessEntry entry, DWORD dwAccess) : m_entry(std::move(entry)), m_dwAccess(dwAccess) {}

    const ProcessEntry m_entry;
    const DWORD m_dwAccess;
};

DWORD OwnPid()
{
    return static_cast<DWORD>(getpid());
}

// The program sees its own executable at the base GetModuleHandleA(NULL) gives it.
ProcessEntry OwnProcess(bool bModules)
{
    ProcessEntry entry;
    if (!lab::host::Processes::FindLive(OwnPid(), entry, bModules))
        entry.pid = OwnPid();
    if (!entry.modules.empty())
        entry.modules[0].base = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
    entry.bLive = true;
    return entry;
}

// The process a handle names and the rights the handle carries; false with error 6 for anything else.
bool Resolve(HANDLE h, bool bModules, ProcessEntry& entry, DWORD& dwAccess)
{
    DWORD dwPid = 0;
    if (h == GetCurrentProcess()) {
        entry = OwnProcess(bModules);
        dwAccess = PROCESS_ALL_ACCESS;
    } else if (auto pOpened = lab::win32::LookupHandleAs<OpenedProcess>(h)) {
        entry = pOpened->m_entry;
        dwAccess = pOpened->m_dwAccess;
    } else if (lab::win32::StartedProgramId(h, dwPid)) {
        // A started program has ended when it cannot be found; it then has nothing to show.
        if (!lab::host::Processes::FindLive(dwPid, entry, bModules)) {
            entry = ProcessEntry();
            entry.pid = dwPid;
            entry.bLive = true;
        }
        dwAccess = PROCESS_ALL_ACCESS;
    } else {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

// As Resolve, and the handle must carry all of dwAllOf and at least one of dwAnyOf (error 5). The
// modules are wanted exactly when the module rights are.
bool ResolveWith(HANDLE h, DWORD dwAllOf, DWORD dwAnyOf, ProcessEntry& entry)
{
    DWORD dwAccess = 0;
    if (!Resolve(h, dwAllOf == kModuleRights, entry, dwAccess))
        return false;
    if ((dwAccess & dwAllOf) != dwAllOf || (dwAnyOf && !(dwAccess & dwAnyOf))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// The module a handle names in the process; NULL is the executable.
bool FindModule(const ProcessEntry& entry, HMODULE hModule, std::string& path)
{
    if (entry.modules.empty() || lab::host::Processes::Ended(entry)) {
        SetLastError(kErrorPartialCopy);
        return false;
    }
    if (!hModule) {
        path = entry.modules.front().path;
        return true;
    }
    for (const auto& module : entry.modules) {
        if (module.base == reinterpret_cast<uintptr_t>(hModule)) {
            path = module.path;
            return true;
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

// A name cut to fit the buffer, always terminated; the result is the length copied.
DWORD CopyName(const std::string& name, LPSTR lpBuffer, DWORD nSize)
{
    if (nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (!lpBuffer) {
        SetLastError(ERROR_NOACCESS);
        return 0;
    }
    size_t length = std::min<size_t>(name.size(), nSize - 1);
    std::memcpy(lpBuffer, name.data(), length);
    lpBuffer[length] = '\0';
    return static_cast<DWORD>(length);
}

std::atomic<SIZE_T> g_peakPrivate{0};

}  // namespace

// The idle process (0) can never be opened, as on Windows. The program's own process can always be,
// also when the profile lists other processes. What a process may grant comes from the model: live
// processes whose executable Linux will not show grant nothing, like protected processes.
HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL, DWORD dwProcessId)
{
    // A live process's modules are listed only for a handle that may ask for them.
    bool bModules = (dwDesiredAccess & kModuleRights) == kModuleRights;
    ProcessEntry entry;
    bool bFound = true;
    if (dwProcessId == OwnPid())
        entry = OwnProcess(bModules);
    else
        bFound = dwProcessId != 0 && lab::host::Host::Instance().TheProcesses().Find(dwProcessId, entry, bModules);
    if (!bFound) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const DWORD dwLimited = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;
    if (entry.access == ProcessAccess::None ||
        (entry.access == ProcessAccess::Limited && (dwDesiredAccess & ~dwLimited) != 0)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // The full query right includes the limited one.
    DWORD dwGranted = dwDesiredAccess;
    if (dwGranted & PROCESS_QUERY_INFORMATION)
        dwGranted |= PROCESS_QUERY_LIMITED_INFORMATION;
    return lab::win32::InsertHandle(std::make_shared<OpenedProcess>(std::move(entry), dwGranted));
}

// The count is what was written, not what would be needed: a caller learns of a short buffer only
// by getting it back full.
BOOL WINAPI EnumProcesses(DWORD* lpidProcess, DWORD cb, LPDWORD lpcbNeeded)
{
    if (!lpidProcess || !lpcbNeeded) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    std::vector<uint32_t> ids = lab::host::Host::Instance().TheProcesses().Ids();
    size_t count = std::min<size_t>(ids.size(), cb / sizeof(DWORD));
    for (size_t i = 0; i < count; ++i)
        lpidProcess[i] = ids[i];
    *lpcbNeeded = static_cast<DWORD>(count * sizeof(DWORD));
    return TRUE;
}

BOOL WINAPI EnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded)
{
    ProcessEntry entry;
    if (!ResolveWith(hProcess, kModuleRights, 0, entry))
        return FALSE;
    if (entry.modules.empty() || lab::host::Processes::Ended(entry)) {
        SetLastError(kErrorPartialCopy);
        return FALSE;
    }
    if (!lpcbNeeded || (!lphModule && cb)) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    size_t count = std::min<size_t>(entry.modules.size(), cb / sizeof(HMODULE));
    for (size_t i = 0; i < count; ++i)
        lphModule[i] = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(entry.modules[i].base));
    *lpcbNeeded = static_cast<DWORD>(entry.modules.size() * sizeof(HMODULE));
    return TRUE;
}

// The base name is the last component of the module's path, whatever form the path has.
DWORD WINAPI GetModuleBaseNameA(HANDLE hProcess, HMODULE hModule, LPSTR lpBaseName, DWORD nSize)
{
    ProcessEntry entry;
    std::string path;
    if (!ResolveWith(hProcess, kModuleRights, 0, entry) || !FindModule(entry, hModule, path))
        return 0;
    return CopyName(path.substr(path.find_last_of("\\/") + 1), lpBaseName, nSize);
}

DWORD WINAPI GetModuleFileNameExA(HANDLE hProcess, HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    ProcessEntry entry;
    std::string path;
    if (!ResolveWith(hProcess, kModuleRights, 0, entry) || !FindModule(entry, hModule, path))
        return 0;
    return CopyName(path, lpFilename, nSize);
}

// Either query right will do (Windows documents PROCESS_VM_READ too, but does not ask for it). The pool
// quotas have no counterpart and stay 0. For the program itself the peak of the private bytes is the
// highest value read so far; other live processes have no such history and report the current value.
BOOL WINAPI GetProcessMemoryInfo(HANDLE Process, PPROCESS_MEMORY_COUNTERS ppsmemCounters, DWORD cb)
{
    ProcessEntry entry;
    if (!ResolveWith(Process, 0, kQueryRights, entry))
        return FALSE;
    if (cb < sizeof(PROCESS_MEMORY_COUNTERS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!ppsmemCounters) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    ProcessCounters now;
    lab::host::Host::Instance().TheProcesses().Counters(entry, now);
    if (entry.bLive && entry.pid == OwnPid()) {
        SIZE_T peak = g_peakPrivate.load();
        while (now.privateUsage > peak && !g_peakPrivate.compare_exchange_weak(peak, now.privateUsage)) {
        }
        now.peakPagefileUsage = std::max<uint64_t>(peak, now.privateUsage);
    }

    PROCESS_MEMORY_COUNTERS_EX counters;
    std::memset(&counters, 0, sizeof counters);
    counters.PageFaultCount = now.pageFaults;
    counters.WorkingSetSize = now.workingSet;
    counters.PeakWorkingSetSize = now.peakWorkingSet;
    counters.PagefileUsage = now.pagefileUsage;
    counters.PeakPagefileUsage = now.peakPagefileUsage;
    counters.PrivateUsage = now.privateUsage;
    // The caller gets the extended record when its buffer holds it; cb tells which one was filled.
    counters.cb = cb >= sizeof(PROCESS_MEMORY_COUNTERS_EX) ? sizeof(PROCESS_MEMORY_COUNTERS_EX)
                                                            : sizeof(PROCESS_MEMORY_COUNTERS);
    std::memcpy(ppsmemCounters, &counters, counters.cb);
    return TRUE;
}

// A Windows process's handles are its files and its kernel objects: for a live process its open
// descriptors, and for the program itself the lab's handle table as well.
BOOL WINAPI GetProcessHandleCount(HANDLE hProcess, PDWORD pdwHandleCount)
{
    ProcessEntry entry;
    if (!ResolveWith(hProcess, 0, kQueryRights, entry))
        return FALSE;
    if (!pdwHandleCount) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    uint32_t count = 0;
    if (!lab::host::Host::Instance().TheProcesses().HandleCount(entry, count)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (entry.bLive && entry.pid == OwnPid())
        count += static_cast<uint32_t>(lab::win32::HandleCount());
    *pdwHandleCount = count;
    return TRUE;
}
