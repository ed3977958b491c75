// Stands in for the SNMP service's agent: a real snmpd, configured as Windows applies the service's registry.
#pragma once

#include "lab/host/ScriptedSnmpAgent.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace lab::host {

class IniFile;
class Network;
class RegistryTree;
struct StatusSubsystem;

// The server agent's key, as its extension agent entry names it: while the SNMP service loads this
// agent, the agent serves the status MIB.
extern const char* const kStatusMibAgent;

// The agent's configuration, without its address: the SNMP service's communities and permitted
// managers, and MIB-II's system group from the machine's facts. A community snmpd cannot serve is
// left out and named in problem (the first such, when problem is still empty).
std::string SnmpAgentConfig(const RegistryTree& registry, const IniFile& settings, const Network& network,
                            std::string& problem);

// The lines that make snmpd serve the agents' status MIB (the subsystem and component tables) from
// the base service's status tree; empty while the SNMP service does not load the server agent.
std::string StatusMibConfig(const RegistryTree& registry, const std::vector<StatusSubsystem>& subsystems);

// The whole configuration: the agent's and the status MIB's. False with the reason, naming the value,
// when snmpd could not serve it as the SNMP service would.
bool SnmpServiceConfig(const RegistryTree& registry, const IniFile& settings, const Network& network,
                       const std::vector<StatusSubsystem>& subsystems, std::string& config, std::string& problem);

// A host name or address as the server resolves it (Network::ResolveName), as dotted text; empty when
// the server cannot resolve it.
std::string ResolveHostAddress(const Network& network, const std::string& name);

// One snmpd per process, on a free UDP port of the loopback, started on demand. It ends when this
// process ends, however that happens: a keeper process holds it and stops it when our pipe closes.
class SnmpAgent {
public:
    SnmpAgent() = default;
    SnmpAgent(const SnmpAgent&) = delete;
    SnmpAgent& operator=(const SnmpAgent&) = delete;
    ~SnmpAgent();

    // The port of an agent running this configuration, starting or restarting one as needed;
    // 0 (with the reason on standard error, once) when snmpd cannot be started, until Stop.
    uint16_t Ensure(const std::string& stateDir, const std::string& config);
    void Stop();

    // A silent agent is stopped in its tracks (SIGSTOP): it receives requests but answers none.
    void SetSilent(bool bSilent);
    // A scripted agent stands in for snmpd from the next start on (Clock: the lab time its answers take).
    void SetScript(const SnmpScript& script, Clock& clock);

    // Where the running (or last) agent keeps its files, for tests and for looking on.
    std::string Directory() const;
    uint16_t Port() const;

private:
    bool StartLocked(const std::string& stateDir, const std::string& config, uint16_t port);
    void StopLocked();

    mutable std::mutex m_lock;
    std::string m_config;
    std::string m_dir;
    uint16_t m_port = 0;
    pid_t m_keeper = -1;
    pid_t m_agent = -1;
    int m_keeperPipe = -1;  // closing it tells the keeper to end the agent
    bool m_bSilent = false;
    bool m_bFailed = false;  // snmpd would not start with m_config
    SnmpScript m_script;
    Clock* m_pClock = nullptr;
    ScriptedSnmpAgent m_scripted;
};

}  // namespace lab::host
