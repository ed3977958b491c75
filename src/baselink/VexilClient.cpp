// The client of the command router Vexil: attaches to its COM server, sends commands to the base service, detaches.
#include "src/baselink/VexilClient.h"

#include "src/trace/FileDebug.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The router's class and its event interface.
const CLSID CLSID_Vexil = {0xAD289653, 0xB5C5, 0x11D2, {0x88, 0xBB, 0x00, 0xC0, 0x95, 0xEC, 0xAC, 0xC1}};
const IID IID_IVexilEvents = {0xDAC1AB11, 0x1E16, 0x11D2, {0x95, 0x11, 0x00, 0x00, 0xE8, 0x17, 0x38, 0x5C}};

const WCHAR* const METHOD_NAMES[CVexilClient::METHOD_COUNT] = {
    L"SyncRequest",   L"DefaultTimeout", L"VCRequest",  L"ServerCabinetNumber",
    L"RavelinVersion", L"VCRequestEx",   L"ClientName", L"CmdRequest"};

const HRESULT HR_NOT_SENT = static_cast<HRESULT>(0x80010008L);          // RPC_E_SERVER_DIED_DNE
const HRESULT HR_NO_REQUEST_METHOD = static_cast<HRESULT>(0x80010107L);  // RPC_E_INVALIDMETHOD
const HRESULT HR_CHANGED_MODE = static_cast<HRESULT>(0x80010106L);       // RPC_E_CHANGED_MODE
const HRESULT HR_CALL_CANCELLED = 1818;                                  // RPC_S_CALL_CANCELLED
const DWORD CMD_CABINET_NUMBER = 0xE204;
const DWORD EVENT_VCREQUEST = 3;
const DWORD EVENT_CMDREQUEST = 4;

// A byte string as the router takes it: a one-dimensional safe array of bytes; none when none could be made. Not a
// vector: that has a fixed size, and the router hands its reply back in the array the request came in, whatever its
// length.
CScopedSafeArray NewByteString(const void* pBytes, DWORD cbBytes)
{
    SAFEARRAYBOUND bound = {cbBytes, 0};
    CScopedSafeArray array(SafeArrayCreate(VT_UI1, 1, &bound));
    void* pv = nullptr;
    if (!array.IsValid() || FAILED(SafeArrayAccessData(array.Get(), &pv)))
        return CScopedSafeArray();
    if (cbBytes > 0)
        std::memcpy(pv, pBytes, cbBytes);
    SafeArrayUnaccessData(array.Get());
    return array;
}

DWORD ByteStringLength(SAFEARRAY* psa)
{
    LONG lLower = 0, lUpper = -1;
    if (!psa || FAILED(SafeArrayGetLBound(psa, 1, &lLower)) || FAILED(SafeArrayGetUBound(psa, 1, &lUpper)) ||
        lUpper < lLower)
        return 0;
    return static_cast<DWORD>(lUpper - lLower + 1);
}

// Copies at most cbMax bytes out of a byte string; the number copied.
DWORD CopyByteString(SAFEARRAY* psa, void* pTarget, DWORD cbMax)
{
    DWORD cbCopy = ByteStringLength(psa);
    if (cbCopy > cbMax)
        cbCopy = cbMax;
    void* pv = nullptr;
    if (cbCopy == 0 || FAILED(SafeArrayAccessData(psa, &pv)))
        return 0;
    std::memcpy(pTarget, pv, cbCopy);
    SafeArrayUnaccessData(psa);
    return cbCopy;
}

void SetShort(VARIANT& v, SHORT nValue)
{
    v.vt = VT_I2;
    v.iVal = nValue;
}

void SetByteStringRef(VARIANT& v, SAFEARRAY** ppsa)
{
    v.vt = VT_BYREF | VT_ARRAY | VT_UI1;
    v.pparray = ppsa;
}

void SetByteRef(VARIANT& v, BYTE* pb)
{
    v.vt = VT_BYREF | VT_UI1;
    v.pbVal = pb;
}

// The byte string of an event argument, by value or by reference; null when it is none.
SAFEARRAY* EventByteString(const VARIANT& v)
{
    if (v.vt == (VT_ARRAY | VT_UI1))
        return v.parray;
    if (v.vt == (VT_BYREF | VT_ARRAY | VT_UI1) && v.pparray)
        return *v.pparray;
    return nullptr;
}

bool EventShort(const VARIANT& v, SHORT& nValue)
{
    if (v.vt == VT_I2) {
        nValue = v.iVal;
        return true;
    }
    if (v.vt == (VT_BYREF | VT_I2) && v.piVal) {
        nValue = *v.piVal;
        return true;
    }
    return false;
}

bool EventByte(const VARIANT& v, BYTE& bValue)
{
    if (v.vt == VT_UI1) {
        bValue = v.bVal;
        return true;
    }
    if (v.vt == (VT_BYREF | VT_UI1) && v.pbVal) {
        bValue = *v.pbVal;
        return true;
    }
    return false;
}

// The arguments of one call of a request method, last first as IDispatch::Invoke takes them. The byte strings and
// the status and message id bytes go by reference: the router replaces them with the reply's.
class CRequestArguments {
public:
    // bCmdRequest: CmdRequest's header, data and timeout; otherwise VCRequest's fields one by one, and with
    // bWithMID VCRequestEx's message id after the timeout.
    CRequestArguments(bool bCmdRequest, bool bWithMID) : m_bCmdRequest(bCmdRequest), m_bWithMID(bWithMID)
    {
        for (VARIANT& arg : m_aArgs)
            VariantInit(&arg);
    }
    // The arguments point into the object: it stays where it was made.
    CRequestArguments(const CRequestArguments&) = delete;
    CRequestArguments& operator=(const CRequestArguments&) = delete;

    // False when a byte string could not be made.
    bool Pack(const CommandHeader& header, const BYTE* pData, short nTimeout);
    DISPPARAMS* Params() { return &m_Params; }
    void GrowTimeout(short nIncrement) { m_pTimeout->iVal = static_cast<SHORT>(m_pTimeout->iVal + nIncrement); }
    // The status of the reply the arguments hold now.
    LONG ReplyStatus() const;
    // The reply into the caller's header; its data (none after a failed call) to *ppReplyData when asked for.
    void Unpack(CommandHeader* pCmdHeader, bool bReplied, SAFEARRAY** ppReplyData);

private:
    bool m_bCmdRequest;
    bool m_bWithMID;
    CScopedSafeArray m_Header;
    CScopedSafeArray m_Data;
    BYTE m_bStatus = 0;
    BYTE m_bMID = 0;
    VARIANT m_aArgs[8];
    VARIANT* m_pTimeout = nullptr;
    DISPPARAMS m_Params = {};
};

bool CRequestArguments::Pack(const CommandHeader& header, const BYTE* pData, short nTimeout)
{
    // The caller's header is a CommandHeader and no more: its size field, whoever wrote it, never makes the
    // client read or write past those 48 bytes. The header sent says how many bytes it has.
    if (m_bCmdRequest) {
        CommandHeader request = header;
        request.wHeaderSize = sizeof request;
        m_Header = NewByteString(&request, sizeof request);
        if (!m_Header.IsValid())
            return false;
    }
    if (pData && header.dwLen > 0) {
        m_Data = NewByteString(pData, header.dwLen);
        if (!m_Data.IsValid())
            return false;
    }
    m_bStatus = static_cast<BYTE>(header.lStat);
    m_bMID = static_cast<BYTE>(((header.wMIDHigh & 0x3) << 6) | (header.wMIDLow & 0x3F));

    UINT cArgs = 0;
    if (m_bCmdRequest) {
        cArgs = 3;
        SetByteStringRef(m_aArgs[2], m_Header.InOut());
        SetByteStringRef(m_aArgs[1], m_Data.InOut());
        m_pTimeout = &m_aArgs[0];
    } else {
        cArgs = m_bWithMID ? 8 : 7;
        VARIANT* pArg = &m_aArgs[cArgs - 1];  // the first argument
        SetShort(*pArg--, static_cast<SHORT>(LOWORD(header.dwOC)));
        SetShort(*pArg--, static_cast<SHORT>(LOWORD(header.dwOCExt)));
        SetShort(*pArg--, static_cast<SHORT>(LOWORD(header.dwOID)));
        SetShort(*pArg--, static_cast<SHORT>(LOWORD(static_cast<DWORD>(header.lCABID))));
        SetByteStringRef(*pArg--, m_Data.InOut());
        SetByteRef(*pArg--, &m_bStatus);
        m_pTimeout = pArg--;
        if (m_bWithMID)
            SetByteRef(*pArg, &m_bMID);
    }
    SetShort(*m_pTimeout, nTimeout);
    m_Params = {m_aArgs, nullptr, cArgs, 0};
    return true;
}

LONG CRequestArguments::ReplyStatus() const
{
    if (!m_bCmdRequest)
        return static_cast<signed char>(m_bStatus);
    CommandHeader reply;
    return CopyByteString(m_Header.Get(), &reply, sizeof reply) == sizeof reply ? reply.lStat : 0;
}

void CRequestArguments::Unpack(CommandHeader* pCmdHeader, bool bReplied, SAFEARRAY** ppReplyData)
{
    if (m_bCmdRequest) {
        // A reply may bring a longer header (any size its sender claims): only what fits the caller's is
        // taken, and the caller's header keeps its own size, so that a command sent again reads no more.
        const WORD wCallerSize = pCmdHeader->wHeaderSize;
        CopyByteString(m_Header.Get(), pCmdHeader, sizeof(CommandHeader));
        pCmdHeader->wHeaderSize = wCallerSize;
    } else {
        pCmdHeader->lStat = static_cast<signed char>(m_bStatus);
        pCmdHeader->wMIDHigh = static_cast<WORD>(m_bMID >> 6);
        pCmdHeader->wMIDLow = static_cast<WORD>(m_bMID & 0x3F);
    }
    // Only a reply's data goes back; after a failed call the string may still be the request's own.
    if (!bReplied)
        m_Data.Close();
    pCmdHeader->dwLen = ByteStringLength(m_Data.Get());
    if (ppReplyData)
        *ppReplyData = m_Data.Detach();
}

bool IsWindowsNT5OrLater()
{
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5;
}

}  // namespace

CVexilClient::CVexilClient()
    : m_Ole32("OLE32.dll"),
      m_bCancelEnabled(false),
      m_bCancelled(0),
      m_dwCallingThread(0),
      m_dwEventsThread(0),
      m_dwAdviseCookie(0),
      m_bKeepMID(false),
      m_hrLastResult(S_OK),
      m_dwGITCookie(0),
      m_dwAttachThread(0)
{
    m_pfnCoEnableCallCancellation = m_Ole32.Resolve<PFN_COENABLECALLCANCELLATION>("CoEnableCallCancellation");
    m_pfnCoDisableCallCancellation = m_Ole32.Resolve<PFN_CODISABLECALLCANCELLATION>("CoDisableCallCancellation");
    m_pfnCoGetCancelObject = m_Ole32.Resolve<PFN_COGETCANCELOBJECT>("CoGetCancelObject");
    m_pfnCoCancelCall = m_Ole32.Resolve<PFN_COCANCELCALL>("CoCancelCall");
    m_szModuleName[0] = '\0';
    m_szErrorText[0] = '\0';
    for (DISPID& dispId : m_aDispId)
        dispId = DISPID_UNKNOWN;
}

CVexilClient::~CVexilClient()
{
    TRACE(4, "\nCVexilClient        : Start d'tor");
    if (m_bCancelEnabled)
        EnableCancelRequest(false);
    if (m_dwAdviseCookie != 0 && m_dwEventsThread == GetCurrentThreadId() && IsWindowsNT5OrLater())
        EnableEvents(false);
    Detach();
    m_ThreadComInit.clear();
    TRACE(4, "\nCVexilClient        : End d'tor\n");
}

int CVexilClient::Attach(const WCHAR* pwszServer)
{
    TRACE(4, "\nCVexilClient        : Attach() - Enter...");
    TakeModuleName();

    int nResult = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(m_Lock);
        const DWORD dwThread = GetCurrentThreadId();
        EnterApartment(dwThread);
        if (m_dwGITCookie != 0) {
            TRACE(3, "\nCVexilClient        :   already attached");
            nResult = 1;
        } else {
            nResult = Connect(pwszServer, dwThread);
        }
    }
    if (nResult)
        TRACE(4, "\nCVexilClient        : Attach succeeded");
    else
        TRACE(1, "\nCVexilClient        : ## ERROR! Attach to VEXIL failed, m_LasthResult=0x%08X",
              static_cast<unsigned>(m_hrLastResult));
    return nResult;
}

void CVexilClient::TakeModuleName()
{
    if (m_szModuleName[0] == '\0')
        std::snprintf(m_szModuleName, sizeof m_szModuleName, "%s", g_FileDebug.GetModuleName());
    if (m_szModuleName[0] == '\0')
        TRACE(2, "\nCVexilClient        : ## WARNING! Could not get a valid module name at Attach!");
    else
        TRACE(3, "\nCVexilClient        : Attach to VEXIL as module \"%s\"", m_szModuleName);
}

void CVexilClient::EnterApartment(DWORD dwThread)
{
    if (m_ThreadComInit.find(dwThread) != m_ThreadComInit.end()) {
        TRACE(4, "\nCVexilClient        : Attach(): Thread ID %d: CoInitializeEx OK - was already called here!", static_cast<int>(dwThread));
        return;
    }
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (hr == S_OK)
        TRACE(4, "\nCVexilClient        : Attach(): Thread ID %d: CoInitializeEx OK - was not called before!", static_cast<int>(dwThread));
    else if (hr == S_FALSE)
        TRACE(4, "\nCVexilClient        : Attach(): Thread ID %d: CoInitializeEx OK - was already called!", static_cast<int>(dwThread));
    else if (hr == HR_CHANGED_MODE)
        TRACE(4, "\nCVexilClient        : Attach(): Thread ID %d: CoInitializeEx FAILED - thread mode could not be changed!", static_cast<int>(dwThread));
    m_ThreadComInit[dwThread] = hr;
}

int CVexilClient::Connect(const WCHAR* pwszServer, DWORD dwThread)
{
    m_hrLastResult = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT,
                                          RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
    if (pwszServer)
        m_strServerName = pwszServer;
    COSERVERINFO serverInfo;
    std::memset(&serverInfo, 0, sizeof serverInfo);
    COSERVERINFO* pServerInfo = nullptr;
    if (!m_strServerName.empty()) {
        serverInfo.pwszName = &m_strServerName[0];
        pServerInfo = &serverInfo;
    }

    RegisterRouter(pServerInfo, dwThread);
    if (FAILED(m_hrLastResult) || m_dwGITCookie == 0)
        return 0;
    if (m_szModuleName[0] != '\0')
        SetClientName();
    return 1;
}

void CVexilClient::RegisterRouter(COSERVERINFO* pServerInfo, DWORD dwThread)
{
    CComPointer<IDispatch> router = CreateRouter(pServerInfo);
    if (!router)
        return;
    RegisterInGlobalTable(router.Get(), dwThread);
    if (m_dwGITCookie != 0)
        ReadDispatchIds(router.Get());
}

CComPointer<IDispatch> CVexilClient::CreateRouter(COSERVERINFO* pServerInfo)
{
    const int nInstance = 0;
    MULTI_QI qi = {&IID_IDispatch, nullptr, S_OK};
    TRACE(4, "\nCVexilClient        : Attach() - Try to create interface instance %d ...", nInstance);
    m_hrLastResult = CoCreateInstanceEx(CLSID_Vexil, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                        pServerInfo, 1, &qi);
    if (SUCCEEDED(m_hrLastResult) && FAILED(qi.hr))
        m_hrLastResult = qi.hr;
    // Whatever interface came is the client's to release, also when the creation failed after all.
    CComPointer<IDispatch> router(static_cast<IDispatch*>(qi.pItf));
    if (FAILED(m_hrLastResult))
        router.Release();
    TRACE(4, "\nCVexilClient        : ... Attach() - interface instance %d created %s!", nInstance,
          router ? "OK" : "FALSE");
    return router;
}

void CVexilClient::RegisterInGlobalTable(IDispatch* pRouter, DWORD dwThread)
{
    TRACE(4, "\nCVexilClient        : Attach() - create global interface table ...");
    m_hrLastResult = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IGlobalInterfaceTable, m_GIT.ReceiveVoid());
    TRACE(4, "\nCVexilClient        : Attach() -   global interface created, hResult=0x%08X",
          static_cast<unsigned>(m_hrLastResult));
    if (FAILED(m_hrLastResult))
        return;
    m_hrLastResult = m_GIT->RegisterInterfaceInGlobal(pRouter, IID_IDispatch, &m_dwGITCookie);
    TRACE(4, "\nCVexilClient        : Attach(): Thread ID %d: RegisterInterfaceInGlobal %s!",
          static_cast<int>(dwThread), SUCCEEDED(m_hrLastResult) ? "OK" : "FAILED");
    if (SUCCEEDED(m_hrLastResult)) {
        m_dwAttachThread = dwThread;
    } else {
        m_dwGITCookie = 0;
        m_GIT.Release();
    }
}

void CVexilClient::ReadDispatchIds(IDispatch* pRouter)
{
    TRACE(4, "\nCVexilClient        : Attach() - Get dispatch IDs...");
    for (int nMethod = 0; nMethod < METHOD_COUNT; ++nMethod) {
        LPOLESTR pszName = const_cast<LPOLESTR>(METHOD_NAMES[nMethod]);
        DISPID dispId = DISPID_UNKNOWN;
        if (FAILED(pRouter->GetIDsOfNames(IID_NULL, &pszName, 1, LOCALE_SYSTEM_DEFAULT, &dispId)))
            dispId = DISPID_UNKNOWN;
        m_aDispId[nMethod] = dispId;
        TRACE(4, "\nCVexilClient        :   ID of method %ls = %d", METHOD_NAMES[nMethod], static_cast<int>(dispId));
    }
}

void CVexilClient::Detach()
{
    std::lock_guard<std::recursive_mutex> guard(m_Lock);
    try {
        if (m_dwGITCookie == 0) {
            TRACE(5, "\nCVexilClient        : Detach() - not attached (ignored)");
        } else {
            TRACE(3, "\nCVexilClient        : Detach from VEXIL");
            const DWORD dwThread = GetCurrentThreadId();
            if (dwThread == m_dwAttachThread) {
                TRACE(4, "\nCVexilClient        : Detach(): Start revoke global interface table...");
                HRESULT hr = m_GIT->RevokeInterfaceFromGlobal(m_dwGITCookie);
                TRACE(4, "\nCVexilClient        : Detach(): Revoke RevokeInterfaceFromGlobal returned 0x%X",
                      static_cast<unsigned>(hr));
                m_GIT.Release();
                TRACE(4, "\nCVexilClient        : Detach(): ... global interface table released");
                m_dwGITCookie = 0;
                m_dwAttachThread = 0;
                auto it = m_ThreadComInit.find(dwThread);
                if (it != m_ThreadComInit.end()) {
                    if (it->second == S_OK || it->second == S_FALSE)
                        CoUninitialize();
                    m_ThreadComInit.erase(it);
                }
            } else {
                TRACE(1, "\nCVexilClient        : WARNING! Attach was done using thread %d current thread is %d! RevokeInterfaceFromGlobal() skipped!",
                      static_cast<int>(m_dwAttachThread), static_cast<int>(dwThread));
            }
        }
        TRACE(4, "\nCVexilClient        : ... Detach() done!");
    } catch (...) {
        TRACE(1, "\nCVexilClient        : Detach() - EXCEPTION!");
    }
}

HRESULT CVexilClient::InvokeEx(DISPID dispId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult)
{
    if (m_bCancelled) {
        TRACE(2, "\nCVexilClient        : InvokeEx() - ## cancelled!");
        m_hrLastResult = HR_CALL_CANCELLED;
        return HR_CALL_CANCELLED;
    }
    m_hrLastResult = HR_CALL_CANCELLED;
    CComPointer<IDispatch> router;
    if (!m_GIT || FAILED(m_GIT->GetInterfaceFromGlobal(m_dwGITCookie, IID_IDispatch, router.ReceiveVoid()))) {
        TRACE(1, "\nCVexilClient        : InvokeEx() FAILED! (HResult = 0x%X)",
              static_cast<unsigned>(m_hrLastResult));
        return m_hrLastResult;
    }
    m_dwCallingThread = GetCurrentThreadId();
    TRACE(5, "\nCVexilClient        : InvokeEx() - current thread ID = %d",
          static_cast<int>(m_dwCallingThread));
    EXCEPINFO excepInfo;
    std::memset(&excepInfo, 0, sizeof excepInfo);
    UINT uArgErr = 0;
    HRESULT hr = router->Invoke(dispId, IID_NULL, LOCALE_USER_DEFAULT, wFlags, pParams, pResult, &excepInfo,
                                &uArgErr);
    // The exception's texts are the caller's to free; the client reports the result alone.
    CScopedBstr source(excepInfo.bstrSource);
    CScopedBstr description(excepInfo.bstrDescription);
    CScopedBstr helpFile(excepInfo.bstrHelpFile);
    m_dwCallingThread = 0;
    m_hrLastResult = hr;
    return hr;
}

bool CVexilClient::CmdRequest(CommandHeader* pCmdHeader, const BYTE* pData, SAFEARRAY** ppReplyData,
                              short nTimeout, int nRetries, short nIncrement)
{
    if (ppReplyData)
        *ppReplyData = nullptr;
    m_hrLastResult = HR_NOT_SENT;
    if (!pCmdHeader) {
        TRACE(1, "\nCVexilClient        : ## ERROR in CmdRequest(): pCmdHeader = NULL!");
        return false;
    }
    if (!IsValidCommandHeader(pCmdHeader)) {
        TRACE(1, "\nCVexilClient        : ## ERROR in CmdRequest(): CmdHeader corrupt!");
        return false;
    }

    std::lock_guard<std::recursive_mutex> guard(m_Lock);
    bool bResult = false;
    try {
        if (!m_bKeepMID) {
            pCmdHeader->wMIDLow = 0;
            pCmdHeader->wMIDHigh = 0;
        }
        m_bKeepMID = false;
        TRACE(3, "\nCVexilClient        : CmdRequest() IN  CABID %04d: OC 0x%04X-0x%04X OID 0x%04X MID 0x%04X%04X Stat 0x%02X Len %04d",
              static_cast<int>(pCmdHeader->lCABID), static_cast<unsigned>(pCmdHeader->dwOC),
              static_cast<unsigned>(pCmdHeader->dwOCExt), static_cast<unsigned>(pCmdHeader->dwOID),
              pCmdHeader->wMIDHigh, pCmdHeader->wMIDLow, static_cast<unsigned>(pCmdHeader->lStat),
              static_cast<int>(pCmdHeader->dwLen));
        if (m_dwGITCookie != 0) {
            m_hrLastResult = S_OK;
            int nMethod = m_aDispId[METHOD_CMDREQUEST] != DISPID_UNKNOWN    ? METHOD_CMDREQUEST
                          : m_aDispId[METHOD_VCREQUESTEX] != DISPID_UNKNOWN ? METHOD_VCREQUESTEX
                          : m_aDispId[METHOD_VCREQUEST] != DISPID_UNKNOWN   ? METHOD_VCREQUEST
                                                                            : -1;
            if (nMethod < 0)
                m_hrLastResult = HR_NO_REQUEST_METHOD;
            else
                CallRouter(nMethod, pCmdHeader, pData, ppReplyData, nTimeout, nRetries, nIncrement);
        }
        bResult = m_hrLastResult == S_OK;
        TRACE(3, "\nCVexilClient        : CmdRequest() OUT CABID %04d: OC 0x%04X-0x%04X OID 0x%04X MID 0x%04X%04X Stat 0x%02X Len %04d",
              static_cast<int>(pCmdHeader->lCABID), static_cast<unsigned>(pCmdHeader->dwOC),
              static_cast<unsigned>(pCmdHeader->dwOCExt), static_cast<unsigned>(pCmdHeader->dwOID),
              pCmdHeader->wMIDHigh, pCmdHeader->wMIDLow, static_cast<unsigned>(pCmdHeader->lStat),
              static_cast<int>(pCmdHeader->dwLen));
    } catch (...) {
        TRACE(1, "\nCVexilClient        : ## EXCEPTION in CmdRequest()!");
        bResult = false;
    }
    return bResult;
}

bool CVexilClient::CallRouter(int nMethod, CommandHeader* pCmdHeader, const BYTE* pData, SAFEARRAY** ppReplyData,
                              short nTimeout, int nRetries, short nIncrement)
{
    CRequestArguments arguments(nMethod == METHOD_CMDREQUEST, nMethod == METHOD_VCREQUESTEX);
    if (!arguments.Pack(*pCmdHeader, pData, nTimeout)) {
        m_hrLastResult = E_OUTOFMEMORY;
        return false;
    }
    HRESULT hr = S_OK;
    do {
        TRACE(4, "\nCVexilClient        : CmdRequest() - call InvokeEx()...");
        CScopedVariant result;
        hr = InvokeEx(m_aDispId[nMethod], DISPATCH_METHOD, arguments.Params(), result.Ptr());
        TRACE(4, "\nCVexilClient        : CmdRequest() - ... return from InvokeEx(), hResult=0x%08X",
              static_cast<unsigned>(hr));
        arguments.GrowTimeout(nIncrement);
    } while (SUCCEEDED(hr) && arguments.ReplyStatus() == static_cast<LONG>(STATUS_BUSY) && nRetries-- > 0);
    arguments.Unpack(pCmdHeader, SUCCEEDED(hr), ppReplyData);
    return SUCCEEDED(hr);
}

DWORD CVexilClient::SendCommand(CCommand& command, short nTimeout, int nRetries, short nIncrement)
{
    CommandHeader* pCommandHeader = command.GetHeader();
    if (!pCommandHeader)
        return STATUS_NO_BUFFER;
    CommandHeader header = *pCommandHeader;
    header.dwLen = command.GetDataLength();
    CScopedSafeArray reply;
    if (!CmdRequest(&header, header.dwLen != 0 ? command.GetData() : nullptr, reply.Receive(), nTimeout, nRetries,
                    nIncrement)) {
        if (!command.EnsureBuffer())
            return STATUS_NO_BUFFER;
        command.SetStatus(static_cast<LONG>(STATUS_REQUEST_FAILED));
        return STATUS_REQUEST_FAILED;
    }
    DWORD cbReply = ByteStringLength(reply.Get());
    std::unique_ptr<BYTE[]> pReply;
    if (cbReply > 0) {
        pReply.reset(new (std::nothrow) BYTE[cbReply]);
        if (pReply)
            CopyByteString(reply.Get(), pReply.get(), cbReply);
    }
    reply.Close();
    if ((cbReply > 0 && !pReply) || !command.SetReply(header, pReply.get(), cbReply))
        return STATUS_NO_BUFFER;
    return static_cast<DWORD>(command.GetStatus());
}

DWORD CVexilClient::Request(BYTE* pData, DWORD* pdwReplyLength, DWORD dwCode, DWORD dwExtension, DWORD dwObjectId,
                            DWORD dwDataLength, LONG lCabinetId, short nTimeout, int nRetries, short nIncrement)
{
    CommandHeader header;
    std::memset(&header, 0, sizeof header);
    InitCommandHeader(&header);
    header.dwOC = dwCode;
    header.dwOCExt = dwExtension;
    header.dwOID = dwObjectId;
    header.lCABID = lCabinetId;
    header.dwLen = dwDataLength;
    DWORD cbCapacity = pdwReplyLength ? *pdwReplyLength : 0;
    if (pdwReplyLength)
        *pdwReplyLength = 0;
    CScopedSafeArray reply;
    if (!CmdRequest(&header, dwDataLength != 0 ? pData : nullptr, reply.Receive(), nTimeout, nRetries, nIncrement))
        return STATUS_REQUEST_FAILED;
    if (pData)
        CopyByteString(reply.Get(), pData, cbCapacity);
    if (pdwReplyLength)
        *pdwReplyLength = header.dwLen;
    return static_cast<DWORD>(header.lStat);
}

bool CVexilClient::GetServerCabinetNumber(int* pnNumber)
{
    m_hrLastResult = 1;
    if (IsAttached()) {
        TRACE(4, "\nCVexilClient        : GetServerCabinetNumber() - call InvokeEx()...");
        CScopedVariant result;
        DISPPARAMS noArgs = {nullptr, nullptr, 0, 0};
        HRESULT hr = InvokeEx(m_aDispId[METHOD_SERVERCABINETNUMBER], DISPATCH_PROPERTYGET, &noArgs, result.Ptr());
        TRACE(4, "\nCVexilClient        : GetServerCabinetNumber() -   return from InvokeEx(), hResult=0x%08X",
              static_cast<unsigned>(hr));
        if (hr == S_OK && result.Get().vt == VT_I2) {
            if (pnNumber)
                *pnNumber = result.Get().iVal;
        } else {
            // A router without the property: the base service tells the number itself.
            BYTE abReply[16];
            DWORD cbReply = sizeof abReply;
            DWORD dwStatus = Request(abReply, &cbReply, CMD_CABINET_NUMBER, 0, 0, 0, CABID_SERVER, 0, 0, 0);
            if (dwStatus == 0 && cbReply == 2) {
                if (pnNumber)
                    *pnNumber = abReply[0] | (abReply[1] << 8);
            } else if (m_hrLastResult == S_OK) {
                // The request went through but brought no number: the property's failure stands.
                m_hrLastResult = hr == S_OK ? DISP_E_TYPEMISMATCH : hr;
            }
        }
    }
    return m_hrLastResult == S_OK;
}

bool CVexilClient::SetClientName(const char* pszName)
{
    if (pszName)
        std::snprintf(m_szModuleName, sizeof m_szModuleName, "%s", pszName);
    if (m_szModuleName[0] != '\0' && IsAttached() && m_aDispId[METHOD_CLIENTNAME] != DISPID_UNKNOWN) {
        int cchWide = MultiByteToWideChar(CP_ACP, 0, m_szModuleName, -1, nullptr, 0);
        if (cchWide <= 0)
            return false;
        std::wstring strWide(static_cast<size_t>(cchWide), L'\0');
        MultiByteToWideChar(CP_ACP, 0, m_szModuleName, -1, &strWide[0], cchWide);
        BSTR bstrName = SysAllocString(strWide.c_str());
        if (!bstrName)
            return false;
        CScopedVariant name;
        name.Get().vt = VT_BSTR;
        name.Get().bstrVal = bstrName;
        DISPID dispIdPut = DISPID_PROPERTYPUT;
        DISPPARAMS params = {name.Ptr(), &dispIdPut, 1, 1};
        return InvokeEx(m_aDispId[METHOD_CLIENTNAME], DISPATCH_PROPERTYPUT, &params, nullptr) == S_OK;
    }
    return pszName != nullptr;
}

const char* CVexilClient::LastErrorText()
{
    DWORD cchText = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(m_hrLastResult), 0, m_szErrorText, sizeof m_szErrorText, nullptr);
    if (cchText > 0) {
        // The system's texts end their last line; the report wants the text alone.
        while (cchText > 0 && (m_szErrorText[cchText - 1] == '\n' || m_szErrorText[cchText - 1] == '\r'))
            m_szErrorText[--cchText] = '\0';
    } else {
        const DWORD dwResult = static_cast<DWORD>(m_hrLastResult);
        if (dwResult >= 0x80040200u && dwResult <= 0x8004FFFFu)
            std::snprintf(m_szErrorText, sizeof m_szErrorText, "IDispatch error #%d",
                          static_cast<int>(dwResult - 0x80040200u));
        else
            std::snprintf(m_szErrorText, sizeof m_szErrorText, "Unknown error 0x%0lX",
                          static_cast<unsigned long>(dwResult));
    }
    return m_szErrorText;
}

bool CVexilClient::EnableCancelRequest(bool bOn)
{
    if (!m_pfnCoEnableCallCancellation || !m_pfnCoDisableCallCancellation || !m_pfnCoGetCancelObject ||
        !m_pfnCoCancelCall) {
        TRACE(4, "\nCVexilClient        : EnableCancelRequest() - pointers to cancel functions not available (NT4?)");
        return false;
    }
    HRESULT hr;
    if (bOn) {
        hr = m_pfnCoEnableCallCancellation(nullptr);
        m_bCancelEnabled = SUCCEEDED(hr);
    } else {
        hr = m_pfnCoDisableCallCancellation(nullptr);
        m_bCancelEnabled = false;
        m_bCancelled = 0;
    }
    TRACE(4, "\nCVexilClient        : EnableCancelRequest(%d) - hResult = 0x%08X", bOn ? 1 : 0,
          static_cast<unsigned>(hr));
    return SUCCEEDED(hr);
}

void CVexilClient::CancelRequests()
{
    m_bCancelled = 1;
    const DWORD dwThread = m_dwCallingThread;
    if (m_bCancelEnabled && dwThread != 0 && m_pfnCoCancelCall)
        m_pfnCoCancelCall(dwThread, 0);
}

HRESULT CVexilClient::ConnectEvents()
{
    CComPointer<IDispatch> router;
    HRESULT hr = m_GIT ? m_GIT->GetInterfaceFromGlobal(m_dwGITCookie, IID_IDispatch, router.ReceiveVoid()) : E_FAIL;
    if (FAILED(hr))
        return hr;
    CComPointer<IConnectionPointContainer> container;
    hr = router->QueryInterface(IID_IConnectionPointContainer, container.ReceiveVoid());
    if (FAILED(hr))
        return hr;
    hr = container->FindConnectionPoint(IID_IVexilEvents, m_ConnectionPoint.Receive());
    if (FAILED(hr))
        return hr;
    hr = m_ConnectionPoint->Advise(static_cast<IDispatch*>(this), &m_dwAdviseCookie);
    if (FAILED(hr)) {
        m_ConnectionPoint.Release();
        m_dwAdviseCookie = 0;
        return hr;
    }
    m_dwEventsThread = GetCurrentThreadId();
    return S_OK;
}

void CVexilClient::EnableEvents(bool bOn)
{
    if (bOn) {
        if (m_dwAdviseCookie == 0) {
            TRACE(3, "\nCVexilClient        : Enable events at \"%ls\"", m_strServerName.c_str());
            HRESULT hr = Attach() ? ConnectEvents() : m_hrLastResult;
            if (FAILED(hr))
                m_hrLastResult = hr;
            TRACE(4, "\nCVexilClient        : Advise %s!", SUCCEEDED(hr) ? "OK" : "FAILED");
        } else {
            m_hrLastResult = S_OK;
            TRACE(3, "\nCVexilClient        : Events at \"%ls\" already enabled!", m_strServerName.c_str());
        }
        return;
    }
    TRACE(3, "\nCVexilClient        : Disable events");
    if (m_dwAdviseCookie == 0 || GetCurrentThreadId() != m_dwEventsThread)
        return;
    try {
        TRACE(4, "\nCVexilClient        : EnableEvents() - start unadvise");
        HRESULT hr = m_ConnectionPoint->Unadvise(m_dwAdviseCookie);
        TRACE(4, "\nCVexilClient        : Thread ID %d: Unadvise %s!", static_cast<int>(GetCurrentThreadId()),
              SUCCEEDED(hr) ? "OK" : "FAILED");
        m_ConnectionPoint.Release();
        m_dwAdviseCookie = 0;
        m_dwEventsThread = 0;
        Detach();
        TRACE(4, "\nCVexilClient        : EnableEvents() - end unadvise");
    } catch (...) {
        TRACE(1, "\nCVexilClient        : EnableEvents() - EXCEPTION during unadvise\n");
    }
}

HRESULT STDMETHODCALLTYPE CVexilClient::QueryInterface(REFIID riid, void** ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IVexilEvents) {
        *ppvObject = static_cast<IDispatch*>(this);
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CVexilClient::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVexilClient::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo)
{
    if (ppTInfo)
        *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CVexilClient::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CVexilClient::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams,
                                               VARIANT*, EXCEPINFO*, UINT*)
{
    if (dispIdMember == 1 || dispIdMember == 2)
        return E_NOTIMPL;
    if (dispIdMember != static_cast<DISPID>(EVENT_VCREQUEST) && dispIdMember != static_cast<DISPID>(EVENT_CMDREQUEST))
        return DISP_E_MEMBERNOTFOUND;
    if (!pDispParams || pDispParams->cArgs == 0 || !pDispParams->rgvarg)
        return DISP_E_PARAMNOTFOUND;
    const VARIANT* pArgs = pDispParams->rgvarg;  // last argument first
    std::unique_ptr<CCommand> pRequest;
    if (dispIdMember == static_cast<DISPID>(EVENT_VCREQUEST)) {
        if (pDispParams->cArgs != 6)
            return DISP_E_BADPARAMCOUNT;
        SHORT anFields[4] = {};
        BYTE bStatus = 0;
        for (int i = 0; i < 4; ++i) {
            if (!EventShort(pArgs[5 - i], anFields[i]))
                return DISP_E_TYPEMISMATCH;
        }
        SAFEARRAY* psaData = EventByteString(pArgs[0]);
        if (!EventByte(pArgs[1], bStatus) || (!psaData && pArgs[0].vt != VT_EMPTY))
            return DISP_E_TYPEMISMATCH;
        DWORD cbData = ByteStringLength(psaData);
        std::unique_ptr<BYTE[]> pData(new BYTE[cbData ? cbData : 1]);
        CopyByteString(psaData, pData.get(), cbData);
        pRequest.reset(new CCommand(static_cast<WORD>(anFields[0]), static_cast<WORD>(anFields[1]),
                                    static_cast<WORD>(anFields[2]), anFields[3], static_cast<signed char>(bStatus),
                                    pData.get(), cbData));
    } else {
        if (pDispParams->cArgs != 2)
            return DISP_E_BADPARAMCOUNT;
        SAFEARRAY* psaHeader = EventByteString(pArgs[1]);
        SAFEARRAY* psaData = EventByteString(pArgs[0]);
        CommandHeader header;
        if (!psaHeader || CopyByteString(psaHeader, &header, sizeof header) != sizeof header ||
            (!psaData && pArgs[0].vt != VT_EMPTY))
            return DISP_E_TYPEMISMATCH;
        DWORD cbData = ByteStringLength(psaData);
        std::unique_ptr<BYTE[]> pData(new BYTE[cbData ? cbData : 1]);
        CopyByteString(psaData, pData.get(), cbData);
        pRequest.reset(new CCommand(header.dwOC, header.dwOCExt, header.dwOID, header.lCABID, header.lStat));
        pRequest->SetReply(header, pData.get(), cbData);
    }
    std::unique_ptr<CCommand> pReply(OnRequest(*pRequest));
    OnReply(pReply.get());
    return S_OK;
}

CCommand* CVexilClient::OnRequest(CCommand&)
{
    return nullptr;
}

void CVexilClient::OnReply(CCommand*)
{
}
