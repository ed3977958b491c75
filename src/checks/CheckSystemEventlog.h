// The diagnosis step that copies the server's own system event log, read through the base service, into the report.
#pragma once

#include "src/report/DiagReport.h"

#include <cstddef>

// 0 when the router could be attached, 2 otherwise. Adds no messages.
DWORD CheckSystemEventlog(CDiagReport& report, CXmlDocument& doc);

// Writes one Entry per entry of the base service's reply data into the current element; the number written.
size_t WriteSystemEventlogEntries(CXmlDocument& doc, const BYTE* pData, size_t cbData);
