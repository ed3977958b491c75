// The client of the command router Vexil: attaches to its COM server, sends commands to the base service, detaches.
#pragma once

#include "src/baselink/Command.h"
#include "src/platform/ScopedHandle.h"
#include "src/platform/Win32.h"

#include <map>
#include <mutex>
#include <string>

// Also the sink of the router's events: the client answers as their IDispatch. The platform's COM
// interfaces declare no destructor, as COM objects go by Release; ours is virtual all the same.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class CVexilClient : public IDispatch {
public:
    // The router's methods and properties, in the order of the client's dispatch id table.
    enum {
        METHOD_SYNCREQUEST,
        METHOD_DEFAULTTIMEOUT,
        METHOD_VCREQUEST,
        METHOD_SERVERCABINETNUMBER,
        METHOD_RAVELINVERSION,
        METHOD_VCREQUESTEX,
        METHOD_CLIENTNAME,
        METHOD_CMDREQUEST,
        METHOD_COUNT
    };
    // The client's own statuses for a request that did not reach the base service.
    static constexpr DWORD STATUS_REQUEST_FAILED = 6;
    static constexpr DWORD STATUS_NO_BUFFER = 23;
    static constexpr DWORD STATUS_BUSY = 0x0F;

    CVexilClient();
    virtual ~CVexilClient();
    CVexilClient(const CVexilClient&) = delete;
    CVexilClient& operator=(const CVexilClient&) = delete;

    // pwszServer: the machine to attach to, null or empty for this one. 1 when attached, 0 on failure.
    int Attach(const WCHAR* pwszServer = nullptr);
    void Detach();
    bool IsAttached() const { return m_dwGITCookie != 0; }

    // pData holds the header's data length in bytes; *ppReplyData receives the reply's data (null for
    // none), which the caller destroys. The header is overwritten with the reply's.
    bool CmdRequest(CommandHeader* pCmdHeader, const BYTE* pData, SAFEARRAY** ppReplyData, short nTimeout = 0,
                    int nRetries = 0, short nIncrement = 0);
    // The reply's status: the command then holds the reply.
    DWORD SendCommand(CCommand& command, short nTimeout = 0, int nRetries = 0, short nIncrement = 0);
    // pData holds dwDataLength request bytes and receives up to *pdwReplyLength reply bytes;
    // *pdwReplyLength becomes the reply's full data length.
    DWORD Request(BYTE* pData, DWORD* pdwReplyLength, DWORD dwCode, DWORD dwExtension, DWORD dwObjectId,
                  DWORD dwDataLength, LONG lCabinetId = CABID_SERVER, short nTimeout = 0, int nRetries = 0,
                  short nIncrement = 0);

    bool GetServerCabinetNumber(int* pnNumber);
    bool SetClientName(const char* pszName = nullptr);
    // The outcome of the last call to the router, and its text (valid until the next call of LastErrorText).
    HRESULT LastResult() const { return m_hrLastResult; }
    const char* LastErrorText();

    bool EnableCancelRequest(bool bOn);
    void EnableEvents(bool bOn);
    // Stops the calls of this client: the one in progress (from another thread) and every later one.
    void CancelRequests();

    HRESULT InvokeEx(DISPID dispId, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult);

    // The next CmdRequest sends the header's MID fields as they are.
    void KeepMID() { m_bKeepMID = true; }
    DISPID GetDispId(int nMethod) const { return m_aDispId[nMethod]; }

    // The event sink. The client lives as long as its owner decides, so the counts are nominal.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) override;

protected:
    // A command the router passed to this client; the reply (or null) goes to OnReply. The client
    // handles none itself.
    virtual CCommand* OnRequest(CCommand& request);
    virtual void OnReply(CCommand* pReply);

private:
    typedef HRESULT(WINAPI* PFN_COENABLECALLCANCELLATION)(LPVOID);
    typedef HRESULT(WINAPI* PFN_CODISABLECALLCANCELLATION)(LPVOID);
    typedef HRESULT(WINAPI* PFN_COGETCANCELOBJECT)(DWORD, REFIID, void**);
    typedef HRESULT(WINAPI* PFN_COCANCELCALL)(DWORD, ULONG);

    // The steps of Attach: the module name the router shows, the thread's COM apartment, and for a client not
    // attached yet the router's object, filed in the global interface table with the ids of its methods.
    void TakeModuleName();
    void EnterApartment(DWORD dwThread);
    int Connect(const WCHAR* pwszServer, DWORD dwThread);
    void RegisterRouter(COSERVERINFO* pServerInfo, DWORD dwThread);
    CComPointer<IDispatch> CreateRouter(COSERVERINFO* pServerInfo);
    void RegisterInGlobalTable(IDispatch* pRouter, DWORD dwThread);
    void ReadDispatchIds(IDispatch* pRouter);

    bool CallRouter(int nMethod, CommandHeader* pCmdHeader, const BYTE* pData, SAFEARRAY** ppReplyData,
                    short nTimeout, int nRetries, short nIncrement);
    HRESULT ConnectEvents();

    std::recursive_mutex m_Lock;
    std::map<DWORD, HRESULT> m_ThreadComInit;  // thread id -> its CoInitializeEx result
    CScopedLibrary m_Ole32;
    PFN_COENABLECALLCANCELLATION m_pfnCoEnableCallCancellation;
    PFN_CODISABLECALLCANCELLATION m_pfnCoDisableCallCancellation;
    PFN_COGETCANCELOBJECT m_pfnCoGetCancelObject;
    PFN_COCANCELCALL m_pfnCoCancelCall;
    bool m_bCancelEnabled;
    volatile LONG m_bCancelled;
    volatile DWORD m_dwCallingThread;
    DWORD m_dwEventsThread;
    DWORD m_dwAdviseCookie;
    CComPointer<IConnectionPoint> m_ConnectionPoint;
    bool m_bKeepMID;
    HRESULT m_hrLastResult;
    char m_szModuleName[256];
    std::wstring m_strServerName;
    DISPID m_aDispId[METHOD_COUNT];
    CComPointer<IGlobalInterfaceTable> m_GIT;
    DWORD m_dwGITCookie;
    DWORD m_dwAttachThread;
    char m_szErrorText[MAX_PATH];
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
