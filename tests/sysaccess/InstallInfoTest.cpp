// Where the agents and the base service are installed, as the registry and the current directory say.
#include "src/sysaccess/InstallInfo.h"

#include "lab/win32/LibraryControl.h"
#include "tests/support/MsiRegistration.h"
#include "tests/support/TempProfile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char REGISTRATION[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\UUID\\C3681B60-0D26-11D3-8319-00A0C9B61E25]\r\n"
    "\"Quillmont SNMP Agents\"=\"SOFTWARE\\\\Vendor\\\\Agents\"\r\n"
    "\"Ravelin\"=\"SOFTWARE\\\\Vendor\\\\Base\"\r\n"
    "\r\n";

std::string CurrentDirectory()
{
    char szDirectory[MAX_PATH];
    GetCurrentDirectoryA(sizeof szDirectory, szDirectory);
    return szDirectory;
}

TEST(AgentInstallInfoTest, DefaultsWhenTheInstallersRegisteredNothing)
{
    CTempProfile profile("");
    AgentInstallInfo info;
    EXPECT_STREQ(info.m_szRootKey, "SOFTWARE\\Brennock");
    EXPECT_STREQ(info.m_szFilesKey, "SOFTWARE\\Brennock\\#Files");
    EXPECT_STREQ(info.m_szParametersKey, "SOFTWARE\\Brennock\\#Parameters");
    EXPECT_STREQ(info.m_szSetupKey, "SOFTWARE\\Brennock\\#Setup");
    EXPECT_STREQ(info.m_szFileRoot, "");
    EXPECT_STREQ(info.m_szDataRoot, "");
}

TEST(AgentInstallInfoTest, RegisteredRootWithAgentRootAndDataRoot)
{
    CTempProfile profile(std::string(REGISTRATION) +
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Agents\\#Setup]\r\n"
                         "\"AgentRoot\"=\"D:\\\\Agents\\\\\"\r\n"
                         "\"DataRoot\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,44,00,72,00,69,00,76,00,"
                         "65,00,25,00,5c,00,44,00,61,00,74,00,61,00,5c,00,00,00\r\n",
                         "[Environment]\r\nSystemDrive=E:\r\n");
    AgentInstallInfo info;
    EXPECT_STREQ(info.m_szRootKey, "SOFTWARE\\Vendor\\Agents");
    EXPECT_STREQ(info.m_szSetupKey, "SOFTWARE\\Vendor\\Agents\\#Setup");
    EXPECT_STREQ(info.m_szFileRoot, "D:\\Agents");
    EXPECT_STREQ(info.m_szDataRoot, "E:\\Data");
}

TEST(AgentInstallInfoTest, FileRootWinsOverAgentRoot)
{
    CTempProfile profile(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\#Setup]\r\n"
        "\"AgentRoot\"=\"D:\\\\Old\"\r\n"
        "\"FileRoot\"=\"C:\\\\Program Files\\\\Quillmont\\\\Agents\"\r\n");
    AgentInstallInfo info;
    EXPECT_STREQ(info.m_szFileRoot, "C:\\Program Files\\Quillmont\\Agents");
}

TEST(RavelinInstallInfoTest, DirectoriesFromTheSetupKey)
{
    CTempProfile profile(std::string(REGISTRATION) +
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Base\\Setup]\r\n"
                         "\"FileRoot\"=\"C:\\\\Base\\\\\"\r\n"
                         "\"BinRoot\"=\"C:\\\\Base\\\\Bin64\\\\\"\r\n");
    RavelinInstallInfo info;
    EXPECT_EQ(info.GetRootKey(), "SOFTWARE\\Vendor\\Base");
    EXPECT_EQ(info.GetSetupKey(), "SOFTWARE\\Vendor\\Base\\Setup");
    EXPECT_EQ(info.GetFileRoot(), "C:\\Base");
    EXPECT_EQ(info.GetBinRoot(), "C:\\Base\\Bin64");
}

TEST(RavelinInstallInfoTest, BinRootFallsBackToFileRootThenTheCurrentDirectory)
{
    {
        CTempProfile profile(
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup]\r\n"
            "\"FileRoot\"=\"C:\\\\Base\"\r\n");
        RavelinInstallInfo info;
        EXPECT_EQ(info.GetBinRoot(), "C:\\Base");
    }
    {
        CTempProfile profile("");
        RavelinInstallInfo info;
        EXPECT_EQ(info.GetRootKey(), "SOFTWARE\\Brennock\\Management\\Ravelin");
        EXPECT_EQ(info.GetFileRoot(), CurrentDirectory());
        EXPECT_EQ(info.GetBinRoot(), CurrentDirectory());
    }
}

TEST(RavelinInstallInfoTest, ValuesAreKeptForTheObjectsLife)
{
    CTempProfile profile(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\Management\\Ravelin\\Setup]\r\n"
        "\"BinRoot\"=\"C:\\\\First\"\r\n");
    RavelinInstallInfo info;
    EXPECT_EQ(info.GetBinRoot(), "C:\\First");

    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brennock\\Management\\Ravelin\\Setup", 0, KEY_ALL_ACCESS,
                            &hKey),
              ERROR_SUCCESS);
    const char szSecond[] = "C:\\Second";
    RegSetValueExA(hKey, "BinRoot", 0, REG_SZ, reinterpret_cast<const BYTE*>(szSecond), sizeof szSecond);
    RegCloseKey(hKey);

    EXPECT_EQ(info.GetBinRoot(), "C:\\First");
    EXPECT_EQ(RavelinInstallInfo().GetBinRoot(), "C:\\Second");
}

TEST(ReadRegStringTest, ReadsThroughADeniedView)
{
    CTempProfile profile(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brennock\\#Setup]\r\n"
        "\"FileRoot\"=\"C:\\\\Agents\"\r\n",
        "[Registry]\r\nDeny64BitView=HKLM\\SOFTWARE\\Brennock\\#Setup\r\n");
    char szValue[MAX_PATH];
    EXPECT_TRUE(ReadRegString("SOFTWARE\\Brennock\\#Setup", "FileRoot", szValue, sizeof szValue));
    EXPECT_STREQ(szValue, "C:\\Agents");
    EXPECT_FALSE(ReadRegString("SOFTWARE\\Brennock\\#Setup", "Missing", szValue, sizeof szValue));
    EXPECT_FALSE(ReadRegString("SOFTWARE\\Brennock\\Nothing", "FileRoot", szValue, sizeof szValue));
}

std::string AgentProduct(const std::string& code, const std::string& version)
{
    testsupport::MsiProduct product;
    product.code = code;
    product.name = "Quillmont SNMP Agents";
    product.version = version;
    return testsupport::MsiRegistration(product);
}

TEST(AgentProductVersionTest, FirstKnownCodeAnswers)
{
    CTempProfile profile(AgentProduct("{E49AA31B-B88B-4187-B0A0-C0A4FD7EBD5A}", "3.90.700") +
                         AgentProduct("{741234C2-F479-436C-A522-BACCE73B9BF4}", "4.10.900"));
    char szVersion[64];
    ASSERT_TRUE(GetAgentProductVersion(szVersion, sizeof szVersion));
    EXPECT_STREQ(szVersion, "4.10.900");
}

TEST(AgentProductVersionTest, NoneWithoutTheProductOrWindowsInstaller)
{
    char szVersion[64];
    {
        CTempProfile profile(AgentProduct("{00000000-1111-2222-3333-444444444444}", "4.20.1187"));
        EXPECT_FALSE(GetAgentProductVersion(szVersion, sizeof szVersion));
    }
    {
        CTempProfile profile(AgentProduct("{C8D76C36-5739-489D-BF03-9E58B3F89C09}", "4.20.1187"),
                             "[Libraries]\nMissing=msi\n");
        EXPECT_FALSE(GetAgentProductVersion(szVersion, sizeof szVersion));
    }
}

}  // namespace
