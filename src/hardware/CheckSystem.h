// The system hardware check: BIOS, SMBIOS structures, the interrupt routing table, the processors
// and the PCI devices under Root/System.
#pragma once

#include "src/report/DiagReport.h"

#include <string>

// Always 0; its one finding is "Could not connect to SMBIOS!".
DWORD CheckSystem(CDiagReport& report, CXmlDocument& doc);

// The name of an enumerated SMBIOS field value; "" for values, fields and types without one.
std::string GetDmiValueName(const BYTE* pStructure, int offset);
