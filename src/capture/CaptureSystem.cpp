// lab.ini: what kernel32 tells of the system, the languages and the system's environment.
#include "src/capture/Capture.h"

namespace {

// The variables of the server that paths and the checks use; the rest belong to the capturing user.
const char* const ENVIRONMENT[] = {"SystemRoot",         "windir",        "SystemDrive",   "ProgramFiles",
                                   "ProgramFiles(x86)", "ProgramW6432",  "CommonProgramFiles",
                                   "ProgramData",       "ALLUSERSPROFILE", "COMPUTERNAME"};

}  // namespace

void CaptureSystem(SCapture& capture)
{
    std::string& strOut = capture.folder.Text("lab.ini");
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    char szWindows[MAX_PATH] = "";
    GetWindowsDirectoryA(szWindows, sizeof szWindows);
    char szWow64[MAX_PATH] = "";
    bool bWow64 = GetSystemWow64DirectoryA(szWow64, sizeof szWow64) != 0;

    strOut = "; The server as triagist-capture found it (see lab/README.md).\r\n\r\n[System]\r\n";
    strOut += FormatText("Locale=%lu\r\n", static_cast<unsigned long>(GetThreadLocale()));
    if (GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&version))) {
        strOut += FormatText("MajorVersion=%lu\r\nMinorVersion=%lu\r\nBuildNumber=%lu\r\nPlatformId=%lu\r\nCSDVersion=%s\r\n"
                             "ServicePackMajor=%u\r\nServicePackMinor=%u\r\nSuiteMask=0x%X\r\nProductType=%u\r\n",
                             static_cast<unsigned long>(version.dwMajorVersion),
                             static_cast<unsigned long>(version.dwMinorVersion),
                             static_cast<unsigned long>(version.dwBuildNumber),
                             static_cast<unsigned long>(version.dwPlatformId), version.szCSDVersion,
                             version.wServicePackMajor, version.wServicePackMinor, version.wSuiteMask,
                             version.wProductType);
    } else {
        capture.log.Missed("Windows version", GetLastError());
    }
    strOut += FormatText("ProcessorArchitecture=%u\r\nNumberOfProcessors=%lu\r\nPageSize=%lu\r\nProcessorLevel=%u\r\n"
                         "ProcessorRevision=0x%X\r\nSystemLanguage=%u\r\nUserLanguage=%u\r\nWindowsDirectory=%s\r\n"
                         "Wow64=%s\r\n",
                         system.wProcessorArchitecture, static_cast<unsigned long>(system.dwNumberOfProcessors),
                         static_cast<unsigned long>(system.dwPageSize), system.wProcessorLevel,
                         system.wProcessorRevision, GetSystemDefaultLangID(), GetUserDefaultLangID(), szWindows,
                         bWow64 ? "yes" : "no");

    strOut += "\r\n[Environment]\r\n";
    for (const char* pszName : ENVIRONMENT) {
        char szValue[1024];
        DWORD cch = GetEnvironmentVariableA(pszName, szValue, sizeof szValue);
        if (cch > 0 && cch < sizeof szValue)
            strOut += std::string(pszName) + "=" + szValue + "\r\n";
    }
    char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD cchComputer = sizeof szComputer;
    if (capture.bRedact && GetComputerNameA(szComputer, &cchComputer))
        capture.redactor.Add(CRedactor::NAME, szComputer);

    strOut += "\r\n[Processes]\r\nSource=profile\r\n";
    capture.log.Captured("lab.ini: system facts, languages, environment");
}
