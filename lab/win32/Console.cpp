// Stands in for kernel32's console (standard error) and the debugger output (the host's debug sink).
#include "lab/win32/Console.h"

#include "lab/host/Host.h"
#include "lab/win32/Handles.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <unistd.h>

namespace {

constexpr DWORD kErrorWriteFault = 29;

// A GUI program starts without a console; the one AllocConsole gives it is the lab's standard error.
class ConsoleObject : public lab::win32::KernelObject {
public:
    explicit ConsoleObject(bool bOutput) : m_bOutput(bOutput) {}
    bool IsOutput() const { return m_bOutput; }

private:
    bool m_bOutput;
};

struct Console {
    std::mutex lock;
    bool bAllocated = false;
    HANDLE hInput = nullptr;
    HANDLE hOutput = nullptr;
    HANDLE hError = nullptr;
};

Console& TheConsole()
{
    static Console* pConsole = new Console;  // outlives every static destructor
    return *pConsole;
}

}  // namespace

BOOL WINAPI AllocConsole()
{
    Console& console = TheConsole();
    std::lock_guard<std::mutex> guard(console.lock);
    if (console.bAllocated) {
        SetLastError(ERROR_ACCESS_DENIED);  // a process has one console at most
        return FALSE;
    }
    console.bAllocated = true;
    console.hInput = lab::win32::InsertHandle(std::make_shared<ConsoleObject>(false));
    console.hOutput = lab::win32::InsertHandle(std::make_shared<ConsoleObject>(true));
    console.hError = lab::win32::InsertHandle(std::make_shared<ConsoleObject>(true));
    return TRUE;
}

HANDLE WINAPI GetStdHandle(DWORD nStdHandle)
{
    Console& console = TheConsole();
    std::lock_guard<std::mutex> guard(console.lock);
    switch (nStdHandle) {
    case STD_INPUT_HANDLE:
        return console.hInput;
    case STD_OUTPUT_HANDLE:
        return console.hOutput;
    case STD_ERROR_HANDLE:
        return console.hError;
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL WINAPI WriteConsoleA(HANDLE hConsoleOutput, const void* lpBuffer, DWORD nNumberOfCharsToWrite,
                          LPDWORD lpNumberOfCharsWritten, LPVOID)
{
    if (lpNumberOfCharsWritten)
        *lpNumberOfCharsWritten = 0;
    auto pConsole = lab::win32::LookupHandleAs<ConsoleObject>(hConsoleOutput);
    if (!pConsole || !pConsole->IsOutput()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lpBuffer && nNumberOfCharsToWrite > 0) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    // Bytes as they are: a console does not turn line feeds into anything else.
    const char* p = static_cast<const char*>(lpBuffer);
    DWORD written = 0;
    while (written < nNumberOfCharsToWrite) {
        ssize_t n = write(STDERR_FILENO, p + written, nNumberOfCharsToWrite - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            SetLastError(n < 0 && errno == EBADF ? ERROR_INVALID_HANDLE : kErrorWriteFault);
            if (lpNumberOfCharsWritten)
                *lpNumberOfCharsWritten = written;
            return FALSE;
        }
        written += static_cast<DWORD>(n);
    }
    if (lpNumberOfCharsWritten)
        *lpNumberOfCharsWritten = written;
    return TRUE;
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString)
{
    if (lpOutputString)
        lab::host::Host::Instance().DebugOutput(lpOutputString);
}

namespace {

// Fixed slots, so the signal handler reads them without a lock.
constexpr int kMaxCtrlHandlers = 8;
std::atomic<PHANDLER_ROUTINE> g_ctrlHandlers[kMaxCtrlHandlers];

// STATUS_CONTROL_C_EXIT, cut to the exit status a POSIX process can give.
constexpr int kCtrlCExit = 0xC000013A & 0xFF;

void OnInterrupt(int)
{
    for (int i = kMaxCtrlHandlers - 1; i >= 0; --i) {
        PHANDLER_ROUTINE pfn = g_ctrlHandlers[i].load();
        if (pfn && pfn(CTRL_C_EVENT))
            return;
    }
    _exit(kCtrlCExit);
}

}  // namespace

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add)
{
    if (!HandlerRoutine) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!Add) {
        for (int i = kMaxCtrlHandlers - 1; i >= 0; --i) {
            PHANDLER_ROUTINE expected = HandlerRoutine;
            if (g_ctrlHandlers[i].compare_exchange_strong(expected, nullptr))
                return TRUE;
        }
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (int i = 0; i < kMaxCtrlHandlers; ++i) {
        PHANDLER_ROUTINE expected = nullptr;
        if (g_ctrlHandlers[i].compare_exchange_strong(expected, HandlerRoutine)) {
            struct sigaction action {};
            action.sa_handler = OnInterrupt;
            sigemptyset(&action.sa_mask);
            sigaction(SIGINT, &action, nullptr);
            return TRUE;
        }
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
}
