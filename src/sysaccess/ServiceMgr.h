// The program's one wrapper around the service control manager.
#pragma once

#include "src/platform/ScopedHandle.h"
#include "src/platform/Win32.h"
#include "src/sysaccess/DependentServiceList.h"

// <winsvc.h> maps StartService to StartServiceA or StartServiceW; here it is our member's name.
#ifdef StartService
#undef StartService
#endif

// Hides the manager's database handle, the retry while the database is locked and the polling
// with the services' wait hints. Used from one thread at a time; service handles never outlive
// a call. Results are Windows error codes unless said otherwise.
class CServiceMgr {
public:
    // The owner window that means: never ask, give up when the database stays locked.
    static HWND NeverAsk() { return reinterpret_cast<HWND>(static_cast<INT_PTR>(-1)); }
    // The word traces and reports use for a service state: "stopped", "running", ... or "unknown".
    static LPCSTR StateName(DWORD dwState);
    // A local service's state as the checks report it, asking nobody: *pdwState is SERVICE_STOPPED
    // for a service that is not installed and 0 when the state cannot be read; the result is
    // StateName's word, or "not installed".
    static LPCSTR QueryLocalState(LPCSTR pszService, DWORD* pdwState);

    // hOwner parents the locked-database question; NULL asks without an owner.
    explicit CServiceMgr(HWND hOwner = nullptr);
    ~CServiceMgr();
    CServiceMgr(const CServiceMgr&) = delete;
    CServiceMgr& operator=(const CServiceMgr&) = delete;

    // An object that is already open closes its earlier handle first.
    DWORD Open(LPCSTR pszMachine, LPCSTR pszDatabase, DWORD dwDesiredAccess);
    DWORD Close();

    // No database: 0xFFFFFFFF and *pdwState untouched; otherwise *pdwState is 0 when unknown.
    DWORD QueryStatus(LPCSTR pszService, DWORD* pdwState);
    BOOL IsInstalled(LPCSTR pszService);
    // Valid until the next call: one buffer serves every call.
    LPCSTR GetDisplayName(LPCSTR pszService);
    // dwStateFilter: SERVICE_ACTIVE or SERVICE_INACTIVE. Empty when none or on failure.
    CDependentServiceList GetDependentServices(LPCSTR pszService, DWORD dwStateFilter);

    DWORD StartService(LPCSTR pszService, DWORD dwArgc, LPCSTR* ppszArgv, BOOL bWithDependents, DWORD dwTimeoutMs);
    DWORD StopService(LPCSTR pszService, BOOL bWithDependents, DWORD dwTimeoutMs);

    // TRUE when the service runs (StartAndWait) or is stopped (StopAndWait) at the end; on FALSE the
    // thread's last error tells why.
    BOOL StartAndWait(SC_HANDLE hService, DWORD dwArgc, LPCSTR* ppszArgv, DWORD dwTimeoutMs);
    BOOL StopAndWait(SC_HANDLE hService, DWORD dwTimeoutMs);
    void WaitHint(DWORD dwWaitHint);
    DWORD GetServiceType(SC_HANDLE hService);
    // The button pressed (IDRETRY, IDCANCEL) on the question about a locked database.
    int AskRetryLocked(LPCSTR pszOperation, LPCSTR pszService, SC_HANDLE hService);

private:
    template <class FCall>
    DWORD RetryWhileLocked(LPCSTR pszOperation, LPCSTR pszService, SC_HANDLE hService, FCall call);

    CScopedServiceHandle m_SCManager;
    HWND m_hOwner;
    char m_szDisplayName[MAX_PATH];
};
