// The diagnosis steps of the SNMP service: its configuration, and a live request test.
#pragma once

#include "src/report/DiagReport.h"

// The service's state, security settings, trap destinations and extension agents, from the
// registry only. 2 when it filed a finding, 0 otherwise.
DWORD CheckSnmp(CDiagReport& report, CXmlDocument& doc);

// A GET of the system description, a GETNEXT just before it and a timing loop of 100 GETs against
// the local agent, while the service runs. 2 when the GET failed, 0 otherwise.
DWORD TestSnmp(CDiagReport& report, CXmlDocument& doc);
