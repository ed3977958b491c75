// The trace log: settings, line building and the process-wide instance.
#include "src/trace/FileDebug.h"

#include "src/platform/RegistryText.h"
#include "src/platform/RegistryView.h"
#include "src/platform/ScopedHandle.h"
#include "src/trace/TraceSettingsNames.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

CFileDebug g_FileDebug("Triagist", FALSE);

namespace {

const size_t kLineSize = 1136;
const size_t kMaxLeadingNewlines = 1123;
const size_t kMaxPrefix = 100;
const size_t kMaxText = 1024;
const char kPrefixTooLong[] = "!! BUFFER TOO SMALL - FIXME !! ";

// A missing value keeps the default; the type is not checked, as the editor
// and older components may have written these values differently.
void ReadDword(HKEY hKey, const char* pszName, DWORD& dwValue)
{
    DWORD dwData = dwValue;
    DWORD cbData = sizeof(dwData);
    if (RegQueryValueExA(hKey, pszName, nullptr, nullptr, reinterpret_cast<LPBYTE>(&dwData), &cbData) ==
        ERROR_SUCCESS)
        dwValue = dwData;
}

// Appends like snprintf, never beyond the buffer; returns the new length.
size_t AppendFormat(char* pszBuffer, size_t cbUsed, size_t cbBuffer, const char* pszFormat, ...)
    TRIAGIST_PRINTF(4, 5);

size_t AppendFormat(char* pszBuffer, size_t cbUsed, size_t cbBuffer, const char* pszFormat, ...)
{
    if (cbUsed + 1 >= cbBuffer)
        return cbUsed;
    va_list args;
    va_start(args, pszFormat);
    int nWritten = vsnprintf(pszBuffer + cbUsed, cbBuffer - cbUsed, pszFormat, args);
    va_end(args);
    if (nWritten < 0) {
        pszBuffer[cbUsed] = '\0';
        return cbUsed;
    }
    size_t cbRoom = cbBuffer - cbUsed - 1;
    return cbUsed + (static_cast<size_t>(nWritten) < cbRoom ? static_cast<size_t>(nWritten) : cbRoom);
}

}  // namespace

CFileDebug::CFileDebug(const char* pszModule, BOOL bAnnounce)
    : m_hFileMutex(nullptr),
      m_szTraceFile(),
      m_dwFileLimit(0),
      m_dwFileLevel(0),
      m_dwConLevel(0),
      m_hConsole(INVALID_HANDLE_VALUE),
      m_dwWinLevel(0),
      m_hPsapi(nullptr),
      m_hKernel32(nullptr),
      m_pfnGetProcessMemoryInfo(nullptr),
      m_pfnGetProcessHandleCount(nullptr),
      m_szModule(),
      m_bTimeStampOn(0),
      m_bDateStampOn(0),
      m_bThreadIdOn(0),
      m_bCpuIdOn(0),
      m_bAppNameOn(0),
      m_bMemUsageOn(0),
      m_bHandleCountOn(0),
      m_dwReloadInterval(0),
      m_dwLastReload(0),
      m_bActive(0)
{
    Init(pszModule, bAnnounce);
}

CFileDebug::~CFileDebug()
{
    m_bActive = 0;
    FreeLibraries();
    CloseFileMutex();
}

void CFileDebug::FreeLibraries()
{
    m_pfnGetProcessMemoryInfo = nullptr;
    m_pfnGetProcessHandleCount = nullptr;
    if (m_hPsapi)
        FreeLibrary(m_hPsapi);
    if (m_hKernel32)
        FreeLibrary(m_hKernel32);
    m_hPsapi = nullptr;
    m_hKernel32 = nullptr;
}

void CFileDebug::CloseFileMutex()
{
    if (!m_hFileMutex)
        return;
    // Give the mutex back if this thread holds it; a wait that succeeds here
    // only adds one more claim, which the release takes away again.
    DWORD dwWait = WaitForSingleObject(m_hFileMutex, 0);
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
        ReleaseMutex(m_hFileMutex);
    CloseHandle(m_hFileMutex);
    m_hFileMutex = nullptr;
}

void CFileDebug::ClearOptions()
{
    m_bActive = 0;
    m_bTimeStampOn = 0;
    m_bDateStampOn = 0;
    m_bThreadIdOn = 0;
    m_bCpuIdOn = 0;
    m_bAppNameOn = 0;
    m_bMemUsageOn = 0;
    m_bHandleCountOn = 0;
    m_dwReloadInterval = 0;
}

void CFileDebug::Init(const char* pszModule, BOOL bAnnounce)
{
    ClearOptions();
    m_dwLastReload = 0;
    FreeLibraries();  // an earlier Init's libraries are given back, not leaked
    m_szModule[0] = '\0';

    if (pszModule) {
        strncpy(m_szModule, pszModule, sizeof(m_szModule) - 1);
        m_szModule[sizeof(m_szModule) - 1] = '\0';
        ReadSettings();
    }

    if (m_bActive && bAnnounce) {
        SYSTEMTIME st;
        GetLocalTime(&st);
        Trace(1, "\n\n----- Application [%s] started at %02d:%02d:%02d %02d/%02d/%02d -----\n", m_szModule,
              st.wHour, st.wMinute, st.wSecond, st.wMonth, st.wDay, st.wYear);
    }
}

void CFileDebug::ReadSettings()
{
    ClearOptions();

    {
        CScopedRegKey key;
        if (RegOpenKey64(HKEY_LOCAL_MACHINE, TRACE_SETTINGS_KEY, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS)
            ReadDword(key.Get(), TRACE_DYNAMIC_UPDATE, m_dwReloadInterval);
    }
    if (m_dwReloadInterval != 0)
        m_bActive = 1;

    char szKey[sizeof(TRACE_SETTINGS_KEY) + sizeof(m_szModule) + 1];
    snprintf(szKey, sizeof(szKey), "%s\\%s", TRACE_SETTINGS_KEY, m_szModule);
    CScopedRegKey key;
    if (RegOpenKey64(HKEY_LOCAL_MACHINE, szKey, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS) {
        ReadDword(key.Get(), TRACE_TIME_STAMP_ON, m_bTimeStampOn);
        ReadDword(key.Get(), TRACE_DATE_STAMP_ON, m_bDateStampOn);
        ReadDword(key.Get(), TRACE_THREAD_ID_ON, m_bThreadIdOn);
        ReadDword(key.Get(), TRACE_CPU_ID_ON, m_bCpuIdOn);
        ReadDword(key.Get(), TRACE_APP_NAME_ON, m_bAppNameOn);
        ReadDword(key.Get(), TRACE_MEM_USAGE_ON, m_bMemUsageOn);
        ReadDword(key.Get(), TRACE_HANDLE_COUNT_ON, m_bHandleCountOn);
        DWORD dwConLevel = 0;
        DWORD dwWinLevel = 0;
        DWORD dwFileLevel = 0;
        DWORD dwLimitMB = 10;
        char szPath[MAX_PATH] = "";
        ReadDword(key.Get(), TRACE_CON_LEVEL, dwConLevel);
        ReadDword(key.Get(), TRACE_WIN_LEVEL, dwWinLevel);
        ReadDword(key.Get(), TRACE_FILE_LEVEL, dwFileLevel);

        if (dwFileLevel != 0) {
            ReadDword(key.Get(), TRACE_FILE_LIMIT, dwLimitMB);
            DWORD dwType = REG_NONE;
            DWORD cbPath = sizeof(szPath);
            // A value longer than the buffer is not supported: no file then.
            if (RegQueryText(key.Get(), TRACE_FILE, &dwType, szPath, &cbPath) == ERROR_SUCCESS &&
                dwType == REG_EXPAND_SZ && szPath[0] != '\0') {
                char szExpanded[MAX_PATH];
                DWORD cchExpanded = ExpandEnvironmentStringsA(szPath, szExpanded, sizeof(szExpanded));
                // A path that does not fit is no path: writing to the
                // unexpanded name would only scatter stray files.
                if (cchExpanded == 0 || cchExpanded > sizeof(szExpanded))
                    szPath[0] = '\0';
                else
                    memcpy(szPath, szExpanded, cchExpanded);
            }
        }
        key.Close();

        if (SetTraceFile(dwFileLevel, szPath, dwLimitMB))
            m_bActive = 1;

        m_dwConLevel = dwConLevel;
        if (dwConLevel != 0) {
            // Once allocated, the console stays for the life of the process.
            if (m_hConsole == INVALID_HANDLE_VALUE) {
                AllocConsole();
                m_hConsole = GetStdHandle(STD_OUTPUT_HANDLE);
            }
            m_bActive = 1;
        }

        m_dwWinLevel = dwWinLevel;
        if (dwWinLevel != 0)
            m_bActive = 1;

        if (m_bMemUsageOn && !m_hPsapi) {
            m_hPsapi = LoadLibraryA("psapi");
            if (m_hPsapi)
                m_pfnGetProcessMemoryInfo = ResolveProc<PFN_GETPROCESSMEMORYINFO>(m_hPsapi, "GetProcessMemoryInfo");
        }
        if (m_bHandleCountOn && !m_hKernel32) {
            m_hKernel32 = LoadLibraryA("kernel32");
            if (m_hKernel32)
                m_pfnGetProcessHandleCount = ResolveProc<PFN_GETPROCESSHANDLECOUNT>(m_hKernel32, "GetProcessHandleCount");
        }
    }

    m_dwLastReload = GetTickCount() >> 10;
}

BOOL CFileDebug::SetTraceFile(DWORD dwLevel, const char* pszPath, DWORD dwLimitMB)
{
    if (!pszPath)
        pszPath = "";
    m_dwFileLevel = dwLevel;
    m_dwFileLimit = dwLimitMB << 20;

    if (dwLevel != 0 && strcmp(pszPath, m_szTraceFile) != 0) {
        CloseFileMutex();
        m_szTraceFile[0] = '\0';
        if (*pszPath) {
            // Named after the path, so that every process and module writing
            // this file shares it; a name may not contain backslashes.
            char szName[sizeof("CFileDebug_") + MAX_PATH];
            snprintf(szName, sizeof(szName), "CFileDebug_%s", pszPath);
            for (char* p = szName; *p; p = CharNextA(p)) {
                if (*p == '\\' || *p == ':')
                    *p = '_';
            }
            m_hFileMutex = CreateMutexA(nullptr, FALSE, szName);
            strncpy(m_szTraceFile, pszPath, sizeof(m_szTraceFile) - 1);
            m_szTraceFile[sizeof(m_szTraceFile) - 1] = '\0';
        }
    }
    return dwLevel > 0 && *pszPath;
}

void CFileDebug::Trace(DWORD dwLevel, const char* pszFormat, ...)
{
    DWORD dwLastError = GetLastError();
    try {
        if (m_dwReloadInterval != 0) {
            DWORD dwNow = GetTickCount() >> 10;
            if (dwNow >= static_cast<ULONGLONG>(m_dwLastReload) + m_dwReloadInterval || dwNow < m_dwLastReload)
                ReadSettings();
        }
        if (m_dwFileLevel < dwLevel && m_dwConLevel < dwLevel && m_dwWinLevel < dwLevel) {
            SetLastError(dwLastError);
            return;
        }

        char szLine[kLineSize];
        size_t cbLine = 0;
        while (*pszFormat == '\n' && cbLine < kMaxLeadingNewlines)
            szLine[cbLine++] = *pszFormat++;
        szLine[cbLine] = '\0';

        if (m_bDateStampOn) {
            SYSTEMTIME st;
            GetLocalTime(&st);
            cbLine = AppendFormat(szLine, cbLine, sizeof(szLine), "[%02d-%02d-%02d] ", st.wYear, st.wMonth, st.wDay);
        }
        if (m_bTimeStampOn) {
            SYSTEMTIME st;
            GetLocalTime(&st);
            cbLine = AppendFormat(szLine, cbLine, sizeof(szLine), "[%02d:%02d:%02d.%03d] ", st.wHour, st.wMinute,
                                  st.wSecond, st.wMilliseconds);
        }
        if (m_bThreadIdOn)
            cbLine = AppendFormat(szLine, cbLine, sizeof(szLine), "(%05d) ", static_cast<int>(GetCurrentThreadId()));
        if (m_bMemUsageOn && m_pfnGetProcessMemoryInfo) {
            PROCESS_MEMORY_COUNTERS_EX pmc;
            memset(&pmc, 0, sizeof(pmc));
            pmc.cb = sizeof(pmc);
            if (m_pfnGetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&pmc),
                                          sizeof(pmc))) {
                bool bKnown = true;
                SIZE_T cbPrivate = 0;
                if (pmc.cb >= sizeof(PROCESS_MEMORY_COUNTERS_EX))
                    cbPrivate = pmc.PrivateUsage;
                else if (pmc.cb >= sizeof(PROCESS_MEMORY_COUNTERS))
                    cbPrivate = pmc.PagefileUsage;
                else
                    bKnown = false;
                if (bKnown)
                    cbLine = AppendFormat(szLine, cbLine, sizeof(szLine), "{PB %05dkB, MU %05dkB} ",
                                          static_cast<int>(cbPrivate >> 10), static_cast<int>(pmc.WorkingSetSize >> 10));
            }
        }
        if (m_bHandleCountOn && m_pfnGetProcessHandleCount) {
            DWORD dwHandles = 0;
            if (m_pfnGetProcessHandleCount(GetCurrentProcess(), &dwHandles))
                cbLine = AppendFormat(szLine, cbLine, sizeof(szLine), "{%03d H} ", static_cast<int>(dwHandles));
        }
        if (m_bAppNameOn) {
            size_t cbStart = cbLine;
            cbLine = AppendFormat(szLine, cbLine, sizeof(szLine), "%-13s  ", m_szModule);
            size_t cbColon = cbStart + strlen(m_szModule);
            if (cbColon < cbLine)
                szLine[cbColon] = ':';
        }

        if (cbLine >= kMaxPrefix) {
            memcpy(szLine, kPrefixTooLong, sizeof(kPrefixTooLong));
            cbLine = sizeof(kPrefixTooLong) - 1;
        }

        va_list args;
        va_start(args, pszFormat);
        int nText = vsnprintf(szLine + cbLine, kMaxText + 1, pszFormat, args);
        va_end(args);
        if (nText < 0)
            szLine[cbLine] = '\0';
        else
            cbLine += static_cast<size_t>(nText) < kMaxText ? static_cast<size_t>(nText) : kMaxText;

        if (m_dwFileLevel >= dwLevel) {
            try {
                WriteToFile(szLine, cbLine);
            } catch (...) {
            }
        }
        if (m_dwConLevel >= dwLevel) {
            try {
                WriteToConsole(szLine, cbLine);
            } catch (...) {
            }
        }
        if (m_dwWinLevel >= dwLevel) {
            try {
                WriteToDebugger(szLine);
            } catch (...) {
            }
        }
    } catch (...) {
    }
    SetLastError(dwLastError);
}
