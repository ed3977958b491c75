// Says whether msitools' library is in this process at the start, after the products are listed and
// after the installer database named by argv[1] (a path on the lab's drives) is opened.
#include "src/platform/Win32.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

const char* Libmsi()
{
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find("/libmsi.so") != std::string::npos)
            return "loaded";
    }
    return "absent";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::printf("start: %s\n", Libmsi());
    char code[39];
    UINT listed = MsiEnumProductsA(0, code);
    std::printf("products (%u): %s\n", listed, Libmsi());
    MSIHANDLE hDatabase = 0;
    UINT opened = MsiOpenDatabaseA(argv[1], MSIDBOPEN_READONLY, &hDatabase);
    std::printf("database (%u): %s\n", opened, Libmsi());
    MsiCloseHandle(hDatabase);
    return 0;
}
