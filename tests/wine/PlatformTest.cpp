// The maintenance tools against Wine's own registry, service manager and Windows Installer: what the lab imitates,
// checked against the real thing.
//
//   PlatformTest.exe [GoogleTest options]
//
// Its environment names what the script prepared: PLATFORM_TEST_MSI, the small installer database built at test time.
// ServiceStandIn.exe lies beside it.
#include "src/platform/ScopedHandle.h"
#include "src/sysaccess/ServiceMgr.h"
#include "src/tools/AgentRestart.h"
#include "src/tools/MsiCleanup.h"
#include "src/tools/TraceSettings.h"
#include "src/trace/TraceSettingsNames.h"
#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::ReadText;

std::string ThisDirectory()
{
    char szPath[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string strPath = szPath;
    return strPath.substr(0, strPath.find_last_of('\\'));
}

std::string TempPath(const std::string& strName)
{
    char szTemp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, szTemp);
    return std::string(szTemp) + strName;
}

// Starts a command line; the process, not valid when it could not be started.
CScopedHandle Spawn(const std::string& strCommand)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> command(strCommand.begin(), strCommand.end());
    command.push_back('\0');
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return CScopedHandle();
    CScopedHandle hThread(process.hThread);
    return CScopedHandle(process.hProcess);
}

// Runs a command line and waits for it; its exit code, or -1 when it could not be started.
long RunAndWait(const std::string& strCommand, DWORD dwTimeoutMs = 120000)
{
    CScopedHandle hProcess = Spawn(strCommand);
    if (!hProcess.IsValid() || WaitForSingleObject(hProcess.Get(), dwTimeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD dwExit = 0;
    GetExitCodeProcess(hProcess.Get(), &dwExit);
    return static_cast<long>(dwExit);
}

bool KeyExists(HKEY hRoot, const std::string& strPath)
{
    CScopedRegKey key;
    return RegOpenKeyExA(hRoot, strPath.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

// --- Windows Installer ---------------------------------------------------------------------------------------------

// The product the .wxs beside this file describes.
const char PRODUCT_CODE[] = "{6E3B2C41-8F0D-4A7E-9B15-2C7D4E8A9F01}";
const char PRODUCT_NAME[] = "Triagist Platform Test Product";
const char COMPONENT_ID[] = "{A4C1E2D3-5B6F-4789-8A0B-1C2D3E4F5A6B}";

class CAnsweringCleanupView : public IMsiCleanupView {
public:
    int Ask(const std::string&, const std::string&, UINT) override { return IDYES; }
    void Show(const std::string& strText, const std::string&, UINT) override { shown.push_back(strText); }
    bool ChooseDatabase(std::string& strPath) override
    {
        strPath = database;
        return true;
    }
    std::string database;
    std::vector<std::string> shown;
};

// The test product in the clean-up's list of products, or null.
const MsiProductEntry* TestProduct(const CMsiCleanup& cleanup)
{
    for (const MsiProductEntry& product : cleanup.Products())
        if (product.strCode == PRODUCT_CODE)
            return &product;
    return nullptr;
}

bool ProductListed()
{
    CAnsweringCleanupView view;
    CMsiCleanup cleanup(view);
    cleanup.ListProducts();
    return TestProduct(cleanup) != nullptr;
}

class InstallerRegistration : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* pszDatabase = std::getenv("PLATFORM_TEST_MSI");
        ASSERT_NE(pszDatabase, nullptr) << "PLATFORM_TEST_MSI names no installer database";
        m_strDatabase = pszDatabase;
        ASSERT_EQ(RunAndWait("msiexec /i \"" + m_strDatabase + "\" /qn"), 0);
    }
    void TearDown() override { RunAndWait("msiexec /x \"" + m_strDatabase + "\" /qn"); }

    std::string m_strDatabase;
};

// Windows enumerates the features of every installed product; Wine 8's MsiEnumFeatures looks only at per-user
// registrations and finds none for a per-machine product, so there the features' own entries stay for the clean-up.
const char WINE_NO_MACHINE_FEATURES[] = "Wine's fault: MsiEnumFeatures lists no features of a per-machine product";

bool InstallerListsFeatures()
{
    char szFeature[MAX_FEATURE_CHARS + 1] = "";
    char szParent[MAX_FEATURE_CHARS + 1] = "";
    return MsiEnumFeaturesA(PRODUCT_CODE, 0, szFeature, szParent) == ERROR_SUCCESS;
}

std::string ComponentKey()
{
    std::string strPacked;
    PackGuid(COMPONENT_ID, strPacked);
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\" + strPacked;
}

bool ComponentNamesProduct(const std::string& strPacked)
{
    CScopedRegKey key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, ComponentKey().c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS &&
           RegQueryValueExA(key.Get(), strPacked.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

TEST_F(InstallerRegistration, ProductsAreListedWithTheirFeatures)
{
    if (!InstallerListsFeatures())
        GTEST_SKIP() << WINE_NO_MACHINE_FEATURES;
    CAnsweringCleanupView view;
    CMsiCleanup cleanup(view);
    cleanup.ListProducts();
    const MsiProductEntry* product = TestProduct(cleanup);
    ASSERT_NE(product, nullptr);
    ASSERT_EQ(product->features.size(), 1u);
    EXPECT_EQ(product->features[0].strName, "Probe");
    EXPECT_EQ(product->features[0].strTitle, "Probe files");
}

TEST_F(InstallerRegistration, CleanRegistrationMakesTheInstallerForgetTheProduct)
{
    ASSERT_EQ(MsiQueryProductStateA(PRODUCT_CODE), INSTALLSTATE_DEFAULT);
    CAnsweringCleanupView view;
    CMsiCleanup cleanup(view);
    cleanup.ListProducts();
    const MsiProductEntry* product = TestProduct(cleanup);
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->strName, PRODUCT_NAME);
    char szInstalled[MAX_PATH] = "";
    DWORD cchInstalled = MAX_PATH;
    ASSERT_EQ(MsiGetComponentPathA(PRODUCT_CODE, COMPONENT_ID, szInstalled, &cchInstalled), INSTALLSTATE_LOCAL);
    std::string strPacked;
    ASSERT_TRUE(PackGuid(PRODUCT_CODE, strPacked));
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Installer\\Products\\" + strPacked));
    ASSERT_TRUE(ComponentNamesProduct(strPacked));
    bool bFeaturesListed = InstallerListsFeatures();

    EXPECT_EQ(cleanup.CleanRegistration(m_strDatabase.c_str()), 1u);

    EXPECT_FALSE(ProductListed());
    EXPECT_EQ(MsiQueryProductStateA(PRODUCT_CODE), INSTALLSTATE_UNKNOWN);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Installer\\Products\\" + strPacked));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Installer\\Features\\" + strPacked));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE,
                           "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\" +
                               strPacked));
    // The component no longer names the product as a client; found through the product's features.
    if (bFeaturesListed)
        EXPECT_FALSE(ComponentNamesProduct(strPacked));
    else
        std::printf("note: component client entry not checked: %s\n", WINE_NO_MACHINE_FEATURES);
    // Nothing was uninstalled.
    EXPECT_NE(GetFileAttributesA(szInstalled), INVALID_FILE_ATTRIBUTES) << szInstalled;
    EXPECT_TRUE(view.shown.empty());
}

TEST_F(InstallerRegistration, CleanAsksAndRefusesADatabaseOfAnotherProduct)
{
    CAnsweringCleanupView view;
    CMsiCleanup cleanup(view);
    MsiProductEntry other;
    other.strCode = "{00000000-1111-2222-3333-444444444444}";
    other.strName = "Other";
    view.database = m_strDatabase;
    cleanup.Clean(other);
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0], "The selected installer database does not match the product code?");
    EXPECT_TRUE(ProductListed());
}

// --- Service manager: the restart ----------------------------------------------------------------------------------

struct StandInService {
    const char* pszName;
    const char* pszDisplayName;
    const char* pszDependencies;  // double-NUL terminated
};

// The agents' services as the restart finds them: the base service and SNMP, a dependent of the base service, and
// an agent that needs both.
const StandInService SERVICES[] = {
    {"Ravelind", "Ravelin Base Service", "\0"},
    {"SNMP", "SNMP Service", "\0"},
    {"RavelindEvents", "Ravelin Event Forwarder", "Ravelind\0"},
    {"QmSnmpAgent", "Quillmont SNMP Agent", "Ravelind\0SNMP\0"},
};

// The questions answered as the windowless restart does, with every status line kept.
class CRecordingRestartView : public CWindowlessRestartView {
public:
    void ShowStatus(const std::string& strText) override { status.push_back(strText); }
    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override
    {
        questions.push_back(strText);
        return CWindowlessRestartView::Ask(strText, strCaption, uStyle);
    }
    std::vector<std::string> status;
    std::vector<std::string> questions;
};

class ServiceRestart : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_strJournal = TempPath("services.journal");
        DeleteFileA(m_strJournal.c_str());
        m_Manager.Reset(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(m_Manager.IsValid()) << GetLastError();
        std::string strImage = ThisDirectory() + "\\ServiceStandIn.exe";
        for (const StandInService& service : SERVICES) {
            std::string strCommand = "\"" + strImage + "\" " + service.pszName + " \"" + m_strJournal + "\"";
            CScopedServiceHandle handle(CreateServiceA(m_Manager.Get(), service.pszName, service.pszDisplayName,
                                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, strCommand.c_str(),
                                                       nullptr, nullptr, service.pszDependencies, nullptr, nullptr));
            ASSERT_TRUE(handle.IsValid()) << service.pszName << ": " << GetLastError();
        }
    }

    // In dependency order, one at a time: what a running server looks like before the restart.
    void StartAll()
    {
        CServiceMgr manager(CServiceMgr::NeverAsk());
        ASSERT_EQ(manager.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), 0u);
        for (const StandInService& service : SERVICES)
            ASSERT_EQ(manager.StartService(service.pszName, 0, nullptr, FALSE, 20000), 0u) << service.pszName;
        DeleteFileA(m_strJournal.c_str());
    }

    void TearDown() override
    {
        CServiceMgr manager(CServiceMgr::NeverAsk());
        manager.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        for (auto it = std::rbegin(SERVICES); it != std::rend(SERVICES); ++it) {
            manager.StopService(it->pszName, FALSE, 20000);
            CScopedServiceHandle handle(OpenServiceA(m_Manager.Get(), it->pszName, DELETE));
            DeleteService(handle.Get());
        }
        std::string strFail = m_strJournal + ".fail.Ravelind";
        DeleteFileA(strFail.c_str());
    }

    // The services started, then restarted as the windowless restart does with its questions and status lines kept;
    // the journal of the restart. The service named by pszFailing fails its next start.
    std::vector<std::string> Restart(DWORD bFullRestart, DWORD dwExpected, const char* pszFailing = nullptr)
    {
        StartAll();
        if (HasFatalFailure())
            return {};
        if (pszFailing)
            std::ofstream(m_strJournal + ".fail." + pszFailing).put('1');
        EXPECT_EQ(CAgentRestart(m_view).RestartAgents(1, 1, 0, bFullRestart), dwExpected);
        return Journal();
    }

    // The journal's lines, in the order the stand-ins wrote them.
    std::vector<std::string> Journal() const
    {
        std::vector<std::string> lines;
        std::istringstream text(ReadText(m_strJournal));
        for (std::string strLine; std::getline(text, strLine);) {
            if (!strLine.empty() && strLine.back() == '\r')
                strLine.pop_back();
            lines.push_back(strLine);
        }
        return lines;
    }

    static long Position(const std::vector<std::string>& journal, const std::string& strLine)
    {
        auto it = std::find(journal.begin(), journal.end(), strLine);
        return it == journal.end() ? -1 : static_cast<long>(it - journal.begin());
    }

    // Every service stopped after those that depend on it and started after those it depends on.
    static void ExpectDependencyOrder(const std::vector<std::string>& journal, const std::string& strService,
                                      const std::string& strDependency)
    {
        SCOPED_TRACE(strService + " depends on " + strDependency);
        EXPECT_LT(Position(journal, "stop " + strService), Position(journal, "stop " + strDependency));
        EXPECT_LT(Position(journal, "start " + strDependency), Position(journal, "start " + strService));
    }

    // Windows lists a service's dependents; Wine 8's EnumDependentServices is a stub that lists none, so there a
    // restart cannot find them, and its stop (which Windows refuses while dependents run) goes ahead without them.
    bool ManagerListsDependents()
    {
        CScopedServiceHandle service(OpenServiceA(m_Manager.Get(), "Ravelind", SERVICE_ENUMERATE_DEPENDENTS));
        ENUM_SERVICE_STATUSA entries[8];
        DWORD cbNeeded = 0;
        DWORD dwCount = 0;
        return EnumDependentServicesA(service.Get(), SERVICE_STATE_ALL, entries, sizeof entries, &cbNeeded,
                                      &dwCount) &&
               dwCount == 2;
    }

    bool Running(const char* pszService)
    {
        DWORD dwState = 0;
        CServiceMgr manager(CServiceMgr::NeverAsk());
        return manager.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS) == 0 &&
               manager.QueryStatus(pszService, &dwState) == 0 && dwState == SERVICE_RUNNING;
    }

    std::string m_strJournal;
    CScopedServiceHandle m_Manager;
    CRecordingRestartView m_view;
};

const char WINE_NO_DEPENDENTS[] = "Wine's fault: EnumDependentServices lists no dependents (a stub in Wine 8)";

// SNMP goes down before the base service and comes back after it, which Wine's manager can show too; where the
// manager lists dependents, each of them goes down first, after a question, and comes back last.
TEST_F(ServiceRestart, FullRestartStopsDependentsFirstAndStartsThemLast)
{
    std::vector<std::string> journal = Restart(1, 1u);
    ExpectDependencyOrder(journal, "SNMP", "Ravelind");
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "start Ravelind"), 1) << ReadText(m_strJournal);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "start SNMP"), 1) << ReadText(m_strJournal);
    EXPECT_TRUE(Running("Ravelind"));
    EXPECT_TRUE(Running("SNMP"));
    if (!ManagerListsDependents()) {
        std::printf("note: dependents not checked: %s\n", WINE_NO_DEPENDENTS);
        return;
    }
    ASSERT_EQ(journal.size(), 8u) << ReadText(m_strJournal);
    for (const StandInService& service : SERVICES) {
        EXPECT_EQ(std::count(journal.begin(), journal.end(), std::string("stop ") + service.pszName), 1);
        EXPECT_TRUE(Running(service.pszName)) << service.pszName;
    }
    // All four are down before the first comes back.
    EXPECT_EQ(journal[3].rfind("stop ", 0), 0u);
    EXPECT_EQ(journal[4].rfind("start ", 0), 0u);
    ExpectDependencyOrder(journal, "RavelindEvents", "Ravelind");
    ExpectDependencyOrder(journal, "QmSnmpAgent", "Ravelind");
    ExpectDependencyOrder(journal, "QmSnmpAgent", "SNMP");
    EXPECT_EQ(m_view.questions.size(), 2u);
}

TEST_F(ServiceRestart, SnmpRestartLeavesTheBaseServiceAlone)
{
    if (!ManagerListsDependents())
        GTEST_SKIP() << WINE_NO_DEPENDENTS;
    EXPECT_EQ(Restart(0, 1u),
              (std::vector<std::string>{"stop QmSnmpAgent", "stop SNMP", "start SNMP", "start QmSnmpAgent"}));
    for (const StandInService& service : SERVICES)
        EXPECT_TRUE(Running(service.pszName)) << service.pszName;
}

// A base service that fails its start must not leave the agents down: what the restart stopped is started again, in
// dependency order, and the run still counts as failed.
TEST_F(ServiceRestart, FailedStartStartsAgainWhatTheRestartStopped)
{
    std::vector<std::string> journal = Restart(1, 0u, "Ravelind");
    EXPECT_LT(Position(journal, "failed Ravelind"), Position(journal, "start Ravelind")) << ReadText(m_strJournal);
    ExpectDependencyOrder(journal, "SNMP", "Ravelind");
    for (const StandInService& service : SERVICES)
        EXPECT_TRUE(Running(service.pszName)) << service.pszName;
    if (ManagerListsDependents()) {
        ExpectDependencyOrder(journal, "RavelindEvents", "Ravelind");
        ExpectDependencyOrder(journal, "QmSnmpAgent", "Ravelind");
        ExpectDependencyOrder(journal, "QmSnmpAgent", "SNMP");
    }
    // The status line says the services were started again.
    ASSERT_FALSE(m_view.status.empty());
    EXPECT_EQ(std::count(m_view.status.begin(), m_view.status.end(), LoadLocalizedString(IDS_RESTART_RECOVERING)), 1);
    EXPECT_EQ(m_view.status.back(), LoadLocalizedString(IDS_RESTART_RECOVERED));
}

// --- Trace settings ------------------------------------------------------------------------------------------------

class CAgreeingTraceView : public ITraceSettingsView {
public:
    void EnableApply(bool) override {}
    int Ask(const std::string&, const std::string&, UINT) override { return IDYES; }
};

const char PROBE_MODULE[] = "PlatformProbe";

class TraceSettingsPickedUp : public ::testing::Test {
protected:
    void TearDown() override
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(TRACE_SETTINGS_KEY) + "\\" + PROBE_MODULE).c_str());
        CTraceSettings::SaveGlobalValue(TRACE_DYNAMIC_UPDATE, 0);
        DeleteFileA(m_strTraceFile.c_str());
    }

    // The editor's steps for one module: select it, type into the fields, Apply.
    static void Edit(CTraceSettings& editor, TraceModule* pModule, const TraceFieldEdits& edits)
    {
        std::vector<TraceModule*> selection{pModule};
        editor.ShowSelection(selection);
        editor.TakeFields(selection, edits);
        editor.ApplyChanges();
    }

    // The stand-in as a second process that traces as the probe module for that long.
    static std::string ProbeCommand(int nMilliseconds)
    {
        return "\"" + ThisDirectory() + "\\ServiceStandIn.exe\" -TRACE " + PROBE_MODULE + " " +
               std::to_string(nMilliseconds);
    }

    std::string m_strTraceFile = TempPath("PlatformProbe.txt");
};

TEST_F(TraceSettingsPickedUp, ARunningProcessTracesOnceTheEditorAppliesALevel)
{
    DeleteFileA(m_strTraceFile.c_str());
    CAgreeingTraceView view;
    CTraceSettings editor(view);
    editor.SetDynamicUpdate(true);
    TraceModule* pModule = editor.NewModule(PROBE_MODULE);
    TraceFieldEdits path;
    path.traceFile = m_strTraceFile;
    Edit(editor, pModule, path);

    CScopedHandle ticking(CreateEventA(nullptr, TRUE, FALSE, (std::string(PROBE_MODULE) + ".ticking").c_str()));
    CScopedHandle hProcess = Spawn(ProbeCommand(4000));
    ASSERT_TRUE(hProcess.IsValid());

    ASSERT_EQ(WaitForSingleObject(ticking.Get(), 20000), WAIT_OBJECT_0);
    EXPECT_EQ(GetFileAttributesA(m_strTraceFile.c_str()), INVALID_FILE_ATTRIBUTES) << "traced at level 0";
    TraceFieldEdits level;
    level.fileLevel = 1;
    level.appName = TraceFields::CHECKED;
    Edit(editor, pModule, level);

    ASSERT_EQ(WaitForSingleObject(hProcess.Get(), 20000), WAIT_OBJECT_0);
    std::string strTrace = ReadText(m_strTraceFile);
    // Taken up while it ran: neither the first ticks nor the last are missing by accident.
    EXPECT_EQ(strTrace.find("PlatformProbe: tick 0\r"), std::string::npos) << strTrace;
    EXPECT_NE(strTrace.find("PlatformProbe: tick 79"), std::string::npos) << strTrace;
    // The line fields the editor switched on.
    EXPECT_NE(strTrace.find("] PlatformProbe: PlatformProbe: tick"), std::string::npos) << strTrace;
}

TEST_F(TraceSettingsPickedUp, AModuleRemovedByTheEditorNoLongerTraces)
{
    CAgreeingTraceView view;
    CTraceSettings editor(view);
    TraceModule* pModule = editor.NewModule(PROBE_MODULE);
    TraceFieldEdits edits;
    edits.traceFile = m_strTraceFile;
    edits.fileLevel = 2;
    Edit(editor, pModule, edits);
    ASSERT_EQ(RunAndWait(ProbeCommand(100)), 0);
    EXPECT_NE(ReadText(m_strTraceFile).find("PlatformProbe: tick 1"), std::string::npos);

    DeleteFileA(m_strTraceFile.c_str());
    editor.RemoveModules({pModule});
    editor.ApplyChanges();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(TRACE_SETTINGS_KEY) + "\\" + PROBE_MODULE));
    ASSERT_EQ(RunAndWait(ProbeCommand(100)), 0);
    EXPECT_EQ(GetFileAttributesA(m_strTraceFile.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
