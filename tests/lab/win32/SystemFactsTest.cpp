// The lab's system facts as profiles set them: version records, processor, languages and the system directories.
#include "tests/lab/PeFixtures.h"

#include "tests/support/TempProfile.h"

#include <cstring>
#include <thread>

using namespace labtest;

namespace {

std::string Directory(UINT(WINAPI* pfn)(LPSTR, UINT))
{
    char path[MAX_PATH];
    UINT n = pfn(path, sizeof path);
    return n == 0 ? "error " + std::to_string(GetLastError()) : std::string(path, n);
}

struct Facts {
    OSVERSIONINFOEXA ex;
    SYSTEM_INFO si;
    LANGID systemLanguage, userLanguage;
    std::string systemDirectory, wow64Directory;
};

Facts Read()
{
    Facts facts;
    std::memset(&facts.ex, 0xCC, sizeof facts.ex);  // every byte must be written
    std::memset(&facts.si, 0xCC, sizeof facts.si);
    facts.ex.dwOSVersionInfoSize = sizeof facts.ex;
    EXPECT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&facts.ex)));
    GetSystemInfo(&facts.si);
    facts.systemLanguage = GetSystemDefaultLangID();
    facts.userLanguage = GetUserDefaultLangID();
    facts.systemDirectory = Directory(GetSystemDirectoryA);
    facts.wow64Directory = Directory(GetSystemWow64DirectoryA);
    return facts;
}

}  // namespace

TEST(LabSystemFacts, ProfileDescribesAnotherSystem)
{
    CTempProfile profile("", "[Environment]\nSystemRoot=D:\\WINNT\\\n"
                             "[System]\nMajorVersion=5\nMinorVersion=2\nBuildNumber=3790\nCSDVersion=Service Pack 2\n"
                             "ServicePackMajor=2\nProductType=1\nSuiteMask=0\nProcessorArchitecture=x86\n"
                             "NumberOfProcessors=2\nSystemLanguage=1031\nUserLanguage=0x409\n");
    OSVERSIONINFOEXA ex{};
    ex.dwOSVersionInfoSize = sizeof ex;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(2, ex.wServicePackMajor);
    EXPECT_EQ(VER_NT_WORKSTATION, ex.wProductType);
    EXPECT_EQ(0, ex.wSuiteMask);

    SYSTEM_INFO si{};
    GetSystemInfo(&si);
    EXPECT_EQ(PROCESSOR_ARCHITECTURE_INTEL, si.wProcessorArchitecture);
    EXPECT_EQ(2u, si.dwNumberOfProcessors);
    EXPECT_EQ(3u, si.dwActiveProcessorMask);
    EXPECT_EQ(1031u, GetSystemDefaultLCID());

    // The Windows directory follows SystemRoot; a 32-bit system has no WOW64 directory.
    EXPECT_EQ("D:\\WINNT", Directory(GetWindowsDirectoryA));
    EXPECT_EQ("D:\\WINNT\\system32", Directory(GetSystemDirectoryA));
    EXPECT_EQ("error 120", Directory(GetSystemWow64DirectoryA));

    // The thread locale of a new thread starts as the user's language when the profile names no locale.
    LCID threadLocale = 0;
    std::thread([&threadLocale] { threadLocale = GetThreadLocale(); }).join();
    EXPECT_EQ(1033u, threadLocale);

    CTempProfile other("", "[System]\nProcessorArchitecture=IA64\nWindowsDirectory=C:\\WINDOWS\n");
    GetSystemInfo(&si);
    EXPECT_EQ(PROCESSOR_ARCHITECTURE_IA64, si.wProcessorArchitecture);
    EXPECT_EQ("C:\\WINDOWS\\SysWOW64", Directory(GetSystemWow64DirectoryA));

    // A 64-bit system the profile says has no WOW64 keeps its system directory.
    CTempProfile noWow64("", "[System]\nWow64=no\n");
    EXPECT_EQ("error 120", Directory(GetSystemWow64DirectoryA));
    EXPECT_EQ("C:\\Windows\\system32", Directory(GetSystemDirectoryA));
}

// The sample server's lab.ini spells out what a profile without settings gets too.
TEST(LabSystemFacts, AnEmptyProfileIsTheDefaultServer)
{
    Facts server;
    {
        DefaultProfileHost profile;
        server = Read();
    }
    CTempProfile empty("");
    Facts defaults = Read();
    EXPECT_EQ(0, std::memcmp(&server.ex, &defaults.ex, sizeof server.ex));
    EXPECT_EQ(0, std::memcmp(&server.si, &defaults.si, sizeof server.si));
    EXPECT_EQ(server.systemLanguage, defaults.systemLanguage);
    EXPECT_EQ(server.userLanguage, defaults.userLanguage);
    EXPECT_EQ(server.systemDirectory, defaults.systemDirectory);
    EXPECT_EQ(server.wow64Directory, defaults.wow64Directory);
    EXPECT_EQ(17763u, defaults.ex.dwBuildNumber);
}
