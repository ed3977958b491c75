// CServiceMgr on a lab host: results, waits on the lab clock, the locked-database retry, dependents and traces.
#include "src/sysaccess/ServiceMgr.h"

#include "lab/win32/ServiceControl.h"
#include "lab/win32/UserControl.h"
#include "src/trace/FileDebug.h"
#include "tests/support/ServiceProfile.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using lab::host::Host;
using lab::host::ServiceEntry;

namespace {

// Base has two dependents that know nothing of each other; the platform lists them Right, Left.
const char kServices[] =
    "[Base]\nDisplayName=Base Service\nType=0x10\nState=running\nAccept=0x1\nWaitHint=3000\nStartTime=3000\n"
    "[Left]\nDisplayName=Left Dependent\nDependOnService=Base\nState=running\n"
    "[Right]\nDisplayName=Right Dependent\nDependOnService=Base\nState=running\n"
    "[Driver]\nType=0x1\nState=running\n"
    "[Paused]\nState=paused\nAccept=0x3\n"
    "[Rigid]\nState=running\nAccept=0x0\n"
    "[Doomed]\nMarkedForDelete=1\nState=running\n";

const char kTracing[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\Triagist]\r\n\"WinDebugLevel\"=dword:00000003\r\n";

std::string Line(const std::string& text)
{
    return "CServiceMgr         : " + text;
}

using Lines = std::vector<std::string>;

// The services' profile, with the program's trace going to the debugger output at level 3.
class ServiceMgrTest : public ::testing::Test {
protected:
    void Use(const std::string& services = kServices, const std::string& labIni = "")
    {
        m_pLab.reset();
        m_pLab.reset(new CServiceProfile(services, kTracing, labIni));
        g_FileDebug.Init("Triagist", FALSE);
        Traces();
        Host::Instance().ClearJournal();
    }
    void SetUp() override { Use(); }
    void TearDown() override
    {
        HKEY hKey = nullptr;
        DWORD dwOff = 0;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug\\Triagist", 0, KEY_SET_VALUE, &hKey) == ERROR_SUCCESS) {
            RegSetValueExA(hKey, "WinDebugLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwOff), sizeof dwOff);
            RegCloseKey(hKey);
        }
        g_FileDebug.Init("Triagist", FALSE);
    }

    // The trace lines since the last call, without their line feeds.
    static Lines Traces()
    {
        Lines lines;
        for (std::string text : Host::Instance().TakeDebugOutput()) {
            if (!text.empty() && text.back() == '\n')
                text.pop_back();
            lines.push_back(text);
        }
        return lines;
    }
    // The journal's service calls (or message boxes) since the last call.
    static Lines Calls(const std::string& prefix = "")
    {
        Lines calls;
        for (const std::string& entry : Host::Instance().Journal()) {
            bool bService = entry.rfind("StartServiceA", 0) == 0 || entry.rfind("ControlService", 0) == 0;
            if (prefix.empty() ? bService : entry.rfind(prefix, 0) == 0)
                calls.push_back(entry);
        }
        Host::Instance().ClearJournal();
        return calls;
    }
    static DWORD State(const char* pszName)
    {
        ServiceEntry entry;
        return Host::Instance().Services().Find(pszName, entry) ? entry.state : 0;
    }
    static void Change(const char* pszName, const std::function<void(ServiceEntry&)>& change)
    {
        ASSERT_TRUE(lab::win32::ChangeService(pszName, change)) << pszName;
    }

    std::unique_ptr<CServiceProfile> m_pLab;
};

// An object opened on the local database with every right, as the checks open it.
struct Opened {
    explicit Opened(HWND hOwner = CServiceMgr::NeverAsk()) : mgr(hOwner)
    {
        dwOpen = mgr.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        Host::Instance().TakeDebugOutput();
    }
    CServiceMgr mgr;
    DWORD dwOpen;
};

}  // namespace

// ------------------------------------------------------------------ the database handle

TEST_F(ServiceMgrTest, OpenCloseAndReopenAreTraced)
{
    CServiceMgr mgr(CServiceMgr::NeverAsk());
    EXPECT_EQ(mgr.Open(nullptr, nullptr, SC_MANAGER_CONNECT), 0u);
    Lines traces = Traces();
    ASSERT_EQ(traces.size(), 2u);
    EXPECT_EQ(traces[0], Line("Open service control manager database \"default\" at \"local system\"..."));
    EXPECT_EQ(traces[1].rfind(Line("... open service control manager database returned handle 0x"), 0), 0u);

    // A second open, as the restart does with more rights, replaces the first handle.
    EXPECT_EQ(mgr.Open(nullptr, "ServicesActive", SC_MANAGER_ALL_ACCESS), 0u);
    traces = Traces();
    ASSERT_EQ(traces.size(), 3u);
    EXPECT_EQ(traces[0], Line("Service control manager database successfully closed!"));
    EXPECT_EQ(traces[1], Line("Open service control manager database \"ServicesActive\" at \"local system\"..."));

    EXPECT_EQ(mgr.Close(), 0u);
    EXPECT_EQ(mgr.Close(), 0u);
    EXPECT_EQ(Traces(), Lines{Line("Service control manager database successfully closed!")});

    EXPECT_EQ(mgr.Open("\\\\ELSEWHERE", nullptr, SC_MANAGER_CONNECT), 1722u);
    EXPECT_EQ(Traces(), (Lines{Line("Open service control manager database \"default\" at \"\\\\ELSEWHERE\"..."),
                              Line("ERROR 0x6BA! Could NOT open service control manager database \"default\" at "
                                   "\"\\\\ELSEWHERE\"!!")}));
    lab::win32::SetServiceManagerDenied(SC_MANAGER_ALL_ACCESS);
    EXPECT_EQ(mgr.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), 5u);
    lab::win32::SetServiceManagerDenied(0);
}

TEST_F(ServiceMgrTest, EveryOperationNeedsAnOpenDatabase)
{
    CServiceMgr mgr(CServiceMgr::NeverAsk());
    DWORD dwState = 77;
    EXPECT_EQ(mgr.QueryStatus("Base", &dwState), 0xFFFFFFFFu);
    EXPECT_EQ(dwState, 77u);
    EXPECT_TRUE(Traces().empty());

    EXPECT_FALSE(mgr.IsInstalled("Base"));
    EXPECT_STREQ(mgr.GetDisplayName("Base"), "");
    EXPECT_EQ(Traces(), (Lines{Line("ERROR! Service control manager not opened!"),
                              Line("ERROR! Service control manager not opened!")}));
    EXPECT_EQ(mgr.GetDependentServices("Base", SERVICE_ACTIVE).GetCount(), 0u);

    EXPECT_EQ(mgr.StartService("Base", 0, nullptr, FALSE, 1000), 6u);
    EXPECT_EQ(mgr.StopService("Base", FALSE, 1000), 6u);
    EXPECT_EQ(Traces(), (Lines{Line("Try to start \"Base\" service ..."), Line("Stop service \"Base\"")}));
    EXPECT_EQ(mgr.StopService(nullptr, FALSE, 1000), 160u);
    EXPECT_TRUE(Traces().empty());
    EXPECT_EQ(mgr.Close(), 0u);
    EXPECT_TRUE(Traces().empty());
}

// ------------------------------------------------------------------ queries

TEST_F(ServiceMgrTest, QueryStatusGivesTheStateOrTheOpensError)
{
    Opened opened;
    ASSERT_EQ(opened.dwOpen, 0u);
    DWORD dwState = 99;
    EXPECT_EQ(opened.mgr.QueryStatus("Base", &dwState), 0u);
    EXPECT_EQ(dwState, 4u);
    EXPECT_EQ(Traces(), (Lines{Line("QueryServiceStatus service Base"),
                              Line("QueryServiceStatus service Base Status: 4 (RetCode 0x0)")}));
    EXPECT_EQ(opened.mgr.QueryStatus("Paused", &dwState), 0u);
    EXPECT_EQ(dwState, 7u);

    EXPECT_EQ(opened.mgr.QueryStatus("Nowhere", &dwState), 1060u);
    EXPECT_EQ(dwState, 0u);
    EXPECT_EQ(opened.mgr.QueryStatus("Doomed", &dwState), 1072u);
    EXPECT_EQ(dwState, 0u);
    Traces();
    Change("Rigid", [](ServiceEntry& e) { e.deniedAccess = SERVICE_QUERY_STATUS; });
    EXPECT_EQ(opened.mgr.QueryStatus("Rigid", &dwState), 5u);
    EXPECT_EQ(Traces(), Lines{Line("QueryServiceStatus service Rigid")});
}

TEST_F(ServiceMgrTest, IsInstalledReadsTheWholeConfigurationAndTheStatus)
{
    // A binary path longer than the first buffer makes the configuration ask for more.
    Use(std::string(kServices) + "[Long]\nBinaryPath=C:\\" + std::string(1500, 'x') + ".exe\nState=stopped\n");
    Opened opened;
    EXPECT_TRUE(opened.mgr.IsInstalled("Base"));
    EXPECT_TRUE(opened.mgr.IsInstalled("Long"));
    EXPECT_EQ(Traces(), (Lines{Line("QueryServiceConfig for Base OK"), Line("QueryServiceConfig for Long OK")}));

    EXPECT_FALSE(opened.mgr.IsInstalled("Nowhere"));
    EXPECT_FALSE(opened.mgr.IsInstalled("Doomed"));
    EXPECT_EQ(Traces(), (Lines{Line("WARNING! OpenService() \"Nowhere\" failed (ErrorCode 0x424)!"),
                              Line("WARNING! OpenService() \"Doomed\" failed (ErrorCode 0x430)!")}));

    Change("Rigid", [](ServiceEntry& e) { e.deniedAccess = SERVICE_QUERY_CONFIG; });
    EXPECT_FALSE(opened.mgr.IsInstalled("Rigid"));
    lab::win32::SetServiceDatabaseLocked(1);  // the status query that follows the configuration fails
    EXPECT_FALSE(opened.mgr.IsInstalled("Base"));
}

TEST_F(ServiceMgrTest, DisplayNamesAndServiceTypes)
{
    Use(std::string(kServices) + "[Long]\nType=0x20\nBinaryPath=C:\\" + std::string(1500, 'x') + ".exe\n");
    Opened opened;
    LPCSTR pszFirst = opened.mgr.GetDisplayName("Base");
    EXPECT_STREQ(pszFirst, "Base Service");
    EXPECT_STREQ(opened.mgr.GetDisplayName("Nowhere"), "");
    EXPECT_EQ(opened.mgr.GetDisplayName("Left"), pszFirst);  // one buffer for every call
    EXPECT_STREQ(pszFirst, "Left Dependent");
    EXPECT_EQ(Traces(), Lines{Line("WARNING! OpenService() \"Nowhere\" failed (ErrorCode 0x424)!")});

    SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    for (auto expected : {std::make_pair("Driver", 0x1u), std::make_pair("Base", 0x10u), std::make_pair("Long", 0x20u)}) {
        SC_HANDLE hService = OpenServiceA(hManager, expected.first, SERVICE_QUERY_CONFIG);
        EXPECT_EQ(opened.mgr.GetServiceType(hService), expected.second) << expected.first;
        CloseServiceHandle(hService);
    }
    SC_HANDLE hNoConfig = OpenServiceA(hManager, "Base", SERVICE_QUERY_STATUS);
    EXPECT_EQ(opened.mgr.GetServiceType(hNoConfig), 0u);
    CloseServiceHandle(hNoConfig);
    CloseServiceHandle(hManager);
}

TEST_F(ServiceMgrTest, DependentsKeepThePlatformsOrder)
{
    Opened opened;
    CDependentServiceList active = opened.mgr.GetDependentServices("Base", SERVICE_ACTIVE);
    ASSERT_EQ(active.GetCount(), 2u);
    EXPECT_STREQ(active.GetEntry(0).lpServiceName, "Right");
    EXPECT_STREQ(active.GetEntry(0).lpDisplayName, "Right Dependent");
    EXPECT_STREQ(active.GetEntry(1).lpServiceName, "Left");
    EXPECT_EQ(active.GetEntry(1).ServiceStatus.dwCurrentState, 4u);

    CDependentServiceList moved = std::move(active);  // the names move with their entries
    EXPECT_STREQ(moved.GetEntry(1).lpDisplayName, "Left Dependent");
    EXPECT_EQ(active.GetCount(), 0u);

    EXPECT_EQ(opened.mgr.GetDependentServices("Base", SERVICE_INACTIVE).GetCount(), 0u);
    EXPECT_EQ(opened.mgr.GetDependentServices("Driver", SERVICE_ACTIVE).GetCount(), 0u);
    EXPECT_EQ(opened.mgr.GetDependentServices("Nowhere", SERVICE_ACTIVE).GetCount(), 0u);
}

// ------------------------------------------------------------------ starting

TEST_F(ServiceMgrTest, StartWaitsWithTheServicesOwnWaitHint)
{
    Change("Base", [](ServiceEntry& e) { e.state = SERVICE_STOPPED; });
    Opened opened;
    uint64_t start = CServiceProfile::Now();
    EXPECT_EQ(opened.mgr.StartService("Base", 0, nullptr, FALSE, 30000), 0u);
    EXPECT_EQ(CServiceProfile::Now() - start, 4000u);  // 1000 before the first poll, then the hint of 3000
    EXPECT_EQ(Traces(), (Lines{Line("Try to start \"Base\" service ..."), Line("Current state 1 (!= SERVICE_RUNNING)"),
                              Line("Wait hint 0 mseconds"), Line("Sleep 1000 mseconds ..."),
                              Line("Wait hint 3000 mseconds"), Line("Sleep 3000 mseconds ..."),
                              Line("OK! Service started!"),
                              Line(".. start of service \"Base\" completed (RetCode 0x0)!")}));
    EXPECT_EQ(State("Base"), 4u);
}

TEST_F(ServiceMgrTest, WaitHintsAreClampedToOneToTenSeconds)
{
    Opened opened;
    for (auto expected : {std::make_pair(0u, 1000u), std::make_pair(999u, 1000u), std::make_pair(2500u, 2500u),
                          std::make_pair(10001u, 10000u), std::make_pair(60000u, 10000u)}) {
        uint64_t start = CServiceProfile::Now();
        opened.mgr.WaitHint(expected.first);
        EXPECT_EQ(CServiceProfile::Now() - start, expected.second) << expected.first;
        EXPECT_EQ(Traces(), (Lines{Line("Wait hint " + std::to_string(expected.first) + " mseconds"),
                                  Line("Sleep " + std::to_string(expected.second) + " mseconds ...")}));
    }
}

TEST_F(ServiceMgrTest, AStartThatHangsTimesOutAfterTheNextWaitHint)
{
    Change("Base", [](ServiceEntry& e) {
        e.state = SERVICE_STOPPED;
        e.bStartHangs = true;
    });
    Opened opened;
    uint64_t start = CServiceProfile::Now();
    // Polls at 1 s and 4 s; the 3-second hint after the second poll overruns the 5-second time-out.
    EXPECT_EQ(opened.mgr.StartService("Base", 0, nullptr, FALSE, 5000), 1053u);
    EXPECT_EQ(CServiceProfile::Now() - start, 7000u);
    Lines traces = Traces();
    ASSERT_GE(traces.size(), 2u);
    EXPECT_EQ(traces[traces.size() - 2], Line("ERROR! Timeout after 7 seconds!"));
    EXPECT_EQ(traces.back(), Line(".. start of service \"Base\" completed (RetCode 0x41D)!"));
    EXPECT_EQ(State("Base"), 2u);  // left as it is
}

TEST_F(ServiceMgrTest, AFailedStartGivesItsErrorCode)
{
    Use(std::string(kServices) + "[Fails]\nStartError=1069\n[Exits]\nExitCode=1066\nStartTime=500\n"
                                 "[Off]\nStart=disabled\n");
    Opened opened;
    EXPECT_EQ(opened.mgr.StartService("Fails", 0, nullptr, FALSE, 30000), 1069u);
    EXPECT_EQ(Traces().back(), Line(".. start of service \"Fails\" completed (RetCode 0x42D)!"));
    EXPECT_EQ(opened.mgr.StartService("Exits", 0, nullptr, FALSE, 30000), 1066u);
    Lines traces = Traces();
    EXPECT_EQ(traces[traces.size() - 2], Line("OK! Service started!"));  // it left the pending state
    EXPECT_EQ(opened.mgr.StartService("Off", 0, nullptr, FALSE, 30000), 1058u);
    EXPECT_EQ(opened.mgr.StartService("Nowhere", 0, nullptr, FALSE, 30000), 1060u);
    EXPECT_EQ(opened.mgr.StartService("Paused", 0, nullptr, FALSE, 30000), 1056u);  // not running, not startable
    EXPECT_EQ(opened.mgr.StartService(nullptr, 0, nullptr, FALSE, 30000), 160u);
}

TEST_F(ServiceMgrTest, ARunningServiceIsNotStartedAgainButItsStoppedDependentsAre)
{
    Change("Left", [](ServiceEntry& e) { e.state = SERVICE_STOPPED; });
    Change("Right", [](ServiceEntry& e) { e.state = SERVICE_STOPPED; });
    Opened opened;
    EXPECT_EQ(opened.mgr.StartService("Base", 0, nullptr, FALSE, 30000), 0u);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(Traces(), (Lines{Line("Try to start \"Base\" service ..."),
                              Line(".. start of service \"Base\" completed (RetCode 0x0)!")}));

    LPCSTR args[] = {"/RESCAN"};
    EXPECT_EQ(opened.mgr.StartService("Base", 1, args, TRUE, 30000), 0u);
    // Listed Right, Left: started from the last entry to the first, with the same arguments.
    EXPECT_EQ(Calls(), (Lines{"StartServiceA Left \"/RESCAN\" -> 0", "StartServiceA Right \"/RESCAN\" -> 0"}));
    EXPECT_EQ(State("Left"), 4u);
    EXPECT_EQ(State("Right"), 4u);
}

TEST_F(ServiceMgrTest, AStoppedServiceStartsBeforeItsDependents)
{
    for (const char* pszName : {"Left", "Right", "Base"})
        Change(pszName, [](ServiceEntry& e) { e.state = SERVICE_STOPPED; });
    Change("Right", [](ServiceEntry& e) { e.startError = 1069; });  // does not spoil the result
    Opened opened;
    LPCSTR args[] = {"-x", "y"};
    EXPECT_EQ(opened.mgr.StartService("Base", 2, args, TRUE, 30000), 0u);
    EXPECT_EQ(Calls(), (Lines{"StartServiceA Base \"-x\" \"y\" -> 0", "StartServiceA Left \"-x\" \"y\" -> 0",
                              "StartServiceA Right \"-x\" \"y\" -> 1069"}));
    EXPECT_EQ(lab::win32::ServiceStartArguments("Base"), (std::vector<std::vector<std::string>>{{"-x", "y"}}));
}

// ------------------------------------------------------------------ stopping

TEST_F(ServiceMgrTest, NoStopIsSentToAStoppedServiceOrOneThatTakesNone)
{
    Change("Base", [](ServiceEntry& e) { e.state = SERVICE_STOPPED; });
    Opened opened;
    uint64_t start = CServiceProfile::Now();
    EXPECT_EQ(opened.mgr.StopService("Base", FALSE, 30000), 0u);
    EXPECT_EQ(CServiceProfile::Now(), start);
    EXPECT_EQ(Traces(), (Lines{Line("Stop service \"Base\""), Line("Current state: 1: (stopped)"),
                              Line("Stop service \"Base\" (RetCode 0x0)")}));

    EXPECT_EQ(opened.mgr.StopService("Rigid", FALSE, 30000), 1052u);
    EXPECT_EQ(Traces(), (Lines{Line("Stop service \"Rigid\""), Line("Current state: 4: (running)"),
                              Line("Stop service \"Rigid\" (RetCode 0x41C)")}));
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(State("Rigid"), 4u);
}

TEST_F(ServiceMgrTest, ADriverSettlesThreeSecondsAProcessFive)
{
    Opened opened;
    uint64_t start = CServiceProfile::Now();
    EXPECT_EQ(opened.mgr.StopService("Driver", FALSE, 30000), 0u);
    EXPECT_EQ(CServiceProfile::Now() - start, 4000u);
    EXPECT_EQ(Traces(), (Lines{Line("Stop service \"Driver\""), Line("Current state: 4: (running)"),
                              Line("Service (type 0x1) accepts STOP control - try to stop service now ..."),
                              Line("Wait hint 0 mseconds"), Line("Sleep 1000 mseconds ..."),
                              Line("OK! Service signaled status \"stopped\"!"),
                              Line("Waiting additional 3 seconds to unload driver or exit process ..."),
                              Line(".. assume that handles are closed now!"),
                              Line("Stop service \"Driver\" (RetCode 0x0)")}));

    Change("Paused", [](ServiceEntry& e) {
        e.stopMs = 2500;
        e.waitHint = 2000;
    });
    start = CServiceProfile::Now();
    EXPECT_EQ(opened.mgr.StopService("Paused", FALSE, 30000), 0u);
    EXPECT_EQ(CServiceProfile::Now() - start, 2000u + 2000u + 5000u);  // the hint, one more poll, the settle time
    Lines traces = Traces();
    ASSERT_GE(traces.size(), 3u);
    EXPECT_EQ(traces[1], Line("Current state: 7: (paused)"));
    EXPECT_EQ(traces[2], Line("Service (type 0x10) accepts STOP control - try to stop service now ..."));
    EXPECT_EQ(State("Paused"), 1u);
}

TEST_F(ServiceMgrTest, AStopThatCannotFinishReportsWhy)
{
    Opened opened;
    // Dependents still run: the control itself fails.
    EXPECT_EQ(opened.mgr.StopService("Base", FALSE, 30000), 1051u);
    Lines traces = Traces();
    ASSERT_EQ(traces.size(), 5u);
    EXPECT_EQ(traces[3], Line("ERROR 0x41B! ControlService FAILED!"));

    Change("Driver", [](ServiceEntry& e) {
        e.bStopHangs = true;
        e.waitHint = 4000;
    });
    uint64_t start = CServiceProfile::Now();
    EXPECT_EQ(opened.mgr.StopService("Driver", FALSE, 6000), 1053u);
    EXPECT_EQ(CServiceProfile::Now() - start, 4000u + 4000u);
    traces = Traces();
    EXPECT_EQ(traces[traces.size() - 2], Line("ERROR! Timeout after 8 seconds!"));
    EXPECT_EQ(State("Driver"), 3u);
}

TEST_F(ServiceMgrTest, DependentsStopFirstInThePlatformsOrder)
{
    Opened opened;
    EXPECT_EQ(opened.mgr.StopService("Base", TRUE, 30000), 0u);
    EXPECT_EQ(Calls(), (Lines{"ControlService Right 1 -> 0", "ControlService Left 1 -> 0", "ControlService Base 1 -> 0"}));
    for (const char* pszName : {"Base", "Left", "Right"})
        EXPECT_EQ(State(pszName), 1u) << pszName;
}

// The platform's list holds the dependents' dependents too: one pass, whatever cycle the table holds.
TEST_F(ServiceMgrTest, ADependencyCycleIsWalkedOnce)
{
    Use("[Base]\nDependOnService=Echo\nState=running\nAccept=0x1\n"
        "[Echo]\nDependOnService=Base\nState=running\nAccept=0x1\n");
    Opened opened;
    EXPECT_EQ(opened.mgr.StopService("Base", TRUE, 30000), 1051u);
    EXPECT_EQ(Calls(), (Lines{"ControlService Echo 1 -> 1051", "ControlService Base 1 -> 1051"}));
    Change("Base", [](ServiceEntry& e) { e.state = 1; });
    Change("Echo", [](ServiceEntry& e) { e.state = 1; });
    EXPECT_EQ(opened.mgr.StartService("Base", 0, nullptr, TRUE, 30000), 1068u);
}

// ------------------------------------------------------------------ the locked database

TEST_F(ServiceMgrTest, WithoutAnOwnerALockedDatabaseIsGivenUpAfterTenAttempts)
{
    Use(kServices, "[Services]\nLocked=always\n");
    Opened opened;
    DWORD dwState = 5;
    uint64_t start = CServiceProfile::Now();
    EXPECT_EQ(opened.mgr.QueryStatus("Base", &dwState), 1055u);
    EXPECT_EQ(CServiceProfile::Now() - start, 20000u);
    EXPECT_EQ(dwState, 0u);
    EXPECT_EQ(Traces().back(), Line("QueryServiceStatus service Base Status: 0 (RetCode 0x41F)"));

    start = CServiceProfile::Now();
    EXPECT_EQ(opened.mgr.StartService("Base", 0, nullptr, FALSE, 30000), 1055u);
    EXPECT_EQ(opened.mgr.StopService("Base", FALSE, 30000), 1055u);
    EXPECT_EQ(CServiceProfile::Now() - start, 40000u);
    EXPECT_TRUE(Calls("MessageBoxA").empty());
}

TEST_F(ServiceMgrTest, WithAnOwnerTheQuestionDecidesRetryThenCancel)
{
    Use(kServices, "[Services]\nLocked=always\n");
    Opened opened(nullptr);
    lab::win32::QueueMessageBoxAnswers({IDRETRY, IDCANCEL});
    uint64_t start = CServiceProfile::Now();
    EXPECT_EQ(opened.mgr.StopService("Base", FALSE, 30000), 1055u);
    EXPECT_EQ(CServiceProfile::Now() - start, 40000u);
    const std::string question = "MessageBoxA owner=0x0 style=0x35 caption=\"Stop service 'Base Service' failed!\" "
                                 "text=\"The service database is locked! Close all(!) applications and press Retry!\"";
    EXPECT_EQ(Calls("MessageBoxA"), (Lines{question + " -> 4", question + " -> 2"}));

    lab::win32::QueueMessageBoxAnswers({IDCANCEL, IDCANCEL});
    EXPECT_EQ(opened.mgr.StartService("Left", 0, nullptr, FALSE, 30000), 1055u);
    DWORD dwState = 0;
    EXPECT_EQ(opened.mgr.QueryStatus("Driver", &dwState), 1055u);
    Lines asked = Calls("MessageBoxA");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[0].find("caption=\"Start service 'Left Dependent' failed!\""), std::string::npos);
    EXPECT_NE(asked[1].find("caption=\"Query service 'Driver' failed!\""), std::string::npos);

    // A service without a display name is named by its key; the owner is the one given.
    Opened owned(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x42)));
    lab::win32::QueueMessageBoxAnswers({IDCANCEL});
    EXPECT_EQ(owned.mgr.AskRetryLocked("Start", "NoSuch", nullptr), IDCANCEL);
    asked = Calls("MessageBoxA");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].find("MessageBoxA owner=0x42 style=0x35 caption=\"Start service 'NoSuch' failed!\""), 0u);
}

TEST_F(ServiceMgrTest, RetryStartsTheCountAgainAndAShortLockPassesUnasked)
{
    Use(kServices, "[Services]\nLocked=12\n");
    Opened opened(nullptr);
    lab::win32::QueueMessageBoxAnswers({IDRETRY});
    DWORD dwState = 0;
    uint64_t start = CServiceProfile::Now();
    EXPECT_EQ(opened.mgr.QueryStatus("Base", &dwState), 0u);
    EXPECT_EQ(dwState, 4u);
    EXPECT_EQ(CServiceProfile::Now() - start, 24000u);
    EXPECT_EQ(Calls("MessageBoxA").size(), 1u);

    lab::win32::SetServiceDatabaseLocked(3);
    start = CServiceProfile::Now();
    EXPECT_EQ(opened.mgr.StopService("Driver", FALSE, 30000), 0u);
    EXPECT_EQ(CServiceProfile::Now() - start, 6000u + 1000u + 3000u);
    EXPECT_TRUE(Calls("MessageBoxA").empty());
}
