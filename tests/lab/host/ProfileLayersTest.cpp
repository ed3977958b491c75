// Profiles that build on another: which layer's files a machine is made of.
#include "lab/host/Host.h"
#include "lab/host/ProfileLayers.h"
#include "lab/host/RegistryTree.h"
#include "src/platform/Win32.h"
#include "tests/lab/LabTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using labtest::ScratchDir;
using testsupport::ReadText;
using testsupport::WriteText;

const char REG_HEADER[] = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string Value(const char* pszKey, const char* pszName)
{
    char szData[64] = "";
    DWORD cbData = sizeof szData;
    HKEY hKey = nullptr;
    LONG lResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_READ, &hKey);
    if (lResult == ERROR_SUCCESS) {
        lResult = RegQueryValueExA(hKey, pszName, nullptr, nullptr, reinterpret_cast<LPBYTE>(szData), &cbData);
        RegCloseKey(hKey);
    }
    return lResult == ERROR_SUCCESS ? szData : "(" + std::to_string(lResult) + ")";
}

class ProfileLayersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_base = m_scratch.File("base");
        m_own = m_scratch.File("variants/own");
        for (const std::string& dir : {m_base + "/drive_c/Data", m_base + "/eventlog", m_own + "/drive_c/Data",
                                       m_own + "/eventlog"})
            std::filesystem::create_directories(dir);
        WriteText(m_base + "/registry.reg", std::string(REG_HEADER) +
                                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\r\n\"a\"=\"base\"\r\n\"b\"=\"base\"\r\n\r\n"
                                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dropped\\Child]\r\n\"c\"=\"base\"\r\n");
        WriteText(m_base + "/lab.ini", "[Environment]\nFROM=base\nONLY_BASE=1\n[System]\nLocale=1031\n");
        WriteText(m_base + "/drive_c/Data/shared.txt", "base");
        WriteText(m_base + "/drive_c/Data/base.txt", "base");
        WriteText(m_base + "/eventlog/System.txt", "");
        WriteText(m_own + "/registry.reg", std::string(REG_HEADER) +
                                               "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Dropped]\r\n\r\n"
                                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\r\n\"b\"=-\r\n\"d\"=\"own\"\r\n");
        WriteText(m_own + "/lab.ini", "[Profile]\nBase=../../base\n[Environment]\nFROM=own\n");
        WriteText(m_own + "/drive_c/Data/shared.txt", "own");
    }

    ScratchDir m_scratch;
    std::string m_base;
    std::string m_own;
};

TEST_F(ProfileLayersTest, OwnFilesReplaceAndExtendTheBase)
{
    lab::host::Host& host = lab::host::Host::Instance();
    ASSERT_TRUE(host.LoadProfile(m_own, m_scratch.File("state")));
    EXPECT_EQ(host.Layers().Dirs().size(), 2u);

    // The registry is the base's with the profile's file applied over it, deletions included.
    EXPECT_EQ(Value("SOFTWARE\\Kept", "a"), "base");
    EXPECT_EQ(Value("SOFTWARE\\Kept", "b"), "(2)");
    EXPECT_EQ(Value("SOFTWARE\\Kept", "d"), "own");
    EXPECT_EQ(Value("SOFTWARE\\Dropped\\Child", "c"), "(2)");

    // A section of lab.ini replaces the base's section; the others stay.
    char szValue[16] = "";
    ExpandEnvironmentStringsA("%FROM%/%ONLY_BASE%", szValue, sizeof szValue);
    EXPECT_STREQ(szValue, "own/%ONLY_BASE%");
    EXPECT_EQ(host.Settings().Get("System", "Locale"), "1031");

    // Drive C: is the profile's files over the base's.
    EXPECT_EQ(ReadText(host.TheDrives().HostPath("C:\\Data\\shared.txt", false)), "own");
    EXPECT_EQ(ReadText(host.TheDrives().HostPath("C:\\Data\\base.txt", false)), "base");
    EXPECT_EQ(host.Layers().FilesIn("eventlog", ".txt"), std::vector<std::string>{m_base + "/eventlog/System.txt"});
}

TEST_F(ProfileLayersTest, AMissingBaseIsNamed)
{
    WriteText(m_own + "/lab.ini", "[Profile]\nBase=../nowhere\n");
    lab::host::ProfileLayers layers;
    std::string error;
    EXPECT_FALSE(layers.Resolve(m_own, error));
    EXPECT_EQ(error, "profile directory " + m_scratch.File("variants/nowhere") + " (the base of " + m_own +
                         ") does not exist");
    EXPECT_EQ(layers.Dirs(), std::vector<std::string>{m_own});

    WriteText(m_base + "/lab.ini", "[Profile]\nBase=" + m_own + "\n");
    WriteText(m_own + "/lab.ini", "[Profile]\nBase=" + m_base + "\n");
    EXPECT_FALSE(layers.Resolve(m_own, error));
    EXPECT_EQ(error, "profile " + m_own + " is its own base");

    EXPECT_FALSE(layers.Resolve(m_scratch.File("absent"), error));
    EXPECT_EQ(error, "profile directory " + m_scratch.File("absent") + " does not exist");
}

}  // namespace
