// The lab's process list through psapi, from a profile's list or the live host.
#include "tests/lab/LabTestSupport.h"

#include "lab/host/Drives.h"
#include "lab/host/Processes.h"
#include "tests/support/TempProfile.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <vector>

using namespace labtest;

namespace {

// The process status functions; the program resolves them from PsApi.dll, which its own suites cover.
std::vector<DWORD> Ids(DWORD cb = 4096)
{
    std::vector<DWORD> ids(cb / sizeof(DWORD) + 1, 0xFFFFFFFF);
    DWORD cbNeeded = 0;
    EXPECT_TRUE(EnumProcesses(ids.data(), cb, &cbNeeded));
    EXPECT_EQ(0u, cbNeeded % sizeof(DWORD));
    EXPECT_EQ(0xFFFFFFFFu, ids[cb / sizeof(DWORD)]);  // nothing written past the buffer
    ids.resize(cbNeeded / sizeof(DWORD));
    return ids;
}

// A module's name; "<N>" with the error N when the call fails.
std::string Name(DWORD(WINAPI* pfn)(HANDLE, HMODULE, LPSTR, DWORD), HANDLE h, HMODULE hMod = nullptr)
{
    char name[520] = "unset";
    DWORD length = pfn(h, hMod, name, sizeof name);
    return length ? std::string(name, length) : "<" + std::to_string(GetLastError()) + ">";
}

std::string BaseName(HANDLE h, HMODULE hMod = nullptr)
{
    return Name(GetModuleBaseNameA, h, hMod);
}

std::string FileName(HANDLE h, HMODULE hMod = nullptr)
{
    return Name(GetModuleFileNameExA, h, hMod);
}

std::vector<HMODULE> Modules(HANDLE h)
{
    std::vector<HMODULE> modules(256);
    DWORD cbNeeded = 0;
    if (!EnumProcessModules(h, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &cbNeeded))
        return {};
    modules.resize(std::min<size_t>(modules.size(), cbNeeded / sizeof(HMODULE)));
    return modules;
}

PROCESS_MEMORY_COUNTERS_EX Memory(HANDLE h)
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    EXPECT_TRUE(GetProcessMemoryInfo(h, reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters), sizeof counters))
        << GetLastError();
    return counters;
}

DWORD Handles(HANDLE h)
{
    DWORD dwCount = 0;
    EXPECT_TRUE(GetProcessHandleCount(h, &dwCount)) << GetLastError();
    return dwCount;
}

struct ProcessHandle {
    // dwError is 0 when the process opened.
    ProcessHandle(DWORD dwAccess, DWORD dwPid) : h(OpenProcess(dwAccess, FALSE, dwPid)), dwError(h ? 0 : GetLastError())
    {
    }
    ~ProcessHandle()
    {
        if (h)
            CloseHandle(h);
    }
    HANDLE h;
    DWORD dwError;
};

constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x410

const char* const kServerList = R"(; a small server
[Process]
Pid=0
[Process]
Pid=4
[Process]
Pid=340
Image=\SystemRoot\System32\smss.exe
Module=C:\Windows\SYSTEM32\ntdll.dll
WorkingSet=1204K
PeakWorkingSet=1412K
PagefileUsage=1096K
PageFaults=412
Handles=53
[Process]
Pid=452
Image=\??\C:\Windows\system32\csrss.exe
[Process]
Pid=612
Image=C:\Windows\system32\services.exe
Access=limited
WorkingSet=9876K
PagefileUsage=5120K
PrivateUsage=4M
Handles=612
[Process]
Pid=700
Image=C:\Windows\system32\lsass.exe
Access=none
[Process]
Pid=88
WorkingSet=0x10000
)";

// A server with the list above (or the live host), loaded for one test.
class LabProcessList : public ::testing::Test {
protected:
    void Load(const std::string& labIni, const std::string& list = kServerList)
    {
        m_pProfile = std::make_unique<CTempProfile>("", labIni);
        m_pProfile->Write("processes.ini", list);
        lab::host::Host::Instance().LoadProfile(m_pProfile->Dir(), m_pProfile->StateDir());
    }

    RestoreProfile m_restore;
    std::unique_ptr<CTempProfile> m_pProfile;
};

const char* const kProfileSource = "[Processes]\nSource=profile\n";

}  // namespace

TEST_F(LabProcessList, ProfileListInItsOrderWithWindowsPaths)
{
    Load(kProfileSource);
    EXPECT_EQ((std::vector<DWORD>{0, 4, 340, 452, 612, 700, 88}), Ids());
    // A short buffer gets what fits, and the count says only that much.
    EXPECT_EQ((std::vector<DWORD>{0, 4}), Ids(11));

    ProcessHandle smss(kQueryAndRead, 340);
    ASSERT_NE(nullptr, smss.h) << smss.dwError;
    std::vector<HMODULE> modules = Modules(smss.h);
    ASSERT_EQ(2u, modules.size());
    EXPECT_EQ("smss.exe", BaseName(smss.h));
    EXPECT_EQ("smss.exe", BaseName(smss.h, modules[0]));  // the first module is the executable
    EXPECT_EQ("\\SystemRoot\\System32\\smss.exe", FileName(smss.h));
    EXPECT_EQ("ntdll.dll", BaseName(smss.h, modules[1]));
    EXPECT_EQ("C:\\Windows\\SYSTEM32\\ntdll.dll", FileName(smss.h, modules[1]));
    EXPECT_EQ("<6>", BaseName(smss.h, reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x1234))));

    // The needed size comes back with a buffer too small for all; names are cut to fit.
    HMODULE first = nullptr;
    DWORD cbNeeded = 0;
    EXPECT_TRUE(EnumProcessModules(smss.h, &first, sizeof first, &cbNeeded));
    EXPECT_EQ(2 * sizeof(HMODULE), cbNeeded);
    EXPECT_EQ(modules[0], first);
    char shortName[5];
    EXPECT_EQ(4u, GetModuleBaseNameA(smss.h, nullptr, shortName, sizeof shortName));
    EXPECT_STREQ("smss", shortName);
    EXPECT_EQ(0u, GetModuleFileNameExA(smss.h, nullptr, shortName, 0));

    // Counters the list leaves out: the peak is the current value, the private usage the pagefile's.
    PROCESS_MEMORY_COUNTERS_EX counters = Memory(smss.h);
    EXPECT_EQ(412u, counters.PageFaultCount);
    EXPECT_EQ(1412u * 1024, counters.PeakWorkingSetSize);
    EXPECT_EQ(1096u * 1024, counters.PeakPagefileUsage);
    EXPECT_EQ(1096u * 1024, counters.PrivateUsage);
    EXPECT_EQ(53u, Handles(smss.h));
}

TEST_F(LabProcessList, OpeningAndRightsAsOnWindows)
{
    Load(kProfileSource);

    // The idle process and a process that does not exist: 87. A process that grants nothing: 5.
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ProcessHandle(PROCESS_QUERY_LIMITED_INFORMATION, 0).dwError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ProcessHandle(kQueryAndRead, 9999).dwError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ProcessHandle(PROCESS_QUERY_LIMITED_INFORMATION, 700).dwError);
    EXPECT_EQ(nullptr, ProcessHandle(kQueryAndRead, 700).h);

    // A protected process grants the limited query only: counters yes, modules no.
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ProcessHandle(kQueryAndRead, 612).dwError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ProcessHandle(PROCESS_QUERY_INFORMATION, 612).dwError);
    ProcessHandle services(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, 612);
    ASSERT_NE(nullptr, services.h);
    EXPECT_EQ(9876u * 1024, Memory(services.h).WorkingSetSize);
    EXPECT_EQ(612u, Handles(services.h));
    EXPECT_TRUE(Modules(services.h).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    // The module functions need both rights of 0x410; the counters either query right.
    ProcessHandle queryOnly(PROCESS_QUERY_INFORMATION, 340);
    EXPECT_EQ("<5>", BaseName(queryOnly.h));
    EXPECT_EQ(1204u * 1024, Memory(queryOnly.h).WorkingSetSize);
    ProcessHandle readOnly(PROCESS_VM_READ, 340);
    PROCESS_MEMORY_COUNTERS counters;
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
              ErrorOf(GetProcessMemoryInfo(readOnly.h, &counters, sizeof counters)));

    // A process without modules opens, but has nothing to enumerate or name.
    ProcessHandle noModules(kQueryAndRead, 88);
    ASSERT_NE(nullptr, noModules.h);
    HMODULE hMod = nullptr;
    DWORD cbNeeded = 0;
    EXPECT_EQ(299u, ErrorOf(EnumProcessModules(noModules.h, &hMod, sizeof hMod, &cbNeeded)));
    EXPECT_EQ("<299>", BaseName(noModules.h));
    EXPECT_EQ("<299>", FileName(noModules.h));

    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
              ErrorOf(EnumProcessModules(reinterpret_cast<HANDLE>(0x4444), &hMod, sizeof hMod, &cbNeeded)));
}

TEST_F(LabProcessList, MalformedListsAreRefused)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"[Process]\nImage=C:\\a.exe\n", "line 1: a process needs a Pid"},
        {"[Process]\nPid=8\n[Process]\nPid=8\n", "line 3: pid 8 listed twice"},
        {"[Process]\nPid=8\nModule=C:\\x.dll\n", "line 1: modules without an Image"},
        {"[Process]\nPid=8\nAccess=some\n", "line 3: access is full, limited or none"},
        {"[Process]\nPid=8\nWorkingSet=12X\n", "line 3: bad size 12X"},
        {"[Process]\nPid=8\nThreads=4\n", "line 3: unknown key Threads"},
        {"[Task]\nPid=8\n", "line 1: unknown block [Task]"},
    };
    for (const Case& c : cases) {
        std::vector<lab::host::ProcessEntry> list;
        std::string error;
        EXPECT_FALSE(lab::host::Processes::Parse(c.text, list, error)) << c.text;
        EXPECT_EQ(c.error, error);
    }
    // A broken list in a profile leaves no processes rather than half of them.
    Load(kProfileSource, std::string(kServerList) + "[Process]\nPid=4\n");
    EXPECT_TRUE(Ids().empty());
}

TEST_F(LabProcessList, LiveHostShowsThisProcess)
{
    Load("");  // the live host is the default
    ASSERT_TRUE(lab::host::Host::Instance().TheProcesses().IsLive());
    std::vector<DWORD> ids = Ids(1024 * 1024);
    EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), GetCurrentProcessId()));

    ProcessHandle own(kQueryAndRead, GetCurrentProcessId());
    ASSERT_NE(nullptr, own.h) << own.dwError;
    char exe[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, exe, sizeof exe), 0u);
    EXPECT_EQ(exe, FileName(own.h));
    EXPECT_EQ(0, std::string(exe).compare(0, 3, "Z:\\"));
    EXPECT_EQ("triagist_tests", BaseName(own.h));
    std::vector<HMODULE> modules = Modules(own.h);
    ASSERT_GE(modules.size(), 2u);  // the executable, then the shared libraries it runs with
    EXPECT_EQ(GetModuleHandleA(nullptr), modules[0]);
    EXPECT_NE(std::string::npos, BaseName(own.h, modules[1]).find(".so"));

    // The same counters through either handle.
    EXPECT_EQ(Handles(GetCurrentProcess()), Handles(own.h));
    EXPECT_GT(Memory(own.h).WorkingSetSize, 1u << 20);

    // What Linux will not show is refused as Windows refuses a protected process.
    for (DWORD dwPid : ids) {
        char target[4096];
        if (readlink(("/proc/" + std::to_string(dwPid) + "/exe").c_str(), target, sizeof target) >= 0 ||
            errno == ENOENT)
            continue;  // readable, or gone (or a kernel thread, which is checked no better)
        ProcessHandle hidden(PROCESS_QUERY_LIMITED_INFORMATION, dwPid);
        EXPECT_EQ(nullptr, hidden.h) << dwPid;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), hidden.dwError) << dwPid;
        break;
    }
}

TEST_F(LabProcessList, LiveProgramComesAndGoes)
{
    Load("");
    std::string sleepPath = std::filesystem::canonical("/bin/sleep").string();
    Started sleeper;
    Start(sleeper, lab::host::Drives::WindowsPath(sleepPath), "sleep 60");
    ASSERT_TRUE(sleeper.bOk) << sleeper.dwError;
    DWORD dwPid = sleeper.pi.dwProcessId;

    // The program may still be between fork and exec for a moment.
    std::string name;
    for (int n = 0; n < 2000 && (name = FileName(ProcessHandle(kQueryAndRead, dwPid).h)) !=
                                    lab::host::Drives::WindowsPath(sleepPath);
         ++n)
        usleep(1000);
    EXPECT_EQ(lab::host::Drives::WindowsPath(sleepPath), name);
    std::vector<DWORD> ids = Ids(1024 * 1024);
    EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), dwPid));

    ProcessHandle opened(kQueryAndRead, dwPid);
    ASSERT_NE(nullptr, opened.h) << opened.dwError;
    EXPECT_EQ(std::filesystem::path(sleepPath).filename().string(), BaseName(opened.h));
    EXPECT_GT(Memory(opened.h).WorkingSetSize, 0u);
    EXPECT_GT(Memory(sleeper.pi.hProcess).WorkingSetSize, 0u);  // CreateProcessA's handle has every right

    ASSERT_TRUE(TerminateProcess(sleeper.pi.hProcess, 3));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(sleeper.pi.hProcess, 30000));
    // Gone: no new handle; the old one reads as an empty process.
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ProcessHandle(kQueryAndRead, dwPid).dwError);
    EXPECT_EQ(0u, Memory(opened.h).WorkingSetSize);
    EXPECT_EQ("<299>", BaseName(opened.h));
}
