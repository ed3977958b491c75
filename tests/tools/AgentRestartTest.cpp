// The agent restart on lab hosts: the order of stops and starts, the questions, the texts and the result.
#include "src/tools/AgentRestart.h"

#include "lab/win32/ServiceControl.h"
#include "lab/win32/UserControl.h"
#include "src/tools/console/ConsoleRestart.h"
#include "tests/support/DefaultServer.h"
#include "tests/support/ServiceProfile.h"
#include "tests/support/TraceFile.h"
#include "tests/tools/ConsoleRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using lab::host::Host;
using lab::host::ServiceEntry;

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// Two services with a dependent each, nothing shared between them; SNMP has a second dependent.
const char kTwoTrees[] =
    "[SNMP]\nDisplayName=SNMP Service\nState=running\nAccept=0x1\n"
    "[Ravelind]\nDisplayName=Quillmont Ravelin Base Service\nState=running\nAccept=0x1\n"
    "[Trap]\nDisplayName=SNMP Trap\nDependOnService=SNMP\nState=running\nAccept=0x1\n"
    "[Agent]\nDisplayName=Quillmont Agent\nDependOnService=SNMP\nState=running\nAccept=0x1\n"
    "[Storage]\nDisplayName=Quillmont Storage\nDependOnService=Ravelind\nState=running\nAccept=0x1\n";

// Everything the restart told its window, in order; the questions are answered from a queue (Yes
// when it is empty).
class CRecordingView : public IRestartView {
public:
    HWND Owner() const override { return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234)); }
    void EnableRunControls(bool bEnable) override
    {
        Record(bEnable ? "enable" : "disable");
        if (bEnable) {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bEnded = true;
            m_Ended.notify_all();
        }
    }
    void ShowStatus(const std::string& strText) override { Record("status " + strText); }
    void SetProgress(int nPosition) override { Record("progress " + std::to_string(nPosition)); }
    void StartProgressTimer() override { Record("timer on"); }
    void StopProgressTimer() override { Record("timer off"); }
    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override
    {
        char szStyle[16];
        std::snprintf(szStyle, sizeof szStyle, "0x%X", uStyle);
        Record("ask " + std::string(szStyle) + " [" + strCaption + "] " + strText);
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Answers.empty())
            return IDYES;
        int nAnswer = m_Answers.front();
        m_Answers.pop_front();
        return nAnswer;
    }

    void Answer(std::initializer_list<int> answers) { m_Answers.insert(m_Answers.end(), answers); }
    // The events that begin with prefix.
    Lines Events(const std::string& prefix) const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        Lines selected;
        for (const std::string& event : m_Events)
            if (event.rfind(prefix, 0) == 0)
                selected.push_back(event);
        return selected;
    }
    Lines All() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Events;
    }
    bool WaitForEnd()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Ended.wait_for(lock, 20s, [&] { return m_bEnded; });
    }

private:
    void Record(const std::string& strEvent)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Events.push_back(strEvent);
    }

    mutable std::mutex m_Mutex;
    std::condition_variable m_Ended;
    bool m_bEnded = false;
    Lines m_Events;
    std::deque<int> m_Answers;
};

// The service calls the manager took since the last call, without their results.
Lines ServiceCalls()
{
    Lines calls;
    for (const std::string& entry : Host::Instance().Journal()) {
        if (entry.rfind("StartServiceA", 0) == 0 || entry.rfind("ControlService", 0) == 0)
            calls.push_back(entry.substr(0, entry.find(" -> ")));
    }
    Host::Instance().ClearJournal();
    return calls;
}

Lines MessageBoxes()
{
    Lines boxes;
    for (const std::string& entry : Host::Instance().Journal())
        if (entry.rfind("MessageBoxA", 0) == 0)
            boxes.push_back(entry);
    return boxes;
}

DWORD State(const char* pszService)
{
    ServiceEntry entry;
    return Host::Instance().Services().Find(pszService, entry) ? entry.state : 0;
}

uint32_t Starts(const char* pszService)
{
    ServiceEntry entry;
    return Host::Instance().Services().Find(pszService, entry) ? entry.starts : 0;
}

void Change(const char* pszService, const std::function<void(ServiceEntry&)>& change)
{
    ASSERT_TRUE(lab::win32::ChangeService(pszService, change)) << pszService;
}

class AgentRestartTest : public ::testing::Test {
protected:
    void UseDefaultServer()
    {
        m_pServices.reset();
        m_pServer.reset(new testsupport::CDefaultServer());
        Host::Instance().ClearJournal();
    }
    void UseServices(const std::string& strServices)
    {
        m_pServer.reset();
        m_pServices.reset(new CServiceProfile(strServices));
        Host::Instance().ClearJournal();
    }
    void TearDown() override { SetThreadLocale(1033); }

    std::unique_ptr<testsupport::CDefaultServer> m_pServer;
    std::unique_ptr<CServiceProfile> m_pServices;
    CWindowlessRestartView m_windowless;
};

}  // namespace

// ------------------------------------------------------------------ the sample server

TEST_F(AgentRestartTest, FullRestartStopsEachDependentBeforeItsServiceAndStartsInReverse)
{
    UseDefaultServer();
    ASSERT_EQ(State("QmFarlink"), SERVICE_RUNNING);
    CAgentRestart restart(m_windowless);
    EXPECT_EQ(restart.RestartAgents(1, 1, 1, 1), 1u);

    // The agent depends on both services: it goes first, and the manager brings SNMP up with it.
    EXPECT_EQ(ServiceCalls(), (Lines{"ControlService QmFarlink 1", "ControlService SNMP 1",
                                     "ControlService Ravelind 1", "StartServiceA Ravelind \"/RESCAN\"",
                                     "StartServiceA QmFarlink"}));
    for (const char* pszService : {"SNMP", "Ravelind", "QmFarlink", "Gorrel", "EventLog"})
        EXPECT_EQ(State(pszService), SERVICE_RUNNING) << pszService;
    EXPECT_EQ(lab::win32::ServiceStartArguments("Ravelind"), (std::vector<Lines>{{"/RESCAN"}}));
    EXPECT_EQ(State("SNMPTRAP"), SERVICE_STOPPED);  // not a dependent: left as it was
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(AgentRestartTest, WindowSeesEveryStepAndIsAskedAboutTheAgent)
{
    UseDefaultServer();
    CRecordingView view;
    EXPECT_EQ(CAgentRestart(view).RestartAgents(1, 1, 0, 1), 1u);

    EXPECT_EQ(view.Events("ask"),
              Lines{"ask 0x34 [Service dependencies found!] \"Quillmont Farlink\" service depends on \"SNMP Service\" "
                    "service and has to be stopped first!"});
    EXPECT_EQ(view.Events("status"),
              (Lines{"status Stopping service \"Quillmont Farlink\"...", "status \"Quillmont Farlink\" service stopped!",
                     "status Stopping service \"SNMP Service\"...", "status \"SNMP Service\" service stopped!",
                     "status Stopping service \"Quillmont Ravelin Base Service\"...",
                     "status \"Quillmont Ravelin Base Service\" service stopped!",
                     "status Start service \"Quillmont Ravelin Base Service\" ...",
                     "status \"Quillmont Ravelin Base Service\" service started.",
                     "status Start service \"Quillmont Farlink\" ...", "status \"Quillmont Farlink\" service started.",
                     "status Start service \"SNMP Service\" ...", "status \"SNMP Service\" service started.",
                     "status Restart services completed successfully!"}));
    Lines all = view.All();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all.front(), "disable");
    EXPECT_EQ(all.back(), "enable");
    // Each operation runs the bar from 0 with the timer, and the run leaves it full.
    EXPECT_EQ(view.Events("timer on").size(), 6u);
    EXPECT_EQ(view.Events("timer off").size(), 6u);
    EXPECT_EQ(view.Events("progress 0").size(), 6u);
    EXPECT_EQ(all[all.size() - 3], "progress 100");
    // Without rescan the base service gets no arguments.
    EXPECT_EQ(lab::win32::ServiceStartArguments("Ravelind"), (std::vector<Lines>{{}}));
}

TEST_F(AgentRestartTest, SnmpOnlyLeavesTheBaseServiceAlone)
{
    UseDefaultServer();
    uint32_t uRavelindStarts = Starts("Ravelind");
    EXPECT_EQ(CAgentRestart(m_windowless).RestartAgents(1, 1, 1, 0), 1u);
    EXPECT_EQ(ServiceCalls(), (Lines{"ControlService QmFarlink 1", "ControlService SNMP 1", "StartServiceA SNMP",
                                     "StartServiceA QmFarlink"}));
    EXPECT_EQ(Starts("Ravelind"), uRavelindStarts);
    EXPECT_TRUE(lab::win32::ServiceStartArguments("Ravelind").empty());
    EXPECT_EQ(State("QmFarlink"), SERVICE_RUNNING);
}

TEST_F(AgentRestartTest, StopOnlyOrStartOnlyRequests)
{
    UseDefaultServer();
    EXPECT_EQ(CAgentRestart(m_windowless).RestartAgents(1, 0, 1, 1), 1u);
    EXPECT_EQ(State("SNMP"), SERVICE_STOPPED);
    EXPECT_EQ(State("Ravelind"), SERVICE_STOPPED);
    ServiceCalls();
    // Starting takes a stop first: alone it does nothing.
    EXPECT_EQ(CAgentRestart(m_windowless).RestartAgents(0, 1, 1, 1), 1u);
    EXPECT_TRUE(ServiceCalls().empty());
    EXPECT_EQ(State("Ravelind"), SERVICE_STOPPED);
}

// ------------------------------------------------------------------ questions and failures

TEST_F(AgentRestartTest, DeclinedDependentKeepsItsServiceRunningAndWhatWasStoppedStartsAgain)
{
    UseServices(kTwoTrees);
    CRecordingView view;
    view.Answer({IDNO, IDYES});
    EXPECT_EQ(CAgentRestart(view).RestartAgents(1, 1, 1, 1), 0u);

    // The manager lists the dependents in the reverse of their start order: Agent, then Trap.
    EXPECT_EQ(view.Events("ask"),
              (Lines{"ask 0x34 [Service dependencies found!] \"Quillmont Agent\" service depends on \"SNMP Service\" "
                     "service and has to be stopped first!",
                     "ask 0x34 [Service dependencies found!] \"SNMP Trap\" service depends on \"SNMP Service\" service "
                     "and has to be stopped first!"}));
    EXPECT_EQ(ServiceCalls(), (Lines{"ControlService Trap 1", "StartServiceA Trap"}));
    EXPECT_EQ(State("Trap"), SERVICE_RUNNING);  // not left down by the failed run
    EXPECT_EQ(State("Agent"), SERVICE_RUNNING);
    EXPECT_EQ(State("SNMP"), SERVICE_RUNNING);
    EXPECT_EQ(State("Ravelind"), SERVICE_RUNNING);
    EXPECT_EQ(view.Events("status").back(), "status Restart services failed! The stopped services were started again.");
    EXPECT_EQ(view.All().back(), "enable");
}

TEST_F(AgentRestartTest, WithoutWindowDependentsStopWithoutQuestion)
{
    UseServices(kTwoTrees);
    lab::win32::QueueMessageBoxAnswers({IDNO, IDNO, IDNO});
    EXPECT_EQ(CAgentRestart(m_windowless).RestartAgents(1, 1, 0, 1), 1u);
    EXPECT_EQ(lab::win32::PendingMessageBoxAnswers(), 3u);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(ServiceCalls(), (Lines{"ControlService Agent 1", "ControlService Trap 1", "ControlService SNMP 1",
                                     "ControlService Storage 1", "ControlService Ravelind 1", "StartServiceA Ravelind",
                                     "StartServiceA Storage", "StartServiceA SNMP", "StartServiceA Trap",
                                     "StartServiceA Agent"}));
}

TEST_F(AgentRestartTest, FailedStartOfSnmpAfterTheBaseServiceFailsTheRun)
{
    UseServices(kTwoTrees);
    Change("SNMP", [](ServiceEntry& e) { e.startError = 1069; });  // the service could not log on
    CRecordingView view;
    EXPECT_EQ(CAgentRestart(view).RestartAgents(1, 1, 1, 1), 0u);
    EXPECT_EQ(State("Ravelind"), SERVICE_RUNNING);
    EXPECT_EQ(State("Storage"), SERVICE_RUNNING);
    EXPECT_EQ(State("SNMP"), SERVICE_STOPPED);
    EXPECT_EQ(State("Trap"), SERVICE_STOPPED);  // dependents of a failed start are not tried
    EXPECT_EQ(lab::win32::ServiceStartArguments("Ravelind"), (std::vector<Lines>{{"/RESCAN"}}));
    Lines asks = view.Events("ask 0x10");
    EXPECT_EQ(asks, Lines{"ask 0x10 [Error starting service!] Start service \"SNMP Service\" failed!"});
    EXPECT_EQ(view.Events("status").back(), "status Restart services failed!");
}

TEST_F(AgentRestartTest, FailedStopStartsAgainOnlyWhatTheRestartStopped)
{
    UseServices(kTwoTrees);
    Change("Ravelind", [](ServiceEntry& e) { e.controlsAccepted = 0; });
    CRecordingView view;
    EXPECT_EQ(CAgentRestart(view).RestartAgents(1, 1, 1, 1), 0u);
    EXPECT_EQ(view.Events("ask 0x10"),
              Lines{"ask 0x10 [Error stopping service!] Stop service \"Quillmont Ravelin Base Service\" failed!"});
    // The reverse of the stops: each service after what it needs; Ravelind was never stopped.
    EXPECT_EQ(ServiceCalls(), (Lines{"ControlService Agent 1", "ControlService Trap 1", "ControlService SNMP 1",
                                     "ControlService Storage 1", "StartServiceA Storage", "StartServiceA SNMP",
                                     "StartServiceA Trap", "StartServiceA Agent"}));
    EXPECT_EQ(State("SNMP"), SERVICE_RUNNING);
    EXPECT_EQ(State("Trap"), SERVICE_RUNNING);
    EXPECT_EQ(State("Ravelind"), SERVICE_RUNNING);
    EXPECT_EQ(view.Events("status").back(), "status Restart services failed! The stopped services were started again.");
}

TEST_F(AgentRestartTest, AFailedStartOfTheBaseServiceBringsBackWhatCanRunAndSaysSo)
{
    UseServices(kTwoTrees);
    Change("Ravelind", [](ServiceEntry& e) { e.startError = 1069; });
    CRecordingView view;
    CTraceFile trace(m_pServices->Profile().Scratch() + "/trace.log", 2);
    EXPECT_EQ(CAgentRestart(view).RestartAgents(1, 1, 1, 1), 0u);
    std::string strTrace = trace.Take();
    EXPECT_EQ(State("SNMP"), SERVICE_RUNNING);
    EXPECT_EQ(State("Trap"), SERVICE_RUNNING);
    EXPECT_EQ(State("Agent"), SERVICE_RUNNING);
    EXPECT_EQ(State("Storage"), SERVICE_STOPPED);  // it needs the base service
    Lines statuses = view.Events("status");
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "status Restart failed: starting the stopped services again ..."),
              statuses.end());
    EXPECT_EQ(statuses.back(), "status Restart services failed!");
    EXPECT_NE(strTrace.find("\nCAgentRestart       : Restart failed, starting the services it stopped again"),
              std::string::npos) << strTrace;
    EXPECT_NE(strTrace.find("\nCAgentRestart       : \"SNMP\" started again"), std::string::npos);
    EXPECT_NE(strTrace.find("\nCAgentRestart       : ERROR! \"Storage\" could not be started again"), std::string::npos);
}

TEST_F(AgentRestartTest, MissingServicesAndManagerCountAsDone)
{
    UseServices("");
    CRecordingView view;
    EXPECT_EQ(CAgentRestart(view).RestartAgents(1, 1, 1, 1), 1u);
    EXPECT_EQ(view.Events("status"), Lines{"status Restart services completed successfully!"});

    // Without the base service, a full restart restarts SNMP alone.
    UseServices("[SNMP]\nDisplayName=SNMP Service\nState=running\nAccept=0x1\n");
    EXPECT_EQ(CAgentRestart(m_windowless).RestartAgents(1, 1, 1, 1), 1u);
    EXPECT_EQ(ServiceCalls(), (Lines{"ControlService SNMP 1", "StartServiceA SNMP"}));

    lab::win32::SetServiceManagerDenied(SC_MANAGER_ALL_ACCESS);
    EXPECT_EQ(CAgentRestart(m_windowless).RestartAgents(1, 1, 1, 1), 1u);
    EXPECT_TRUE(ServiceCalls().empty());
    lab::win32::SetServiceManagerDenied(0);
}

// ------------------------------------------------------------------ language and the worker

TEST_F(AgentRestartTest, WorkerSpeaksTheConstructingThreadsLanguage)
{
    UseServices(kTwoTrees);
    CRecordingView view;
    SetThreadLocale(1031);
    CAgentRestart restart(view);
    SetThreadLocale(1033);
    ASSERT_TRUE(restart.StartRestart(0, 0));
    ASSERT_TRUE(view.WaitForEnd());
    EXPECT_EQ(restart.Worker().Handle(), nullptr);

    // German has no dependency question: it comes in English.
    Lines asks = view.Events("ask");
    ASSERT_EQ(asks.size(), 2u);
    EXPECT_EQ(asks[0], "ask 0x34 [Service dependencies found!] \"Quillmont Agent\" service depends on \"SNMP Service\" "
                       "service and has to be stopped first!");
    Lines statuses = view.Events("status");
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses[0], "status Beende Dienst: \"Quillmont Agent\" ...");
    EXPECT_EQ(statuses[1], "status Quillmont Agent Dienst beendet!");
    EXPECT_EQ(statuses.back(), "status Der Neustart der Dienste wurde erfolgreich durchgef\xFChrt!");
    // SNMP only: the base service was left alone.
    EXPECT_EQ(State("Ravelind"), SERVICE_RUNNING);
    EXPECT_EQ(Starts("Ravelind"), 0u);
}

// ------------------------------------------------------------------ the console

TEST_F(AgentRestartTest, ConsoleWritesTheStatusLinesAndAsksThroughMessageBoxes)
{
    UseServices(kTwoTrees);
    lab::win32::QueueMessageBoxAnswers({IDYES, IDNO});
    // Declining a dependent fails the run; what it had stopped runs again.
    auto [nEnd, strText] = RunConsole(RunConsoleRestart, "restart\n");
    EXPECT_EQ(nEnd, 2);
    EXPECT_EQ(strText, "Stopping service \"Quillmont Agent\"...\n\"Quillmont Agent\" service stopped!\n"
                       "Restart failed: starting the stopped services again ...\n"
                       "Start service \"Quillmont Agent\" ...\n\"Quillmont Agent\" service started.\n"
                       "Restart services failed! The stopped services were started again.\n");
    EXPECT_EQ(State("Agent"), SERVICE_RUNNING);
    Lines boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "MessageBoxA owner=0x0 style=0x34 caption=\"Service dependencies found!\" text=\"\"SNMP Trap\" "
                        "service depends on \"SNMP Service\" service and has to be stopped first!\" -> 7");
}

TEST_F(AgentRestartTest, TheConsoleEndsAtTheEndOfInputWithoutRestartingAndTakesTheOptions)
{
    UseServices(kTwoTrees);
    EXPECT_EQ(RunConsole(RunConsoleRestart, ""), std::make_pair(2, std::string()));
    EXPECT_TRUE(ServiceCalls().empty());

    auto [nEnd, strText] = RunConsole(RunConsoleRestart, "snmponly on\nrescan off\nbogus\nrestart\nexit\nrestart\n");
    EXPECT_EQ(nEnd, 2);
    EXPECT_EQ(strText.find("restart | rescan on|off | snmponly on|off | agents | exit\n"), 0u) << strText;
    EXPECT_EQ(Starts("Ravelind"), 0u);  // SNMP only, and one restart: input after exit is not read
    EXPECT_EQ(Starts("SNMP"), 1u);
}

// ------------------------------------------------------------------ dependency cycles and long chains

// services.ini may hold what the real manager would refuse: each tree walk enters a service once,
// traces the cycle and goes on to the end.
TEST_F(AgentRestartTest, DependencyCyclesAreWalkedOnceAndTraced)
{
    const struct {
        const char* pszServices;
        const char* pszCycle;
    } cases[] = {
        {"[SNMP]\nDependOnService=Echo\nState=running\nAccept=0x1\n"
         "[Ravelind]\nState=running\nAccept=0x1\n"
         "[Echo]\nDependOnService=SNMP\nState=running\nAccept=0x1\n",
         "\"SNMP\" depends on \"Echo\", skipped"},
        {"[SNMP]\nState=running\nAccept=0x1\n"
         "[Ravelind]\nDependOnService=Mirror\nState=running\nAccept=0x1\n"
         "[Mirror]\nDependOnService=Ravelind\nState=running\nAccept=0x1\n",
         "\"Ravelind\" depends on \"Mirror\", skipped"},
    };
    for (const auto& c : cases) {
        UseServices(c.pszServices);
        CTraceFile trace(m_pServices->Profile().Scratch() + "/trace.log", 1);
        // The manager refuses to stop a service whose dependents run: the run fails, but it ends.
        EXPECT_EQ(CAgentRestart(m_windowless).RestartAgents(1, 1, 0, 1), 0u) << c.pszServices;
        std::string strTrace = trace.Take();
        EXPECT_NE(strTrace.find("CAgentRestart       : WARNING! Dependency cycle: " + std::string(c.pszCycle)),
                  std::string::npos)
            << strTrace;
    }
}

TEST_F(AgentRestartTest, ALongChainOfDependentsStopsAndStartsInOrder)
{
    std::string strServices = "[SNMP]\nState=running\nAccept=0x1\n[Ravelind]\nState=running\nAccept=0x1\n";
    Lines stops, starts = {"StartServiceA Ravelind", "StartServiceA SNMP"};
    for (int i = 1; i <= 60; ++i) {
        std::string strName = "Link" + std::to_string(i);
        std::string strDependency = i == 1 ? std::string("SNMP") : "Link" + std::to_string(i - 1);
        strServices += "[" + strName + "]\nDependOnService=" + strDependency + "\nState=running\nAccept=0x1\n";
        stops.insert(stops.begin(), "ControlService " + strName + " 1");
        starts.push_back("StartServiceA " + strName);
    }
    UseServices(strServices);
    EXPECT_EQ(CAgentRestart(m_windowless).RestartAgents(1, 1, 0, 1), 1u);
    stops.push_back("ControlService SNMP 1");
    stops.push_back("ControlService Ravelind 1");
    stops.insert(stops.end(), starts.begin(), starts.end());
    EXPECT_EQ(ServiceCalls(), stops);
}

