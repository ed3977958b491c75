// CFileVersion over real PE files: translations, string values, and the WOW64 system directory fallback.
#include "src/sysaccess/FileVersion.h"

#include "tests/support/TempProfile.h"
#include "tests/support/TraceFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class FileVersionTest : public ::testing::Test {
protected:
    explicit FileVersionTest(const std::string& strLabIni = "")
        : m_Profile("", "[System]\nWindowsDirectory=C:\\Windows\n" + strLabIni)
    {
        m_Profile.PlaceFixture("OneTranslation.dll", "Windows/SysWOW64/qmwow.dll");
        m_Profile.PlaceFixture("OneTranslation.dll", "Windows/system32/qmnative.dll");
        m_Profile.PlaceFixture("TwoTranslations.dll", "Qm/TwoTranslations.dll");
        m_Profile.PlaceFixture("NoVersion.dll", "Qm/NoVersion.dll");
    }

    CTempProfile m_Profile;
    CTraceFile m_Trace{m_Profile.Scratch() + "/trace.txt", 3};
};

class FileVersionWithoutWow64Test : public FileVersionTest {
protected:
    FileVersionWithoutWow64Test() : FileVersionTest("[Libraries]\nMissing=kernel32!GetSystemWow64DirectoryA\n") {}
};

TEST_F(FileVersionTest, TranslationsAndStrings)
{
    CFileVersion version;
    // The first translation listed is German, so language 0 reads the German table.
    EXPECT_STREQ(version.GetVersionString("C:\\Qm\\TwoTranslations.dll", "CompanyName"), "Quillmont GmbH");
    EXPECT_STREQ(version.GetVersionString("C:\\Qm\\TwoTranslations.dll", "CompanyName", 0x409), "Quillmont");
    EXPECT_EQ(version.LastError(), 0u);
    EXPECT_STREQ(version.GetVersionString("C:\\Qm\\TwoTranslations.dll", "CompanyName", 0x40C), "");
    EXPECT_EQ(m_Trace.Take(), "\n                    : ERROR 0x0! ContainsLanguageId() FAILED!");

    // The one translation 0409/04B0 answers language 0 from the table 040904B0.
    EXPECT_STREQ(version.GetVersionString("C:\\Windows\\system32\\qmnative.dll", "FileVersion"), "4.20.1187.2");
    EXPECT_STREQ(version.QueryString("ProductVersion"), "4.20.1187");
    EXPECT_STREQ(version.QueryString("NoSuchValue"), "");
    EXPECT_NE(version.LastError(), 0u);
}

TEST_F(FileVersionTest, AFileWithoutVersionGivesNothing)
{
    CFileVersion version;
    EXPECT_FALSE(version.Load("C:\\Qm\\NoVersion.dll"));
    EXPECT_STREQ(version.QueryString("FileVersion"), "");
    EXPECT_EQ(m_Trace.Take(),
              "\n                    : ERROR 0x715! GetFileVersionInfoSize() (\"C:\\Qm\\NoVersion.dll\") FAILED!"
              "\n                    : ERROR 0x715! GetVersionInfo() FAILED!");
}

TEST_F(FileVersionTest, SystemFileFoundInTheWow64Directory)
{
    CFileVersion version;
    EXPECT_STREQ(version.GetVersionString("C:\\Windows\\system32\\qmwow.dll", "FileDescription"),
                 "Fixture with one translation");
    EXPECT_EQ(m_Trace.Take(),
              "\n                    : System dir is: \"C:\\Windows\\system32\""
              "\n                    : Module system location is: \"\\qmwow.dll\""
              "\n                    : Check WOW64 system path: \"C:\\Windows\\SysWOW64\\qmwow.dll\"");

    // Only a path under the system directory is looked for there.
    EXPECT_EQ(version.GetVersionInfoSize("C:\\Qm\\qmwow.dll"), 0u);
    EXPECT_EQ(m_Trace.Take(),
              "\n                    : System dir is: \"C:\\Windows\\system32\""
              "\n                    : ERROR 0x2! GetFileVersionInfoSize() (\"C:\\Qm\\qmwow.dll\") FAILED!");
}

TEST_F(FileVersionWithoutWow64Test, NoFallbackWithoutTheWow64Directory)
{
    CFileVersion version;
    EXPECT_FALSE(version.Load("C:\\Windows\\system32\\qmwow.dll"));
    std::vector<BYTE> buffer(4096);
    EXPECT_FALSE(version.GetVersionInfo("C:\\Windows\\system32\\qmwow.dll", static_cast<DWORD>(buffer.size()),
                                        buffer.data()));
    EXPECT_TRUE(version.Load("C:\\Windows\\system32\\qmnative.dll"));
}

}  // namespace
