// The cost of a trace call: filtered out, appended to the trace file, and a bare POSIX append as the yardstick.
#include "lab/host/Drives.h"
#include "lab/host/Host.h"
#include "src/trace/FileDebug.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// A host of its own in a temporary directory, on the real clock. DynamicUpdate
// is on for the module "BenchReload" only, whose debugger level takes nothing
// the benchmarks trace.
class BenchLab {
public:
    BenchLab()
    {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "triagist-tracebench-XXXXXX").string();
        if (mkdtemp(&pattern[0]))
            m_dir = pattern;
        fs::create_directories(m_dir + "/profile");
        std::ofstream(m_dir + "/profile/lab.ini") << "";
        std::ofstream(m_dir + "/profile/registry.reg")
            << "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug]\r\n\"DynamicUpdate\"=dword:00000001\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\BenchReload]\r\n\"WinDebugLevel\"=dword:00000001\r\n";
        lab::host::Host::Instance().LoadProfile(m_dir + "/profile", m_dir + "/state");
    }
    ~BenchLab()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    std::string Path(const char* pszName) const { return m_dir + "/" + pszName; }
    std::string WinPath(const char* pszName) const { return lab::host::Drives::WindowsPath(Path(pszName)); }

private:
    std::string m_dir;
};

BenchLab& Lab()
{
    static BenchLab lab;
    return lab;
}

void TraceFiltered(benchmark::State& state)
{
    CFileDebug trace;
    trace.SetTraceFile(1, Lab().WinPath("filtered.log").c_str(), 0);
    int i = 0;
    for (auto _ : state)
        trace.Trace(5, "\nCBench              : filtered %d", ++i);
}
BENCHMARK(TraceFiltered);

// With DynamicUpdate on, every call reads the tick count and reloads once a second.
void TraceFilteredWithReloadCheck(benchmark::State& state)
{
    CFileDebug trace("BenchReload");
    int i = 0;
    for (auto _ : state)
        trace.Trace(5, "\nCBench              : filtered %d", ++i);
}
BENCHMARK(TraceFilteredWithReloadCheck);

// Each line opens, appends to and closes the file under the named mutex; a
// limit adds the size check, itself an open and a close.
void TraceFileLine(benchmark::State& state)
{
    const char* pszName = state.range(0) ? "limited.log" : "unlimited.log";
    CFileDebug trace;
    trace.SetTraceFile(1, Lab().WinPath(pszName).c_str(), static_cast<DWORD>(state.range(0)));
    int i = 0;
    for (auto _ : state)
        trace.Trace(1, "\nCBench              : line %d", ++i);
    std::remove(Lab().Path(pszName).c_str());
}
BENCHMARK(TraceFileLine)->Arg(0)->Arg(1024)->ArgName("limitMB");

// The least an append of one line per call can cost.
void PosixAppendLine(benchmark::State& state)
{
    std::string path = Lab().Path("posix.log");
    char szLine[64];
    int i = 0;
    for (auto _ : state) {
        int cch = std::snprintf(szLine, sizeof szLine, "\r\nCBench              : line %d", ++i);
        int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            state.SkipWithError("open failed");
            break;
        }
        benchmark::DoNotOptimize(write(fd, szLine, static_cast<size_t>(cch)));
        close(fd);
    }
    std::remove(path.c_str());
}
BENCHMARK(PosixAppendLine);

}  // namespace
