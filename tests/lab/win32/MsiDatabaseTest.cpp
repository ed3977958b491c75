// The lab's Windows Installer: features of installed products, and real installer databases read with libmsi.
#include "tests/lab/LabTestSupport.h"

#include "lab/host/Drives.h"
#include "tests/support/MsiDatabaseFile.h"
#include "tests/support/MsiRegistration.h"
#include "tests/support/TempProfile.h"

#include <filesystem>
#include <set>
#include <string>

namespace {

const char kTool[] = "{5E4A3B2C-1D0E-4F9A-8B7C-6D5E4F3A2B1C}";

std::string ToolRegistry()
{
    const testsupport::MsiProduct product{kTool, "Lone Tool", "1.0.5", "Marrowby", "20260101", "", "", true};
    std::string packed = testsupport::PackedCode(kTool);
    return testsupport::MsiRegistration(product) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
           "Installer\\UserData\\S-1-5-18\\Products\\" + packed + "\\InstallProperties]\r\n"
           "\"LocalPackage\"=\"C:\\\\Windows\\\\Installer\\\\1a2b.msi\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\Installer\\Features\\" + packed + "]\r\n\"Main\"=\"\"\r\n\"Help\"=\"Main\"\r\n\r\n";
}

}  // namespace

TEST(LabMsiFeatures, EnumeratesTheRegisteredFeaturesWithTitlesFromTheCachedPackage)
{
    CTempProfile profile(ToolRegistry());
    char szFeature[MAX_FEATURE_CHARS + 1];
    char szParent[MAX_FEATURE_CHARS + 1];
    ASSERT_EQ(MsiEnumFeaturesA(kTool, 1, szFeature, szParent), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_STREQ(szFeature, "Help");
    EXPECT_STREQ(szParent, "Main");
    EXPECT_EQ(MsiEnumFeaturesA(kTool, 2, szFeature, szParent), static_cast<UINT>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(MsiEnumFeaturesA("{11111111-2222-3333-4444-555555555555}", 0, szFeature, szParent),
              static_cast<UINT>(ERROR_UNKNOWN_PRODUCT));
    EXPECT_EQ(MsiEnumFeaturesA("no code", 0, szFeature, szParent), static_cast<UINT>(ERROR_INVALID_PARAMETER));

    MSIHANDLE hProduct = 0;
    ASSERT_EQ(MsiOpenProductA(kTool, &hProduct), static_cast<UINT>(ERROR_SUCCESS));
    char szTitle[8];
    DWORD cchTitle = sizeof szTitle;
    // No cached package yet: the title is the name.
    EXPECT_EQ(MsiGetFeatureInfoA(hProduct, "Help", nullptr, szTitle, &cchTitle, nullptr, nullptr),
              static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_STREQ(szTitle, "Help");
    EXPECT_EQ(MsiGetFeatureInfoA(hProduct, "Other", nullptr, szTitle, &cchTitle, nullptr, nullptr),
              static_cast<UINT>(ERROR_UNKNOWN_FEATURE));
    MsiCloseHandle(hProduct);

    std::filesystem::create_directories(profile.Dir() + "/drive_c/Windows/Installer");
    testsupport::WriteMsiDatabase(profile.Dir() + "/drive_c/Windows/Installer/1a2b.msi", kTool,
                                  {{"Main", "Lone Tool", {}}, {"Help", "Help files", {}}});
    ASSERT_EQ(MsiOpenProductA(kTool, &hProduct), static_cast<UINT>(ERROR_SUCCESS));
    cchTitle = sizeof szTitle;
    // Windows' sized-buffer rules: what fits, terminated, and 234 with the full length.
    EXPECT_EQ(MsiGetFeatureInfoA(hProduct, "Help", nullptr, szTitle, &cchTitle, nullptr, nullptr),
              static_cast<UINT>(ERROR_MORE_DATA));
    EXPECT_STREQ(szTitle, "Help fi");
    EXPECT_EQ(cchTitle, 10u);
    EXPECT_EQ(MsiCloseHandle(hProduct), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(MsiCloseHandle(hProduct), static_cast<UINT>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(MsiOpenProductA("{11111111-2222-3333-4444-555555555555}", &hProduct),
              static_cast<UINT>(ERROR_UNKNOWN_PRODUCT));
}

TEST(LabMsiDatabase, QueriesRealDatabasesAndFailsAsWindowsDoes)
{
    CTempProfile profile("");
    std::string path = profile.Scratch() + "/tool.msi";
    testsupport::WriteMsiDatabase(path, kTool,
                                  {{"Main", "Lone Tool", {{"ToolExe", "{0F0FC553-4FC4-49B5-A8D7-146D155A577A}"},
                                                          {"ToolDll", "{0498B775-F94F-4872-9F25-1DFAC1ADBBB8}"}}}});
    MSIHANDLE hDatabase = 0;
    EXPECT_EQ(MsiOpenDatabaseA((profile.Scratch() + "/missing.msi").c_str(), MSIDBOPEN_DIRECT, &hDatabase),
              static_cast<UINT>(ERROR_OPEN_FAILED));
    testsupport::WriteText(profile.Scratch() + "/text.msi", "not a database");
    EXPECT_EQ(MsiOpenDatabaseA((profile.Scratch() + "/text.msi").c_str(), MSIDBOPEN_DIRECT, &hDatabase),
              static_cast<UINT>(ERROR_OPEN_FAILED));
    EXPECT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_CREATE, &hDatabase), static_cast<UINT>(ERROR_INVALID_PARAMETER));
    ASSERT_EQ(MsiOpenDatabaseA(lab::host::Drives::WindowsPath(path).c_str(), MSIDBOPEN_DIRECT, &hDatabase),
              static_cast<UINT>(ERROR_SUCCESS));

    MSIHANDLE hView = 0;
    EXPECT_EQ(MsiDatabaseOpenViewA(hDatabase, "SELEKT nonsense", &hView), static_cast<UINT>(ERROR_BAD_QUERY_SYNTAX));
    ASSERT_EQ(MsiDatabaseOpenViewA(hDatabase, "SELECT Component_ FROM FeatureComponents WHERE Feature_ = ?", &hView),
              static_cast<UINT>(ERROR_SUCCESS));
    MSIHANDLE hRecord = 0;
    EXPECT_EQ(MsiViewFetch(hView, &hRecord), static_cast<UINT>(ERROR_FUNCTION_FAILED));  // not executed yet
    MSIHANDLE hParams = MsiCreateRecord(1);
    ASSERT_NE(hParams, 0u);
    EXPECT_EQ(MsiRecordSetStringA(hParams, 1, "Main"), static_cast<UINT>(ERROR_SUCCESS));
    ASSERT_EQ(MsiViewExecute(hView, hParams), static_cast<UINT>(ERROR_SUCCESS));
    std::set<std::string> components;
    while (MsiViewFetch(hView, &hRecord) == ERROR_SUCCESS) {
        char szValue[64];
        DWORD cchValue = sizeof szValue;
        EXPECT_EQ(MsiRecordGetStringA(hRecord, 1, szValue, &cchValue), static_cast<UINT>(ERROR_SUCCESS));
        components.insert(szValue);
        cchValue = sizeof szValue;
        EXPECT_EQ(MsiRecordGetStringA(hRecord, 5, szValue, &cchValue), static_cast<UINT>(ERROR_SUCCESS));
        EXPECT_EQ(cchValue, 0u);
        MsiCloseHandle(hRecord);
    }
    EXPECT_EQ(components, std::set<std::string>({"ToolExe", "ToolDll"}));
    // The view keeps its database while it lives.
    EXPECT_EQ(MsiCloseHandle(hDatabase), static_cast<UINT>(ERROR_SUCCESS));
    ASSERT_EQ(MsiViewExecute(hView, hParams), static_cast<UINT>(ERROR_SUCCESS));
    ASSERT_EQ(MsiViewFetch(hView, &hRecord), static_cast<UINT>(ERROR_SUCCESS));
    MsiCloseHandle(hRecord);
    EXPECT_EQ(MsiCloseHandle(hView), static_cast<UINT>(ERROR_SUCCESS));
    MsiCloseHandle(hParams);
    EXPECT_EQ(MsiDatabaseOpenViewA(hDatabase, "SELECT Value FROM Property", &hView),
              static_cast<UINT>(ERROR_INVALID_HANDLE));
}
