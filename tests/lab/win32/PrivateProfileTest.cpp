// The lab's private profile functions on the lab's drives: where a path leads and where writes go.
#include "tests/lab/LabTestSupport.h"

#include "tests/support/TempProfile.h"

#include <string>

using namespace labtest;

namespace {

std::string Get(const char* section, const char* key, const char* fallback, const std::string& file, DWORD nSize = 260)
{
    std::string buffer(nSize, '#');
    DWORD n = GetPrivateProfileStringA(section, key, fallback, &buffer[0], nSize, file.c_str());
    return buffer.substr(0, n);
}

}  // namespace

TEST(LabPrivateProfile, PathsOnTheLabsDrives)
{
    CTempProfile profile("", "[Environment]\nSystemRoot=C:\\Windows\n");
    std::filesystem::create_directories(profile.Dir() + "/drive_c/Windows");
    std::filesystem::create_directories(profile.Dir() + "/drive_c/Program Files/Quillmont");
    testsupport::WriteText(profile.Dir() + "/drive_c/Windows/lab.ini", "[Where]\nIs=windows\n");
    testsupport::WriteText(profile.Dir() + "/drive_c/Program Files/Quillmont/Module.ini", "[Where]\nIs=bin\n");

    EXPECT_EQ("windows", Get("Where", "Is", "", "lab.ini"));  // a bare name is in the Windows directory
    EXPECT_EQ("bin", Get("Where", "Is", "", "C:\\Program Files\\Quillmont\\Module.ini"));
    EXPECT_EQ("bin", Get("Where", "Is", "", "C:/Program Files/Quillmont/Module.ini"));
    EXPECT_EQ("none", Get("Where", "Is", "none", "Q:\\Module.ini"));
}

TEST(LabPrivateProfile, WritesGoToTheStateAndLeaveTheProfile)
{
    CTempProfile profile("");
    std::string original = "; settings\r\n[Modules]\r\n1=RvSmbios\r\n";
    std::filesystem::create_directories(profile.Dir() + "/drive_c/Bin");
    testsupport::WriteText(profile.Dir() + "/drive_c/Bin/Module.ini", original);
    const char* file = "C:\\Bin\\Module.ini";

    EXPECT_TRUE(WritePrivateProfileStringA("modules", "2", "RvPciScan", file));
    EXPECT_EQ("; settings\r\n[Modules]\r\n1=RvSmbios\r\n2=RvPciScan\r\n",
              testsupport::ReadText(profile.StateDir() + "/drive_c/Bin/Module.ini"));
    EXPECT_EQ(original, testsupport::ReadText(profile.Dir() + "/drive_c/Bin/Module.ini"));
    EXPECT_EQ("RvPciScan", Get("Modules", "2", "", file));
}
