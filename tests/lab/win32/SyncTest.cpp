// The lab's named mutexes across processes and its virtual clock; what a single process sees of mutexes, events
// and waits is tested in both builds, in tests/lab/api.
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
