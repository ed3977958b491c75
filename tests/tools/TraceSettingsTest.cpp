// The trace settings editor's logic on the sample server: the modules it gathers, what the fields and
// buttons do to them, and what Apply writes.
#include "src/tools/TraceSettings.h"

#include "tests/support/DefaultServer.h"
#include "tests/support/TraceFile.h"
#include "tests/tools/TraceKeys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <list>
#include <memory>
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

const std::string& NameOf(const TraceModule& module) { return module.strName; }
const std::string& NameOf(const TraceModule* pModule) { return pModule->strName; }

// The names of records or rows, in their order.
template <typename Modules>
std::vector<std::string> NamesOf(const Modules& modules)
{
    std::vector<std::string> names;
    for (const auto& module : modules)
        names.push_back(NameOf(module));
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

// A key's value names in the order they were written.
std::vector<std::string> ValueNames(const std::string& module)
{
    std::vector<std::string> names;
    CScopedRegKey key = ModuleKeyOpen(module);
    for (DWORD dwIndex = 0; key.IsValid(); ++dwIndex) {
        char szName[64] = "";
        DWORD cchName = sizeof szName;
        if (RegEnumValueA(key.Get(), dwIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(szName);
    }
    return names;
}

const std::vector<std::string> SAMPLE_MODULES = {"Triagist",  "RvSmbios", "RvPciScan", "RvStorage",
                                                 "RvPower",   "RvRemote", "VEXIL",     "Ravelind",
                                                 "VivIvud",   "RavelinControls", "QmFarlink", "QmFarRcci",
                                                 "QmFarXfer"};

// The editor on the sample server, with the keys a case adds.
class TraceSettingsTest : public ::testing::Test {
protected:
    void Load(const std::string& registry = "", const std::string& labIni = "")
    {
        m_pServer = std::make_unique<CDefaultServer>(registry, labIni);
    }
    // Loaded and scanned; the rows of every source.
    std::vector<TraceModule*> Scan(const std::string& registry = "", const std::string& labIni = "")
    {
        Load(registry, labIni);
        EXPECT_EQ(m_settings.ScanModules(), 1u);
        return m_settings.FillVisible(TraceFilter());
    }

    std::unique_ptr<CDefaultServer> m_pServer;
    CFakeView m_view;
    CTraceSettings m_settings{m_view};
};

}  // namespace

TEST_F(TraceSettingsTest, TheSampleServersModulesFromTheirSourcesWithTheirTrace)
{
    Load(PLAIN_TRACE);
    CTraceFile trace(m_pServer->Profile().Scratch() + "/trace.log", 2);
    trace.Take();
    EXPECT_EQ(m_settings.ScanModules(), 1u);

    EXPECT_EQ(NamesOf(m_settings.Combined().records), SAMPLE_MODULES);
    EXPECT_EQ(NamesOf(m_settings.Registered().records), (std::vector<std::string>{"Triagist"}));
    EXPECT_TRUE(m_settings.SnmpAgents().records.empty());
    EXPECT_EQ(NamesOf(m_settings.Farlink().records), (std::vector<std::string>{"QmFarlink", "QmFarRcci", "QmFarXfer"}));
    EXPECT_FALSE(m_settings.DynamicUpdate());

    // The program's own module as the sample server registers it, the trace turned on for the test.
    const TraceModule& triagist = m_settings.Combined().records.front();
    EXPECT_EQ(triagist.bRegistered, 1u);
    EXPECT_EQ(triagist.dwFileLevel, 2u);
    EXPECT_EQ(triagist.dwFileLimit, 10u);
    EXPECT_EQ(triagist.bTimeStampOn, 0u);
    EXPECT_EQ(triagist.bModified, 0u);
    // Unregistered modules keep the defaults of a new record with their source's trace file.
    const TraceModule& smbios = *std::next(m_settings.Combined().records.begin());
    EXPECT_EQ(smbios.bRegistered, 0u);
    EXPECT_EQ(smbios.strTraceFile, "C:\\Vexil.txt");
    EXPECT_EQ(smbios.dwFileLimit, 50u);
    EXPECT_EQ(smbios.bTimeStampOn, 1u);
    EXPECT_EQ(m_settings.Farlink().records.back().strTraceFile, "C:\\QmFarXfer.txt");

    std::string expected = PREFIX + "Scan debug settings in registry..." + PREFIX + "Found module Triagist" + PREFIX +
                           "Read settings module \"Triagist\"" + PREFIX + "Scan Ravelin extension modules...";
    for (const char* pszModule : {"RvSmbios", "RvPciScan", "RvStorage", "RvPower", "RvRemote"})
        expected += PREFIX + "Found module " + pszModule;
    expected += PREFIX + "No more modules found!" + PREFIX + "Scan Quillmont agents...";
    EXPECT_EQ(trace.Take(), expected);
}

TEST_F(TraceSettingsTest, ARegisteredSnmpAgentIsListedOnceWithItsRegisteredSettingsUnderBothFilters)
{
    Scan("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Server_MIB]\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Status_mib]\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\" "SERVER_MIB]\r\n" +
         RegLine("ConDebugLevel", RegDword(3)) + RegLine("TraceFile", RegString("C:\\Srv.txt")) +
         "\r\n");
    // The agent's key name differs in case only: one record, the registered one.
    EXPECT_EQ(NamesOf(m_settings.SnmpAgents().records), (std::vector<std::string>{"Server_MIB"}));
    std::vector<std::string> names = NamesOf(m_settings.Combined().records);
    EXPECT_EQ(std::count(names.begin(), names.end(), "SERVER_MIB"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Server_MIB"), 0);

    TraceFilter registeredOnly{false, false, false, true};
    std::vector<TraceModule*> rows = m_settings.FillVisible(registeredOnly);
    EXPECT_EQ(NamesOf(rows), (std::vector<std::string>{"SERVER_MIB", "Triagist"}));
    EXPECT_EQ(rows[0]->dwConLevel, 3u);
    EXPECT_EQ(rows[0]->strTraceFile, "C:\\Srv.txt");

    // The filter compares names exactly, as the rows show them.
    TraceFilter snmpOnly{false, true, false, false};
    EXPECT_TRUE(m_settings.FillVisible(snmpOnly).empty());
}

TEST_F(TraceSettingsTest, TheFilterBoxesChooseTheRowsSortedByName)
{
    Scan();

    EXPECT_EQ(NamesOf(m_settings.FillVisible(TraceFilter())),
              (std::vector<std::string>{"QmFarlink", "QmFarRcci", "QmFarXfer", "RavelinControls", "Ravelind",
                                        "RvPciScan", "RvPower", "RvRemote", "RvSmbios", "RvStorage", "Triagist",
                                        "VEXIL", "VivIvud"}));
    EXPECT_EQ(NamesOf(m_settings.FillVisible(TraceFilter{false, false, true, false})),
              (std::vector<std::string>{"QmFarlink", "QmFarRcci", "QmFarXfer"}));
    std::vector<TraceModule*> none = m_settings.FillVisible(TraceFilter{false, false, false, false});
    EXPECT_TRUE(none.empty());
    for (const TraceModule& module : m_settings.Combined().records)
        EXPECT_EQ(module.bVisible, 0u) << module.strName;
}

TEST_F(TraceSettingsTest, ALevelColumnSortsHighestFirstAndByNameWithinALevel)
{
    Scan(ModuleKey("QmFarXfer", RegLine("FileDebugLevel", RegDword(2))) +
         ModuleKey("RvPower", RegLine("FileDebugLevel", RegDword(5))) +
         ModuleKey("qmFarlink", RegLine("FileDebugLevel", RegDword(2))));
    std::vector<TraceModule*> rows = m_settings.FillVisible(TraceFilter{false, false, false, true});
    CTraceSettings::SortRows(rows, TraceColumn::FILE_LEVEL);
    EXPECT_EQ(NamesOf(rows), (std::vector<std::string>{"RvPower", "qmFarlink", "QmFarXfer", "Triagist"}));
    CTraceSettings::SortRows(rows, TraceColumn::NAME);
    EXPECT_EQ(NamesOf(rows), (std::vector<std::string>{"qmFarlink", "QmFarXfer", "RvPower", "Triagist"}));
}

TEST_F(TraceSettingsTest, TwoSelectedModulesShowWhatTheyShareAndTakeTheTypedLevel)
{
    std::vector<TraceModule*> rows = Scan(ModuleKey("QmFarlink", RegLine("ConDebugLevel", RegDword(1)) +
                                                    RegLine("DateStampOn", RegDword(1))) +
                                          ModuleKey("QmFarRcci", RegLine("ConDebugLevel", RegDword(2))));
    std::vector<TraceModule*> selection = {Find(rows, "QmFarlink"), Find(rows, "QmFarRcci")};

    TraceFields fields = m_settings.ShowSelection(selection);
    EXPECT_FALSE(fields.conLevel.has_value());
    EXPECT_EQ(fields.fileLevel, 0u);
    EXPECT_EQ(fields.fileLimit, 50u);
    EXPECT_FALSE(fields.traceFile.has_value());  // C:\QmFarlink.txt and C:\QmFarRcci.txt
    EXPECT_EQ(fields.dateStamp, TraceFields::INDETERMINATE);
    EXPECT_EQ(fields.timeStamp, TraceFields::CHECKED);
    EXPECT_EQ(selection[0]->bSelected, 1u);
    EXPECT_EQ(selection[1]->bSelected, 1u);

    // Leaving the stamps as they stand changes nothing.
    EXPECT_FALSE(m_settings.TakeFields(selection, TraceFieldEdits()));
    EXPECT_FALSE(m_view.bApplyEnabled);

    TraceFieldEdits edits;
    edits.conLevel = 4;
    EXPECT_TRUE(m_settings.TakeFields(selection, edits));
    EXPECT_TRUE(m_view.bApplyEnabled);
    for (TraceModule* pModule : selection) {
        EXPECT_EQ(pModule->dwConLevel, 4u) << pModule->strName;
        EXPECT_EQ(pModule->bModified, 1u) << pModule->strName;
        EXPECT_EQ(pModule->bDateStampOn, pModule->strName == "QmFarlink" ? 1u : 0u);
    }
    EXPECT_EQ(Find(rows, "QmFarXfer")->bModified, 0u);

    // Rows no longer selected take nothing.
    CTraceSettings::ClearSelectedMarks(selection);
    edits.conLevel = 6;
    EXPECT_FALSE(m_settings.TakeFields(selection, edits));
    EXPECT_EQ(selection[0]->dwConLevel, 4u);
}

TEST_F(TraceSettingsTest, ModulesSharingATraceFileRotateItAtTheLargestLimitAndTheFieldsSaySo)
{
    std::vector<TraceModule*> rows = Scan(
        ModuleKey("QmFarlink", RegLine("FileDebugLevel", RegDword(1)) + RegLine("TraceFile", RegString("C:\\Qm.txt")) +
                                   RegLine("TraceFileLimit", RegDword(10))) +
        ModuleKey("QmFarRcci", RegLine("FileDebugLevel", RegDword(3)) + RegLine("TraceFile", RegString("c:\\QM.TXT")) +
                                   RegLine("TraceFileLimit", RegDword(50))) +
        // Without file output it keeps its limit though it names the file.
        ModuleKey("QmFarXfer", RegLine("TraceFile", RegString("C:\\Qm.txt")) + RegLine("TraceFileLimit", RegDword(5))));
    TraceModule* pFarlink = Find(rows, "QmFarlink");
    TraceFieldEdits typed = FieldsAsShown(m_settings.Select({pFarlink}));
    EXPECT_TRUE(m_settings.ShownFields().bEnabled);
    typed.winLevel = 1;
    ASSERT_TRUE(m_settings.TypeFields(typed));

    m_settings.ApplyChanges();
    EXPECT_FALSE(m_view.bApplyEnabled);
    EXPECT_EQ(ModuleValue("QmFarlink", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("50")));
    EXPECT_EQ(ModuleValue("QmFarlink", "WinDebugLevel"), std::make_pair(DWORD(REG_DWORD), std::string("1")));
    EXPECT_EQ(ModuleValue("QmFarRcci", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("50")));
    EXPECT_EQ(ModuleValue("QmFarXfer", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("5")));
    EXPECT_FALSE(m_settings.HasChanges());
    // The fields show the raised limit.
    EXPECT_EQ(m_settings.RefreshFields().fileLimit, 50u);

    // Without a selection the fields are empty and take no input.
    m_settings.RemoveModules({pFarlink});
    const TraceFields& empty = m_settings.ShownFields();
    EXPECT_FALSE(empty.bEnabled);
    EXPECT_FALSE(empty.conLevel || empty.fileLevel || empty.winLevel || empty.fileLimit || empty.traceFile);
    EXPECT_TRUE(m_settings.Selection().empty());
    typed.conLevel = 5;
    EXPECT_FALSE(m_settings.TypeFields(typed));
    EXPECT_EQ(Find(rows, "QmFarRcci")->dwConLevel, 0u);
}

TEST_F(TraceSettingsTest, ApplyWritesEveryModuleWithFileOutputAndTheGlobalSwitch)
{
    // Only a level and an expandable path: Apply completes the key, the path as plain text.
    Scan(ModuleKey("RvPower", RegLine("FileDebugLevel", RegDword(2)) +
                   "\"TraceFile\"=hex(2):43,00,3a,00,5c,00,50,00,2e,00,74,00,78,00,"
                   "74,00,00,00\r\n"));
    m_settings.SetDynamicUpdate(true);
    EXPECT_TRUE(m_view.bApplyEnabled);
    EXPECT_FALSE(m_settings.HasChanges());  // the switch alone is no module change
    m_settings.ApplyChanges();

    EXPECT_EQ(ModuleValue("RvPower", "TraceFile"), std::make_pair(DWORD(REG_SZ), std::string("C:\\P.txt")));
    EXPECT_EQ(ModuleValue("RvPower", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("50")));
    EXPECT_EQ(ModuleValue("RvPower", "TimeStampOn"), std::make_pair(DWORD(REG_DWORD), std::string("1")));
    EXPECT_EQ(ModuleValue("RvPower", "HandleCountOn"), std::make_pair(DWORD(0), std::string("no value")));
    EXPECT_FALSE(ModuleKeyOpen("RvSmbios").IsValid());

    EXPECT_EQ(ModuleValue("", "DynamicUpdate"), std::make_pair(DWORD(REG_DWORD), std::string("1")));

    // Written again at the next Apply though nothing changed: a component may have rewritten it.
    HKEY hPower = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug\\RvPower", 0, KEY_SET_VALUE, &hPower), ERROR_SUCCESS);
    DWORD dwLimit = 3;
    RegSetValueExA(hPower, "TraceFileLimit", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwLimit), sizeof dwLimit);
    RegCloseKey(hPower);
    m_settings.ApplyChanges();
    EXPECT_EQ(ModuleValue("RvPower", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("50")));
}

TEST_F(TraceSettingsTest, ANewModuleIsWrittenAndARemovedOneDeletedWithItsSubkeys)
{
    Scan(ModuleKey("Old", RegLine("ConDebugLevel", RegDword(1))) +
         ModuleKey("Old\\Sub", RegLine("X", RegDword(1))) +
         ModuleKey("Old\\Sub\\Deeper", RegLine("Y", RegDword(1))) +
         ModuleKey("Old\\Other", ""));

    TraceModule* pFoo = m_settings.NewModule("Foo");
    EXPECT_EQ(pFoo->strName, "Foo");
    EXPECT_EQ(pFoo->strTraceFile, "C:\\Foo.txt");
    EXPECT_EQ(pFoo->bModified, 1u);
    EXPECT_TRUE(m_view.bApplyEnabled);
    EXPECT_EQ(NamesOf(m_settings.Combined().records).back(), "Foo");
    // It joins no source, so the filters do not show it.
    std::vector<TraceModule*> rows = m_settings.FillVisible(TraceFilter());
    EXPECT_EQ(std::count(rows.begin(), rows.end(), pFoo), 0);

    m_view.bApplyEnabled = false;
    m_settings.RemoveModules({Find(rows, "Old")});
    EXPECT_TRUE(m_view.bApplyEnabled);
    EXPECT_TRUE(m_settings.HasChanges());
    m_settings.ApplyChanges();

    EXPECT_EQ(ModuleValue("Foo", "TraceFile"), std::make_pair(DWORD(REG_SZ), std::string("C:\\Foo.txt")));
    EXPECT_EQ(ValueNames("Foo"), (std::vector<std::string>{"ConDebugLevel", "FileDebugLevel", "WinDebugLevel",
                                                          "TimeStampOn", "DateStampOn", "ThreadIdOn", "CpuIdOn",
                                                          "AppNameOn", "MemUsageOn", "TraceFile", "TraceFileLimit"}));
    EXPECT_FALSE(ModuleKeyOpen("Old").IsValid());
    EXPECT_TRUE(ModuleKeyOpen("Triagist").IsValid());
    EXPECT_FALSE(m_settings.HasChanges());
}

TEST_F(TraceSettingsTest, AHostWithoutTheAgentsKeyStillShowsTheOtherModules)
{
    Load(
        PLAIN_TRACE + "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\UUID\\C3681B60-0D26-11D3-8319-00A0C9B61E25]\r\n" +
        RegLine("Quillmont SNMP Agents", RegString("hklm\\SOFTWARE\\Nowhere")) + "\r\n");
    CTraceFile trace(m_pServer->Profile().Scratch() + "/trace.log", 1);
    trace.Take();
    EXPECT_EQ(m_settings.ScanModules(), 1u);
    EXPECT_EQ(trace.Take(), PREFIX + "ERROR 0x2! OpenUUIDPointer FAILED!");
    EXPECT_EQ(NamesOf(m_settings.Combined().records), SAMPLE_MODULES);

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
    EXPECT_EQ(m_settings.ScanModules(), 1u);
    EXPECT_EQ(trace.Take(), PREFIX + "ERROR 0x6! OpenUUIDPointer FAILED!");
}

TEST_F(TraceSettingsTest, TheAgentsPointerMayNameItsHive)
{
    Scan(
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\UUID\\C3681B60-0D26-11D3-8319-00A0C9B61E25]\r\n" +
        RegLine("Quillmont SNMP Agents", RegString("HKEY_Current_User\\Software\\Agents")) + "\r\n" +
        "[HKEY_CURRENT_USER\\Software\\Agents\\Power_MIB]\r\n\r\n[HKEY_CURRENT_USER\\Software\\Agents\\Other]\r\n\r\n");
    EXPECT_EQ(NamesOf(m_settings.SnmpAgents().records), (std::vector<std::string>{"Power_MIB"}));
    EXPECT_EQ(m_settings.SnmpAgents().records.front().strTraceFile, "C:\\Power_MIB.txt");
}

TEST_F(TraceSettingsTest, WithoutTheModuleFileTheScanFailsButListsTheFixedModules)
{
    Load(PLAIN_TRACE +
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup]\r\n" +
         RegLine("FileRoot", RegString("C:\\Nowhere")) + "\r\n");
    CTraceFile trace(m_pServer->Profile().Scratch() + "/trace.log", 1);
    trace.Take();
    EXPECT_EQ(m_settings.ScanModules(), 0u);
    EXPECT_EQ(trace.Take(), PREFIX + "ERROR! Could not open Module.ini in \"C:\\Nowhere\\Module.ini\"");
    EXPECT_EQ(NamesOf(m_settings.Ravelin().records),
              (std::vector<std::string>{"VEXIL", "Ravelind", "VivIvud", "RavelinControls"}));
}

TEST_F(TraceSettingsTest, DeleteTraceAsksAndReportsAFailureWithTheSystemsReason)
{
    Load();
    testsupport::WriteText(m_pServer->Profile().Scratch() + "/t.txt", "line\r\n");
    std::string path = lab::host::Drives::WindowsPath(m_pServer->Profile().Scratch() + "/t.txt");
    ASSERT_TRUE(CTraceSettings::TraceFileExists(path));

    m_view.nAnswer = IDNO;
    m_settings.DeleteTrace(path);
    EXPECT_TRUE(CTraceSettings::TraceFileExists(path));
    m_view.nAnswer = IDYES;
    m_settings.DeleteTrace(path);
    EXPECT_FALSE(CTraceSettings::TraceFileExists(path));
    EXPECT_EQ(m_view.questions.size(), 2u);
    EXPECT_TRUE(m_view.questions[1] == (CFakeView::Question{"Delete trace file " + path + "?", "Confirm", 0x24}));

    m_settings.DeleteTrace(path);
    ASSERT_EQ(m_view.questions.size(), 4u);
    EXPECT_TRUE(m_view.questions[3] ==
                (CFakeView::Question{"Delete trace file " + path +
                                         " failed! 0x00000002: The system cannot find the file specified!",
                                     "Error!", 0x10}));
    EXPECT_EQ(SystemErrorText(0x2A3B4C5D), "0x2A3B4C5D");
    EXPECT_EQ(CTraceSettings::ViewTraceCommand("C:\\Trace.txt"), "start notepad C:\\Trace.txt");
}

TEST_F(TraceSettingsTest, ExitAndTheCloseBoxAskToSaveOnlyWhenModulesChanged)
{
    std::vector<TraceModule*> rows = Scan();
    m_settings.SetDynamicUpdate(true);
    EXPECT_EQ(m_settings.Exit(), 1);
    EXPECT_EQ(m_settings.Close(), 0);
    EXPECT_TRUE(m_view.questions.empty());

    std::vector<TraceModule*> selection = {Find(rows, "RvStorage")};
    m_settings.ShowSelection(selection);
    TraceFieldEdits edits;
    edits.traceFile = "C:\\Storage.txt";
    ASSERT_TRUE(m_settings.TakeFields(selection, edits));
    m_view.nAnswer = IDNO;
    EXPECT_EQ(m_settings.Exit(), 1);
    ASSERT_EQ(m_view.questions.size(), 1u);
    EXPECT_TRUE(m_view.questions[0] == (CFakeView::Question{"Settings were changed. Save new settings?",
                                                            "Save new settings", 0x24}));
    EXPECT_FALSE(ModuleKeyOpen("RvStorage").IsValid());

    m_view.nAnswer = IDYES;
    EXPECT_EQ(m_settings.Close(), 0);
    ASSERT_EQ(m_view.questions.size(), 2u);
    EXPECT_TRUE(m_view.questions[1] == m_view.questions[0]);
    EXPECT_EQ(ModuleValue("RvStorage", "TraceFile"), std::make_pair(DWORD(REG_SZ), std::string("C:\\Storage.txt")));
}

TEST_F(TraceSettingsTest, ARefusedSixtyFourBitViewIsRetriedWithoutItWhenReadingAndWriting)
{
    std::vector<TraceModule*> rows = Scan(ModuleKey("QmFarlink", RegLine("ConDebugLevel", RegDword(3))),
                                          "[Registry]\nDeny64BitView=HKLM\\SOFTWARE\\Debug\nDeny64BitView=HKLM\\SOFTWARE\\Debug\\QmFarlink\n");
    TraceModule* pFarlink = Find(rows, "QmFarlink");
    ASSERT_NE(pFarlink, nullptr);
    EXPECT_EQ(pFarlink->dwConLevel, 3u);
    EXPECT_EQ(pFarlink->bRegistered, 1u);

    std::vector<TraceModule*> selection = {pFarlink};
    m_settings.ShowSelection(selection);
    TraceFieldEdits edits;
    edits.fileLimit = 7;
    ASSERT_TRUE(m_settings.TakeFields(selection, edits));
    m_settings.ApplyChanges();
    EXPECT_EQ(ModuleValue("QmFarlink", "TraceFileLimit"), std::make_pair(DWORD(REG_DWORD), std::string("7")));
}

TEST_F(TraceSettingsTest, AllTracesOffTurnsEveryRowsLevelsOffAndATypedLevelDoesNotUndoIt)
{
    std::vector<TraceModule*> rows = Scan(ModuleKey("QmFarlink", RegLine("WinDebugLevel", RegDword(4))));
    TraceModule* pStorage = Find(rows, "RvStorage");
    TraceFieldEdits typed = FieldsAsShown(m_settings.Select({pStorage}));
    typed.conLevel = 7;
    EXPECT_TRUE(m_settings.TypeFields(typed));
    EXPECT_EQ(pStorage->dwConLevel, 7u);
    EXPECT_FALSE(m_settings.TypeFields(typed));  // the same text again is no new edit

    EXPECT_TRUE(m_settings.AllTracesOff(rows));
    for (const TraceModule* pModule : rows)
        EXPECT_EQ(pModule->bModified, pModule == pStorage || pModule->strName == "QmFarlink" ? 1u : 0u)
            << pModule->strName;
    EXPECT_EQ(Find(rows, "QmFarlink")->dwWinLevel, 0u);
    EXPECT_FALSE(m_settings.AllTracesOff(rows));
    // The field still holding the 7 when Apply takes the fields changes nothing.
    EXPECT_FALSE(m_settings.TypeFields(typed));
    EXPECT_EQ(pStorage->dwConLevel, 0u);
    EXPECT_EQ(m_settings.RefreshFields().conLevel, 0u);
    m_settings.ApplyChanges();
    EXPECT_EQ(ModuleValue("RvStorage", "ConDebugLevel"), std::make_pair(DWORD(REG_DWORD), std::string("0")));
}

TEST_F(TraceSettingsTest, AModuleRemovedAndAppliedStaysRemovedAtTheNextApply)
{
    std::vector<TraceModule*> rows = Scan(ModuleKey("QmFarlink", RegLine("FileDebugLevel", RegDword(3)) +
                                                    RegLine("TraceFile", RegString("C:\\Qm.txt"))));
    m_settings.RemoveModules({Find(rows, "QmFarlink")});
    m_settings.ApplyChanges();
    EXPECT_FALSE(ModuleKeyOpen("QmFarlink").IsValid());
    std::vector<std::string> names = NamesOf(m_settings.Combined().records);
    EXPECT_EQ(std::count(names.begin(), names.end(), "QmFarlink"), 0);

    m_settings.ApplyChanges();
    EXPECT_FALSE(ModuleKeyOpen("QmFarlink").IsValid());
    EXPECT_FALSE(m_settings.HasChanges());
}

TEST_F(TraceSettingsTest, ChangingTheSelectionWritesOnlyWhatTheUserChangedToTheRowsItWasShownFor)
{
    std::vector<TraceModule*> rows = Scan(ModuleKey("QmFarlink", RegLine("ThreadIdOn", RegDword(1)) + RegLine("CpuIdOn", RegDword(1))));
    TraceModule* pFarlink = Find(rows, "QmFarlink");
    TraceModule* pRcci = Find(rows, "QmFarRcci");
    TraceModule* pXfer = Find(rows, "QmFarXfer");

    // One module, Ctrl-click a second, click a third: the boxes showing the first one's flags are no edit.
    m_settings.Select({pFarlink});
    EXPECT_FALSE(m_settings.TypeFields(FieldsAsShown(m_settings.ShownFields())));
    m_settings.Select({pFarlink, pRcci});
    EXPECT_EQ(m_settings.ShownFields().threadId, TraceFields::CHECKED);
    EXPECT_FALSE(m_settings.TypeFields(FieldsAsShown(m_settings.ShownFields())));
    m_settings.Select({pXfer});
    EXPECT_FALSE(m_view.bApplyEnabled);
    EXPECT_EQ(pRcci->bThreadIdOn, 0u);
    EXPECT_FALSE(m_settings.HasChanges());

    // A box the user clicks counts for every row it was shown for, and only for those.
    TraceFieldEdits typed = FieldsAsShown(m_settings.Select({pFarlink, pRcci}));
    typed.cpuId = TraceFields::UNCHECKED;
    EXPECT_TRUE(m_settings.TypeFields(typed));
    EXPECT_EQ(pFarlink->bCpuIdOn, 0u);
    EXPECT_EQ(pRcci->bCpuIdOn, 0u);
    EXPECT_EQ(pRcci->bThreadIdOn, 0u);
    EXPECT_EQ(pXfer->bModified, 0u);
}
