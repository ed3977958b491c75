// Stands in for kernel32's facts about the system: its version, processors, languages and system directories.
#include "lab/win32/SystemFacts.h"

#include "lab/host/Host.h"
#include "lab/host/ProfileValues.h"
#include "lab/win32/PathBuffer.h"

#include <cstdlib>
#include <cstring>
#include <string>

// Every fact comes from [System] of the profile's lab.ini; a profile that says nothing is the
// sample server: Windows Server 2019 (10.0.17763) on eight AMD64 processors, US English.
namespace {

std::string Setting(const char* key)
{
    return lab::host::Host::Instance().Settings().Get("System", key, "");
}

DWORD Number(const char* key, DWORD dwDefault)
{
    std::string text = Setting(key);
    if (text.empty())
        return dwDefault;
    uint32_t value = 0;
    return lab::host::ParseNumber(text, value) ? value : dwDefault;
}

bool Flag(const char* key, bool bDefault)
{
    std::string text = Setting(key);
    if (text.empty())
        return bDefault;
    using lab::host::EqualsNoCase;
    return EqualsNoCase(text, "1") || EqualsNoCase(text, "yes") || EqualsNoCase(text, "true");
}

WORD Architecture()
{
    using lab::host::EqualsNoCase;
    std::string text = Setting("ProcessorArchitecture");
    if (text.empty() || EqualsNoCase(text, "AMD64") || EqualsNoCase(text, "x64"))
        return PROCESSOR_ARCHITECTURE_AMD64;
    if (EqualsNoCase(text, "IA64"))
        return PROCESSOR_ARCHITECTURE_IA64;
    if (EqualsNoCase(text, "x86") || EqualsNoCase(text, "Intel"))
        return PROCESSOR_ARCHITECTURE_INTEL;
    return static_cast<WORD>(Number("ProcessorArchitecture", PROCESSOR_ARCHITECTURE_UNKNOWN));
}

std::string WithoutTrailingSeparator(std::string path)
{
    // "C:\" keeps its separator: it is the root, not a trailing one.
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

std::string WindowsDirectory()
{
    std::string configured = Setting("WindowsDirectory");
    if (!configured.empty())
        return WithoutTrailingSeparator(configured);
    std::string root;
    if (lab::host::Host::Instance().Environment("SystemRoot", root) && !root.empty())
        return WithoutTrailingSeparator(root);
    return "C:\\Windows";
}

// 32-bit programs run on 64-bit Windows only; a 32-bit system has no second system directory.
bool HasWow64()
{
    WORD wArchitecture = Architecture();
    return Flag("Wow64", wArchitecture == PROCESSOR_ARCHITECTURE_AMD64 || wArchitecture == PROCESSOR_ARCHITECTURE_IA64);
}

void FillSystemInfo(LPSYSTEM_INFO pInfo)
{
    std::memset(pInfo, 0, sizeof *pInfo);
    WORD wArchitecture = Architecture();
    pInfo->wProcessorArchitecture = wArchitecture;

    uintptr_t maxAddress = 0x00007FFFFFFEFFFFull;
    DWORD dwType = PROCESSOR_AMD_X8664;
    DWORD dwPageSize = 4096;
    if (wArchitecture == PROCESSOR_ARCHITECTURE_IA64) {
        maxAddress = 0x000006FBFFFEFFFFull;
        dwType = PROCESSOR_INTEL_IA64;
        dwPageSize = 8192;
    } else if (wArchitecture == PROCESSOR_ARCHITECTURE_INTEL) {
        maxAddress = 0x7FFEFFFF;
        dwType = PROCESSOR_INTEL_PENTIUM;
    }
    pInfo->dwPageSize = Number("PageSize", dwPageSize);
    pInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(0x10000));
    pInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(maxAddress);
    DWORD dwProcessors = Number("NumberOfProcessors", 8);
    pInfo->dwNumberOfProcessors = dwProcessors;
    pInfo->dwActiveProcessorMask =
        dwProcessors >= sizeof(DWORD_PTR) * 8 ? ~DWORD_PTR(0) : (DWORD_PTR(1) << dwProcessors) - 1;
    pInfo->dwProcessorType = dwType;
    pInfo->dwAllocationGranularity = 65536;
    pInfo->wProcessorLevel = static_cast<WORD>(Number("ProcessorLevel", 6));
    pInfo->wProcessorRevision = static_cast<WORD>(Number("ProcessorRevision", 0x5504));
}

}  // namespace

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation)
{
    if (!lpVersionInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD dwSize = lpVersionInformation->dwOSVersionInfoSize;
    if (dwSize != sizeof(OSVERSIONINFOA) && dwSize != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);  // what Windows answers for a size it does not know
        return FALSE;
    }
    std::memset(lpVersionInformation, 0, dwSize);
    lpVersionInformation->dwOSVersionInfoSize = dwSize;
    lpVersionInformation->dwMajorVersion = Number("MajorVersion", 10);
    lpVersionInformation->dwMinorVersion = Number("MinorVersion", 0);
    lpVersionInformation->dwBuildNumber = Number("BuildNumber", 17763);
    lpVersionInformation->dwPlatformId = Number("PlatformId", VER_PLATFORM_WIN32_NT);
    std::string csd = Setting("CSDVersion");
    std::strncpy(lpVersionInformation->szCSDVersion, csd.c_str(), sizeof lpVersionInformation->szCSDVersion - 1);
    if (dwSize == sizeof(OSVERSIONINFOEXA)) {
        auto* pEx = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
        pEx->wServicePackMajor = static_cast<WORD>(Number("ServicePackMajor", 0));
        pEx->wServicePackMinor = static_cast<WORD>(Number("ServicePackMinor", 0));
        pEx->wSuiteMask = static_cast<WORD>(Number("SuiteMask", VER_SUITE_TERMINAL | VER_SUITE_SINGLEUSERTS));
        pEx->wProductType = static_cast<BYTE>(Number("ProductType", VER_NT_SERVER));
    }
    return TRUE;
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO lpSystemInfo)
{
    FillSystemInfo(lpSystemInfo);
}

// The lab is a 64-bit process, so it sees the machine as it is.
void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo)
{
    FillSystemInfo(lpSystemInfo);
}

LANGID WINAPI GetSystemDefaultLangID()
{
    return static_cast<LANGID>(Number("SystemLanguage", 1033));
}

LANGID WINAPI GetUserDefaultLangID()
{
    return static_cast<LANGID>(Number("UserLanguage", 1033));
}

LCID WINAPI GetSystemDefaultLCID()
{
    return MAKELCID(GetSystemDefaultLangID(), SORT_DEFAULT);
}

LCID WINAPI GetUserDefaultLCID()
{
    return MAKELCID(GetUserDefaultLangID(), SORT_DEFAULT);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return lab::win32::CopyPathOut(WindowsDirectory(), uSize, lpBuffer);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return lab::win32::CopyPathOut(WindowsDirectory() + "\\system32", uSize, lpBuffer);
}

UINT WINAPI GetSystemWow64DirectoryA(LPSTR lpBuffer, UINT uSize)
{
    if (!HasWow64()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    return lab::win32::CopyPathOut(WindowsDirectory() + "\\SysWOW64", uSize, lpBuffer);
}
