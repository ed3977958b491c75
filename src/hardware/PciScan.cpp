// The PCI device scan: every function on the bus, named from Adapter.ini and placed in its slot.
#include "src/hardware/PciScan.h"

#include "src/hardware/AdapterIni.h"
#include "src/hardware/Device.h"
#include "src/hardware/HardwareTrace.h"
#include "src/hardware/PciConfig.h"
#include "src/report/RuntimeLayout.h"
#include "src/xml/XmlDescent.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const int kChild = CXmlDocument::ADD_CHILD;
const BYTE kSlotUnknown = 0xFF;

struct SPciAddress {
    DWORD dwBus, dwDevice, dwFunction, dwReserved;
};

std::string Hex(const char* pszFormat, unsigned value)
{
    char szText[16];
    snprintf(szText, sizeof szText, pszFormat, value);
    return szText;
}

void WriteDevice(CXmlDocument& doc, CPciConfig& config, const SPciAddress& address, const CDeviceBios& bios,
                 BYTE* pBridgeMap)
{
    if (!doc.AddElement("Device", nullptr, kChild))
        return;
    doc.SetAttribute(doc.m_iPosChild, "Bus", static_cast<int>(address.dwBus));
    doc.SetAttribute(doc.m_iPosChild, "Device", static_cast<int>(address.dwDevice));
    doc.SetAttribute(doc.m_iPosChild, "Function", static_cast<int>(address.dwFunction));
    // ScanPciDevices catches what the scan throws and then leaves its own level; the levels entered
    // here are left before.
    CXmlDescent deviceLevel(doc, doc.Descend());
    DecodePciClass(config);

    BYTE bus = static_cast<BYTE>(address.dwBus), device = static_cast<BYTE>(address.dwDevice);
    BYTE slot = kSlotUnknown;
    TRACE(5, "\nGetPciSlotNumber    : Get PCI slot number for bus %d device %d...", bus, device);
    if (!bios.GetSlotNumber(bus, device, &slot)) {
        // An unknown slot is left out of the report rather than shown as the system board's 0.
        slot = kSlotUnknown;
        if (pBridgeMap[bus] != 0) {
            slot = pBridgeMap[bus];
            TRACE(2, "\nTriagist            : Pci bridge device at slot %d created bus no %d", slot, bus);
        } else {
            TRACE(3, "\nTriagist            : No entry found in PCI bridge mapping table!");
        }
    }
    if (config.HeaderType() & 0x01) {
        TRACE(2, "\n         Brigde device:  Primary bus index  : %d", config.PrimaryBus());
        TRACE(2, "\n                         Secondary bus index: %d", config.SecondaryBus());
        pBridgeMap[config.SecondaryBus()] = slot == kSlotUnknown ? 0 : slot;
    }

    doc.AddElement("ConfigSpace", nullptr, kChild);
    {
        CXmlDescent configSpaceLevel(doc, doc.Descend());
        doc.AddElement("Revision", Hex("%02X", config.Revision()).c_str(), kChild);
        doc.AddElement("VendorId", Hex("%04X", config.VendorId()).c_str(), kChild);
        doc.AddElement("SubVendorId", Hex("%04X", config.m_wSubVendorId).c_str(), kChild);
        doc.AddElement("DeviceId", Hex("%04X", config.DeviceId()).c_str(), kChild);
        doc.AddElement("SubDeviceId", Hex("%04X", config.m_wSubSystemId).c_str(), kChild);
        doc.AddElement("BaseClass", config.m_szClassName, kChild);
        doc.AddElement("SubClass", config.m_szSubClassName, kChild);
    }
    if (slot != kSlotUnknown)
        doc.AddElement("Slot", slot, kChild);

    CAdapterIni names;
    if (names.Open(RUNTIME_ADAPTER_NAMES)) {
        std::string name;
        if (names.GetVendorName(config.VendorId(), config.VendorId(), name))
            doc.AddElement("VendorName", name.c_str(), kChild);
        if (names.GetVendorName(config.VendorId(), config.m_wSubVendorId, name))
            doc.AddElement("SubVendorName", name.c_str(), kChild);
        if (names.GetDeviceName(config.VendorId(), config.DeviceId(), config.m_wSubSystemId, name))
            doc.AddElement("DeviceName", name.c_str(), kChild);
    }
}

void ScanBus(CXmlDocument& doc)
{
    TRACE(4, "\nTriagist            : Create PCI slot mapping table - connect to Gorrel BIOS device...");
    CDeviceBios bios;
    if (bios.Connect()) {
        if (!bios.GetPciSlotMapping())
            TRACE(1, "\n\nTriagist (Scan)     : ## ERROR! Could not get PCI slot mapping!\n");
        TRACE(4, "\nTriagist            : Disconnect from Gorrel BIOS device");
        bios.Close();
    } else {
        TRACE(1, "\n\nTriagist (Scan)     : ## FATAL ERROR! Connect to BIOS device failed!\n");
    }

    TRACE(4, "\nTriagist            : Scan PCI bus devices - connect to Gorrel BusIO device...");
    CDeviceBusIo busIo;
    if (!busIo.Connect()) {
        TRACE(1, "\nTriagist            : ## ERROR 0x%08X! Connect to BusIo device failed!",
              static_cast<unsigned>(busIo.LastError()));
        return;
    }
    TRACE(4, "\nTriagist            : ... Gorrel BusIO device connected");

    BYTE bridgeMap[256] = {};
    CPciConfig config;
    SPciAddress address = {0, 0, 0, 0};
    busIo.IoControl(IOCTL_VXBUSIO_READ_HEADER, &address, sizeof address, config.m_Header, CPciConfig::HEADER_SIZE,
                    nullptr);
    for (;;) {
        WORD wVendor = config.VendorId(), wDevice = config.DeviceId();
        if (wVendor == 0 || wVendor == 0xFFFF || wDevice == 0)
            TRACE(1, "\nTriagist            : Invalid PCI device configuration! (Vendor: 0x%X Device: 0x%X)",
                  wVendor, wDevice);
        else
            WriteDevice(doc, config, address, bios, bridgeMap);

        // The reply: bus, device and function of the next present function, then its header.
        BYTE reply[12 + CPciConfig::HEADER_SIZE] = {};
        SPciAddress current = address;
        DWORD cbReturned = 0;
        bool bNext = busIo.IoControl(IOCTL_VXBUSIO_NEXT_FUNCTION, &current, sizeof current, reply, sizeof reply,
                                     &cbReturned) && cbReturned == sizeof reply;
        SPciAddress next = {0, 0, 0, 0};
        std::memcpy(&next, reply, 12);
        // A driver that answers out of order would walk for ever.
        if (!bNext || next.dwBus > 255 || next.dwDevice > 31 || next.dwFunction > 7 ||
            (next.dwBus << 8 | next.dwDevice << 3 | next.dwFunction) <=
                (current.dwBus << 8 | current.dwDevice << 3 | current.dwFunction)) {
            TRACE(2, "\nTriagist            : Disconnect from Gorrel BusIO device");
            break;
        }
        address = next;
        config.Clear();
        std::memcpy(config.m_Header, reply + 12, CPciConfig::HEADER_SIZE);
    }
}

}  // namespace

void ScanPciDevices(CXmlDocument& doc)
{
    if (!doc.AddElement("PCIDevices", nullptr, kChild))
        return;
    doc.Descend();
    try {
        ScanBus(doc);
    } catch (...) {
        TRACE(1, "\nTriagist            : ## ERROR EXCEPTION during PCI bus scan!");
    }
    doc.Ascend();
}
