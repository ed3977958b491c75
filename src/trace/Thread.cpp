// The holder of a worker thread.
#include "src/trace/Thread.h"

#include "src/trace/FileDebug.h"

namespace {

const DWORD kGraceMs = 10;
const DWORD kTerminateWaitMs = 5000;

}  // namespace

CThread::CThread(const char* pszName)
    : bTerminateThread(0), m_dwThreadId(0), m_dwLastError(0), m_strName(pszName ? pszName : "")
{
}

CThread::~CThread()
{
    Stop();
}

bool CThread::Start(unsigned(WINAPI* pfnMain)(void*), void* pvArgument)
{
    unsigned uThreadId = 0;
    m_Handle.Reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, pfnMain, pvArgument, CREATE_SUSPENDED, &uThreadId)));
    if (!m_Handle.IsValid()) {
        m_dwLastError = GetLastError();
        return false;
    }
    m_dwThreadId = uThreadId;
    m_dwLastError = 0;
    SetThreadPriority(m_Handle.Get(), THREAD_PRIORITY_NORMAL);
    ResumeThread(m_Handle.Get());
    Sleep(0);
    return true;
}

void CThread::Attach(HANDLE hThread, DWORD dwThreadId)
{
    m_Handle.Reset(hThread);
    m_dwThreadId = dwThreadId;
}

void CThread::Detach()
{
    m_Handle.Close();
}

DWORD CThread::Wait(DWORD dwMilliseconds) const
{
    if (!m_Handle.IsValid())
        return WAIT_FAILED;
    return WaitForSingleObject(m_Handle.Get(), dwMilliseconds);
}

BOOL CThread::Stop()
{
    TRACE(5, "\n~CThread - name=\"%s\" (bTerminateThread=%d)", m_strName.c_str(),
          static_cast<int>(bTerminateThread));

    BOOL bResult = TRUE;
    if (m_Handle.IsValid()) {
        DWORD dwExitCode = 0;
        if (GetExitCodeThread(m_Handle.Get(), &dwExitCode)) {
            m_dwLastError = 0;
            if (dwExitCode == STILL_ACTIVE)
                Wait(kGraceMs);
        } else {
            m_dwLastError = GetLastError();
        }
    }

    if (bTerminateThread && m_Handle.IsValid()) {
        DWORD dwExitCode = 0;
        BOOL bKnown = GetExitCodeThread(m_Handle.Get(), &dwExitCode);
        if (bKnown && dwExitCode != STILL_ACTIVE) {
            m_Handle.Close();
            return TRUE;
        }
        if (Wait(kTerminateWaitMs) != WAIT_OBJECT_0 || !bKnown)
            bResult = Terminate(0);
    }

    m_Handle.Close();
    return bResult;
}

BOOL CThread::Terminate(DWORD dwExitCode)
{
    if (!m_Handle.IsValid())
        return TRUE;
    BOOL bResult = TRUE;
    if (Wait(0) == WAIT_TIMEOUT) {
        bResult = TerminateThread(m_Handle.Get(), dwExitCode);
        if (!bResult)
            m_dwLastError = GetLastError();
        else
            TRACE(1, "\n\n ###  WARNING! RUNNING THREAD %d (%s) TEMINATED!  ###\n",
                  static_cast<int>(m_dwThreadId), m_strName.c_str());
    }
    m_Handle.Close();
    return bResult;
}
