// Runs a program to its end and measures what it alone used: its own CPU time and its peak resident set,
// without the processes it starts and waits for (the lab's snmpd and its keeper).
#pragma once

#include <string>
#include <vector>

namespace wholerun {

struct ChildUsage {
    bool bStarted = false;
    int exitCode = -1;  // -1 when it ended by a signal
    double cpuMs = 0;   // user and system, all threads
    double peakMB = 0;  // VmHWM at its exit
    bool bOwnOnly = false;  // false: the figures include the children it waited for (no ptrace here)
};

// Runs `argv` in `cwd` with exactly the environment `env` ("NAME=value").
ChildUsage RunMeasured(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       const std::string& cwd);

}  // namespace wholerun
