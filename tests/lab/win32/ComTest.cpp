// The lab's COM and OLE Automation subset and its command router, held to the contracts of ole32 and oleaut32.
#include "lab/win32/ComControl.h"
#include "tests/lab/LabTestSupport.h"
#include "tests/support/RouterProfile.h"

#include <cstring>

namespace {

const CLSID CLSID_Router = {0xAD289653, 0xB5C5, 0x11D2, {0x88, 0xBB, 0x00, 0xC0, 0x95, 0xEC, 0xAC, 0xC1}};

template <class F>
void OnOwnThread(F body)
{
    std::thread thread(body);
    thread.join();
}

// A router object created as a client would, released at the end of the test.
class CRouter {
public:
    CRouter()
    {
        MULTI_QI qi = {&IID_IDispatch, nullptr, S_OK};
        m_hr = CoCreateInstanceEx(CLSID_Router, nullptr, CLSCTX_LOCAL_SERVER, nullptr, 1, &qi);
        m_pDispatch = static_cast<IDispatch*>(qi.pItf);
    }
    ~CRouter()
    {
        if (m_pDispatch)
            m_pDispatch->Release();
    }
    CRouter(const CRouter&) = delete;
    CRouter& operator=(const CRouter&) = delete;

    DISPID Id(const wchar_t* pszName, HRESULT* phr = nullptr) const
    {
        LPOLESTR pszMutable = const_cast<LPOLESTR>(pszName);
        DISPID id = 0;
        HRESULT hr = m_pDispatch->GetIDsOfNames(IID_NULL, &pszMutable, 1, LOCALE_SYSTEM_DEFAULT, &id);
        if (phr)
            *phr = hr;
        return id;
    }

    HRESULT m_hr;
    IDispatch* m_pDispatch;
};

class ComTest : public ::testing::Test {
protected:
    void SetUp() override { m_hrInit = CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void TearDown() override
    {
        if (SUCCEEDED(m_hrInit))
            CoUninitialize();
        EXPECT_EQ(lab::win32::LiveComObjects(), 0);
    }

    HRESULT m_hrInit = S_OK;
    CRouterProfile m_profile;
};

TEST(ComApartmentTest, EachThreadEntersOneApartment)
{
    OnOwnThread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        CoUninitialize();
        // Left, the thread may choose again.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    });
}

TEST_F(ComTest, ActivationFollowsTheClassRegistration)
{
    {
        CRouter router;
        EXPECT_EQ(router.m_hr, S_OK);
        ASSERT_NE(router.m_pDispatch, nullptr);
        EXPECT_EQ(lab::win32::LiveComObjects(), 1);
    }

    // Two interfaces asked for, one the router has not.
    MULTI_QI qi[2] = {{&IID_IDispatch, nullptr, S_OK}, {&IID_IGlobalInterfaceTable, nullptr, S_OK}};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_Router, nullptr, CLSCTX_LOCAL_SERVER, nullptr, 2, qi),
              static_cast<HRESULT>(0x00080012L));
    EXPECT_EQ(qi[1].hr, E_NOINTERFACE);
    EXPECT_EQ(qi[1].pItf, nullptr);
    qi[0].pItf->Release();

    // Only as a local or remote server, never in process.
    IDispatch* pDispatch = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Router, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&pDispatch)),
              REGDB_E_CLASSNOTREG);
    const CLSID other = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&pDispatch)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(pDispatch, nullptr);

    m_profile.SetRunning(false);
    CRouter stopped;
    EXPECT_EQ(stopped.m_hr, CO_E_SERVER_EXEC_FAILURE);
}

TEST_F(ComTest, GlobalTableHoldsAReferenceUntilRevoked)
{
    CRouter router;
    IGlobalInterfaceTable* pTable = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                               reinterpret_cast<void**>(&pTable)),
              S_OK);
    DWORD dwCookie = 0;
    ASSERT_EQ(pTable->RegisterInterfaceInGlobal(router.m_pDispatch, IID_IDispatch, &dwCookie), S_OK);
    EXPECT_NE(dwCookie, 0u);
    router.m_pDispatch->Release();
    router.m_pDispatch = nullptr;
    EXPECT_EQ(lab::win32::LiveComObjects(), 1);

    OnOwnThread([&] {
        IConnectionPointContainer* pContainer = nullptr;
        EXPECT_EQ(pTable->GetInterfaceFromGlobal(dwCookie, IID_IConnectionPointContainer,
                                                 reinterpret_cast<void**>(&pContainer)),
                  S_OK);
        ASSERT_NE(pContainer, nullptr);
        pContainer->Release();
    });
    EXPECT_EQ(pTable->RevokeInterfaceFromGlobal(dwCookie), S_OK);
    EXPECT_EQ(pTable->RevokeInterfaceFromGlobal(dwCookie), E_INVALIDARG);
    void* pv = nullptr;
    EXPECT_EQ(pTable->GetInterfaceFromGlobal(dwCookie, IID_IDispatch, &pv), E_INVALIDARG);
    pTable->Release();
}

TEST_F(ComTest, RouterDispatchKeepsAutomationsRules)
{
    CRouter router;
    ASSERT_NE(router.m_pDispatch, nullptr);
    HRESULT hr = S_OK;
    EXPECT_EQ(router.Id(L"cmdrequest"), 8);
    EXPECT_EQ(router.Id(L"NoSuchMethod", &hr), DISPID_UNKNOWN);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
    m_profile.Service().SetMethodKnown("VCRequest", false);
    EXPECT_EQ(router.Id(L"VCRequest", &hr), DISPID_UNKNOWN);

    IDispatch* pDispatch = router.m_pDispatch;
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(pDispatch->Invoke(4, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.vt, VT_I2);
    EXPECT_EQ(result.iVal, 3);
    EXPECT_EQ(pDispatch->Invoke(4, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(pDispatch->Invoke(8, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);

    // CmdRequest wants its header as a byte string by reference.
    VARIANT args[3];
    for (VARIANT& arg : args)
        VariantInit(&arg);
    args[2].vt = VT_I2;
    args[1].vt = VT_I2;
    args[0].vt = VT_I2;
    DISPPARAMS three = {args, nullptr, 3, 0};
    UINT uArgErr = 99;
    EXPECT_EQ(pDispatch->Invoke(8, IID_NULL, 0, DISPATCH_METHOD, &three, nullptr, nullptr, &uArgErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(uArgErr, 2u);

    // A property put names its value.
    VARIANT name;
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(L"Tester");
    DISPPARAMS unnamed = {&name, nullptr, 1, 0};
    EXPECT_EQ(pDispatch->Invoke(7, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS named = {&name, &put, 1, 1};
    EXPECT_EQ(pDispatch->Invoke(7, IID_NULL, 0, DISPATCH_PROPERTYPUT, &named, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(m_profile.Service().ClientName(), "Tester");
    VariantClear(&name);

    m_profile.SetRunning(false);
    EXPECT_EQ(pDispatch->Invoke(4, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
              static_cast<HRESULT>(0x800706BAL));
}

TEST_F(ComTest, ConnectionPointTakesSinksOfTheEventInterface)
{
    CRouter router;
    IConnectionPointContainer* pContainer = nullptr;
    ASSERT_EQ(router.m_pDispatch->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&pContainer)),
              S_OK);
    IConnectionPoint* pPoint = nullptr;
    EXPECT_EQ(pContainer->FindConnectionPoint(IID_IDispatch, &pPoint), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(pContainer->FindConnectionPoint(lab::win32::IID_IVexilEvents, &pPoint), S_OK);
    pContainer->Release();

    // The router is no sink of its own events.
    DWORD dwCookie = 0;
    EXPECT_EQ(pPoint->Advise(router.m_pDispatch, &dwCookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(pPoint->Unadvise(7), CONNECT_E_NOCONNECTION);
    IID iid;
    EXPECT_EQ(pPoint->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(iid == lab::win32::IID_IVexilEvents);
    pPoint->Release();
}

TEST(OleAutomationTest, StringsArraysAndVariantsOwnWhatTheyHold)
{
    BSTR bstr = SysAllocStringLen(L"a\0b", 3);
    EXPECT_EQ(SysStringLen(bstr), 3u);
    EXPECT_EQ(SysStringByteLen(bstr), 3 * sizeof(OLECHAR));
    EXPECT_EQ(bstr[3], L'\0');
    SysFreeString(bstr);
    SysFreeString(nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);

    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_NE(psa, nullptr);
    LONG lUpper = 0;
    EXPECT_EQ(SafeArrayGetUBound(psa, 1, &lUpper), S_OK);
    EXPECT_EQ(lUpper, 3);
    EXPECT_EQ(SafeArrayGetUBound(psa, 2, &lUpper), DISP_E_BADINDEX);
    void* pv = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &pv), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    std::memcpy(pv, "data", 4);
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);

    // A variant owns its array; one by reference owns nothing (the sanitizer sees either mistake).
    VARIANT copy;
    VariantInit(&copy);
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_ARRAY | VT_UI1;
    byRef.pparray = &psa;
    EXPECT_EQ(VariantClear(&byRef), S_OK);
    VARIANT owner;
    owner.vt = VT_ARRAY | VT_UI1;
    owner.parray = psa;
    EXPECT_EQ(VariantCopy(&copy, &owner), S_OK);
    EXPECT_NE(copy.parray, psa);
    EXPECT_EQ(std::memcmp(copy.parray->pvData, "data", 4), 0);
    EXPECT_EQ(VariantClear(&owner), S_OK);
    EXPECT_EQ(owner.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(SafeArrayCreateVector(VT_DISPATCH, 0, 1), nullptr);
}

// An array passed by reference comes back from another process in the caller's own descriptor; one of fixed size
// (a vector) cannot take a reply of another length.
TEST(OleAutomationTest, ArraysComeBackFromAnotherProcessInTheCallersDescriptor)
{
    SAFEARRAY* psaReply = SafeArrayCreateVector(VT_UI1, 0, 3);
    ASSERT_NE(psaReply, nullptr);
    std::memcpy(psaReply->pvData, "abc", 3);

    SAFEARRAY* psaVector = SafeArrayCreateVector(VT_UI1, 0, 1);
    SAFEARRAY* const psaVectorBefore = psaVector;
    EXPECT_EQ(lab::win32::ReturnArray(&psaVector, psaReply), DISP_E_BADCALLEE);
    EXPECT_EQ(psaVector, psaVectorBefore);
    EXPECT_EQ(psaVector->rgsabound[0].cElements, 1u);
    SafeArrayDestroy(psaVector);

    SAFEARRAYBOUND bound = {1, 0};
    SAFEARRAY* psaGrowing = SafeArrayCreate(VT_UI1, 1, &bound);
    SAFEARRAY* const psaGrowingBefore = psaGrowing;
    ASSERT_EQ(lab::win32::ReturnArray(&psaGrowing, psaReply), S_OK);
    EXPECT_EQ(psaGrowing, psaGrowingBefore);
    ASSERT_EQ(psaGrowing->rgsabound[0].cElements, 3u);
    EXPECT_EQ(std::memcmp(psaGrowing->pvData, "abc", 3), 0);

    // A vector of the reply's own length takes it; none becomes a new array; no reply frees the caller's.
    SAFEARRAY* psaSameLength = SafeArrayCreateVector(VT_UI1, 0, 3);
    EXPECT_EQ(lab::win32::ReturnArray(&psaSameLength, psaReply), S_OK);
    EXPECT_EQ(std::memcmp(psaSameLength->pvData, "abc", 3), 0);
    SafeArrayDestroy(psaSameLength);
    SAFEARRAY* psaNone = nullptr;
    ASSERT_EQ(lab::win32::ReturnArray(&psaNone, psaReply), S_OK);
    ASSERT_NE(psaNone, nullptr);
    EXPECT_NE(psaNone, psaReply);
    SafeArrayDestroy(psaNone);
    EXPECT_EQ(lab::win32::ReturnArray(&psaGrowing, nullptr), S_OK);
    EXPECT_EQ(psaGrowing, nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_UI1, 2, &bound), nullptr);
    SafeArrayDestroy(psaReply);
}

TEST(ComMessageTest, TheSystemExplainsTheResultsOfCom)
{
    char szText[256];
    const struct {
        DWORD id;
        const char* pszText;
    } cases[] = {
        // Activation failures and the stopped router are the client's suite's texts.
        {0x80070005, "Access is denied.\r\n"},
        {0x80010106, "Cannot change thread mode after it is set.\r\n"},
    };
    for (const auto& message : cases) {
        ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, message.id, 0,
                                 szText, sizeof szText, nullptr),
                  0u);
        EXPECT_STREQ(szText, message.pszText);
    }
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x80040205, 0, szText, sizeof szText, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST(BaseServiceFileTest, MistakesAreReportedByLine)
{
    lab::host::BaseService service;
    std::string error;
    EXPECT_FALSE(service.Parse("[Event]\nSeverity=300\n", error));
    EXPECT_EQ(error, "line 2: unknown or bad event key Severity");
    EXPECT_FALSE(service.Parse("[Router]\nReply=0x2302\n", error));
    EXPECT_EQ(error, "line 2: Reply wants code[-extension]|status");
    EXPECT_FALSE(service.Parse("[Bogus]\n", error));
    EXPECT_EQ(error, "line 1: unknown section [Bogus]");
    // Each section judges its own entries, whatever case its name is written in.
    const struct {
        const char* pszText;
        const char* pszError;
    } mistakes[] = {
        {"Model=X\n", "line 1: entry outside a section"},
        {"[Server]\njust words\n", "line 2: not a key=value line"},
        {"[SERVER]\nChassisEEPROM=01 2g\n", "line 2: ChassisEEPROM wants hexadecimal bytes"},
        {"[Router]\nBusy=-1\n", "line 2: unknown or bad router switch Busy"},
        {"[Processors]\nfirst=Xeon\n", "line 2: a processor is named by its number"},
        {"[Security]\nSetAllowed=256\n", "line 2: SetAllowed wants a byte"},
        {"[security]\nColour=1\n", "line 2: unknown security setting Colour"},
        {"[Subsystem]\nColour=red\n", "line 2: unknown subsystem key Colour"},
    };
    for (const auto& mistake : mistakes) {
        EXPECT_FALSE(service.Parse(mistake.pszText, error)) << mistake.pszText;
        EXPECT_EQ(error, mistake.pszError);
    }

    ASSERT_TRUE(service.Parse("[Router]\nUnknown=CmdRequest|VCRequestEx\nCabinetProperty=no\nReply=0x0C00-0x0608|12\n"
                              "[Server]\nCabinetNumber=2\nServerModel=X\n",
                              error))
        << error;
    EXPECT_FALSE(service.KnowsMethod("cmdrequest"));
    EXPECT_TRUE(service.KnowsMethod("VCRequest"));
    int16_t nNumber = 0;
    EXPECT_FALSE(service.CabinetProperty(nNumber));

    lab::host::RouterHeader request;
    request.code = 0x0C00;
    request.extension = 0x0608;
    lab::host::RouterHeader reply;
    std::vector<uint8_t> data;
    service.Answer(request, {}, reply, data);
    EXPECT_EQ(reply.status, 12u);
    EXPECT_TRUE(data.empty());
    request.code = 0x7777;
    service.Answer(request, {}, reply, data);
    EXPECT_EQ(reply.status, lab::host::rvstatus::kUnknownCommand);
}

// A hostile profile's switches: headers longer than the usual 48 bytes, and texts with control characters
// written as escapes in double quotes (a value without quotes is taken as it stands, backslashes and all).
TEST(BaseServiceFileTest, LongReplyHeadersAndQuotedTexts)
{
    lab::host::BaseService service;
    std::string error;
    EXPECT_FALSE(service.Parse("[Router]\nReplyHeaderSize=47\n", error));
    EXPECT_EQ(error, "line 2: ReplyHeaderSize wants 48 to 65535");
    EXPECT_FALSE(service.Parse("[Router]\nReplyHeaderSize=65536\n", error));
    EXPECT_FALSE(service.Parse("[Server]\nServerModel=\"open\n", error));
    EXPECT_EQ(error, "line 2: missing closing quote");
    EXPECT_FALSE(service.Parse("[Event]\nMessage=\"bad \\q\"\n", error));
    EXPECT_EQ(error, "line 2: unknown escape \\q");

    ASSERT_TRUE(service.Parse("[Router]\nReplyHeaderSize=65535\n"
                              "[Server]\nServerModel=\"QX\\x01\\x07 \\x1b[1m\\x0b\\x0c\"\nChassisModel=C:\\x41\n"
                              "[Processors]\n0=\"Xeon\\x07\"\n"
                              "[Subsystem]\nName=\"Fans\\x1b\"\nComponent=1|yes|\"FAN\\x01\"|\"fan \\x0b\"\n"
                              "[Event]\nMessage=\"beep\\x07\"\n",
                              error))
        << error;
    auto answer = [&service](uint32_t code, uint32_t extension, uint32_t objectId) {
        lab::host::RouterHeader request;
        request.code = code;
        request.extension = extension;
        request.objectId = objectId;
        lab::host::RouterHeader reply;
        std::vector<uint8_t> data;
        service.Answer(request, {}, reply, data);
        std::vector<uint8_t> header = service.ReplyHeaderBytes(reply);
        EXPECT_EQ(header.size(), 65535u);
        EXPECT_EQ(std::string(header.begin(), header.begin() + 4), "$SIP");
        EXPECT_EQ(header[6] | (header[7] << 8), 65535);
        EXPECT_EQ(std::vector<uint8_t>(header.begin() + 48, header.end()), std::vector<uint8_t>(65535 - 48, 0));
        lab::host::RouterHeader read;
        EXPECT_TRUE(read.Read(header));
        EXPECT_EQ(read.status, reply.status);
        EXPECT_EQ(read.dataLength, data.size());
        return std::string(data.begin(), data.end());
    };
    EXPECT_EQ(answer(0x0C00, 0x0608, 0), "QX\x01\x07 \x1b[1m\v\f");
    EXPECT_EQ(answer(0x0C00, 0x0108, 0), "C:\\x41");
    EXPECT_EQ(answer(0x060B, 0, 0), "Xeon\a");
    EXPECT_EQ(answer(0x2302, 0, 0), "Fans\x1b");
    EXPECT_EQ(answer(0x2307, 0, 0), "FAN\x01");
    EXPECT_EQ(answer(0x2308, 0, 0), "fan \v");
    EXPECT_NE(answer(0x0B10, 0, 0).find("beep\a"), std::string::npos);

    // A script's own header bytes stand as they are; a test can set the size as well.
    service.SetReplyHeaderSize(64);
    lab::host::RouterHeader reply;
    EXPECT_EQ(service.ReplyHeaderBytes(reply).size(), 64u);
    service.Script({{0, {}, {'$', 'S'}}});
    std::vector<uint8_t> data;
    service.Answer(reply, {}, reply, data);
    EXPECT_EQ(service.ReplyHeaderBytes(reply), (std::vector<uint8_t>{'$', 'S'}));
}

}  // namespace
