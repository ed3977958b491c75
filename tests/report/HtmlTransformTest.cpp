// The HTML transformation and the unattended mode's report files.
#include "src/app/Modes.h"
#include "src/report/HtmlTransform.h"
#include "src/trace/FileDebug.h"
#include "tests/support/TempProfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A current directory with (or without) a processor under Xalan, entered for the test's duration.
class HtmlTransformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_strBase = m_profile.Scratch() + "/install dir";
        fs::create_directories(m_strBase + "/Xalan");
        m_savedDir = fs::current_path();
        fs::current_path(m_strBase);
        setenv("FAKE_XSLT_MODE", "args", 1);
        lab::host::Host::Instance().ClearJournal();
    }
    void TearDown() override
    {
        fs::current_path(m_savedDir);
        unsetenv("FAKE_XSLT_MODE");
    }
    void InstallProcessor() const
    {
        fs::copy_file(std::string(TRIAGIST_TEST_PROGRAMS_DIR) + "/FakeXslt", m_strBase + "/Xalan/xslt.exe");
    }
    std::string Windows(const std::string& path) const { return lab::host::Drives::WindowsPath(path); }

    // The fake processor ends at once; the patience only covers a machine busy with other tests.
    CTempProfile m_profile{"", "[Clock]\nMode=virtual\nStart=2026-03-07 09:05:03\nProgramPatience=20000\n"};
    std::string m_strBase;
    fs::path m_savedDir;
};

}  // namespace

TEST_F(HtmlTransformTest, QuotedArgumentsReachTheProcessorWhole)
{
    InstallProcessor();
    std::string out = m_strBase + "/out put.html";
    DWORD code = TransformToHtml(Windows(m_strBase + "/my report.xml").c_str(), "Z:\\style sheets\\Status.xslt",
                                 Windows(out).c_str());
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(testsupport::ReadText(out), m_strBase + "/my report.xml\n/style sheets/Status.xslt\n" + out + "\n");
}

TEST_F(HtmlTransformTest, ProcessIsStartedHiddenFromTheCurrentDirectory)
{
    InstallProcessor();
    TransformToHtml("in.xml", "s.xslt", "o.html");
    auto journal = lab::host::Host::Instance().Journal();
    ASSERT_FALSE(journal.empty());
    // NORMAL_PRIORITY_CLASS; show, size and position flags; SW_HIDE at 0,0 with size 0.
    EXPECT_NE(journal.back().find("flags=0x20"), std::string::npos) << journal.back();
    EXPECT_NE(journal.back().find("startf=0x7"), std::string::npos) << journal.back();
    EXPECT_NE(journal.back().find("show=0"), std::string::npos) << journal.back();
}

TEST_F(HtmlTransformTest, FailingProcessorGivesItsExitCode)
{
    InstallProcessor();
    setenv("FAKE_XSLT_MODE", "fail", 1);
    EXPECT_EQ(TransformToHtml("in.xml", "s.xslt", "o.html"), 7u);
}

TEST_F(HtmlTransformTest, MissingProcessorGivesNoExitCode)
{
    EXPECT_EQ(TransformToHtml("in.xml", "s.xslt", "o.html"), 0xFFFFFFFFu);
}

TEST_F(HtmlTransformTest, HungProcessorIsLeftRunningAndReadsAsStillActive)
{
    InstallProcessor();
    setenv("FAKE_XSLT_MODE", "hang", 1);
    setenv("FAKE_XSLT_SECONDS", "2", 1);
    // The virtual clock lets the 15-second wait pass in a fraction of real time, once the lab's patience
    // with the hung program is shorter than the hang.
    lab::host::Host::Instance().TheClock().SetProgramPatience(500);
    EXPECT_EQ(TransformToHtml("in.xml", "s.xslt", "o.html"), 259u);
    unsetenv("FAKE_XSLT_SECONDS");
}

TEST_F(HtmlTransformTest, UnattendedModeUsesTheStylesheetOfTheCurrentDirectory)
{
    InstallProcessor();
    std::string xml = m_strBase + "/r.xml";
    std::string html = m_strBase + "/r.html";
    EXPECT_EQ(RunUnattendedDiagnosis(Windows(xml), Windows(html)), 0);
    EXPECT_EQ(testsupport::ReadText(html), xml + "\n" + m_strBase + "/XML/Status.xslt\n" + html + "\n");
}

TEST_F(HtmlTransformTest, UnattendedModeDefaultsToTheTemporaryReport)
{
    InstallProcessor();
    std::string temp = m_profile.Scratch() + "/temp";
    fs::create_directories(temp);
    const char* saved = std::getenv("TMPDIR");
    std::string savedTmp = saved ? saved : "";
    setenv("TMPDIR", temp.c_str(), 1);
    std::string html = m_strBase + "/r.html";
    EXPECT_EQ(RunUnattendedDiagnosis("", Windows(html)), 0);
    if (saved)
        setenv("TMPDIR", savedTmp.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_TRUE(fs::exists(temp + "/Report.xml"));
    EXPECT_EQ(testsupport::ReadText(html).substr(0, temp.size() + 11), temp + "/Report.xml");
}

TEST_F(HtmlTransformTest, UnattendedModeSkipsTheTransformationWithoutACurrentDirectory)
{
    InstallProcessor();
    std::string gone = m_strBase + "/gone";
    fs::create_directories(gone);
    fs::current_path(gone);
    fs::remove(gone);
    std::string xml = m_strBase + "/r.xml";
    EXPECT_EQ(RunUnattendedDiagnosis(Windows(xml), Windows(m_strBase + "/r.html")), 0);
    fs::current_path(m_strBase);
    EXPECT_TRUE(fs::exists(xml));
    EXPECT_FALSE(fs::exists(m_strBase + "/r.html"));
}

TEST_F(HtmlTransformTest, TracesNameTheProcessorAndItsCommandLine)
{
    CTempProfile tracing("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\Triagist]\r\n\"WinDebugLevel\"=dword:00000003\r\n",
                         "[Clock]\nMode=virtual\nStart=2026-03-07 09:05:03\n");
    g_FileDebug.Init("Triagist", FALSE);
    lab::host::Host::Instance().TakeDebugOutput();
    std::string processor = Windows(m_strBase) + "\\Xalan\\xslt.exe";

    TransformToHtml("in.xml", "s.xslt", "o.html");
    EXPECT_EQ(lab::host::Host::Instance().TakeDebugOutput(),
              (std::vector<std::string>{"CDiagReport    :  ERROR! Could not create process \"" + processor + "\"\n"}));

    InstallProcessor();
    TransformToHtml("in.xml", "s.xslt", "o.html");
    std::string commandLine = "\"" + processor + "\" \"in.xml\" \"s.xslt\" \"o.html\"";
    EXPECT_EQ(lab::host::Host::Instance().TakeDebugOutput(),
              (std::vector<std::string>{
                  "CDiagReport    :  Process \"" + processor + "\" Cmd Line: \"" + commandLine + "\" started ..\n",
                  "CDiagReport    :  Process \"" + processor + "\" Cmd Line: \"" + commandLine + "\" finished!\n"}));

    CTempProfile quiet("", "");
    g_FileDebug.Init("Triagist", FALSE);
}
