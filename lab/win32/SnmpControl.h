// Stands in for the SNMP service's agent as tests see it (lab-internal, not part of the Win32 surface).
#pragma once

#include <cstdint>
#include <string>

namespace lab::win32 {

// The agent receives requests but answers none (lab.ini: [SNMP] Silent=yes does the same).
void SetSnmpAgentSilent(bool bSilent);
// Starts the agent of the SNMP service if that service runs (as the first request would) and
// tells where it is: its UDP port on 127.0.0.1 (0 when none runs) and the folder holding its
// snmpd.conf and snmpd.log.
uint16_t SnmpAgentPort();
std::string SnmpAgentDirectory();

}  // namespace lab::win32
