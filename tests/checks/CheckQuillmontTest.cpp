// The agent product step against the sample server and its variants: the base service's answers
// through the router, the agents' status MIB from the lab's snmpd.
#include "src/checks/CheckQuillmont.h"

#include "lab/host/Host.h"
#include "lab/win32/ServiceControl.h"
#include "tests/support/DefaultServer.h"
#include "tests/support/ReportText.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using testsupport::CDefaultServer;
using testsupport::DefaultProfileFile;
using testsupport::ElementText;
using testsupport::StartReport;

// The text with one piece replaced; the test fails when the piece is not there.
std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

class CheckQuillmontTest : public ::testing::Test {
protected:
    // Runs the check on a report holding only Root; its SNMPAgents element.
    std::string Run(DWORD dwExpected)
    {
        CDiagReport report{std::vector<DiagStep>{}};
        CXmlDocument& doc = report.m_Document;
        StartReport(doc);
        EXPECT_EQ(CheckQuillmont(report, doc), dwExpected);
        EXPECT_EQ(report.m_dwErrors + report.m_dwWarnings, 0u);
        EXPECT_TRUE(doc.CheckWellFormed());
        return Flat(ElementText(doc.GetText(), "SNMPAgents"));
    }

    // Markup without its line breaks and the indentation after them.
    static std::string Flat(const std::string& text)
    {
        std::string flat;
        bool bIndent = false;
        for (char c : text) {
            if (c == '\r' || c == '\n')
                bIndent = true;
            else if (!bIndent || (c != ' ' && c != '\t'))
                flat += c, bIndent = false;
        }
        return flat;
    }
};

const char PRODUCT_AND_SECURITY[] =
    "<SNMPAgents><ProductVersion>4.20.1187</ProductVersion>"
    "<Security><SetAllowed>yes</SetAllowed><AccountCheck>yes</AccountCheck>"
    "<UserGroup>Quillmont Administrators</UserGroup></Security>";
const char SYSTEM_WARNING[] = "<System><Status Description=\"warning\">2</Status></System>";

std::string Component(const std::string& name, int nStatus, const char* pszDescription)
{
    return "<Component Name=\"" + name + "\"><Status Description=\"" + pszDescription + "\">" +
           std::to_string(nStatus) + "</Status></Component>";
}

const std::string DEFAULT_SUBSYSTEMS =
    "<Subsystem Name=\"Environment\">" + Component("FAN1 SYS", 1, "ok") + Component("FAN2 SYS", 2, "degraded") +
    Component("FAN3 SYS", 1, "ok") + Component("Ambient", 1, "ok") + Component("CPU1", 1, "ok") +
    "</Subsystem><Subsystem Name=\"System Board\">" + Component("BATT 3.0V", 1, "ok") +
    Component("12V", 1, "ok") + Component("3.3V", 1, "ok") + "</Subsystem><Subsystem Name=\"Mass Storage\">" +
    Component("Controller 0", 1, "ok") + Component("Disk 0", 1, "ok") + "</Subsystem>";

TEST_F(CheckQuillmontTest, TheSampleServerWithItsTraceLines)
{
    CDefaultServer server;
    CTraceFile trace(server.Profile().Scratch() + "/trace.log", 4);
    EXPECT_EQ(Run(STEP_OK), PRODUCT_AND_SECURITY + std::string("<StatusTree>") + SYSTEM_WARNING +
                                DEFAULT_SUBSYSTEMS + "</StatusTree></SNMPAgents>");
    // At this level every line carries the time and the process before its text.
    const std::string lines = trace.Take(), exit = "Triagist            : <- CheckQuillmont()";
    size_t at = lines.find("Triagist            : -> CheckQuillmont()");
    ASSERT_NE(at, std::string::npos) << lines;
    EXPECT_EQ(lines.find(exit, at), lines.size() - exit.size()) << lines;
    EXPECT_EQ(lines.find("EXCEPTION"), std::string::npos);
}

TEST_F(CheckQuillmontTest, WithoutTheAgentProductNothingIsWritten)
{
    CDefaultServer server("[-HKEY_CLASSES_ROOT\\Installer\\Products\\63C67D8C9375D984FB30E9853B8FC990]\r\n");
    EXPECT_EQ(Run(STEP_FINDINGS), "<SNMPAgents/>");
}

TEST_F(CheckQuillmontTest, WithoutTheSnmpServiceTheBaseServiceIsStillAsked)
{
    CDefaultServer server;
    std::string services = DefaultProfileFile("services.ini");
    size_t at = services.find("[SNMP]");
    ASSERT_NE(at, std::string::npos);
    services.erase(at, services.find("\n[", at + 1) + 1 - at);
    server.Write("services.ini", services);
    EXPECT_EQ(Run(STEP_FINDINGS),
              PRODUCT_AND_SECURITY + std::string("<StatusTree>") + SYSTEM_WARNING + "</StatusTree></SNMPAgents>");
}

TEST_F(CheckQuillmontTest, AStoppedBaseServiceLeavesSecurityEmptyAndNoSystem)
{
    CDefaultServer server;
    lab::win32::ChangeService("Ravelind", [](lab::host::ServiceEntry& entry) {
        entry.state = lab::host::svc::kStopped;
    });
    EXPECT_EQ(Run(STEP_OK), "<SNMPAgents><ProductVersion>4.20.1187</ProductVersion><Security/><StatusTree>" +
                                DEFAULT_SUBSYSTEMS + "</StatusTree></SNMPAgents>");
}

TEST_F(CheckQuillmontTest, AnUnansweringAgentLeavesNoSubsystems)
{
    CDefaultServer server("", "[SNMP]\nSilent=yes\n");
    EXPECT_EQ(Run(STEP_OK),
              PRODUCT_AND_SECURITY + std::string("<StatusTree>") + SYSTEM_WARNING + "</StatusTree></SNMPAgents>");
}

// The lab's scripted agent serves what snmpd serves, then misbehaves as lab.ini says.
TEST_F(CheckQuillmontTest, AScriptedAgentTellsTheSameTree)
{
    CDefaultServer server("", "[SNMP]\nAgent=scripted\n");
    EXPECT_EQ(Run(STEP_OK), PRODUCT_AND_SECURITY + std::string("<StatusTree>") + SYSTEM_WARNING + DEFAULT_SUBSYSTEMS +
                                "</StatusTree></SNMPAgents>");
}

TEST_F(CheckQuillmontTest, AnAgentThatDoesNotAdvanceEndsTheWalk)
{
    CDefaultServer server("", "[SNMP]\nAgent=scripted\nNotAdvancing=yes\n");
    CTraceFile trace(server.Profile().Scratch() + "/trace.log", 1);
    EXPECT_EQ(Run(STEP_OK),
              PRODUCT_AND_SECURITY + std::string("<StatusTree>") + SYSTEM_WARNING + "</StatusTree></SNMPAgents>");
    const std::string lines = trace.Take();
    EXPECT_NE(lines.find("CSnmpMgr            : ## ERROR: OID [0] does not advance: "
                         "1.3.6.1.4.1.99999.2.10.2.11.3.1.1.6, walk stopped"),
              std::string::npos)
        << lines;
}

// Each request is answered after the delay, in lab time: within the session's tries it counts.
TEST_F(CheckQuillmontTest, ASlowAgentCountsUntilItsAnswersComeAfterEveryTry)
{
    CDefaultServer slow("", "[SNMP]\nAgent=scripted\nDelay=3000\n");
    uint64_t before = lab::host::Host::Instance().TheClock().TickMs();
    EXPECT_EQ(Run(STEP_OK), PRODUCT_AND_SECURITY + std::string("<StatusTree>") + SYSTEM_WARNING + DEFAULT_SUBSYSTEMS +
                                "</StatusTree></SNMPAgents>");
    EXPECT_GE(lab::host::Host::Instance().TheClock().TickMs() - before, 3000u * 4);

    CDefaultServer late("", "[SNMP]\nAgent=scripted\nDelay=8000\n");
    EXPECT_EQ(Run(STEP_OK),
              PRODUCT_AND_SECURITY + std::string("<StatusTree>") + SYSTEM_WARNING + "</StatusTree></SNMPAgents>");
}

// Numbers as text and text as numbers: names the check cannot read, no component lists.
TEST_F(CheckQuillmontTest, ValuesOfTheWrongTypeAreNotTakenForWhatTheyAreNot)
{
    const std::string mismatch = "<Subsystem Name=\"&lt;&lt;GetString type mismatch&gt;&gt;\"/>";
    CDefaultServer swapped("", "[SNMP]\nAgent=scripted\nWrongTypes=yes\n");
    EXPECT_EQ(Run(STEP_OK), PRODUCT_AND_SECURITY + std::string("<StatusTree>") + SYSTEM_WARNING + mismatch + mismatch +
                                mismatch + "</StatusTree></SNMPAgents>");
    CDefaultServer nulls("", "[SNMP]\nAgent=scripted\nWrongTypes=null\n");
    EXPECT_EQ(Run(STEP_OK), PRODUCT_AND_SECURITY + std::string("<StatusTree>") + SYSTEM_WARNING + mismatch + mismatch +
                                mismatch + "</StatusTree></SNMPAgents>");
}

TEST_F(CheckQuillmontTest, SecurityBytesAndAFailingSystemStatus)
{
    CDefaultServer server;
    std::string service = Replaced(DefaultProfileFile("baseservice.ini"), "SetAllowed=1", "SetAllowed=2");
    service = Replaced(service, "AccountCheck=1", "AccountCheck=0");
    service = Replaced(service, "[Router]\n", "[Router]\nReply=0x230F|7\nReply=0xE001-0x3813|7\n");
    server.Write("baseservice.ini", service);
    std::string agents = Run(STEP_OK);
    EXPECT_EQ(ElementText(agents, "Security"), "<Security><SetAllowed>no</SetAllowed><AccountCheck>no</AccountCheck></Security>");
    EXPECT_EQ(ElementText(agents, "System"), "<System><Value Description=\"unknown\">0</Value></System>");
}

TEST_F(CheckQuillmontTest, TheCommandsAndWhatTheirRepliesMean)
{
    CDefaultServer server;
    lab::host::BaseService& service = lab::host::Host::Instance().TheBaseService();
    // Security answers without data, and a system status with none: "no", "no", "", and 0.
    service.Script({{0, {}, {}}, {0, {2, 1}, {}}, {0, {}, {}}, {0, {}, {}}});
    std::string agents = Run(STEP_OK);
    EXPECT_EQ(ElementText(agents, "Security"),
              "<Security><SetAllowed>no</SetAllowed><AccountCheck>no</AccountCheck><UserGroup/></Security>");
    EXPECT_EQ(ElementText(agents, "System"), "<System><Status Description=\"n/a\">0</Status></System>");
    std::string sent;
    for (const lab::host::RouterCall& call : service.Calls()) {
        char szCall[64];
        std::snprintf(szCall, sizeof szCall, "%s %04X-%04X %u %d\n", call.method.c_str(), call.code, call.extension,
                      call.objectId, call.timeout);
        sent += szCall;
    }
    EXPECT_EQ(sent, "CmdRequest E001-3810 0 0\nCmdRequest E001-3812 0 0\nCmdRequest E001-3813 0 0\n"
                    "CmdRequest 230F-0000 0 0\n");
}

TEST_F(CheckQuillmontTest, SystemStatusWords)
{
    CDefaultServer server;
    const std::string service = DefaultProfileFile("baseservice.ini");
    const struct {
        const char* pszValue;
        const char* pszExpected;
    } cases[] = {{"1", "<Status Description=\"OK\">1</Status>"},
                 {"3", "<Status Description=\"error\">3</Status>"},
                 {"4", "<Status Description=\"n/a\">4</Status>"},
                 {"0", "<Status Description=\"n/a\">0</Status>"}};
    for (const auto& c : cases) {
        server.Write("baseservice.ini", Replaced(service, "SystemStatus=2", std::string("SystemStatus=") + c.pszValue));
        EXPECT_EQ(ElementText(Run(STEP_OK), "Status"), c.pszExpected) << c.pszValue;
    }
}

// One subsystem whose list names identifiers in its own order, with gaps, strangers and every status.
TEST_F(CheckQuillmontTest, TheComponentListDecidesWhatIsWrittenAndInWhichOrder)
{
    CDefaultServer server;
    std::string service = DefaultProfileFile("baseservice.ini");
    size_t at = service.find("[Subsystem]");
    service.insert(at, "[Subsystem]\n"
                       "Name=Power\n"
                       "Description=Power supplies\n"
                       "ComponentList=  PSU2 nowhere  PSU1 PSU0  PSU5 PSU4 PSU3 PSU6 PSU7 PSU8 PSU9 PSU1\n"
                       "Component=3|no|PSU 0|Power supply 0|PSU0\n"
                       "Component=2|no|PSU 1|Power supply 1|PSU1\n"
                       "Component=4|no|PSU 2|Power supply 2|PSU2\n"
                       "Component=5|no|PSU 3|Power supply 3|PSU3\n"
                       "Component=0|no|PSU 4|Power supply 4|PSU4\n"
                       "Component=9|no|PSU 5|Power supply 5|PSU5\n"
                       "Component=1|no|PSU 6|Power supply 6|PSU6\n"
                       "Component=1|no|PSU 7|Power supply 7|PSU7\n"
                       "Component=1|no|PSU 8|Power supply 8|PSU8\n"
                       "Component=1|no|PSU 9|Power supply 9|PSU9\n\n"
                       "[StatusMib]\n"
                       "StatusType=PSU6|string\n"
                       "StatusType=PSU7|gauge\n"
                       "StatusType=PSU8|counter\n\n");
    server.Write("baseservice.ini", service);
    std::string power = ElementText(Run(STEP_OK), "Subsystem");
    EXPECT_EQ(power, "<Subsystem Name=\"Power\">" + Component("PSU 2", 4, "failed") + Component("PSU 1", 2, "degraded") +
                         Component("PSU 0", 3, "error") + Component("PSU 5", 9, "unknown") +
                         Component("PSU 7", 1, "ok") + Component("PSU 8", 1, "ok") + Component("PSU 9", 1, "ok") +
                         Component("PSU 1", 2, "degraded") + "</Subsystem>");
}

TEST_F(CheckQuillmontTest, ValuesTooLongForTheirBuffersCountAsEmpty)
{
    CDefaultServer server;
    const std::string longId(260, 'L');
    std::string service = DefaultProfileFile("baseservice.ini");
    size_t at = service.find("[Subsystem]");
    service.insert(at, "[Subsystem]\nName=Long list\nComponentList=X1" + std::string(518, ' ') + "X1\n"
                       "Component=1|no|Listed far out|-|X1\n\n"
                       "[Subsystem]\nName=Long name\nComponentList=X2 " + longId + "\n"
                       "Component=1|no|Short one|-|X2\n"
                       "Component=1|no|Long one|-|" + longId + "\n\n");
    server.Write("baseservice.ini", service);
    std::string agents = Run(STEP_OK);
    EXPECT_EQ(ElementText(agents, "Subsystem"), "<Subsystem Name=\"Long list\"/>");
    at = agents.find("<Subsystem Name=\"Long name\">");
    ASSERT_NE(at, std::string::npos) << agents;
    EXPECT_EQ(ElementText(agents.substr(at), "Subsystem"),
              "<Subsystem Name=\"Long name\">" + Component("Short one", 1, "ok") + "</Subsystem>");
}

}  // namespace
