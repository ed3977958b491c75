// The holder of a worker thread, a member of the objects that start one.
#pragma once

#include "src/platform/Win32.h"

#include <string>

// The owner starts the thread itself (_beginthreadex with the owner as the
// argument, suspended, then normal priority, ResumeThread and Sleep(0)) and
// keeps its handle and id here. Destruction stops it.
class CThread {
public:
    explicit CThread(const char* pszName);
    ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts pfnMain(pvArgument) the owners' way: suspended, normal priority, resumed, then Sleep(0)
    // to let it begin. False when the thread could not be created; its error is in m_dwLastError.
    bool Start(unsigned(WINAPI* pfnMain)(void*), void* pvArgument);
    // Gives a running thread 10 ms to end. With bTerminateThread set it waits
    // up to 5 s more and then terminates it. Always closes the handle. FALSE
    // only when a termination was needed and failed.
    BOOL Stop();
    // Terminates the thread if it still runs and closes the handle. The result
    // is that of TerminateThread, TRUE when there was nothing to terminate.
    BOOL Terminate(DWORD dwExitCode);

    HANDLE m_hThread;
    DWORD m_dwThreadId;
    DWORD m_dwLastError;
    DWORD bTerminateThread;
    std::string m_strName;
};
