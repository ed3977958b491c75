// The cost of a trace call: filtered out, and appended to the trace file next to a yardstick that makes the
// same line with the same system calls, bare.
#include "lab/host/Drives.h"
#include "lab/host/Host.h"
#include "src/trace/FileDebug.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A host of its own in a temporary directory, on the real clock. DynamicUpdate
// is on for the module "BenchReload" only, whose debugger level takes nothing
// the benchmarks trace. The modules "BenchLine" and "BenchLineLimited" write
// their files with the line fields the sample server's trace settings have on
// (date, time, thread id, module name); their settings name the files, so a
// reload keeps them.
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
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\BenchReload]\r\n\"WinDebugLevel\"=dword:00000001\r\n\r\n"
            << LineModule("BenchLine", "unlimited.log", 0) << LineModule("BenchLineLimited", "limited.log", 1024);
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
    std::string LineModule(const char* pszModule, const char* pszFile, unsigned limitMB) const
    {
        // The path as REG_EXPAND_SZ, which the trace settings take: UTF-16LE bytes.
        std::string path = "hex(2):";
        for (char c : WinPath(pszFile) + '\0') {
            char szByte[8];
            std::snprintf(szByte, sizeof szByte, "%02x,00,", static_cast<unsigned char>(c));
            path += szByte;
        }
        path.pop_back();
        char szLimit[16];
        std::snprintf(szLimit, sizeof szLimit, "%08x", limitMB);
        return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\") + pszModule + "]\r\n" +
               "\"FileDebugLevel\"=dword:00000001\r\n\"TraceFile\"=" + path + "\r\n\"TraceFileLimit\"=dword:" + szLimit +
               "\r\n\"TimeStampOn\"=dword:00000001\r\n\"DateStampOn\"=dword:00000001\r\n"
               "\"ThreadIdOn\"=dword:00000001\r\n\"AppNameOn\"=dword:00000001\r\n\r\n";
    }

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

bool Written(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

// Each line opens, appends to and closes the file under the named mutex; a
// limit adds the size check.
void TraceFileLine(benchmark::State& state)
{
    const char* pszName = state.range(0) ? "limited.log" : "unlimited.log";
    std::remove(Lab().Path(pszName).c_str());
    CFileDebug trace(state.range(0) ? "BenchLineLimited" : "BenchLine");
    int i = 0;
    for (auto _ : state)
        trace.Trace(1, "\nCBench              : line %d", ++i);
    if (!Written(Lab().Path(pszName)))
        state.SkipWithError("the trace file was not written");
    std::remove(Lab().Path(pszName).c_str());
}
BENCHMARK(TraceFileLine)->Arg(0)->Arg(1024)->ArgName("limitMB");

// The yardstick: the same line (date, time, thread id and module name ahead of the text, each line feed made
// a carriage return and line feed) appended with the same system calls, bare: under a lock shared with
// other processes, open for appending, write, close. Opened for appending, the file needs no seek to its end.
void BareTraceLine(benchmark::State& state)
{
    std::string path = Lab().Path("bare.log");
    int lockFd = open(Lab().Path("bare.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const pid_t tid = gettid();
    const char kModule[] = "BenchLine";
    char szLine[256], szOut[512];
    int i = 0;
    for (auto _ : state) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm local{};
        localtime_r(&now.tv_sec, &local);
        int cch = std::snprintf(szLine, sizeof szLine, "\n[%04d-%02d-%02d] [%02d:%02d:%02d.%03d] (%05d) ",
                                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                local.tm_sec, static_cast<int>(now.tv_nsec / 1000000), static_cast<int>(tid));
        int cchName = std::snprintf(szLine + cch, sizeof szLine - cch, "%-13s  ", kModule);
        szLine[cch + std::strlen(kModule)] = ':';  // right behind the name, as the trace puts it
        cch += cchName;
        cch += std::snprintf(szLine + cch, sizeof szLine - cch, "CBench              : line %d", ++i);
        size_t cbOut = 0;
        for (int k = 0; k < cch; ++k) {
            if (szLine[k] == '\n')
                szOut[cbOut++] = '\r';
            szOut[cbOut++] = szLine[k];
        }
        flock(lockFd, LOCK_EX);
        int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            flock(lockFd, LOCK_UN);
            state.SkipWithError("open failed");
            break;
        }
        benchmark::DoNotOptimize(write(fd, szOut, cbOut));
        close(fd);
        flock(lockFd, LOCK_UN);
    }
    close(lockFd);
    std::remove(path.c_str());
}
BENCHMARK(BareTraceLine);

}  // namespace
