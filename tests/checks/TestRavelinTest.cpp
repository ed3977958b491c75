// The base service function test: the Tests subtree and its findings for base services set up per test.
#include "src/checks/TestRavelin.h"

#include "tests/support/ReportText.h"
#include "tests/support/RouterProfile.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using testsupport::ElementText;
using testsupport::StartReport;

const char TREE[] =
    "[Subsystem]\n"
    "Name=Fans\n"
    "Description=Cooling\n"
    "Component=1|yes|FAN1|Fan one\n"
    "Component=0|yes|FAN2|Fan two\n"
    "Component=3|no|FAN3|\n"
    "Component=9|no|FAN4|Fan four\n"
    "[Subsystem]\n"
    "Name=Power\n"
    "Component=2|no|PSU1|Supply one\n";

class TestRavelinTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(lab::win32::LiveComObjects(), 0); }

    // The check, on a thread of its own, on a report holding only Root: its result; the text is kept.
    DWORD Run()
    {
        StartReport(m_report.m_Document);
        DWORD dwResult = 0;
        std::thread([&] { dwResult = TestRavelin(m_report, m_report.m_Document); }).join();
        EXPECT_TRUE(m_report.m_Document.CheckWellFormed());
        m_strText = m_report.m_Document.GetText();
        return dwResult;
    }

    std::string Tests() const { return ElementText(m_strText, "Tests"); }
    std::string Errors() const { return ElementText(m_strText, "Errors"); }

    CDiagReport m_report{std::vector<DiagStep>{}};
    std::string m_strText;
};

TEST_F(TestRavelinTest, HealthyServerGivesIdentityAndTree)
{
    CRouterProfile profile(std::string(ROUTER_SERVER) + TREE);
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));
    EXPECT_EQ(Tests(),
              "<Tests>\r\n"
              "<Connect>\r\n<Status>OK</Status>\r\n<LastError>0</LastError>\r\n"
              "<LastErrorMsg>The operation completed successfully.</LastErrorMsg>\r\n</Connect>\r\n"
              "<Requests>\r\n<ServerCabinetNr>3</ServerCabinetNr>\r\n<ServerModel>QX100 S2</ServerModel>\r\n"
              "<ChassisModel>QX100 R</ChassisModel>\r\n<CabinetSerialNumber>SN0001</CabinetSerialNumber>\r\n"
              "<Systemboard>D1000</Systemboard>\r\n<ControllerModel>iQRC 4</ControllerModel>\r\n"
              "<ControllerFirmware>4.10A</ControllerFirmware>\r\n</Requests>\r\n"
              "<StatusTree>\r\n<System>\r\n<Status Description=\"OK\">1</Status>\r\n</System>\r\n"
              "<Subsystem Name=\"Fans\" Description=\"Cooling\">\r\n"
              "<Component Name=\"FAN1\" Description=\"Fan one\" ConfirmSupported=\"true\">\r\n"
              "<Status Description=\"ok\">1</Status>\r\n</Component>\r\n"
              "<Component Name=\"FAN3\" Description=\"n/a\" ConfirmSupported=\"false\">\r\n"
              "<Status Description=\"error\">3</Status>\r\n</Component>\r\n"
              "<Component Name=\"FAN4\" Description=\"Fan four\" ConfirmSupported=\"false\">\r\n"
              "<Status Description=\"unknown\">9</Status>\r\n</Component>\r\n"
              "</Subsystem>\r\n"
              "<Subsystem Name=\"Power\" Description=\"n/a\">\r\n"
              "<Component Name=\"PSU1\" Description=\"Supply one\" ConfirmSupported=\"false\">\r\n"
              "<Status Description=\"warning\">2</Status>\r\n</Component>\r\n"
              "</Subsystem>\r\n"
              "</StatusTree>\r\n"
              "</Tests>");
    EXPECT_EQ(Errors(), "");
    EXPECT_EQ(profile.Service().ClientName(), "Triagist");
}

TEST_F(TestRavelinTest, NoRouterGivesConnectFailedAndOneError)
{
    CRouterProfile profile;
    profile.SetRunning(false);
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_FINDINGS));
    EXPECT_EQ(Tests(), "<Tests>\r\n<Connect>\r\n<Status>FAILED</Status>\r\n<LastError>-2146959355</LastError>\r\n"
                       "<LastErrorMsg>Server execution failed</LastErrorMsg>\r\n</Connect>\r\n</Tests>");
    EXPECT_EQ(Errors(), "<Errors Count=\"1\">\r\n<Quillmont>\r\n<Message>Ravelin connect failed!</Message>\r\n"
                        "</Quillmont>\r\n</Errors>");
}

TEST_F(TestRavelinTest, UnknownModelsDumpTheChassisEeprom)
{
    struct {
        const char* pszModels;
        const char* pszErrors;
    } const cases[] = {
        {"ServerModel=Unknown\nChassisModel=QX\n", "<Message>Server Model not found!</Message>\r\n"},
        {"ServerModel=uNkNoWn\nChassisModel=Q\n",
         "<Message>Server Model not found!</Message>\r\n<Message>Chassis Model not found!</Message>\r\n"},
        {"ServerModel=Q\nChassisModel=QX\n", "<Message>Server Model not found!</Message>\r\n"},
        {"ChassisModel=QX100\nServerModel=QX100 S2\nCabinetSerialNumber=SN\n",
         "<Message>Chassis Model not found!</Message>\r\n"},
    };
    for (const auto& test : cases) {
        // The last case's chassis model request is refused; the others answer what they are given.
        std::string strServer = std::string("[Server]\nSystemStatus=2\nChassisEEPROM=00 1f a0\n") + test.pszModels;
        CRouterProfile profile(strServer);
        if (test.pszModels[0] == 'C')
            profile.Service().SetReplyStatus(0x0C00, 0x0108, 21);
        m_report.m_dwErrors = 0;
        EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK)) << test.pszModels;
        EXPECT_NE(Tests().find("<EEPROMS>\r\n<Chassis>\r\n<BDMS>0</BDMS>\r\n<BDMS>1f</BDMS>\r\n<BDMS>a0</BDMS>\r\n"
                               "</Chassis>\r\n</EEPROMS>\r\n</Tests>"),
                  std::string::npos)
            << Tests();
        EXPECT_NE(Errors().find("<Quillmont>\r\n" + std::string(test.pszErrors) + "</Quillmont>"), std::string::npos)
            << Errors();
    }
}

TEST_F(TestRavelinTest, UnansweredRequestsLeaveTheirElementsOut)
{
    CRouterProfile profile(std::string(ROUTER_SERVER) + TREE);
    // Statuses 12, 21 and 255 answer a tree request, 7 does not; identity requests want 0.
    profile.Service().SetReplyStatus(0x0C00, 0x0600, 12);
    profile.Service().SetReplyStatus(0x230F, -1, 7);
    profile.Service().SetReplyStatus(0x2304, -1, 255);
    profile.Service().SetReplyStatus(0x2309, -1, 21);
    profile.Service().SetReplyStatus(0x0C10, -1, 7);
    profile.Service().SetCabinetProperty(false);
    profile.Service().SetReplyStatus(0xE204, -1, 21);
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));
    std::string strTests = Tests();
    EXPECT_EQ(ElementText(strTests, "Requests"),
              "<Requests>\r\n<ServerModel>QX100 S2</ServerModel>\r\n<ChassisModel>QX100 R</ChassisModel>\r\n"
              "<Systemboard>D1000</Systemboard>\r\n<ControllerModel>iQRC 4</ControllerModel>\r\n"
              "<ControllerFirmware>4.10A</ControllerFirmware>\r\n</Requests>");
    EXPECT_EQ(ElementText(strTests, "System"), "<System>\r\n<Value Description=\"unknown\">0</Value>\r\n</System>");
    EXPECT_NE(strTests.find("<Subsystem Name=\"Fans\" Description=\"n/a\">\r\n"
                            "<Component Name=\"FAN1\" Description=\"Fan one\" ConfirmSupported=\"false\">"),
              std::string::npos);
    EXPECT_EQ(Errors(), "");
}

TEST_F(TestRavelinTest, SubsystemsThatDoNotAnswerAreSkipped)
{
    CRouterProfile profile(std::string(ROUTER_SERVER) + TREE);
    profile.Service().SetReplyStatus(0x2302, 0, 7);
    profile.Service().SetReplyStatus(0x2306, -1, 0x16);
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));
    EXPECT_EQ(ElementText(Tests(), "StatusTree"),
              "<StatusTree>\r\n<System>\r\n<Status Description=\"OK\">1</Status>\r\n</System>\r\n"
              "<Subsystem Name=\"Power\" Description=\"n/a\"/>\r\n</StatusTree>");

    CRouterProfile empty(ROUTER_SERVER);
    EXPECT_EQ(Run(), static_cast<DWORD>(STEP_OK));
    EXPECT_EQ(ElementText(Tests(), "StatusTree"),
              "<StatusTree>\r\n<System>\r\n<Status Description=\"OK\">1</Status>\r\n</System>\r\n</StatusTree>");
}

}  // namespace
