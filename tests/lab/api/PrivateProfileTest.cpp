// Private profile strings as Windows reads and writes them, in an .ini file the test writes itself.
#include "tests/lab/ApiTestSupport.h"

#include <string>

using apitest::ErrorOf;

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
    "Quoted=\"7\"\r\n";

class ApiPrivateProfile : public apitest::PlainMachine {
protected:
    void SetUp() override
    {
        PlainMachine::SetUp();
        m_file = File("Module.ini");
        apitest::WriteFileText(m_file, kModuleIni);
    }

    std::string Get(const char* section, const char* key, const char* fallback, DWORD nSize = 260)
    {
        return GetFrom(m_file, section, key, fallback, nSize);
    }

    static std::string GetFrom(const std::string& file, const char* section, const char* key, const char* fallback,
                               DWORD nSize = 260)
    {
        std::string buffer(nSize, '#');
        DWORD n = GetPrivateProfileStringA(section, key, fallback, &buffer[0], nSize, file.c_str());
        return buffer.substr(0, n);
    }

    // A list answer with its terminators made visible.
    std::string GetList(const char* section, DWORD nSize, DWORD* pReturned = nullptr)
    {
        std::string buffer(nSize + 4, '#');
        DWORD n = GetPrivateProfileStringA(section, nullptr, "unused", &buffer[0], nSize, m_file.c_str());
        if (pReturned)
            *pReturned = n;
        std::string shown = buffer.substr(0, nSize);
        for (char& c : shown)
            c = c == '\0' ? '|' : c;
        return shown;
    }

    UINT Int(const char* key, INT nDefault = 1)
    {
        return GetPrivateProfileIntA("Numbers", key, nDefault, m_file.c_str());
    }

    std::string m_file;
};

}  // namespace

TEST_F(ApiPrivateProfile, ReadsValuesAsWindowsDoes)
{
    EXPECT_EQ("RvSmbios", Get("modules", "1", ""));  // sections and keys ignore case, blanks go
    EXPECT_EQ("RvPciScan", Get("Modules", "2", ""));
    EXPECT_EQ("0", Get("RvSmbios", "INSTALL", "1"));  // the commented line is no key
    EXPECT_EQ("C:\\x;C:\\y ; stays, Windows has no comments after values", Get("RvSmbios", "Path", ""));
    EXPECT_EQ("  padded  ", Get("RvSmbios", "Quoted", ""));
    EXPECT_EQ("one", Get("RvSmbios", "Single", ""));
    EXPECT_EQ("\"open", Get("RvSmbios", "Unbalanced", ""));
    EXPECT_EQ("", Get("RvSmbios", "Empty", "fallback"));  // there, though empty

    // Missing: the default, without its trailing blanks; no default is the empty string.
    EXPECT_EQ("fallback", Get("Modules", "4", "fallback  "));
    EXPECT_EQ("", Get("Modules", "4", nullptr));
    EXPECT_EQ("x", Get("NoSection", "1", "x"));
    SetLastError(0);
    EXPECT_EQ("x", GetFrom(File("missing.ini"), "Modules", "1", "x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(ApiPrivateProfile, ShortBuffersAndLists)
{
    // A value is cut to nSize - 1 characters, which is the count returned.
    char value[4] = "###";
    EXPECT_EQ(3u, GetPrivateProfileStringA("Modules", "2", "", value, sizeof value, m_file.c_str()));
    EXPECT_STREQ("RvP", value);
    EXPECT_EQ(0u, GetPrivateProfileStringA("Modules", "2", "", value, 1, m_file.c_str()));
    EXPECT_STREQ("", value);

    // Lists: each name terminated, a second terminator at the end, counted without it.
    DWORD n = 0;
    EXPECT_EQ("Modules|rvsmbios|Numbers||###", GetList(nullptr, 29, &n));
    EXPECT_EQ(25u, n);
    EXPECT_EQ("1|2||#", GetList("Modules", 6, &n));
    EXPECT_EQ(4u, n);
}

// A list that just fits is whole; a list cut short ends in two terminators and counts nSize - 2.
TEST_F(ApiPrivateProfile, ListsAtTheEdgeOfTheBuffer)
{
    if (apitest::UnderWine())
        GTEST_SKIP() << "Wine: a list that just fits is cut, and a cut list ends in one terminator, not two";
    DWORD n = 0;
    EXPECT_EQ("Modules|rvsmbios|Numbers||", GetList(nullptr, 26, &n));
    EXPECT_EQ(25u, n);
    EXPECT_EQ("1|2||", GetList("Modules", 5, &n));
    EXPECT_EQ(4u, n);
    EXPECT_EQ("Modules|rvs||", GetList(nullptr, 13, &n));
    EXPECT_EQ(11u, n);
}

TEST_F(ApiPrivateProfile, Integers)
{
    EXPECT_EQ(42u, Int("Decimal"));
    EXPECT_EQ(31u, Int("Hex"));
    EXPECT_EQ(static_cast<UINT>(-5), Int("Negative"));
    EXPECT_EQ(12u, Int("Trailing"));
    EXPECT_EQ(0u, Int("Letters"));
    EXPECT_EQ(7u, Int("Quoted"));
    EXPECT_EQ(1u, Int("Empty"));
    EXPECT_EQ(1u, Int("Missing"));
    EXPECT_EQ(static_cast<UINT>(-3), GetPrivateProfileIntA("Numbers", "Missing", -3, File("none.ini").c_str()));
    EXPECT_EQ(0u, GetPrivateProfileIntA("rvsmbios", "Install", 1, m_file.c_str()));
}

TEST_F(ApiPrivateProfile, WritesKeepTheRest)
{
    std::string file = File("Settings.ini");
    apitest::WriteFileText(file, "; settings\r\n[Modules]\r\n1=RvSmbios\r\n[RvSmbios]\r\nInstall=1\r\nPath=x\r\n");

    EXPECT_TRUE(WritePrivateProfileStringA("modules", "2", "RvPciScan", file.c_str()));  // added to the section
    EXPECT_TRUE(WritePrivateProfileStringA("rvsmbios", "INSTALL", "0", file.c_str()));   // changed in place
    EXPECT_TRUE(WritePrivateProfileStringA("RvSmbios", "Path", nullptr, file.c_str()));  // removed
    EXPECT_TRUE(WritePrivateProfileStringA("New", "Key", "value", file.c_str()));        // a new section at the end
    EXPECT_EQ("; settings\r\n[Modules]\r\n1=RvSmbios\r\n2=RvPciScan\r\n[RvSmbios]\r\nInstall=0\r\n"
              "[New]\r\nKey=value\r\n",
              apitest::ReadFileText(file));
    EXPECT_EQ("0", GetFrom(file, "RvSmbios", "Install", ""));

    // A file that is not there yet is made; a folder that is not there is an error.
    std::string fresh = File("Fresh.ini");
    EXPECT_TRUE(WritePrivateProfileStringA("Trace", "Level", "3", fresh.c_str()));
    EXPECT_EQ("3", GetFrom(fresh, "trace", "level", ""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND),
              ErrorOf(WritePrivateProfileStringA("S", "K", "V", File("no/such/dir.ini").c_str())));
}
