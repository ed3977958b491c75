// What the lab's own tests share: the helper programs, scratch files, unique names and the virtual clock.
#pragma once

#include "lab/host/Host.h"
#include "src/platform/Win32.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace labtest {

inline std::string ToolPath(const std::string& name)
{
    return std::string(TRIAGIST_TEST_PROGRAMS_DIR) + "/" + name;
}

// A directory of its own for one test, removed afterwards.
class ScratchDir {
public:
    ScratchDir()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/triagist-labtest-XXXXXX";
        m_path = mkdtemp(&pattern[0]) ? pattern : std::string();
    }
    ~ScratchDir()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Object names no other test, run or parallel test process uses.
inline std::string UniqueName(const std::string& stem)
{
    static std::atomic<int> counter{0};
    return "TriagistLabTest_" + stem + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

using testsupport::Exists;

// The error a failed call left (a false, zero or null result), 0 when it succeeded.
template <class T>
DWORD ErrorOf(T result)
{
    return result ? 0 : GetLastError();
}

// Waits (really, generously) for a file another process writes; its text, or "" when it never came.
inline std::string AwaitFile(const std::string& path, int seconds = 30)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!Exists(path) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return testsupport::ReadText(path);
}

inline void Touch(const std::string& path)
{
    std::ofstream(path, std::ios::binary) << "go";
}

// The lab clock in virtual mode for the life of the object; real again afterwards if it was real.
class VirtualClock {
public:
    explicit VirtualClock(uint64_t startTickMs = 5000000)
        : m_clock(lab::host::Host::Instance().TheClock()), m_bWasVirtual(m_clock.IsVirtual())
    {
        m_clock.SetVirtual(std::time(nullptr), startTickMs);
    }
    ~VirtualClock()
    {
        if (!m_bWasVirtual)
            m_clock.SetReal();
    }
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

private:
    lab::host::Clock& m_clock;
    bool m_bWasVirtual;
};

// A started program's handles, closed at the end of the test.
struct Started {
    PROCESS_INFORMATION pi{};
    BOOL bOk = FALSE;
    DWORD dwError = 0;
    ~Started()
    {
        if (pi.hProcess)
            CloseHandle(pi.hProcess);
        if (pi.hThread)
            CloseHandle(pi.hThread);
    }
};

inline void Start(Started& started, const std::string& application, std::string commandLine,
                  const char* pszDirectory = nullptr)
{
    STARTUPINFOA si;
    GetStartupInfoA(&si);
    SetLastError(0);
    started.bOk = CreateProcessA(application.empty() ? nullptr : application.c_str(),
                                 commandLine.empty() ? nullptr : &commandLine[0], nullptr, nullptr, FALSE,
                                 NORMAL_PRIORITY_CLASS, nullptr, pszDirectory, &si, &started.pi);
    started.dwError = GetLastError();
}

// The machine loaded when the object was made comes back when it goes, whatever the test loaded.
class RestoreProfile {
public:
    RestoreProfile()
        : m_profile(lab::host::Host::Instance().ProfileDir()), m_state(lab::host::Host::Instance().StateDir())
    {
    }
    ~RestoreProfile() { lab::host::Host::Instance().LoadProfile(m_profile, m_state); }
    RestoreProfile(const RestoreProfile&) = delete;
    RestoreProfile& operator=(const RestoreProfile&) = delete;

private:
    std::string m_profile;
    std::string m_state;
};

inline std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

}  // namespace labtest
