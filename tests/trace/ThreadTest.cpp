// The worker thread holder with real lab threads: stopping, terminating and what it traces.
#include "src/trace/FileDebug.h"
#include "src/trace/Thread.h"
#include "tests/trace/TraceLab.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace tracetest;

namespace {

// A worker that runs until it is let go (or returns at once), started the way
// the program's owners start theirs.
struct Worker {
    explicit Worker(bool bBlock) : thread("Worker"), hGo(CreateEventA(nullptr, TRUE, bBlock ? FALSE : TRUE, nullptr))
    {
        unsigned uThreadId = 0;
        thread.m_hThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Main, this, CREATE_SUSPENDED, &uThreadId));
        thread.m_dwThreadId = uThreadId;
        SetThreadPriority(thread.m_hThread, THREAD_PRIORITY_NORMAL);
        ResumeThread(thread.m_hThread);
        Sleep(0);
    }
    ~Worker()
    {
        // A terminated lab thread still runs on until it returns; it must not outlive the test.
        SetEvent(hGo);
        while (!bReturned)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        CloseHandle(hGo);
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    static unsigned Main(void* pv)
    {
        auto* pWorker = static_cast<Worker*>(pv);
        WaitForSingleObject(pWorker->hGo, INFINITE);
        pWorker->bReturned = true;
        return 7;
    }

    void AwaitEnd() { ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.m_hThread, INFINITE)); }

    CThread thread;
    HANDLE hGo;
    std::atomic<bool> bReturned{false};
};

// The program's own trace object sends everything to the debugger output meanwhile.
class ThreadTest : public ::testing::Test {
protected:
    ThreadTest() : m_lab(VirtualClock())
    {
        m_lab.Registry(ModuleKey("Triagist", RegLine("WinDebugLevel", RegDword(5))));
        g_FileDebug.Init("Triagist", FALSE);
    }
    ~ThreadTest() override
    {
        TraceLab::SetDword("Triagist", "WinDebugLevel", 0);
        g_FileDebug.Init("Triagist", FALSE);
    }

    static std::vector<std::string> DebugOutput() { return lab::host::Host::Instance().TakeDebugOutput(); }

    static std::vector<std::string> Termination(DWORD dwThreadId)
    {
        return {"\n", " ###  WARNING! RUNNING THREAD " + std::to_string(dwThreadId) + " (Worker) TEMINATED!  ###\n", "\n"};
    }

    TraceLab m_lab;
};

}  // namespace

TEST_F(ThreadTest, EndedThreadIsClosedWithoutTermination)
{
    Worker worker(false);
    worker.AwaitEnd();
    worker.thread.bTerminateThread = 1;
    EXPECT_TRUE(worker.thread.Stop());
    EXPECT_EQ(nullptr, worker.thread.m_hThread);
    EXPECT_EQ(0u, worker.thread.m_dwLastError);
    EXPECT_EQ(std::vector<std::string>{"~CThread - name=\"Worker\" (bTerminateThread=1)\n"}, DebugOutput());
}

TEST_F(ThreadTest, RunningThreadIsTerminatedWhenAsked)
{
    Worker worker(true);
    worker.thread.bTerminateThread = 1;
    EXPECT_TRUE(worker.thread.Stop());
    EXPECT_EQ(nullptr, worker.thread.m_hThread);
    std::vector<std::string> expected{"~CThread - name=\"Worker\" (bTerminateThread=1)\n"};
    for (const std::string& line : Termination(worker.thread.m_dwThreadId))
        expected.push_back(line);
    EXPECT_EQ(expected, DebugOutput());
}

TEST_F(ThreadTest, RunningThreadIsLeftAloneWithoutTheFlag)
{
    Worker worker(true);
    EXPECT_TRUE(worker.thread.Stop());
    EXPECT_EQ(nullptr, worker.thread.m_hThread);
    EXPECT_FALSE(worker.bReturned);
    EXPECT_EQ(std::vector<std::string>{"~CThread - name=\"Worker\" (bTerminateThread=0)\n"}, DebugOutput());
}

TEST_F(ThreadTest, DestructionStopsTheThread)
{
    HANDLE hGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> bReturned{false};
    struct Start {
        HANDLE hGo;
        std::atomic<bool>* pbReturned;
    } start{hGo, &bReturned};
    DWORD dwThreadId = 0;
    {
        CThread thread("Worker");
        unsigned uThreadId = 0;
        thread.m_hThread = reinterpret_cast<HANDLE>(_beginthreadex(
            nullptr, 0,
            [](void* pv) -> unsigned {
                auto* pStart = static_cast<Start*>(pv);
                WaitForSingleObject(pStart->hGo, INFINITE);
                *pStart->pbReturned = true;
                return 0;
            },
            &start, 0, &uThreadId));
        thread.m_dwThreadId = dwThreadId = uThreadId;
        thread.bTerminateThread = 1;
    }
    std::vector<std::string> expected{"~CThread - name=\"Worker\" (bTerminateThread=1)\n"};
    for (const std::string& line : Termination(dwThreadId))
        expected.push_back(line);
    EXPECT_EQ(expected, DebugOutput());
    SetEvent(hGo);
    while (!bReturned)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    CloseHandle(hGo);
}

TEST_F(ThreadTest, TerminateOnlyWhatStillRuns)
{
    CThread none("Worker");
    EXPECT_TRUE(none.Terminate(3));

    Worker ended(false);
    ended.AwaitEnd();
    EXPECT_TRUE(ended.thread.Terminate(3));
    EXPECT_EQ(nullptr, ended.thread.m_hThread);
    EXPECT_TRUE(DebugOutput().empty());

    Worker running(true);
    EXPECT_TRUE(running.thread.Terminate(3));
    EXPECT_EQ(nullptr, running.thread.m_hThread);
    EXPECT_EQ(Termination(running.thread.m_dwThreadId), DebugOutput());
}

TEST_F(ThreadTest, HandleThatIsNoThreadKeepsItsError)
{
    CThread thread("Worker");
    thread.m_hThread = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(thread.Stop());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), thread.m_dwLastError);
    EXPECT_EQ(nullptr, thread.m_hThread);
}
