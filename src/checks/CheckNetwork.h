// The network configuration check: DNS, adapters, interfaces and their IPv4 addresses.
#pragma once

#include "src/report/DiagReport.h"

// Writes Root/Network; records no findings, the reader judges the values. Always 0.
DWORD CheckNetwork(CDiagReport& report, CXmlDocument& doc);
