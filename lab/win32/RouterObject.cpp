// Stands in for the command router's COM object (Vexil): its automation methods and event connection point in
// front of a base service. The lab creates it in process; the Wine test's stand-in router serves it from a
// real out-of-process server, so both answer alike.
#include "lab/win32/RouterObject.h"

#include "lab/host/IniFile.h"

#include <atomic>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

// The platform's COM interfaces declare no destructor, as COM objects go by Release; ours are virtual all the same.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

const IID lab::router::IID_IVexilEvents = {0xDAC1AB11, 0x1E16, 0x11D2, {0x95, 0x11, 0x00, 0x00, 0xE8, 0x17, 0x38, 0x5C}};

namespace {

using lab::host::BaseService;
using lab::host::RouterHeader;
using lab::router::RouterSite;

// What a client sees when the server has gone, and when its call was cancelled.
constexpr HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BAL);
constexpr HRESULT kCallCancelled = static_cast<HRESULT>(0x80010002L);

// The router's dispatch identifiers, in the order of its type library.
enum : DISPID {
    ID_SYNCREQUEST = 1,
    ID_DEFAULTTIMEOUT,
    ID_VCREQUEST,
    ID_SERVERCABINETNUMBER,
    ID_RAVELINVERSION,
    ID_VCREQUESTEX,
    ID_CLIENTNAME,
    ID_CMDREQUEST
};
const char* const kMethodNames[] = {"SyncRequest",   "DefaultTimeout", "VCRequest",  "ServerCabinetNumber",
                                    "RavelinVersion", "VCRequestEx",   "ClientName", "CmdRequest"};

std::string Narrow(const OLECHAR* psz, size_t cch)
{
    std::string text;
    for (size_t i = 0; i < cch; ++i) {
        char ch = '?';
        WideCharToMultiByte(CP_ACP, 0, &psz[i], 1, &ch, 1, nullptr, nullptr);
        text += ch;
    }
    return text;
}

bool IsByteArrayRef(const VARIANT& v)
{
    return v.vt == (VT_BYREF | VT_ARRAY | VT_UI1) && v.pparray != nullptr;
}

bool IsByteRef(const VARIANT& v)
{
    return v.vt == (VT_BYREF | VT_UI1) && v.pbVal != nullptr;
}

// A 16-bit integer argument; a long or a byte is taken too, as the automation's coercion would.
bool ReadShort(const VARIANT& v, int& value)
{
    VARIANT plain = v;
    if (v.vt & VT_BYREF) {
        if (!v.byref)
            return false;
        plain.vt = static_cast<VARTYPE>(v.vt & ~VT_BYREF);
        if (plain.vt == VT_I2)
            plain.iVal = *v.piVal;
        else if (plain.vt == VT_I4)
            plain.lVal = *v.plVal;
        else if (plain.vt == VT_UI1)
            plain.bVal = *v.pbVal;
    }
    switch (plain.vt) {
    case VT_I2:
        value = plain.iVal;
        return true;
    case VT_I4:
        value = static_cast<int>(plain.lVal);
        return true;
    case VT_UI1:
        value = plain.bVal;
        return true;
    default:
        return false;
    }
}

std::vector<uint8_t> ArrayBytes(SAFEARRAY* psa)
{
    std::vector<uint8_t> bytes;
    if (!psa)
        return bytes;
    void* pv = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &pv)))
        return bytes;
    const auto* p = static_cast<const uint8_t*>(pv);
    bytes.assign(p, p + psa->rgsabound[0].cElements);
    SafeArrayUnaccessData(psa);
    return bytes;
}

// The callee of an in/out argument frees what came in and hands out what goes back; no data goes back as null.
HRESULT ReplaceArray(SAFEARRAY** ppsa, const std::vector<uint8_t>& bytes)
{
    SAFEARRAY* pNew = nullptr;
    if (!bytes.empty()) {
        pNew = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
        if (!pNew)
            return E_OUTOFMEMORY;
        std::memcpy(pNew->pvData, bytes.data(), bytes.size());
    }
    HRESULT hr = SafeArrayDestroy(*ppsa);
    if (FAILED(hr)) {
        SafeArrayDestroy(pNew);
        return hr;
    }
    *ppsa = pNew;
    return S_OK;
}

HRESULT ArgError(UINT* puArgErr, UINT index, HRESULT hr)
{
    if (puArgErr)
        *puArgErr = index;
    return hr;
}

// The connection point of the router's event interface: a part of the router that lives as long as it.
class RouterEvents : public IConnectionPoint {
public:
    explicit RouterEvents(IConnectionPointContainer* pContainer) : m_pContainer(pContainer) {}
    virtual ~RouterEvents()
    {
        for (const Sink& sink : m_sinks)
            sink.pSink->Release();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IConnectionPoint)
            return E_NOINTERFACE;
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_pContainer->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_pContainer->Release(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override
    {
        if (!pIID)
            return E_POINTER;
        *pIID = lab::router::IID_IVexilEvents;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override
    {
        if (!ppCPC)
            return E_POINTER;
        *ppCPC = m_pContainer;
        m_pContainer->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override
    {
        if (!pUnkSink || !pdwCookie)
            return E_POINTER;
        *pdwCookie = 0;
        IDispatch* pSink = nullptr;
        if (FAILED(pUnkSink->QueryInterface(lab::router::IID_IVexilEvents, reinterpret_cast<void**>(&pSink))))
            return CONNECT_E_CANNOTCONNECT;
        std::lock_guard<std::mutex> guard(m_lock);
        *pdwCookie = ++m_lastCookie;
        m_sinks.push_back({*pdwCookie, pSink});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override
    {
        IDispatch* pSink = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
                if (it->cookie == dwCookie) {
                    pSink = it->pSink;
                    m_sinks.erase(it);
                    break;
                }
            }
        }
        if (!pSink)
            return CONNECT_E_NOCONNECTION;
        pSink->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override
    {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }

private:
    struct Sink {
        DWORD cookie;
        IDispatch* pSink;
    };
    IConnectionPointContainer* m_pContainer;
    std::mutex m_lock;
    std::vector<Sink> m_sinks;
    DWORD m_lastCookie = 0;
};

class Router : public IDispatch, public IConnectionPointContainer {
public:
    explicit Router(RouterSite& site) : m_site(site) { m_site.ObjectCreated(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch)
            *ppv = static_cast<IDispatch*>(this);
        else if (riid == IID_IConnectionPointContainer)
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

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override
    {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override
    {
        if (ppTInfo)
            *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override
    {
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        if (!rgszNames || !rgDispId || cNames == 0)
            return E_INVALIDARG;
        if (!m_site.Running())
            return kServerUnavailable;
        for (UINT i = 0; i < cNames; ++i)
            rgDispId[i] = DISPID_UNKNOWN;
        // Arguments are not named: only the member's name can be known.
        std::string name = rgszNames[0] ? Narrow(rgszNames[0], std::wcslen(rgszNames[0])) : std::string();
        for (DISPID id = ID_SYNCREQUEST; id <= ID_CMDREQUEST; ++id) {
            if (lab::host::EqualsNoCase(name, kMethodNames[id - 1]) && m_site.Service().KnowsMethod(name)) {
                rgDispId[0] = id;
                return cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO*, UINT* puArgErr) override
    {
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        if (!pDispParams)
            return E_INVALIDARG;
        // A call that leaves this process: it meets a server that has stopped, and can be cancelled.
        m_site.CallBegins();
        HRESULT hr = m_site.Running() ? Dispatch(dispIdMember, wFlags, *pDispParams, pVarResult, puArgErr)
                                      : kServerUnavailable;
        if (m_site.CallEnded())
            hr = kCallCancelled;
        return hr;
    }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override
    {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override
    {
        if (!ppCP)
            return E_POINTER;
        *ppCP = nullptr;
        if (riid != lab::router::IID_IVexilEvents)
            return CONNECT_E_NOCONNECTION;
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_pEvents)
            m_pEvents = new RouterEvents(static_cast<IConnectionPointContainer*>(this));
        *ppCP = m_pEvents;
        m_pEvents->AddRef();
        return S_OK;
    }

private:
    virtual ~Router()
    {
        delete m_pEvents;
        m_site.ObjectDestroyed();
    }

    HRESULT Dispatch(DISPID id, WORD wFlags, DISPPARAMS& params, VARIANT* pResult, UINT* puArgErr)
    {
        if (id < ID_SYNCREQUEST || id > ID_CMDREQUEST || !m_site.Service().KnowsMethod(kMethodNames[id - 1]))
            return DISP_E_MEMBERNOTFOUND;
        const bool bGet = (wFlags & DISPATCH_PROPERTYGET) != 0;
        const bool bPut = (wFlags & DISPATCH_PROPERTYPUT) != 0;
        switch (id) {
        case ID_CMDREQUEST:
        case ID_VCREQUEST:
        case ID_VCREQUESTEX:
            if ((wFlags & DISPATCH_METHOD) == 0)
                return DISP_E_MEMBERNOTFOUND;
            if (params.cNamedArgs != 0)
                return DISP_E_NONAMEDARGS;
            return id == ID_CMDREQUEST ? CmdRequest(params, puArgErr) : VCRequest(id == ID_VCREQUESTEX, params, puArgErr);
        case ID_SERVERCABINETNUMBER: {
            int16_t number = 0;
            if (!bGet || params.cArgs != 0)
                return bGet ? DISP_E_BADPARAMCOUNT : DISP_E_MEMBERNOTFOUND;
            if (!m_site.Service().CabinetProperty(number))
                return DISP_E_MEMBERNOTFOUND;
            if (pResult) {
                VariantClear(pResult);
                pResult->vt = VT_I2;
                pResult->iVal = number;
            }
            return S_OK;
        }
        case ID_RAVELINVERSION:
            if (!bGet)
                return DISP_E_MEMBERNOTFOUND;
            return PutText(m_site.Service().Version(), pResult);
        case ID_CLIENTNAME:
            if (bPut) {
                if (params.cArgs != 1 || params.cNamedArgs != 1 || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                    return DISP_E_PARAMNOTFOUND;
                if (params.rgvarg[0].vt != VT_BSTR)
                    return ArgError(puArgErr, 0, DISP_E_TYPEMISMATCH);
                BSTR name = params.rgvarg[0].bstrVal;
                m_site.Service().SetClientName(name ? Narrow(name, SysStringLen(name)) : std::string());
                return S_OK;
            }
            return bGet ? PutText(m_site.Service().ClientName(), pResult) : DISP_E_MEMBERNOTFOUND;
        case ID_DEFAULTTIMEOUT:
            if (bGet && pResult) {
                VariantClear(pResult);
                pResult->vt = VT_I2;
                pResult->iVal = 0;
            }
            return bGet || bPut ? S_OK : DISP_E_MEMBERNOTFOUND;
        default:
            return E_NOTIMPL;
        }
    }

    static HRESULT PutText(const std::string& text, VARIANT* pResult)
    {
        if (!pResult)
            return S_OK;
        VariantClear(pResult);
        std::wstring wide(text.begin(), text.end());
        pResult->vt = VT_BSTR;
        pResult->bstrVal = SysAllocString(wide.c_str());
        return pResult->bstrVal ? S_OK : E_OUTOFMEMORY;
    }

    // CmdRequest(header, data, time-out): the whole header in and out.
    HRESULT CmdRequest(DISPPARAMS& params, UINT* puArgErr)
    {
        if (params.cArgs != 3)
            return DISP_E_BADPARAMCOUNT;
        VARIANT& header = params.rgvarg[2];
        VARIANT& data = params.rgvarg[1];
        int timeout = 0;
        if (!IsByteArrayRef(header))
            return ArgError(puArgErr, 2, DISP_E_TYPEMISMATCH);
        if (!IsByteArrayRef(data))
            return ArgError(puArgErr, 1, DISP_E_TYPEMISMATCH);
        if (!ReadShort(params.rgvarg[0], timeout))
            return ArgError(puArgErr, 0, DISP_E_TYPEMISMATCH);
        RouterHeader request;
        const std::vector<uint8_t> requestBytes = ArrayBytes(*header.pparray);
        if (!request.Read(requestBytes))
            return E_INVALIDARG;
        m_site.Service().RecordCall(
            {"CmdRequest", request.code, request.extension, request.objectId, timeout, requestBytes.size()});
        RouterHeader reply;
        std::vector<uint8_t> replyData;
        m_site.Service().Answer(request, ArrayBytes(*data.pparray), reply, replyData);
        HRESULT hr = ReplaceArray(header.pparray, m_site.Service().ReplyHeaderBytes(reply));
        return SUCCEEDED(hr) ? ReplaceArray(data.pparray, replyData) : hr;
    }

    // VCRequest(code, extension, object id, cabinet id, data, status, time-out[, MID]): the fields one by one.
    HRESULT VCRequest(bool bEx, DISPPARAMS& params, UINT* puArgErr)
    {
        const UINT count = bEx ? 8 : 7;
        if (params.cArgs != count)
            return DISP_E_BADPARAMCOUNT;
        // rgvarg holds the arguments last first.
        auto arg = [&](UINT position) -> VARIANT& { return params.rgvarg[count - 1 - position]; };
        int fields[4] = {};
        for (UINT i = 0; i < 4; ++i) {
            if (!ReadShort(arg(i), fields[i]))
                return ArgError(puArgErr, count - 1 - i, DISP_E_TYPEMISMATCH);
        }
        int timeout = 0;
        if (!IsByteArrayRef(arg(4)))
            return ArgError(puArgErr, count - 5, DISP_E_TYPEMISMATCH);
        if (!IsByteRef(arg(5)))
            return ArgError(puArgErr, count - 6, DISP_E_TYPEMISMATCH);
        if (!ReadShort(arg(6), timeout))
            return ArgError(puArgErr, count - 7, DISP_E_TYPEMISMATCH);
        if (bEx && !IsByteRef(arg(7)))
            return ArgError(puArgErr, 0, DISP_E_TYPEMISMATCH);
        RouterHeader request;
        request.code = static_cast<uint16_t>(fields[0]);
        request.extension = static_cast<uint16_t>(fields[1]);
        request.objectId = static_cast<uint16_t>(fields[2]);
        request.cabinetId = static_cast<int16_t>(fields[3]);
        request.status = static_cast<int8_t>(*arg(5).pbVal);
        if (bEx) {
            request.midHigh = static_cast<uint16_t>(*arg(7).pbVal >> 6);
            request.midLow = static_cast<uint16_t>(*arg(7).pbVal & 0x3F);
        }
        std::vector<uint8_t> data = ArrayBytes(*arg(4).pparray);
        request.dataLength = static_cast<uint32_t>(data.size());
        m_site.Service().RecordCall({bEx ? "VCRequestEx" : "VCRequest", request.code, request.extension, request.objectId,
                              timeout});
        RouterHeader reply;
        std::vector<uint8_t> replyData;
        m_site.Service().Answer(request, data, reply, replyData);
        *arg(5).pbVal = static_cast<BYTE>(reply.status);
        if (bEx)
            *arg(7).pbVal = static_cast<BYTE>(((reply.midHigh & 0x3) << 6) | (reply.midLow & 0x3F));
        return ReplaceArray(arg(4).pparray, replyData);
    }

    RouterSite& m_site;
    std::atomic<ULONG> m_refs{1};
    std::mutex m_lock;
    RouterEvents* m_pEvents = nullptr;
};

}  // namespace

IUnknown* lab::router::NewRouterObject(RouterSite& site)
{
    return static_cast<IDispatch*>(new Router(site));
}
