// The lab's service control manager against its Windows contract: rights, buffers, states, faults, persistence.
#include "lab/host/ServiceTable.h"
#include "lab/win32/ServiceControl.h"
#include "src/platform/Win32.h"
#include "tests/lab/LabTestSupport.h"
#include "tests/support/ServiceProfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using lab::host::Host;
using labtest::ErrorOf;

namespace {

// Leaf comes before Left in the file but depends on it, so Left starts first.
const char kServices[] =
    "[Base]\n"
    "DisplayName=Base Service\n"
    "Type=0x10\n"
    "Start=auto\n"
    "BinaryPath=C:\\base\\base.exe -k\n"
    "ObjectName=LocalSystem\n"
    "State=running\n"
    "Accept=0x3\n"
    "WaitHint=2500\n"
    "StartTime=3000\n"
    "StopTime=2000\n"
    "\n"
    "[Leaf]\n"
    "DisplayName=Leaf Dependent\n"
    "DependOnService=Left\n"
    "State=running\n"
    "StartTime=1000\n"
    "\n"
    "[Left]\n"
    "DisplayName=Left Dependent\n"
    "DependOnService=Base\n"
    "State=running\n"
    "\n"
    "[Right]\n"
    "DisplayName=Right Dependent\n"
    "DependOnService=Base\n"
    "State=stopped\n"
    "\n"
    "[Driver]\n"
    "Type=0x1\n"
    "Start=system\n"
    "State=stopped\n";

// The manager and a service handle of a test, closed at its end.
class Handles {
public:
    Handles() : m_hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}
    ~Handles()
    {
        for (SC_HANDLE h : m_opened)
            CloseServiceHandle(h);
        if (m_hManager)
            CloseServiceHandle(m_hManager);
    }
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;

    SC_HANDLE Manager() const { return m_hManager; }
    SC_HANDLE Open(const char* pszName, DWORD dwAccess = SERVICE_ALL_ACCESS)
    {
        SC_HANDLE h = OpenServiceA(m_hManager, pszName, dwAccess);
        if (h)
            m_opened.push_back(h);
        return h;
    }

private:
    SC_HANDLE m_hManager;
    std::vector<SC_HANDLE> m_opened;
};

SERVICE_STATUS Status(SC_HANDLE h)
{
    SERVICE_STATUS status;
    std::memset(&status, 0xCC, sizeof status);
    EXPECT_TRUE(QueryServiceStatus(h, &status)) << GetLastError();
    return status;
}

DWORD StateOf(const char* pszName)
{
    Handles handles;
    SC_HANDLE h = handles.Open(pszName, SERVICE_QUERY_STATUS);
    return h ? Status(h).dwCurrentState : 0;
}

void Advance(uint64_t ms)
{
    Host::Instance().TheClock().Advance(ms);
}

}  // namespace

// ------------------------------------------------------------------ handles and rights

TEST(ServicesOpen, ManagerAndServiceHandlesAsThePlatformGivesThem)
{
    CServiceProfile lab(kServices + std::string("\n[Guarded]\nDeniedAccess=0x20\nState=running\n"),
                        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
                        "\"ComputerName\"=\"QMFS-TEST\"\r\n",
                        "[Services]\nDeniedAccess=0x2\n");
    EXPECT_EQ(ErrorOf(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)), 5u);
    lab::win32::SetServiceManagerDenied(SC_MANAGER_CONNECT);
    EXPECT_EQ(ErrorOf(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE)), 5u);  // connect is implied
    lab::win32::SetServiceManagerDenied(0);
    // The machine's own name, in either form, is the local machine.
    for (const char* pszLocal : {"QMFS-TEST", "\\\\qmfs-test"}) {
        SC_HANDLE h = OpenSCManagerA(pszLocal, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_CONNECT);
        EXPECT_NE(h, nullptr) << pszLocal;
        CloseServiceHandle(h);
    }

    Handles handles;
    ASSERT_NE(handles.Manager(), nullptr);
    EXPECT_EQ(ErrorOf(handles.Open("Guarded", GENERIC_EXECUTE)), 5u);
    // The maximum allowed leaves out what is denied.
    SC_HANDLE hMax = handles.Open("Guarded", 0x02000000);
    ASSERT_NE(hMax, nullptr);
    SERVICE_STATUS status{};
    EXPECT_EQ(ErrorOf(ControlService(hMax, SERVICE_CONTROL_STOP, &status)), 5u);
    EXPECT_TRUE(QueryServiceStatus(hMax, &status));

    // Each call needs its right on the handle; a generic right maps to the specific ones.
    SC_HANDLE hStatus = handles.Open("Base", SERVICE_QUERY_STATUS);
    ASSERT_NE(hStatus, nullptr);
    DWORD cbNeeded = 0, dwCount = 0;
    EXPECT_EQ(ErrorOf(EnumDependentServicesA(hStatus, SERVICE_ACTIVE, nullptr, 0, &cbNeeded, &dwCount)), 5u);
    EXPECT_EQ(ErrorOf(StartServiceA(hStatus, 0, nullptr)), 5u);
    EXPECT_EQ(ErrorOf(ControlService(hStatus, SERVICE_CONTROL_STOP, &status)), 5u);
    EXPECT_EQ(ErrorOf(QueryServiceConfigA(handles.Open("Base", GENERIC_READ), nullptr, 0, &cbNeeded)), 122u);
}

// ------------------------------------------------------------------ buffer protocols

TEST(ServicesBuffers, ConfigurationAndDisplayNameFollowTheSizeProtocol)
{
    CServiceProfile lab(kServices);
    Handles handles;
    SC_HANDLE h = handles.Open("Left", SERVICE_QUERY_CONFIG);
    DWORD cbNeeded = 0;
    EXPECT_EQ(ErrorOf(QueryServiceConfigA(h, nullptr, 0, &cbNeeded)), 122u);
    ASSERT_GT(cbNeeded, sizeof(QUERY_SERVICE_CONFIGA));
    std::vector<BYTE> buffer(cbNeeded + 16, 0xEE);
    auto* pConfig = reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(buffer.data());
    DWORD cbAgain = 0;
    EXPECT_EQ(ErrorOf(QueryServiceConfigA(h, pConfig, cbNeeded - 1, &cbAgain)), 122u);
    EXPECT_EQ(cbAgain, cbNeeded);
    ASSERT_TRUE(QueryServiceConfigA(h, pConfig, cbNeeded, &cbAgain));
    EXPECT_EQ(buffer[cbNeeded], 0xEE);  // nothing written past the size it asked for
    EXPECT_EQ(pConfig->dwStartType, 3u);  // demand start unless said otherwise
    EXPECT_STREQ(pConfig->lpDisplayName, "Left Dependent");
    EXPECT_STREQ(pConfig->lpDependencies, "Base");
    EXPECT_EQ(pConfig->lpDependencies[5], '\0');  // the list ends in an empty string

    // A too small buffer is told the characters without the terminator.
    char szName[64];
    DWORD cch = 12;  // "Base Service" is 12 characters
    EXPECT_EQ(ErrorOf(GetServiceDisplayNameA(handles.Manager(), "Base", szName, &cch)), 122u);
    EXPECT_EQ(cch, 12u);
    cch = sizeof szName;
    ASSERT_TRUE(GetServiceDisplayNameA(handles.Manager(), "Driver", szName, &cch));
    EXPECT_STREQ(szName, "Driver");  // a service without a display name shows its key name
}

TEST(ServicesBuffers, DependentsComeInReverseStartOrderWithTheirNamesInTheBlock)
{
    CServiceProfile lab(kServices);
    Handles handles;
    SC_HANDLE h = handles.Open("Base", SERVICE_ENUMERATE_DEPENDENTS);
    DWORD cbNeeded = 0, dwCount = 99;
    EXPECT_EQ(ErrorOf(EnumDependentServicesA(h, SERVICE_STATE_ALL, nullptr, 0, &cbNeeded, &dwCount)), 234u);
    EXPECT_EQ(dwCount, 0u);
    std::vector<BYTE> block(cbNeeded);
    auto* pEntries = reinterpret_cast<LPENUM_SERVICE_STATUSA>(block.data());
    ASSERT_TRUE(EnumDependentServicesA(h, SERVICE_STATE_ALL, pEntries, cbNeeded, &cbNeeded, &dwCount));
    ASSERT_EQ(dwCount, 3u);
    // Start order Base, Left, Leaf, Right: Leaf waits for Left although the file names it first.
    EXPECT_STREQ(pEntries[0].lpServiceName, "Right");
    EXPECT_STREQ(pEntries[1].lpServiceName, "Leaf");
    EXPECT_STREQ(pEntries[2].lpServiceName, "Left");
    EXPECT_STREQ(pEntries[1].lpDisplayName, "Leaf Dependent");
    EXPECT_EQ(pEntries[0].ServiceStatus.dwCurrentState, 1u);
    EXPECT_EQ(pEntries[1].ServiceStatus.dwCurrentState, 4u);
    for (DWORD i = 0; i < dwCount; ++i) {
        EXPECT_GE(reinterpret_cast<BYTE*>(pEntries[i].lpServiceName), block.data() + 3 * sizeof(ENUM_SERVICE_STATUSA));
        EXPECT_LT(reinterpret_cast<BYTE*>(pEntries[i].lpDisplayName), block.data() + block.size());
    }

    EXPECT_EQ(ErrorOf(EnumDependentServicesA(h, 4, nullptr, 0, &cbNeeded, &dwCount)), 87u);

    // A short buffer keeps the entries that fit and still asks for all.
    DWORD cbAll = static_cast<DWORD>(block.size());
    DWORD cbOne = sizeof(ENUM_SERVICE_STATUSA) + sizeof("Right") + sizeof("Right Dependent");
    ASSERT_EQ(ErrorOf(EnumDependentServicesA(h, SERVICE_STATE_ALL, pEntries, cbOne + 8, &cbNeeded, &dwCount)), 234u);
    EXPECT_EQ(dwCount, 1u);
    EXPECT_EQ(cbNeeded, cbAll);
    EXPECT_STREQ(pEntries[0].lpDisplayName, "Right Dependent");
}

// ------------------------------------------------------------------ states and controls
// How long a start or stop pends on the lab clock is what CServiceMgr's suite times.

TEST(ServicesStates, ControlsAreRefusedAsThePlatformRefusesThem)
{
    CServiceProfile lab(kServices);
    Handles handles;
    SC_HANDLE hRight = handles.Open("Right");
    SERVICE_STATUS status{};
    EXPECT_EQ(ErrorOf(ControlService(hRight, SERVICE_CONTROL_STOP, &status)), 1062u);
    EXPECT_EQ(status.dwCurrentState, 1u);  // filled for this refusal

    std::memset(&status, 0, sizeof status);
    EXPECT_EQ(ErrorOf(ControlService(handles.Open("Base"), SERVICE_CONTROL_STOP, &status)), 1051u);  // Left, Leaf run
    EXPECT_EQ(status.dwCurrentState, 0u);                                                          // not filled

    // While pending nothing but an interrogation gets through.
    lab::win32::ChangeService("Right", [](lab::host::ServiceEntry& entry) { entry.startMs = 500; });
    ASSERT_TRUE(StartServiceA(hRight, 0, nullptr));
    EXPECT_EQ(ErrorOf(ControlService(hRight, SERVICE_CONTROL_STOP, &status)), 1061u);
    EXPECT_EQ(status.dwCurrentState, 2u);
    EXPECT_TRUE(ControlService(hRight, SERVICE_CONTROL_INTERROGATE, &status));
}

TEST(ServicesStates, AStartFirstStartsWhatTheServiceDependsOn)
{
    CServiceProfile lab("[Base]\nStartTime=3000\n[Middle]\nDependOnService=Base\nStartTime=1000\n"
                        "[Top]\nDependOnService=Middle\nStartTime=500\n[Off]\nStart=disabled\n"
                        "[NeedsOff]\nDependOnService=Off\n[Orphan]\nDependOnService=Missing\n");
    Handles handles;
    ASSERT_TRUE(StartServiceA(handles.Open("Top"), 0, nullptr));
    EXPECT_EQ(StateOf("Base"), 2u);
    EXPECT_EQ(StateOf("Middle"), 2u);
    Advance(4000);  // Base after 3000, Middle 1000 later
    EXPECT_EQ(StateOf("Middle"), 4u);
    EXPECT_EQ(StateOf("Top"), 2u);
    Advance(500);
    EXPECT_EQ(StateOf("Top"), 4u);

    EXPECT_EQ(ErrorOf(StartServiceA(handles.Open("NeedsOff"), 0, nullptr)), 1068u);
    EXPECT_EQ(ErrorOf(StartServiceA(handles.Open("Orphan"), 0, nullptr)), 1075u);
    EXPECT_EQ(StateOf("NeedsOff"), 1u);
}

// ------------------------------------------------------------------ faults

TEST(ServicesFaults, ALockedDatabaseLeavesConfigurationAndDependentsReadable)
{
    CServiceProfile lab(kServices, "", "[Services]\nLocked=always\n");
    Handles handles;
    SC_HANDLE hRight = handles.Open("Right");
    SERVICE_STATUS status{};
    DWORD cbNeeded = 0, dwCount = 0;
    EXPECT_EQ(ErrorOf(QueryServiceConfigA(hRight, nullptr, 0, &cbNeeded)), 122u);
    EXPECT_EQ(ErrorOf(EnumDependentServicesA(hRight, SERVICE_ACTIVE, nullptr, 0, &cbNeeded, &dwCount)), 0u);
    EXPECT_EQ(ErrorOf(QueryServiceStatus(hRight, &status)), 1055u);
}

// ------------------------------------------------------------------ persistence

TEST(ServicesPersistence, StatesAndStartArgumentsSurviveALaterRun)
{
    CServiceProfile lab(kServices + std::string("\n[Stuck]\nStartHangs=1\n"));
    Host::Instance().ClearJournal();
    {
        Handles handles;
        SERVICE_STATUS status{};
        ASSERT_TRUE(ControlService(handles.Open("Leaf"), SERVICE_CONTROL_STOP, &status));
        LPCSTR args[] = {"/RESCAN", "two words"};
        ASSERT_TRUE(StartServiceA(handles.Open("Right"), 2, args));
        ASSERT_TRUE(ControlService(handles.Open("Base"), SERVICE_CONTROL_PAUSE, &status));
        EXPECT_EQ(lab::win32::ServiceStartArguments("right"),
                  (std::vector<std::vector<std::string>>{{"/RESCAN", "two words"}}));
        ASSERT_TRUE(StartServiceA(handles.Open("Stuck"), 0, nullptr));
        lab::win32::ChangeService("Left", [](lab::host::ServiceEntry& e) { e.stopMs = 9000; });
        ASSERT_TRUE(ControlService(handles.Open("Left"), SERVICE_CONTROL_STOP, &status));
        EXPECT_EQ(StateOf("Left"), 3u);
    }
    EXPECT_EQ(Host::Instance().Journal(),
              (std::vector<std::string>{"ControlService Leaf 1 -> 0", "StartServiceA Right \"/RESCAN\" \"two words\" -> 0",
                                        "ControlService Base 2 -> 0", "StartServiceA Stuck -> 0",
                                        "ControlService Left 1 -> 0"}));

    // A pending state is saved as where it ends; one that hangs stays pending.
    lab.Reload();
    EXPECT_EQ(StateOf("Leaf"), 1u);
    EXPECT_EQ(StateOf("Right"), 4u);
    EXPECT_EQ(StateOf("Base"), 7u);
    EXPECT_EQ(StateOf("Left"), 1u);
    Advance(3600000);
    EXPECT_EQ(StateOf("Stuck"), 2u);
    EXPECT_TRUE(lab::win32::ServiceStartArguments("Right").empty());  // this run's starts only
    lab::host::ServiceEntry entry;
    ASSERT_TRUE(Host::Instance().Services().Find("Right", entry));
    EXPECT_EQ(entry.starts, 1u);
    EXPECT_EQ(entry.lastArguments, (std::vector<std::string>{"/RESCAN", "two words"}));
}

TEST(ServicesPersistence, AChangedProfileOrAResetStartsFromTheProfileAgain)
{
    CServiceProfile lab(kServices);
    {
        Handles handles;
        ASSERT_TRUE(StartServiceA(handles.Open("Right"), 0, nullptr));
    }
    Host::Instance().ResetState();
    EXPECT_EQ(StateOf("Right"), 1u);

    {
        Handles handles;
        ASSERT_TRUE(StartServiceA(handles.Open("Right"), 0, nullptr));
    }
    lab.Profile().Write("services.ini", kServices + std::string("\n[Extra]\n"));
    lab.Reload();
    EXPECT_EQ(StateOf("Right"), 1u);
    EXPECT_EQ(StateOf("Extra"), 1u);
}
