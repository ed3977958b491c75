// The trace settings editor on the console: every control of the window as a command of standard input.
#include "src/tools/console/ConsoleTraceSettings.h"

#include "lab/win32/UserControl.h"
#include "src/platform/Win32.h"
#include "tests/support/DefaultServer.h"
#include "tests/tools/ConsoleRun.h"
#include "tests/tools/TraceKeys.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::CDefaultServer;
using testsupport::RegDword;
using testsupport::RegLine;

std::pair<int, std::string> RunEditor(const std::string& strInput)
{
    return RunConsole(RunConsoleTraceSettings, strInput);
}

class ConsoleTraceSettingsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        lab::win32::ClearMessageBoxAnswers();
        SetThreadLocale(1033);
    }
};

TEST_F(ConsoleTraceSettingsTest, TheLabelsComeInTheThreadsLanguageAndTheEndOfInputIsTheCloseBox)
{
    CDefaultServer server;
    SetThreadLocale(1031);
    auto [nEnd, strText] = RunEditor("");
    EXPECT_EQ(nEnd, 0);
    EXPECT_EQ(strText.find("Modul                    Konsole   Datei  WinDbg  Tracedatei                       Quellen\n"),
              0u)
        << strText;
    EXPECT_NE(strText.find("C:\\Triagist.txt                  Registrierte Module\n"), std::string::npos) << strText;
    EXPECT_EQ(lab::win32::PendingMessageBoxAnswers(), 0u);
}

TEST_F(ConsoleTraceSettingsTest, EditsOneOrSeveralModulesAndAppliesThem)
{
    CDefaultServer server;
    auto [nEnd, strText] = RunEditor("select QmFarlink QmFarRcci\nconsole 3\nthreadid on\nselect RvPower\nfile 4\n"
                               "limit 20\ntracefile C:\\Power.txt\ndynamic on\napply\nexit\n");
    EXPECT_EQ(nEnd, 1);
    EXPECT_NE(strText.find("QmFarlink QmFarRcci: console=3 file=0 windbg=0 tracefile= limit=50 timestamp=on "
                           "datestamp=off threadid=on"),
              std::string::npos)
        << strText;
    for (const char* pszModule : {"QmFarlink", "QmFarRcci"}) {
        EXPECT_EQ(ModuleValue(pszModule, "ConDebugLevel").second, "3") << pszModule;
        EXPECT_EQ(ModuleValue(pszModule, "ThreadIdOn").second, "1") << pszModule;
    }
    EXPECT_EQ(ModuleValue("RvPower", "FileDebugLevel").second, "4");
    EXPECT_EQ(ModuleValue("RvPower", "TraceFileLimit").second, "20");
    EXPECT_EQ(ModuleValue("QmFarXfer", "ConDebugLevel").second, "no key");
    EXPECT_EQ(ModuleValue("", "DynamicUpdate").second, "1");
}

TEST_F(ConsoleTraceSettingsTest, NewRemoveAllTracesOffAndTheSaveQuestionAtTheEnd)
{
    CDefaultServer server("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\RvSmbios]\r\n" + RegLine("WinDebugLevel", RegDword(5)) + "\r\n");
    // A module made and removed before Apply never reaches the registry; an applied removal stays.
    lab::win32::QueueMessageBoxAnswers({IDYES});
    auto [nEnd, strText] = RunEditor("new Foo\nfile 2\nremove\nselect RvSmbios\nremove\napply\nselect RvStorage\n"
                               "console 7\nalloff\n");
    EXPECT_EQ(nEnd, 0);
    EXPECT_EQ(ModuleValue("Foo", "FileDebugLevel").second, "no key");
    EXPECT_EQ(ModuleValue("RvSmbios", "WinDebugLevel").second, "no key");
    // The typed 7 was turned off again before the close box's question saved it.
    EXPECT_EQ(ModuleValue("RvStorage", "ConDebugLevel").second, "0");
    EXPECT_EQ(lab::win32::PendingMessageBoxAnswers(), 0u);
    EXPECT_NE(strText.find("\n-\n"), std::string::npos) << strText;  // no selection after Remove
}

TEST_F(ConsoleTraceSettingsTest, TheFilterChoosesTheRowsAndNoChangeAsksNothing)
{
    CDefaultServer server;
    auto [nEnd, strText] = RunEditor("filter ravelin off\nfilter snmp off\nfilter registered off\nlist\nexit\n");
    EXPECT_EQ(nEnd, 1);
    std::string strLast = strText.substr(strText.rfind("Name "));
    EXPECT_EQ(strLast.find("\nQmFarlink "), strLast.find('\n')) << strLast;
    EXPECT_EQ(strLast.find("RvPower"), std::string::npos) << strLast;
    EXPECT_EQ(lab::win32::PendingMessageBoxAnswers(), 0u);
}

}  // namespace
