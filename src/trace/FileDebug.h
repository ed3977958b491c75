// The trace log of every component: a trace file, a console and the debugger output.
#pragma once

#include "src/platform/Printf.h"
#include "src/platform/ScopedHandle.h"
#include "src/platform/Win32.h"

#include <cstddef>

// The settings live per module under HKEY_LOCAL_MACHINE\SOFTWARE\Debug\<module>
// (64-bit view), shared with the agents' own components and edited by the
// trace settings editor. Call sites test m_bActive before calling Trace.
class CFileDebug {
public:
    explicit CFileDebug(const char* pszModule = nullptr, BOOL bAnnounce = FALSE);
    ~CFileDebug();
    CFileDebug(const CFileDebug&) = delete;
    CFileDebug& operator=(const CFileDebug&) = delete;

    // Forgets the module's settings; with a name, takes at most 31 characters of
    // it and reads its settings. bAnnounce writes the start-up header.
    void Init(const char* pszModule, BOOL bAnnounce);
    void ReadSettings();
    // TRUE when dwLevel is above 0 and pszPath is not empty. A level of 0 keeps
    // the current path and mutex.
    BOOL SetTraceFile(DWORD dwLevel, const char* pszPath, DWORD dwLimitMB);
    // Keeps the thread's last error as it was.
    void Trace(DWORD dwLevel, const char* pszFormat, ...) TRIAGIST_PRINTF(3, 4);

    const char* GetModuleName() const { return m_szModule; }
    const char* GetTraceFile() const { return m_szTraceFile; }
    DWORD GetFileLimit() const { return m_dwFileLimit; }

private:
    typedef BOOL(WINAPI* PFN_GETPROCESSMEMORYINFO)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
    typedef BOOL(WINAPI* PFN_GETPROCESSHANDLECOUNT)(HANDLE, PDWORD);

    // What the module's key says of the outputs, read in full before any output changes.
    struct SOutputSettings {
        DWORD dwConLevel = 0;
        DWORD dwWinLevel = 0;
        DWORD dwFileLevel = 0;
        DWORD dwLimitMB = 10;
        char szPath[MAX_PATH] = "";
    };

    // The steps of ReadSettings.
    void ReadReloadInterval();
    void ReadLineFields(HKEY hKey);
    static SOutputSettings ReadOutputSettings(HKEY hKey);
    void ApplyOutputSettings(const SOutputSettings& settings);
    void LoadCounterFunctions();

    // The steps of Trace: the fields in front of the text, and the text's way to each output of its level.
    void ReloadWhenDue();
    size_t AppendLineFields(char* pszLine, size_t cbLine);
    size_t AppendCounters(char* pszLine, size_t cbLine);
    void WriteLine(DWORD dwLevel, const char* pszLine, size_t cbLine);

    void WriteToFile(const char* pszLine, size_t cbLine);
    void WriteToConsole(const char* pszLine, size_t cbLine);
    void WriteToDebugger(const char* pszLine);
    void FreeLibraries();
    void ClearOptions();
    void CloseFileMutex();

    CScopedHandle m_FileMutex;
    char m_szTraceFile[MAX_PATH];
    DWORD m_dwFileLimit;  // bytes, 0 = unlimited
    DWORD m_dwFileLevel;
    DWORD m_dwConLevel;
    HANDLE m_hConsole;
    DWORD m_dwWinLevel;
    CScopedModule m_Psapi;
    CScopedModule m_Kernel32;
    PFN_GETPROCESSMEMORYINFO m_pfnGetProcessMemoryInfo;
    PFN_GETPROCESSHANDLECOUNT m_pfnGetProcessHandleCount;
    char m_szModule[32];
    DWORD m_bTimeStampOn;
    DWORD m_bDateStampOn;
    DWORD m_bThreadIdOn;
    DWORD m_bCpuIdOn;
    DWORD m_bAppNameOn;
    DWORD m_bMemUsageOn;
    DWORD m_bHandleCountOn;
    DWORD m_dwReloadInterval;  // units of 1024 ms, 0 = read once
    DWORD m_dwLastReload;      // tick count >> 10

public:
    DWORD m_bActive;
};

extern CFileDebug g_FileDebug;

// One trace line of the process's trace; while tracing is off it costs one test and its arguments are
// not evaluated.
#define TRACE(level, ...)                                \
    do {                                                 \
        if (g_FileDebug.m_bActive)                       \
            g_FileDebug.Trace((level), __VA_ARGS__);     \
    } while (0)
