// A program for the lab's console tests: a fresh process, as a GUI program starts, reports on its
// standard output what the console functions answer, and writes through the console (to standard error).
#include "src/platform/Win32.h"

#include <cstdio>
#include <cstring>

namespace {

const char* Describe(HANDLE h)
{
    return h == nullptr ? "null" : h == INVALID_HANDLE_VALUE ? "invalid" : "handle";
}

}  // namespace

int main()
{
    std::printf("before: output=%s error=%s\n", Describe(GetStdHandle(STD_OUTPUT_HANDLE)),
                Describe(GetStdHandle(STD_ERROR_HANDLE)));
    BOOL bFirst = AllocConsole();
    std::printf("alloc: %d\n", bFirst);
    SetLastError(0);
    BOOL bSecond = AllocConsole();
    std::printf("alloc again: %d error=%lu\n", bSecond, static_cast<unsigned long>(GetLastError()));

    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE hErr = GetStdHandle(STD_ERROR_HANDLE);
    std::printf("after: output=%s error=%s stable=%d\n", Describe(hOut), Describe(hErr),
                GetStdHandle(STD_OUTPUT_HANDLE) == hOut);

    const char first[] = "\nline one";
    const char second[] = "\r\nline two\n";
    DWORD dwFirst = 0, dwSecond = 0;
    BOOL bWrote = WriteConsoleA(hOut, first, std::strlen(first), &dwFirst, nullptr) &&
                  WriteConsoleA(hErr, second, std::strlen(second), &dwSecond, nullptr);
    std::printf("write: %d counts=%lu,%lu\n", bWrote, static_cast<unsigned long>(dwFirst),
                static_cast<unsigned long>(dwSecond));

    SetLastError(0);
    BOOL bInput = WriteConsoleA(GetStdHandle(STD_INPUT_HANDLE), first, 1, nullptr, nullptr);
    std::printf("write to input: %d error=%lu\n", bInput, static_cast<unsigned long>(GetLastError()));
    return 0;
}
