// The diagnosis step that tests the base service at work through the command router: identity, status tree, EEPROMs.
#pragma once

#include "src/report/DiagReport.h"

// 0 when the router could be attached, 2 otherwise.
DWORD TestRavelin(CDiagReport& report, CXmlDocument& doc);
