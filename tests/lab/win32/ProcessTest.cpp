// The lab's processes (real programs started with Windows command lines) and threads.
#include "tests/lab/LabTestSupport.h"

#include "lab/host/Drives.h"
#include "lab/win32/ProcessControl.h"

#include <memory>
#include <sys/stat.h>
#include <vector>

using namespace labtest;
using lab::host::Drives;

namespace {

std::vector<std::string> ReadNulSeparated(const std::string& path)
{
    std::string text = AwaitFile(path, 0);
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    return parts;
}

DWORD ExitCodeAfterWait(HANDLE hProcess)
{
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hProcess, 30000));
    DWORD dwCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(hProcess, &dwCode));
    return dwCode;
}

std::vector<std::string> Split(const std::string& arguments)
{
    std::vector<std::string> args = lab::win32::SplitCommandLine("prog " + arguments);
    args.erase(args.begin());
    return args;
}

using Args = std::vector<std::string>;

}  // namespace

TEST(LabCommandLine, SplitsAsTheCRuntimeDoes)
{
    // The examples Microsoft documents for its C runtime.
    EXPECT_EQ((Args{"a b c", "d", "e"}), Split(R"("a b c" d e)"));
    EXPECT_EQ((Args{"ab\"c", "\\", "d"}), Split(R"("ab\"c" "\\" d)"));
    EXPECT_EQ((Args{R"(a\\\b)", "de fg", "h"}), Split(R"(a\\\b d"e f"g h)"));
    EXPECT_EQ((Args{R"(a\"b)", "c", "d"}), Split(R"(a\\\"b c d)"));
    EXPECT_EQ((Args{R"(a\\b c)", "d", "e"}), Split(R"(a\\\\"b c" d e)"));
    EXPECT_EQ((Args{"ab\" c d"}), Split(R"(a"b"" c d)"));
    // Empty arguments, tabs, a quote left open.
    EXPECT_EQ((Args{"", "x", "open end"}), Split("\"\" \t x  \"open end"));

    // The program name is a path: quotes group, backslashes are only backslashes.
    Args whole = lab::win32::SplitCommandLine(R"("C:\Program Files\x\" y)");
    EXPECT_EQ((Args{R"(C:\Program Files\x\)", "y"}), whole);
}

TEST(LabCommandLine, JoinedArgumentsSplitBackUnchanged)
{
    Args args{"C:\\Program Files\\tool.exe", "plain", "with blank", "", "quote \"in\" it", "tail\\", "tail blank\\",
              "a\\\\b", "\\\"", "\t"};
    EXPECT_EQ(args, lab::win32::SplitCommandLine(lab::win32::JoinCommandLine(args)));
}

TEST(LabProcess, ArgumentsArriveIntactAndWindowsPathsAsNativeOnes)
{
    ScratchDir dir;
    std::string tool = ToolPath("LabArgs");
    std::string out = dir.File("args");
    std::string newFile = "C:\\" + UniqueName("output") + ".htm";
    std::string commandLine = Quoted(Drives::WindowsPath(tool)) + " " + Quoted(Drives::WindowsPath(out)) +
                              R"( plain "with blank" "say \"hi\"" "" "tail\\" a\\b "dbl""quote" )" +
                              Quoted(newFile) + " Z:/etc C:relative";
    Started started;
    Start(started, Drives::WindowsPath(tool), commandLine);
    ASSERT_TRUE(started.bOk) << started.dwError;
    EXPECT_EQ(0u, ExitCodeAfterWait(started.pi.hProcess));

    Args got = ReadNulSeparated(out);
    ASSERT_EQ(13u, got.size());
    EXPECT_EQ(tool, got[1]);  // argv[0]
    EXPECT_EQ(out, got[2]);
    EXPECT_EQ((Args{"plain", "with blank", "say \"hi\"", "", "tail\\", "a\\\\b", "dbl\"quote"}),
              Args(got.begin() + 3, got.begin() + 10));
    // A file that does not exist yet is one the program will write: it goes to the state, not the profile.
    const auto& host = lab::host::Host::Instance();
    EXPECT_EQ(host.StateDir() + "/drive_c/" + newFile.substr(3), got[10]);
    EXPECT_EQ("/etc", got[11]);
    EXPECT_EQ("C:relative", got[12]);
}

TEST(LabProcess, CurrentDirectoryAndProgramFromTheCommandLine)
{
    ScratchDir dir;
    std::string tool = ToolPath("LabArgs");
    std::string out = dir.File("args");
    Started started;
    // No application name: the first token names the program.
    Start(started, "", Quoted(tool) + " " + Quoted(out), Drives::WindowsPath(dir.Path()).c_str());
    ASSERT_TRUE(started.bOk) << started.dwError;
    EXPECT_EQ(0u, ExitCodeAfterWait(started.pi.hProcess));
    Args got = ReadNulSeparated(out);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(std::filesystem::canonical(dir.Path()).string(), got[0]);

    Started nowhere;
    Start(nowhere, tool, Quoted(tool) + " " + Quoted(out), "Z:\\no\\such\\directory");
    EXPECT_FALSE(nowhere.bOk);
    EXPECT_EQ(267u, nowhere.dwError);  // ERROR_DIRECTORY
}

TEST(LabProcess, ExitCodesAndStillActive)
{
    ScratchDir dir;
    std::string tool = ToolPath("LabExitWith");
    std::string go = dir.File("go");
    Started started;
    Start(started, tool, Quoted(tool) + " 7 " + Quoted(go));
    ASSERT_TRUE(started.bOk) << started.dwError;
    EXPECT_NE(0u, started.pi.dwProcessId);

    DWORD dwCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(started.pi.hProcess, &dwCode));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), dwCode);
    EXPECT_TRUE(GetExitCodeThread(started.pi.hThread, &dwCode));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), dwCode);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(started.pi.hProcess, 0));

    Touch(go);
    EXPECT_EQ(7u, ExitCodeAfterWait(started.pi.hProcess));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started.pi.hThread, 0));
    EXPECT_TRUE(GetExitCodeThread(started.pi.hThread, &dwCode));
    EXPECT_EQ(7u, dwCode);
    // A thread handle is not a process handle.
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(GetExitCodeProcess(started.pi.hThread, &dwCode)));

    EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &dwCode));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), dwCode);
}

TEST(LabProcess, TerminateAndSignals)
{
    ScratchDir dir;
    std::string tool = ToolPath("LabExitWith");
    Started running;
    Start(running, tool, Quoted(tool) + " 0 " + Quoted(dir.File("never")));
    ASSERT_TRUE(running.bOk);
    EXPECT_TRUE(TerminateProcess(running.pi.hProcess, 42));
    EXPECT_EQ(42u, ExitCodeAfterWait(running.pi.hProcess));
    // It has ended already.
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ErrorOf(TerminateProcess(running.pi.hProcess, 43)));

    Started killed;
    Start(killed, tool, Quoted(tool) + " kill");
    ASSERT_TRUE(killed.bOk);
    EXPECT_EQ(128u + 9u, ExitCodeAfterWait(killed.pi.hProcess));
}

TEST(LabProcess, ProgramsThatCannotStart)
{
    ScratchDir dir;
    std::string plain = dir.File("plain.txt");
    Touch(plain);
    chmod(plain.c_str(), 0644);

    struct Case {
        std::string program;
        DWORD dwError;
    } cases[] = {
        {dir.File("missing.exe"), ERROR_FILE_NOT_FOUND},
        {Drives::WindowsPath(dir.File("missing.exe")), ERROR_FILE_NOT_FOUND},
        {dir.File("no-dir/missing.exe"), ERROR_PATH_NOT_FOUND},
        {plain, ERROR_ACCESS_DENIED},
        {dir.Path(), ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        Started started;
        Start(started, c.program, Quoted(c.program));
        EXPECT_FALSE(started.bOk) << c.program;
        EXPECT_EQ(c.dwError, started.dwError) << c.program;
        EXPECT_EQ(nullptr, started.pi.hProcess);
    }
}

// ---------------------------------------------------------------------------
// Threads.

namespace {

// What a test thread shares with the test; held by both, so either may end first.
struct Job {
    HANDLE hGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE hDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> bRan{false};
    std::atomic<DWORD> dwSeenId{0};
    unsigned result = 0;
    std::shared_ptr<Job>* pHandoff = nullptr;  // the thread's argument, its own to delete once it runs
    ~Job()
    {
        CloseHandle(hGo);
        CloseHandle(hDone);
    }
};

unsigned JobMain(void* pv)
{
    auto pJob = *static_cast<std::shared_ptr<Job>*>(pv);
    delete static_cast<std::shared_ptr<Job>*>(pv);
    pJob->bRan = true;
    pJob->dwSeenId = GetCurrentThreadId();
    WaitForSingleObject(pJob->hGo, INFINITE);
    SetEvent(pJob->hDone);
    return pJob->result;
}

HANDLE StartJob(const std::shared_ptr<Job>& pJob, unsigned flags, unsigned* pId = nullptr)
{
    auto* pArg = new std::shared_ptr<Job>(pJob);
    pJob->pHandoff = pArg;
    unsigned id = 0;
    uintptr_t h = _beginthreadex(nullptr, 0, JobMain, pArg, flags, pId ? pId : &id);
    if (!h)
        delete pArg;
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

TEST(LabThread, SuspendedThreadRunsOnlyAfterResume)
{
    auto pJob = std::make_shared<Job>();
    pJob->result = 5;
    unsigned id = 0;
    HANDLE hThread = StartJob(pJob, CREATE_SUSPENDED, &id);
    ASSERT_NE(nullptr, hThread);
    EXPECT_NE(0u, id);
    EXPECT_TRUE(SetThreadPriority(hThread, THREAD_PRIORITY_NORMAL));

    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hThread, 50));
    EXPECT_FALSE(pJob->bRan);
    DWORD dwCode = 0;
    EXPECT_TRUE(GetExitCodeThread(hThread, &dwCode));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), dwCode);

    EXPECT_EQ(1u, ResumeThread(hThread));
    EXPECT_EQ(0u, ResumeThread(hThread));
    SetEvent(pJob->hGo);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 30000));
    EXPECT_TRUE(pJob->bRan);
    EXPECT_EQ(id, pJob->dwSeenId.load());
    EXPECT_NE(GetCurrentThreadId(), pJob->dwSeenId.load());
    EXPECT_TRUE(GetExitCodeThread(hThread, &dwCode));
    EXPECT_EQ(5u, dwCode);
    EXPECT_TRUE(CloseHandle(hThread));
    EXPECT_EQ(static_cast<DWORD>(-1), ResumeThread(hThread));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(LabThread, TerminatedBeforeResumeNeverRunsAfterResumeRunsOut)
{
    auto pSuspended = std::make_shared<Job>();
    HANDLE hSuspended = StartJob(pSuspended, CREATE_SUSPENDED);
    ASSERT_NE(nullptr, hSuspended);
    EXPECT_TRUE(TerminateThread(hSuspended, 3));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hSuspended, 0));
    DWORD dwCode = 0;
    EXPECT_TRUE(GetExitCodeThread(hSuspended, &dwCode));
    EXPECT_EQ(3u, dwCode);
    ResumeThread(hSuspended);
    SetEvent(pSuspended->hGo);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(pSuspended->hDone, 50));
    EXPECT_FALSE(pSuspended->bRan);
    CloseHandle(hSuspended);
    if (!pSuspended->bRan)
        delete pSuspended->pHandoff;  // as on Windows, a thread that never ran leaves its argument to its creator

    // Resumed, even if not yet scheduled, it is a running thread: it goes on to its own end, and
    // its own result never replaces the terminating code.
    auto pResumed = std::make_shared<Job>();
    pResumed->result = 5;
    HANDLE hResumed = StartJob(pResumed, CREATE_SUSPENDED);
    ASSERT_NE(nullptr, hResumed);
    ResumeThread(hResumed);
    EXPECT_TRUE(TerminateThread(hResumed, 4));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hResumed, 0));
    SetEvent(pResumed->hGo);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pResumed->hDone, 30000));
    for (int n = 0; n < 30000 && pResumed.use_count() > 1; ++n)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(GetExitCodeThread(hResumed, &dwCode));
    EXPECT_EQ(4u, dwCode);
    CloseHandle(hResumed);
}

TEST(LabThread, HandleClosedWhileTheThreadRunsAndPseudoHandles)
{
    auto pJob = std::make_shared<Job>();
    HANDLE hThread = StartJob(pJob, 0);
    ASSERT_NE(nullptr, hThread);
    EXPECT_TRUE(CloseHandle(hThread));
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(hThread, 0));
    SetEvent(pJob->hGo);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pJob->hDone, 30000));

    DWORD dwCode = 0;
    EXPECT_TRUE(GetExitCodeThread(GetCurrentThread(), &dwCode));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), dwCode);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
              ErrorOf(GetExitCodeThread(reinterpret_cast<HANDLE>(0x7777), &dwCode)));
}
