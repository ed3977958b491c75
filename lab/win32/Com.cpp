// Stands in for the start-up facilities of ole32 and comctl32: they only count and leave a journal entry.
#include "lab/win32/Com.h"

#include "lab/host/Host.h"

#include <cstdio>

namespace {

thread_local int t_comInitCount = 0;
bool g_bSecurityInitialised = false;

constexpr HRESULT RPC_E_TOO_LATE = static_cast<HRESULT>(0x80010119L);

void Record(const char* format, unsigned long a = 0, unsigned long b = 0, unsigned long c = 0)
{
    char line[160];
    std::snprintf(line, sizeof line, format, a, b, c);
    lab::host::Host::Instance().Record(line);
}

}  // namespace

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD dwCoInit)
{
    Record("CoInitializeEx 0x%lX", dwCoInit);
    return t_comInitCount++ == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI CoInitialize(LPVOID)
{
    Record("CoInitialize");
    return t_comInitCount++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize()
{
    Record("CoUninitialize");
    if (t_comInitCount > 0)
        --t_comInitCount;
}

HRESULT WINAPI CoInitializeSecurity(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*,
                                    DWORD dwAuthnLevel, DWORD dwImpLevel, void*, DWORD dwCapabilities, void*)
{
    Record("CoInitializeSecurity %lu %lu %lu", dwAuthnLevel, dwImpLevel, dwCapabilities);
    if (g_bSecurityInitialised)
        return RPC_E_TOO_LATE;
    g_bSecurityInitialised = true;
    return S_OK;
}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce)
{
    if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX))
        return FALSE;
    Record("InitCommonControlsEx 0x%lX", picce->dwICC);
    return TRUE;
}
