// The lab's process list through psapi as the program reaches it: resolved from PsApi.dll at run time,
// from a profile's list or the live host.
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

typedef BOOL(WINAPI* PFN_ENUMPROCESSES)(DWORD*, DWORD, LPDWORD);
typedef BOOL(WINAPI* PFN_ENUMMODULES)(HANDLE, HMODULE*, DWORD, LPDWORD);
typedef DWORD(WINAPI* PFN_MODULENAME)(HANDLE, HMODULE, LPSTR, DWORD);
typedef BOOL(WINAPI* PFN_MEMORY)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
typedef BOOL(WINAPI* PFN_HANDLES)(HANDLE, PDWORD);

// The process status functions as the program gets them: by name from PsApi.dll, the handle count
// from kernel32.
struct Psapi {
    Psapi()
    {
        hModule = LoadLibraryA("PsApi.dll");
        dwLoadError = hModule ? 0 : GetLastError();
        if (hModule) {
            enumProcesses = Get<PFN_ENUMPROCESSES>("EnumProcesses");
            enumModules = Get<PFN_ENUMMODULES>("EnumProcessModules");
            baseName = Get<PFN_MODULENAME>("GetModuleBaseNameA");
            fileName = Get<PFN_MODULENAME>("GetModuleFileNameExA");
            memoryInfo = Get<PFN_MEMORY>("GetProcessMemoryInfo");
        }
        HMODULE hKernel = GetModuleHandleA("kernel32");
        handleCount = reinterpret_cast<PFN_HANDLES>(
            reinterpret_cast<void (*)()>(GetProcAddress(hKernel, "GetProcessHandleCount")));
    }
    ~Psapi()
    {
        if (hModule)
            FreeLibrary(hModule);
    }
    template <class PFN>
    PFN Get(const char* name)
    {
        return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(GetProcAddress(hModule, name)));
    }
    bool Complete() const { return enumProcesses && enumModules && baseName && fileName && memoryInfo && handleCount; }

    std::vector<DWORD> Ids(DWORD cb = 4096) const
    {
        std::vector<DWORD> ids(cb / sizeof(DWORD) + 1, 0xFFFFFFFF);
        DWORD cbNeeded = 0;
        EXPECT_TRUE(enumProcesses(ids.data(), cb, &cbNeeded));
        EXPECT_EQ(0u, cbNeeded % sizeof(DWORD));
        EXPECT_EQ(0xFFFFFFFFu, ids[cb / sizeof(DWORD)]);  // nothing written past the buffer
        ids.resize(cbNeeded / sizeof(DWORD));
        return ids;
    }
    std::string BaseName(HANDLE h, HMODULE hMod = nullptr) const
    {
        char name[260] = "unset";
        DWORD length = baseName(h, hMod, name, sizeof name);
        return length ? std::string(name, length) : "<" + std::to_string(GetLastError()) + ">";
    }
    std::string FileName(HANDLE h, HMODULE hMod = nullptr) const
    {
        char name[520] = "unset";
        DWORD length = fileName(h, hMod, name, sizeof name);
        return length ? std::string(name, length) : "<" + std::to_string(GetLastError()) + ">";
    }
    std::vector<HMODULE> Modules(HANDLE h) const
    {
        std::vector<HMODULE> modules(256);
        DWORD cbNeeded = 0;
        if (!enumModules(h, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &cbNeeded))
            return {};
        modules.resize(std::min<size_t>(modules.size(), cbNeeded / sizeof(HMODULE)));
        return modules;
    }
    PROCESS_MEMORY_COUNTERS_EX Memory(HANDLE h) const
    {
        PROCESS_MEMORY_COUNTERS_EX counters{};
        EXPECT_TRUE(memoryInfo(h, reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters), sizeof counters))
            << GetLastError();
        return counters;
    }
    DWORD Handles(HANDLE h) const
    {
        DWORD dwCount = 0;
        EXPECT_TRUE(handleCount(h, &dwCount)) << GetLastError();
        return dwCount;
    }

    HMODULE hModule = nullptr;
    DWORD dwLoadError = 0;
    PFN_ENUMPROCESSES enumProcesses = nullptr;
    PFN_ENUMMODULES enumModules = nullptr;
    PFN_MODULENAME baseName = nullptr;
    PFN_MODULENAME fileName = nullptr;
    PFN_MEMORY memoryInfo = nullptr;
    PFN_HANDLES handleCount = nullptr;
};

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
Access=limited
WorkingSet=148K
Handles=2874
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
    Psapi psapi;
    ASSERT_TRUE(psapi.Complete()) << psapi.dwLoadError;
    EXPECT_EQ((std::vector<DWORD>{0, 4, 340, 452, 612, 700, 88}), psapi.Ids());
    // A short buffer gets what fits, and the count says only that much.
    EXPECT_EQ((std::vector<DWORD>{0, 4}), psapi.Ids(11));

    ProcessHandle smss(kQueryAndRead, 340);
    ASSERT_NE(nullptr, smss.h) << smss.dwError;
    std::vector<HMODULE> modules = psapi.Modules(smss.h);
    ASSERT_EQ(2u, modules.size());
    EXPECT_EQ("smss.exe", psapi.BaseName(smss.h));
    EXPECT_EQ("smss.exe", psapi.BaseName(smss.h, modules[0]));  // the first module is the executable
    EXPECT_EQ("\\SystemRoot\\System32\\smss.exe", psapi.FileName(smss.h));
    EXPECT_EQ("ntdll.dll", psapi.BaseName(smss.h, modules[1]));
    EXPECT_EQ("C:\\Windows\\SYSTEM32\\ntdll.dll", psapi.FileName(smss.h, modules[1]));
    EXPECT_EQ("<6>", psapi.BaseName(smss.h, reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x1234))));

    // The needed size comes back with a buffer too small for all; names are cut to fit.
    HMODULE first = nullptr;
    DWORD cbNeeded = 0;
    EXPECT_TRUE(psapi.enumModules(smss.h, &first, sizeof first, &cbNeeded));
    EXPECT_EQ(2 * sizeof(HMODULE), cbNeeded);
    EXPECT_EQ(modules[0], first);
    char shortName[5];
    EXPECT_EQ(4u, psapi.baseName(smss.h, nullptr, shortName, sizeof shortName));
    EXPECT_STREQ("smss", shortName);
    EXPECT_EQ(0u, psapi.fileName(smss.h, nullptr, shortName, 0));

    ProcessHandle csrss(kQueryAndRead, 452);
    EXPECT_EQ("csrss.exe", psapi.BaseName(csrss.h));
    EXPECT_EQ("\\??\\C:\\Windows\\system32\\csrss.exe", psapi.FileName(csrss.h));
}

TEST_F(LabProcessList, OpeningAndRightsAsOnWindows)
{
    Load(kProfileSource);
    Psapi psapi;
    ASSERT_TRUE(psapi.Complete());

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
    EXPECT_EQ(9876u * 1024, psapi.Memory(services.h).WorkingSetSize);
    EXPECT_EQ(612u, psapi.Handles(services.h));
    EXPECT_TRUE(psapi.Modules(services.h).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    // The module functions need both rights of 0x410; the counters either query right.
    ProcessHandle queryOnly(PROCESS_QUERY_INFORMATION, 340);
    EXPECT_EQ("<5>", psapi.BaseName(queryOnly.h));
    EXPECT_EQ(1204u * 1024, psapi.Memory(queryOnly.h).WorkingSetSize);
    ProcessHandle readOnly(PROCESS_VM_READ, 340);
    PROCESS_MEMORY_COUNTERS counters;
    EXPECT_FALSE(psapi.memoryInfo(readOnly.h, &counters, sizeof counters));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    // A process without modules opens, but has nothing to enumerate or name.
    ProcessHandle noModules(kQueryAndRead, 88);
    ASSERT_NE(nullptr, noModules.h);
    HMODULE hMod = nullptr;
    DWORD cbNeeded = 0;
    EXPECT_FALSE(psapi.enumModules(noModules.h, &hMod, sizeof hMod, &cbNeeded));
    EXPECT_EQ(299u, GetLastError());
    EXPECT_EQ("<299>", psapi.BaseName(noModules.h));
    EXPECT_EQ("<299>", psapi.FileName(noModules.h));

    // The program's own process is there whatever the list says.
    ProcessHandle own(kQueryAndRead, GetCurrentProcessId());
    ASSERT_NE(nullptr, own.h);
    EXPECT_EQ("triagist_tests", psapi.BaseName(own.h));

    EXPECT_FALSE(psapi.enumModules(reinterpret_cast<HANDLE>(0x4444), &hMod, sizeof hMod, &cbNeeded));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(LabProcessList, CountersFromTheProfile)
{
    Load(kProfileSource);
    Psapi psapi;
    ASSERT_TRUE(psapi.Complete());
    ProcessHandle smss(PROCESS_QUERY_INFORMATION, 340);
    PROCESS_MEMORY_COUNTERS_EX counters = psapi.Memory(smss.h);
    EXPECT_EQ(80u, counters.cb);
    EXPECT_EQ(412u, counters.PageFaultCount);
    EXPECT_EQ(1204u * 1024, counters.WorkingSetSize);
    EXPECT_EQ(1412u * 1024, counters.PeakWorkingSetSize);
    EXPECT_EQ(1096u * 1024, counters.PagefileUsage);
    EXPECT_EQ(1096u * 1024, counters.PeakPagefileUsage);  // no peak given: the current value
    EXPECT_EQ(1096u * 1024, counters.PrivateUsage);       // none given: the pagefile usage
    EXPECT_EQ(53u, psapi.Handles(smss.h));

    ProcessHandle services(PROCESS_QUERY_LIMITED_INFORMATION, 612);
    EXPECT_EQ(4u << 20, psapi.Memory(services.h).PrivateUsage);
    ProcessHandle registry(PROCESS_QUERY_INFORMATION, 88);
    counters = psapi.Memory(registry.h);
    EXPECT_EQ(0x10000u, counters.WorkingSetSize);
    EXPECT_EQ(0u, counters.PagefileUsage);
    EXPECT_EQ(0u, psapi.Handles(registry.h));
}

TEST_F(LabProcessList, MissingPsapiModule)
{
    Load(std::string(kProfileSource) + "[Libraries]\nMissing=psapi\n");
    Psapi psapi;
    EXPECT_EQ(nullptr, psapi.hModule);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), psapi.dwLoadError);
    // kernel32's part stays.
    ASSERT_NE(nullptr, psapi.handleCount);
    ProcessHandle smss(PROCESS_QUERY_INFORMATION, 340);
    EXPECT_EQ(53u, psapi.Handles(smss.h));
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
    EXPECT_TRUE(Psapi().Ids().empty());

    // The sample server's own list holds the forms Windows reports.
    std::vector<lab::host::ProcessEntry> list;
    std::string error;
    ASSERT_TRUE(lab::host::Processes::Parse(
        testsupport::ReadText(std::string(TRIAGIST_SOURCE_DIR) + "/lab/profiles/default/processes.ini"), list, error))
        << error;
    ASSERT_GE(list.size(), 4u);
    EXPECT_EQ(0u, list[0].pid);
    EXPECT_TRUE(list[0].modules.empty());
    EXPECT_EQ(4u, list[1].pid);
    EXPECT_TRUE(list[1].modules.empty());
    EXPECT_TRUE(std::any_of(list.begin(), list.end(), [](const lab::host::ProcessEntry& entry) {
        return !entry.modules.empty() && entry.modules[0].path.compare(0, 4, "\\??\\") == 0;
    }));
}

TEST_F(LabProcessList, LiveHostShowsThisProcess)
{
    Load("");  // the live host is the default
    ASSERT_TRUE(lab::host::Host::Instance().TheProcesses().IsLive());
    Psapi psapi;
    ASSERT_TRUE(psapi.Complete());
    std::vector<DWORD> ids = psapi.Ids(1024 * 1024);
    EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), GetCurrentProcessId()));

    ProcessHandle own(kQueryAndRead, GetCurrentProcessId());
    ASSERT_NE(nullptr, own.h) << own.dwError;
    char exe[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, exe, sizeof exe), 0u);
    EXPECT_EQ(exe, psapi.FileName(own.h));
    EXPECT_EQ(0, std::string(exe).compare(0, 3, "Z:\\"));
    EXPECT_EQ("triagist_tests", psapi.BaseName(own.h));
    std::vector<HMODULE> modules = psapi.Modules(own.h);
    ASSERT_GE(modules.size(), 2u);  // the executable, then the shared libraries it runs with
    EXPECT_EQ(GetModuleHandleA(nullptr), modules[0]);
    EXPECT_NE(std::string::npos, psapi.BaseName(own.h, modules[1]).find(".so"));

    PROCESS_MEMORY_COUNTERS_EX counters = psapi.Memory(own.h);
    EXPECT_EQ(80u, counters.cb);
    EXPECT_GT(counters.WorkingSetSize, 1u << 20);
    EXPECT_GE(counters.PeakWorkingSetSize, counters.WorkingSetSize);
    EXPECT_GT(counters.PrivateUsage, 0u);
    EXPECT_GE(counters.PeakPagefileUsage, counters.PagefileUsage);
    EXPECT_GT(counters.PageFaultCount, 0u);
    // Standard input, output and error at least; the same count through either handle.
    DWORD dwHandles = psapi.Handles(own.h);
    EXPECT_GE(dwHandles, 3u);
    EXPECT_EQ(dwHandles, psapi.Handles(GetCurrentProcess()));

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
    Psapi psapi;
    ASSERT_TRUE(psapi.Complete());
    std::string sleepPath = std::filesystem::canonical("/bin/sleep").string();
    Started sleeper;
    Start(sleeper, lab::host::Drives::WindowsPath(sleepPath), "sleep 60");
    ASSERT_TRUE(sleeper.bOk) << sleeper.dwError;
    DWORD dwPid = sleeper.pi.dwProcessId;

    // The program may still be between fork and exec for a moment.
    std::string name;
    for (int n = 0; n < 2000 && (name = psapi.FileName(ProcessHandle(kQueryAndRead, dwPid).h)) !=
                                    lab::host::Drives::WindowsPath(sleepPath);
         ++n)
        usleep(1000);
    EXPECT_EQ(lab::host::Drives::WindowsPath(sleepPath), name);
    std::vector<DWORD> ids = psapi.Ids(1024 * 1024);
    EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), dwPid));

    ProcessHandle opened(kQueryAndRead, dwPid);
    ASSERT_NE(nullptr, opened.h) << opened.dwError;
    EXPECT_EQ(std::filesystem::path(sleepPath).filename().string(), psapi.BaseName(opened.h));
    EXPECT_GT(psapi.Memory(opened.h).WorkingSetSize, 0u);
    EXPECT_GT(psapi.Memory(sleeper.pi.hProcess).WorkingSetSize, 0u);  // CreateProcessA's handle has every right

    ASSERT_TRUE(TerminateProcess(sleeper.pi.hProcess, 3));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(sleeper.pi.hProcess, 30000));
    // Gone: no new handle; the old one reads as an empty process.
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ProcessHandle(kQueryAndRead, dwPid).dwError);
    EXPECT_EQ(0u, psapi.Memory(opened.h).WorkingSetSize);
    EXPECT_EQ("<299>", psapi.BaseName(opened.h));
}
