// Stands in for psapi's GetProcessMemoryInfo and kernel32's GetProcessHandleCount, read from the live Linux process.
#include "lab/win32/Psapi.h"

#include "lab/win32/Handles.h"
#include "lab/win32/Process.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

bool IsCurrentProcess(HANDLE h)
{
    return h == GetCurrentProcess();
}

// The "Name:   value kB" lines of /proc/self/status, in bytes; 0 when absent.
struct StatusCounters {
    SIZE_T rss = 0;
    SIZE_T peakRss = 0;
    SIZE_T anonymous = 0;
};

StatusCounters ReadStatus()
{
    StatusCounters counters;
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = line.substr(0, colon);
        SIZE_T bytes = static_cast<SIZE_T>(std::strtoull(line.c_str() + colon + 1, nullptr, 10)) * 1024u;
        if (name == "VmRSS")
            counters.rss = bytes;
        else if (name == "VmHWM")
            counters.peakRss = bytes;
        else if (name == "RssAnon")
            counters.anonymous = bytes;
    }
    return counters;
}

// Minor plus major faults, as Windows counts soft and hard faults together.
DWORD PageFaults()
{
    std::ifstream in("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t paren = text.rfind(')');  // the command name may hold blanks and parentheses
    if (paren == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(paren + 1));
    std::string field;
    unsigned long long minor = 0, major = 0;
    // After the name: state(3) ppid pgrp session tty_nr tpgid flags minflt(10) cminflt majflt(12).
    for (int n = 3; n <= 12 && fields >> field; ++n) {
        if (n == 10)
            minor = std::strtoull(field.c_str(), nullptr, 10);
        else if (n == 12)
            major = std::strtoull(field.c_str(), nullptr, 10);
    }
    return static_cast<DWORD>(minor + major);
}

std::atomic<SIZE_T> g_peakPrivate{0};

}  // namespace

// The working set is the resident set; the pagefile usage and private bytes are the process's own
// anonymous memory, counted while resident (the committed size of Linux would count address space
// reserved but never touched, which under AddressSanitizer is terabytes). The pool quotas have no
// counterpart and stay 0. The peak of the private bytes is the highest value read so far.
BOOL WINAPI GetProcessMemoryInfo(HANDLE Process, PPROCESS_MEMORY_COUNTERS ppsmemCounters, DWORD cb)
{
    if (!IsCurrentProcess(Process)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (cb < sizeof(PROCESS_MEMORY_COUNTERS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!ppsmemCounters) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    StatusCounters status = ReadStatus();
    SIZE_T peakPrivate = g_peakPrivate.load();
    while (status.anonymous > peakPrivate && !g_peakPrivate.compare_exchange_weak(peakPrivate, status.anonymous)) {
    }
    peakPrivate = std::max(peakPrivate, status.anonymous);

    PROCESS_MEMORY_COUNTERS_EX counters;
    std::memset(&counters, 0, sizeof counters);
    counters.PageFaultCount = PageFaults();
    counters.WorkingSetSize = status.rss;
    counters.PeakWorkingSetSize = std::max(status.peakRss, status.rss);
    counters.PagefileUsage = status.anonymous;
    counters.PeakPagefileUsage = peakPrivate;
    counters.PrivateUsage = status.anonymous;
    // The caller gets the extended record when its buffer holds it; cb tells which one was filled.
    counters.cb = cb >= sizeof(PROCESS_MEMORY_COUNTERS_EX) ? sizeof(PROCESS_MEMORY_COUNTERS_EX)
                                                            : sizeof(PROCESS_MEMORY_COUNTERS);
    std::memcpy(ppsmemCounters, &counters, counters.cb);
    return TRUE;
}

// A Windows process's handles are its files and its kernel objects: here the open descriptors and the
// lab's handle table.
BOOL WINAPI GetProcessHandleCount(HANDLE hProcess, PDWORD pdwHandleCount)
{
    if (!IsCurrentProcess(hProcess)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!pdwHandleCount) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    DIR* pDir = opendir("/proc/self/fd");
    if (!pDir) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD count = 0;
    while (const dirent* pEntry = readdir(pDir)) {
        if (pEntry->d_name[0] != '.')
            ++count;
    }
    closedir(pDir);
    count -= count > 0 ? 1 : 0;  // the descriptor that listed them
    *pdwHandleCount = count + static_cast<DWORD>(lab::win32::HandleCount());
    return TRUE;
}
