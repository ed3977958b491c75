// The lab's registry functions against their Windows contract: sizes, enumeration, handles, rights, views, persistence.
#include "lab/win32/Windows.h"

#include "lab/host/Host.h"
#include "tests/lab/LabTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using lab::host::Host;

namespace {

const char* const kProfileRegistry =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug]\r\n"
    "\"DynamicUpdate\"=dword:00000001\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\Triagist]\r\n"
    "\"FileDebugLevel\"=dword:00000003\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
    "\"RegisteredOrganization\"=\"Marrowby\"\r\n"
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
    void TearDown() override
    {
        for (HKEY hKey : m_opened)
            RegCloseKey(hKey);
    }

    HKEY Open(HKEY hParent, const char* pszSubKey, REGSAM sam = KEY_READ)
    {
        HKEY hKey = nullptr;
        EXPECT_EQ(RegOpenKeyExA(hParent, pszSubKey, 0, sam, &hKey), ERROR_SUCCESS) << pszSubKey;
        m_opened.push_back(hKey);
        return hKey;
    }

    HKEY Create(HKEY hParent, const char* pszSubKey)
    {
        HKEY hKey = nullptr;
        EXPECT_EQ(RegCreateKeyExA(hParent, pszSubKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
                  ERROR_SUCCESS)
            << pszSubKey;
        m_opened.push_back(hKey);
        return hKey;
    }

    std::vector<std::string> SubkeyNames(HKEY hKey)
    {
        std::vector<std::string> names;
        char name[256];
        DWORD cch = sizeof name;
        for (DWORD i = 0; RegEnumKeyExA(hKey, i, name, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++i, cch = sizeof name)
            names.push_back(name);
        return names;
    }

    labtest::ScratchDir m_profile;
    labtest::ScratchDir m_state;
    labtest::RestoreProfile m_restore;
    std::vector<HKEY> m_opened;
};

}  // namespace

TEST_F(RegistryApiTest, QueryValueReportsTheSizeItNeeds)
{
    HKEY hKey = Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(hKey, "RegisteredOrganization", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 9u);

    char buffer[260];
    type = 0;
    size = 4;
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(RegQueryValueExA(hKey, "RegisteredOrganization", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    size = 9;
    ASSERT_EQ(RegQueryValueExA(hKey, "registeredorganization", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                               &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "Marrowby");

    // Existence alone, and absence.
    EXPECT_EQ(RegQueryValueExA(hKey, "RegisteredOrganization", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(hKey, "RegisteredOwner", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(hKey, nullptr, nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, StringsComeBackAsStoredAndDwordsAsFourBytes)
{
    HKEY hKey = Create(HKEY_CURRENT_USER, "Software\\Marrowby\\Triagist");
    ASSERT_EQ(RegSetValueExA(hKey, "Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
    DWORD cx = 640;
    ASSERT_EQ(RegSetValueExA(hKey, "dialog_121_cx", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&cx), sizeof cx),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(hKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(hKey, "Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(hKey, "Raw", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::string(buffer, 4), "abcx");  // no terminator added


    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(hKey, "", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 1u);
}

TEST_F(RegistryApiTest, SubkeysEnumerateInOrderUntilNoMoreItems)
{
    HKEY hKey = Open(HKEY_LOCAL_MACHINE, kApplicationLog);
    char name[16];
    DWORD cch = sizeof name;
    char className[8] = "junk";
    DWORD cchClass = sizeof className;
    FILETIME written = {0, 0};
    ASSERT_EQ(RegEnumKeyExA(hKey, 1, name, &cch, nullptr, className, &cchClass, &written), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Mid");
    EXPECT_EQ(cch, 3u);
    EXPECT_STREQ(className, "");
    EXPECT_EQ(cchClass, 0u);
    EXPECT_NE(written.dwHighDateTime, 0u);

    cch = 3;  // no room for the terminator
    EXPECT_EQ(RegEnumKeyExA(hKey, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    cch = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(hKey, 3, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    HKEY hQueryOnly = Open(HKEY_LOCAL_MACHINE, kApplicationLog, KEY_QUERY_VALUE);
    cch = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(hQueryOnly, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryApiTest, ValuesEnumerateInCreationOrderWithTheSameBufferRules)
{
    HKEY hKey = Open(HKEY_LOCAL_MACHINE, kCommunities);
    char name[32];
    DWORD cch = sizeof name;
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegEnumValueA(hKey, 1, name, &cch, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_STREQ(name, "monitor");  // in the order they were created
    EXPECT_EQ(cch, 7u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 8u);

    BYTE small[4];
    size = sizeof small;
    cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(hKey, 1, name, &cch, nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);

    cch = 6;  // "public" needs 7 with its terminator
    EXPECT_EQ(RegEnumValueA(hKey, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(hKey, 3, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryApiTest, HandlesAndMissingKeysGiveWindowsCodes)
{
    HKEY hKey = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    DWORD size = 0;
    char name[16];
    DWORD cch = sizeof name;
    EXPECT_EQ(RegQueryValueExA(hKey, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegEnumKeyExA(hKey, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(hKey, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(hKey), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);

    HKEY hResult = reinterpret_cast<HKEY>(static_cast<uintptr_t>(1));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere", 0, KEY_READ, &hResult), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(hResult, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, &hResult), ERROR_BAD_PATHNAME);

    // A predefined key with no subkey opens as itself; closing it is harmless.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &hResult), ERROR_SUCCESS);
    EXPECT_EQ(hResult, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

    // An ordinary key with no subkey opens as a new handle to the same key.
    HKEY hOpened = Open(HKEY_LOCAL_MACHINE, "software\\MICROSOFT");
    ASSERT_EQ(RegOpenKeyExA(hOpened, nullptr, 0, KEY_READ, &hResult), ERROR_SUCCESS);
    EXPECT_NE(hResult, hOpened);
    EXPECT_EQ(SubkeyNames(hResult), std::vector<std::string>{"Windows NT"});
    EXPECT_EQ(RegCloseKey(hResult), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(hResult), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SubkeyNames(hResult), std::vector<std::string>{});
}

TEST_F(RegistryApiTest, HandleRightsDecideWhatItMayDo)
{
    HKEY hRead = Open(HKEY_LOCAL_MACHINE, kCommunities, KEY_READ);
    DWORD value = 4;
    EXPECT_EQ(RegSetValueExA(hRead, "new", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(hRead, "public"), ERROR_ACCESS_DENIED);

    HKEY hWrite = Open(HKEY_LOCAL_MACHINE, kCommunities, KEY_SET_VALUE);
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExA(hWrite, "public", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(hWrite, "PUBLIC"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(hWrite, "public"), ERROR_FILE_NOT_FOUND);
    // Creating below a key depends on the key, not on the handle's rights.
    Create(hRead, "Sub");

}

TEST_F(RegistryApiTest, DeletedKeysAnswerKeyDeleted)
{
    HKEY hParent = Open(HKEY_LOCAL_MACHINE, kApplicationLog, KEY_ALL_ACCESS);
    HKEY hHeld = Open(hParent, "Mid", KEY_ALL_ACCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Eventlog"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(hParent, "Nowhere"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegDeleteKeyA(hParent, "MID"), ERROR_SUCCESS);

    DWORD size = 0;
    HKEY hKey = nullptr;
    EXPECT_EQ(RegQueryValueExA(hHeld, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyExA(hHeld, "Below", 0, KEY_READ, &hKey), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyExA(hHeld, "Below", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(SubkeyNames(hParent), (std::vector<std::string>{"alpha", "Zed"}));

    // An empty name deletes the key the handle names.
    HKEY hZed = Open(hParent, "Zed", KEY_ALL_ACCESS);
    EXPECT_EQ(RegDeleteKeyA(hZed, ""), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(hParent), std::vector<std::string>{"alpha"});
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

TEST_F(RegistryApiTest, ThirtyTwoBitViewReadsTheWow6432Node)
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

TEST_F(RegistryApiTest, ConnectRegistryReachesOnlyTheLocalMachine)
{
    HKEY hRemote = nullptr;
    ASSERT_EQ(RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, &hRemote), ERROR_SUCCESS);
    Open(hRemote, kApplicationLog);
    EXPECT_EQ(RegCloseKey(hRemote), ERROR_SUCCESS);
    ASSERT_EQ(RegConnectRegistryA("", HKEY_LOCAL_MACHINE, &hRemote), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(hRemote), ERROR_SUCCESS);
    EXPECT_EQ(RegConnectRegistryA("\\\\elsewhere", HKEY_LOCAL_MACHINE, &hRemote), 53);
}
