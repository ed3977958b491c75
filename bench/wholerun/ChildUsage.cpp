// wait4's usage of a child adds that of every descendant the child waited for, and the lab's snmpd is
// one: it is started by a keeper that the program waits for. So the child is traced, only to be stopped
// on its way out while its own accounts still exist: the CPU clock of its thread group counts no
// children, and /proc still shows its peak resident set.
#include "bench/wholerun/ChildUsage.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace wholerun {

namespace {

double PeakResidentMB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

double CpuMs(pid_t pid)
{
    clockid_t clock;
    timespec ts{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return 0;
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(&s[0]);
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ChildUsage RunMeasured(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       const std::string& cwd)
{
    ChildUsage usage;
    // Everything the child needs is made before the fork.
    std::vector<std::string> args = argv, vars = env;
    std::vector<char*> argp = Pointers(args), envp = Pointers(vars);

    pid_t pid = fork();
    if (pid < 0)
        return usage;
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0)
            _exit(126);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);  // untraced, it still runs; the parent notices
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    usage.bStarted = true;

    bool bTraced = false;
    for (;;) {
        int status = 0;
        rusage ru{};
        if (wait4(pid, &status, 0, &ru) < 0) {
            if (errno == EINTR)
                continue;
            usage.bStarted = false;
            return usage;
        }
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            usage.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            if (!usage.bOwnOnly) {
                usage.cpuMs = (static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
                               static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3);
                usage.peakMB = static_cast<double>(ru.ru_maxrss) / 1024.0;
            }
            return usage;
        }
        if (!WIFSTOPPED(status))
            continue;
        int signal = WSTOPSIG(status);
        int forward = signal;
        if (!bTraced && signal == SIGTRAP) {
            // The stop after execve: from here on the child stops once more, just before it ends.
            bTraced = true;
            ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL);
            forward = 0;
        } else if (signal == SIGTRAP && (status >> 16) == PTRACE_EVENT_EXIT) {
            usage.cpuMs = CpuMs(pid);
            usage.peakMB = PeakResidentMB(pid);
            usage.bOwnOnly = usage.peakMB > 0;
            forward = 0;
        }
        ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<long>(forward)));
    }
}

}  // namespace wholerun
