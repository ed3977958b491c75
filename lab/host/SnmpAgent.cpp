// Stands in for the SNMP service's agent: a real snmpd, configured as Windows applies the service's registry.
#include "lab/host/SnmpAgent.h"

#include "lab/host/BaseService.h"
#include "lab/host/IniFile.h"
#include "lab/host/Network.h"
#include "lab/host/ProfileValues.h"
#include "lab/host/SnmpdText.h"
#include "lab/host/RegistryTree.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lab::host {

namespace fs = std::filesystem;

namespace {

const char* const kParameters = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\";

std::string Text(const RegValue& value)
{
    std::string text(value.data.begin(), value.data.end());
    return text.substr(0, text.find('\0'));
}

bool IsString(uint32_t type)
{
    return type == regtype::kSz || type == regtype::kExpandSz || type == regtype::kMultiSz;
}

// The service reads its own keys: the deny switch of lab.ini is for the program's calls only.
std::vector<RegValue> Values(const RegistryTree& registry, const std::string& path)
{
    std::vector<RegValue> values;
    RegistryTree::KeyRef key;
    if (registry.OpenPath(path, 0, key) != RegResult::Success)
        return values;
    RegValue value;
    for (uint32_t i = 0; registry.EnumValue(key, i, value) == RegResult::Success; ++i)
        values.push_back(value);
    return values;
}

std::string ValueText(const RegistryTree& registry, const std::string& path, const std::string& name,
                      const std::string& fallback)
{
    for (const RegValue& value : Values(registry, path)) {
        if (EqualsNoCase(value.name, name) && IsString(value.type))
            return Text(value);
    }
    return fallback;
}

}  // namespace

std::string ResolveHostAddress(const Network& network, const std::string& name)
{
    uint32_t addr = 0;
    return network.ResolveName(name, addr) ? FormatIpv4(addr) : std::string();
}

namespace {

uint16_t FreeLoopbackPort()
{
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}

std::string SnmpdProgram()
{
    const char* pOverride = std::getenv("TRIAGIST_SNMPD");
    if (pOverride && *pOverride)
        return pOverride;
    std::error_code ec;
    return fs::exists("/usr/sbin/snmpd", ec) ? "/usr/sbin/snmpd" : "snmpd";
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Agents of processes that have ended leave their folders; the next agent clears them away.
void RemoveStaleFolders(const std::string& root)
{
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        pid_t owner = static_cast<pid_t>(std::atoi(it->path().filename().c_str()));
        if (owner > 0 && owner != getpid() && kill(owner, 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            fs::remove_all(it->path(), ignored);
        }
    }
}

// The keeper stops the agent a moment after it is told: wait for it, so that no request slips
// through to an agent that is meant to be silent.
// A process's state letter from /proc ('R', 'S', 'T', 'Z', ...); 0 when it is gone.
char ProcessState(pid_t pid)
{
    std::string text = ReadWhole("/proc/" + std::to_string(pid) + "/stat");
    size_t paren = text.rfind(')');
    return paren == std::string::npos || paren + 2 >= text.size() ? 0 : text[paren + 2];
}

void AwaitStopped(pid_t agent)
{
    if (agent <= 0)
        return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        char state = ProcessState(agent);
        if (state == 0 || state == 'T' || state == 't')
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool WriteSnmpdConf(const std::string& confFile, uint16_t port, const std::string& config)
{
    std::ofstream out(confFile, std::ios::binary | std::ios::trunc);
    out << "# The SNMP service of the lab's host, made from its registry.\n"
        << "agentaddress udp:127.0.0.1:" << port << "\n"
        << "dontLogTCPWrappersConnects yes\n"
        << config;
    return static_cast<bool>(out);
}

// snmpd's command line and environment, made whole before the fork: the child may only hand them to execve.
class SnmpdCommand {
public:
    SnmpdCommand(const std::string& dir, const std::string& confFile, const std::string& logFile)
        : m_args{SnmpdProgram(), "-f", "-C", "-c", confFile, "-Lf", logFile, "-I", "-smux"},
          m_persist("SNMP_PERSISTENT_DIR=" + dir + "/persistent"), m_mibs("MIBS=")
    {
        for (std::string& arg : m_args)
            m_argv.push_back(arg.data());
        m_argv.push_back(nullptr);
        // snmpd keeps state of its own under the same file name as its configuration: apart from it.
        for (char** pp = environ; *pp; ++pp)
            if (std::strncmp(*pp, "SNMP_PERSISTENT_DIR=", 20) != 0 && std::strncmp(*pp, "MIBS=", 5) != 0)
                m_envp.push_back(*pp);
        m_envp.push_back(m_persist.data());
        m_envp.push_back(m_mibs.data());
        m_envp.push_back(nullptr);
    }
    SnmpdCommand(const SnmpdCommand&) = delete;
    SnmpdCommand& operator=(const SnmpdCommand&) = delete;

    [[noreturn]] void Exec() const
    {
        execve(m_argv[0], m_argv.data(), m_envp.data());
        _exit(127);
    }

private:
    std::vector<std::string> m_args;
    std::string m_persist;
    std::string m_mibs;
    std::vector<char*> m_argv;
    std::vector<char*> m_envp;
};

// The keeper: only async-signal-safe calls here. It holds no write end of our pipe and no output of
// ours, so it ends, and ends the agent, when this process is gone.
[[noreturn]] void RunKeeper(const SnmpdCommand& command, int control, int report)
{
    // The two pipe ends move to 3 and 4 (by way of free numbers above, as either may be 3 or 4 now),
    // so that one call closes all else.
    const int controlAbove = fcntl(control, F_DUPFD, 5);
    const int reportAbove = fcntl(report, F_DUPFD, 5);
    control = dup3(controlAbove, 3, O_CLOEXEC);
    report = dup3(reportAbove, 4, O_CLOEXEC);
    if (controlAbove < 0 || reportAbove < 0 || control < 0 || report < 0)
        _exit(1);
    if (close_range(5, ~0u, 0) != 0) {
        // A kernel without close_range (before Linux 5.9).
        long maxFd = sysconf(_SC_OPEN_MAX);
        for (int fd = 5; fd < (maxFd > 0 ? maxFd : 1024); ++fd)
            close(fd);
    }
    int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devnull >= 0) {
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
    }
    pid_t agent = fork();
    if (agent == 0)
        command.Exec();
    ssize_t written = write(report, &agent, sizeof agent);
    (void)written;
    char c;
    while (read(control, &c, 1) > 0) {
        if (c == 's')
            kill(agent, SIGSTOP);
        else if (c == 'c')
            kill(agent, SIGCONT);
    }
    kill(agent, SIGTERM);
    kill(agent, SIGCONT);
    waitpid(agent, nullptr, 0);
    _exit(0);
}

// The keeper's pid (-1 when it could not be started), the write end of its control pipe and the
// agent's pid as the keeper reports it (-1 when it does not).
pid_t StartKeeper(const SnmpdCommand& command, int& controlPipe, pid_t& agent)
{
    int control[2], report[2];
    if (pipe2(control, O_CLOEXEC) != 0)
        return -1;
    if (pipe2(report, O_CLOEXEC) != 0) {
        close(control[0]);
        close(control[1]);
        return -1;
    }
    pid_t keeper = fork();
    if (keeper == 0)
        RunKeeper(command, control[0], report[1]);
    close(control[0]);
    close(report[1]);
    if (keeper < 0) {
        close(control[1]);
        close(report[0]);
        return -1;
    }
    controlPipe = control[1];
    pid_t reported = -1;
    bool bReported = read(report[0], &reported, sizeof reported) == static_cast<ssize_t>(sizeof reported);
    close(report[0]);
    agent = bReported ? reported : -1;
    return keeper;
}

// Closes a descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// A descriptor that becomes readable when the process ends; by number, as glibc's declaration of
// pidfd_open lacks C linkage for C++ (glibc 2.36).
int ProcessEndDescriptor(pid_t pid)
{
    return pid > 0 ? static_cast<int>(syscall(SYS_pidfd_open, pid, 0)) : -1;
}

// snmpd names its version in the log once its port is open, and says so when it gives up. The wait
// wakes when the log's folder changes or either process ends (the keeper holds the agent, ended,
// as a zombie until we let go).
bool AwaitListening(const std::string& logFile, pid_t keeper, pid_t agent)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    Descriptor changes(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (changes.Get() >= 0)
        inotify_add_watch(changes.Get(), fs::path(logFile).parent_path().c_str(), IN_CREATE | IN_MODIFY);
    Descriptor keeperEnd(ProcessEndDescriptor(keeper));
    Descriptor agentEnd(ProcessEndDescriptor(agent));
    // Without inotify or pidfds (old kernels, seccomp) the wait looks again now and then.
    const bool bWakes = changes.Get() >= 0 && keeperEnd.Get() >= 0 && agentEnd.Get() >= 0;
    for (;;) {
        std::string log = ReadWhole(logFile);
        if (log.find("Exiting") != std::string::npos || log.find("Error opening") != std::string::npos)
            return false;
        if (log.find("NET-SNMP version") != std::string::npos)
            return true;
        if (waitpid(keeper, nullptr, WNOHANG) != 0)
            return false;
        char state = agent > 0 ? ProcessState(agent) : 0;
        if (state == 0 || state == 'Z')
            return false;  // snmpd ended without a word
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                 std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd waits[] = {{changes.Get(), POLLIN, 0}, {keeperEnd.Get(), POLLIN, 0}, {agentEnd.Get(), POLLIN, 0}};
        const int timeout = bWakes ? static_cast<int>(left.count()) : std::min(50, static_cast<int>(left.count()));
        if (poll(waits, 3, timeout) > 0 && (waits[0].revents & POLLIN) != 0) {
            char events[4096];
            while (read(changes.Get(), events, sizeof events) > 0) {
            }
        }
    }
}

}  // namespace

std::string SnmpAgentConfig(const RegistryTree& registry, const IniFile& settings, const Network& network,
                            std::string& problem)
{
    std::ostringstream config;
    const std::string version = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    const std::string cpu = "HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
    std::string processor = ValueText(registry, cpu, "Identifier", "Unknown processor");
    uint64_t processors = 1;
    ParseNumber(settings.Get("System", "NumberOfProcessors", "1"), processors);
    // The system group as Windows' SNMP service gives it, every object written out: an object left to snmpd
    // would be the Linux host's. snmpd's own sysDescr directive takes less than 256 characters; an override
    // takes any text a line holds.
    const std::string computer = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
    const std::string agent = std::string(kParameters) + "RFC1156Agent";
    const std::pair<const char*, std::string> system[] = {
        {"1", "Hardware: " + processor + " AT/AT COMPATIBLE - Software: Windows Version " +
                  ValueText(registry, version, "CurrentVersion", "6.3") + " (Build " +
                  ValueText(registry, version, "CurrentBuildNumber", "0") +
                  (processors > 1 ? " Multiprocessor" : " Uniprocessor") + " Free)"},
        {"4", ValueText(registry, agent, "sysContact", "")},
        {"5", ValueText(registry, computer, "ComputerName", "")},
        {"6", ValueText(registry, agent, "sysLocation", "")},
    };
    for (const auto& object : system)
        config << "override .1.3.6.1.2.1.1." << object.first << ".0 octet_str " << SnmpdOctets(object.second) << "\n";

    // No permitted managers: every host may ask. Otherwise only those; a name the server cannot resolve
    // permits nobody. Names come from the server's own table, never from the network the lab runs on.
    std::vector<std::string> sources;
    std::vector<RegValue> managers = Values(registry, std::string(kParameters) + "PermittedManagers");
    for (const RegValue& manager : managers) {
        std::string address = IsString(manager.type) ? ResolveHostAddress(network, Text(manager)) : "";
        if (!address.empty())
            sources.push_back(address);
    }
    if (managers.empty())
        sources.push_back("default");

    // Read-only communities and the older string form (the value's data is the community) may read;
    // read/write and read/create may also write; none and notify give no access at all.
    for (const RegValue& value : Values(registry, std::string(kParameters) + "ValidCommunities")) {
        const char* pDirective = nullptr;
        std::string community = value.name;
        if (IsString(value.type)) {
            pDirective = "rocommunity";
            community = Text(value);
        } else if (value.type == regtype::kDword && value.data.size() >= 4) {
            uint32_t rights = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                              static_cast<uint32_t>(value.data[3]) << 24;
            if (rights == 4)
                pDirective = "rocommunity";
            else if (rights == 8 || rights == 16)
                pDirective = "rwcommunity";
        }
        if (!pDirective)
            continue;
        std::string reason = community.empty()                ? "an empty community"
                             : community.size() > 255          ? "a community of more than 255 characters"
                             : !SnmpdCanQuote(community)       ? "a community with a line break"
                                                               : "";
        if (!reason.empty()) {
            if (problem.empty())
                problem = "ValidCommunities value \"" + value.name + "\": snmpd cannot serve " + reason;
            continue;
        }
        for (const std::string& source : sources)
            config << pDirective << " " << SnmpdCommunity(community) << " " << source << "\n";
    }
    return config.str();
}

const char* const kStatusMibAgent = "SOFTWARE\\Brennock\\ServerAgent\\CurrentVersion";

namespace {

const char kSubsystemColumn[] = ".1.3.6.1.4.1.99999.2.10.2.11.3.1.1.";
const char kComponentColumn[] = ".1.3.6.1.4.1.99999.2.10.2.11.4.1.1.";

// The service loads an agent whose entry names a key that holds the agent's library; an entry a
// tool turned off names no such key.
bool LoadsStatusAgent(const RegistryTree& registry)
{
    for (const RegValue& entry : Values(registry, std::string(kParameters) + "ExtensionAgents")) {
        if (IsString(entry.type) && EqualsNoCase(Text(entry), kStatusMibAgent))
            return !ValueText(registry, std::string("HKEY_LOCAL_MACHINE\\") + kStatusMibAgent, "Pathname", "").empty();
    }
    return false;
}

void Override(std::ostringstream& config, const char* pColumn, int column, size_t row, const std::string& type,
              const std::string& value)
{
    config << "override " << pColumn << column << "." << row << " " << type << " " << value << "\n";
}

}  // namespace

std::string StatusMibConfig(const RegistryTree& registry, const std::vector<StatusSubsystem>& subsystems)
{
    std::ostringstream config;
    if (!LoadsStatusAgent(registry))
        return config.str();
    // Subsystems are rows 1, 2, ... in profile order; components are numbered on through all subsystems.
    size_t componentRow = 0;
    for (size_t i = 0; i < subsystems.size(); ++i) {
        const StatusSubsystem& subsystem = subsystems[i];
        Override(config, kSubsystemColumn, 3, i + 1, "octet_str", SnmpdOctets(subsystem.description));
        Override(config, kSubsystemColumn, 5, i + 1, "octet_str", SnmpdOctets(subsystem.componentList));
        Override(config, kSubsystemColumn, 6, i + 1, "octet_str", SnmpdOctets(subsystem.name));
        for (const StatusComponent& component : subsystem.components) {
            ++componentRow;
            const std::string status = std::to_string(component.status);
            Override(config, kComponentColumn, 2, componentRow, "octet_str", SnmpdOctets(component.id));
            if (component.mibType == "string")
                Override(config, kComponentColumn, 3, componentRow, "octet_str", SnmpdOctets(status));
            else
                Override(config, kComponentColumn, 3, componentRow,
                         component.mibType == "gauge" ? "uinteger" : component.mibType, status);
            Override(config, kComponentColumn, 5, componentRow, "octet_str", SnmpdOctets(component.name));
        }
    }
    return config.str();
}

bool SnmpServiceConfig(const RegistryTree& registry, const IniFile& settings, const Network& network,
                       const std::vector<StatusSubsystem>& subsystems, std::string& config, std::string& problem)
{
    problem.clear();
    config = SnmpAgentConfig(registry, settings, network, problem) + StatusMibConfig(registry, subsystems);
    // The line limit is snmpd's: the scripted agent reads the lines whole.
    bool bScripted = EqualsNoCase(settings.Get("SNMP", "Agent", "snmpd"), "scripted");
    size_t start = 0;
    while (!bScripted && problem.empty() && start < config.size()) {
        size_t end = config.find('\n', start);
        if (end - start > kSnmpdLineMax) {
            size_t pos = start;
            std::string directive = ReadSnmpdWord(config, pos);
            std::string object = ReadSnmpdWord(config, pos);
            problem = "snmpd cannot serve " + (directive == "override" ? object : directive) + ": its value takes " +
                      std::to_string(end - start) + " characters of a line, at most " +
                      std::to_string(kSnmpdLineMax) + " fit";
        }
        start = end + 1;
    }
    return problem.empty();
}

SnmpAgent::~SnmpAgent()
{
    Stop();
}

uint16_t SnmpAgent::Ensure(const std::string& stateDir, const std::string& config)
{
    std::lock_guard<std::mutex> guard(m_lock);
    // An agent that died on its own stays dead, as a crashed service would, until the service restarts;
    // one that would not start is not tried again for every request.
    if ((m_keeper > 0 || m_scripted.IsRunning() || m_bFailed) && config == m_config)
        return m_port;
    StopLocked();
    if (m_script.bScripted && m_pClock) {
        m_scripted.SetSilent(m_bSilent);
        m_port = m_scripted.Start(config, m_script, *m_pClock);
        m_config = m_port ? config : std::string();
        return m_port;
    }
    // A port taken between our look and snmpd's bind fails the start; another port then. Any other
    // failure would only repeat.
    for (int attempt = 0; attempt < 3; ++attempt) {
        uint16_t port = FreeLoopbackPort();
        if (port && StartLocked(stateDir, config, port))
            return m_port;
        StopLocked();
        if (ReadWhole(m_dir + "/snmpd.log").find("Error opening specified endpoint") == std::string::npos)
            break;
    }
    m_bFailed = true;
    m_config = config;
    std::fprintf(stderr, "lab: the SNMP agent (%s) could not be started; see %s/snmpd.log\n", SnmpdProgram().c_str(),
                 m_dir.c_str());
    return 0;
}

bool SnmpAgent::StartLocked(const std::string& stateDir, const std::string& config, uint16_t port)
{
    std::string root = stateDir + "/snmp";
    RemoveStaleFolders(root);
    m_dir = root + "/" + std::to_string(getpid());
    std::error_code ec;
    fs::create_directories(m_dir, ec);
    std::string confFile = m_dir + "/snmpd.conf", logFile = m_dir + "/snmpd.log";
    fs::remove(logFile, ec);
    if (!WriteSnmpdConf(confFile, port, config))
        return false;

    const SnmpdCommand command(m_dir, confFile, logFile);
    int controlPipe = -1;
    pid_t agent = -1;
    pid_t keeper = StartKeeper(command, controlPipe, agent);
    if (keeper < 0)
        return false;
    m_keeper = keeper;
    m_keeperPipe = controlPipe;
    m_port = port;
    m_config = config;
    m_agent = agent;

    if (!AwaitListening(logFile, m_keeper, m_agent))
        return false;
    if (m_bSilent) {
        (void)!write(m_keeperPipe, "s", 1);
        AwaitStopped(m_agent);
    }
    return true;
}

void SnmpAgent::Stop()
{
    std::lock_guard<std::mutex> guard(m_lock);
    StopLocked();
    m_bFailed = false;
}

void SnmpAgent::StopLocked()
{
    m_scripted.Stop();
    if (m_keeperPipe >= 0)
        close(m_keeperPipe);
    if (m_keeper > 0)
        waitpid(m_keeper, nullptr, 0);
    m_keeperPipe = -1;
    m_keeper = -1;
    m_agent = -1;
    m_port = 0;
    m_config.clear();
}

void SnmpAgent::SetSilent(bool bSilent)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bSilent = bSilent;
    m_scripted.SetSilent(bSilent);
    if (m_keeperPipe >= 0) {
        (void)!write(m_keeperPipe, bSilent ? "s" : "c", 1);
        if (bSilent)
            AwaitStopped(m_agent);
    }
}

void SnmpAgent::SetScript(const SnmpScript& script, Clock& clock)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_script = script;
    m_pClock = &clock;
}

std::string SnmpAgent::Directory() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_dir;
}

uint16_t SnmpAgent::Port() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_port;
}

}  // namespace lab::host
