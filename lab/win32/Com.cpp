// Stands in for ole32: apartments per thread, activation through the registry's class registration, the
// standard global interface table, call cancellation, and the start-up journal of ole32 and comctl32.
#include "lab/win32/Com.h"

#include "lab/host/Host.h"
#include "lab/host/ServiceTable.h"
#include "lab/win32/ComControl.h"
#include "lab/win32/Process.h"
#include "lab/win32/Registry.h"
#include "lab/win32/SysInfo.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>

const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IGlobalInterfaceTable = {0x00000146, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const CLSID CLSID_StdGlobalInterfaceTable = {0x00000323, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IConnectionPointContainer = {0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

namespace {

constexpr HRESULT CO_S_NOTALLINTERFACES = static_cast<HRESULT>(0x00080012L);
constexpr HRESULT CO_E_CANCEL_DISABLED = static_cast<HRESULT>(0x80010140L);
constexpr HRESULT RPC_E_SERVER_UNAVAILABLE = static_cast<HRESULT>(0x800706BAL);

// The thread's apartment: how often it was entered and in which mode.
struct Apartment {
    int count = 0;
    DWORD mode = 0;
    int cancellation = 0;  // CoEnableCallCancellation calls not yet undone
};
thread_local Apartment t_apartment;
std::atomic<int> g_multithreadedThreads{0};  // threads in the multithreaded apartment
bool g_bSecurityInitialised = false;

std::atomic<long> g_liveObjects{0};

// Threads inside an outgoing call, and those whose call was cancelled.
std::mutex g_callLock;
std::map<DWORD, int> g_outgoingCalls;
std::set<DWORD> g_cancelledCalls;

void Record(const char* format, unsigned long a = 0, unsigned long b = 0, unsigned long c = 0)
{
    char line[160];
    std::snprintf(line, sizeof line, format, a, b, c);
    lab::host::Host::Instance().Record(line);
}

// A thread that never entered an apartment still belongs to the multithreaded one while any thread
// of the process is in it.
bool InApartment()
{
    return t_apartment.count > 0 || g_multithreadedThreads.load() > 0;
}

HRESULT EnterApartment(DWORD dwCoInit)
{
    const DWORD mode = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_apartment.count > 0 && t_apartment.mode != mode)
        return RPC_E_CHANGED_MODE;
    if (t_apartment.count++ > 0)
        return S_FALSE;
    t_apartment.mode = mode;
    if (mode == COINIT_MULTITHREADED)
        ++g_multithreadedThreads;
    return S_OK;
}

// The standard global interface table: one per process, its entries holding a reference each.
class GlobalInterfaceTable : public IGlobalInterfaceTable {
public:
    virtual ~GlobalInterfaceTable() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IGlobalInterfaceTable) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IGlobalInterfaceTable*>(this);
        return S_OK;
    }
    // It lives as long as the process, as the system's does.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid, DWORD* pdwCookie) override
    {
        if (!pUnk || !pdwCookie)
            return E_INVALIDARG;
        *pdwCookie = 0;
        if (!InApartment())
            return CO_E_NOTINITIALIZED;
        // What is registered must be what it claims to be.
        void* pv = nullptr;
        HRESULT hr = pUnk->QueryInterface(riid, &pv);
        if (FAILED(hr))
            return hr;
        std::lock_guard<std::mutex> guard(m_lock);
        DWORD cookie = m_nextCookie++;
        m_entries[cookie] = Entry{static_cast<IUnknown*>(pv), riid};
        *pdwCookie = cookie;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RevokeInterfaceFromGlobal(DWORD dwCookie) override
    {
        IUnknown* pUnk = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            auto it = m_entries.find(dwCookie);
            if (it == m_entries.end())
                return E_INVALIDARG;
            pUnk = it->second.pUnk;
            m_entries.erase(it);
        }
        pUnk->Release();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_INVALIDARG;
        *ppv = nullptr;
        if (!InApartment())
            return CO_E_NOTINITIALIZED;
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_entries.find(dwCookie);
        if (it == m_entries.end())
            return E_INVALIDARG;
        return it->second.pUnk->QueryInterface(riid, ppv);
    }

private:
    struct Entry {
        IUnknown* pUnk;
        IID iid;
    };
    std::mutex m_lock;
    std::map<DWORD, Entry> m_entries;
    DWORD m_nextCookie = 0x100;
};

GlobalInterfaceTable& TheGlobalInterfaceTable()
{
    static GlobalInterfaceTable* pTable = new GlobalInterfaceTable;  // outlives every static destructor
    return *pTable;
}

std::string GuidText(REFGUID guid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
                  guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                  guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

bool ReadClassesValue(const std::string& key, const char* pszValue, std::string& value)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    char szValue[MAX_PATH] = "";
    DWORD cbValue = sizeof szValue - 1;
    DWORD dwType = 0;
    bool bRead = pszValue == nullptr ||
                 (RegQueryValueExA(hKey, pszValue, nullptr, &dwType, reinterpret_cast<BYTE*>(szValue), &cbValue) ==
                      ERROR_SUCCESS &&
                  dwType == REG_SZ);
    RegCloseKey(hKey);
    value = szValue;
    return bRead;
}

// A server name that is this machine: empty, its NetBIOS name, "localhost" or ".".
bool IsLocalServer(const COSERVERINFO* pServerInfo)
{
    if (!pServerInfo || !pServerInfo->pwszName || !pServerInfo->pwszName[0])
        return true;
    std::string name;
    for (const WCHAR* p = pServerInfo->pwszName; *p; ++p)
        name += static_cast<char>(*p < 0x80 ? *p : '?');
    char szComputer[MAX_PATH] = "";
    DWORD cchComputer = sizeof szComputer;
    GetComputerNameA(szComputer, &cchComputer);
    return lab::host::EqualsNoCase(name, szComputer) || lab::host::EqualsNoCase(name, "localhost") || name == ".";
}

// The class's server, as an installation registers it: CLSID\{class} names its AppID, whose "LocalService" names
// the service that hosts it. Without that, a server program under "LocalServer32" (as the Wine tests register their
// stand-in router) is one COM starts on demand; the lab's router answers in its place.
HRESULT ActivateLocalServer(REFCLSID rclsid, IUnknown** ppUnk)
{
    const std::string clsidKey = "CLSID\\" + GuidText(rclsid);
    std::string appId;
    std::string service;
    if (ReadClassesValue(clsidKey, "AppID", appId) && ReadClassesValue("AppID\\" + appId, "LocalService", service)) {
        // The lab starts no service on activation: one that does not run cannot serve.
        lab::host::ServiceEntry entry;
        if (!lab::host::EqualsNoCase(service, lab::host::BaseService::kServiceName) ||
            !lab::host::Host::Instance().Services().Find(service, entry) || entry.state != lab::host::svc::kRunning)
            return CO_E_SERVER_EXEC_FAILURE;
    } else {
        std::string program;
        if (!ReadClassesValue(clsidKey + "\\LocalServer32", "", program) || program.empty())
            return REGDB_E_CLASSNOTREG;
    }
    *ppUnk = lab::win32::AcrossProcesses(lab::win32::CreateRouterObject());
    return *ppUnk ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

namespace lab::win32 {

long LiveComObjects()
{
    return g_liveObjects.load();
}

void ComObjectCreated()
{
    ++g_liveObjects;
}

void ComObjectDestroyed()
{
    --g_liveObjects;
}

void BeginOutgoingCall()
{
    std::lock_guard<std::mutex> guard(g_callLock);
    ++g_outgoingCalls[GetCurrentThreadId()];
}

void EndOutgoingCall()
{
    std::lock_guard<std::mutex> guard(g_callLock);
    DWORD thread = GetCurrentThreadId();
    if (--g_outgoingCalls[thread] <= 0)
        g_outgoingCalls.erase(thread);
}

bool TakeCallCancelled()
{
    std::lock_guard<std::mutex> guard(g_callLock);
    return g_cancelledCalls.erase(GetCurrentThreadId()) > 0;
}

}  // namespace lab::win32

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD dwCoInit)
{
    Record("CoInitializeEx 0x%lX", dwCoInit);
    return EnterApartment(dwCoInit);
}

HRESULT WINAPI CoInitialize(LPVOID)
{
    Record("CoInitialize");
    return EnterApartment(COINIT_APARTMENTTHREADED);
}

void WINAPI CoUninitialize()
{
    Record("CoUninitialize");
    if (t_apartment.count > 0 && --t_apartment.count == 0 && t_apartment.mode == COINIT_MULTITHREADED)
        --g_multithreadedThreads;
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

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid == CLSID_StdGlobalInterfaceTable) {
        if (!InApartment())
            return CO_E_NOTINITIALIZED;
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0)
            return REGDB_E_CLASSNOTREG;
        return TheGlobalInterfaceTable().QueryInterface(riid, ppv);
    }
    MULTI_QI result = {&riid, nullptr, S_OK};
    HRESULT hr = CoCreateInstanceEx(rclsid, pUnkOuter, dwClsContext, nullptr, 1, &result);
    if (SUCCEEDED(hr))
        *ppv = result.pItf;
    return hr;
}

HRESULT WINAPI CoCreateInstanceEx(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsCtx, COSERVERINFO* pServerInfo,
                                  DWORD dwCount, MULTI_QI* pResults)
{
    if (dwCount == 0 || !pResults)
        return E_INVALIDARG;
    for (DWORD i = 0; i < dwCount; ++i) {
        pResults[i].pItf = nullptr;
        pResults[i].hr = E_NOINTERFACE;
    }
    if (!InApartment())
        return CO_E_NOTINITIALIZED;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    if ((dwClsCtx & (CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)) == 0)
        return REGDB_E_CLASSNOTREG;
    // The lab is one machine: another one never answers.
    if (!IsLocalServer(pServerInfo))
        return RPC_E_SERVER_UNAVAILABLE;
    IUnknown* pUnk = nullptr;
    HRESULT hr = ActivateLocalServer(rclsid, &pUnk);
    if (FAILED(hr))
        return hr;
    DWORD found = 0;
    for (DWORD i = 0; i < dwCount; ++i) {
        pResults[i].hr = pUnk->QueryInterface(*pResults[i].pIID, reinterpret_cast<void**>(&pResults[i].pItf));
        if (SUCCEEDED(pResults[i].hr))
            ++found;
    }
    pUnk->Release();
    return found == dwCount ? S_OK : found > 0 ? CO_S_NOTALLINTERFACES : E_NOINTERFACE;
}

HRESULT WINAPI CoEnableCallCancellation(LPVOID)
{
    if (!InApartment())
        return CO_E_NOTINITIALIZED;
    ++t_apartment.cancellation;
    return S_OK;
}

HRESULT WINAPI CoDisableCallCancellation(LPVOID)
{
    if (t_apartment.cancellation == 0)
        return CO_E_CANCEL_DISABLED;
    --t_apartment.cancellation;
    return S_OK;
}

HRESULT WINAPI CoGetCancelObject(DWORD, REFIID, void** ppUnk)
{
    // The lab's calls return before another thread could reach them: there is never an object to hand out.
    if (ppUnk)
        *ppUnk = nullptr;
    return RPC_E_CALL_COMPLETE;
}

HRESULT WINAPI CoCancelCall(DWORD dwThreadId, ULONG)
{
    std::lock_guard<std::mutex> guard(g_callLock);
    if (g_outgoingCalls.count(dwThreadId) == 0)
        return RPC_E_CALL_COMPLETE;
    g_cancelledCalls.insert(dwThreadId);
    return S_OK;
}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce)
{
    if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX))
        return FALSE;
    Record("InitCommonControlsEx 0x%lX", picce->dwICC);
    return TRUE;
}
