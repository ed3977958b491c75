// The lab's mutexes, events, waits and clock functions, as the program's tracing and threads use them.
#include "tests/lab/LabTestSupport.h"

#include <thread>

using namespace labtest;

namespace {

using Steady = std::chrono::steady_clock;

DWORD WaitOnOtherThread(HANDLE h, DWORD dwMilliseconds)
{
    DWORD dwResult = WAIT_FAILED;
    std::thread([&] { dwResult = WaitForSingleObject(h, dwMilliseconds); }).join();
    return dwResult;
}

// A holder of a named mutex in another process, through the lab's own CreateMutexA.
struct Holder {
    ScratchDir dir;
    Started process;
    std::string ready = dir.File("ready");
    std::string release = dir.File("release");

    Holder(const std::string& name, const std::string& timeout)
    {
        std::string tool = ToolPath("LabHoldMutex");
        Start(process, tool, Quoted(tool) + " " + Quoted(name) + " " + timeout + " " + Quoted(ready) + " " +
                                 Quoted(release));
    }
    ~Holder()
    {
        Touch(release);
        if (process.bOk)
            WaitForSingleObject(process.pi.hProcess, 30000);
    }
    DWORD ExitCode()
    {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.pi.hProcess, 30000));
        DWORD dwCode = 0;
        EXPECT_TRUE(GetExitCodeProcess(process.pi.hProcess, &dwCode));
        return dwCode;
    }
};

}  // namespace

TEST(LabMutex, OwnershipIsPerThreadAndRecursive)
{
    HANDLE hMutex = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(nullptr, hMutex);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 0));  // owned twice now
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitOnOtherThread(hMutex, 0));

    BOOL bForeign = TRUE;
    DWORD dwForeignError = 0;
    std::thread([&] {
        bForeign = ReleaseMutex(hMutex);
        dwForeignError = GetLastError();
    }).join();
    EXPECT_FALSE(bForeign);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), dwForeignError);

    EXPECT_TRUE(ReleaseMutex(hMutex));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitOnOtherThread(hMutex, 0));  // still owned once
    EXPECT_TRUE(ReleaseMutex(hMutex));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), ErrorOf(ReleaseMutex(hMutex)));
    EXPECT_EQ(WAIT_OBJECT_0, WaitOnOtherThread(hMutex, 0));  // that thread ended holding it ...
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(hMutex, 0));  // ... and this one inherits it
    EXPECT_TRUE(ReleaseMutex(hMutex));
    EXPECT_TRUE(CloseHandle(hMutex));
}

TEST(LabMutex, NamesWithinTheProcess)
{
    std::string name = UniqueName("same");
    HANDLE hFirst = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, hFirst);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());

    HANDLE hSecond = CreateMutexA(nullptr, TRUE, ("Local\\" + name).c_str());
    ASSERT_NE(nullptr, hSecond);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_NE(hFirst, hSecond);
    // The same object: the initial ownership asked for the second time was ignored, and
    // ownership taken through one handle is released through the other.
    EXPECT_EQ(WAIT_OBJECT_0, WaitOnOtherThread(hFirst, 0));
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(hFirst, 0));
    EXPECT_TRUE(ReleaseMutex(hSecond));

    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(CreateEventA(nullptr, FALSE, FALSE, name.c_str())));
    // The program replaces backslashes in its mutex names because Windows refuses them.
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND),
              ErrorOf(CreateMutexA(nullptr, FALSE, "CFileDebug_C:\\trace.txt")));

    CloseHandle(hFirst);
    CloseHandle(hSecond);
    HANDLE hAgain = CreateMutexA(nullptr, FALSE, name.c_str());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());  // gone with its last handle
    CloseHandle(hAgain);
}

TEST(LabMutex, NamedMutexExcludesAnotherProcess)
{
    std::string name = UniqueName("across");
    Holder holder(name, "infinite");
    ASSERT_TRUE(holder.process.bOk) << holder.process.dwError;
    ASSERT_EQ("0", AwaitFile(holder.ready));

    HANDLE hMutex = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(nullptr, hMutex);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hMutex, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitOnOtherThread(hMutex, 30));

    Touch(holder.release);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 30000));
    EXPECT_EQ(0u, holder.ExitCode());
    EXPECT_TRUE(ReleaseMutex(hMutex));
    CloseHandle(hMutex);
}

TEST(LabMutex, OwnerProcessEndingWithoutReleaseAbandonsIt)
{
    std::string name = UniqueName("abandoned");
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, hMutex);
    Holder holder(name, "infinite");
    ASSERT_EQ("0", AwaitFile(holder.ready));
    ASSERT_TRUE(TerminateProcess(holder.process.pi.hProcess, 9));
    EXPECT_EQ(9u, holder.ExitCode());

    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(hMutex, 30000));
    EXPECT_TRUE(ReleaseMutex(hMutex));
    EXPECT_EQ(WAIT_OBJECT_0, WaitOnOtherThread(hMutex, 0));  // released cleanly this time
    CloseHandle(hMutex);
}

TEST(LabEvent, AutoResetLetsOneWaitThroughManualStaysSet)
{
    HANDLE hAuto = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    HANDLE hManual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, hAuto);
    ASSERT_NE(nullptr, hManual);

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hAuto, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hAuto, 0));

    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hManual, 0));
    EXPECT_TRUE(SetEvent(hManual));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hManual, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitOnOtherThread(hManual, 0));
    EXPECT_TRUE(ResetEvent(hManual));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hManual, 0));

    for (HANDLE h : {hAuto, hManual})
        CloseHandle(h);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(SetEvent(hAuto)));
}

TEST(LabWait, TimeOutAndBadHandles)
{
    lab::host::Host::Instance().TheClock().SetReal();  // whatever clock an earlier test left behind
    HANDLE hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto before = Steady::now();
    EXPECT_EQ(258u, WaitForSingleObject(hEvent, 30));
    EXPECT_GE(Steady::now() - before, std::chrono::milliseconds(30));  // in real time a wait does wait
    CloseHandle(hEvent);

    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(hEvent, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));
    // The caller's own thread and process never end while it waits for them.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(GetCurrentThread(), 1));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(GetCurrentProcess(), 1));
}

TEST(LabWait, VirtualTimeMovesOnlyWhenWaitsExpireOrThreadsSleep)
{
    VirtualClock clock;
    HANDLE hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD dwStart = GetTickCount();
    auto realStart = Steady::now();

    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hEvent, 60000));
    EXPECT_EQ(60000u, GetTickCount() - dwStart);
    Sleep(20000);
    EXPECT_EQ(80000u, GetTickCount() - dwStart);
    SetEvent(hEvent);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hEvent, 60000));
    EXPECT_EQ(80000u, GetTickCount() - dwStart);  // a wait that succeeds takes no virtual time
    EXPECT_LT(Steady::now() - realStart, std::chrono::seconds(5));
    CloseHandle(hEvent);

    VirtualClock wrapped((1ull << 32) + 5);  // the tick count wraps at 32 bits
    EXPECT_EQ(5u, GetTickCount());
}
