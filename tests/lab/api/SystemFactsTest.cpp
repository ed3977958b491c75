// System facts whatever the machine: the version record's sizes, the directory buffer protocol, processors and
// languages that agree with each other.
#include "tests/lab/ApiTestSupport.h"

#include <cctype>
#include <cstring>
#include <string>
#include <thread>

namespace {

class ApiSystemFacts : public apitest::PlainMachine {};

typedef UINT(WINAPI* PFN_WOW64DIR)(LPSTR, UINT);

std::string Directory(UINT(WINAPI* pfn)(LPSTR, UINT))
{
    char path[MAX_PATH];
    UINT n = pfn(path, sizeof path);
    return n == 0 ? "error " + std::to_string(GetLastError()) : std::string(path, n);
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

TEST_F(ApiSystemFacts, VersionRecordSizes)
{
    // The program reads the extended record through a pointer to the basic one.
    OSVERSIONINFOEXA ex;
    std::memset(&ex, 0xCC, sizeof ex);
    ex.dwOSVersionInfoSize = sizeof ex;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), ex.dwPlatformId);
    EXPECT_GE(ex.dwMajorVersion, 5u);
    EXPECT_NE(nullptr, std::memchr(ex.szCSDVersion, 0, sizeof ex.szCSDVersion));
    EXPECT_NE(0xCCCC, ex.wSuiteMask);  // every field of the extended record is written
    EXPECT_NE(0xCC, ex.wProductType);

    // The basic record is not written beyond its end.
    struct {
        OSVERSIONINFOA info;
        unsigned char after[8];
    } guarded;
    std::memset(&guarded, 0xCC, sizeof guarded);
    guarded.info.dwOSVersionInfoSize = sizeof guarded.info;
    ASSERT_TRUE(GetVersionExA(&guarded.info));
    EXPECT_EQ(ex.dwBuildNumber, guarded.info.dwBuildNumber);
    for (unsigned char c : guarded.after)
        EXPECT_EQ(0xCC, c);

    for (DWORD size : {0u, 147u, 149u, 155u, 157u}) {
        OSVERSIONINFOEXA bad{};
        bad.dwOSVersionInfoSize = size;
        SetLastError(0);
        EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&bad))) << size;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError()) << size;
        EXPECT_EQ(0u, bad.dwMajorVersion);
    }
}

TEST_F(ApiSystemFacts, DirectoryBufferProtocol)
{
    const std::string windows = Directory(GetWindowsDirectoryA);
    const std::string system = Directory(GetSystemDirectoryA);
    EXPECT_EQ(Lower(windows + "\\system32"), Lower(system));

    char path[MAX_PATH];
    std::memset(path, '#', sizeof path);
    EXPECT_EQ(system.size() + 1, GetSystemDirectoryA(path, static_cast<UINT>(system.size())));  // the size needed
    EXPECT_EQ('#', path[0]);
    EXPECT_EQ(system.size() + 1, GetSystemDirectoryA(nullptr, 0));
    EXPECT_EQ(system.size(), GetSystemDirectoryA(path, static_cast<UINT>(system.size() + 1)));
    EXPECT_EQ(system, path);
    EXPECT_EQ(windows.size() + 1, GetWindowsDirectoryA(path, 4));
}

// A 64-bit program on a 64-bit system has a WOW64 directory; resolved as the program resolves it.
TEST_F(ApiSystemFacts, Wow64DirectoryBesideTheSystemDirectory)
{
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    ASSERT_NE(nullptr, hKernel);
    auto pfn = reinterpret_cast<PFN_WOW64DIR>(
        reinterpret_cast<void (*)()>(GetProcAddress(hKernel, "GetSystemWow64DirectoryA")));
    ASSERT_NE(nullptr, pfn);
    EXPECT_EQ(Lower(Directory(GetWindowsDirectoryA) + "\\SysWOW64"), Lower(Directory(pfn)));
    char path[4];
    EXPECT_EQ(Directory(pfn).size() + 1, pfn(path, sizeof path));
}

TEST_F(ApiSystemFacts, ProcessorsAndLanguagesAgree)
{
    SYSTEM_INFO si;
    std::memset(&si, 0xCC, sizeof si);
    GetSystemInfo(&si);
    EXPECT_EQ(PROCESSOR_ARCHITECTURE_AMD64, si.wProcessorArchitecture);
    ASSERT_GE(si.dwNumberOfProcessors, 1u);
    ASSERT_LE(si.dwNumberOfProcessors, 64u);
    DWORD_PTR mask = si.dwNumberOfProcessors == 64 ? ~DWORD_PTR(0) : (DWORD_PTR(1) << si.dwNumberOfProcessors) - 1;
    EXPECT_EQ(mask, si.dwActiveProcessorMask);
    EXPECT_EQ(4096u, si.dwPageSize);
    SYSTEM_INFO native{};
    GetNativeSystemInfo(&native);
    EXPECT_EQ(si.wProcessorArchitecture, native.wProcessorArchitecture);
    EXPECT_EQ(si.dwNumberOfProcessors, native.dwNumberOfProcessors);

    EXPECT_EQ(GetSystemDefaultLangID(), LANGIDFROMLCID(GetSystemDefaultLCID()));
    EXPECT_EQ(GetUserDefaultLangID(), LANGIDFROMLCID(GetUserDefaultLCID()));
    EXPECT_NE(0, PRIMARYLANGID(GetSystemDefaultLangID()));
    // A new thread's locale is the user's.
    LCID threadLocale = 0;
    std::thread([&threadLocale] { threadLocale = GetThreadLocale(); }).join();
    EXPECT_EQ(GetUserDefaultLCID(), threadLocale);
}

TEST_F(ApiSystemFacts, ComputerNameBufferProtocol)
{
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD cch = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &cch));
    ASSERT_GT(cch, 0u);
    EXPECT_EQ(std::strlen(name), cch);

    char small[2];
    DWORD cchSmall = sizeof small;
    SetLastError(0);
    EXPECT_FALSE(GetComputerNameA(small, &cchSmall));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_OVERFLOW), GetLastError());
    EXPECT_EQ(cch + 1, cchSmall);  // the room needed, with the terminator
}
