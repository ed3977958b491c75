// The run: steps in order, messages and counters, the written report file.
#include "src/report/DiagReport.h"

#include "src/trace/FileDebug.h"
#include "tests/support/TempProfile.h"
#include "tests/support/TestText.h"
#include "tests/support/XmlParser.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char kServer[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
    "\"ComputerName\"=\"QMFS-TEST07\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
    "\"RegisteredOrganization\"=\"Harrowgate <Logistics> & Co.\"\r\n";

const char kVirtualClock[] = "[Clock]\nMode=virtual\nStart=2026-03-07 09:05:03\n";

const char kSkeleton[] =
    "<Root Version=\"1.3\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\r\n"
    "<Summary>\r\n"
    "<Errors Count=\"0\"/>\r\n"
    "<Warnings Count=\"0\"/>\r\n"
    "<Created>\r\n"
    "<Date>2026/03/07 09:05:03</Date>\r\n"
    "<Computer>QMFS-TEST07</Computer>\r\n"
    "<Company>Harrowgate &lt;Logistics&gt; &amp; Co.</Company>\r\n"
    "</Created>\r\n"
    "</Summary>\r\n"
    "</Root>\r\n";

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

// Records the notifications and lets a test cancel from inside them. The observer is the first base,
// built before the report that is given it.
class CRecordingReport : private IDiagStepObserver, public CDiagReport {
public:
    explicit CRecordingReport(const std::vector<DiagStep>& steps)
        : CDiagReport(steps, static_cast<IDiagStepObserver&>(*this))
    {
    }
    void OnStepBegin(DWORD dwStep, DWORD dwSequence, DWORD dwTotal) override
    {
        events.push_back("begin " + std::to_string(dwStep) + " " + std::to_string(dwSequence) + " " +
                         std::to_string(dwTotal));
        if (bCancelOnBegin)
            m_bCancel = 1;
    }
    void OnStepEnd(DWORD dwStep, DWORD dwResult) override
    {
        events.push_back("end " + std::to_string(dwStep) + " " + std::to_string(dwResult));
    }
    std::vector<std::string> events;
    bool bCancelOnBegin = false;
};

std::vector<std::string> g_ran;
DWORD g_dwCancelInStep = 0xFFFF;

template <DWORD STEP, DWORD RESULT>
DWORD FakeCheck(CDiagReport& report, CXmlDocument& doc)
{
    g_ran.push_back(std::to_string(STEP));
    doc.m_iPosParent = doc.m_iPos = doc.m_iPosChild = 0;
    if (doc.FindSibling("Root"))
        doc.AddElement("Step", static_cast<int>(STEP), CXmlDocument::ADD_CHILD);
    if (STEP == g_dwCancelInStep)
        report.m_bCancel = 1;
    return RESULT;
}

DWORD ThrowingCheck(CDiagReport&, CXmlDocument&)
{
    g_ran.push_back("throw");
    throw std::runtime_error("check failed");
}

DWORD SecondTopElementCheck(CDiagReport&, CXmlDocument& doc)
{
    doc.m_iPosParent = doc.m_iPos = doc.m_iPosChild = 0;
    doc.FindSibling("Root");
    doc.AddElement("Stray", nullptr, 0);
    return STEP_OK;
}

// The nine checks in the order of a full run, with the step indices of the progress texts.
const std::vector<DiagStep> kNineSteps = {
    {0, FakeCheck<0, 0>}, {1, FakeCheck<1, 0>}, {2, FakeCheck<2, 2>}, {3, FakeCheck<3, 0>}, {4, FakeCheck<4, 0>},
    {5, FakeCheck<5, 0>}, {8, FakeCheck<8, 2>}, {6, FakeCheck<6, 0>}, {7, FakeCheck<7, 0>}};

class DiagReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_ran.clear();
        g_dwCancelInStep = 0xFFFF;
        m_strOut = m_profile.Scratch() + "/Report.xml";
    }
    std::string Written() const { return testsupport::ReadText(m_strOut); }

    CTempProfile m_profile{kServer, kVirtualClock};
    std::string m_strOut;
};

}  // namespace

TEST_F(DiagReportTest, EmptyRunWritesTheSkeletonByteForByte)
{
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = m_strOut;
    report.Run();
    EXPECT_EQ(Written(), kDeclaration + kSkeleton);
    EXPECT_EQ(report.m_dwErrors, 0u);
}

TEST_F(DiagReportTest, StylesheetAndSchemaAppearOnlyWhenSet)
{
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = m_strOut;
    report.m_strStylesheet = "Z:\\opt\\my files\\Status.xslt";
    report.m_strSchemaLocation = "Status.xsd";
    report.Run();
    std::string text = Written();
    EXPECT_EQ(text.substr(0, kDeclaration.size()), kDeclaration);
    std::string second = "<?xml-stylesheet type=\"text/xsl\" href=\"Z:\\opt\\my files\\Status.xslt\"?>\n";
    EXPECT_EQ(text.substr(kDeclaration.size(), second.size()), second);
    EXPECT_NE(text.find("<Root Version=\"1.3\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                        "xsi:noNamespaceSchemaLocation=\"Status.xsd\">"),
              std::string::npos);
}

TEST_F(DiagReportTest, ExistingReportIsReplacedNotAppended)
{
    std::ofstream(m_strOut) << std::string(5000, 'x');
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = m_strOut;
    report.Run();
    EXPECT_EQ(Written(), kDeclaration + kSkeleton);
}

TEST_F(DiagReportTest, UncreatableReportFileEndsTheRunQuietly)
{
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = m_profile.Scratch() + "/missing-folder/Report.xml";
    report.Run();
    EXPECT_FALSE(std::filesystem::exists(report.m_strOutputFile));
    EXPECT_TRUE(report.m_Document.CheckWellFormed());
}

TEST_F(DiagReportTest, MissingNameAndRegistrationGiveEmptyComputerAndNa)
{
    CTempProfile bare("", kVirtualClock);
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = m_strOut;
    report.Run();
    std::string text = Written();
    EXPECT_NE(text.find("<Computer/>\r\n<Company>n/a</Company>\r\n"), std::string::npos) << text;
}

// The registered company as the report's summary shows it, for a RegisteredOrganization given as .reg data.
std::string CompanyOf(const std::string& strData, const std::string& strOut)
{
    CTempProfile server(std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n") +
                            testsupport::RegLine("RegisteredOrganization", strData),
                        kVirtualClock);
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = strOut;
    report.Run();
    std::string text = testsupport::ReadText(strOut);
    size_t nStart = text.find("<Company>");
    size_t nEnd = text.find("</Company>");
    if (nStart == std::string::npos || nEnd == std::string::npos)
        return "(none)";
    return text.substr(nStart + 9, nEnd - nStart - 9);
}

TEST_F(DiagReportTest, CompanyUpToTheBufferWithOrWithoutTerminator)
{
    using testsupport::RegHexText;
    EXPECT_EQ(CompanyOf(RegHexText(std::string(258, 'h'), true), m_strOut), std::string(258, 'h'));
    EXPECT_EQ(CompanyOf(RegHexText(std::string(259, 'h'), true), m_strOut), std::string(259, 'h'));
    EXPECT_EQ(CompanyOf(RegHexText(std::string(259, 'h'), false), m_strOut), std::string(259, 'h'));
    EXPECT_EQ(CompanyOf(RegHexText(std::string(260, 'h'), false), m_strOut), std::string(259, 'h'));
    EXPECT_EQ(CompanyOf(RegHexText(std::string(260, 'h'), true), m_strOut), "n/a");
    EXPECT_EQ(CompanyOf(RegHexText(std::string(65534, 'h'), true), m_strOut), "n/a");
    EXPECT_EQ(CompanyOf(testsupport::RegDword(0x00677148), m_strOut), "Hqg");
}

TEST_F(DiagReportTest, ControlBytesOfTheServerLeaveAWellFormedReport)
{
    CTempProfile server(std::string("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\"
                                    "ComputerName]\r\n") +
                            testsupport::RegLine("ComputerName", testsupport::RegHexText("QMFS\x07\x1b", true)) +
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n" +
                            testsupport::RegLine("RegisteredOrganization", testsupport::RegHexText("Har\vrow\f", true)),
                        kVirtualClock);
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = m_strOut;
    report.Run();
    std::string text = Written();
    EXPECT_EQ(testsupport::XmlParseError(text), "");
    EXPECT_NE(text.find("<Computer>QMFS..</Computer>\r\n<Company>Har.row.</Company>"), std::string::npos) << text;
}

TEST_F(DiagReportTest, CompanyIsReadWhenTheSixtyFourBitViewIsRefused)
{
    CTempProfile refusing(kServer, std::string(kVirtualClock) +
                                       "[Registry]\nDeny64BitView=HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\"
                                       "CurrentVersion\n");
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = m_strOut;
    report.Run();
    EXPECT_EQ(Written(), kDeclaration + kSkeleton);
}

TEST_F(DiagReportTest, StepsRunInOrderWithSequenceNumbers)
{
    CRecordingReport report(kNineSteps);
    report.m_strOutputFile = m_strOut;
    report.Run();
    EXPECT_EQ(g_ran, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "8", "6", "7"}));
    ASSERT_EQ(report.events.size(), 18u);
    EXPECT_EQ(report.events[0], "begin 0 0 12");
    EXPECT_EQ(report.events[5], "end 2 2");
    EXPECT_EQ(report.events[12], "begin 8 6 12");
    EXPECT_EQ(report.events[17], "end 7 0");
    EXPECT_NE(Written().find("<Step>8</Step>\r\n<Step>6</Step>\r\n<Step>7</Step>\r\n</Root>"), std::string::npos);
}

TEST_F(DiagReportTest, CancelBeforeTheFirstCheckRunsNothing)
{
    CRecordingReport report(kNineSteps);
    report.m_strOutputFile = m_strOut;
    report.bCancelOnBegin = true;
    report.Run();
    EXPECT_TRUE(g_ran.empty());
    EXPECT_EQ(report.events, (std::vector<std::string>{"begin 0 0 12", "end 0 1"}));
    EXPECT_EQ(Written(), kDeclaration + kSkeleton);
}

TEST_F(DiagReportTest, CancelDuringAStepReportsItTwiceAndStops)
{
    g_dwCancelInStep = 3;
    CRecordingReport report(kNineSteps);
    report.m_strOutputFile = m_strOut;
    report.Run();
    EXPECT_EQ(g_ran, (std::vector<std::string>{"0", "1", "2", "3"}));
    ASSERT_GE(report.events.size(), 2u);
    EXPECT_EQ(report.events[report.events.size() - 2], "end 3 0");
    EXPECT_EQ(report.events.back(), "end 3 1");
    EXPECT_NE(Written().find("<Step>3</Step>\r\n</Root>"), std::string::npos);

    // The next run starts with the flag cleared.
    g_ran.clear();
    g_dwCancelInStep = 0xFFFF;
    report.Run();
    EXPECT_EQ(g_ran.size(), 9u);
}

TEST_F(DiagReportTest, FailingCheckEndsTheSequenceButTheReportIsWritten)
{
    std::vector<DiagStep> steps = {{0, FakeCheck<0, 0>}, {1, ThrowingCheck}, {2, FakeCheck<2, 0>}};
    CRecordingReport report(steps);
    report.m_strOutputFile = m_strOut;
    report.Run();
    EXPECT_EQ(g_ran, (std::vector<std::string>{"0", "throw"}));
    EXPECT_EQ(report.events, (std::vector<std::string>{"begin 0 0 12", "end 0 0", "begin 1 1 12"}));
    EXPECT_NE(Written().find("<Step>0</Step>\r\n</Root>"), std::string::npos);
}

TEST_F(DiagReportTest, IllFormedDocumentIsNotWrittenAndTraced)
{
    CTempProfile tracing(std::string(kServer) + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\Triagist]\r\n"
                                                "\"WinDebugLevel\"=dword:00000001\r\n",
                         kVirtualClock);
    g_FileDebug.Init("Triagist", FALSE);
    lab::host::Host::Instance().TakeDebugOutput();
    std::vector<DiagStep> steps = {{0, SecondTopElementCheck}};
    CDiagReport report(steps);
    report.m_strOutputFile = m_strOut;
    report.Run();
    EXPECT_FALSE(std::filesystem::exists(m_strOut));
    auto lines = lab::host::Host::Instance().TakeDebugOutput();
    EXPECT_EQ(lines, (std::vector<std::string>{"Triagist            : ERROR! XML file not well-formed!\n"}));
    CTempProfile quiet("", kVirtualClock);
    g_FileDebug.Init("Triagist", FALSE);
}

TEST_F(DiagReportTest, MessagesAreGroupedByKindAndCategory)
{
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = m_strOut;
    report.Run();
    CXmlDocument& doc = report.m_Document;
    EXPECT_TRUE(report.AddMessage(doc, "SNMP", "Service not running", "Errors"));
    EXPECT_TRUE(report.AddMessage(doc, "Eventlog", "Log almost full", "Warnings"));
    EXPECT_TRUE(report.AddMessage(doc, "SNMP", "No community \"public\"", "Errors"));
    EXPECT_EQ(report.m_dwErrors, 2u);
    EXPECT_EQ(report.m_dwWarnings, 1u);
    std::string text = doc.GetText();
    EXPECT_NE(text.find("<Errors Count=\"2\">\r\n<SNMP>\r\n<Message>Service not running</Message>\r\n"
                        "<Message>No community \"public\"</Message>\r\n</SNMP>\r\n</Errors>\r\n"
                        "<Warnings Count=\"1\">\r\n<Eventlog>\r\n<Message>Log almost full</Message>\r\n"
                        "</Eventlog>\r\n</Warnings>\r\n"),
              std::string::npos)
        << text;
}

TEST_F(DiagReportTest, LowerCaseKindCountsAsErrorInItsOwnElement)
{
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = m_strOut;
    report.Run();
    report.AddMessage(report.m_Document, "SNMP", "first", "Errors");
    report.AddMessage(report.m_Document, "SNMP", "second", "errors");
    EXPECT_EQ(report.m_dwErrors, 2u);
    std::string text = report.m_Document.GetText();
    EXPECT_NE(text.find("<Errors Count=\"1\">"), std::string::npos);
    EXPECT_NE(text.find("<errors Count=\"2\">\r\n<SNMP>\r\n<Message>second</Message>"), std::string::npos) << text;
}

TEST_F(DiagReportTest, AddMessageKeepsTheCallersPlace)
{
    CDiagReport report(std::vector<DiagStep>{});
    report.m_strOutputFile = m_strOut;
    report.Run();
    CXmlDocument& doc = report.m_Document;
    doc.m_iPosParent = doc.m_iPos = doc.m_iPosChild = 0;
    ASSERT_TRUE(doc.FindSibling("Root"));
    doc.AddElement("Network", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();
    doc.AddElement("Adapter", nullptr, CXmlDocument::ADD_CHILD);
    report.AddMessage(doc, "Network", "No gateway", "Warnings");
    doc.AddElement("Adapter", "second", CXmlDocument::ADD_CHILD);
    EXPECT_NE(std::string(doc.GetText()).find("<Network>\r\n<Adapter/>\r\n<Adapter>second</Adapter>\r\n</Network>"),
              std::string::npos);
}

TEST_F(DiagReportTest, MessageWithoutSummaryRecreatesItFirst)
{
    CXmlDocument doc;
    doc.LoadText(nullptr);
    doc.AddElement("Root", nullptr, 0);
    doc.AddElement("System", nullptr, CXmlDocument::ADD_CHILD);
    CDiagReport report(std::vector<DiagStep>{});
    EXPECT_TRUE(report.AddMessage(doc, "SMBIOS", "No table", "Errors"));
    EXPECT_EQ(std::string(doc.GetText()),
              "<Root>\r\n<Summary>\r\n<Errors Count=\"1\">\r\n<SMBIOS>\r\n<Message>No table</Message>\r\n"
              "</SMBIOS>\r\n</Errors>\r\n</Summary>\r\n<System/>\r\n</Root>\r\n");

    CXmlDocument empty;
    empty.LoadText(nullptr);
    EXPECT_FALSE(report.AddMessage(empty, "SMBIOS", "No table", "Errors"));
}
