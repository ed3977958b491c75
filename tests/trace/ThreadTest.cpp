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

// A thread body that runs until it is let go, or returns at once. A terminated
// lab thread runs on to its own end, so the worker outlives the holder and
// waits for that end.
class Worker {
public:
    explicit Worker(bool bBlock) : m_hGo(CreateEventA(nullptr, TRUE, bBlock ? FALSE : TRUE, nullptr)) {}
    ~Worker()
    {
        SetEvent(m_hGo);
        while (!m_bReturned)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        CloseHandle(m_hGo);
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void Start(CThread& thread) { EXPECT_TRUE(thread.Start(Main, this)); }

    bool Returned() const { return m_bReturned; }

private:
    static unsigned Main(void* pv)
    {
        auto* pWorker = static_cast<Worker*>(pv);
        WaitForSingleObject(pWorker->m_hGo, INFINITE);
        pWorker->m_bReturned = true;
        return 7;
    }

    HANDLE m_hGo;
    std::atomic<bool> m_bReturned{false};
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

    static std::vector<std::string> Stopping(DWORD bTerminateThread)
    {
        return {"~CThread - name=\"Worker\" (bTerminateThread=" + std::to_string(bTerminateThread) + ")\n"};
    }
    static std::vector<std::string> Termination(DWORD dwThreadId)
    {
        return {"\n", " ###  WARNING! RUNNING THREAD " + std::to_string(dwThreadId) + " (Worker) TEMINATED!  ###\n", "\n"};
    }

    TraceLab m_lab;
};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST_F(ThreadTest, EndedThreadIsClosedWithoutTermination)
{
    Worker worker(false);
    CThread thread("Worker");
    worker.Start(thread);
    ASSERT_EQ(WAIT_OBJECT_0, thread.Wait(INFINITE));
    thread.bTerminateThread = 1;
    EXPECT_TRUE(thread.Stop());
    EXPECT_EQ(nullptr, thread.Handle());
    EXPECT_EQ(0u, thread.LastError());
    EXPECT_EQ(Stopping(1), DebugOutput());
}

TEST_F(ThreadTest, DestructionTerminatesARunningThreadWhenAsked)
{
    Worker worker(true);
    DWORD dwThreadId = 0;
    {
        CThread thread("Worker");
        worker.Start(thread);
        dwThreadId = thread.ThreadId();
        thread.bTerminateThread = 1;
    }
    EXPECT_EQ(Stopping(1) + Termination(dwThreadId), DebugOutput());
}

TEST_F(ThreadTest, RunningThreadIsLeftAloneWithoutTheFlag)
{
    Worker worker(true);
    CThread thread("Worker");
    worker.Start(thread);
    EXPECT_TRUE(thread.Stop());
    EXPECT_EQ(nullptr, thread.Handle());
    EXPECT_FALSE(worker.Returned());
    EXPECT_EQ(Stopping(0), DebugOutput());
}

TEST_F(ThreadTest, TerminateOnlyWhatStillRuns)
{
    CThread none("Worker");
    EXPECT_TRUE(none.Terminate(3));

    Worker endedWorker(false);
    CThread ended("Worker");
    endedWorker.Start(ended);
    ASSERT_EQ(WAIT_OBJECT_0, ended.Wait(INFINITE));
    EXPECT_TRUE(ended.Terminate(3));
    EXPECT_EQ(nullptr, ended.Handle());
    EXPECT_TRUE(DebugOutput().empty());

    Worker runningWorker(true);
    CThread running("Worker");
    runningWorker.Start(running);
    EXPECT_TRUE(running.Terminate(3));
    EXPECT_EQ(nullptr, running.Handle());
    EXPECT_EQ(Termination(running.ThreadId()), DebugOutput());
}

TEST_F(ThreadTest, HandleThatIsNoThreadKeepsItsError)
{
    CThread thread("Worker");
    thread.Attach(CreateEventA(nullptr, TRUE, FALSE, nullptr), 0);
    EXPECT_TRUE(thread.Stop());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), thread.LastError());
    EXPECT_EQ(nullptr, thread.Handle());
}

TEST_F(ThreadTest, DetachedThreadRunsOnAndIsNotStopped)
{
    Worker worker(true);
    {
        CThread thread("Worker");
        worker.Start(thread);
        thread.bTerminateThread = 1;
        thread.Detach();
        EXPECT_EQ(nullptr, thread.Handle());
        EXPECT_EQ(static_cast<DWORD>(WAIT_FAILED), thread.Wait(0));
    }
    // Destruction had nothing left to wait for or terminate, though asked to.
    EXPECT_EQ(Stopping(1), DebugOutput());
    EXPECT_FALSE(worker.Returned());
}

TEST_F(ThreadTest, AnotherStartLetsGoOfTheThreadHeld)
{
    Worker first(true);
    Worker second(false);
    CThread thread("Worker");
    first.Start(thread);
    DWORD dwFirstId = thread.ThreadId();
    second.Start(thread);
    EXPECT_NE(dwFirstId, thread.ThreadId());
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), thread.Wait(INFINITE));  // the second returns at once
    EXPECT_FALSE(first.Returned());
    EXPECT_EQ(0u, thread.LastError());
}
