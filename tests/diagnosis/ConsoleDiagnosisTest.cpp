// The console front end of the native build: its step log, its progress line, and Ctrl+C as Cancel.
#include "src/diagnosis/console/ConsoleDiagnosis.h"

#include "tests/support/TempProfile.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>

namespace {

DWORD Clean(CDiagReport&, CXmlDocument&)
{
    return STEP_OK;
}

DWORD Finding(CDiagReport& report, CXmlDocument& doc)
{
    report.AddMessage(doc, "SNMP", "odd", "Warnings");
    return STEP_FINDINGS;
}

// The user presses Ctrl+C while this step runs.
DWORD Interrupted(CDiagReport&, CXmlDocument&)
{
    std::raise(SIGINT);
    return STEP_OK;
}

std::string Written(FILE* pFile)
{
    std::string text;
    std::rewind(pFile);
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pFile)) > 0)
        text.append(buffer, n);
    return text;
}

class ConsoleDiagnosisTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TMPDIR", m_profile.Scratch().c_str(), 1);
        m_pOut = std::tmpfile();
    }
    void TearDown() override { std::fclose(m_pOut); }

    CTempProfile m_profile{""};
    FILE* m_pOut = nullptr;
};

TEST_F(ConsoleDiagnosisTest, StepLogThenTheCountsAndTheReport)
{
    EXPECT_EQ(RunConsoleDiagnosis({{0, Clean}, {4, Finding}}, m_pOut), 2);
    std::string text = Written(m_pOut);
    EXPECT_EQ(text.substr(0, text.find("XML report:")),
              "Checking system hardware ...OK\nChecking SNMP configuration ...WARNINGS or ERRORS\n"
              "Completed: 0 error(s), 1 warning(s)\n");
    std::string strScratch = m_profile.Scratch();
    for (char& c : strScratch)
        c = c == '/' ? '\\' : c;
    EXPECT_NE(text.find("XML report:  Z:" + strScratch + "\\Status.xml\n"), std::string::npos) << text;
    EXPECT_TRUE(testsupport::Exists(m_profile.Scratch() + "/Status.xml"));
}

TEST_F(ConsoleDiagnosisTest, CtrlCCancelsAtTheNextStepBoundaryAndLeavesAsDuringARun)
{
    EXPECT_EQ(RunConsoleDiagnosis({{2, Clean}, {3, Interrupted}, {4, Finding}}, m_pOut), 3);
    std::string text = Written(m_pOut);
    EXPECT_EQ(text.substr(0, text.find("Completed")),
              "Checking operation system...OK\nChecking network configruration ...OK\nCANCELLED\n");
    // The partial report is still there, with the counts reached.
    EXPECT_NE(text.find("Completed: 0 error(s), 0 warning(s)\n"), std::string::npos);
}

TEST_F(ConsoleDiagnosisTest, GermanReportLabelsFromTheStringTable)
{
    SetThreadLocale(1031);
    EXPECT_EQ(RunConsoleDiagnosis({{0, Clean}}, m_pOut), 2);
    SetThreadLocale(1033);
    std::string text = Written(m_pOut);
    EXPECT_NE(text.find("\nXML-Bericht:  Z:"), std::string::npos) << text;
    EXPECT_EQ(text.find("XML report:"), std::string::npos) << text;
}

TEST(ConsoleView, TheProgressLineEndsAtAHundredPercentAndStays)
{
    FILE* pOut = std::tmpfile();
    CConsoleView view(pOut, true);
    view.SetStatusText("Status: OK");
    view.SetProgress(7, 18);
    view.FillProgress();
    view.WriteLine("Completed: 0 error(s), 0 warning(s)");
    std::string text = Written(pOut);
    EXPECT_NE(text.find("\r\033[K[100%] Status: OK  \n\r\033[KCompleted"), std::string::npos) << text;
    std::fclose(pOut);
}

TEST(ConsoleView, ATerminalGetsAProgressLineThatTheNextLineReplaces)
{
    FILE* pOut = std::tmpfile();
    CConsoleView view(pOut, true);
    view.SetStatusText("Status: OK");
    view.SetProgress(6, 24);
    view.AppendLog("Testing SNMP...");
    view.AppendLog("OK\r\n");
    EXPECT_EQ(Written(pOut), "\r\033[K[  0%] Status: OK  \r\033[K[ 25%] Status: OK  "
                             "\r\033[K[ 25%] Status: OK  Testing SNMP...\r\033[KTesting SNMP...OK\n"
                             "\r\033[K[ 25%] Status: OK  ");
    std::fclose(pOut);
}

}  // namespace
