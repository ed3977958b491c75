// Mutexes, events and waits as the program's tracing and threads use them, within one process.
#include "tests/lab/ApiTestSupport.h"

#include <chrono>
#include <thread>

using apitest::ErrorOf;

namespace {

class ApiSync : public apitest::PlainMachine {};

DWORD WaitOnOtherThread(HANDLE h, DWORD dwMilliseconds)
{
    DWORD dwResult = WAIT_FAILED;
    std::thread([&] { dwResult = WaitForSingleObject(h, dwMilliseconds); }).join();
    return dwResult;
}

}  // namespace

TEST_F(ApiSync, MutexOwnershipIsPerThreadAndRecursive)
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

TEST_F(ApiSync, MutexNamesWithinTheProcess)
{
    std::string name = apitest::UniqueName("same");
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

    // A name belongs to one kind of object.
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

TEST_F(ApiSync, AutoResetEventLetsOneWaitThroughManualStaysSet)
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

    // A waiter on another thread wakes when the event is set.
    DWORD dwWoken = WAIT_FAILED;
    std::thread waiter([&] { dwWoken = WaitForSingleObject(hAuto, 30000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(SetEvent(hAuto));
    waiter.join();
    EXPECT_EQ(WAIT_OBJECT_0, dwWoken);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hAuto, 0));  // and took it

    for (HANDLE h : {hAuto, hManual})
        CloseHandle(h);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(SetEvent(hAuto)));
}

TEST_F(ApiSync, WaitsTimeOutAndRefuseBadHandles)
{
    HANDLE hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hEvent, 30));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(25));  // a wait does wait
    CloseHandle(hEvent);

    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(hEvent, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    // The caller's own thread and process never end while it waits for them.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(GetCurrentThread(), 1));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(GetCurrentProcess(), 1));
}
