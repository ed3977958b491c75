// The SNMP steps: the configuration subtree with its five findings, and the live request test.
#include "src/checks/CheckSnmp.h"

#include "lab/win32/LibraryControl.h"
#include "tests/support/ReportText.h"
#include "tests/support/SnmpHost.h"
#include "tests/support/TestText.h"
#include "tests/support/TraceFile.h"
#include "tests/support/XmlParser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using testsupport::CSnmpHost;
using testsupport::ElementText;
using testsupport::RegDword;
using testsupport::RegLine;
using testsupport::SnmpKey;
using testsupport::StartReport;

const std::string COMMUNITIES = SnmpKey("ValidCommunities", RegLine("public", RegDword(4)) +
                                                               RegLine("Ruzavidaza", RegDword(8)) +
                                                               RegLine("legacy", "\"text\"") +
                                                               RegLine("odd", "hex:01,02"));
const std::string MANAGERS = SnmpKey("PermittedManagers", RegLine("1", "\"10.0.0.9\"") + RegLine("2", "\"localhost\""));
const std::string TRAPS = SnmpKey("TrapConfiguration", "") +
                          SnmpKey("TrapConfiguration\\public", RegLine("1", "\"10.0.0.9\"") +
                                                                   RegLine("2", "\"nms.example\"")) +
                          SnmpKey("TrapConfiguration\\silent", "");
// A native agent with an expandable path, one in the 32-bit view only, one whose key is missing,
// and one named by a single component.
const std::string AGENTS =
    SnmpKey("ExtensionAgents", RegLine("1", "\"SOFTWARE\\\\Brennock\\\\ServerAgent\\\\CurrentVersion\"") +
                                   RegLine("2", "\"SOFTWARE\\\\Brennock\\\\StorageAgent\\\\CurrentVersion\"") +
                                   RegLine("3", "\"SOFTWARE\\\\Gone\\\\CurrentVersion\"") +
                                   RegLine("4", "\"SOFTWARE\"")) +
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\ServerAgent\\CurrentVersion]\r\n"
    "\"Pathname\"=hex(2):25,00,41,00,47,00,45,00,4e,00,54,00,53,00,25,00,5c,00,53,00,72,00,76,00,2e,00,64,00,"
    "6c,00,6c,00,00,00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Brennock\\StorageAgent\\CurrentVersion]\r\n"
    "\"Pathname\"=\"C:\\\\Agents\\\\Sto.dll\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\UUID\\C3681B60-0D26-11D3-8319-00A0C9B61E25]\r\n"
    "\"Quillmont SNMP Agents\"=\"SOFTWARE\\\\Brennock\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\#Status]\r\n\"ServerAgent\"=\"OK\"\r\n\r\n";
const char LAB[] = "[Environment]\nAGENTS=C:\\Agents\n[FileTimes]\nC:\\Agents\\Srv.dll=2026-01-05 11:12:13\n";

class CheckSnmpTest : public ::testing::Test {
protected:
    void TearDown() override { lab::win32::ResetLibrarySwitches(); }

    void Host(const std::string& strParameters, const char* pszState = "running", const std::string& strRegistry = "")
    {
        m_pHost = std::make_unique<CSnmpHost>(strParameters, strRegistry, pszState, LAB);
        m_pHost->Profile().PlaceFixture("OneTranslation.dll", "Agents/Srv.dll");
    }

    // Both steps on a report holding only Root: their results, then the document's text.
    DWORD Run(DWORD (*pfnStep)(CDiagReport&, CXmlDocument&))
    {
        DWORD dwResult = pfnStep(m_report, m_report.m_Document);
        EXPECT_TRUE(m_report.m_Document.CheckWellFormed());
        m_strText = m_report.m_Document.GetText();
        return dwResult;
    }
    void Start() { StartReport(m_report.m_Document); }
    std::string Errors() const { return ElementText(m_strText, "Errors"); }
    std::string Warnings() const { return ElementText(m_strText, "Warnings"); }

    std::unique_ptr<CSnmpHost> m_pHost;
    CDiagReport m_report{std::vector<DiagStep>{}};
    std::string m_strText;
};

TEST_F(CheckSnmpTest, ConfigurationOfAWellSetUpService)
{
    Host(COMMUNITIES + MANAGERS + TRAPS + AGENTS);
    Start();
    EXPECT_EQ(Run(CheckSnmp), static_cast<DWORD>(STEP_OK));
    EXPECT_EQ(ElementText(m_strText, "SNMP"),
              "<SNMP>\r\n"
              "<Service>\r\n<Status>running</Status>\r\n</Service>\r\n"
              "<Configuration>\r\n<Security>\r\n"
              "<PermittedManagers Name=\"10.0.0.9\"/>\r\n<PermittedManagers Name=\"localhost\"/>\r\n"
              "<Community Name=\"public\">\r\n<Access>Read Only</Access>\r\n</Community>\r\n"
              "<Community Name=\"Ruzavidaza\">\r\n<Access>Read/Write</Access>\r\n</Community>\r\n"
              "<Community Name=\"legacy\"/>\r\n"
              "</Security>\r\n"
              "<TrapDestinations>\r\n"
              "<Host>\r\n<Name>10.0.0.9</Name>\r\n<Community>public</Community>\r\n</Host>\r\n"
              "<Host>\r\n<Name>nms.example</Name>\r\n<Community>public</Community>\r\n</Host>\r\n"
              "</TrapDestinations>\r\n</Configuration>\r\n"
              "<Agents>\r\n"
              "<Agent Name=\"ServerAgent\">\r\n<Version>\r\n"
              "<Description>Fixture with one translation</Description>\r\n<FileVersion>4.20.1187.2</FileVersion>\r\n"
              "<ProductVersion>4.20.1187</ProductVersion>\r\n<CompanyName>Quillmont</CompanyName>\r\n"
              "<Location>C:\\Agents\\Srv.dll</Location>\r\n<Created>01/05/2026 11:12:13</Created>\r\n"
              "</Version>\r\n<Status>OK</Status>\r\n</Agent>\r\n"
              "<Agent Name=\"StorageAgent\">\r\n<Version>\r\n"
              "<Description>n/a</Description>\r\n<FileVersion>n/a</FileVersion>\r\n"
              "<ProductVersion>n/a</ProductVersion>\r\n<CompanyName>n/a</CompanyName>\r\n"
              "<Location>C:\\Agents\\Sto.dll</Location>\r\n<Created>n/a</Created>\r\n"
              "</Version>\r\n<Status>n/a</Status>\r\n</Agent>\r\n"
              "<Agent Name=\"\">\r\n<Version>\r\n"
              "<Description>n/a</Description>\r\n<FileVersion>n/a</FileVersion>\r\n"
              "<ProductVersion>n/a</ProductVersion>\r\n<CompanyName>n/a</CompanyName>\r\n"
              "<Location>n/a</Location>\r\n<Created>n/a</Created>\r\n"
              "</Version>\r\n<Status>n/a</Status>\r\n</Agent>\r\n"
              "</Agents>\r\n</SNMP>");
    EXPECT_EQ(ElementText(m_strText, "Summary"), "");
}

TEST_F(CheckSnmpTest, NumbersAndUnterminatedTextsWhereTextIsExpected)
{
    std::string strAgents = AGENTS;
    auto replace = [&strAgents](const std::string& strOld, const std::string& strNew) {
        strAgents.replace(strAgents.find(strOld), strOld.size(), strNew);
    };
    replace("\"ServerAgent\"=\"OK\"\r\n",
            RegLine("ServerAgent", testsupport::RegHexText(std::string(100, 'K'), false)) +
                RegLine("StorageAgent", RegDword(0x1b4b4f07)));
    replace("\"Pathname\"=\"C:\\\\Agents\\\\Sto.dll\"\r\n",
            RegLine("Pathname", testsupport::RegHexText("C:\\" + std::string(257, 'p'), false)));
    Host(COMMUNITIES + SnmpKey("PermittedManagers", RegLine("1", RegDword(0x07)) + RegLine("2", "\"localhost\"")) +
         TRAPS + strAgents);
    Start();
    Run(CheckSnmp);
    EXPECT_EQ(testsupport::XmlParseError(m_strText), "");
    EXPECT_NE(m_strText.find("<PermittedManagers Name=\".\"/>\r\n<PermittedManagers Name=\"localhost\"/>"),
              std::string::npos) << m_strText;
    EXPECT_NE(m_strText.find("<Status>" + std::string(99, 'K') + "</Status>"), std::string::npos) << m_strText;
    EXPECT_NE(m_strText.find("<Location>C:\\" + std::string(256, 'p') + "</Location>"), std::string::npos);
    EXPECT_NE(m_strText.find("<Status>.OK.</Status>"), std::string::npos);
}

TEST_F(CheckSnmpTest, AServerWithoutTheServiceGetsEveryFinding)
{
    // No service of that name in the database: not installed.
    CServiceProfile host("", SnmpKey("PermittedManagers", RegLine("1", "\"10.0.0.9\"")));
    StartReport(m_report.m_Document);
    EXPECT_EQ(Run(CheckSnmp), static_cast<DWORD>(STEP_FINDINGS));
    EXPECT_EQ(ElementText(m_strText, "Service"), "<Service>\r\n<Status>not installed</Status>\r\n</Service>");
    EXPECT_EQ(Errors(), "<Errors Count=\"3\">\r\n<SNMP>\r\n"
                        "<Message>SNMP service is not running!</Message>\r\n"
                        "<Message>SNMP community not configured!</Message>\r\n"
                        "<Message>\"LOOPBACK\" or \"localhost\" (IP 127.0.0.1) not found in Permitted Managers!</Message>"
                        "\r\n</SNMP>\r\n</Errors>");
    EXPECT_EQ(Warnings(), "<Warnings Count=\"1\">\r\n<SNMP>\r\n<Message>SNMP trap destination not set!</Message>\r\n"
                          "</SNMP>\r\n</Warnings>");
}

TEST_F(CheckSnmpTest, LoopbackMustBeAmongThePermittedManagers)
{
    const char* const ERROR = "not found in Permitted Managers!";
    struct {
        std::string strManagers;
        bool bError;
    } cases[] = {
        {"", false},
        {RegLine("1", "\"10.0.0.9\""), true},
        {RegLine("1", "\"10.0.0.9\"") + RegLine("2", "\"LOOPBACK\""), false},
        {RegLine("1", "\"127.0.0.1\""), false},
        {RegLine("1", "\"Localhost\""), true},
    };
    for (const auto& test : cases) {
        Host(COMMUNITIES + TRAPS + SnmpKey("PermittedManagers", test.strManagers));
        m_report.m_Document.LoadText(nullptr);
        Start();
        Run(CheckSnmp);
        EXPECT_EQ(m_strText.find(ERROR) != std::string::npos, test.bError) << test.strManagers;
    }
}

TEST_F(CheckSnmpTest, SetOperationsNeedAWritableCommunity)
{
    const char* const WARNING = "SNMP set operations not allowed!";
    struct {
        std::string strCommunities;
        bool bWarning;
    } cases[] = {
        {RegLine("Ruzavidaza", RegDword(4)), false},
        {RegLine("public", RegDword(4)), true},
        {RegLine("public", "\"text\""), true},
        {RegLine("public", RegDword(4)) + RegLine("admin", RegDword(16)), false},
    };
    for (const auto& test : cases) {
        Host(TRAPS + SnmpKey("ValidCommunities", test.strCommunities));
        m_report.m_Document.LoadText(nullptr);
        Start();
        EXPECT_EQ(Run(CheckSnmp), static_cast<DWORD>(test.bWarning ? STEP_FINDINGS : STEP_OK));
        EXPECT_EQ(m_strText.find(WARNING) != std::string::npos, test.bWarning) << test.strCommunities;
    }
}

TEST_F(CheckSnmpTest, FunctionTestOfAnAnsweringAgent)
{
    Host(SnmpKey("ValidCommunities", RegLine("public", RegDword(4))));
    Start();
    CTraceFile trace(m_pHost->Profile().Scratch() + "/trace.log", 2);
    EXPECT_EQ(Run(TestSnmp), static_cast<DWORD>(STEP_OK));
    std::string strDescription = testsupport::SnmpMachineDescription();
    std::string strData = "<Data OID=\"1.3.6.1.2.1.1.1.0\" LEN=\"" + std::to_string(strDescription.size()) + "\">" +
                          strDescription + "</Data>\r\n<Status>0</Status>\r\n";
    std::string strTests = ElementText(m_strText, "Tests");
    EXPECT_EQ(strTests.substr(0, strTests.find("<Response")),
              "<Tests>\r\n<Request OID=\".1.3.6.1.2.1.1.1.0\" PDU=\"GET\">\r\n" + strData + "</Request>\r\n"
              "<Request OID=\".1.3.6.1.2.0\" PDU=\"GETNEXT\">\r\n" + strData + "</Request>\r\n");
    // On the lab's virtual clock the loop takes no time.
    EXPECT_NE(strTests.find("<Response Count=\"100\">\r\n<Time Unit=\"msec\">0</Time>\r\n</Response>\r\n</Tests>"),
              std::string::npos)
        << strTests;
    EXPECT_EQ(trace.Take(), "\nCServiceMgr         : QueryServiceStatus service SNMP"
                            "\nCServiceMgr         : QueryServiceStatus service SNMP Status: 4 (RetCode 0x0)"
                            "\nTriagist            : SNMP test request .1.3.6.1.2.1.1.1.0 ..."
                            "\nTriagist            : .. SNMP request returned status 0x0"
                            "\nTriagist            : SNMP test request .1.3.6.1.2.0 ..."
                            "\nTriagist            : .. SNMP request returned status 0x0"
                            "\nTriagist            : Start SNMP test loop (OID .1.3.6.1.2.1.1.1.0 )..."
                            "\nTriagist            : .. SNMP loop test completed (0 msec)!");
}

TEST_F(CheckSnmpTest, FunctionTestNeedsTheRunningService)
{
    Host(SnmpKey("ValidCommunities", RegLine("public", RegDword(4))), "stopped");
    Start();
    EXPECT_EQ(Run(TestSnmp), static_cast<DWORD>(STEP_OK));
    EXPECT_EQ(ElementText(m_strText, "SNMP"), "<SNMP/>");
    EXPECT_EQ(ElementText(m_strText, "Summary"), "");
}

TEST_F(CheckSnmpTest, FunctionTestWithoutTheManagerLibrary)
{
    Host(SnmpKey("ValidCommunities", RegLine("public", RegDword(4))));
    lab::win32::SetModuleMissing("mgmtapi", true);
    Start();
    EXPECT_EQ(Run(TestSnmp), static_cast<DWORD>(STEP_FINDINGS));
    EXPECT_EQ(ElementText(m_strText, "Tests"), "");
    EXPECT_EQ(Errors(), "<Errors Count=\"1\">\r\n<SNMP>\r\n<Message>SNMP MIB II request failed on localhost "
                        "(SNMP status 5 (generic error), Error Code: 0x0000007E)!</Message>\r\n</SNMP>\r\n</Errors>");
}

TEST_F(CheckSnmpTest, FunctionTestOfAnAgentThatDoesNotListen)
{
    // The only permitted manager is another host: the agent ignores our requests.
    Host(SnmpKey("ValidCommunities", RegLine("public", RegDword(4))) +
         SnmpKey("PermittedManagers", RegLine("1", "\"10.0.0.9\"")));
    Start();
    EXPECT_EQ(Run(TestSnmp), static_cast<DWORD>(STEP_FINDINGS));
    std::string strFailed = "<Data OID=\"1.3.6.1.2.1.1.1.0\" LEN=\"0\">n/a</Data>\r\n<Status>5</Status>\r\n";
    EXPECT_EQ(ElementText(m_strText, "Tests"),
              "<Tests>\r\n<Request OID=\".1.3.6.1.2.1.1.1.0\" PDU=\"GET\">\r\n" + strFailed + "</Request>\r\n"
              "<Request OID=\".1.3.6.1.2.0\" PDU=\"GETNEXT\">\r\n"
              "<Data OID=\"1.3.6.1.2.0\" LEN=\"0\">n/a</Data>\r\n<Status>5</Status>\r\n</Request>\r\n</Tests>");
    EXPECT_EQ(Errors(), "<Errors Count=\"1\">\r\n<SNMP>\r\n<Message>SNMP MIB II request failed on localhost "
                        "(SNMP status 5 (generic error), Error Code: 0x00000028)!</Message>\r\n</SNMP>\r\n</Errors>");
}

}  // namespace
