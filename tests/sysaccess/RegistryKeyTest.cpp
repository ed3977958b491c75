// CRegistryKey over the lab's registry: relative opens, the 64-bit view retry, string reads and tree deletion.
#include "src/sysaccess/RegistryKey.h"

#include "lab/host/RegistryTree.h"
#include "tests/support/TempProfile.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char REGISTRY[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin]\r\n"
    "\"Plain\"=\"text\"\r\n"
    "\"Empty\"=\"\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Driver\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,"
    "73,00,79,00,73,00,00,00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Loader\\Detected]\r\n"
    "\"RvSmbios\"=dword:00000001\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Loader\\ModuleStatus]\r\n"
    "\"RvSmbios\"=\"Loaded\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup]\r\n"
    "\"FileRoot\"=\"C:\\\\Program Files\\\\Quillmont\\\\Ravelin\"\r\n";

const char LAB_INI[] =
    "[Environment]\r\n"
    "SystemRoot=C:\\Windows-Server-Root\r\n"
    "[Registry]\r\n"
    "Deny64BitView=HKLM\\SOFTWARE\\Brennock\\Management\\Ravelin\r\n";

const char RAVELIN[] = "SOFTWARE\\Brennock\\Management\\Ravelin";

bool KeyExists(const char* pszPath)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

class RegistryKeyTest : public ::testing::Test {
protected:
    CTempProfile m_Profile{REGISTRY, LAB_INI};
};

TEST_F(RegistryKeyTest, OpenRetriesWithoutTheViewFlagOnlyWhenItWasAsked)
{
    CRegistryKey viewed;
    EXPECT_EQ(viewed.Open(RAVELIN, HKEY_LOCAL_MACHINE, CRegistryKey::ALL_ACCESS_64), ERROR_SUCCESS);
    EXPECT_NE(viewed.GetKey(), nullptr);

    // The denial is about the view flag; a mask without it is never retried and here not denied.
    CRegistryKey plain;
    EXPECT_EQ(plain.Open(RAVELIN, HKEY_LOCAL_MACHINE, KEY_READ), ERROR_SUCCESS);

    lab::host::Host::Instance().Registry().SetDeny64BitView("HKLM\\SOFTWARE\\Brennock\\Management\\Ravelin", false);
    CRegistryKey missing;
    EXPECT_EQ(missing.Open("SOFTWARE\\Brennock\\Nothing", HKEY_LOCAL_MACHINE, CRegistryKey::READ_64),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(missing.LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(missing.GetKey(), nullptr);
}

TEST_F(RegistryKeyTest, OpenWithAHeldKeyDescendsOrKeepsTheHeldKey)
{
    CRegistryKey key;
    ASSERT_EQ(key.Open(RAVELIN, HKEY_LOCAL_MACHINE, CRegistryKey::READ_64), ERROR_SUCCESS);
    HKEY hRavelin = key.GetKey();

    EXPECT_EQ(key.Open("Loader\\Missing", nullptr, CRegistryKey::READ_64), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(key.GetKey(), hRavelin);
    char szText[16];
    DWORD cbText = sizeof szText;
    EXPECT_EQ(key.QueryString("Plain", szText, &cbText), ERROR_SUCCESS);
    EXPECT_STREQ(szText, "text");

    // The hive argument is ignored once a key is held.
    ASSERT_EQ(key.Open("Loader\\Detected", HKEY_CURRENT_USER, CRegistryKey::READ_64), ERROR_SUCCESS);
    DWORD dwDetected = 0;
    EXPECT_EQ(key.QueryDword("RvSmbios", &dwDetected), ERROR_SUCCESS);
    EXPECT_EQ(dwDetected, 1u);
    EXPECT_EQ(key.LastType(), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(key.LastSize(), 4u);
}

TEST_F(RegistryKeyTest, OperationsWithoutAKeyAnswerInvalidHandle)
{
    CRegistryKey key;
    DWORD dwValue = 0;
    char szText[8];
    DWORD cbText = sizeof szText;
    EXPECT_EQ(key.QueryDword("Count", &dwValue), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(key.QueryString("Plain", szText, &cbText), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(key.QueryStringAlloc("Plain"), nullptr);
    EXPECT_EQ(key.SetDword("Count", 1), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(key.EnumKey(0, szText, &cbText, nullptr, nullptr, nullptr), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(key.Create(nullptr, HKEY_LOCAL_MACHINE, 0, KEY_ALL_ACCESS), 0xFFFFFFFFu);
    EXPECT_EQ(key.Create("SOFTWARE\\X", nullptr, 0, KEY_ALL_ACCESS), 0xFFFFFFFFu);
}

TEST_F(RegistryKeyTest, QueryStringExpandsOnlyWhenTheExpansionFits)
{
    CRegistryKey key;
    ASSERT_EQ(key.Open(RAVELIN, HKEY_LOCAL_MACHINE, CRegistryKey::READ_64), ERROR_SUCCESS);

    char szPath[64];
    DWORD cbPath = sizeof szPath;
    EXPECT_EQ(key.QueryString("Driver", szPath, &cbPath), ERROR_SUCCESS);
    EXPECT_STREQ(szPath, "C:\\Windows-Server-Root\\sys");
    EXPECT_EQ(cbPath, std::strlen("C:\\Windows-Server-Root\\sys"));
    EXPECT_EQ(key.LastType(), static_cast<DWORD>(REG_EXPAND_SZ));

    // "%SystemRoot%\sys" fits in 20 bytes, its expansion does not.
    char szShort[20];
    DWORD cbShort = sizeof szShort;
    EXPECT_EQ(key.QueryString("Driver", szShort, &cbShort), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_STREQ(szShort, "%SystemRoot%\\sys");
    EXPECT_EQ(key.LastError(), static_cast<DWORD>(ERROR_MORE_DATA));

    // A plain string is read as it stands and terminated.
    char szPlain[8];
    std::memset(szPlain, 'x', sizeof szPlain);
    DWORD cbPlain = sizeof szPlain;
    EXPECT_EQ(key.QueryString("Plain", szPlain, &cbPlain), ERROR_SUCCESS);
    EXPECT_STREQ(szPlain, "text");
}

// Values around a MAX_PATH buffer, stored with and without terminator, and one of the wrong type.
class RegistryStringSizeTest : public ::testing::Test {
protected:
    static std::string Values()
    {
        using testsupport::RegHexText;
        using testsupport::RegLine;
        return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Sizes]\r\n") +
               RegLine("Fits259", RegHexText(std::string(259, 'a'), true)) +
               RegLine("Bare259", RegHexText(std::string(259, 'b'), false)) +
               RegLine("Bare260", RegHexText(std::string(260, 'c'), false)) +
               RegLine("Over260", RegHexText(std::string(260, 'd'), true)) +
               RegLine("Bare261", RegHexText(std::string(261, 'e'), false)) +
               RegLine("Huge", RegHexText(std::string(65534, 'f'), true)) +
               RegLine("Number", testsupport::RegDword(0x44434241));
    }
    // The value read into a MAX_PATH buffer full of garbage; the result is the text up to its first terminator.
    DWORD Read(const char* pszValue, std::string& strText, DWORD& cbData)
    {
        std::memset(m_szBuffer, '#', sizeof m_szBuffer);
        cbData = sizeof m_szBuffer;
        DWORD dwResult = m_Key.QueryString(pszValue, m_szBuffer, &cbData);
        const void* pEnd = std::memchr(m_szBuffer, '\0', sizeof m_szBuffer);
        strText = pEnd ? std::string(m_szBuffer, static_cast<const char*>(pEnd) - m_szBuffer) : "(not terminated)";
        return dwResult;
    }
    void SetUp() override
    {
        ASSERT_EQ(m_Key.Open("SOFTWARE\\Brennock\\Sizes", HKEY_LOCAL_MACHINE, CRegistryKey::READ_64), ERROR_SUCCESS);
    }
    CTempProfile m_Profile{Values()};
    CRegistryKey m_Key;
    char m_szBuffer[MAX_PATH];
};

TEST_F(RegistryStringSizeTest, WhatFitsIsReadAndAlwaysTerminated)
{
    std::string strText;
    DWORD cbData = 0;
    EXPECT_EQ(Read("Fits259", strText, cbData), ERROR_SUCCESS);
    EXPECT_EQ(strText, std::string(259, 'a'));
    EXPECT_EQ(cbData, 260u);

    EXPECT_EQ(Read("Bare259", strText, cbData), ERROR_SUCCESS);
    EXPECT_EQ(strText, std::string(259, 'b'));
    EXPECT_EQ(cbData, 259u);

    // Without its terminator the value fills the buffer: its last character gives way.
    EXPECT_EQ(Read("Bare260", strText, cbData), ERROR_SUCCESS);
    EXPECT_EQ(strText, std::string(259, 'c'));
    EXPECT_EQ(cbData, 260u);

    // A number where text is expected is read as its bytes, terminated all the same.
    EXPECT_EQ(Read("Number", strText, cbData), ERROR_SUCCESS);
    EXPECT_EQ(strText, "ABCD");
    EXPECT_EQ(m_Key.LastType(), static_cast<DWORD>(REG_DWORD));
}

TEST_F(RegistryStringSizeTest, WhatDoesNotFitLeavesAnEmptyText)
{
    std::string strText;
    DWORD cbData = 0;
    EXPECT_EQ(Read("Over260", strText, cbData), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(strText, "");
    EXPECT_EQ(cbData, 261u);
    EXPECT_EQ(Read("Bare261", strText, cbData), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(strText, "");
    EXPECT_EQ(Read("Huge", strText, cbData), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(strText, "");
    EXPECT_EQ(cbData, 65535u);
    ASSERT_NE(m_Key.QueryStringAlloc("Huge"), nullptr);
    EXPECT_EQ(std::string(m_Key.QueryStringAlloc("Huge")), std::string(65534, 'f'));
}

TEST_F(RegistryKeyTest, QueryStringAllocOwnsTheValueAndRefusesAnEmptyOne)
{
    CRegistryKey key;
    ASSERT_EQ(key.Open(RAVELIN, HKEY_LOCAL_MACHINE, CRegistryKey::READ_64), ERROR_SUCCESS);

    const char* pszPlain = key.QueryStringAlloc("Plain");
    ASSERT_NE(pszPlain, nullptr);
    EXPECT_STREQ(pszPlain, "text");

    const char* pszDriver = key.QueryStringAlloc("Driver");
    ASSERT_NE(pszDriver, nullptr);
    EXPECT_STREQ(pszDriver, "C:\\Windows-Server-Root\\sys");
    EXPECT_EQ(key.LastError(), ERROR_SUCCESS);

    // A value of no bytes at all: "" in a .reg file still holds its terminator, so set one.
    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, RAVELIN, 0, KEY_ALL_ACCESS, &hKey), ERROR_SUCCESS);
    RegSetValueExA(hKey, "Nothing", 0, REG_SZ, nullptr, 0);
    RegCloseKey(hKey);
    EXPECT_EQ(key.QueryStringAlloc("Nothing"), nullptr);
    EXPECT_EQ(key.LastError(), static_cast<DWORD>(ERROR_NO_DATA));

    EXPECT_EQ(key.QueryStringAlloc("Missing"), nullptr);
    EXPECT_EQ(key.LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryKeyTest, CreateHoldsTheNewKeyAndSetsValues)
{
    CRegistryKey key;
    ASSERT_EQ(key.Open(RAVELIN, HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(key.Create("Loader\\Extra", nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_64KEY),
              ERROR_SUCCESS);
    EXPECT_EQ(key.SetDword("Level", 3), ERROR_SUCCESS);
    EXPECT_EQ(key.SetString("Name", "extra"), ERROR_SUCCESS);
    EXPECT_EQ(key.SetString(nullptr, "default"), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    CRegistryKey reader;
    ASSERT_EQ(reader.Open("SOFTWARE\\Brennock\\Management\\Ravelin\\Loader\\Extra", HKEY_LOCAL_MACHINE,
                          CRegistryKey::READ_64),
              ERROR_SUCCESS);
    char szName[16];
    DWORD cbName = sizeof szName;
    EXPECT_EQ(reader.QueryString("Name", szName, &cbName), ERROR_SUCCESS);
    EXPECT_STREQ(szName, "extra");
    EXPECT_EQ(cbName, 6u);
}

TEST_F(RegistryKeyTest, DeleteTreeRemovesTwoLevelsDeepestFirst)
{
    CRegistryKey key;
    ASSERT_EQ(key.Open("SOFTWARE\\Brennock\\Management", HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_EQ(key.DeleteTree("Ravelin", nullptr, KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(RAVELIN));
    EXPECT_TRUE(KeyExists("SOFTWARE\\Brennock\\Management"));

    EXPECT_EQ(key.DeleteTree("Ravelin", nullptr, KEY_ALL_ACCESS), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryKeyTest, EnumerationWalksTheHeldKey)
{
    CRegistryKey key;
    ASSERT_EQ(key.Open("SOFTWARE\\Brennock\\Management\\Ravelin\\Loader", HKEY_LOCAL_MACHINE,
                       CRegistryKey::ALL_ACCESS_64),
              ERROR_SUCCESS);
    char szName[MAX_PATH];
    DWORD cchName = sizeof szName;
    ASSERT_EQ(key.EnumKey(0, szName, &cchName, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(szName, "Detected");
    cchName = sizeof szName;
    ASSERT_EQ(key.EnumKey(1, szName, &cchName, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(szName, "ModuleStatus");
    cchName = sizeof szName;
    EXPECT_EQ(key.EnumKey(2, szName, &cchName, nullptr, nullptr, nullptr), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    ASSERT_EQ(key.Open("ModuleStatus", nullptr, CRegistryKey::ALL_ACCESS_64), ERROR_SUCCESS);
    char szData[MAX_PATH];
    DWORD cbData = sizeof szData;
    DWORD dwType = 0;
    cchName = sizeof szName;
    ASSERT_EQ(key.EnumValue(0, szName, &cchName, &dwType, reinterpret_cast<LPBYTE>(szData), &cbData),
              ERROR_SUCCESS);
    EXPECT_STREQ(szName, "RvSmbios");
    EXPECT_STREQ(szData, "Loaded");
}

}  // namespace
