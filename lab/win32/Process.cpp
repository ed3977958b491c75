// Stands in for kernel32's processes and threads and the C runtime's _beginthreadex, as real Linux ones.
#include "lab/win32/Process.h"

#include "lab/host/Host.h"
#include "lab/win32/Handles.h"
#include "lab/win32/ProcessControl.h"

#include <cerrno>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using lab::win32::KernelObject;

constexpr DWORD kErrorBadExeFormat = 193;
constexpr DWORD kErrorDirectory = 267;  // "The directory name is invalid"

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

// How a process or thread ends: once, with the first exit code that reaches it.
class Lifetime {
public:
    DWORD Wait(DWORD dwRealMilliseconds)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        auto ended = [this] { return m_bEnded; };
        if (dwRealMilliseconds == INFINITE)
            m_cv.wait(lock, ended);
        else if (!m_cv.wait_for(lock, std::chrono::milliseconds(dwRealMilliseconds), ended))
            return WAIT_TIMEOUT;
        return WAIT_OBJECT_0;
    }

    // False when it had ended already; the exit code then stays as it was.
    bool End(DWORD dwExitCode)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bEnded)
            return false;
        m_bEnded = true;
        m_exitCode = dwExitCode;
        m_cv.notify_all();
        return true;
    }

    DWORD ExitCode()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_bEnded ? m_exitCode : static_cast<DWORD>(STILL_ACTIVE);
    }

    bool Ended()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_bEnded;
    }

protected:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_bEnded = false;
    DWORD m_exitCode = STILL_ACTIVE;
};

// ---------------------------------------------------------------------------
// Processes.

struct ProcessState : Lifetime {
    pid_t pid = 0;
    bool bTerminating = false;
    DWORD terminateCode = 0;

    // Runs on a thread of its own until the child ends, so that no zombie is left and waits
    // need no polling. A child killed by a signal it was not sent by TerminateProcess reports
    // 128 + the signal number, as a Linux shell shows it.
    static void Reap(std::shared_ptr<ProcessState> pState)
    {
        int status = 0;
        pid_t reaped;
        while ((reaped = waitpid(pState->pid, &status, 0)) < 0 && errno == EINTR) {
        }
        DWORD dwCode = 0;  // reaped by someone else: nothing known but its end
        if (reaped == pState->pid) {
            if (WIFEXITED(status))
                dwCode = static_cast<DWORD>(WEXITSTATUS(status));
            else if (WIFSIGNALED(status))
                dwCode = 128u + static_cast<DWORD>(WTERMSIG(status));
        }
        {
            std::lock_guard<std::mutex> guard(pState->m_lock);
            if (pState->bTerminating && reaped == pState->pid && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
                dwCode = pState->terminateCode;
        }
        pState->End(dwCode);
    }

    bool Terminate(DWORD dwExitCode)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bEnded)
            return false;
        bTerminating = true;
        terminateCode = dwExitCode;
        kill(pid, SIGKILL);
        return true;
    }
};

// The handle of a started process, or of its first thread: both wait for the process.
class ProcessObject : public KernelObject {
public:
    ProcessObject(std::shared_ptr<ProcessState> pState, bool bFirstThread)
        : m_pState(std::move(pState)), m_bFirstThread(bFirstThread)
    {
    }
    DWORD Wait(DWORD dwRealMilliseconds) override { return m_pState->Wait(dwRealMilliseconds); }

    std::shared_ptr<ProcessState> m_pState;
    bool m_bFirstThread;
};

std::shared_ptr<ProcessState> ProcessOf(HANDLE h, bool bThreadHandle)
{
    auto pObject = lab::win32::LookupHandleAs<ProcessObject>(h);
    return pObject && pObject->m_bFirstThread == bThreadHandle ? pObject->m_pState : nullptr;
}

// ---------------------------------------------------------------------------
// Threads.

struct ThreadState : Lifetime {
    unsigned (*start)(void*) = nullptr;
    void* argument = nullptr;
    DWORD threadId = 0;       // published by the thread before it waits to be resumed
    DWORD suspendCount = 0;
    bool bNeverRuns = false;  // terminated before it was resumed
    unsigned result = 0;      // written by the thread itself only

    void Publish(DWORD id)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        threadId = id;
        m_cv.notify_all();
    }
    DWORD AwaitId()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_cv.wait(lock, [this] { return threadId != 0; });
        return threadId;
    }
    // False when the thread was terminated while still suspended: it never runs.
    bool AwaitResume()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_cv.wait(lock, [this] { return suspendCount == 0 || bNeverRuns; });
        return !bNeverRuns;
    }
    // A thread already resumed runs on to its own end, even if it has not been scheduled yet.
    void Terminate(DWORD dwExitCode)
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (!m_bEnded && suspendCount > 0)
                bNeverRuns = true;
        }
        End(dwExitCode);
    }
    DWORD Resume()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DWORD previous = suspendCount;
        if (suspendCount > 0 && --suspendCount == 0)
            m_cv.notify_all();
        return previous;
    }
};

class ThreadObject : public KernelObject {
public:
    explicit ThreadObject(std::shared_ptr<ThreadState> pState) : m_pState(std::move(pState)) {}
    DWORD Wait(DWORD dwRealMilliseconds) override { return m_pState->Wait(dwRealMilliseconds); }

    std::shared_ptr<ThreadState> m_pState;
};

thread_local DWORD t_threadId = 0;
thread_local ThreadState* t_pThread = nullptr;  // set on threads of _beginthreadex

// Records the thread's result however it leaves: by returning, or by _endthreadex unwinding it.
struct ThreadEnd {
    ThreadState& state;
    ~ThreadEnd()
    {
        lab::win32::AbandonThreadMutexes();
        state.End(state.result);
    }
};

void* ThreadMain(void* pv)
{
    auto* pHandoff = static_cast<std::shared_ptr<ThreadState>*>(pv);
    std::shared_ptr<ThreadState> pState = std::move(*pHandoff);
    delete pHandoff;
    pState->Publish(GetCurrentThreadId());
    if (!pState->AwaitResume())
        return nullptr;
    t_pThread = pState.get();
    ThreadEnd end{*pState};
    pState->result = pState->start(pState->argument);
    return nullptr;
}

[[noreturn]] void EndThisThread(unsigned result)
{
    if (t_pThread)
        t_pThread->result = result;
    pthread_exit(nullptr);
}

// ---------------------------------------------------------------------------
// Starting programs.

bool HasDriveRoot(const std::string& arg)
{
    return arg.size() >= 3 && std::isalpha(static_cast<unsigned char>(arg[0])) && arg[1] == ':' &&
           (arg[2] == '\\' || arg[2] == '/');
}

// The started program is a native one living in the POSIX name space, so a Windows path among its
// arguments would mean nothing to it. A path that exists nowhere yet is an output: it goes to the
// state, never into the profile.
std::string NativeArgument(const std::string& arg)
{
    if (!HasDriveRoot(arg))
        return arg;
    const lab::host::Drives& drives = lab::host::Host::Instance().TheDrives();
    std::string hostPath = drives.HostPath(arg, false);
    if (hostPath.empty())
        return arg;  // no drive serves it; hand it over as written
    struct stat st {};
    if (stat(hostPath.c_str(), &st) != 0)
        hostPath = drives.HostPath(arg, true);
    return hostPath;
}

DWORD ErrorFromErrno(int error, const std::string& hostPath)
{
    switch (error) {
    case ENOENT: {
        size_t slash = hostPath.rfind('/');
        std::string parent = slash == std::string::npos ? "." : hostPath.substr(0, slash == 0 ? 1 : slash);
        struct stat st {};
        return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOEXEC:
    case ELIBBAD:
        return kErrorBadExeFormat;
    case ENOMEM:
    case EAGAIN:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

// A program named without a directory is searched as Windows searches: the running program's own
// directory, the current directory, then the PATH (no ".exe" is added: the programs are native).
std::string FindProgram(const std::string& name)
{
    std::vector<std::string> dirs;
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string exe(self, static_cast<size_t>(length));
        dirs.push_back(exe.substr(0, exe.rfind('/')));
    }
    dirs.push_back(".");
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "/usr/bin:/bin";
    for (size_t start = 0;;) {
        size_t colon = list.find(':', start);
        std::string dir = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        dirs.push_back(dir.empty() ? "." : dir);
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    for (const std::string& dir : dirs) {
        std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return name;  // not found: the check before spawning reports it
}

// The environment block of CreateProcessA: "name=value\0...\0\0".
std::vector<std::string> EnvironmentBlock(const char* pBlock)
{
    std::vector<std::string> entries;
    while (*pBlock) {
        entries.emplace_back(pBlock);
        pBlock += entries.back().size() + 1;
    }
    return entries;
}

std::vector<char*> PointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (auto& s : strings)
        pointers.push_back(&s[0]);
    pointers.push_back(nullptr);
    return pointers;
}

// Window placement means nothing to a Linux child; the journal keeps what the program asked for.
void RecordStartup(DWORD dwCreationFlags, const STARTUPINFOA& startup)
{
    char record[160];
    std::snprintf(record, sizeof record, "CreateProcessA flags=0x%lX startf=0x%lX show=%u x=%lu y=%lu cx=%lu cy=%lu",
                  static_cast<unsigned long>(dwCreationFlags), static_cast<unsigned long>(startup.dwFlags),
                  static_cast<unsigned>(startup.wShowWindow), static_cast<unsigned long>(startup.dwX),
                  static_cast<unsigned long>(startup.dwY), static_cast<unsigned long>(startup.dwXSize),
                  static_cast<unsigned long>(startup.dwYSize));
    lab::host::Host::Instance().Record(record);
}

// The program's host path from the application name or, without one, the command line's first token;
// 0 or the error CreateProcessA fails with before anything starts.
DWORD ProgramToStart(LPCSTR lpApplicationName, const std::string& firstArg, std::string& program)
{
    const lab::host::Drives& drives = lab::host::Host::Instance().TheDrives();
    if (lpApplicationName && *lpApplicationName)
        program = drives.HostPath(lpApplicationName, false);
    else if (HasDriveRoot(firstArg) || firstArg.find_first_of("/\\") != std::string::npos)
        program = drives.HostPath(firstArg, false);
    else
        program = FindProgram(firstArg);
    if (program.empty())
        return ERROR_PATH_NOT_FOUND;  // a drive the machine does not have
    struct stat st {};
    if (stat(program.c_str(), &st) != 0)
        return ErrorFromErrno(errno, program);
    if (S_ISDIR(st.st_mode) || access(program.c_str(), X_OK) != 0)
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

// The child's current directory as a host path, empty to keep ours; 0 or the error.
DWORD StartingDirectory(LPCSTR lpCurrentDirectory, std::string& directory)
{
    if (!lpCurrentDirectory || !*lpCurrentDirectory)
        return ERROR_SUCCESS;
    directory = lab::host::Host::Instance().TheDrives().HostPath(lpCurrentDirectory, false);
    struct stat st {};
    if (directory.empty() || stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return kErrorDirectory;
    return ERROR_SUCCESS;
}

// Starts the program with its arguments made native; pEnvironment null inherits ours. 0 or the error.
DWORD Spawn(const std::string& program, std::vector<std::string> args, const char* pEnvironment,
            const std::string& directory, pid_t& pid)
{
    for (auto& arg : args)
        arg = NativeArgument(arg);
    std::vector<char*> argv = PointersTo(args);
    std::vector<std::string> environment;
    if (pEnvironment)
        environment = EnvironmentBlock(pEnvironment);
    std::vector<char*> envp = PointersTo(environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    // glibc's posix_spawn reports a failed exec as its result, so nothing is started in vain.
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), pEnvironment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? ERROR_SUCCESS : ErrorFromErrno(rc, program);
}

// Hands out the two handles of a started program, with a thread that reaps it; 0 or the error.
DWORD WatchProcess(pid_t pid, PROCESS_INFORMATION& information)
{
    auto pState = std::make_shared<ProcessState>();
    pState->pid = pid;
    try {
        std::thread(ProcessState::Reap, pState).detach();
    } catch (const std::system_error&) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    information.hProcess = lab::win32::InsertHandle(std::make_shared<ProcessObject>(pState, false));
    information.hThread = lab::win32::InsertHandle(std::make_shared<ProcessObject>(pState, true));
    information.dwProcessId = static_cast<DWORD>(pid);
    information.dwThreadId = static_cast<DWORD>(pid);  // a process's first thread has its id on Linux
    return ERROR_SUCCESS;
}

// The command line of the running program when the entry point did not set one: from Linux's record.
std::string OwnCommandLine()
{
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        args.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    return lab::win32::JoinCommandLine(args);
}

struct CommandLine {
    std::mutex lock;
    std::vector<std::unique_ptr<std::string>> texts;  // earlier texts stay valid for earlier callers
};

CommandLine& TheCommandLine()
{
    static CommandLine* pLine = new CommandLine;  // outlives every static destructor
    return *pLine;
}

}  // namespace

namespace lab::win32 {

void SetCommandLine(const std::string& commandLine)
{
    CommandLine& line = TheCommandLine();
    std::lock_guard<std::mutex> guard(line.lock);
    line.texts.push_back(std::make_unique<std::string>(commandLine));
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine)
{
    const std::string& s = commandLine;
    size_t i = 0;
    auto blank = [&s](size_t at) { return s[at] == ' ' || s[at] == '\t'; };

    // The program name: quotes group, and nothing is escaped, since it is a path.
    std::string program;
    bool bQuoted = false;
    for (; i < s.size() && (bQuoted || !blank(i)); ++i) {
        if (s[i] == '"')
            bQuoted = !bQuoted;
        else
            program += s[i];
    }
    std::vector<std::string> args{program};

    for (;;) {
        while (i < s.size() && blank(i))
            ++i;
        if (i >= s.size())
            return args;
        std::string arg;
        bQuoted = false;
        while (i < s.size()) {
            size_t backslashes = 0;
            while (i < s.size() && s[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < s.size() && s[i] == '"') {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    arg += '"';  // escaped by the odd backslash
                    ++i;
                } else if (bQuoted && i + 1 < s.size() && s[i + 1] == '"') {
                    arg += '"';  // "" inside quotes
                    i += 2;
                } else {
                    bQuoted = !bQuoted;
                    ++i;
                }
                continue;
            }
            arg.append(backslashes, '\\');
            if (i >= s.size() || (!bQuoted && blank(i)))
                break;
            arg += s[i++];
        }
        args.push_back(arg);
    }
}

bool IsStartedProgram(HANDLE h)
{
    return LookupHandleAs<ProcessObject>(h) != nullptr;
}

bool StartedProgramId(HANDLE h, DWORD& dwProcessId)
{
    std::shared_ptr<ProcessState> pState = ProcessOf(h, false);
    if (!pState)
        return false;
    dwProcessId = static_cast<DWORD>(pState->pid);
    return true;
}

std::string JoinCommandLine(const std::vector<std::string>& arguments)
{
    std::string line;
    for (size_t n = 0; n < arguments.size(); ++n) {
        const std::string& arg = arguments[n];
        if (n > 0)
            line += ' ';
        if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
            line += arg;
            continue;
        }
        line += '"';
        if (n == 0) {
            line += arg;  // the program name knows no escapes (and cannot hold a quote)
        } else {
            size_t backslashes = 0;
            for (char c : arg) {
                if (c == '\\') {
                    ++backslashes;
                    continue;
                }
                line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
                backslashes = 0;
                line += c;
            }
            line.append(backslashes * 2, '\\');
        }
        line += '"';
    }
    return line;
}

}  // namespace lab::win32

// ---------------------------------------------------------------------------

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment,
                           LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation)
{
    if (!lpStartupInfo || !lpProcessInformation) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if ((!lpApplicationName || !*lpApplicationName) && (!lpCommandLine || !*lpCommandLine)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RecordStartup(dwCreationFlags, *lpStartupInfo);
    if (dwCreationFlags & CREATE_SUSPENDED) {
        // A Linux process cannot be created without running; refuse rather than pretend.
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }

    std::vector<std::string> args =
        lab::win32::SplitCommandLine(lpCommandLine && *lpCommandLine ? lpCommandLine : lpApplicationName);
    if (args[0].empty())
        args[0] = lpApplicationName ? lpApplicationName : "";
    std::string program;
    std::string directory;
    pid_t pid = 0;
    DWORD dwError = ProgramToStart(lpApplicationName, args[0], program);
    if (dwError == ERROR_SUCCESS)
        dwError = StartingDirectory(lpCurrentDirectory, directory);
    if (dwError == ERROR_SUCCESS)
        dwError = Spawn(program, args, static_cast<const char*>(lpEnvironment), directory, pid);
    if (dwError == ERROR_SUCCESS)
        dwError = WatchProcess(pid, *lpProcessInformation);
    if (dwError != ERROR_SUCCESS) {
        SetLastError(dwError);
        return FALSE;
    }
    return TRUE;
}

void WINAPI GetStartupInfoA(LPSTARTUPINFOA lpStartupInfo)
{
    std::memset(lpStartupInfo, 0, sizeof *lpStartupInfo);
    lpStartupInfo->cb = sizeof *lpStartupInfo;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    if (!lpExitCode) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (hProcess == kCurrentProcess) {
        *lpExitCode = STILL_ACTIVE;
        return TRUE;
    }
    auto pState = ProcessOf(hProcess, false);
    if (!pState) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = pState->ExitCode();
    return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode)
{
    if (hProcess == kCurrentProcess)
        _exit(static_cast<int>(uExitCode));
    auto pState = ProcessOf(hProcess, false);
    if (!pState) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!pState->Terminate(uExitCode)) {
        SetLastError(ERROR_ACCESS_DENIED);  // it has ended already
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI GetCurrentProcess()
{
    return kCurrentProcess;
}

DWORD WINAPI GetCurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}

LPSTR WINAPI GetCommandLineA()
{
    CommandLine& line = TheCommandLine();
    std::lock_guard<std::mutex> guard(line.lock);
    if (line.texts.empty())
        line.texts.push_back(std::make_unique<std::string>(OwnCommandLine()));
    return &(*line.texts.back())[0];
}

// ---------------------------------------------------------------------------

HANDLE WINAPI GetCurrentThread()
{
    return kCurrentThread;
}

DWORD WINAPI GetCurrentThreadId()
{
    if (t_threadId == 0)
        t_threadId = static_cast<DWORD>(syscall(SYS_gettid));  // the first thread's id is the process id
    return t_threadId;
}

BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority)
{
    bool bThread = hThread == kCurrentThread || lab::win32::LookupHandleAs<ThreadObject>(hThread) ||
                   ProcessOf(hThread, true);
    if (!bThread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (nPriority < -15 || nPriority > 15) {  // THREAD_PRIORITY_IDLE .. THREAD_PRIORITY_TIME_CRITICAL
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;  // the Linux scheduler is left alone
}

DWORD WINAPI ResumeThread(HANDLE hThread)
{
    if (auto pThread = lab::win32::LookupHandleAs<ThreadObject>(hThread))
        return pThread->m_pState->Resume();
    if (hThread == kCurrentThread || ProcessOf(hThread, true))
        return 0;  // running, not suspended
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    if (!lpExitCode) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (hThread == kCurrentThread) {
        *lpExitCode = STILL_ACTIVE;
        return TRUE;
    }
    if (auto pThread = lab::win32::LookupHandleAs<ThreadObject>(hThread)) {
        *lpExitCode = pThread->m_pState->ExitCode();
        return TRUE;
    }
    if (auto pProcess = ProcessOf(hThread, true)) {
        *lpExitCode = pProcess->ExitCode();
        return TRUE;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

// Linux cannot stop one thread of a process from outside without wrecking the process. So the handle
// is marked ended with the exit code at once (waits return, GetExitCodeThread reports the code), and
// the real thread runs on to its own end, its result ignored. A thread not yet resumed never runs.
// A thread that terminates itself does leave at once, by the same unwinding as _endthreadex.
BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode)
{
    auto pThread = lab::win32::LookupHandleAs<ThreadObject>(hThread);
    if (hThread == kCurrentThread || (pThread && pThread->m_pState->threadId == GetCurrentThreadId())) {
        if (pThread)
            pThread->m_pState->End(dwExitCode);
        EndThisThread(dwExitCode);
    }
    if (pThread) {
        pThread->m_pState->Terminate(dwExitCode);  // an ended thread keeps its exit code
        return TRUE;
    }
    if (auto pProcess = ProcessOf(hThread, true)) {
        // The first thread of a started program: ending it ends the program.
        pProcess->Terminate(dwExitCode);
        return TRUE;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

uintptr_t _beginthreadex(void*, unsigned stackSize, unsigned (*startAddress)(void*), void* argList, unsigned initFlag,
                         unsigned* threadId)
{
    if (!startAddress) {
        errno = EINVAL;
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto pState = std::make_shared<ThreadState>();
    pState->start = startAddress;
    pState->argument = argList;
    pState->suspendCount = (initFlag & CREATE_SUSPENDED) ? 1 : 0;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);  // a thread outlives its handles
    size_t defaultSize = 0;
    // Windows reserves at least the image's default stack whatever is asked, so only a larger size counts.
    if (pthread_attr_getstacksize(&attr, &defaultSize) == 0 && stackSize > defaultSize)
        pthread_attr_setstacksize(&attr, stackSize);
    auto* pHandoff = new std::shared_ptr<ThreadState>(pState);
    pthread_t thread;
    int rc = pthread_create(&thread, &attr, ThreadMain, pHandoff);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete pHandoff;
        errno = rc;
        SetLastError(rc == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD id = pState->AwaitId();
    if (threadId)
        *threadId = id;
    return reinterpret_cast<uintptr_t>(lab::win32::InsertHandle(std::make_shared<ThreadObject>(pState)));
}

// Unlike the real one, the C++ objects of the thread's frames are destroyed on the way out.
void _endthreadex(unsigned retval)
{
    EndThisThread(retval);
}
