// processes.ini: the process list with each process's modules, counters and the access it grants.
#include "src/capture/Capture.h"

#include "src/platform/ScopedHandle.h"

#include <vector>

namespace {

// The longest path Windows knows, in characters.
const DWORD MAX_LONG_PATH = 32768;

std::string Bytes(SIZE_T cb)
{
    return FormatText("%llu", static_cast<unsigned long long>(cb));
}

// The module's whole path, however long: a path cut at a buffer's end would name another file.
bool ModulePath(HANDLE hProcess, HMODULE hModule, std::string& strPath)
{
    for (DWORD cchBuffer = MAX_PATH; cchBuffer <= MAX_LONG_PATH; cchBuffer *= 2) {
        std::vector<char> buffer(cchBuffer, '\0');
        DWORD cch = GetModuleFileNameExA(hProcess, hModule, buffer.data(), cchBuffer);
        if (cch == 0)
            return false;
        if (cch < cchBuffer - 1) {
            strPath.assign(buffer.data(), cch);
            return true;
        }
    }
    return false;
}

void AppendModules(SCapture& capture, HANDLE hProcess, std::string& strOut)
{
    std::vector<HMODULE> modules(1024);
    DWORD cbNeeded = 0;
    if (!EnumProcessModules(hProcess, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &cbNeeded))
        return;
    modules.resize(std::min<size_t>(modules.size(), cbNeeded / sizeof(HMODULE)));
    for (size_t i = 0; i < modules.size(); ++i) {
        std::string strPath;
        if (!ModulePath(hProcess, modules[i], strPath))
            continue;
        strOut += (i == 0 ? "Image=" : "Module=") + strPath + "\r\n";
        std::string strFile = i == 0 ? ImageFilePath(strPath) : std::string();
        if (!strFile.empty())
            capture.AddFile(strFile);
    }
}

void AppendCounters(HANDLE hProcess, std::string& strOut)
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(hProcess, reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters), sizeof counters)) {
        strOut += "WorkingSet=" + Bytes(counters.WorkingSetSize) + "\r\nPeakWorkingSet=" +
                  Bytes(counters.PeakWorkingSetSize) + "\r\nPagefileUsage=" + Bytes(counters.PagefileUsage) +
                  "\r\nPeakPagefileUsage=" + Bytes(counters.PeakPagefileUsage) + "\r\nPrivateUsage=" +
                  Bytes(counters.PrivateUsage) + FormatText("\r\nPageFaults=%lu\r\n",
                                                            static_cast<unsigned long>(counters.PageFaultCount));
    }
    DWORD dwHandles = 0;
    if (GetProcessHandleCount(hProcess, &dwHandles))
        strOut += FormatText("Handles=%lu\r\n", static_cast<unsigned long>(dwHandles));
}

}  // namespace

void CaptureProcesses(SCapture& capture)
{
    std::vector<DWORD> ids(4096);
    DWORD cbReturned = 0;
    if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &cbReturned)) {
        capture.log.Missed("processes.ini", GetLastError());
        return;
    }
    ids.resize(cbReturned / sizeof(DWORD));
    std::string& strOut = capture.folder.Text("processes.ini");
    strOut = "; The processes, captured by triagist-capture.\r\n";
    int nLimited = 0;
    for (DWORD dwId : ids) {
        if (dwId == GetCurrentProcessId())  // the capture is no part of the server
            continue;
        strOut += FormatText("\r\n[Process]\r\nPid=%lu\r\n", static_cast<unsigned long>(dwId));
        CScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwId));
        if (process.IsValid()) {
            AppendModules(capture, process.Get(), strOut);
            AppendCounters(process.Get(), strOut);
            continue;
        }
        ++nLimited;
        process.Reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwId));
        if (!process.IsValid()) {
            strOut += "Access=none\r\n";
            continue;
        }
        strOut += "Access=limited\r\n";
        AppendCounters(process.Get(), strOut);
    }
    capture.log.Captured(FormatText("processes.ini: %u processes, %d of them protected",
                                    static_cast<unsigned>(ids.size()), nLimited));
}
