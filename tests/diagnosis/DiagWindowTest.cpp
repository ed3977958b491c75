// The main diagnostics window's logic on the lab: Start/Cancel, the worker, Exit, the results, Save.
#include "src/diagnosis/DiagWindow.h"

#include "tests/support/TempProfile.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

// What the window was told to do, from either thread.
class CRecordingWindow : public IDiagWindowView {
public:
    void AppendLog(const std::string& strText) override { Record([&] { m_strLog += strText; }); }
    void SetStatusText(const std::string& strText) override { Record([&] { m_strStatus = strText; }); }
    void SetProgress(DWORD, DWORD) override {}
    void ClearLog() override { Record([&] { m_strLog.clear(); }); }
    void ShowProgress(bool bShow) override { Record([&] { m_ProgressShown.push_back(bShow); }); }
    void FillProgress() override {}
    void SetStartButton(const std::string& strText, bool bEnabled) override
    {
        Record([&] { m_StartButton.emplace_back(strText, bEnabled); });
    }
    void EnableSave() override { Record([&] { m_bSaveEnabled = true; }); }
    void PostResults() override { Record([&] { ++m_nResultsPosted; }); }
    void EndDialog(int nCode) override { Record([&] { m_nEndCode = nCode; }); }
    void Navigate(const std::string& strPath) override { Record([&] { m_strShown = strPath; }); }
    void ShowWarning(const std::string&, const std::string&) override {}

    // Waits (at most a few seconds) until the worker posted its results or ended the dialog.
    bool WaitForWorkerEnd()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Changed.wait_for(lock, 10s, [&] { return m_nResultsPosted > 0 || m_nEndCode != 0; });
    }

    std::string m_strLog;
    std::string m_strStatus;
    std::string m_strShown;
    std::vector<bool> m_ProgressShown;
    std::vector<std::pair<std::string, bool>> m_StartButton;
    bool m_bSaveEnabled = false;
    int m_nResultsPosted = 0;
    int m_nEndCode = 0;

private:
    template <class F>
    void Record(F f)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        f();
        m_Changed.notify_all();
    }

    std::mutex m_Mutex;
    std::condition_variable m_Changed;
};

// A step the test holds until it lets it go, to act while a run is going.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool bEntered = false;
    bool bOpen = false;

    void WaitEntered()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, 10s, [&] { return bEntered; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex);
        bOpen = true;
        changed.notify_all();
    }
};
Gate* g_pGate = nullptr;

DWORD Held(CDiagReport&, CXmlDocument&)
{
    std::unique_lock<std::mutex> lock(g_pGate->mutex);
    g_pGate->bEntered = true;
    g_pGate->changed.notify_all();
    g_pGate->changed.wait_for(lock, 10s, [] { return g_pGate->bOpen; });
    return STEP_OK;
}

DWORD Clean(CDiagReport&, CXmlDocument&)
{
    return STEP_OK;
}

DWORD Finding(CDiagReport& report, CXmlDocument& doc)
{
    report.AddMessage(doc, "SNMP", "odd", "Warnings");
    return STEP_FINDINGS;
}

// The window works in the current directory (its pages and the HTML report) and the temporary
// directory (the XML report): both are scratch directories here.
class DiagWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_strBase = m_profile.Scratch() + "/base";
        std::filesystem::create_directories(m_strBase + "/XML");
        std::filesystem::create_directories(m_strBase + "/HTML");
        std::filesystem::create_directories(m_profile.Scratch() + "/tmp");
        setenv("TMPDIR", (m_profile.Scratch() + "/tmp").c_str(), 1);
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_strBase);
        g_pGate = &m_gate;
    }
    void TearDown() override
    {
        m_gate.Open();
        unsetenv("FAKE_XSLT_MODE");
        std::filesystem::current_path(m_previous);
        SetThreadLocale(1033);
    }
    // A processor that writes its arguments as the page.
    void WithProcessor() const
    {
        std::filesystem::create_directories(m_strBase + "/Xalan");
        std::filesystem::copy_file(std::string(TRIAGIST_TEST_PROGRAMS_DIR) + "/FakeXslt", m_strBase + "/Xalan/xslt.exe");
        setenv("FAKE_XSLT_MODE", "args", 1);
    }
    static std::string Posix(std::string strPath)
    {
        for (char& c : strPath)
            c = c == '\\' ? '/' : c;
        return strPath.substr(2);  // "Z:"
    }

    CTempProfile m_profile{""};
    std::string m_strBase;
    std::filesystem::path m_previous;
    Gate m_gate;
    CRecordingWindow m_window;
};

TEST_F(DiagWindowTest, ARunOnTheWorkerLogsTheStepsAndShowsThePage)
{
    WithProcessor();
    CDiagWindow window({{0, Clean}, {4, Finding}}, m_window);
    window.StartOrCancel();
    ASSERT_TRUE(m_window.WaitForWorkerEnd());
    EXPECT_FALSE(window.Running());
    EXPECT_EQ(WaitForSingleObject(window.RunEnded(), 0), WAIT_OBJECT_0);
    window.ShowResults();

    EXPECT_EQ(m_window.m_strLog, "Checking system hardware ...OK\r\nChecking SNMP configuration ...WARNINGS or ERRORS\r\n"
                                 "Completed: 0 error(s), 1 warning(s)");
    EXPECT_EQ(m_window.m_strStatus, "Status: WARN");
    EXPECT_EQ(m_window.m_StartButton,
              (std::vector<std::pair<std::string, bool>>{{"&Cancel", true}, {"S&tart", true}}));
    EXPECT_EQ(m_window.m_ProgressShown, (std::vector<bool>{true, false}));
    EXPECT_TRUE(m_window.m_bSaveEnabled);
    EXPECT_EQ(Posix(m_window.m_strShown), m_strBase + "/HTML/Status.htm");
    EXPECT_NE(testsupport::ReadText(Posix(window.Paths().strHtml)).find("Status.xslt"), std::string::npos);
    EXPECT_EQ(m_window.m_nEndCode, 0);
}

TEST_F(DiagWindowTest, WithoutThePageTheXmlReportIsShown)
{
    CDiagWindow window({{0, Clean}}, m_window);
    window.StartOrCancel();
    ASSERT_TRUE(m_window.WaitForWorkerEnd());
    window.ShowResults();
    EXPECT_EQ(Posix(m_window.m_strShown), m_profile.Scratch() + "/tmp/Status.xml");
    EXPECT_EQ(m_window.m_strLog, "Checking system hardware ...OK\r\nCompleted: 0 error(s), 0 warning(s)");
    EXPECT_TRUE(m_window.m_bSaveEnabled);
}

TEST_F(DiagWindowTest, StartTwiceStartsThenCancelsAtTheStepBoundary)
{
    CDiagWindow window({{2, Held}, {3, Clean}}, m_window);
    window.StartOrCancel();
    m_gate.WaitEntered();
    EXPECT_TRUE(window.Running());
    window.StartOrCancel();
    EXPECT_FALSE(window.Running());
    EXPECT_TRUE(window.UserCancelled());
    EXPECT_EQ(m_window.m_StartButton.back(), std::make_pair(std::string("&Cancel"), false));
    m_gate.Open();
    ASSERT_TRUE(m_window.WaitForWorkerEnd());
    window.ShowResults();
    // A cancelled run shows no XML in place of a missing page.
    EXPECT_EQ(m_window.m_strLog, "Checking operation system...OK\r\nCANCELLED\r\n");
    EXPECT_EQ(m_window.m_strShown, "");
    EXPECT_EQ(m_window.m_StartButton.back(), std::make_pair(std::string("S&tart"), true));
}

TEST_F(DiagWindowTest, ExitWhileIdleEndsWith2)
{
    CDiagWindow window({{0, Clean}}, m_window);
    window.Exit();
    EXPECT_EQ(m_window.m_nEndCode, CDiagWindow::END_IDLE);
}

TEST_F(DiagWindowTest, ExitDuringARunEndsAfterTheStepWith3AndShowsNothing)
{
    WithProcessor();
    CDiagWindow window({{2, Held}, {3, Clean}}, m_window);
    window.StartOrCancel();
    m_gate.WaitEntered();
    window.Exit();
    EXPECT_EQ(m_window.m_nEndCode, 0);
    m_gate.Open();
    ASSERT_TRUE(m_window.WaitForWorkerEnd());
    EXPECT_EQ(m_window.m_nEndCode, CDiagWindow::END_DURING_RUN);
    EXPECT_EQ(m_window.m_nResultsPosted, 0);
    EXPECT_FALSE(m_window.m_bSaveEnabled);
    EXPECT_EQ(m_window.m_strLog, "Checking operation system...OK\r\nCANCELLED\r\n");
}

TEST_F(DiagWindowTest, SaveCopiesThePageOrTheXmlByTheName)
{
    WithProcessor();
    CDiagWindow window({{0, Clean}}, m_window);
    window.StartOrCancel();
    ASSERT_TRUE(m_window.WaitForWorkerEnd());
    std::string strSaved = m_profile.Scratch() + "/saved";
    std::filesystem::create_directories(strSaved);
    const std::string strPage = testsupport::ReadText(Posix(window.Paths().strHtml));
    const std::string strXml = testsupport::ReadText(Posix(window.Paths().strXml));
    ASSERT_NE(strPage, strXml);

    for (const char* pszName : {"report.html", "Report.HTM", "myhtml.txt"}) {
        ASSERT_TRUE(window.Save(strSaved + "/" + pszName)) << pszName;
        EXPECT_EQ(testsupport::ReadText(strSaved + "/" + pszName), strPage) << pszName;
    }
    for (const char* pszName : {"report.xml", "report"}) {
        ASSERT_TRUE(window.Save(strSaved + "/" + pszName)) << pszName;
        EXPECT_EQ(testsupport::ReadText(strSaved + "/" + pszName), strXml) << pszName;
    }
    EXPECT_FALSE(window.Save(strSaved + "/missing/report.xml"));
}

TEST_F(DiagWindowTest, TheSaveFilterFollowsTheLanguageWord)
{
    // Pairs of name and pattern, the list ended by an empty name.
    static const char kGerman[] = "HTML Dateien (*.html)\0*.html\0XML Dateien (*.xml)\0*.xml\0";
    static const char kEnglish[] = "HTML Files (*.html)\0*.html\0XML Files (*.xml)\0*.xml\0";
    EXPECT_EQ(CDiagWindow::SaveFilter(1031), std::string(kGerman, sizeof kGerman));
    EXPECT_EQ(CDiagWindow::SaveFilter(1033), std::string(kEnglish, sizeof kEnglish));
}

TEST_F(DiagWindowTest, TheStartPageOfTheLocaleWhenItExists)
{
    testsupport::WriteText(m_strBase + "/HTML/Start1031.htm", "<html/>");
    EXPECT_EQ(Posix(DiagPaths::ForThisProcess(1031).strStartPage), m_strBase + "/HTML/Start1031.htm");
    EXPECT_EQ(Posix(DiagPaths::ForThisProcess(1036).strStartPage), m_strBase + "/HTML/Start.htm");
}

}  // namespace
