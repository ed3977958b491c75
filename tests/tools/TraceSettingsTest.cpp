// The trace settings editor's logic on the sample server: the modules it gathers, what the fields and
// buttons do to them, and what Apply writes.
#include "src/tools/TraceSettings.h"

#include "tests/support/DefaultServer.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::CDefaultServer;
using testsupport::RegDword;
using testsupport::RegLine;
using testsupport::RegString;

const std::string PLAIN_TRACE = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\Triagist]\r\n" +
                                RegLine("TimeStampOn", RegDword(0)) + RegLine("DateStampOn", RegDword(0)) +
                                RegLine("ThreadIdOn", RegDword(0)) + RegLine("AppNameOn", RegDword(0)) + "\r\n";
const std::string PREFIX = "\nTriagist            :   ";

std::string ModuleKey(const std::string& name, const std::string& lines)
{
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\" + name + "]\r\n" + lines + "\r\n";
}

// Answers every question with one button and remembers what was asked.
class CFakeView : public ITraceSettingsView {
public:
    void EnableApply(bool bEnable) override { bApplyEnabled = bEnable; }
    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override
    {
        questions.push_back({strText, strCaption, uStyle});
        return nAnswer;
    }

    struct Question {
        std::string text, caption;
        UINT uStyle;
        bool operator==(const Question& other) const
        {
            return text == other.text && caption == other.caption && uStyle == other.uStyle;
        }
    };
    bool bApplyEnabled = false;
    int nAnswer = IDYES;
    std::vector<Question> questions;
};

std::vector<std::string> NamesOf(const std::list<TraceModule>& records)
{
    std::vector<std::string> names;
    for (const TraceModule& module : records)
        names.push_back(module.strName);
    return names;
}

std::vector<std::string> NamesOf(const std::vector<TraceModule*>& rows)
{
    std::vector<std::string> names;
    for (const TraceModule* pModule : rows)
        names.push_back(pModule->strName);
    return names;
}

TraceModule* Find(const std::vector<TraceModule*>& rows, const std::string& name)
{
    for (TraceModule* pModule : rows)
        if (pModule->strName == name)
            return pModule;
    ADD_FAILURE() << "no row " << name;
    return nullptr;
}

// A value of a module's key: its type and data as text (numbers in decimal); type 0 when missing.
std::pair<DWORD, std::string> ModuleValue(const std::string& module, const char* pszValue)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Debug\\" + module).c_str(), 0, KEY_READ, &hKey) !=
        ERROR_SUCCESS)
        return {0, "no key"};
    char szData[300] = "";
    DWORD cbData = sizeof szData - 1;
    DWORD dwType = 0;
    LONG lResult = RegQueryValueExA(hKey, pszValue, nullptr, &dwType, reinterpret_cast<LPBYTE>(szData), &cbData);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS)
        return {0, "no value"};
    if (dwType == REG_DWORD)
        return {dwType, std::to_string(*reinterpret_cast<DWORD*>(szData))};
    return {dwType, szData};
}

// A key's value names in the order they were written.
std::vector<std::string> ValueNames(const std::string& module)
{
    std::vector<std::string> names;
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Debug\\" + module).c_str(), 0, KEY_READ, &hKey) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szName[64] = "";
        DWORD cchName = sizeof szName;
        if (RegEnumValueA(hKey, dwIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(szName);
    }
    RegCloseKey(hKey);
    return names;
}

bool KeyExists(const std::string& path)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

const std::vector<std::string> SAMPLE_MODULES = {"Triagist",  "RvSmbios", "RvPciScan", "RvStorage",
                                                 "RvPower",   "RvRemote", "VEXIL",     "Ravelind",
                                                 "VivIvud",   "RavelinControls", "QmFarlink", "QmFarRcci",
                                                 "QmFarXfer"};

}  // namespace

TEST(TraceSettings, TheSampleServersModulesFromTheirSourcesWithTheirTrace)
{
    CDefaultServer server(PLAIN_TRACE);
    CTraceFile trace(server.Profile().Scratch() + "/trace.log", 2);
    trace.Take();
    CFakeView view;
    CTraceSettings settings(view);
    EXPECT_EQ(settings.ScanModules(), 1u);

    EXPECT_EQ(NamesOf(settings.Combined().records), SAMPLE_MODULES);
    EXPECT_EQ(NamesOf(settings.Registered().records), (std::vector<std::string>{"Triagist"}));
    EXPECT_TRUE(settings.SnmpAgents().records.empty());
    EXPECT_EQ(NamesOf(settings.Farlink().records), (std::vector<std::string>{"QmFarlink", "QmFarRcci", "QmFarXfer"}));
    EXPECT_FALSE(settings.DynamicUpdate());

    // The program's own module as the sample server registers it, the trace turned on for the test.
    const TraceModule& triagist = settings.Combined().records.front();
    EXPECT_EQ(triagist.bRegistered, 1u);
    EXPECT_EQ(triagist.dwFileLevel, 2u);
    EXPECT_EQ(triagist.dwFileLimit, 10u);
    EXPECT_EQ(triagist.bTimeStampOn, 0u);
    EXPECT_EQ(triagist.bModified, 0u);
    // Unregistered modules keep the defaults of a new record with their source's trace file.
    const TraceModule& smbios = *std::next(settings.Combined().records.begin());
    EXPECT_EQ(smbios.bRegistered, 0u);
    EXPECT_EQ(smbios.strTraceFile, "C:\\Vexil.txt");
    EXPECT_EQ(smbios.dwFileLimit, 50u);
    EXPECT_EQ(smbios.bTimeStampOn, 1u);
    EXPECT_EQ(settings.Farlink().records.back().strTraceFile, "C:\\QmFarXfer.txt");

    std::string expected = PREFIX + "Scan debug settings in registry..." + PREFIX + "Found module Triagist" + PREFIX +
                           "Read settings module \"Triagist\"" + PREFIX + "Scan Ravelin extension modules...";
    for (const char* pszModule : {"RvSmbios", "RvPciScan", "RvStorage", "RvPower", "RvRemote"})
        expected += PREFIX + "Found module " + pszModule;
    expected += PREFIX + "No more modules found!" + PREFIX + "Scan Quillmont agents...";
    EXPECT_EQ(trace.Take(), expected);
}

TEST(TraceSettings, ARegisteredSnmpAgentIsListedOnceWithItsRegisteredSettingsUnderBothFilters)
{
    CDefaultServer server("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Server_MIB]\r\n\r\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Status_mib]\r\n\r\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\" "SERVER_MIB]\r\n" +
                          RegLine("ConDebugLevel", RegDword(3)) + RegLine("TraceFile", RegString("C:\\Srv.txt")) +
                          "\r\n");
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    // The agent's key name differs in case only: one record, the registered one.
    EXPECT_EQ(NamesOf(settings.SnmpAgents().records), (std::vector<std::string>{"Server_MIB"}));
    std::vector<std::string> names = NamesOf(settings.Combined().records);
    EXPECT_EQ(std::count(names.begin(), names.end(), "SERVER_MIB"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Server_MIB"), 0);

    TraceFilter registeredOnly{false, false, false, true};
    std::vector<TraceModule*> rows = settings.FillVisible(registeredOnly);
    EXPECT_EQ(NamesOf(rows), (std::vector<std::string>{"SERVER_MIB", "Triagist"}));
    EXPECT_EQ(rows[0]->dwConLevel, 3u);
    EXPECT_EQ(rows[0]->strTraceFile, "C:\\Srv.txt");

    // The filter compares names exactly, as the rows show them.
    TraceFilter snmpOnly{false, true, false, false};
    EXPECT_TRUE(settings.FillVisible(snmpOnly).empty());
}

TEST(TraceSettings, TheFilterBoxesChooseTheRowsSortedByName)
{
    CDefaultServer server;
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);

    EXPECT_EQ(NamesOf(settings.FillVisible(TraceFilter())),
              (std::vector<std::string>{"QmFarlink", "QmFarRcci", "QmFarXfer", "RavelinControls", "Ravelind",
                                        "RvPciScan", "RvPower", "RvRemote", "RvSmbios", "RvStorage", "Triagist",
                                        "VEXIL", "VivIvud"}));
    EXPECT_EQ(NamesOf(settings.FillVisible(TraceFilter{false, false, true, false})),
              (std::vector<std::string>{"QmFarlink", "QmFarRcci", "QmFarXfer"}));
    std::vector<TraceModule*> none = settings.FillVisible(TraceFilter{false, false, false, false});
    EXPECT_TRUE(none.empty());
    for (const TraceModule& module : settings.Combined().records)
        EXPECT_EQ(module.bVisible, 0u) << module.strName;
}

TEST(TraceSettings, ALevelColumnSortsHighestFirstAndByNameWithinALevel)
{
    CDefaultServer server(ModuleKey("QmFarXfer", RegLine("FileDebugLevel", RegDword(2))) +
                          ModuleKey("RvPower", RegLine("FileDebugLevel", RegDword(5))) +
                          ModuleKey("qmFarlink", RegLine("FileDebugLevel", RegDword(2))));
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter{false, false, false, true});
    CTraceSettings::SortRows(rows, TraceColumn::FILE_LEVEL);
    EXPECT_EQ(NamesOf(rows), (std::vector<std::string>{"RvPower", "qmFarlink", "QmFarXfer", "Triagist"}));
    CTraceSettings::SortRows(rows, TraceColumn::NAME);
    EXPECT_EQ(NamesOf(rows), (std::vector<std::string>{"qmFarlink", "QmFarXfer", "RvPower", "Triagist"}));
}

TEST(TraceSettings, TwoSelectedModulesShowWhatTheyShareAndTakeTheTypedLevel)
{
    CDefaultServer server(ModuleKey("QmFarlink", RegLine("ConDebugLevel", RegDword(1)) +
                                                     RegLine("DateStampOn", RegDword(1))) +
                          ModuleKey("QmFarRcci", RegLine("ConDebugLevel", RegDword(2))));
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    std::vector<TraceModule*> selection = {Find(rows, "QmFarlink"), Find(rows, "QmFarRcci")};

    TraceFields fields = settings.ShowSelection(selection);
    EXPECT_FALSE(fields.conLevel.has_value());
    EXPECT_EQ(fields.fileLevel, 0u);
    EXPECT_EQ(fields.fileLimit, 50u);
    EXPECT_FALSE(fields.traceFile.has_value());  // C:\QmFarlink.txt and C:\QmFarRcci.txt
    EXPECT_EQ(fields.dateStamp, TraceFields::INDETERMINATE);
    EXPECT_EQ(fields.timeStamp, TraceFields::CHECKED);
    EXPECT_EQ(selection[0]->bSelected, 1u);
    EXPECT_EQ(selection[1]->bSelected, 1u);

    // Leaving the stamps as they stand changes nothing.
    EXPECT_FALSE(settings.TakeFields(selection, TraceFieldEdits()));
    EXPECT_FALSE(view.bApplyEnabled);

    TraceFieldEdits edits;
    edits.conLevel = 4;
    EXPECT_TRUE(settings.TakeFields(selection, edits));
    EXPECT_TRUE(view.bApplyEnabled);
    for (TraceModule* pModule : selection) {
        EXPECT_EQ(pModule->dwConLevel, 4u) << pModule->strName;
        EXPECT_EQ(pModule->bModified, 1u) << pModule->strName;
        EXPECT_EQ(pModule->bDateStampOn, pModule->strName == "QmFarlink" ? 1u : 0u);
    }
    EXPECT_EQ(Find(rows, "QmFarXfer")->bModified, 0u);

    // Rows no longer selected take nothing.
    CTraceSettings::ClearSelectedMarks(selection);
    edits.conLevel = 6;
    EXPECT_FALSE(settings.TakeFields(selection, edits));
    EXPECT_EQ(selection[0]->dwConLevel, 4u);
}

TEST(TraceSettings, ModulesSharingATraceFileRotateItAtTheLargestLimit)
{
    CDefaultServer server(
        ModuleKey("QmFarlink", RegLine("FileDebugLevel", RegDword(1)) + RegLine("TraceFile", RegString("C:\\Qm.txt")) +
                                   RegLine("TraceFileLimit", RegDword(10))) +
        ModuleKey("QmFarRcci", RegLine("FileDebugLevel", RegDword(3)) + RegLine("TraceFile", RegString("c:\\QM.TXT")) +
                                   RegLine("TraceFileLimit", RegDword(50))) +
        // Without file output it keeps its limit though it names the file.
        ModuleKey("QmFarXfer", RegLine("TraceFile", RegString("C:\\Qm.txt")) + RegLine("TraceFileLimit", RegDword(5))));
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    std::vector<TraceModule*> selection = {Find(rows, "QmFarlink")};
    settings.ShowSelection(selection);
    TraceFieldEdits edits;
    edits.winLevel = 1;
    ASSERT_TRUE(settings.TakeFields(selection, edits));

    settings.ApplyChanges();
    EXPECT_FALSE(view.bApplyEnabled);
    EXPECT_EQ(ModuleValue("QmFarlink", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("50")));
    EXPECT_EQ(ModuleValue("QmFarlink", "WinDebugLevel"), std::make_pair(DWORD(REG_DWORD), std::string("1")));
    EXPECT_EQ(ModuleValue("QmFarRcci", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("50")));
    EXPECT_EQ(ModuleValue("QmFarXfer", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("5")));
    EXPECT_FALSE(settings.HasChanges());
}

TEST(TraceSettings, ApplyWritesEveryModuleWithFileOutputAndTheGlobalSwitch)
{
    // Only a level and an expandable path: Apply completes the key, the path as plain text.
    CDefaultServer server(ModuleKey("RvPower", RegLine("FileDebugLevel", RegDword(2)) +
                                                   "\"TraceFile\"=hex(2):43,00,3a,00,5c,00,50,00,2e,00,74,00,78,00,"
                                                   "74,00,00,00\r\n"));
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    settings.SetDynamicUpdate(true);
    EXPECT_TRUE(view.bApplyEnabled);
    EXPECT_FALSE(settings.HasChanges());  // the switch alone is no module change
    settings.ApplyChanges();

    EXPECT_EQ(ModuleValue("RvPower", "TraceFile"), std::make_pair(DWORD(REG_SZ), std::string("C:\\P.txt")));
    EXPECT_EQ(ModuleValue("RvPower", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("50")));
    EXPECT_EQ(ModuleValue("RvPower", "TimeStampOn"), std::make_pair(DWORD(REG_DWORD), std::string("1")));
    EXPECT_EQ(ModuleValue("RvPower", "HandleCountOn"), std::make_pair(DWORD(0), std::string("no value")));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Debug\\RvSmbios"));

    HKEY hDebug = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug", 0, KEY_READ, &hDebug), ERROR_SUCCESS);
    DWORD dwDynamic = 7;
    DWORD cbDynamic = sizeof dwDynamic;
    EXPECT_EQ(RegQueryValueExA(hDebug, "DynamicUpdate", nullptr, nullptr, reinterpret_cast<LPBYTE>(&dwDynamic),
                               &cbDynamic),
              ERROR_SUCCESS);
    RegCloseKey(hDebug);
    EXPECT_EQ(dwDynamic, 1u);

    // Written again at the next Apply though nothing changed: a component may have rewritten it.
    HKEY hPower = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug\\RvPower", 0, KEY_SET_VALUE, &hPower), ERROR_SUCCESS);
    DWORD dwLimit = 3;
    RegSetValueExA(hPower, "TraceFileLimit", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwLimit), sizeof dwLimit);
    RegCloseKey(hPower);
    settings.ApplyChanges();
    EXPECT_EQ(ModuleValue("RvPower", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("50")));
}

TEST(TraceSettings, ANewModuleIsWrittenAndARemovedOneDeletedWithItsSubkeys)
{
    CDefaultServer server(ModuleKey("Old", RegLine("ConDebugLevel", RegDword(1))) +
                          ModuleKey("Old\\Sub", RegLine("X", RegDword(1))) +
                          ModuleKey("Old\\Sub\\Deeper", RegLine("Y", RegDword(1))) +
                          ModuleKey("Old\\Other", ""));
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);

    TraceModule* pFoo = settings.NewModule("Foo");
    EXPECT_EQ(pFoo->strName, "Foo");
    EXPECT_EQ(pFoo->strTraceFile, "C:\\Foo.txt");
    EXPECT_EQ(pFoo->bModified, 1u);
    EXPECT_TRUE(view.bApplyEnabled);
    EXPECT_EQ(NamesOf(settings.Combined().records).back(), "Foo");
    // It joins no source, so the filters do not show it.
    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    EXPECT_EQ(std::count(rows.begin(), rows.end(), pFoo), 0);

    view.bApplyEnabled = false;
    settings.RemoveModules({Find(rows, "Old")});
    EXPECT_TRUE(view.bApplyEnabled);
    EXPECT_TRUE(settings.HasChanges());
    settings.ApplyChanges();

    EXPECT_EQ(ModuleValue("Foo", "TraceFile"), std::make_pair(DWORD(REG_SZ), std::string("C:\\Foo.txt")));
    EXPECT_EQ(ValueNames("Foo"), (std::vector<std::string>{"ConDebugLevel", "FileDebugLevel", "WinDebugLevel",
                                                          "TimeStampOn", "DateStampOn", "ThreadIdOn", "CpuIdOn",
                                                          "AppNameOn", "MemUsageOn", "TraceFile", "TraceFileLimit"}));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Debug\\Old"));
    EXPECT_TRUE(KeyExists("SOFTWARE\\Debug\\Triagist"));
    EXPECT_FALSE(settings.HasChanges());
}

TEST(TraceSettings, AllTracesOffTurnsEveryRowsLevelsOff)
{
    CDefaultServer server(ModuleKey("QmFarlink", RegLine("WinDebugLevel", RegDword(4))));
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    EXPECT_TRUE(settings.AllTracesOff(rows));
    EXPECT_TRUE(view.bApplyEnabled);
    for (const TraceModule* pModule : rows)
        EXPECT_EQ(pModule->bModified, pModule->strName == "QmFarlink" ? 1u : 0u) << pModule->strName;
    EXPECT_EQ(Find(rows, "QmFarlink")->dwWinLevel, 0u);
    EXPECT_FALSE(settings.AllTracesOff(rows));
}

TEST(TraceSettings, AHostWithoutTheAgentsKeyStillShowsTheOtherModules)
{
    CDefaultServer server(
        PLAIN_TRACE + "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\UUID\\C3681B60-0D26-11D3-8319-00A0C9B61E25]\r\n" +
        RegLine("Quillmont SNMP Agents", RegString("hklm\\SOFTWARE\\Nowhere")) + "\r\n");
    CTraceFile trace(server.Profile().Scratch() + "/trace.log", 1);
    trace.Take();
    CFakeView view;
    CTraceSettings settings(view);
    EXPECT_EQ(settings.ScanModules(), 1u);
    EXPECT_EQ(trace.Take(), PREFIX + "ERROR 0x2! OpenUUIDPointer FAILED!");
    EXPECT_EQ(NamesOf(settings.Combined().records), SAMPLE_MODULES);

    // A hive this machine does not have.
    HKEY hPointer = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            "SYSTEM\\CurrentControlSet\\Control\\UUID\\C3681B60-0D26-11D3-8319-00A0C9B61E25", 0,
                            KEY_SET_VALUE, &hPointer),
              ERROR_SUCCESS);
    const char szPointer[] = "HKDD\\SOFTWARE\\Brennock";
    RegSetValueExA(hPointer, "Quillmont SNMP Agents", 0, REG_SZ, reinterpret_cast<const BYTE*>(szPointer),
                   sizeof szPointer);
    RegCloseKey(hPointer);
    EXPECT_EQ(settings.ScanModules(), 1u);
    EXPECT_EQ(trace.Take(), PREFIX + "ERROR 0x6! OpenUUIDPointer FAILED!");
}

TEST(TraceSettings, TheAgentsPointerMayNameItsHive)
{
    CDefaultServer server(
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\UUID\\C3681B60-0D26-11D3-8319-00A0C9B61E25]\r\n" +
        RegLine("Quillmont SNMP Agents", RegString("HKEY_Current_User\\Software\\Agents")) + "\r\n" +
        "[HKEY_CURRENT_USER\\Software\\Agents\\Power_MIB]\r\n\r\n[HKEY_CURRENT_USER\\Software\\Agents\\Other]\r\n\r\n");
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    EXPECT_EQ(NamesOf(settings.SnmpAgents().records), (std::vector<std::string>{"Power_MIB"}));
    EXPECT_EQ(settings.SnmpAgents().records.front().strTraceFile, "C:\\Power_MIB.txt");
}

TEST(TraceSettings, WithoutTheModuleFileTheScanFailsButListsTheFixedModules)
{
    CDefaultServer server(PLAIN_TRACE +
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup]\r\n" +
                          RegLine("FileRoot", RegString("C:\\Nowhere")) + "\r\n");
    CTraceFile trace(server.Profile().Scratch() + "/trace.log", 1);
    trace.Take();
    CFakeView view;
    CTraceSettings settings(view);
    EXPECT_EQ(settings.ScanModules(), 0u);
    EXPECT_EQ(trace.Take(), PREFIX + "ERROR! Could not open Module.ini in \"C:\\Nowhere\\Module.ini\"");
    EXPECT_EQ(NamesOf(settings.Ravelin().records),
              (std::vector<std::string>{"VEXIL", "Ravelind", "VivIvud", "RavelinControls"}));
}

TEST(TraceSettings, DeleteTraceAsksAndReportsAFailureWithTheSystemsReason)
{
    CDefaultServer server;
    CFakeView view;
    CTraceSettings settings(view);
    testsupport::WriteText(server.Profile().Scratch() + "/t.txt", "line\r\n");
    std::string path = lab::host::Drives::WindowsPath(server.Profile().Scratch() + "/t.txt");
    ASSERT_TRUE(CTraceSettings::TraceFileExists(path));

    view.nAnswer = IDNO;
    settings.DeleteTrace(path);
    EXPECT_TRUE(CTraceSettings::TraceFileExists(path));
    view.nAnswer = IDYES;
    settings.DeleteTrace(path);
    EXPECT_FALSE(CTraceSettings::TraceFileExists(path));
    EXPECT_EQ(view.questions.size(), 2u);
    EXPECT_TRUE(view.questions[1] == (CFakeView::Question{"Delete trace file " + path + "?", "Confirm", 0x24}));

    settings.DeleteTrace(path);
    ASSERT_EQ(view.questions.size(), 4u);
    EXPECT_TRUE(view.questions[3] ==
                (CFakeView::Question{"Delete trace file " + path +
                                         " failed! 0x00000002: The system cannot find the file specified!",
                                     "Error!", 0x10}));
    EXPECT_EQ(SystemErrorText(0x2A3B4C5D), "0x2A3B4C5D");
    EXPECT_EQ(CTraceSettings::ViewTraceCommand("C:\\Trace.txt"), "start notepad C:\\Trace.txt");
}

TEST(TraceSettings, ExitAsksToSaveOnlyWhenModulesChanged)
{
    CDefaultServer server;
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    settings.SetDynamicUpdate(true);
    EXPECT_EQ(settings.Exit(), 1);
    EXPECT_TRUE(view.questions.empty());

    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    std::vector<TraceModule*> selection = {Find(rows, "RvStorage")};
    settings.ShowSelection(selection);
    TraceFieldEdits edits;
    edits.traceFile = "C:\\Storage.txt";
    ASSERT_TRUE(settings.TakeFields(selection, edits));
    view.nAnswer = IDNO;
    EXPECT_EQ(settings.Exit(), 1);
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_TRUE(view.questions[0] == (CFakeView::Question{"Settings were changed. Save new settings?",
                                                          "Save new settings", 0x24}));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Debug\\RvStorage"));

    view.nAnswer = IDYES;
    EXPECT_EQ(settings.Exit(), 1);
    EXPECT_EQ(ModuleValue("RvStorage", "TraceFile"), std::make_pair(DWORD(REG_SZ), std::string("C:\\Storage.txt")));
}

TEST(TraceSettings, ARefusedSixtyFourBitViewIsRetriedWithoutItWhenReadingAndWriting)
{
    CDefaultServer server(ModuleKey("QmFarlink", RegLine("ConDebugLevel", RegDword(3))),
                          "[Registry]\nDeny64BitView=HKLM\\SOFTWARE\\Debug\nDeny64BitView=HKLM\\SOFTWARE\\Debug\\QmFarlink\n");
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    TraceModule* pFarlink = Find(rows, "QmFarlink");
    ASSERT_NE(pFarlink, nullptr);
    EXPECT_EQ(pFarlink->dwConLevel, 3u);
    EXPECT_EQ(pFarlink->bRegistered, 1u);

    std::vector<TraceModule*> selection = {pFarlink};
    settings.ShowSelection(selection);
    TraceFieldEdits edits;
    edits.fileLimit = 7;
    ASSERT_TRUE(settings.TakeFields(selection, edits));
    settings.ApplyChanges();
    EXPECT_EQ(ModuleValue("QmFarlink", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("7")));
}

// ------------------------------------------------------------------ the fields of one selection


TEST(TraceSettings, ATypedLevelCountsOnceAndAllTracesOffIsNotUndoneByIt)
{
    CDefaultServer server;
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    TraceModule* pStorage = Find(rows, "RvStorage");
    TraceFieldEdits typed = FieldsAsShown(settings.Select({pStorage}));
    typed.conLevel = 7;
    EXPECT_TRUE(settings.TypeFields(typed));
    EXPECT_EQ(pStorage->dwConLevel, 7u);
    EXPECT_FALSE(settings.TypeFields(typed));  // the same text again is no new edit

    EXPECT_TRUE(settings.AllTracesOff(rows));
    // The field still holding the 7 when Apply takes the fields changes nothing.
    EXPECT_FALSE(settings.TypeFields(typed));
    EXPECT_EQ(pStorage->dwConLevel, 0u);
    EXPECT_EQ(settings.RefreshFields().conLevel, 0u);
    settings.ApplyChanges();
    EXPECT_EQ(ModuleValue("RvStorage", "ConDebugLevel"), std::make_pair(DWORD(REG_DWORD), std::string("0")));
}

TEST(TraceSettings, FieldsShowTheSelectionsCurrentValuesAndNothingWithoutOne)
{
    CDefaultServer server(
        ModuleKey("QmFarlink", RegLine("FileDebugLevel", RegDword(1)) + RegLine("TraceFile", RegString("C:\\Qm.txt")) +
                                   RegLine("TraceFileLimit", RegDword(10))) +
        ModuleKey("QmFarRcci", RegLine("FileDebugLevel", RegDword(3)) + RegLine("TraceFile", RegString("C:\\Qm.txt")) +
                                   RegLine("TraceFileLimit", RegDword(50))));
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    TraceModule* pFarlink = Find(rows, "QmFarlink");
    TraceFieldEdits typed = FieldsAsShown(settings.Select({pFarlink}));
    EXPECT_TRUE(settings.ShownFields().bEnabled);
    typed.winLevel = 2;
    ASSERT_TRUE(settings.TypeFields(typed));
    settings.ApplyChanges();
    // Apply raised the shared file's limit; the fields say so.
    EXPECT_EQ(settings.RefreshFields().fileLimit, 50u);

    settings.RemoveModules({pFarlink});
    const TraceFields& empty = settings.ShownFields();
    EXPECT_FALSE(empty.bEnabled);
    EXPECT_FALSE(empty.conLevel || empty.fileLevel || empty.winLevel || empty.fileLimit || empty.traceFile);
    EXPECT_TRUE(settings.Selection().empty());
    typed.conLevel = 5;
    EXPECT_FALSE(settings.TypeFields(typed));
    EXPECT_EQ(Find(rows, "QmFarRcci")->dwConLevel, 0u);
}

TEST(TraceSettings, AModuleRemovedAndAppliedStaysRemovedAtTheNextApply)
{
    CDefaultServer server(ModuleKey("QmFarlink", RegLine("FileDebugLevel", RegDword(3)) +
                                                     RegLine("TraceFile", RegString("C:\\Qm.txt"))));
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    settings.RemoveModules({Find(rows, "QmFarlink")});
    settings.ApplyChanges();
    EXPECT_FALSE(KeyExists("SOFTWARE\\Debug\\QmFarlink"));
    std::vector<std::string> names = NamesOf(settings.Combined().records);
    EXPECT_EQ(std::count(names.begin(), names.end(), "QmFarlink"), 0);

    settings.ApplyChanges();
    EXPECT_FALSE(KeyExists("SOFTWARE\\Debug\\QmFarlink"));
    EXPECT_FALSE(settings.HasChanges());
}

TEST(TraceSettings, ChangingTheSelectionWritesOnlyWhatTheUserChangedToTheRowsItWasShownFor)
{
    CDefaultServer server(ModuleKey("QmFarlink", RegLine("ThreadIdOn", RegDword(1)) + RegLine("CpuIdOn", RegDword(1))));
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    TraceModule* pFarlink = Find(rows, "QmFarlink");
    TraceModule* pRcci = Find(rows, "QmFarRcci");
    TraceModule* pXfer = Find(rows, "QmFarXfer");

    // One module, Ctrl-click a second, click a third: the boxes showing the first one's flags are no edit.
    settings.Select({pFarlink});
    EXPECT_FALSE(settings.TypeFields(FieldsAsShown(settings.ShownFields())));
    settings.Select({pFarlink, pRcci});
    EXPECT_EQ(settings.ShownFields().threadId, TraceFields::CHECKED);
    EXPECT_FALSE(settings.TypeFields(FieldsAsShown(settings.ShownFields())));
    settings.Select({pXfer});
    EXPECT_FALSE(view.bApplyEnabled);
    EXPECT_EQ(pRcci->bThreadIdOn, 0u);
    EXPECT_FALSE(settings.HasChanges());

    // A box the user clicks counts for every row it was shown for, and only for those.
    TraceFieldEdits typed = FieldsAsShown(settings.Select({pFarlink, pRcci}));
    typed.cpuId = TraceFields::UNCHECKED;
    EXPECT_TRUE(settings.TypeFields(typed));
    EXPECT_EQ(pFarlink->bCpuIdOn, 0u);
    EXPECT_EQ(pRcci->bCpuIdOn, 0u);
    EXPECT_EQ(pRcci->bThreadIdOn, 0u);
    EXPECT_EQ(pXfer->bModified, 0u);
}

TEST(TraceSettings, TheCloseBoxAsksTheSaveQuestionToo)
{
    CDefaultServer server;
    CFakeView view;
    CTraceSettings settings(view);
    ASSERT_EQ(settings.ScanModules(), 1u);
    EXPECT_EQ(settings.Close(), 0);
    EXPECT_TRUE(view.questions.empty());

    std::vector<TraceModule*> rows = settings.FillVisible(TraceFilter());
    TraceFieldEdits typed = FieldsAsShown(settings.Select({Find(rows, "RvPower")}));
    typed.fileLevel = 4;
    ASSERT_TRUE(settings.TypeFields(typed));
    view.nAnswer = IDYES;
    EXPECT_EQ(settings.Close(), 0);
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0].caption, "Save new settings");
    EXPECT_EQ(ModuleValue("RvPower", "FileDebugLevel"), std::make_pair(DWORD(REG_DWORD), std::string("4")));
}
