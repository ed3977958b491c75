// Drive C: ignores the case of names as Windows does, and a file keeps the case it was created with.
#include "lab/host/Host.h"
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

// The whole file as the program reads it, or "(error)" with the last error.
std::string ReadFileText(const std::string& path)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return "(" + std::to_string(GetLastError()) + ")";
    char buffer[256];
    DWORD read = 0;
    std::string text;
    while (ReadFile(hFile, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(hFile);
    return text;
}

bool WriteFileText(const std::string& path, const std::string& text)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL bOk = WriteFile(hFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(hFile);
    return bOk && written == text.size();
}

// A variant whose base spells a folder differently: Windows would hold one folder, so does C:.
class DriveCaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_base = m_scratch.File("base");
        m_own = m_scratch.File("own");
        std::filesystem::create_directories(m_base + "/drive_c/Windows/system32/drivers/etc");
        std::filesystem::create_directories(m_own + "/drive_c/Windows/System32");
        WriteText(m_base + "/registry.reg", REG_HEADER);
        WriteText(m_base + "/drive_c/Windows/system32/drivers/etc/hosts", "127.0.0.1 localhost\n");
        WriteText(m_base + "/drive_c/Windows/system32/Base.dll", "base");
        WriteText(m_own + "/registry.reg", REG_HEADER);
        WriteText(m_own + "/lab.ini", "[Profile]\nBase=../base\n");
        WriteText(m_own + "/drive_c/Windows/System32/Own.dll", "own");
        ASSERT_TRUE(lab::host::Host::Instance().LoadProfile(m_own, m_scratch.File("state")));
    }

    std::string StateC() const { return m_scratch.File("state") + "/drive_c"; }

    ScratchDir m_scratch;
    std::string m_base;
    std::string m_own;
};

TEST_F(DriveCaseTest, NamesIgnoreCaseThroughEveryLayer)
{
    EXPECT_EQ(ReadFileText("c:\\WINDOWS\\SYSTEM32\\DRIVERS\\ETC\\HOSTS"), "127.0.0.1 localhost\n");
    EXPECT_EQ(ReadFileText("C:\\windows\\system32\\own.DLL"), "own");
    EXPECT_EQ(ReadFileText("C:\\Windows\\System32\\base.dll"), "base");
    EXPECT_EQ(GetFileAttributesA("C:\\windows\\SYSTEM32") & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(ReadFileText("C:\\Windows\\..\\WINDOWS\\.\\System32\\Own.dll"), "own");

    // A missing file in a folder that is there is error 2; a missing folder is 3, in any case.
    EXPECT_EQ(ReadFileText("C:\\WINDOWS\\system32\\none.dll"), "(2)");
    EXPECT_EQ(ReadFileText("C:\\WINDOWS\\nowhere\\none.dll"), "(3)");
}

TEST_F(DriveCaseTest, AWrittenFileKeepsTheCaseItWasCreatedWith)
{
    // Changing a profile's file copies it to the state under the profile's spelling, nearest layer first.
    ASSERT_TRUE(WriteFileText("C:\\WINDOWS\\SYSTEM32\\BASE.DLL", "changed"));
    EXPECT_EQ(ReadText(StateC() + "/Windows/System32/Base.dll"), "changed");
    EXPECT_EQ(ReadFileText("c:\\windows\\system32\\base.dll"), "changed");
    EXPECT_EQ(ReadText(m_base + "/drive_c/Windows/system32/Base.dll"), "base");

    // A new file and folder keep the spelling of their creation, and are found in any other.
    ASSERT_TRUE(CreateDirectoryA("C:\\windows\\Temp", nullptr));
    EXPECT_FALSE(CreateDirectoryA("C:\\WINDOWS\\TEMP", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(WriteFileText("C:\\WINDOWS\\TEMP\\Report.XML", "<r/>"));
    EXPECT_EQ(ReadText(StateC() + "/Windows/Temp/Report.XML"), "<r/>");
    ASSERT_TRUE(WriteFileText("c:\\windows\\temp\\report.xml", "<s/>"));
    EXPECT_EQ(ReadText(StateC() + "/Windows/Temp/Report.XML"), "<s/>");
    EXPECT_FALSE(testsupport::Exists(StateC() + "/Windows/Temp/report.xml"));

    EXPECT_TRUE(DeleteFileA("C:\\Windows\\Temp\\REPORT.xml"));
    EXPECT_EQ(ReadFileText("C:\\Windows\\Temp\\Report.XML"), "(2)");
}

TEST_F(DriveCaseTest, RenamedAndRemovedNamesAreSeenAtOnce)
{
    // Looked up first, so that whatever the drive remembers of the folders is in place.
    ASSERT_EQ(ReadFileText("C:\\Windows\\System32\\own.dll"), "own");
    ASSERT_TRUE(CreateDirectoryA("C:\\Windows\\Logs", nullptr));
    ASSERT_TRUE(WriteFileText("C:\\Windows\\Logs\\First.log", "1"));
    ASSERT_EQ(ReadFileText("c:\\windows\\logs\\first.log"), "1");

    // A file renamed: gone under its old name, found under the new one in any case.
    ASSERT_TRUE(MoveFileA("C:\\WINDOWS\\LOGS\\FIRST.LOG", "C:\\Windows\\Logs\\Second.log"));
    EXPECT_EQ(ReadFileText("C:\\Windows\\Logs\\First.log"), "(2)");
    EXPECT_EQ(ReadFileText("C:\\WINDOWS\\LOGS\\SECOND.LOG"), "1");
    EXPECT_TRUE(testsupport::Exists(StateC() + "/Windows/Logs/Second.log"));

    // A folder renamed to another spelling keeps that spelling; one renamed away takes its files along.
    ASSERT_TRUE(MoveFileA("C:\\Windows\\Logs", "C:\\Windows\\LOGS2"));
    EXPECT_EQ(ReadFileText("C:\\Windows\\Logs\\Second.log"), "(3)");
    EXPECT_EQ(ReadFileText("c:\\windows\\logs2\\second.log"), "1");
    EXPECT_TRUE(testsupport::Exists(StateC() + "/Windows/LOGS2/Second.log"));

    // Removed (by something other than the program) and made again in another spelling: the new one's.
    std::filesystem::remove_all(StateC() + "/Windows/LOGS2");
    EXPECT_EQ(GetFileAttributesA("C:\\Windows\\LOGS2"), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(CreateDirectoryA("C:\\Windows\\logs2", nullptr));
    ASSERT_TRUE(WriteFileText("C:\\WINDOWS\\LOGS2\\Third.log", "3"));
    EXPECT_EQ(ReadText(StateC() + "/Windows/logs2/Third.log"), "3");

    // So is a file put there from outside.
    testsupport::WriteText(StateC() + "/Windows/logs2/Outside.log", "o");
    EXPECT_EQ(ReadFileText("C:\\Windows\\Logs2\\OUTSIDE.LOG"), "o");
}

// The names a search finds, in the order it gives them, "(error)" when it finds none.
std::string Listing(const char* pszPattern)
{
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA(pszPattern, &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return "(" + std::to_string(GetLastError()) + ")";
    std::string names;
    do
        names += std::string(names.empty() ? "" : " ") + data.cFileName;
    while (FindNextFileA(hFind, &data));
    FindClose(hFind);
    return names;
}

TEST_F(DriveCaseTest, ASearchListsEveryLayerOnce)
{
    // The folder of one name in the base and the variant is one folder holding the files of both.
    EXPECT_EQ(Listing("C:\\WINDOWS\\system32\\*"), ". .. Base.dll Own.dll drivers");
    EXPECT_EQ(Listing("c:\\windows\\System32\\*.DLL"), "Base.dll Own.dll");

    // A file changed or made on the server is listed once, under the nearest layer's spelling.
    ASSERT_TRUE(WriteFileText("C:\\Windows\\System32\\BASE.DLL", "changed"));
    ASSERT_TRUE(WriteFileText("C:\\Windows\\System32\\New.dll", "new"));
    EXPECT_EQ(Listing("C:\\Windows\\System32\\*.dll"), "Base.dll New.dll Own.dll");
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA("C:\\Windows\\System32\\base.dll", &data);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 7u);  // the state's copy, not the base's
    FindClose(hFind);

    EXPECT_EQ(Listing("C:\\Windows\\System32\\*.sys"), "(2)");
    EXPECT_EQ(Listing("C:\\Windows\\nowhere\\*"), "(3)");
}

}  // namespace
