// The running processes with their executables' versions and their resource counters.
#include "src/checks/OperatingSystemParts.h"

#include "src/platform/ScopedHandle.h"
#include "src/sysaccess/FileTimes.h"
#include "src/sysaccess/FileVersion.h"
#include "src/trace/FileDebug.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

typedef BOOL(WINAPI* PFN_ENUMPROCESSES)(DWORD*, DWORD, DWORD*);
typedef BOOL(WINAPI* PFN_ENUMPROCESSMODULES)(HANDLE, HMODULE*, DWORD, LPDWORD);
typedef DWORD(WINAPI* PFN_GETMODULEBASENAMEA)(HANDLE, HMODULE, LPSTR, DWORD);
typedef DWORD(WINAPI* PFN_GETMODULEFILENAMEEXA)(HANDLE, HMODULE, LPSTR, DWORD);
typedef BOOL(WINAPI* PFN_GETPROCESSMEMORYINFO)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
typedef BOOL(WINAPI* PFN_GETPROCESSHANDLECOUNT)(HANDLE, PDWORD);

const DWORD MAX_PROCESSES = 1024;
const DWORD MAX_MODULES = 256;
const DWORD LOCATION_BUFFER = 520;

// The process status functions, resolved once per scan; any may be missing.
struct SProcessApi {
    SProcessApi() : psapi("PsApi.dll")
    {
        pfnEnumProcesses = psapi.Resolve<PFN_ENUMPROCESSES>("EnumProcesses");
        pfnEnumProcessModules = psapi.Resolve<PFN_ENUMPROCESSMODULES>("EnumProcessModules");
        pfnGetModuleBaseName = psapi.Resolve<PFN_GETMODULEBASENAMEA>("GetModuleBaseNameA");
        pfnGetModuleFileNameEx = psapi.Resolve<PFN_GETMODULEFILENAMEEXA>("GetModuleFileNameExA");
        pfnGetProcessMemoryInfo = psapi.Resolve<PFN_GETPROCESSMEMORYINFO>("GetProcessMemoryInfo");
        HMODULE hKernel32 = GetModuleHandleA("kernel32");
        pfnGetProcessHandleCount =
            hKernel32 ? ResolveProc<PFN_GETPROCESSHANDLECOUNT>(hKernel32, "GetProcessHandleCount") : nullptr;
    }

    CScopedLibrary psapi;
    PFN_ENUMPROCESSES pfnEnumProcesses;
    PFN_ENUMPROCESSMODULES pfnEnumProcessModules;
    PFN_GETMODULEBASENAMEA pfnGetModuleBaseName;
    PFN_GETMODULEFILENAMEEXA pfnGetModuleFileNameEx;
    PFN_GETPROCESSMEMORYINFO pfnGetProcessMemoryInfo;
    PFN_GETPROCESSHANDLECOUNT pfnGetProcessHandleCount;
};

struct SProcessInfo {
    std::string strName;
    std::string strLocation;
};

// The kernel reports some images in its own notation; the report gives paths a user can open.
std::string NormalizedLocation(const char* pszPath)
{
    std::string strPath = pszPath;
    if (strPath.compare(0, 4, "\\??\\") == 0)
        strPath.erase(0, 4);
    const char szSystemRoot[] = "\\SystemRoot";
    if (strPath.compare(0, sizeof szSystemRoot - 1, szSystemRoot) == 0) {
        char szExpanded[LOCATION_BUFFER];
        DWORD cch = ExpandEnvironmentStringsA("%SystemRoot%", szExpanded, sizeof szExpanded);
        if (cch != 0 && cch <= sizeof szExpanded)
            strPath.replace(0, sizeof szSystemRoot - 1, szExpanded);
    }
    return strPath;
}

// The names older systems give the kernel's own pseudo processes, which have no module.
const char* WellKnownProcessName(DWORD dwProcessId)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return nullptr;
    DWORD dwMajor = version.dwMajorVersion;
    DWORD dwMinor = version.dwMinorVersion;
    bool bNt4 = dwMajor == 4;
    bool bW2k = dwMajor == 5 && dwMinor == 0;
    bool bXp = dwMajor == 5 && (dwMinor == 1 || dwMinor == 2);
    if (dwProcessId == 0 && (bNt4 || bW2k || bXp))
        return "System Idle Process";
    if ((bNt4 && dwProcessId == 2) || (bW2k && dwProcessId == 8) || (bXp && dwProcessId == 4))
        return "System";
    return nullptr;
}

bool ReadProcessInfo(const SProcessApi& api, DWORD dwProcessId, SProcessInfo& info)
{
    CScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwProcessId));
    if (process.IsValid()) {
        HMODULE ahModules[MAX_MODULES];
        DWORD cbNeeded = 0;
        if (api.pfnEnumProcessModules &&
            api.pfnEnumProcessModules(process.Get(), ahModules, sizeof ahModules, &cbNeeded)) {
            char szName[MAX_PATH] = "";
            if (api.pfnGetModuleBaseName && api.pfnGetModuleBaseName(process.Get(), ahModules[0], szName,
                                                                      sizeof szName) != 0)
                info.strName = szName;
            char szLocation[LOCATION_BUFFER] = "";
            if (api.pfnGetModuleFileNameEx && api.pfnGetModuleFileNameEx(process.Get(), ahModules[0], szLocation,
                                                                          sizeof szLocation) != 0)
                info.strLocation = NormalizedLocation(szLocation);
        }
    }
    if (info.strName.empty()) {
        const char* pszKnown = WellKnownProcessName(dwProcessId);
        if (pszKnown)
            info.strName = pszKnown;
    }
    return !info.strName.empty() || !info.strLocation.empty();
}

void AddText(CXmlDocument& doc, const char* pszName, const char* pszText)
{
    doc.AddElement(pszName, pszText, CXmlDocument::ADD_CHILD);
}

const char* OrNotAvailable(const char* pszText)
{
    return pszText[0] != '\0' ? pszText : "n/a";
}

void WriteVersion(CXmlDocument& doc, const SProcessInfo& info)
{
    doc.AddElement("Version", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();
    CFileVersion version;
    if (!info.strLocation.empty() && version.Load(info.strLocation.c_str())) {
        AddText(doc, "Description", OrNotAvailable(version.QueryString("FileDescription")));
        AddText(doc, "FileVersion", version.QueryString("FileVersion"));
        AddText(doc, "ProductVersion", version.QueryString("ProductVersion"));
        AddText(doc, "CompanyName", OrNotAvailable(version.QueryString("CompanyName")));
    } else {
        for (const char* pszName : {"Description", "FileVersion", "ProductVersion", "CompanyName"})
            AddText(doc, pszName, "n/a");
    }
    AddText(doc, "Location", info.strLocation.empty() ? "n/a" : info.strLocation.c_str());
    AddText(doc, "Created", info.strLocation.empty() ? "n/a" : FileCreationTimeText(info.strLocation.c_str()).c_str());
    doc.Ascend();
}

void AddKilobytes(CXmlDocument& doc, const char* pszName, bool bRead, SIZE_T cbValue)
{
    char szValue[32] = "n/a";
    if (bRead)
        std::snprintf(szValue, sizeof szValue, "%llu", static_cast<unsigned long long>(cbValue >> 10));
    AddText(doc, pszName, szValue);
}

void WriteCounters(CXmlDocument& doc, const SProcessApi& api, DWORD dwProcessId)
{
    CScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, dwProcessId));
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    bool bMemory = process.IsValid() && api.pfnGetProcessMemoryInfo &&
                   api.pfnGetProcessMemoryInfo(process.Get(), reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters),
                                               sizeof counters);
    // Older systems fill only the basic record and say so in cb.
    SIZE_T cbPrivate = counters.cb >= offsetof(PROCESS_MEMORY_COUNTERS_EX, PrivateUsage) + sizeof(SIZE_T)
                           ? counters.PrivateUsage
                           : 0;

    doc.AddElement("Counters", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();
    doc.AddElement("WorkingSetSize", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();
    AddKilobytes(doc, "Current", bMemory, counters.WorkingSetSize);
    AddKilobytes(doc, "Peak", bMemory, counters.PeakWorkingSetSize);
    doc.Ascend();
    doc.AddElement("PagefileUsage", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();
    AddKilobytes(doc, "Current", bMemory, counters.PagefileUsage);
    AddKilobytes(doc, "Peak", bMemory, counters.PeakPagefileUsage);
    doc.Ascend();
    AddKilobytes(doc, "PrivateUsage", bMemory, cbPrivate);

    DWORD dwHandles = 0;
    char szHandles[16] = "n/a";
    if (process.IsValid() && api.pfnGetProcessHandleCount && api.pfnGetProcessHandleCount(process.Get(), &dwHandles))
        std::snprintf(szHandles, sizeof szHandles, "%u", static_cast<unsigned>(dwHandles));
    AddText(doc, "HandleCount", szHandles);
    doc.Ascend();
}

}  // namespace

void WriteProcesses(CXmlDocument& doc)
{
    doc.AddElement("Processes", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();

    SProcessApi api;
    DWORD adwProcessIds[MAX_PROCESSES];
    DWORD cbReturned = 0;
    DWORD dwCount = 0;
    if (api.pfnEnumProcesses && api.pfnEnumProcesses(adwProcessIds, sizeof adwProcessIds, &cbReturned))
        dwCount = cbReturned / sizeof(DWORD);
    TRACE(3, "\nTriagist            : %d running processes found", static_cast<int>(dwCount));

    for (DWORD i = 0; i < dwCount; ++i) {
        SProcessInfo info;
        if (!ReadProcessInfo(api, adwProcessIds[i], info)) {
            TRACE(1, "\nTriagist            : ERROR 0x%X! GetProcessInfo FAILED!",
                  static_cast<unsigned>(GetLastError()));
            continue;
        }
        doc.AddElement("Process", nullptr, CXmlDocument::ADD_CHILD);
        doc.SetAttribute(doc.m_iPosChild, "Name", info.strName.c_str());
        doc.Descend();
        WriteVersion(doc, info);
        WriteCounters(doc, api, adwProcessIds[i]);
        doc.Ascend();
    }
    doc.Ascend();
}
