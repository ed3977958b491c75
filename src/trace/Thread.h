// The holder of a worker thread, a member of the objects that start one.
#pragma once

#include "src/platform/ScopedHandle.h"
#include "src/platform/Win32.h"

#include <string>

// The owner starts the thread itself (_beginthreadex with the owner as the
// argument, suspended, then normal priority, ResumeThread and Sleep(0)) and
// the holder keeps its handle and id. Destruction stops it.
class CThread {
public:
    explicit CThread(const char* pszName);
    ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts pfnMain(pvArgument) the owners' way: suspended, normal priority, resumed, then Sleep(0)
    // to let it begin. A thread still held is let go first. False when the thread could not be
    // created; its error is in LastError().
    bool Start(unsigned(WINAPI* pfnMain)(void*), void* pvArgument);
    // Takes over a thread opened elsewhere, to be stopped and closed as one of our own.
    void Attach(HANDLE hThread, DWORD dwThreadId);
    // Lets the thread run on to its own end: the handle is closed, nobody waits for it.
    void Detach();
    // WaitForSingleObject on the thread; WAIT_FAILED while none is held.
    DWORD Wait(DWORD dwMilliseconds) const;
    // Gives a running thread 10 ms to end. With bTerminateThread set it waits
    // up to 5 s more and then terminates it. Always closes the handle. FALSE
    // only when a termination was needed and failed.
    BOOL Stop();
    // Terminates the thread if it still runs and closes the handle. The result
    // is that of TerminateThread, TRUE when there was nothing to terminate.
    BOOL Terminate(DWORD dwExitCode);

    // Null while no thread is held; the holder alone closes it.
    HANDLE Handle() const { return m_Handle.Get(); }
    DWORD ThreadId() const { return m_dwThreadId; }
    // The error of the last start, stop or termination that failed; 0 after one that worked.
    DWORD LastError() const { return m_dwLastError; }

    DWORD bTerminateThread;

private:
    CScopedHandle m_Handle;
    DWORD m_dwThreadId;
    DWORD m_dwLastError;
    std::string m_strName;
};
