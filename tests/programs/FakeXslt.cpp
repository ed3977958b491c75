// A stand-in XSLT processor whose behaviour a test picks with FAKE_XSLT_MODE:
// "args" writes its arguments, one per line, to the output file and succeeds;
// "fail" exits with 7; "hang" sleeps for FAKE_XSLT_SECONDS (default 3) and succeeds.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv)
{
    const char* mode = std::getenv("FAKE_XSLT_MODE");
    mode = mode ? mode : "args";
    if (std::strcmp(mode, "fail") == 0)
        return 7;
    if (std::strcmp(mode, "hang") == 0) {
        const char* seconds = std::getenv("FAKE_XSLT_SECONDS");
        std::this_thread::sleep_for(std::chrono::seconds(seconds ? std::atoi(seconds) : 3));
        return 0;
    }
    if (argc != 4)
        return 2;
    FILE* out = std::fopen(argv[3], "w");
    if (!out)
        return 3;
    for (int i = 1; i < argc; ++i)
        std::fprintf(out, "%s\n", argv[i]);
    std::fclose(out);
    return 0;
}
