// The diagnosis step that records the operating system: product, processes, product-specific event records, installed products.
#pragma once

#include "src/report/DiagReport.h"

// Always 0: only the product-specific event records count as findings.
DWORD CheckOperatingSystem(CDiagReport& report, CXmlDocument& doc);
