// The trace settings editor on the console: every control of the window as a command of standard input.
#include "src/tools/console/ConsoleTraceSettings.h"

#include "lab/win32/UserControl.h"
#include "src/platform/Win32.h"
#include "tests/support/DefaultServer.h"
#include "tests/tools/ConsoleRun.h"

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

// A DWORD of a module's key (of the settings key for an empty name), or -1 when it or its key is missing.
long Value(const std::string& module, const char* pszValue)
{
    HKEY hKey = nullptr;
    std::string strKey = module.empty() ? "SOFTWARE\\Debug" : "SOFTWARE\\Debug\\" + module;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return -1;
    DWORD dwData = 0;
    DWORD cbData = sizeof dwData;
    LONG lResult = RegQueryValueExA(hKey, pszValue, nullptr, nullptr, reinterpret_cast<LPBYTE>(&dwData), &cbData);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS ? static_cast<long>(dwData) : -1;
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
        EXPECT_EQ(Value(pszModule, "ConDebugLevel"), 3) << pszModule;
        EXPECT_EQ(Value(pszModule, "ThreadIdOn"), 1) << pszModule;
    }
    EXPECT_EQ(Value("RvPower", "FileDebugLevel"), 4);
    EXPECT_EQ(Value("RvPower", "TraceFileLimit"), 20);
    EXPECT_EQ(Value("QmFarXfer", "ConDebugLevel"), -1);
    EXPECT_EQ(Value("", "DynamicUpdate"), 1);
}

TEST_F(ConsoleTraceSettingsTest, NewRemoveAllTracesOffAndTheSaveQuestionAtTheEnd)
{
    CDefaultServer server("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\RvSmbios]\r\n" + RegLine("WinDebugLevel", RegDword(5)) + "\r\n");
    // A module made and removed before Apply never reaches the registry; an applied removal stays.
    lab::win32::QueueMessageBoxAnswers({IDYES});
    auto [nEnd, strText] = RunEditor("new Foo\nfile 2\nremove\nselect RvSmbios\nremove\napply\nselect RvStorage\n"
                               "console 7\nalloff\n");
    EXPECT_EQ(nEnd, 0);
    EXPECT_EQ(Value("Foo", "FileDebugLevel"), -1);
    EXPECT_EQ(Value("RvSmbios", "WinDebugLevel"), -1);
    // The typed 7 was turned off again before the close box's question saved it.
    EXPECT_EQ(Value("RvStorage", "ConDebugLevel"), 0);
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
