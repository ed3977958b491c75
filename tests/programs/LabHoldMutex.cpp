// A program for the lab's mutex tests: waits for a named mutex through the lab, writes the wait's
// result to the ready file, and when it got the mutex holds it until the release file exists.
//   LabHoldMutex <mutex name> <time-out ms|infinite> <ready file> <release file>
// Exit code: 0 after releasing, 2 when the wait did not succeed, 1 on bad use.
#include "src/platform/Win32.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

bool WriteFile(const char* path, const std::string& text)
{
    std::string temp = std::string(path) + ".part";  // the test sees the file whole or not at all
    FILE* pOut = std::fopen(temp.c_str(), "wb");
    if (!pOut)
        return false;
    std::fwrite(text.data(), 1, text.size(), pOut);
    return std::fclose(pOut) == 0 && std::rename(temp.c_str(), path) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5)
        return 1;
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, argv[1]);
    if (!hMutex)
        return 1;
    std::string timeout = argv[2];
    DWORD dwWait = WaitForSingleObject(hMutex, timeout == "infinite" ? INFINITE : std::strtoul(argv[2], nullptr, 10));
    if (!WriteFile(argv[3], std::to_string(dwWait)))
        return 1;
    if (dwWait != WAIT_OBJECT_0 && dwWait != WAIT_ABANDONED) {
        CloseHandle(hMutex);
        return 2;
    }
    struct stat st {};
    for (int n = 0; n < 6000 && stat(argv[4], &st) != 0; ++n)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    BOOL bReleased = ReleaseMutex(hMutex);
    CloseHandle(hMutex);
    return bReleased ? 0 : 1;
}
