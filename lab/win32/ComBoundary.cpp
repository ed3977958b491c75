// Stands in for the proxy and stub between a client and an object in another process: what the standard marshaller
// does to the arguments of IDispatch::Invoke that go by reference.
#include "lab/win32/ComControl.h"

#include <atomic>
#include <vector>

namespace {

bool IsArrayByReference(const VARIANT& v)
{
    return (v.vt & (VT_BYREF | VT_ARRAY)) == (VT_BYREF | VT_ARRAY) && v.pparray;
}

class ProcessBoundary : public IDispatch, public IConnectionPointContainer {
public:
    explicit ProcessBoundary(IUnknown* pServer) : m_pServer(pServer)
    {
        m_pServer->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&m_pDispatch));
        m_pServer->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&m_pContainer));
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if ((riid == IID_IUnknown || riid == IID_IDispatch) && m_pDispatch)
            *ppv = static_cast<IDispatch*>(this);
        else if (riid == IID_IConnectionPointContainer && m_pContainer)
            *ppv = static_cast<IConnectionPointContainer*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override { return m_pDispatch->GetTypeInfoCount(pctinfo); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override
    {
        return m_pDispatch->GetTypeInfo(iTInfo, lcid, ppTInfo);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override
    {
        return m_pDispatch->GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
    }

    // The server works on its own copy of each array passed by reference, as the stub unmarshalled it, and may free
    // or replace it. What it leaves there goes back into the caller's descriptor, which keeps its address: a reply
    // of another length needs an array whose size is not fixed.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override
    {
        if (!pDispParams || pDispParams->cArgs == 0 || !pDispParams->rgvarg)
            return m_pDispatch->Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo,
                                       puArgErr);
        const UINT cArgs = pDispParams->cArgs;
        std::vector<VARIANT> serverArgs(pDispParams->rgvarg, pDispParams->rgvarg + cArgs);
        std::vector<SAFEARRAY*> serverArrays(cArgs, nullptr);
        HRESULT hr = S_OK;
        for (UINT i = 0; i < cArgs && SUCCEEDED(hr); ++i) {
            if (IsArrayByReference(serverArgs[i])) {
                hr = SafeArrayCopy(*serverArgs[i].pparray, &serverArrays[i]);
                serverArgs[i].pparray = &serverArrays[i];
            }
        }
        if (SUCCEEDED(hr)) {
            DISPPARAMS serverParams = *pDispParams;
            serverParams.rgvarg = serverArgs.data();
            hr = m_pDispatch->Invoke(dispIdMember, riid, lcid, wFlags, &serverParams, pVarResult, pExcepInfo,
                                     puArgErr);
            for (UINT i = 0; i < cArgs; ++i) {
                if (!IsArrayByReference(pDispParams->rgvarg[i]))
                    continue;
                HRESULT hrReturn = lab::win32::ReturnArray(pDispParams->rgvarg[i].pparray, serverArrays[i]);
                if (SUCCEEDED(hr) && FAILED(hrReturn))
                    hr = hrReturn;
            }
        }
        for (SAFEARRAY* psa : serverArrays)
            SafeArrayDestroy(psa);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override
    {
        return m_pContainer->EnumConnectionPoints(ppEnum);
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override
    {
        return m_pContainer->FindConnectionPoint(riid, ppCP);
    }

private:
    virtual ~ProcessBoundary()
    {
        if (m_pContainer)
            m_pContainer->Release();
        if (m_pDispatch)
            m_pDispatch->Release();
        m_pServer->Release();
    }

    IUnknown* m_pServer;
    IDispatch* m_pDispatch = nullptr;
    IConnectionPointContainer* m_pContainer = nullptr;
    std::atomic<ULONG> m_refs{1};
};

}  // namespace

IUnknown* lab::win32::AcrossProcesses(IUnknown* pServer)
{
    if (!pServer)
        return nullptr;
    return static_cast<IDispatch*>(new ProcessBoundary(pServer));
}
