// The trace log against a lab host: settings, line format, file rotation and the outputs.
#include "src/platform/RegistryView.h"
#include "src/trace/FileDebug.h"
#include "tests/trace/TraceLab.h"

#include "lab/win32/LibraryControl.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tracetest;

namespace {

const char kModule[] = "TraceTest";

std::string DebugKey(DWORD dwDynamicUpdate)
{
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug]\r\n" + RegLine("DynamicUpdate", RegDword(dwDynamicUpdate)) + "\r\n";
}

// A module that writes its file at level 3 into "t.log", with further values.
std::string FileModule(const TraceLab& lab, const std::string& extra = "", const std::string& module = kModule)
{
    return ModuleKey(module, RegLine("FileDebugLevel", RegDword(3)) +
                                 RegLine("TraceFile", RegString(lab.WinPath("t.log"))) + extra);
}

std::string On(const char* pszValue)
{
    return RegLine(pszValue, RegDword(1));
}

// A computed format, as the leading line feeds are part of the format; the
// unused argument keeps the format-security check quiet.
void TraceFormat(CFileDebug& trace, DWORD dwLevel, const std::string& format)
{
    trace.Trace(dwLevel, format.c_str(), 0);
}

std::string Repeat(const std::string& text, size_t count)
{
    std::string result;
    for (size_t i = 0; i < count; ++i)
        result += text;
    return result;
}

std::vector<std::string> DebugOutput()
{
    return lab::host::Host::Instance().TakeDebugOutput();
}

std::string ThreadIdField()
{
    char field[32];
    std::snprintf(field, sizeof field, "(%05d) ", static_cast<int>(GetCurrentThreadId()));
    return field;
}

// The lab's console is standard error; this puts a file in its place for a while.
class StderrCapture {
public:
    explicit StderrCapture(const std::string& path) : m_path(path)
    {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrCapture() { Stop(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string Stop()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
            m_saved = -1;
        }
        return ReadText(m_path);
    }

private:
    std::string m_path;
    int m_saved;
};

}  // namespace

// ------------------------------------------------------------------ line format

TEST(FileDebugFormat, ModuleNameFieldEndsInAColon)
{
    const std::string longName(40, 'M');  // cut to 31 characters, also for its key
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab, On("AppNameOn"), "Triagist") + FileModule(lab, On("AppNameOn"), "TwelveChars1") +
                 FileModule(lab, On("AppNameOn"), "ThirteenChars") +
                 FileModule(lab, On("AppNameOn"), longName.substr(0, 31)));
    for (const std::string& module : {std::string("Triagist"), std::string("TwelveChars1"),
                                      std::string("ThirteenChars"), longName}) {
        CFileDebug trace(module.c_str());
        trace.Trace(1, "\nx");
    }
    EXPECT_EQ("\r\nTriagist:      x"
              "\r\nTwelveChars1:  x"
              "\r\nThirteenChars: x"
              "\r\n" + longName.substr(0, 31) + ": x",
              ReadText(lab.Path("t.log")));
}

TEST(FileDebugFormat, FieldsComeInTheirFixedOrderAfterTheLeadingNewlines)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab, On("AppNameOn") + On("ThreadIdOn") + On("TimeStampOn") + On("DateStampOn") +
                                     On("CpuIdOn")));
    CFileDebug trace(kModule);
    ASSERT_TRUE(trace.m_bActive);
    lab::host::Host::Instance().TheClock().Advance(42);
    trace.Trace(1, "\n\nx");
    trace.Trace(1, "no line feed");
    std::string prefix = "[2026-03-07] [10:15:30.042] " + ThreadIdField() + "TraceTest:     ";
    EXPECT_EQ("\r\n\r\n" + prefix + "x" + prefix + "no line feed", ReadText(lab.Path("t.log")));
}

TEST(FileDebugFormat, MemoryAndHandleCountNeedTheirFunctions)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab, On("MemUsageOn") + On("HandleCountOn")));
    {
        CFileDebug trace(kModule);
        trace.Trace(1, "\nboth");
    }
    {
        lab::win32::SetModuleMissing("psapi", true);
        CFileDebug trace(kModule);
        lab::win32::ResetLibrarySwitches();
        trace.Trace(1, "\nno psapi");
    }
    {
        lab::win32::SetFunctionMissing("kernel32", "GetProcessHandleCount", true);
        CFileDebug trace(kModule);
        lab::win32::ResetLibrarySwitches();
        trace.Trace(1, "\nno handle count");
    }
    std::string text = ReadText(lab.Path("t.log"));
    EXPECT_TRUE(std::regex_match(text, std::regex("\r\n\\{PB \\d{5,}kB, MU \\d{5,}kB\\} \\{\\d{3,} H\\} both"
                                                  "\r\n\\{\\d{3,} H\\} no psapi"
                                                  "\r\n\\{PB \\d{5,}kB, MU \\d{5,}kB\\} no handle count")))
        << text;
}

TEST(FileDebugFormat, OverlongPrefixesAndTextsAreCut)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab, On("AppNameOn"), "Triagist") + FileModule(lab));
    CFileDebug named("Triagist");
    // 84 line feeds and the 15 bytes of the name field make 99 bytes: kept; one more is replaced by the warning.
    TraceFormat(named, 1, std::string(84, '\n') + "x");
    EXPECT_EQ(Repeat("\r\n", 84) + "Triagist:      x", ReadText(lab.Path("t.log")));
    WriteText(lab.Path("t.log"), "");
    TraceFormat(named, 1, std::string(85, '\n') + "y");
    EXPECT_EQ("!! BUFFER TOO SMALL - FIXME !! y", ReadText(lab.Path("t.log")));

    // The text itself is cut at 1024 characters.
    WriteText(lab.Path("t.log"), "");
    named.Trace(1, "\n%s|", std::string(1023, 'a').c_str());
    named.Trace(1, "\n%s|", std::string(2000, 'b').c_str());
    EXPECT_EQ("\r\nTriagist:      " + std::string(1023, 'a') + "|\r\nTriagist:      " + std::string(1024, 'b'),
              ReadText(lab.Path("t.log")));

    // Leading line feeds beyond 1123 stay in the text.
    WriteText(lab.Path("t.log"), "");
    CFileDebug plain(kModule);
    TraceFormat(plain, 1, std::string(1200, '\n') + "z");
    EXPECT_EQ("!! BUFFER TOO SMALL - FIXME !! " + Repeat("\r\n", 1200 - 1123) + "z", ReadText(lab.Path("t.log")));
}

TEST(FileDebugFormat, StartUpHeader)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab));
    CFileDebug trace(kModule, TRUE);
    EXPECT_EQ("\r\n\r\n----- Application [TraceTest] started at 10:15:30 03/07/2026 -----\r\n",
              ReadText(lab.Path("t.log")));
}

// --------------------------------------------------------------------- settings

TEST(FileDebugSettings, ActiveOnlyWithAnOutputOrDynamicUpdate)
{
    TraceLab lab(VirtualClock());
    CFileDebug unnamed;
    EXPECT_FALSE(unnamed.m_bActive);
    EXPECT_STREQ("", unnamed.GetModuleName());
    CFileDebug unconfigured(kModule, TRUE);
    EXPECT_FALSE(unconfigured.m_bActive);

    // DynamicUpdate alone makes the object active, but no output takes the header.
    lab.Registry(DebugKey(1) + ModuleKey(kModule, RegLine("TraceFile", RegString(lab.WinPath("t.log")))));
    CFileDebug reloading(kModule, TRUE);
    EXPECT_TRUE(reloading.m_bActive);
    EXPECT_FALSE(Exists(lab.Path("t.log")));
    EXPECT_TRUE(DebugOutput().empty());
}

TEST(FileDebugSettings, EachOutputHasItsOwnLevel)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab, RegLine("WinDebugLevel", RegDword(1))));
    CFileDebug trace(kModule);
    trace.Trace(1, "\none");
    trace.Trace(3, "\nthree");
    trace.Trace(4, "\nfour");
    trace.Trace(0xFFFFFFFF, "\nhighest");
    EXPECT_EQ("\r\none\r\nthree", ReadText(lab.Path("t.log")));
    EXPECT_EQ(std::vector<std::string>{"one\n"}, DebugOutput());
}

TEST(FileDebugSettings, FileLevelZeroLeavesPathAndLimitUnread)
{
    TraceLab lab(VirtualClock());
    lab.Registry(ModuleKey(kModule, RegLine("WinDebugLevel", RegDword(1)) +
                                        RegLine("TraceFile", RegString(lab.WinPath("t.log"))) +
                                        RegLine("TraceFileLimit", RegDword(1))));
    CFileDebug trace(kModule);
    EXPECT_STREQ("", trace.GetTraceFile());
    EXPECT_EQ(10u << 20, trace.GetFileLimit());
    trace.Trace(1, "\nx");
    EXPECT_FALSE(Exists(lab.Path("t.log")));
}

TEST(FileDebugSettings, ExpandSzPathIsExpandedAndSzIsLiteral)
{
    TraceLab lab(VirtualClock());
    std::string dir = lab.WinPath("");  // ends in a backslash
    lab.Registry(
        ModuleKey("Literal", RegLine("FileDebugLevel", RegDword(1)) +
                                 RegLine("TraceFile", RegString(dir + "%TRIAGIST_TRACE_DIR%.log"))));
    // The variable lives in the process environment, where the lab looks after the profile's.
    setenv("TRIAGIST_TRACE_DIR", dir.c_str(), 1);
    TraceLab::SetDword("Expanded", "FileDebugLevel", 1);
    TraceLab::SetString("Expanded", "TraceFile", "%TRIAGIST_TRACE_DIR%expanded.log", REG_EXPAND_SZ);
    {
        CFileDebug literal("Literal");
        literal.Trace(1, "\nliteral");
        CFileDebug expanded("Expanded");
        EXPECT_EQ(dir + "expanded.log", expanded.GetTraceFile());
        expanded.Trace(1, "\nexpanded");
    }
    unsetenv("TRIAGIST_TRACE_DIR");
    EXPECT_EQ("\r\nliteral", ReadText(lab.Path("%TRIAGIST_TRACE_DIR%.log")));
    EXPECT_EQ("\r\nexpanded", ReadText(lab.Path("expanded.log")));
}

TEST(FileDebugSettings, SetTraceFile)
{
    TraceLab lab(VirtualClock());
    CFileDebug trace;
    EXPECT_TRUE(trace.SetTraceFile(2, lab.WinPath("a.log").c_str(), 1));
    EXPECT_EQ(1u << 20, trace.GetFileLimit());
    // Level 0 keeps the path but not the limit; an empty path at a level clears it.
    EXPECT_FALSE(trace.SetTraceFile(0, lab.WinPath("b.log").c_str(), 0));
    EXPECT_EQ(lab.WinPath("a.log"), trace.GetTraceFile());
    EXPECT_EQ(0u, trace.GetFileLimit());
    EXPECT_FALSE(trace.SetTraceFile(2, "", 0));
    EXPECT_STREQ("", trace.GetTraceFile());
    EXPECT_FALSE(trace.SetTraceFile(2, nullptr, 0));
}

TEST(FileDebugSettings, ReadOnceWithoutDynamicUpdate)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab));
    CFileDebug trace(kModule);
    TraceLab::SetDword(kModule, "FileDebugLevel", 5);
    Sleep(60000);
    trace.Trace(5, "\nfive");
    EXPECT_FALSE(Exists(lab.Path("t.log")));
}

TEST(FileDebugSettings, DynamicUpdateReloadsAfter1024Ms)
{
    TraceLab lab(VirtualClock());
    lab.Registry(DebugKey(1) + FileModule(lab));
    CFileDebug trace(kModule);
    TraceLab::SetDword(kModule, "FileDebugLevel", 5);
    trace.Trace(5, "\nnot yet");
    Sleep(1023);
    trace.Trace(5, "\nnot yet");
    Sleep(1);
    trace.Trace(5, "\nnow");
    EXPECT_EQ("\r\nnow", ReadText(lab.Path("t.log")));

    // A reload takes the outputs away as well.
    TraceLab::SetDword(kModule, "FileDebugLevel", 0);
    TraceLab::SetDword("", "DynamicUpdate", 0);
    Sleep(1024);
    trace.Trace(1, "\ngone");
    EXPECT_FALSE(trace.m_bActive);
    EXPECT_EQ("\r\nnow", ReadText(lab.Path("t.log")));
}

TEST(FileDebugSettings, ConsoleStaysOnceAllocatedButFollowsItsLevel)
{
    TraceLab lab(VirtualClock());
    lab.Registry(DebugKey(1) + ModuleKey(kModule, RegLine("WinDebugLevel", RegDword(1))));
    CFileDebug trace(kModule);
    StderrCapture console(lab.Path("console"));
    trace.Trace(1, "\nbefore");
    TraceLab::SetDword(kModule, "ConDebugLevel", 2);
    Sleep(1024);
    trace.Trace(2, "\n\nshown\n");
    EXPECT_NE(nullptr, GetStdHandle(STD_OUTPUT_HANDLE));
    TraceLab::SetDword(kModule, "ConDebugLevel", 0);
    Sleep(1024);
    trace.Trace(1, "\nhidden");
    EXPECT_TRUE(trace.m_bActive);
    // The console takes the line as it is, line feeds in front.
    EXPECT_EQ("\n\nshown\n", console.Stop());
}

TEST(FileDebugSettings, LastErrorSurvivesTrace)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab, RegLine("WinDebugLevel", RegDword(3))) +
                 ModuleKey("Unwritable", RegLine("FileDebugLevel", RegDword(3)) +
                                             RegLine("TraceFile", RegString(lab.WinPath("no\\dir\\t.log")))));
    CFileDebug trace(kModule);
    SetLastError(1234);
    trace.Trace(2, "\nwritten");
    EXPECT_EQ(1234u, GetLastError());
    SetLastError(4321);
    trace.Trace(6, "\nfiltered");
    EXPECT_EQ(4321u, GetLastError());

    CFileDebug unwritable("Unwritable");
    SetLastError(ERROR_SERVICE_DATABASE_LOCKED);
    unwritable.Trace(1, "\nlost");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DATABASE_LOCKED), GetLastError());
    EXPECT_FALSE(Exists(lab.Path("no")));
}

TEST(FileDebugSettings, DeniedSixtyFourBitViewIsRetriedWithoutIt)
{
    TraceLab lab(std::string(VirtualClock()) +
                 "[Registry]\n"
                 "Deny64BitView=HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\n"
                 "Deny64BitView=HKEY_LOCAL_MACHINE\\SOFTWARE\\Debug\\TraceTest\n");
    lab.Registry(DebugKey(1) + FileModule(lab));
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_ACCESS_DENIED,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &hKey));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKey64(HKEY_LOCAL_MACHINE, "SOFTWARE\\Debug", KEY_QUERY_VALUE, &hKey));
    RegCloseKey(hKey);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKey64(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", KEY_QUERY_VALUE, &hKey));

    CFileDebug trace(kModule);
    trace.Trace(3, "\nread");
    // DynamicUpdate came from the parent key, denied as well: a change is picked up.
    TraceLab::SetDword(kModule, "FileDebugLevel", 4);
    Sleep(1024);
    trace.Trace(4, "\nreloaded");
    EXPECT_EQ("\r\nread\r\nreloaded", ReadText(lab.Path("t.log")));
}

// ---------------------------------------------------------------- trace file

TEST(FileDebugFile, RotatesAtTheLimitReplacingTheBackup)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab, RegLine("TraceFileLimit", RegDword(1))));
    const std::string almost((1u << 20) - 1, 'f');
    WriteText(lab.Path("t.log"), almost);
    WriteText(lab.Path("t.log.txt"), "older backup");
    CFileDebug trace(kModule);
    trace.Trace(1, "\nappended");
    EXPECT_TRUE(almost + "\r\nappended" == ReadText(lab.Path("t.log")));
    EXPECT_EQ("older backup", ReadText(lab.Path("t.log.txt")));

    const std::string full(1u << 20, 'f');
    WriteText(lab.Path("t.log"), full);
    trace.Trace(1, "\nfresh");
    EXPECT_EQ("\r\nfresh", ReadText(lab.Path("t.log")));
    EXPECT_TRUE(full == ReadText(lab.Path("t.log.txt")));
}

TEST(FileDebugFile, DefaultLimitIsTenMegabytesAndZeroMeansNone)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab) + FileModule(lab, RegLine("TraceFileLimit", RegDword(0)), "Unbounded"));
    const size_t cbTen = 10u << 20;
    WriteText(lab.Path("t.log"), std::string(cbTen, 'f'));
    {
        CFileDebug unbounded("Unbounded");
        unbounded.Trace(1, "\ngrows");
    }
    std::string text = ReadText(lab.Path("t.log"));
    EXPECT_EQ(cbTen + 7, text.size());
    EXPECT_EQ("f\r\ngrows", text.substr(cbTen - 1));
    EXPECT_FALSE(Exists(lab.Path("t.log.txt")));

    CFileDebug bounded(kModule);
    bounded.Trace(1, "\nrotated");
    EXPECT_EQ("\r\nrotated", ReadText(lab.Path("t.log")));
    EXPECT_EQ(cbTen + 7, ReadText(lab.Path("t.log.txt")).size());
}

TEST(FileDebugFile, MutexIsNamedAfterThePath)
{
    TraceLab lab(VirtualClock());
    CFileDebug trace;
    ASSERT_TRUE(trace.SetTraceFile(1, "Z:\\tmp\\Trace Dir\\t.log", 0));
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, "CFileDebug_Z__tmp_Trace Dir_t.log");
    ASSERT_NE(nullptr, hMutex);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    CloseHandle(hMutex);

    // Another path lets go of the old mutex.
    ASSERT_TRUE(trace.SetTraceFile(1, "Z:\\tmp\\other.log", 0));
    hMutex = CreateMutexA(nullptr, FALSE, "CFileDebug_Z__tmp_Trace Dir_t.log");
    ASSERT_NE(nullptr, hMutex);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    CloseHandle(hMutex);
}

TEST(FileDebugFile, MutexHeldElsewhereDelaysButDoesNotStopTheLine)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab));
    CFileDebug trace(kModule);
    std::string name = "CFileDebug_" + lab.WinPath("t.log");
    for (char& c : name) {
        if (c == '\\' || c == ':')
            c = '_';
    }
    trace.Trace(1, "\nfirst");
    HANDLE hHeld = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE hRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        HANDLE hMutex = CreateMutexA(nullptr, FALSE, name.c_str());
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
        // The first line gave the mutex back.
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 0));
        SetEvent(hHeld);
        WaitForSingleObject(hRelease, INFINITE);
        ReleaseMutex(hMutex);
        CloseHandle(hMutex);
    });
    WaitForSingleObject(hHeld, INFINITE);
    trace.Trace(1, "\nwritten anyway");
    SetEvent(hRelease);
    holder.join();
    CloseHandle(hHeld);
    CloseHandle(hRelease);
    EXPECT_EQ("\r\nfirst\r\nwritten anyway", ReadText(lab.Path("t.log")));
}

// Eight processes append to one file with a small limit, each line right after the other: every line of the
// file and of its backup is whole, each writer's lines keep their order, and none is lost: rotations only
// drop whole older generations, so what the two files hold of each writer runs without a gap to its last line.
// The backup is a whole generation, rotated once (a second rotation racing the first would leave a stub).
TEST(FileDebugFile, ProcessesAppendWholeLinesAcrossRotations)
{
    const int kWriters = 8;
    // 8 x 674 lines of 1053 bytes: five rotations at 1 MB.
    const int kLines = 674;
    std::string block;
    TraceLab lab("");  // real time: the mutex waits must last their 20 ms
    lab.Registry(ModuleKey("TraceWriter", RegLine("FileDebugLevel", RegDword(1)) +
                                              RegLine("TraceFile", RegString(lab.WinPath("shared.log"))) +
                                              RegLine("TraceFileLimit", RegDword(1))));

    for (char** pp = environ; *pp; ++pp) {
        if (strncmp(*pp, "TRIAGIST_LAB=", 13) != 0 && strncmp(*pp, "TRIAGIST_LAB_STATE=", 19) != 0)
            block += std::string(*pp) + '\0';
    }
    block += "TRIAGIST_LAB=" + lab.ProfileDir() + '\0';
    block += "TRIAGIST_LAB_STATE=" + lab.StateDir() + '\0';
    block += '\0';

    std::vector<PROCESS_INFORMATION> writers;
    for (int id = 0; id < kWriters; ++id) {
        std::string command =
            std::string(TRIAGIST_TEST_PROGRAMS_DIR "/TraceWriter ") + std::to_string(id) + " " + std::to_string(kLines);
        STARTUPINFOA si;
        GetStartupInfoA(&si);
        PROCESS_INFORMATION pi;
        ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, &block[0], nullptr, &si, &pi))
            << GetLastError();
        writers.push_back(pi);
    }
    for (const PROCESS_INFORMATION& pi : writers) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, INFINITE));
        DWORD dwExitCode = 1;
        GetExitCodeProcess(pi.hProcess, &dwExitCode);
        EXPECT_EQ(0u, dwExitCode);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }

    // A writer's line: "\r\nW<id> L<nnnnn> ", then 40 times its letter 24 times and a line feed, then "|".
    auto payload = [](int id) {
        std::string text;
        for (int i = 0; i < 40; ++i)
            text += std::string(24, static_cast<char>('a' + id)) + "\r\n";
        return text + "|";
    };
    const size_t kLine = 12 + payload(0).size();
    std::vector<std::vector<int>> seen(kWriters);
    for (const char* pszName : {"shared.log.txt", "shared.log"}) {
        std::string text = ReadText(lab.Path(pszName));
        EXPECT_LT(text.size(), (1u << 20) + kLine) << pszName << " was not rotated in time";
        if (std::string(pszName) == "shared.log.txt") {
            EXPECT_GE(text.size(), 1u << 20) << "the backup is not a whole generation";
        }
        size_t pos = 0;
        while (pos < text.size()) {
            int id = -1;
            int line = -1;
            int cchHeader = 0;
            if (text.compare(pos, 3, "\r\nW") != 0 ||
                std::sscanf(text.c_str() + pos + 3, "%1d L%5d %n", &id, &line, &cchHeader) != 2 || cchHeader != 9 ||
                id < 0 || id >= kWriters) {
                ADD_FAILURE() << pszName << ": broken line at " << pos << ": "
                              << text.substr(pos, 40);
                break;
            }
            const std::string expected = payload(id);
            if (text.compare(pos + 12, expected.size(), expected) != 0) {
                ADD_FAILURE() << pszName << ": cut line at " << pos << ": " << text.substr(pos, kLine + 20);
                break;
            }
            seen[id].push_back(line);
            pos += 12 + expected.size();
        }
    }
    size_t cLines = 0;
    for (int id = 0; id < kWriters; ++id) {
        const std::vector<int>& lines = seen[id];
        cLines += lines.size();
        for (size_t i = 0; i < lines.size(); ++i) {
            // From the first line kept on, each one follows the one before, up to the last written.
            int expected = lines.empty() ? 0 : lines.front() + static_cast<int>(i);
            if (lines[i] != expected) {
                ADD_FAILURE() << "writer " << id << ": line " << expected << " lost or out of order (found "
                              << lines[i] << ")";
                break;
            }
        }
        if (!lines.empty()) {
            EXPECT_EQ(lines.back(), kLines - 1) << "writer " << id << " lost its last lines";
        }
    }
    EXPECT_GT(cLines, (size_t{1} << 20) / kLine);  // the backup alone holds a megabyte
}

// ------------------------------------------------- one line, file and debugger

// The file gets each line feed as a carriage return and line feed; the
// debugger gets each line on its own, with its line feed at the end.
TEST(FileDebugOutputs, LineFeedsInTheFileAndTheDebugger)
{
    TraceLab lab(VirtualClock());
    lab.Registry(FileModule(lab, RegLine("WinDebugLevel", RegDword(2))));
    CFileDebug trace(kModule);
    trace.Trace(2, "\nCTest               : one");
    EXPECT_EQ(std::vector<std::string>{"CTest               : one\n"}, DebugOutput());
    trace.Trace(2, "\n\nblock\n\nend\n");
    EXPECT_EQ((std::vector<std::string>{"\n", "block\n", "\n", "end\n", "\n"}), DebugOutput());
    trace.Trace(2, "bare");
    EXPECT_EQ(std::vector<std::string>{"bare\n"}, DebugOutput());
    EXPECT_EQ("\r\nCTest               : one\r\n\r\nblock\r\n\r\nend\r\nbare", ReadText(lab.Path("t.log")));
}
