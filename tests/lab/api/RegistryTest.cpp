// The registry's contract as Windows documents it, in keys the test makes itself: sizes, enumeration, handles,
// rights, deleted keys and the 32-bit view.
#include "tests/lab/ApiTestSupport.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using apitest::DeleteKeyTree;
using apitest::SubkeyNames;

namespace {

class ApiRegistry : public apitest::PlainMachine {
protected:
    void TearDown() override
    {
        m_keys.CloseAll();
        PlainMachine::TearDown();
    }

    HKEY Open(HKEY hParent, const char* pszSubKey, REGSAM sam = KEY_READ)
    {
        return m_keys.Open(hParent, pszSubKey, sam);
    }
    HKEY Create(HKEY hParent, const char* pszSubKey) { return m_keys.Create(hParent, pszSubKey); }

    void SetString(HKEY hKey, const char* pszName, const std::string& value)
    {
        ASSERT_EQ(RegSetValueExA(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1)),
                  ERROR_SUCCESS);
    }

    void SetDword(HKEY hKey, const char* pszName, DWORD value)
    {
        ASSERT_EQ(RegSetValueExA(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
                  ERROR_SUCCESS);
    }

    // Three event sources, made in an order that is neither alphabetical nor its reverse.
    HKEY Sources()
    {
        HKEY hSources = Create(Key(), "Application");
        for (const char* name : {"Zed", "alpha", "Mid"})
            Create(hSources, name);
        return hSources;
    }

    // Three communities with a string among the numbers.
    HKEY Communities()
    {
        HKEY hKey = Create(Key(), "ValidCommunities");
        SetDword(hKey, "public", 4);
        SetString(hKey, "monitor", "monitor");
        SetDword(hKey, "private", 8);
        return hKey;
    }

    apitest::OpenKeys m_keys;
};

}  // namespace

TEST_F(ApiRegistry, QueryValueReportsTheSizeItNeeds)
{
    SetString(Key(), "RegisteredOrganization", "Marrowby");
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(Key(), "RegisteredOrganization", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 9u);

    char buffer[260];
    type = 0;
    size = 4;
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(RegQueryValueExA(Key(), "RegisteredOrganization", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    size = 9;
    ASSERT_EQ(RegQueryValueExA(Key(), "registeredorganization", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                               &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "Marrowby");

    // Existence alone, and absence; a new key has no default value.
    EXPECT_EQ(RegQueryValueExA(Key(), "RegisteredOrganization", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(Key(), "RegisteredOwner", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(Key(), nullptr, nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(ApiRegistry, StringsComeBackAsStoredAndDwordsAsFourBytes)
{
    // Counted without a terminator, and none follows in memory either (the ANSI function of Windows NT adds one
    // when the byte after the data is zero).
    const char raw[] = {'a', 'b', 'c', 'd'};
    ASSERT_EQ(RegSetValueExA(Key(), "Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), 3), ERROR_SUCCESS);
    SetDword(Key(), "dialog_121_cx", 640);
    ASSERT_EQ(RegSetValueExA(Key(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(Key(), "Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(Key(), "Raw", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);  // no terminator counted; whether one is written after the data is not promised
    EXPECT_EQ(std::string(buffer, 3), "abc");

    DWORD cx = 0;
    DWORD type = 0;
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(Key(), "DIALOG_121_CX", nullptr, &type, reinterpret_cast<BYTE*>(&cx), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(cx, 640u);

    // The default value is the one with the empty name.
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(Key(), "", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 1u);
}

TEST_F(ApiRegistry, SubkeysEnumerateInNameOrderUntilNoMoreItems)
{
    HKEY hKey = Sources();
    EXPECT_EQ(SubkeyNames(hKey), (std::vector<std::string>{"alpha", "Mid", "Zed"}));  // ignoring case

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

    HKEY hQueryOnly = Open(Key(), "Application", KEY_QUERY_VALUE);
    cch = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(hQueryOnly, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
}

// Windows promises no order of values, so the names are compared as a set; the buffer rules hold at every index.
TEST_F(ApiRegistry, ValuesEnumerateEachOnceWithTheSameBufferRules)
{
    HKEY hKey = Communities();
    std::vector<std::string> names;
    char name[32];
    DWORD cch = sizeof name;
    DWORD type = 0;
    DWORD size = 0;
    for (DWORD i = 0; RegEnumValueA(hKey, i, name, &cch, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
         ++i, cch = sizeof name) {
        names.push_back(name);
        EXPECT_EQ(cch, std::strlen(name));
        EXPECT_EQ(type, std::string(name) == "monitor" ? static_cast<DWORD>(REG_SZ) : static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(size, std::string(name) == "monitor" ? 8u : 4u);

        // Too little room for the data, then for the name with its terminator.
        BYTE small[2];
        DWORD cbSmall = sizeof small;
        DWORD cchAll = sizeof name;
        EXPECT_EQ(RegEnumValueA(hKey, i, name, &cchAll, nullptr, nullptr, small, &cbSmall), ERROR_MORE_DATA) << i;
        EXPECT_EQ(cbSmall, size);
        DWORD cchShort = static_cast<DWORD>(names.back().size());
        EXPECT_EQ(RegEnumValueA(hKey, i, name, &cchShort, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA) << i;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"monitor", "private", "public"}));
    cch = sizeof name;
    EXPECT_EQ(RegEnumValueA(hKey, 3, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(ApiRegistry, HandlesAndMissingKeysGiveWindowsCodes)
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
    EXPECT_EQ(RegOpenKeyExA(Key(), "Nowhere", 0, KEY_READ, &hResult), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(hResult, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, &hResult), ERROR_BAD_PATHNAME);

    // A predefined key with no subkey opens as itself; closing it is harmless.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &hResult), ERROR_SUCCESS);
    EXPECT_EQ(hResult, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

    // An ordinary key with no subkey opens as a new handle to the same key; paths ignore case.
    Create(Key(), "Microsoft\\Windows NT");
    HKEY hOpened = Open(Key(), "MICROSOFT");
    ASSERT_EQ(RegOpenKeyExA(hOpened, nullptr, 0, KEY_READ, &hResult), ERROR_SUCCESS);
    EXPECT_NE(hResult, hOpened);
    EXPECT_EQ(SubkeyNames(hResult), std::vector<std::string>{"Windows NT"});
    EXPECT_EQ(RegCloseKey(hResult), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(hResult), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SubkeyNames(hResult), std::vector<std::string>{});
}

TEST_F(ApiRegistry, HandleRightsDecideWhatItMayDo)
{
    Communities();
    HKEY hRead = Open(Key(), "ValidCommunities", KEY_READ);
    DWORD value = 4;
    EXPECT_EQ(RegSetValueExA(hRead, "new", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(hRead, "public"), ERROR_ACCESS_DENIED);

    HKEY hWrite = Open(Key(), "ValidCommunities", KEY_SET_VALUE);
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExA(hWrite, "public", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(hWrite, "PUBLIC"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(hWrite, "public"), ERROR_FILE_NOT_FOUND);
    // Creating below a key depends on the key, not on the handle's rights.
    Create(hRead, "Sub");
}

TEST_F(ApiRegistry, DeletedKeysAnswerKeyDeleted)
{
    HKEY hParent = Sources();
    HKEY hHeld = Open(hParent, "Mid", KEY_ALL_ACCESS);
    Create(hParent, "alpha\\Below");
    EXPECT_EQ(RegDeleteKeyA(hParent, "alpha"), ERROR_ACCESS_DENIED);  // it still has a subkey
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

// A 64-bit program reaches HKLM\SOFTWARE's 32-bit view through KEY_WOW64_32KEY; it lies below WOW6432Node.
TEST_F(ApiRegistry, ThirtyTwoBitViewIsTheWow6432Node)
{
    std::string path = "SOFTWARE\\" + apitest::UniqueName("Agents");
    HKEY hCreated = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                              nullptr, &hCreated, nullptr),
              ERROR_SUCCESS);
    m_keys.Keep(hCreated);
    SetString(hCreated, "Root", "C:\\Program Files (x86)\\Quillmont");

    HKEY hKey = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &hKey),
              ERROR_FILE_NOT_FOUND);
    std::string node = "SOFTWARE\\WOW6432Node" + path.substr(8);
    hKey = Open(HKEY_LOCAL_MACHINE, node.c_str(), KEY_READ | KEY_WOW64_64KEY);
    char root[260];
    DWORD size = sizeof root;
    ASSERT_EQ(RegQueryValueExA(hKey, "Root", nullptr, nullptr, reinterpret_cast<BYTE*>(root), &size), ERROR_SUCCESS);
    EXPECT_STREQ(root, "C:\\Program Files (x86)\\Quillmont");

    EXPECT_TRUE(DeleteKeyTree(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, node.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &hKey),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(ApiRegistry, ConnectRegistryReachesTheLocalMachine)
{
    HKEY hRemote = nullptr;
    ASSERT_EQ(RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, &hRemote), ERROR_SUCCESS);
    Open(hRemote, "SOFTWARE");
    EXPECT_EQ(RegCloseKey(hRemote), ERROR_SUCCESS);
    ASSERT_EQ(RegConnectRegistryA("", HKEY_LOCAL_MACHINE, &hRemote), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(hRemote), ERROR_SUCCESS);
}
