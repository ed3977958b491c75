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

// The trace file's path as the key names it, a REG_EXPAND_SZ one expanded; one that does not expand in full is none.
void ReadTraceFilePath(HKEY hKey, char (&szPath)[MAX_PATH])
{
    DWORD dwType = REG_NONE;
    DWORD cbPath = sizeof(szPath);
    // A value longer than the buffer is not supported: no file then.
    if (RegQueryText(hKey, TRACE_FILE, &dwType, szPath, &cbPath) == ERROR_SUCCESS && dwType == REG_EXPAND_SZ &&
        szPath[0] != '\0') {
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

// The format's leading line feeds open the line, ahead of its fields; pszFormat moves past them.
size_t TakeLeadingNewlines(char* pszLine, const char*& pszFormat)
{
    size_t cbLine = 0;
    while (*pszFormat == '\n' && cbLine < kMaxLeadingNewlines)
        pszLine[cbLine++] = *pszFormat++;
    pszLine[cbLine] = '\0';
    return cbLine;
}

// The caller's text after the fields, cut at kMaxText characters; returns the new length.
size_t AppendText(char* pszLine, size_t cbLine, const char* pszFormat, va_list args) TRIAGIST_PRINTF(3, 0);

size_t AppendText(char* pszLine, size_t cbLine, const char* pszFormat, va_list args)
{
    int nText = vsnprintf(pszLine + cbLine, kMaxText + 1, pszFormat, args);
    if (nText < 0)
        pszLine[cbLine] = '\0';
    else
        cbLine += static_cast<size_t>(nText) < kMaxText ? static_cast<size_t>(nText) : kMaxText;
    return cbLine;
}

}  // namespace

CFileDebug::CFileDebug(const char* pszModule, BOOL bAnnounce)
    : m_szTraceFile(),
      m_dwFileLimit(0),
      m_dwFileLevel(0),
      m_dwConLevel(0),
      m_hConsole(INVALID_HANDLE_VALUE),
      m_dwWinLevel(0),
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
    m_Psapi.Close();
    m_Kernel32.Close();
}

void CFileDebug::CloseFileMutex()
{
    if (!m_FileMutex.IsValid())
        return;
    // Give the mutex back if this thread holds it; a wait that succeeds here
    // only adds one more claim, which the release takes away again.
    DWORD dwWait = WaitForSingleObject(m_FileMutex.Get(), 0);
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED)
        ReleaseMutex(m_FileMutex.Get());
    m_FileMutex.Close();
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
    ReadReloadInterval();
    if (m_dwReloadInterval != 0)
        m_bActive = 1;

    char szKey[sizeof(TRACE_SETTINGS_KEY) + sizeof(m_szModule) + 1];
    snprintf(szKey, sizeof(szKey), "%s\\%s", TRACE_SETTINGS_KEY, m_szModule);
    CScopedRegKey key;
    if (RegOpenKey64(HKEY_LOCAL_MACHINE, szKey, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS) {
        ReadLineFields(key.Get());
        const SOutputSettings outputs = ReadOutputSettings(key.Get());
        key.Close();
        ApplyOutputSettings(outputs);
        LoadCounterFunctions();
    }

    m_dwLastReload = GetTickCount() >> 10;
}

void CFileDebug::ReadReloadInterval()
{
    CScopedRegKey key;
    if (RegOpenKey64(HKEY_LOCAL_MACHINE, TRACE_SETTINGS_KEY, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS)
        ReadDword(key.Get(), TRACE_DYNAMIC_UPDATE, m_dwReloadInterval);
}

void CFileDebug::ReadLineFields(HKEY hKey)
{
    ReadDword(hKey, TRACE_TIME_STAMP_ON, m_bTimeStampOn);
    ReadDword(hKey, TRACE_DATE_STAMP_ON, m_bDateStampOn);
    ReadDword(hKey, TRACE_THREAD_ID_ON, m_bThreadIdOn);
    ReadDword(hKey, TRACE_CPU_ID_ON, m_bCpuIdOn);
    ReadDword(hKey, TRACE_APP_NAME_ON, m_bAppNameOn);
    ReadDword(hKey, TRACE_MEM_USAGE_ON, m_bMemUsageOn);
    ReadDword(hKey, TRACE_HANDLE_COUNT_ON, m_bHandleCountOn);
}

CFileDebug::SOutputSettings CFileDebug::ReadOutputSettings(HKEY hKey)
{
    SOutputSettings settings;
    ReadDword(hKey, TRACE_CON_LEVEL, settings.dwConLevel);
    ReadDword(hKey, TRACE_WIN_LEVEL, settings.dwWinLevel);
    ReadDword(hKey, TRACE_FILE_LEVEL, settings.dwFileLevel);
    if (settings.dwFileLevel != 0) {
        ReadDword(hKey, TRACE_FILE_LIMIT, settings.dwLimitMB);
        ReadTraceFilePath(hKey, settings.szPath);
    }
    return settings;
}

void CFileDebug::ApplyOutputSettings(const SOutputSettings& settings)
{
    if (SetTraceFile(settings.dwFileLevel, settings.szPath, settings.dwLimitMB))
        m_bActive = 1;

    m_dwConLevel = settings.dwConLevel;
    if (settings.dwConLevel != 0) {
        // Once allocated, the console stays for the life of the process.
        if (m_hConsole == INVALID_HANDLE_VALUE) {
            AllocConsole();
            m_hConsole = GetStdHandle(STD_OUTPUT_HANDLE);
        }
        m_bActive = 1;
    }

    m_dwWinLevel = settings.dwWinLevel;
    if (settings.dwWinLevel != 0)
        m_bActive = 1;
}

void CFileDebug::LoadCounterFunctions()
{
    if (m_bMemUsageOn && !m_Psapi.IsValid()) {
        m_Psapi.Reset(LoadLibraryA("psapi"));
        if (m_Psapi.IsValid())
            m_pfnGetProcessMemoryInfo = ResolveProc<PFN_GETPROCESSMEMORYINFO>(m_Psapi.Get(), "GetProcessMemoryInfo");
    }
    if (m_bHandleCountOn && !m_Kernel32.IsValid()) {
        m_Kernel32.Reset(LoadLibraryA("kernel32"));
        if (m_Kernel32.IsValid())
            m_pfnGetProcessHandleCount =
                ResolveProc<PFN_GETPROCESSHANDLECOUNT>(m_Kernel32.Get(), "GetProcessHandleCount");
    }
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
            m_FileMutex.Reset(CreateMutexA(nullptr, FALSE, szName));
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
        ReloadWhenDue();
        if (m_dwFileLevel < dwLevel && m_dwConLevel < dwLevel && m_dwWinLevel < dwLevel) {
            SetLastError(dwLastError);
            return;
        }

        char szLine[kLineSize];
        size_t cbLine = TakeLeadingNewlines(szLine, pszFormat);
        cbLine = AppendLineFields(szLine, cbLine);
        va_list args;
        va_start(args, pszFormat);
        cbLine = AppendText(szLine, cbLine, pszFormat, args);
        va_end(args);
        WriteLine(dwLevel, szLine, cbLine);
    } catch (...) {
    }
    SetLastError(dwLastError);
}

void CFileDebug::ReloadWhenDue()
{
    if (m_dwReloadInterval == 0)
        return;
    DWORD dwNow = GetTickCount() >> 10;
    if (dwNow >= static_cast<ULONGLONG>(m_dwLastReload) + m_dwReloadInterval || dwNow < m_dwLastReload)
        ReadSettings();
}

// The line's fields in their fixed order; a prefix too long for the line gives way to a warning.
size_t CFileDebug::AppendLineFields(char* pszLine, size_t cbLine)
{
    if (m_bDateStampOn) {
        SYSTEMTIME st;
        GetLocalTime(&st);
        cbLine = AppendFormat(pszLine, cbLine, kLineSize, "[%02d-%02d-%02d] ", st.wYear, st.wMonth, st.wDay);
    }
    if (m_bTimeStampOn) {
        SYSTEMTIME st;
        GetLocalTime(&st);
        cbLine = AppendFormat(pszLine, cbLine, kLineSize, "[%02d:%02d:%02d.%03d] ", st.wHour, st.wMinute,
                              st.wSecond, st.wMilliseconds);
    }
    if (m_bThreadIdOn)
        cbLine = AppendFormat(pszLine, cbLine, kLineSize, "(%05d) ", static_cast<int>(GetCurrentThreadId()));
    cbLine = AppendCounters(pszLine, cbLine);
    if (m_bAppNameOn) {
        size_t cbStart = cbLine;
        cbLine = AppendFormat(pszLine, cbLine, kLineSize, "%-13s  ", m_szModule);
        size_t cbColon = cbStart + strlen(m_szModule);
        if (cbColon < cbLine)
            pszLine[cbColon] = ':';
    }

    if (cbLine >= kMaxPrefix) {
        memcpy(pszLine, kPrefixTooLong, sizeof(kPrefixTooLong));
        cbLine = sizeof(kPrefixTooLong) - 1;
    }
    return cbLine;
}

// The process's memory use and handle count, each when asked for and its function exists.
size_t CFileDebug::AppendCounters(char* pszLine, size_t cbLine)
{
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
                cbLine = AppendFormat(pszLine, cbLine, kLineSize, "{PB %05dkB, MU %05dkB} ",
                                      static_cast<int>(cbPrivate >> 10), static_cast<int>(pmc.WorkingSetSize >> 10));
        }
    }
    if (m_bHandleCountOn && m_pfnGetProcessHandleCount) {
        DWORD dwHandles = 0;
        if (m_pfnGetProcessHandleCount(GetCurrentProcess(), &dwHandles))
            cbLine = AppendFormat(pszLine, cbLine, kLineSize, "{%03d H} ", static_cast<int>(dwHandles));
    }
    return cbLine;
}

// The line to each output whose level reaches it; an output that throws keeps the others from nothing.
void CFileDebug::WriteLine(DWORD dwLevel, const char* pszLine, size_t cbLine)
{
    if (m_dwFileLevel >= dwLevel) {
        try {
            WriteToFile(pszLine, cbLine);
        } catch (...) {
        }
    }
    if (m_dwConLevel >= dwLevel) {
        try {
            WriteToConsole(pszLine, cbLine);
        } catch (...) {
        }
    }
    if (m_dwWinLevel >= dwLevel) {
        try {
            WriteToDebugger(pszLine);
        } catch (...) {
        }
    }
}
