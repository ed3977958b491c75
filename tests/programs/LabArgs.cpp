// A program for the lab's process tests: writes its working directory and every argument, each
// followed by a NUL, to the file named by its first argument.
//   LabArgs <output file> [arguments...]
#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 100;
    FILE* pOut = std::fopen(argv[1], "wb");
    if (!pOut)
        return 101;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        cwd[0] = '\0';
    std::fwrite(cwd, 1, std::char_traits<char>::length(cwd) + 1, pOut);
    for (int i = 0; i < argc; ++i)
        std::fwrite(argv[i], 1, std::char_traits<char>::length(argv[i]) + 1, pOut);
    return std::fclose(pOut) == 0 ? 0 : 102;
}
