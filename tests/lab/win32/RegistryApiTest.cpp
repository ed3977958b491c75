// The lab's registry as a profile describes it: its order, its views, its deny switch and where changes persist.
// What every Windows registry does is tested in both builds, in tests/lab/api.
#include "lab/win32/Windows.h"

#include "lab/host/Host.h"
#include "tests/lab/ApiTestSupport.h"
#include "tests/lab/LabTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using apitest::SubkeyNames;
using lab::host::Host;

namespace {

const char* const kProfileRegistry =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\Triagist]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Quillmont\\Agents]\r\n"
    "\"Root\"=\"C:\\\\Program Files (x86)\\\\Quillmont\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities]\r\n"
    "\"public\"=dword:00000004\r\n"
    "\"monitor\"=\"monitor\"\r\n"
    "\"private\"=dword:00000008\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\Zed]\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\alpha]\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\Mid]\r\n";

const char* const kCommunities = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\ValidCommunities";
const char* const kApplicationLog = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application";

// A profile of the registry above with the 64-bit view of HKLM\SOFTWARE\Debug denied, and its own state.
class RegistryApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::WriteText(m_profile.File("registry.reg"), kProfileRegistry);
        testsupport::WriteText(m_profile.File("lab.ini"), "[Registry]\nDeny64BitView=HKLM\\SOFTWARE\\Debug\n");
        Host::Instance().LoadProfile(m_profile.Path(), m_state.Path());
    }
    HKEY Open(HKEY hParent, const char* pszSubKey, REGSAM sam = KEY_READ)
    {
        return m_keys.Open(hParent, pszSubKey, sam);
    }
    HKEY Create(HKEY hParent, const char* pszSubKey) { return m_keys.Create(hParent, pszSubKey); }

    labtest::ScratchDir m_profile;
    labtest::ScratchDir m_state;
    labtest::RestoreProfile m_restore;
    apitest::OpenKeys m_keys;  // closed before the machine goes back
};

}  // namespace

// Windows promises no order of values; the lab keeps the profile's, as Windows keeps the order of creation.
TEST_F(RegistryApiTest, ValuesEnumerateInTheProfilesOrder)
{
    EXPECT_EQ(apitest::ValueNames(Open(HKEY_LOCAL_MACHINE, kCommunities)),
              (std::vector<std::string>{"public", "monitor", "private"}));
}

// The profile's WOW6432Node is the 32-bit view of HKLM\SOFTWARE.
TEST_F(RegistryApiTest, ProfileKeysBelowWow6432NodeAreTheThirtyTwoBitView)
{
    HKEY hKey = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillmont\\Agents", 0, 0xF013F, &hKey),
              ERROR_FILE_NOT_FOUND);
    hKey = Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillmont\\Agents", 0xF023F);
    char root[260];
    DWORD size = sizeof root;
    ASSERT_EQ(RegQueryValueExA(hKey, "Root", nullptr, nullptr, reinterpret_cast<BYTE*>(root), &size), ERROR_SUCCESS);
    EXPECT_STREQ(root, "C:\\Program Files (x86)\\Quillmont");
}

TEST_F(RegistryApiTest, DeniedSixtyFourBitViewRefusesCreatingToo)
{
    // lab.ini denies HKLM\SOFTWARE\Debug in the 64-bit view; the program's retry without the flag is its own suites'.
    HKEY hCreated = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug", 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY,
                              nullptr, &hCreated, nullptr),
              ERROR_ACCESS_DENIED);
    // The module key below it is not denied.
    Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug\\Triagist", 0xF013F);
}

TEST_F(RegistryApiTest, ChangesPersistInTheStateDirectoryOnly)
{
    std::string profileBefore = testsupport::ReadText(m_profile.File("registry.reg"));
    HKEY hKey = Create(HKEY_CURRENT_USER, "Software\\Marrowby\\Triagist");
    DWORD cy = 480;
    ASSERT_EQ(RegSetValueExA(hKey, "dialog_121_cy", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&cy), 4),
              ERROR_SUCCESS);
    HKEY hCommunities = Open(HKEY_LOCAL_MACHINE, kCommunities, KEY_ALL_ACCESS);
    ASSERT_EQ(RegDeleteValueA(hCommunities, "monitor"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\Zed"),
              ERROR_SUCCESS);
    EXPECT_EQ(testsupport::ReadText(m_profile.File("registry.reg")), profileBefore);

    // The same state directory: a later run sees the changes.
    Host::Instance().LoadProfile(m_profile.Path(), m_state.Path());
    HKEY hReopened = Open(HKEY_CURRENT_USER, "Software\\Marrowby\\Triagist");
    DWORD value = 0;
    DWORD size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(hReopened, "dialog_121_cy", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 480u);
    size = 0;
    EXPECT_EQ(RegQueryValueExA(Open(HKEY_LOCAL_MACHINE, kCommunities), "monitor", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SubkeyNames(Open(HKEY_LOCAL_MACHINE, kApplicationLog)), (std::vector<std::string>{"alpha", "Mid"}));

    // The deny switch comes from the profile, not from the saved state.
    HKEY hDenied = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug", 0, KEY_READ | KEY_WOW64_64KEY, &hDenied),
              ERROR_ACCESS_DENIED);

    // A fresh state directory starts again from the profile.
    labtest::ScratchDir fresh;
    Host::Instance().LoadProfile(m_profile.Path(), fresh.Path());
    HKEY hMissing = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Marrowby\\Triagist", 0, KEY_READ, &hMissing),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, ConnectRegistryReachesNoOtherMachine)
{
    HKEY hRemote = nullptr;
    EXPECT_EQ(RegConnectRegistryA("\\\\elsewhere", HKEY_LOCAL_MACHINE, &hRemote), 53);
}
