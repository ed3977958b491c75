// The holder of a worker thread.
#include "src/trace/Thread.h"

#include "src/trace/FileDebug.h"

namespace {

const DWORD kGraceMs = 10;
const DWORD kTerminateWaitMs = 5000;

}  // namespace

CThread::CThread(const char* pszName)
    : m_hThread(nullptr), m_dwThreadId(0), m_dwLastError(0), bTerminateThread(0), m_strName(pszName ? pszName : "")
{
}

CThread::~CThread()
{
    Stop();
}

bool CThread::Start(unsigned(WINAPI* pfnMain)(void*), void* pvArgument)
{
    unsigned uThreadId = 0;
    m_hThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, pfnMain, pvArgument, CREATE_SUSPENDED, &uThreadId));
    if (!m_hThread) {
        m_dwLastError = GetLastError();
        return false;
    }
    m_dwThreadId = uThreadId;
    m_dwLastError = 0;
    SetThreadPriority(m_hThread, THREAD_PRIORITY_NORMAL);
    ResumeThread(m_hThread);
    Sleep(0);
    return true;
}

BOOL CThread::Stop()
{
    TRACE(5, "\n~CThread - name=\"%s\" (bTerminateThread=%d)", m_strName.c_str(),
          static_cast<int>(bTerminateThread));

    BOOL bResult = TRUE;
    if (m_hThread) {
        DWORD dwExitCode = 0;
        if (GetExitCodeThread(m_hThread, &dwExitCode)) {
            m_dwLastError = 0;
            if (dwExitCode == STILL_ACTIVE)
                WaitForSingleObject(m_hThread, kGraceMs);
        } else {
            m_dwLastError = GetLastError();
        }
    }

    if (bTerminateThread && m_hThread) {
        DWORD dwExitCode = 0;
        BOOL bKnown = GetExitCodeThread(m_hThread, &dwExitCode);
        if (bKnown && dwExitCode != STILL_ACTIVE) {
            CloseHandle(m_hThread);
            m_hThread = nullptr;
            return TRUE;
        }
        if (WaitForSingleObject(m_hThread, kTerminateWaitMs) != WAIT_OBJECT_0 || !bKnown)
            bResult = Terminate(0);
    }

    if (m_hThread) {
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    return bResult;
}

BOOL CThread::Terminate(DWORD dwExitCode)
{
    if (!m_hThread)
        return TRUE;
    BOOL bResult = TRUE;
    if (WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT) {
        bResult = TerminateThread(m_hThread, dwExitCode);
        if (!bResult)
            m_dwLastError = GetLastError();
        else
            TRACE(1, "\n\n ###  WARNING! RUNNING THREAD %d (%s) TEMINATED!  ###\n",
                  static_cast<int>(m_dwThreadId), m_strName.c_str());
    }
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    return bResult;
}
