// The diagnosis run as the window shows it: the step log, the status text, the completion line, the save rule.
#include "src/diagnosis/DiagRun.h"

#include "tests/support/TempProfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class CRecordingView : public IDiagRunView {
public:
    void AppendLog(const std::string& strText) override { m_strLog += strText; }
    void SetStatusText(const std::string& strText) override { m_Statuses.push_back(strText); }
    void SetProgress(DWORD dwPosition, DWORD dwRange) override { m_Progress.push_back({dwPosition, dwRange}); }

    std::string m_strLog;
    std::vector<std::string> m_Statuses;
    std::vector<std::pair<DWORD, DWORD>> m_Progress;
};

DWORD Clean(CDiagReport&, CXmlDocument&)
{
    return STEP_OK;
}

DWORD OneError(CDiagReport& report, CXmlDocument& doc)
{
    report.AddMessage(doc, "SNMP", "broken", "Errors");
    return STEP_FINDINGS;
}

DWORD OneWarning(CDiagReport& report, CXmlDocument& doc)
{
    report.AddMessage(doc, "SNMP", "odd", "Warnings");
    return STEP_FINDINGS;
}

// A user presses Cancel while this step runs.
DWORD CancelledMeanwhile(CDiagReport& report, CXmlDocument&)
{
    report.m_bCancel = 1;
    return STEP_OK;
}

class DiagRunTest : public ::testing::Test {
protected:
    void TearDown() override { SetThreadLocale(1033); }

    CTempProfile m_profile{""};
    CRecordingView m_view;
};

TEST_F(DiagRunTest, LogAndStatusFollowTheSteps)
{
    CDiagRun run({{0, Clean}, {4, OneError}, {5, OneWarning}}, m_view);
    run.Report().Run();
    EXPECT_EQ(m_view.m_strLog, "Checking system hardware ...OK\r\n"
                               "Checking SNMP configuration ...WARNINGS or ERRORS\r\n"
                               "Testing SNMP...WARNINGS or ERRORS\r\n");
    // An error decides the status from its step on, whatever follows.
    EXPECT_EQ(m_view.m_Statuses, (std::vector<std::string>{"Status: OK", "Status: ERROR", "Status: ERROR"}));
    EXPECT_EQ(m_view.m_Progress.front(), std::make_pair(DWORD(0), DWORD(24)));
    EXPECT_EQ(m_view.m_Progress.back(), std::make_pair(DWORD(3), DWORD(24)));
    EXPECT_EQ(run.CompletionLine(), "Completed: 1 error(s), 1 warning(s)");
}

TEST_F(DiagRunTest, CancelShowsTheStepsOutcomeThenCancelled)
{
    CDiagRun run({{2, OneWarning}, {3, CancelledMeanwhile}, {4, Clean}}, m_view);
    run.Report().Run();
    EXPECT_EQ(m_view.m_strLog, "Checking operation system...WARNINGS or ERRORS\r\n"
                               "Checking network configruration ...OK\r\nCANCELLED\r\n");
    EXPECT_EQ(m_view.m_Statuses.back(), "Status: WARN");
}

TEST_F(DiagRunTest, GermanTextsUnderAGermanLocale)
{
    SetThreadLocale(1031);
    CDiagRun run({{1, Clean}, {99, Clean}}, m_view);
    run.Report().Run();
    // A step index without a text writes no step text, only the outcome.
    EXPECT_EQ(m_view.m_strLog, "Systemereignisprotokoll wird gepr\xFC" "ft...OK\r\nOK\r\n");
    EXPECT_EQ(m_view.m_Statuses.back(), "Status: OK");
}

TEST(DiagRunSave, HtmlByTheNameElseXml)
{
    EXPECT_TRUE(CDiagRun::SavesHtml("c:\\x\\report.html"));
    EXPECT_TRUE(CDiagRun::SavesHtml("c:\\x\\REPORT.Htm"));
    EXPECT_TRUE(CDiagRun::SavesHtml("c:\\htmlfiles\\report"));
    EXPECT_FALSE(CDiagRun::SavesHtml("c:\\x\\report.xml"));
    EXPECT_FALSE(CDiagRun::SavesHtml("c:\\x\\report"));
}

}  // namespace
