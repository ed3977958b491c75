// The PCI device scan: every function present on the PCI bus, with names and slots, under PCIDevices.
#pragma once

#include "src/xml/XmlDocument.h"

// Writes PCIDevices as the last child of the current element; traces only, adds no messages.
void ScanPciDevices(CXmlDocument& doc);
