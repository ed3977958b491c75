// Stands in for the SNMP service's agent when a profile scripts it: a small SNMPv1 responder on the loopback.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace lab::host {

class Clock;

// How a scripted agent misbehaves ([SNMP] of lab.ini).
struct SnmpScript {
    bool bScripted = false;      // Agent=scripted: this agent instead of snmpd
    bool bNotAdvancing = false;  // a GETNEXT answers with the name it was asked for
    std::string wrongTypes;      // "yes": numbers as text, text as numbers, empty text as NULL; "null": all NULL
    uint32_t delayMs = 0;        // lab time each answer takes
};

// Serves the objects and communities of an snmpd configuration (the system group lines, the
// communities, the override lines) from a thread of this process, on a free UDP port of 127.0.0.1.
class ScriptedSnmpAgent {
public:
    ScriptedSnmpAgent() = default;
    ScriptedSnmpAgent(const ScriptedSnmpAgent&) = delete;
    ScriptedSnmpAgent& operator=(const ScriptedSnmpAgent&) = delete;
    ~ScriptedSnmpAgent();

    // The port it answers on; 0 (with the reason on standard error) when it cannot open one.
    uint16_t Start(const std::string& config, const SnmpScript& script, Clock& clock);
    void Stop();
    void SetSilent(bool bSilent) { m_bSilent = bSilent; }
    bool IsRunning() const { return m_thread.joinable(); }

private:
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bSilent{false};
};

}  // namespace lab::host
