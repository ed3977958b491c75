// The program's one wrapper around the service control manager.
#include "src/sysaccess/ServiceMgr.h"

#include "src/platform/ScopedHandle.h"
#include "src/trace/FileDebug.h"

#include <cstdio>
#include <memory>
#include <new>

// Decisions of our own:
// - Open on an object that already holds a database handle closes that handle first (with its
//   trace), so the restart's second open, with more rights, replaces the first one.
// - The question's caption is cut to 300 characters: an operation word and a display name of 256
//   characters fit whole.
// - StartAndWait and StopAndWait set the thread's last error whenever they return FALSE without a
//   failing platform call, so that StartService and StopService never report 0 for a service that
//   did not get where it was sent: 1053 (ERROR_SERVICE_REQUEST_TIMEOUT) for a time-out or a stop
//   that ended elsewhere, the service's exit code or else 1062 (ERROR_SERVICE_NOT_ACTIVE) for a start
//   that ended elsewhere, 1052 (ERROR_INVALID_SERVICE_CONTROL) for a service that takes no stop.
// - A null service name is 160 (ERROR_BAD_ARGUMENTS) for StartService too.

namespace {

const DWORD kAllOnes = 0xFFFFFFFF;
const DWORD kLockedRetrySleepMs = 2000;
const DWORD kLockedAttempts = 10;
const DWORD kMinWaitMs = 1000;
const DWORD kMaxWaitMs = 10000;
const DWORD kInstalledConfigBytes = 1024;
const DWORD kTypeConfigStep = 512;
const DWORD kTypeConfigLimit = 64 * 1024;  // the platform's record is at most 8 KB
const size_t kCaptionChars = 300;
const DWORD kDriverSettleSeconds = 3;
const DWORD kProcessSettleSeconds = 5;
const DWORD kDriverTypes = SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER | SERVICE_RECOGNIZER_DRIVER;

const char* Printable(LPCSTR psz)
{
    return psz ? psz : "(null)";
}

unsigned HandleValue(SC_HANDLE h)
{
    return static_cast<unsigned>(reinterpret_cast<UINT_PTR>(h));
}

// The configuration record in a buffer of the given size: TRUE, or FALSE with the last error set.
BOOL QueryConfig(SC_HANDLE hService, std::unique_ptr<BYTE[]>& pBuffer, DWORD cbBuffer, DWORD& cbNeeded)
{
    pBuffer.reset(new (std::nothrow) BYTE[cbBuffer]);
    if (!pBuffer) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return QueryServiceConfigA(hService, reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(pBuffer.get()), cbBuffer,
                               &cbNeeded);
}

// Checked after each poll's sleep, so a wait may overrun the time-out by one wait hint.
bool TimedOut(DWORD dwStart, DWORD dwTimeoutMs)
{
    DWORD dwElapsed = GetTickCount() - dwStart;
    if (dwElapsed <= dwTimeoutMs)
        return false;
    TRACE(1, "\nCServiceMgr         : ERROR! Timeout after %d seconds!", static_cast<int>(dwElapsed / 1000));
    SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
    return true;
}

}  // namespace

LPCSTR CServiceMgr::StateName(DWORD dwState)
{
    switch (dwState) {
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_START_PENDING:
        return "starting";
    case SERVICE_STOP_PENDING:
        return "stop pending";
    case SERVICE_RUNNING:
        return "running";
    case SERVICE_PAUSED:
        return "paused";
    default:
        return "unknown";
    }
}

LPCSTR CServiceMgr::QueryLocalState(LPCSTR pszService, DWORD* pdwState)
{
    CServiceMgr services(NeverAsk());
    services.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    *pdwState = SERVICE_STOPPED;
    if (!services.IsInstalled(pszService))
        return "not installed";
    *pdwState = 0;
    services.QueryStatus(pszService, pdwState);
    return StateName(*pdwState);
}

CServiceMgr::CServiceMgr(HWND hOwner) : m_hOwner(hOwner)
{
    m_szDisplayName[0] = '\0';
}

CServiceMgr::~CServiceMgr()
{
    Close();
}

DWORD CServiceMgr::Open(LPCSTR pszMachine, LPCSTR pszDatabase, DWORD dwDesiredAccess)
{
    Close();
    const char* pszDatabaseText = pszDatabase ? pszDatabase : "default";
    const char* pszMachineText = pszMachine ? pszMachine : "local system";
    TRACE(3, "\nCServiceMgr         : Open service control manager database \"%s\" at \"%s\"...",
          pszDatabaseText, pszMachineText);
    m_SCManager.Reset(OpenSCManagerA(pszMachine, pszDatabase, dwDesiredAccess));
    if (!m_SCManager.IsValid()) {
        DWORD dwError = GetLastError();
        TRACE(1,
              "\nCServiceMgr         : ERROR 0x%X! Could NOT open service control manager database "
              "\"%s\" at \"%s\"!!",
              static_cast<unsigned>(dwError), pszDatabaseText, pszMachineText);
        return dwError;
    }
    TRACE(3, "\nCServiceMgr         : ... open service control manager database returned handle 0x%X",
          HandleValue(m_SCManager.Get()));
    return ERROR_SUCCESS;
}

DWORD CServiceMgr::Close()
{
    if (!m_SCManager.IsValid())
        return ERROR_SUCCESS;
    DWORD dwResult = ERROR_SUCCESS;
    // Closed here rather than by its owner, for the outcome the caller is told.
    if (CloseServiceHandle(m_SCManager.Detach())) {
        TRACE(3, "\nCServiceMgr         : Service control manager database successfully closed!");
    } else {
        dwResult = GetLastError();
        TRACE(1, "\nCServiceMgr         : ERROR 0x%X! FAILED to close service control manager database!",
              static_cast<unsigned>(dwResult));
    }
    return dwResult;
}

template <class FCall>
DWORD CServiceMgr::RetryWhileLocked(LPCSTR pszOperation, LPCSTR pszService, SC_HANDLE hService, FCall call)
{
    DWORD dwAttempts = 0;
    for (;;) {
        DWORD dwResult = call();
        if (dwResult != ERROR_SERVICE_DATABASE_LOCKED)
            return dwResult;
        Sleep(kLockedRetrySleepMs);
        if (++dwAttempts < kLockedAttempts)
            continue;
        if (m_hOwner == NeverAsk() || AskRetryLocked(pszOperation, pszService, hService) != IDRETRY)
            return ERROR_SERVICE_DATABASE_LOCKED;
        dwAttempts = 0;
    }
}

int CServiceMgr::AskRetryLocked(LPCSTR pszOperation, LPCSTR pszService, SC_HANDLE)
{
    char szDisplayName[MAX_PATH];
    DWORD cchDisplayName = MAX_PATH;
    const char* pszName = GetServiceDisplayNameA(m_SCManager.Get(), pszService, szDisplayName, &cchDisplayName)
                              ? szDisplayName
                              : Printable(pszService);
    char szCaption[kCaptionChars];
    std::snprintf(szCaption, sizeof szCaption, "%s service '%s' failed!", pszOperation, pszName);
    return MessageBoxA(m_hOwner, "The service database is locked! Close all(!) applications and press Retry!",
                       szCaption, MB_RETRYCANCEL | MB_ICONEXCLAMATION);
}

DWORD CServiceMgr::QueryStatus(LPCSTR pszService, DWORD* pdwState)
{
    if (!m_SCManager.IsValid())
        return kAllOnes;
    TRACE(2, "\nCServiceMgr         : QueryServiceStatus service %s", Printable(pszService));
    CScopedServiceHandle service(OpenServiceA(m_SCManager.Get(), pszService, SERVICE_QUERY_STATUS));
    if (!service.Get()) {
        DWORD dwError = GetLastError();
        if (pdwState)
            *pdwState = 0;
        return dwError;
    }
    SERVICE_STATUS status = {};
    DWORD dwResult = RetryWhileLocked("Query", pszService, service.Get(), [&]() -> DWORD {
        return QueryServiceStatus(service.Get(), &status) ? static_cast<DWORD>(ERROR_SUCCESS) : GetLastError();
    });
    service.Close();
    DWORD dwState = dwResult == ERROR_SUCCESS ? status.dwCurrentState : 0;
    if (pdwState)
        *pdwState = dwState;
    TRACE(2, "\nCServiceMgr         : QueryServiceStatus service %s Status: %d (RetCode 0x%X)",
          Printable(pszService), static_cast<int>(dwState), static_cast<unsigned>(dwResult));
    return dwResult;
}

BOOL CServiceMgr::IsInstalled(LPCSTR pszService)
{
    if (!m_SCManager.IsValid()) {
        TRACE(1, "\nCServiceMgr         : ERROR! Service control manager not opened!");
        return FALSE;
    }
    CScopedServiceHandle service(OpenServiceA(m_SCManager.Get(), pszService, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    if (!service.Get()) {
        TRACE(3, "\nCServiceMgr         : WARNING! OpenService() \"%s\" failed (ErrorCode 0x%X)!",
              Printable(pszService), static_cast<unsigned>(GetLastError()));
        return FALSE;
    }
    std::unique_ptr<BYTE[]> pConfig;
    DWORD cbBuffer = kInstalledConfigBytes;
    DWORD cbNeeded = 0;
    BOOL bOk = QueryConfig(service.Get(), pConfig, cbBuffer, cbNeeded);
    // A size that does not grow would ask for ever.
    while (!bOk && GetLastError() == ERROR_INSUFFICIENT_BUFFER && cbNeeded > cbBuffer) {
        cbBuffer = cbNeeded;
        bOk = QueryConfig(service.Get(), pConfig, cbBuffer, cbNeeded);
    }
    if (!bOk) {
        TRACE(1, "\nCServiceMgr         : ERROR! QueryServiceConfig %s FAILED (ErrorCode 0x%X)",
              Printable(pszService), static_cast<unsigned>(GetLastError()));
        return FALSE;
    }
    TRACE(3, "\nCServiceMgr         : QueryServiceConfig for %s OK", Printable(pszService));
    SERVICE_STATUS status = {};
    return QueryServiceStatus(service.Get(), &status) ? TRUE : FALSE;
}

LPCSTR CServiceMgr::GetDisplayName(LPCSTR pszService)
{
    m_szDisplayName[0] = '\0';
    if (!m_SCManager.IsValid()) {
        TRACE(1, "\nCServiceMgr         : ERROR! Service control manager not opened!");
        return m_szDisplayName;
    }
    CScopedServiceHandle service(
        OpenServiceA(m_SCManager.Get(), pszService, SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS));
    if (!service.Get()) {
        TRACE(3, "\nCServiceMgr         : WARNING! OpenService() \"%s\" failed (ErrorCode 0x%X)!",
              Printable(pszService), static_cast<unsigned>(GetLastError()));
        return m_szDisplayName;
    }
    DWORD cchDisplayName = sizeof m_szDisplayName;
    if (!GetServiceDisplayNameA(m_SCManager.Get(), pszService, m_szDisplayName, &cchDisplayName))
        m_szDisplayName[0] = '\0';
    return m_szDisplayName;
}

CDependentServiceList CServiceMgr::GetDependentServices(LPCSTR pszService, DWORD dwStateFilter)
{
    if (!m_SCManager.IsValid())
        return CDependentServiceList();
    CScopedServiceHandle service(
        OpenServiceA(m_SCManager.Get(), pszService, SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS));
    if (!service.Get())
        return CDependentServiceList();
    DWORD cbNeeded = 0;
    DWORD dwCount = 0;
    if (EnumDependentServicesA(service.Get(), dwStateFilter, nullptr, 0, &cbNeeded, &dwCount) ||
        GetLastError() != ERROR_MORE_DATA)
        return CDependentServiceList();
    std::unique_ptr<BYTE[]> pBlock(new (std::nothrow) BYTE[cbNeeded]);
    if (!pBlock || !EnumDependentServicesA(service.Get(), dwStateFilter,
                                           reinterpret_cast<LPENUM_SERVICE_STATUSA>(pBlock.get()), cbNeeded,
                                           &cbNeeded, &dwCount))
        return CDependentServiceList();
    return CDependentServiceList(std::move(pBlock), dwCount);
}

DWORD CServiceMgr::GetServiceType(SC_HANDLE hService)
{
    std::unique_ptr<BYTE[]> pConfig;
    for (DWORD cbBuffer = kTypeConfigStep; cbBuffer <= kTypeConfigLimit; cbBuffer += kTypeConfigStep) {
        DWORD cbNeeded = 0;
        if (QueryConfig(hService, pConfig, cbBuffer, cbNeeded))
            return reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(pConfig.get())->dwServiceType;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return 0;
    }
    return 0;
}

void CServiceMgr::WaitHint(DWORD dwWaitHint)
{
    DWORD dwSleep = dwWaitHint < kMinWaitMs ? kMinWaitMs : (dwWaitHint > kMaxWaitMs ? kMaxWaitMs : dwWaitHint);
    TRACE(3, "\nCServiceMgr         : Wait hint %d mseconds", static_cast<int>(dwWaitHint));
    TRACE(3, "\nCServiceMgr         : Sleep %d mseconds ...", static_cast<int>(dwSleep));
    Sleep(dwSleep);
}

BOOL CServiceMgr::StartAndWait(SC_HANDLE hService, DWORD dwArgc, LPCSTR* ppszArgv, DWORD dwTimeoutMs)
{
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(hService, &status))
        return FALSE;
    if (status.dwCurrentState == SERVICE_RUNNING)
        return TRUE;
    TRACE(3, "\nCServiceMgr         : Current state %d (!= SERVICE_RUNNING)",
          static_cast<int>(status.dwCurrentState));
    if (!StartServiceA(hService, dwArgc, ppszArgv))
        return FALSE;

    DWORD dwStart = GetTickCount();
    WaitHint(status.dwWaitHint);
    for (;;) {
        DWORD dwLastState = status.dwCurrentState;
        if (!QueryServiceStatus(hService, &status))
            return dwLastState == SERVICE_RUNNING;
        if (status.dwCurrentState != SERVICE_START_PENDING) {
            TRACE(2, "\nCServiceMgr         : OK! Service started!");
            if (status.dwCurrentState == SERVICE_RUNNING)
                return TRUE;
            SetLastError(status.dwWin32ExitCode ? status.dwWin32ExitCode : ERROR_SERVICE_NOT_ACTIVE);
            return FALSE;
        }
        WaitHint(status.dwWaitHint);
        if (TimedOut(dwStart, dwTimeoutMs))
            return FALSE;  // still start pending
    }
}

BOOL CServiceMgr::StopAndWait(SC_HANDLE hService, DWORD dwTimeoutMs)
{
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(hService, &status))
        return FALSE;
    TRACE(3, "\nCServiceMgr         : Current state: %d: (%s)", static_cast<int>(status.dwCurrentState),
          StateName(status.dwCurrentState));
    if (status.dwCurrentState == SERVICE_STOPPED)
        return TRUE;
    if (!(status.dwControlsAccepted & SERVICE_ACCEPT_STOP)) {
        SetLastError(ERROR_INVALID_SERVICE_CONTROL);
        return FALSE;
    }

    DWORD dwType = GetServiceType(hService);
    TRACE(2, "\nCServiceMgr         : Service (type 0x%X) accepts STOP control - try to stop service now ...",
          static_cast<unsigned>(dwType));
    DWORD dwStart = GetTickCount();
    if (!ControlService(hService, SERVICE_CONTROL_STOP, &status)) {
        TRACE(1, "\nCServiceMgr         : ERROR 0x%X! ControlService FAILED!",
              static_cast<unsigned>(GetLastError()));
        return status.dwCurrentState == SERVICE_STOPPED;
    }

    WaitHint(status.dwWaitHint);
    for (;;) {
        DWORD dwLastState = status.dwCurrentState;
        if (!QueryServiceStatus(hService, &status))
            return dwLastState == SERVICE_STOPPED;
        if (status.dwCurrentState != SERVICE_STOP_PENDING)
            break;
        WaitHint(status.dwWaitHint);
        if (TimedOut(dwStart, dwTimeoutMs))
            return FALSE;  // still stop pending
    }
    TRACE(2, "\nCServiceMgr         : OK! Service signaled status \"stopped\"!");
    if (status.dwCurrentState != SERVICE_STOPPED) {
        SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
        return FALSE;
    }

    DWORD dwSettleSeconds = (dwType & kDriverTypes) ? kDriverSettleSeconds : kProcessSettleSeconds;
    TRACE(3, "\nCServiceMgr         : Waiting additional %d seconds to unload driver or exit process ...",
          static_cast<int>(dwSettleSeconds));
    Sleep(dwSettleSeconds * 1000);
    TRACE(3, "\nCServiceMgr         : .. assume that handles are closed now!");
    return TRUE;
}

DWORD CServiceMgr::StartService(LPCSTR pszService, DWORD dwArgc, LPCSTR* ppszArgv, BOOL bWithDependents,
                                DWORD dwTimeoutMs)
{
    TRACE(2, "\nCServiceMgr         : Try to start \"%s\" service ...", Printable(pszService));
    if (!m_SCManager.IsValid())
        return ERROR_INVALID_HANDLE;

    DWORD dwResult = ERROR_BAD_ARGUMENTS;
    CScopedServiceHandle service(pszService ? OpenServiceA(m_SCManager.Get(), pszService, SERVICE_QUERY_STATUS | SERVICE_START)
                                            : nullptr);
    if (pszService && !service.Get()) {
        dwResult = GetLastError();
    } else if (service.Get()) {
        dwResult = RetryWhileLocked("Start", pszService, service.Get(), [&]() -> DWORD {
            return StartAndWait(service.Get(), dwArgc, ppszArgv, dwTimeoutMs) ? static_cast<DWORD>(ERROR_SUCCESS)
                                                                                : GetLastError();
        });
        if (dwResult == ERROR_SUCCESS && bWithDependents) {
            // The platform lists them all, theirs too, in the reverse of their start order: one pass
            // starts the whole tree, and a dependency cycle cannot lead it round again.
            CDependentServiceList dependents = GetDependentServices(pszService, SERVICE_INACTIVE);
            for (DWORD i = dependents.GetCount(); i-- > 0;)
                StartService(dependents.GetEntry(i).lpServiceName, dwArgc, ppszArgv, FALSE, dwTimeoutMs);
        }
    }
    service.Close();
    TRACE(2, "\nCServiceMgr         : .. start of service \"%s\" completed (RetCode 0x%X)!",
          Printable(pszService), static_cast<unsigned>(dwResult));
    return dwResult;
}

DWORD CServiceMgr::StopService(LPCSTR pszService, BOOL bWithDependents, DWORD dwTimeoutMs)
{
    if (!pszService)
        return ERROR_BAD_ARGUMENTS;
    TRACE(2, "\nCServiceMgr         : Stop service \"%s\"", pszService);
    if (!m_SCManager.IsValid())
        return ERROR_INVALID_HANDLE;

    if (bWithDependents) {
        CDependentServiceList dependents = GetDependentServices(pszService, SERVICE_ACTIVE);
        for (DWORD i = 0; i < dependents.GetCount(); ++i)
            StopService(dependents.GetEntry(i).lpServiceName, FALSE, dwTimeoutMs);
    }

    DWORD dwResult = ERROR_SUCCESS;
    CScopedServiceHandle service(
        OpenServiceA(m_SCManager.Get(), pszService, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_STOP));
    if (!service.Get()) {
        dwResult = GetLastError();
    } else {
        dwResult = RetryWhileLocked("Stop", pszService, service.Get(), [&]() -> DWORD {
            return StopAndWait(service.Get(), dwTimeoutMs) ? static_cast<DWORD>(ERROR_SUCCESS) : GetLastError();
        });
    }
    service.Close();
    TRACE(2, "\nCServiceMgr         : Stop service \"%s\" (RetCode 0x%X)", pszService,
          static_cast<unsigned>(dwResult));
    return dwResult;
}
