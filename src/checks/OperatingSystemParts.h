// The pieces of the operating system step, each writing its element into the current one.
#pragma once

#include "src/platform/Win32.h"
#include "src/xml/XmlDocument.h"

void WriteOsProduct(CXmlDocument& doc);
void WriteProcesses(CXmlDocument& doc);
void WriteInstalledProducts(CXmlDocument& doc);

struct SEventCounts {
    DWORD dwErrors = 0;
    DWORD dwWarnings = 0;
};
SEventCounts WriteProductEvents(CXmlDocument& doc);
