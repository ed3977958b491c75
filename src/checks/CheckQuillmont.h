// The agent product step: what the installed SNMP agents report about themselves.
#pragma once

#include "src/report/DiagReport.h"

// Writes Root/SNMPAgents: the product version, the base service's security settings and system
// status, and the agents' status MIB. Adds no messages. 0 when the agent product and the SNMP
// service are both installed, 2 otherwise.
DWORD CheckQuillmont(CDiagReport& report, CXmlDocument& doc);
