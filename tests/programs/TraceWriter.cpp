// Appends numbered lines to the trace file of the module "TraceWriter", for the tests of several writers.
// Usage: TraceWriter <writer 0-9> <lines> [<pause in ms>]
#include "src/trace/FileDebug.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    int id = std::atoi(argv[1]);
    int cLines = std::atoi(argv[2]);
    DWORD dwPause = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 0;
    if (id < 0 || id > 9)
        return 2;

    CFileDebug trace("TraceWriter");
    if (!trace.m_bActive)
        return 3;
    // Each writer's letter fills its lines, so that a torn line shows; a line feed after every 24 letters makes
    // the line one the file gets in many pieces unless it is written whole.
    std::string payload;
    for (int i = 0; i < 40; ++i)
        payload += std::string(24, static_cast<char>('a' + id)) + '\n';
    for (int i = 0; i < cLines; ++i) {
        trace.Trace(1, "\nW%d L%05d %s|", id, i, payload.c_str());
        if (dwPause)
            Sleep(dwPause);
    }
    return 0;
}
