// The lab's private profile functions: INI files read and written the way Windows does it.
#include "tests/lab/LabTestSupport.h"

#include "tests/support/TempProfile.h"

#include <string>

using namespace labtest;

namespace {

const char kModuleIni[] =
    "; modules of the base service\r\n"
    "[Modules]\r\n"
    "1 = RvSmbios\r\n"
    "  2=RvPciScan   \r\n"
    "[rvsmbios]\r\n"
    "Install=0\r\n"
    "Path=C:\\x;C:\\y ; stays, Windows has no comments after values\r\n"
    ";Install=1\r\n"
    "Quoted=\"  padded  \"\r\n"
    "Single='one'\r\n"
    "Unbalanced=\"open\r\n"
    "Bare line\r\n"
    "Empty=\r\n"
    "\r\n"
    "[Numbers]\r\n"
    "Decimal=42\r\n"
    "Hex=0x1F\r\n"
    "Negative=-5\r\n"
    "Trailing=12abc\r\n"
    "Letters=abc\r\n"
    "Empty=\r\n"
    "Quoted=\"7\"\r\n"
    "[MODULES]\r\n"
    "3=RvStorage\r\n"
    "1=Shadowed\r\n";

std::string Get(const char* section, const char* key, const char* fallback, const std::string& file, DWORD nSize = 260)
{
    std::string buffer(nSize, '#');
    DWORD n = GetPrivateProfileStringA(section, key, fallback, &buffer[0], nSize, file.c_str());
    return buffer.substr(0, n);
}

// A list answer with its terminators made visible.
std::string GetList(const char* section, const std::string& file, DWORD nSize, DWORD* pReturned = nullptr)
{
    std::string buffer(nSize + 4, '#');
    DWORD n = GetPrivateProfileStringA(section, nullptr, "unused", &buffer[0], nSize, file.c_str());
    if (pReturned)
        *pReturned = n;
    std::string shown = buffer.substr(0, nSize);
    for (char& c : shown)
        c = c == '\0' ? '|' : c;
    return shown;
}

}  // namespace

TEST(LabPrivateProfile, ReadsValuesAsWindowsDoes)
{
    ScratchDir dir;
    std::string file = dir.File("Module.ini");
    testsupport::WriteText(file, kModuleIni);

    EXPECT_EQ("RvSmbios", Get("modules", "1", "", file));   // sections and keys ignore case, blanks go
    EXPECT_EQ("RvPciScan", Get("Modules", "2", "", file));
    EXPECT_EQ("RvStorage", Get("Modules", "3", "", file));  // a section written twice is one
    EXPECT_EQ("RvSmbios", Get("Modules", "1", "", file));   // and its first key wins
    EXPECT_EQ("0", Get("RvSmbios", "INSTALL", "1", file));  // the commented line is no key
    EXPECT_EQ("C:\\x;C:\\y ; stays, Windows has no comments after values", Get("RvSmbios", "Path", "", file));
    EXPECT_EQ("  padded  ", Get("RvSmbios", "Quoted", "", file));
    EXPECT_EQ("one", Get("RvSmbios", "Single", "", file));
    EXPECT_EQ("\"open", Get("RvSmbios", "Unbalanced", "", file));
    EXPECT_EQ("", Get("RvSmbios", "Empty", "fallback", file));  // there, though empty

    // Missing: the default, without its trailing blanks; no default is the empty string.
    SetLastError(0);
    EXPECT_EQ("fallback", Get("Modules", "4", "fallback  ", file));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ("", Get("Modules", "4", nullptr, file));
    EXPECT_EQ("x", Get("NoSection", "1", "x", file));
    SetLastError(0);
    EXPECT_EQ("x", Get("Modules", "1", "x", dir.File("missing.ini")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(LabPrivateProfile, ShortBuffersAndLists)
{
    ScratchDir dir;
    std::string file = dir.File("Module.ini");
    testsupport::WriteText(file, kModuleIni);

    // A value is cut to nSize - 1 characters, which is the count returned.
    char value[4] = "###";
    EXPECT_EQ(3u, GetPrivateProfileStringA("Modules", "2", "", value, sizeof value, file.c_str()));
    EXPECT_STREQ("RvP", value);
    EXPECT_EQ(0u, GetPrivateProfileStringA("Modules", "2", "", value, 1, file.c_str()));
    EXPECT_STREQ("", value);
    EXPECT_EQ(0u, GetPrivateProfileStringA("Modules", "9", "short", value, 0, file.c_str()));  // no room at all
    EXPECT_STREQ("", value);

    // Lists: each name terminated, a second terminator at the end; cut lists end in two terminators
    // and count nSize - 2.
    DWORD n = 0;
    EXPECT_EQ("Modules|rvsmbios|Numbers||", GetList(nullptr, file, 26, &n));
    EXPECT_EQ(25u, n);
    EXPECT_EQ("Modules|rvs||", GetList(nullptr, file, 13, &n));
    EXPECT_EQ(11u, n);
    EXPECT_EQ("1|2|3||", GetList("Modules", file, 7, &n));  // keys of both halves, each once in its order
    EXPECT_EQ(6u, n);
}

TEST(LabPrivateProfile, Integers)
{
    ScratchDir dir;
    std::string file = dir.File("Module.ini");
    testsupport::WriteText(file, kModuleIni);

    EXPECT_EQ(42u, GetPrivateProfileIntA("Numbers", "Decimal", 1, file.c_str()));
    EXPECT_EQ(31u, GetPrivateProfileIntA("Numbers", "Hex", 1, file.c_str()));
    EXPECT_EQ(static_cast<UINT>(-5), GetPrivateProfileIntA("Numbers", "Negative", 1, file.c_str()));
    EXPECT_EQ(12u, GetPrivateProfileIntA("Numbers", "Trailing", 1, file.c_str()));
    EXPECT_EQ(0u, GetPrivateProfileIntA("Numbers", "Letters", 1, file.c_str()));
    EXPECT_EQ(7u, GetPrivateProfileIntA("Numbers", "Quoted", 1, file.c_str()));
    EXPECT_EQ(1u, GetPrivateProfileIntA("Numbers", "Empty", 1, file.c_str()));
    EXPECT_EQ(1u, GetPrivateProfileIntA("Numbers", "Missing", 1, file.c_str()));
    EXPECT_EQ(static_cast<UINT>(-3), GetPrivateProfileIntA("Numbers", "Missing", -3, dir.File("none.ini").c_str()));
    EXPECT_EQ(0u, GetPrivateProfileIntA("rvsmbios", "Install", 1, file.c_str()));
}

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

TEST(LabPrivateProfile, WritesKeepTheRestAndGoToTheState)
{
    CTempProfile profile("");
    std::string original = "; settings\r\n[Modules]\r\n1=RvSmbios\r\n\r\n[RvSmbios]\r\nInstall=1\r\nPath=x\r\n";
    std::filesystem::create_directories(profile.Dir() + "/drive_c/Bin");
    testsupport::WriteText(profile.Dir() + "/drive_c/Bin/Module.ini", original);
    const char* file = "C:\\Bin\\Module.ini";

    EXPECT_TRUE(WritePrivateProfileStringA("modules", "2", "RvPciScan", file));  // added to the section
    EXPECT_TRUE(WritePrivateProfileStringA("rvsmbios", "INSTALL", "0", file));   // changed in place
    EXPECT_TRUE(WritePrivateProfileStringA("RvSmbios", "Path", nullptr, file));  // removed
    EXPECT_TRUE(WritePrivateProfileStringA("New", "Key", "value", file));        // a new section at the end
    EXPECT_EQ("; settings\r\n[Modules]\r\n1=RvSmbios\r\n2=RvPciScan\r\n\r\n[RvSmbios]\r\nInstall=0\r\n"
              "[New]\r\nKey=value\r\n",
              testsupport::ReadText(profile.StateDir() + "/drive_c/Bin/Module.ini"));
    EXPECT_EQ(original, testsupport::ReadText(profile.Dir() + "/drive_c/Bin/Module.ini"));  // the profile stays
    EXPECT_EQ("0", Get("RvSmbios", "Install", "", file));

    // A missing directory outside C: is an error.
    ScratchDir dir;
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND),
              ErrorOf(WritePrivateProfileStringA("S", "K", "V", dir.File("no/such/dir.ini").c_str())));
}
