// A stand-in for the command router's server on Windows, for the Wine test only: an out-of-process COM server of
// the router's class that answers from a base service file, through the same router object and model as the lab.
//
//   VexilStandIn.exe <directory holding baseservice.ini> [-Embedding]
//
// COM starts it through the class's LocalServer32 key; it ends once its last object is released, or after half a
// minute without any.
#include "lab/win32/RouterObject.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace {

const CLSID CLSID_Vexil = {0xAD289653, 0xB5C5, 0x11D2, {0x88, 0xBB, 0x00, 0xC0, 0x95, 0xEC, 0xAC, 0xC1}};
const DWORD IDLE_MS = 30000;

std::atomic<long> g_nObjects{0};
std::atomic<long> g_nLocks{0};
HANDLE g_hChanged = nullptr;

class CStandInSite : public lab::router::RouterSite {
public:
    lab::host::BaseService& Service() override { return m_Service; }
    bool Running() override { return true; }
    void ObjectCreated() override { ++g_nObjects; }
    void ObjectDestroyed() override
    {
        --g_nObjects;
        SetEvent(g_hChanged);
    }

    lab::host::BaseService m_Service;
};

CStandInSite g_Site;

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// The class object COM hands to clients; it lives as long as the process.
class CFactory : public IClassFactory {
public:
    virtual ~CFactory() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        IUnknown* pRouter = lab::router::NewRouterObject(g_Site);
        HRESULT hr = pRouter->QueryInterface(riid, ppv);
        pRouter->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override
    {
        if (fLock)
            ++g_nLocks;
        else
            --g_nLocks;
        SetEvent(g_hChanged);
        return S_OK;
    }
};

CFactory g_Factory;

}  // namespace

int main(int argc, char** argv)
{
    std::string strDirectory = ".";
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-' && argv[i][0] != '/')
            strDirectory = argv[i];
    }
    g_Site.m_Service.Load(strDirectory + "/baseservice.ini");

    g_hChanged = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!g_hChanged || FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    DWORD dwCookie = 0;
    HRESULT hr = CoRegisterClassObject(CLSID_Vexil, &g_Factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &dwCookie);
    if (FAILED(hr)) {
        std::fprintf(stderr, "VexilStandIn: CoRegisterClassObject failed, 0x%08lX\n", static_cast<unsigned long>(hr));
        CoUninitialize();
        return 1;
    }
    bool bServed = false;
    for (;;) {
        DWORD dwWait = WaitForSingleObject(g_hChanged, IDLE_MS);
        bServed = bServed || g_nObjects > 0;
        if (g_nObjects == 0 && g_nLocks == 0 && (bServed || dwWait == WAIT_TIMEOUT))
            break;
    }
    CoRevokeClassObject(dwCookie);
    CoUninitialize();
    CloseHandle(g_hChanged);
    return 0;
}
