// A program for the lab's process tests: exits with the code given, or is killed by SIGKILL
// ("kill"), once the file named second (if any) exists.
//   LabExitWith <code|kill> [<file to wait for>]
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <thread>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 100;
    if (argc > 2) {
        struct stat st {};
        // Bounded, so that a failed test leaves no program behind for long.
        for (int n = 0; n < 6000 && stat(argv[2], &st) != 0; ++n)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (std::string(argv[1]) == "kill")
        std::raise(SIGKILL);
    return std::atoi(argv[1]);
}
