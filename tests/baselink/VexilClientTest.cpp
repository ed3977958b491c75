// The command router client against the lab's router: attaching, the request methods, retries, threads, detaching.
#include "src/baselink/VexilClient.h"

#include "lab/win32/LibraryControl.h"
#include "tests/support/RouterProfile.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

const HRESULT HR_NOT_SENT = static_cast<HRESULT>(0x80010008L);

// Each case runs on a thread of its own, so that its COM initialisation starts from nothing and ends with it.
template <class F>
void OnOwnThread(F body)
{
    std::thread thread(body);
    thread.join();
}

CommandHeader Header(DWORD dwCode, DWORD dwExtension = 0, DWORD dwObjectId = 0)
{
    CommandHeader header;
    std::memset(&header, 0, sizeof header);
    InitCommandHeader(&header);
    header.dwOC = dwCode;
    header.dwOCExt = dwExtension;
    header.dwOID = dwObjectId;
    header.lCABID = CABID_SERVER;
    return header;
}

std::string Text(SAFEARRAY* psa)
{
    if (!psa)
        return "";
    return std::string(static_cast<const char*>(psa->pvData), psa->rgsabound[0].cElements);
}

class VexilClientTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // Every interface the client took is released again.
        EXPECT_EQ(lab::win32::LiveComObjects(), 0);
        lab::win32::ResetLibrarySwitches();
    }

    std::vector<lab::host::RouterCall> Calls() const { return m_profile.Service().Calls(); }

    CRouterProfile m_profile;
};

TEST_F(VexilClientTest, AttachTracesEveryStepAndDetachUndoesIt)
{
    CTraceFile trace(m_profile.Profile().Scratch() + "/trace.txt", 4);
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        EXPECT_TRUE(client.IsAttached());
        EXPECT_EQ(m_profile.Service().ClientName(), "Triagist");
        const std::string thread = std::to_string(GetCurrentThreadId());
        EXPECT_EQ(trace.Take(),
                  "\nCVexilClient        : Attach() - Enter..."
                  "\nCVexilClient        : Attach to VEXIL as module \"Triagist\""
                  "\nCVexilClient        : Attach(): Thread ID " + thread + ": CoInitializeEx OK - was not called before!"
                  "\nCVexilClient        : Attach() - Try to create interface instance 0 ..."
                  "\nCVexilClient        : ... Attach() - interface instance 0 created OK!"
                  "\nCVexilClient        : Attach() - create global interface table ..."
                  "\nCVexilClient        : Attach() -   global interface created, hResult=0x00000000"
                  "\nCVexilClient        : Attach(): Thread ID " + thread + ": RegisterInterfaceInGlobal OK!"
                  "\nCVexilClient        : Attach() - Get dispatch IDs..."
                  "\nCVexilClient        :   ID of method SyncRequest = 1"
                  "\nCVexilClient        :   ID of method DefaultTimeout = 2"
                  "\nCVexilClient        :   ID of method VCRequest = 3"
                  "\nCVexilClient        :   ID of method ServerCabinetNumber = 4"
                  "\nCVexilClient        :   ID of method RavelinVersion = 5"
                  "\nCVexilClient        :   ID of method VCRequestEx = 6"
                  "\nCVexilClient        :   ID of method ClientName = 7"
                  "\nCVexilClient        :   ID of method CmdRequest = 8"
                  "\nCVexilClient        : Attach succeeded");

        EXPECT_EQ(client.Attach(), 1);
        EXPECT_EQ(trace.Take(),
                  "\nCVexilClient        : Attach() - Enter..."
                  "\nCVexilClient        : Attach to VEXIL as module \"Triagist\""
                  "\nCVexilClient        : Attach(): Thread ID " + thread + ": CoInitializeEx OK - was already called here!"
                  "\nCVexilClient        :   already attached"
                  "\nCVexilClient        : Attach succeeded");

        client.Detach();
        EXPECT_FALSE(client.IsAttached());
        EXPECT_EQ(trace.Take(),
                  "\nCVexilClient        : Detach from VEXIL"
                  "\nCVexilClient        : Detach(): Start revoke global interface table..."
                  "\nCVexilClient        : Detach(): Revoke RevokeInterfaceFromGlobal returned 0x0"
                  "\nCVexilClient        : Detach(): ... global interface table released"
                  "\nCVexilClient        : ... Detach() done!");
        // The thread's apartment was the client's to end: a new one starts afresh.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        CoUninitialize();
    });
}

TEST_F(VexilClientTest, ThreadsThatEnteredAnApartmentBeforeKeepIt)
{
    CTraceFile trace(m_profile.Profile().Scratch() + "/trace.txt", 4);
    for (DWORD dwMode : {COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED}) {
        OnOwnThread([&] {
            ASSERT_EQ(CoInitializeEx(nullptr, dwMode), S_OK);
            {
                CVexilClient client;
                EXPECT_EQ(client.Attach(), 1);
                client.Detach();
            }
            const std::string text = trace.Take();
            const std::string prefix =
                "\nCVexilClient        : Attach(): Thread ID " + std::to_string(GetCurrentThreadId()) + ": ";
            EXPECT_NE(text.find(prefix + (dwMode == COINIT_MULTITHREADED
                                              ? "CoInitializeEx OK - was already called!"
                                              : "CoInitializeEx FAILED - thread mode could not be changed!")),
                      std::string::npos)
                << text;
            // The client ended only what it began: the thread is still in its own apartment.
            EXPECT_EQ(CoInitializeEx(nullptr, dwMode), S_FALSE);
            CoUninitialize();
            CoUninitialize();
        });
    }
}

TEST_F(VexilClientTest, AttachFailuresKeepTheSystemsResultAndText)
{
    struct {
        const char* pszCase;
        HRESULT hr;
        const char* pszText;
    } const cases[] = {
        {"stopped", static_cast<HRESULT>(0x80080005L), "Server execution failed"},
        {"remote", static_cast<HRESULT>(0x800706BAL), "The RPC server is unavailable."},
    };
    for (const auto& failure : cases) {
        m_profile.SetRunning(std::strcmp(failure.pszCase, "stopped") != 0);
        OnOwnThread([&] {
            CVexilClient client;
            EXPECT_EQ(client.Attach(std::strcmp(failure.pszCase, "remote") == 0 ? L"FARAWAY" : nullptr), 0);
            EXPECT_FALSE(client.IsAttached());
            EXPECT_EQ(client.LastResult(), failure.hr) << failure.pszCase;
            EXPECT_STREQ(client.LastErrorText(), failure.pszText);
        });
    }
    EXPECT_TRUE(Calls().empty());
}

TEST(VexilClientRegistrationTest, UnregisteredRouterIsClassNotRegistered)
{
    CRouterProfile profile(ROUTER_SERVER, false);
    OnOwnThread([&] {
        CVexilClient client;
        EXPECT_EQ(client.Attach(), 0);
        EXPECT_EQ(client.LastResult(), static_cast<HRESULT>(0x80040154L));
        EXPECT_STREQ(client.LastErrorText(), "Class not registered");
    });
}

// A router registered as a server program, as the stand-in router of the Wine tests is: COM starts the program on
// demand, whatever the base service's state (its requests still need the service); a service's registration, where
// there is one, comes first.
TEST(VexilClientRegistrationTest, ServerProgramRegistrationAttachesWithoutStartingTheService)
{
    const std::string strKey = "[HKEY_CLASSES_ROOT\\CLSID\\{AD289653-B5C5-11D2-88BB-00C095ECACC1}\\LocalServer32]\r\n";
    const std::string strProgram = strKey + "@=\"C:\\\\Router\\\\VexilStandIn.exe C:\\\\Router\"\r\n\r\n";
    struct {
        const char* pszCase;
        std::string strRegistry;
        const char* pszState;
        HRESULT hr;
    } const cases[] = {
        {"program, service running", strProgram, "running", S_OK},
        {"program, service stopped", strProgram, "stopped", S_OK},
        {"service first", strProgram + CRouterProfile::Registration(), "stopped", static_cast<HRESULT>(0x80080005L)},
        {"no program named", strKey + "\r\n", "running", static_cast<HRESULT>(0x80040154L)},
    };
    for (const auto& registration : cases) {
        CServiceProfile profile(std::string("[Ravelind]\nType=0x10\nState=") + registration.pszState + "\n",
                                registration.strRegistry);
        profile.Profile().Write("baseservice.ini", ROUTER_SERVER);
        profile.Reload();
        OnOwnThread([&] {
            CVexilClient client;
            EXPECT_EQ(client.Attach(), registration.hr == S_OK ? 1 : 0) << registration.pszCase;
            EXPECT_EQ(client.LastResult(), registration.hr) << registration.pszCase;
            if (client.IsAttached()) {
                int nNumber = -1;
                bool bRunning = std::strcmp(registration.pszState, "running") == 0;
                EXPECT_EQ(client.GetServerCabinetNumber(&nNumber), bRunning) << registration.pszCase;
                EXPECT_EQ(nNumber, bRunning ? 3 : -1) << registration.pszCase;
                client.Detach();
            }
        });
        EXPECT_EQ(lab::win32::LiveComObjects(), 0) << registration.pszCase;
    }
}

TEST_F(VexilClientTest, BadHeadersAreRejectedWithoutACall)
{
    CTraceFile trace(m_profile.Profile().Scratch() + "/trace.txt", 1);
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        CommandHeader shortHeader = Header(0x230F);
        shortHeader.wHeaderSize = 40;
        CommandHeader otherSignature = Header(0x230F);
        otherSignature.szSignature[3] = 'X';
        EXPECT_FALSE(client.CmdRequest(&shortHeader, nullptr, nullptr));
        EXPECT_FALSE(client.CmdRequest(&otherSignature, nullptr, nullptr));
        EXPECT_EQ(client.LastResult(), HR_NOT_SENT);
        EXPECT_FALSE(client.CmdRequest(nullptr, nullptr, nullptr));
        EXPECT_EQ(trace.Take(), "\nCVexilClient        : ## ERROR in CmdRequest(): CmdHeader corrupt!"
                                "\nCVexilClient        : ## ERROR in CmdRequest(): CmdHeader corrupt!"
                                "\nCVexilClient        : ## ERROR in CmdRequest(): pCmdHeader = NULL!");
        client.Detach();

        // Detached, a good header is not sent either.
        CommandHeader header = Header(0x230F);
        EXPECT_FALSE(client.CmdRequest(&header, nullptr, nullptr));
        EXPECT_EQ(client.LastResult(), HR_NOT_SENT);
    });
    EXPECT_TRUE(Calls().empty());
}

TEST_F(VexilClientTest, CmdRequestTracesAndReturnsTheReply)
{
    CTraceFile trace(m_profile.Profile().Scratch() + "/trace.txt", 3);
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        trace.Take();
        CommandHeader header = Header(0x0C00, 0x0608, 7);
        header.wMIDHigh = 1;
        header.lStat = 22;
        SAFEARRAY* psaReply = nullptr;
        ASSERT_TRUE(client.CmdRequest(&header, nullptr, &psaReply));
        EXPECT_EQ(Text(psaReply), "QX100 S2");
        EXPECT_EQ(header.dwLen, 8u);
        EXPECT_EQ(header.lStat, 0);
        SafeArrayDestroy(psaReply);
        EXPECT_EQ(trace.Take(),
                  "\nCVexilClient        : CmdRequest() IN  CABID -001: OC 0x0C00-0x0608 OID 0x0007 MID 0x00000000 Stat 0x16 Len 0000"
                  "\nCVexilClient        : CmdRequest() OUT CABID -001: OC 0x0C00-0x0608 OID 0x0007 MID 0x00000000 Stat 0x00 Len 0008");
    });
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].method, "CmdRequest");
}

TEST_F(VexilClientTest, OlderRequestMethodsTakeTheFieldsOneByOne)
{
    m_profile.Service().SetMethodKnown("CmdRequest", false);
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        EXPECT_EQ(client.GetDispId(CVexilClient::METHOD_CMDREQUEST), DISPID_UNKNOWN);

        // The MID travels packed into one byte: the high part's two bits, the low part's six.
        CommandHeader header = Header(0x060B, 0, 0);
        header.wMIDHigh = 2;
        header.wMIDLow = 0x65;
        client.KeepMID();
        SAFEARRAY* psaReply = nullptr;
        ASSERT_TRUE(client.CmdRequest(&header, nullptr, &psaReply));
        EXPECT_EQ(header.wMIDHigh, 2);
        EXPECT_EQ(header.wMIDLow, 0x25);
        EXPECT_EQ(header.lStat, 7);  // this server knows no processor 0
        EXPECT_EQ(psaReply, nullptr);
        EXPECT_EQ(header.dwLen, 0u);

        m_profile.Service().SetMethodKnown("VCRequestEx", false);
        client.Detach();
        ASSERT_EQ(client.Attach(), 1);
        header = Header(0x0C00, 0x0108);
        ASSERT_TRUE(client.CmdRequest(&header, nullptr, &psaReply));
        EXPECT_EQ(Text(psaReply), "QX100 R");
        SafeArrayDestroy(psaReply);

        m_profile.Service().SetMethodKnown("VCRequest", false);
        client.Detach();
        ASSERT_EQ(client.Attach(), 1);
        header = Header(0x0C00, 0x0108);
        EXPECT_FALSE(client.CmdRequest(&header, nullptr, &psaReply));
        EXPECT_EQ(client.LastResult(), static_cast<HRESULT>(0x80010107L));
    });
    auto calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].method, "VCRequestEx");
    EXPECT_EQ(calls[0].code, 0x060Bu);
    EXPECT_EQ(calls[1].method, "VCRequest");
    EXPECT_EQ(calls[1].extension, 0x0108u);
}

TEST_F(VexilClientTest, BusyRepliesAreRetriedWithGrowingTimeouts)
{
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        m_profile.Service().SetBusy(2);
        CCommand command(0x230F, 0, 0, CABID_SERVER, 22);
        EXPECT_EQ(client.SendCommand(command, 5, 2, 10), 0u);
        EXPECT_STREQ(command.GetText(), "\x01");

        m_profile.Service().SetBusy(5);
        EXPECT_EQ(client.SendCommand(command, 0, 1, 3), CVexilClient::STATUS_BUSY);
    });
    auto calls = Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].timeout, 5);
    EXPECT_EQ(calls[1].timeout, 15);
    EXPECT_EQ(calls[2].timeout, 25);
    EXPECT_EQ(calls[3].timeout, 0);
    EXPECT_EQ(calls[4].timeout, 3);
}

// A reply header as a base service may send it: valid, status 0, but as long as it claims (48 to 65535
// bytes), the bytes past the usual 48 all 0xEE so that whatever is copied from them shows.
std::vector<uint8_t> LongReplyHeader(size_t cbHeader, DWORD dwCode, DWORD dwExtension, DWORD dwDataLength)
{
    CommandHeader header = Header(dwCode, dwExtension);
    header.wHeaderSize = static_cast<WORD>(cbHeader);
    header.dwLen = dwDataLength;
    header.wMIDLow = 0x11;
    std::vector<uint8_t> bytes(cbHeader, 0xEE);
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

// The reply's header is taken only as far as the caller's reaches, and the caller's header keeps its own size:
// a command object sent again (as the function test and the product check do) sends 48 bytes again instead of
// reading and writing as many as the last reply claimed.
TEST_F(VexilClientTest, LongReplyHeadersAreTakenOnlyAsFarAsTheCallersHeader)
{
    const size_t sizes[] = {48, 49, 64, 65535};
    for (size_t cbHeader : sizes) {
        SCOPED_TRACE(cbHeader);
        std::vector<lab::host::ScriptedReply> replies;
        for (int i = 0; i < 4; ++i) {
            lab::host::ScriptedReply reply;
            reply.data = {'Q', 'X', static_cast<uint8_t>('0' + i)};
            reply.header = LongReplyHeader(cbHeader, 0x0C00, 0x0608, 3);
            replies.push_back(reply);
        }
        m_profile.Service().Script(replies);
        const size_t cCallsBefore = Calls().size();
        OnOwnThread([&] {
            CVexilClient client;
            ASSERT_EQ(client.Attach(), 1);
            // One command object, sent twice.
            CCommand command(0x0C00, 0x0608, 0, CABID_SERVER, 0);
            EXPECT_EQ(client.SendCommand(command), 0u);
            EXPECT_STREQ(command.GetText(), "QX0");
            EXPECT_EQ(command.GetHeader()->wHeaderSize, COMMAND_HEADER_SIZE);
            EXPECT_EQ(command.GetHeader()->wMIDLow, 0x11);
            EXPECT_EQ(client.SendCommand(command), 0u);
            EXPECT_STREQ(command.GetText(), "QX1");
            EXPECT_EQ(command.GetHeader()->wHeaderSize, COMMAND_HEADER_SIZE);
            EXPECT_EQ(command.GetDataLength(), 3u);

            // One header of the caller's, sent twice: after the reply it still names its own 48 bytes, and
            // nothing past them was written (the guard after it keeps its pattern).
            struct {
                CommandHeader header;
                BYTE abGuard[64];
            } frame;
            std::memset(frame.abGuard, 0x5A, sizeof frame.abGuard);
            frame.header = Header(0x0C00, 0x0608);
            for (int i = 2; i < 4; ++i) {
                SAFEARRAY* psaReply = nullptr;
                ASSERT_TRUE(client.CmdRequest(&frame.header, nullptr, &psaReply));
                EXPECT_EQ(Text(psaReply), "QX" + std::to_string(i));
                SafeArrayDestroy(psaReply);
                EXPECT_EQ(frame.header.wHeaderSize, COMMAND_HEADER_SIZE);
                EXPECT_EQ(frame.header.lStat, 0);
                EXPECT_EQ(frame.header.dwLen, 3u);
                EXPECT_TRUE(IsValidCommandHeader(&frame.header));
            }
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame.abGuard), sizeof frame.abGuard),
                      std::string(sizeof frame.abGuard, '\x5A'));
        });
        // Every request went out with a header of 48 bytes, whatever the reply before it had.
        auto calls = Calls();
        ASSERT_EQ(calls.size(), cCallsBefore + 4);
        for (size_t i = cCallsBefore; i < calls.size(); ++i)
            EXPECT_EQ(calls[i].headerBytes, sizeof(CommandHeader)) << i;
    }
}

// A command object sent again carries the last reply's data as its request; the router hands its reply back in that
// same array, whatever its length, as the marshaller does between processes.
TEST_F(VexilClientTest, ReplyLongerThanTheRequestComesBackWhole)
{
    std::vector<lab::host::ScriptedReply> replies(2);
    replies[0].data = {1};
    replies[1].data.assign(36, 'g');
    m_profile.Service().Script(replies);
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        CCommand command(0xE001, 0x3810, 0, CABID_SERVER, 22);
        ASSERT_EQ(client.SendCommand(command), 0u);
        ASSERT_EQ(command.GetDataLength(), 1u);
        ASSERT_EQ(client.SendCommand(command), 0u);
        EXPECT_EQ(std::string(command.GetText()), std::string(36, 'g'));
    });
}

// The same from the profile alone: every reply of the base service has a header of 65535 bytes.
TEST(VexilClientLongHeaderProfileTest, EveryReplyWithALongHeader)
{
    CRouterProfile profile(std::string("[Router]\nReplyHeaderSize=65535\n") + ROUTER_SERVER);
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        CCommand command(0x0C00, 0x0608, 0, CABID_SERVER, 0);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(client.SendCommand(command), 0u);
            EXPECT_STREQ(command.GetText(), "QX100 S2");
            EXPECT_EQ(command.GetHeader()->wHeaderSize, COMMAND_HEADER_SIZE);
            command.Set(0x0C00, 0x0608, 0, CABID_SERVER, 0);
        }
        BYTE abReply[16] = {};
        DWORD cbReply = sizeof abReply;
        EXPECT_EQ(client.Request(abReply, &cbReply, 0x0C00, 0x0108, 0, 0), 0u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(abReply), cbReply), "QX100 R");
        int nNumber = -1;
        EXPECT_TRUE(client.GetServerCabinetNumber(&nNumber));
        EXPECT_EQ(nNumber, 3);
    });
    for (const lab::host::RouterCall& call : profile.Service().Calls())
        EXPECT_EQ(call.headerBytes, sizeof(CommandHeader));
    EXPECT_EQ(lab::win32::LiveComObjects(), 0);
}

TEST_F(VexilClientTest, OnlyTheAttachingThreadDetaches)
{
    CTraceFile trace(m_profile.Profile().Scratch() + "/trace.txt", 1);
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        const DWORD dwAttacher = GetCurrentThreadId();
        DWORD dwOther = 0;
        OnOwnThread([&] {
            dwOther = GetCurrentThreadId();
            // Another thread sends through the global interface table, but cannot detach.
            CCommand command(0x0C00, 0x0600, 0, CABID_SERVER, 0);
            EXPECT_EQ(client.SendCommand(command), 0u);
            EXPECT_STREQ(command.GetText(), "SN0001");
            client.Detach();
        });
        EXPECT_TRUE(client.IsAttached());
        EXPECT_EQ(trace.Take(), "\nCVexilClient        : WARNING! Attach was done using thread " +
                                    std::to_string(dwAttacher) + " current thread is " + std::to_string(dwOther) +
                                    "! RevokeInterfaceFromGlobal() skipped!");
        client.Detach();
        EXPECT_FALSE(client.IsAttached());
    });
}

TEST_F(VexilClientTest, CabinetNumberFallsBackToTheBaseService)
{
    OnOwnThread([&] {
        int nNumber = -1;
        CVexilClient detached;
        EXPECT_FALSE(detached.GetServerCabinetNumber(&nNumber));

        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        EXPECT_TRUE(client.GetServerCabinetNumber(&nNumber));
        EXPECT_EQ(nNumber, 3);
        client.Detach();

        m_profile.Service().SetCabinetProperty(false);
        ASSERT_EQ(client.Attach(), 1);
        nNumber = -1;
        EXPECT_TRUE(client.GetServerCabinetNumber(&nNumber));
        EXPECT_EQ(nNumber, 3);

        m_profile.Service().SetReplyStatus(0xE204, -1, 7);
        EXPECT_FALSE(client.GetServerCabinetNumber(&nNumber));
    });
    auto calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].code, 0xE204u);
    EXPECT_EQ(calls[0].timeout, 0);
}

TEST_F(VexilClientTest, RequestsAfterTheServiceStoppedFail)
{
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        m_profile.SetRunning(false);
        CCommand command(0x0C00, 0x0608, 0, CABID_SERVER, 0, "ab", 2);
        EXPECT_EQ(client.SendCommand(command), CVexilClient::STATUS_REQUEST_FAILED);
        EXPECT_EQ(command.GetStatus(), 6);
        EXPECT_STREQ(command.GetText(), "ab");  // what the command held stays
        EXPECT_EQ(client.LastResult(), static_cast<HRESULT>(0x800706BAL));

        BYTE abReply[4];
        DWORD cbReply = sizeof abReply;
        EXPECT_EQ(client.Request(abReply, &cbReply, 0x230F, 0, 0, 0), CVexilClient::STATUS_REQUEST_FAILED);
        EXPECT_EQ(cbReply, 0u);
    });
}

TEST_F(VexilClientTest, RequestCopiesWhatFitsAndTellsTheWholeLength)
{
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        BYTE abReply[4] = {};
        DWORD cbReply = 2;
        EXPECT_EQ(client.Request(abReply, &cbReply, 0x0C00, 0x0506, 0, 0), 0u);
        EXPECT_EQ(cbReply, 5u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(abReply), 3), std::string("4.\0", 3));
    });
}

TEST_F(VexilClientTest, CancelledClientSendsNothingMore)
{
    OnOwnThread([&] {
        CVexilClient client;
        ASSERT_EQ(client.Attach(), 1);
        EXPECT_TRUE(client.EnableCancelRequest(true));
        client.CancelRequests();
        CCommand command(0x230F, 0, 0, CABID_SERVER, 22);
        EXPECT_EQ(client.SendCommand(command), CVexilClient::STATUS_REQUEST_FAILED);
        EXPECT_EQ(client.InvokeEx(client.GetDispId(CVexilClient::METHOD_CMDREQUEST), DISPATCH_METHOD, nullptr, nullptr),
                  1818);
        EXPECT_TRUE(client.EnableCancelRequest(false));
        EXPECT_EQ(client.SendCommand(command), 0u);
    });
    EXPECT_EQ(Calls().size(), 1u);
}

TEST_F(VexilClientTest, CancellationNeedsTheSystemsFunctions)
{
    CTraceFile trace(m_profile.Profile().Scratch() + "/trace.txt", 4);
    lab::win32::SetFunctionMissing("ole32", "CoGetCancelObject", true);
    OnOwnThread([&] {
        CVexilClient client;
        trace.Take();
        EXPECT_FALSE(client.EnableCancelRequest(true));
        EXPECT_EQ(trace.Take(), "\nCVexilClient        : EnableCancelRequest() - pointers to cancel functions not "
                                "available (NT4?)");
    });
}

// A client that takes the router's commands, as a component that serves them would.
class CServingClient : public CVexilClient {
public:
    std::vector<std::string> m_Requests;

protected:
    CCommand* OnRequest(CCommand& request) override
    {
        char szLine[64];
        std::snprintf(szLine, sizeof szLine, "0x%04X-0x%04X %s", static_cast<unsigned>(request.GetHeader()->dwOC),
                      static_cast<unsigned>(request.GetHeader()->dwOCExt), request.GetText());
        m_Requests.push_back(szLine);
        return nullptr;
    }
};

TEST_F(VexilClientTest, EventsReachTheRequestHandler)
{
    OnOwnThread([&] {
        CServingClient client;
        client.EnableEvents(true);
        EXPECT_TRUE(client.IsAttached());
        EXPECT_EQ(client.LastResult(), S_OK);

        CommandHeader header = Header(0x1234, 0x0002);
        SAFEARRAY* psaHeader = SafeArrayCreateVector(VT_UI1, 0, sizeof header);
        std::memcpy(psaHeader->pvData, &header, sizeof header);
        SAFEARRAY* psaData = SafeArrayCreateVector(VT_UI1, 0, 2);
        std::memcpy(psaData->pvData, "hi", 2);
        VARIANT args[2];
        args[1].vt = VT_ARRAY | VT_UI1;
        args[1].parray = psaHeader;
        args[0].vt = VT_ARRAY | VT_UI1;
        args[0].parray = psaData;
        DISPPARAMS params = {args, nullptr, 2, 0};
        EXPECT_EQ(client.Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
        params.cArgs = 1;
        EXPECT_EQ(client.Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
                  DISP_E_BADPARAMCOUNT);
        EXPECT_EQ(client.Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
                  DISP_E_BADPARAMCOUNT);
        EXPECT_EQ(client.Invoke(3, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
                  DISP_E_PARAMNOTFOUND);
        EXPECT_EQ(client.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), E_NOTIMPL);
        EXPECT_EQ(client.Invoke(9, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
                  DISP_E_MEMBERNOTFOUND);
        VariantClear(&args[0]);
        VariantClear(&args[1]);
        EXPECT_EQ(client.m_Requests, std::vector<std::string>{"0x1234-0x0002 hi"});

        client.EnableEvents(false);
        EXPECT_FALSE(client.IsAttached());
    });
}

}  // namespace
