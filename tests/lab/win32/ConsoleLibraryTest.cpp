// The lab's console, its table of libraries, and the process counters.
#include "tests/lab/LabTestSupport.h"

#include <cstring>
#include <fcntl.h>
#include <vector>

using namespace labtest;

namespace {

typedef BOOL(WINAPI* PFN_MEMORY)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);

PROCESS_MEMORY_COUNTERS_EX MemoryNow()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters),
                                     sizeof counters));
    return counters;
}

DWORD HandlesNow()
{
    DWORD dwCount = 0;
    EXPECT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &dwCount));
    return dwCount;
}

}  // namespace

TEST(LabConsole, AGuiProgramGetsStandardErrorAsItsConsole)
{
    ScratchDir dir;
    std::string out = dir.File("stdout");
    std::string err = dir.File("stderr");
    std::string command = Quoted(ToolPath("LabConsoleProbe")) + " >" + Quoted(out) + " 2>" + Quoted(err);
    ASSERT_EQ(0, std::system(command.c_str()));

    EXPECT_EQ("before: output=null error=null\n"
              "alloc: 1\n"
              "alloc again: 0 error=5\n"
              "after: output=handle error=handle stable=1\n"
              "write: 1 counts=9,11\n"
              "write to input: 0 error=6\n",
              AwaitFile(out, 0));
    EXPECT_EQ("\nline one\r\nline two\n", AwaitFile(err, 0));  // bytes as written, line feeds untouched
}

TEST(LabLibrary, ModulesByAnyOfTheirNames)
{
    HMODULE hPsapi = LoadLibraryA("psapi");
    ASSERT_NE(nullptr, hPsapi);
    HMODULE hUpper = LoadLibraryA("PSAPI.DLL");
    HMODULE hPath = LoadLibraryA("C:\\Windows\\System32\\PsApi.dll");
    EXPECT_EQ(hPsapi, hUpper);
    EXPECT_EQ(hPsapi, hPath);
    EXPECT_EQ(hPsapi, GetModuleHandleA("psapi.dll"));

    // kernel32 is always there; the program's own module is what WinMain was handed.
    EXPECT_NE(nullptr, GetModuleHandleA("KERNEL32.dll"));
    EXPECT_EQ(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000)), GetModuleHandleA(nullptr));

    auto pfnMemory = reinterpret_cast<PFN_MEMORY>(
        reinterpret_cast<void (*)()>(GetProcAddress(hPsapi, "GetProcessMemoryInfo")));
    ASSERT_NE(nullptr, pfnMemory);
    PROCESS_MEMORY_COUNTERS counters{};
    EXPECT_TRUE(pfnMemory(GetCurrentProcess(), &counters, sizeof counters));
    EXPECT_GT(counters.WorkingSetSize, 0u);

    // Function names are exact.
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), ErrorOf(GetProcAddress(hPsapi, "getprocessmemoryinfo")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND),
              ErrorOf(GetProcAddress(hPsapi, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(7)))));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), ErrorOf(LoadLibraryA("nosuch.dll")));

    // Each load is matched by a free; the module stays as loaded as it was before this test.
    for (int n = 0; n < 3; ++n)
        EXPECT_TRUE(FreeLibrary(hPsapi));
    bool bStillLoaded = GetModuleHandleA("psapi") != nullptr;
    HMODULE hAgain = LoadLibraryA("psapi");
    EXPECT_TRUE(FreeLibrary(hAgain));
    EXPECT_EQ(bStillLoaded, GetModuleHandleA("psapi") != nullptr);
}

TEST(LabPsapi, MemoryCountersFollowTheProcess)
{
    PROCESS_MEMORY_COUNTERS_EX before = MemoryNow();
    EXPECT_EQ(sizeof(PROCESS_MEMORY_COUNTERS_EX), before.cb);

    const size_t kSize = 64u << 20;
    std::vector<char> block(kSize);
    std::memset(block.data(), 1, kSize);  // resident, not just reserved
    PROCESS_MEMORY_COUNTERS_EX after = MemoryNow();
    EXPECT_GE(after.WorkingSetSize, before.WorkingSetSize + kSize / 2);
    EXPECT_GE(after.PrivateUsage, before.PrivateUsage + kSize / 2);
    EXPECT_GE(after.PeakWorkingSetSize, after.WorkingSetSize);
    EXPECT_GE(after.PeakPagefileUsage, after.PagefileUsage);
    EXPECT_GT(after.PageFaultCount, 0u);
    EXPECT_EQ(block[kSize - 1], 1);
}

TEST(LabPsapi, RecordSizeAndHandle)
{
    PROCESS_MEMORY_COUNTERS_EX counters;
    std::memset(&counters, 0xAB, sizeof counters);
    auto* pBasic = reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters);
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), pBasic, sizeof(PROCESS_MEMORY_COUNTERS)));
    EXPECT_EQ(sizeof(PROCESS_MEMORY_COUNTERS), counters.cb);
    SIZE_T untouched;
    std::memset(&untouched, 0xAB, sizeof untouched);
    EXPECT_EQ(untouched, counters.PrivateUsage);  // the basic record ends before it

    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              ErrorOf(GetProcessMemoryInfo(GetCurrentProcess(), pBasic, sizeof(PROCESS_MEMORY_COUNTERS) - 1)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
              ErrorOf(GetProcessMemoryInfo(reinterpret_cast<HANDLE>(0x1234), pBasic, sizeof counters)));
    DWORD dwCount = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
              ErrorOf(GetProcessHandleCount(reinterpret_cast<HANDLE>(0x1234), &dwCount)));
}

TEST(LabPsapi, HandleCountSeesKernelObjectsAndFiles)
{
    DWORD dwBefore = HandlesNow();
    HANDLE hEvents[3];
    for (HANDLE& h : hEvents)
        h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(dwBefore + 4, HandlesNow());
    close(fd);
    for (HANDLE h : hEvents)
        CloseHandle(h);
    EXPECT_EQ(dwBefore, HandlesNow());
}
