// The entry point as the C runtime calls it: the services it brings up, the language, the report options, restarts.
#include "src/app/Modes.h"
#include "src/platform/Win32.h"
#include "tests/support/TempProfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Runs the entry point as the C runtime would, with the given arguments.
int RunProgram(std::vector<std::string> args)
{
    args.insert(args.begin(), "triagist.exe");
    std::vector<char*> argv;
    std::string commandLine;
    for (std::string& arg : args) {
        argv.push_back(&arg[0]);
        if (argv.size() > 1)
            commandLine += (commandLine.empty() ? "" : " ") + arg;
    }
    argv.push_back(nullptr);
    int savedArgc = __argc;
    char** savedArgv = __argv;
    __argc = static_cast<int>(args.size());
    __argv = argv.data();
    int code = WinMain(nullptr, nullptr, &commandLine[0], 1);
    __argc = savedArgc;
    __argv = savedArgv;
    return code;
}

class WinMainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetThreadLocale(1033);
        m_strDir = m_profile.Scratch();
    }
    void TearDown() override { SetThreadLocale(1033); }
    // As Windows paths: a POSIX path would start with "/" and read as an option.
    std::string Path(const char* name) const { return lab::host::Drives::WindowsPath(m_strDir + "/" + name); }
    bool Exists(const char* name) const { return std::filesystem::exists(m_strDir + "/" + name); }

    CTempProfile m_profile{"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"};
    std::string m_strDir;
};

}  // namespace

TEST_F(WinMainTest, ServicesComeUpAndGoDownInOrder)
{
    lab::host::Host::Instance().ClearJournal();
    EXPECT_EQ(RunProgram({}), 0);
    EXPECT_EQ(lab::host::Host::Instance().Journal(),
              (std::vector<std::string>{"CoInitialize", "InitCommonControlsEx 0x404", "CoInitializeSecurity 2 2 0",
                                        "CoUninitialize"}));
}

TEST_F(WinMainTest, LanguageOption)
{
    RunProgram({"-LANG", "ger"});
    EXPECT_EQ(GetThreadLocale(), 1031u);
    RunProgram({"-LANG", "FR"});
    EXPECT_EQ(GetThreadLocale(), 1031u);
    RunProgram({"-lang", "us"});
    EXPECT_EQ(GetThreadLocale(), 1033u);
    RunProgram({"/LANG", "GER"});
    EXPECT_EQ(GetThreadLocale(), 1033u);
}

TEST_F(WinMainTest, ReportGoesToTheFirstXmlReportValue)
{
    EXPECT_EQ(RunProgram({"-DIAG", "-XMLREPORT", Path("a.xml"), "-XMLREPORT", Path("b.xml")}), 0);
    EXPECT_TRUE(Exists("a.xml"));
    EXPECT_FALSE(Exists("b.xml"));
}

TEST_F(WinMainTest, SlashDiagSelectsTheDiagnosisButSlashReportOptionsAreIgnored)
{
    EXPECT_EQ(RunProgram({"/diag", "-XMLREPORT", Path("r.xml")}), 0);
    EXPECT_TRUE(Exists("r.xml"));
    // Without a report option the diagnosis is the interactive one: here its console, left idle (2).
    EXPECT_EQ(RunProgram({"/DIAG", "/XMLREPORT", Path("s.xml")}), 2);
    EXPECT_FALSE(Exists("s.xml"));
}

TEST_F(WinMainTest, DiagnosisWinsOverOtherModes)
{
    EXPECT_EQ(RunProgram({"-TRACE", "-DIAG", "-XMLREPORT", Path("t.xml")}), 0);
    EXPECT_TRUE(Exists("t.xml"));
}

TEST_F(WinMainTest, RestartRequestIsReadFromTheWholeCommandLine)
{
    RestartRequest plain = ParseRestartRequest("-RESTART");
    EXPECT_FALSE(plain.bUnattended);
    RestartRequest verbose = ParseRestartRequest("-RESTART -verbose");
    EXPECT_TRUE(verbose.bUnattended);
    EXPECT_FALSE(verbose.bRescan);
    RestartRequest both = ParseRestartRequest("/RESTART VERBOSE RESCAN");
    EXPECT_TRUE(both.bUnattended);
    EXPECT_TRUE(both.bRescan);
    EXPECT_TRUE(ParseRestartRequest("-RESTART -XMLREPORT c:\\verboseRescan.xml").bRescan);
    EXPECT_FALSE(ParseRestartRequest(nullptr).bUnattended);
}
