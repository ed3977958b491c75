// The diagnosis step that inspects the base service's installation: version, service, COM registration, modules, drivers.
#pragma once

#include "src/report/DiagReport.h"

// 0 when the base service runs, 2 otherwise.
DWORD CheckRavelin(CDiagReport& report, CXmlDocument& doc);
