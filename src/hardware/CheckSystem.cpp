// The system hardware check: firmware identity, SMBIOS structures, the routing table, processors and PCI
// devices, written under Root/System.
#include "src/hardware/CheckSystem.h"

#include "src/hardware/Device.h"
#include "src/hardware/DmiFields.h"
#include "src/hardware/DmiNumbers.h"
#include "src/hardware/HardwareTrace.h"
#include "src/hardware/PciScan.h"
#include "src/hardware/ProcessorBrand.h"
#include "src/hardware/RoutingTable.h"
#include "src/hardware/SMBios.h"
#include "src/sysaccess/RegistryKey.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

const int kChild = CXmlDocument::ADD_CHILD;

std::string Format(const char* pszFormat, unsigned a, unsigned b)
{
    char szText[32];
    snprintf(szText, sizeof szText, pszFormat, a, b);
    return szText;
}

// Firmware strings may hold control characters, which no XML document can carry; they show as
// '.', as dmidecode shows them.
std::string FirmwareText(const char* pszText)
{
    std::string text = pszText ? pszText : "";
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '.';
    return text;
}

void AddString(CXmlDocument& doc, const char* pszName, CSMBios& smbios, const BYTE* pStructure, int offset)
{
    const char* pszText = smbios.getDmiString(pStructure, CSMBios::FieldByte(pStructure, offset));
    if (pszText)
        doc.AddElement(pszName, FirmwareText(pszText).c_str(), kChild);
}

void AddNumber(CXmlDocument& doc, const char* pszName, uint64_t value)
{
    doc.AddElement(pszName, std::to_string(value).c_str(), kChild);
}

void AddValueName(CXmlDocument& doc, const BYTE* pStructure, EDmiField eField)
{
    const SDmiField& field = GetDmiField(eField);
    doc.AddElement(field.pszElement, DmiValueName(field, pStructure).c_str(), kChild);
}

// Adds a type element named TypeN with its Name attribute and goes into it; false when the table
// holds no structure of the type.
bool EnterType(CXmlDocument& doc, CSMBios& smbios, BYTE type)
{
    if (!smbios.getDmiStructureByType(type, 0))
        return false;
    std::string name = "Type" + std::to_string(type);
    if (!doc.AddElement(name.c_str(), nullptr, kChild))
        return false;
    doc.SetAttribute(doc.m_iPosChild, "Name", CSMBios::GetDmiTypeName(type));
    return doc.Descend();
}

// Printable characters only, at most 260, without surrounding blanks.
std::string BiosVersionText(const char* pszVersion)
{
    std::string text;
    for (const char* p = pszVersion; p && *p && text.size() < 260 && std::isprint(static_cast<unsigned char>(*p)); ++p)
        text += *p;
    size_t first = text.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n\f\v") - first + 1);
}

void WriteIdentity(CXmlDocument& doc, CSMBios& smbios, BYTE type)
{
    if (!EnterType(doc, smbios, type))
        return;
    const BYTE* p = smbios.getDmiStructureByType(type, 0);
    AddString(doc, "Name", smbios, p, 5);
    AddString(doc, "Vendor", smbios, p, 4);
    AddString(doc, "SerialNr", smbios, p, 7);
    AddString(doc, "Version", smbios, p, 6);
    if (type == 1) {
        BYTE uuid[16] = {};
        for (int i = 0; i < 16; ++i)
            uuid[i] = CSMBios::FieldByte(p, 8 + i);
        char szUuid[40];
        snprintf(szUuid, sizeof szUuid,
                 "%.02X%.02X%.02X%.02X-%.02X%.02X-%.02X%.02X-%.02X%.02X-%.02X%.02X%.02X%.02X%.02X%.02X", uuid[0],
                 uuid[1], uuid[2], uuid[3], uuid[4], uuid[5], uuid[6], uuid[7], uuid[8], uuid[9], uuid[10], uuid[11],
                 uuid[12], uuid[13], uuid[14], uuid[15]);
        doc.AddElement("UUID", szUuid, kChild);
    }
    doc.Ascend();
}

void WriteProcessors(CXmlDocument& doc, CSMBios& smbios)
{
    if (!EnterType(doc, smbios, 4))
        return;
    for (int i = 0; const BYTE* p = smbios.getDmiStructureByType(4, i); ++i) {
        doc.AddElement("Entry", nullptr, kChild);
        doc.SetAttribute(doc.m_iPosChild, "Handle", ReadWord(p + 2));
        doc.Descend();
        AddString(doc, "Socket", smbios, p, 4);
        AddValueName(doc, p, DMI_PROCESSOR_STATUS);
        AddString(doc, "Manufacture", smbios, p, 7);
        AddString(doc, "Version", smbios, p, 0x10);
        AddNumber(doc, "Type", CSMBios::FieldByte(p, 5));
        SProcessorId id = DecodeProcessorId(p);
        AddNumber(doc, "Family", id.nFamily);
        AddNumber(doc, "Model", id.nModel);
        AddNumber(doc, "Step", id.nStep);
        AddNumber(doc, "CurrentSpeed", CSMBios::FieldWord(p, 0x16));
        AddNumber(doc, "MaxSpeed", CSMBios::FieldWord(p, 0x14));
        if (HasProcessorCounts(p)) {
            AddNumber(doc, "CoreCount", ProcessorCount(p, CORE_COUNT));
            AddNumber(doc, "CoreEnabled", ProcessorCount(p, CORE_ENABLED));
            AddNumber(doc, "ThreadCount", ProcessorCount(p, THREAD_COUNT));
        }
        doc.Ascend();
    }
    doc.Ascend();
}

void WriteMemoryArrays(CXmlDocument& doc, CSMBios& smbios)
{
    if (!EnterType(doc, smbios, 16))
        return;
    for (int i = 0; const BYTE* p = smbios.getDmiStructureByType(16, i); ++i) {
        doc.AddElement("Entry", nullptr, kChild);
        doc.Descend();
        AddNumber(doc, "Handle", CSMBios::FieldWord(p, 0x0B));
        AddValueName(doc, p, DMI_ARRAY_LOCATION);
        AddValueName(doc, p, DMI_ARRAY_USE);
        AddValueName(doc, p, DMI_ARRAY_ERROR_CORRECTION);
        uint64_t qwCapacity = 0;
        if (ArrayMaxCapacity(p, qwCapacity)) {
            AddNumber(doc, "MaxCapacity", qwCapacity);
            doc.SetAttribute(doc.m_iPosChild, "Unit", "MByte");
        }
        AddNumber(doc, "NumberMemDevices", CSMBios::FieldWord(p, 0x0D));
        doc.Ascend();
    }
    doc.Ascend();
}

void WriteMemoryDevices(CXmlDocument& doc, CSMBios& smbios)
{
    if (!EnterType(doc, smbios, 17))
        return;
    for (int i = 0; const BYTE* p = smbios.getDmiStructureByType(17, i); ++i) {
        doc.AddElement("Entry", nullptr, kChild);
        doc.SetAttribute(doc.m_iPosChild, "Handle", ReadWord(p + 2));
        doc.Descend();
        AddNumber(doc, "ArrayHandle", CSMBios::FieldWord(p, 4));
        AddNumber(doc, "ErrorHandle", CSMBios::FieldWord(p, 6));
        AddNumber(doc, "TotalWidth", CSMBios::FieldWord(p, 8));
        AddNumber(doc, "DataWidth", CSMBios::FieldWord(p, 10));
        DWORD dwSize = 0;
        bool bKilobytes = false;
        if (MemoryDeviceSize(p, dwSize, bKilobytes)) {
            AddNumber(doc, "Size", dwSize);
            doc.SetAttribute(doc.m_iPosChild, "Unit", bKilobytes ? "KByte" : "MByte");
        }
        AddValueName(doc, p, DMI_DEVICE_FORM_FACTOR);
        AddNumber(doc, "DeviceSet", CSMBios::FieldByte(p, 15));
        AddString(doc, "DeviceLocator", smbios, p, 16);
        AddString(doc, "BankLocator", smbios, p, 17);
        AddValueName(doc, p, DMI_DEVICE_MEMORY_TYPE);
        AddValueName(doc, p, DMI_DEVICE_TYPE_DETAIL);
        DWORD dwSpeed = 0;
        if (MemoryDeviceSpeed(p, dwSpeed)) {
            AddNumber(doc, "Speed", dwSpeed);
            doc.SetAttribute(doc.m_iPosChild, "Unit", "MHz");
        }
        doc.Ascend();
    }
    doc.Ascend();
}

void WriteOemTypes(CXmlDocument& doc, CSMBios& smbios)
{
    if (EnterType(doc, smbios, 176)) {
        char szId[8];
        snprintf(szId, sizeof szId, "%x", CSMBios::FieldWord(smbios.getDmiStructureByType(176, 0), 6));
        doc.AddElement("BoardId", szId, kChild);
        doc.Ascend();
    }
    if (EnterType(doc, smbios, 38)) {
        const BYTE* p = smbios.getDmiStructureByType(38, 0);
        AddValueName(doc, p, DMI_IPMI_INTERFACE);
        BYTE revision = CSMBios::FieldByte(p, 5);
        doc.AddElement("Revision", Format("%d.%d", revision >> 4, revision & 0x0F).c_str(), kChild);
        char szAddress[4];
        snprintf(szAddress, sizeof szAddress, "%x", CSMBios::FieldByte(p, 6));
        doc.AddElement("SlaveAddress", szAddress, kChild);
        doc.Ascend();
    }
    if (EnterType(doc, smbios, 188)) {
        const BYTE* p = smbios.getDmiStructureByType(188, 0);
        char szId[5] = {static_cast<char>(CSMBios::FieldByte(p, 7)), static_cast<char>(CSMBios::FieldByte(p, 6)),
                        static_cast<char>(CSMBios::FieldByte(p, 5)), static_cast<char>(CSMBios::FieldByte(p, 4)), 0};
        doc.AddElement("Identifier", FirmwareText(szId).c_str(), kChild);
        doc.Ascend();
    }
}

const char* HotspareStatus(BYTE status)
{
    static const char* const kStatus[] = {"no hotspare", "hotspare", "Used", "Mirror", "Raid"};
    return status < 5 ? kStatus[status] : "Unknonw";
}

void WriteAddOns(CXmlDocument& doc, CSMBios& smbios)
{
    if (!EnterType(doc, smbios, 190))
        return;
    for (int i = 0; const BYTE* p = smbios.getDmiStructureByType(190, i); ++i) {
        doc.AddElement("Entry", nullptr, kChild);
        doc.Descend();
        std::string function = DmiValueName(GetDmiField(DMI_ADDON_FUNCTION), p);
        doc.AddElement(function.c_str(), nullptr, kChild);
        doc.Descend();
        BYTE recordSize = CSMBios::FieldByte(p, 5);
        int nLength = p[1];
        if (function == "Scrubbing") {
            AddNumber(doc, "Runs", recordSize);
        } else if ((function == "CPU-PDA" || function == "Hotspare") && recordSize != 0 && nLength >= 6 &&
                   (nLength - 6) % recordSize == 0) {
            // Records shorter than the fields they hold read as zeros rather than past the structure.
            for (int offset = 6; offset < nLength; offset += recordSize) {
                bool bPda = function == "CPU-PDA";
                WORD wHandle = CSMBios::FieldWord(p, offset + (bPda ? 1 : 0));
                doc.AddElement("Entry", nullptr, kChild);
                doc.SetAttribute(doc.m_iPosChild, "Handle", wHandle);
                doc.Descend();
                if (bPda) {
                    AddNumber(doc, "Handle", wHandle);
                    AddNumber(doc, "APICId", CSMBios::FieldByte(p, offset));
                } else {
                    doc.AddElement("Status", HotspareStatus(CSMBios::FieldByte(p, offset + 2)), kChild);
                }
                doc.Ascend();
            }
        }
        doc.Ascend();
        doc.Ascend();
    }
    doc.Ascend();
}

void WriteRoutingTable(CXmlDocument& doc)
{
    CDeviceBios bios;
    if (!bios.Connect())
        return;
    const BYTE* pArea = static_cast<const BYTE*>(bios.MapPhysicalMemory(0, ROUTING_AREA_BASE, ROUTING_AREA_LENGTH));
    if (!pArea) {
        TRACE(1, "\nGetPciSlotMapping   : ERROR! Could not map physical memory at 0x%05X",
              static_cast<unsigned>(ROUTING_AREA_BASE));
        return;
    }
    for (DWORD dwOffset = 0; dwOffset + 16 <= ROUTING_AREA_LENGTH; dwOffset += 16) {
        const BYTE* pTable = pArea + dwOffset;
        SRoutingTableInfo info;
        if (!ReadRoutingTable(pTable, pArea + ROUTING_AREA_LENGTH, info))
            continue;
        TRACE(2, "\nTriagist            : ## PCI IRQ Routing table found");
        TRACE(5, "\nTriagist            :      address:        0x%08X", HW_ADDR(pTable));
        TRACE(3, "\nTriagist            :      version:        %d.%d", pTable[5], pTable[4]);
        TRACE(3, "\nTriagist            :      checksum:       %d", info.bChecksum);
        TRACE(3, "\nTriagist            :      table size:     0x%04X", info.wSize);
        TRACE(2, "\nTriagist            :      number entries: %d\n", static_cast<int>(info.dwEntries));
        if (info.bChecksum != 0) {
            TRACE(1, "\nTriagist            : ## WARNING! Illegal checksum in PCI IRQ Routing Table!\n");
            continue;
        }
        if (doc.AddElement("IRQRouting", nullptr, kChild)) {
            doc.SetAttribute(doc.m_iPosChild, "Version", Format("%d.%d", pTable[5], pTable[4]).c_str());
            doc.SetAttribute(doc.m_iPosChild, "Size", info.wSize);
            doc.SetAttribute(doc.m_iPosChild, "Entries", static_cast<int>(info.dwEntries));
            doc.Descend();
            for (DWORD i = 0; i < info.dwEntries; ++i) {
                const BYTE* pEntry = pTable + ROUTING_HEADER_SIZE + i * ROUTING_ENTRY_SIZE;
                if (pEntry[1] == 0xFF)
                    continue;
                doc.AddElement("Entry", nullptr, kChild);
                doc.SetAttribute(doc.m_iPosChild, "Bus", pEntry[0]);
                doc.SetAttribute(doc.m_iPosChild, "Device", pEntry[1] >> 3);
                doc.Descend();
                AddNumber(doc, "Slot", pEntry[14]);
                doc.Ascend();
            }
            doc.Ascend();
        }
        break;
    }
    bios.Close();
}

// Without the board driver the BIOS version still stands in the registry.
void WriteRegistryBiosVersion(CXmlDocument& doc)
{
    CRegistryKey key;
    if (key.Open("HARDWARE\\DESCRIPTION\\System", HKEY_LOCAL_MACHINE, CRegistryKey::ALL_ACCESS_64) != ERROR_SUCCESS)
        return;
    char szList[260] = {};
    DWORD cbList = sizeof szList - 2;
    DWORD dwType = 0;
    if (RegQueryValueExA(key.GetKey(), "SystemBiosVersion", nullptr, &dwType, reinterpret_cast<BYTE*>(szList),
                         &cbList) != ERROR_SUCCESS)
        return;
    size_t nFirst = strnlen(szList, sizeof szList);
    bool bMore = nFirst + 1 < cbList && szList[nFirst + 1] != '\0';
    doc.AddElement("Version", bMore ? szList + nFirst + 1 : szList, kChild);
}

void WriteBios(CDiagReport& report, CXmlDocument& doc)
{
    std::unique_ptr<CSMBios> pSmbios(new CSMBios);
    if (!pSmbios->Connect()) {
        report.AddMessage(doc, "SMBIOS", "Could not connect to SMBIOS!", "Errors");
        TRACE(1, "\n\nTriagist            :  ## FATAL ERROR! Connect to BIOS device failed!\n");
        WriteRegistryBiosVersion(doc);
        return;
    }
    CSMBios& smbios = *pSmbios;
    const BYTE* pBios = smbios.getDmiStructureByType(0, 0);
    std::string version = pBios ? BiosVersionText(smbios.getDmiString(pBios, CSMBios::FieldByte(pBios, 5))) : "";
    TRACE(2, "\nTriagist            :  System BIOS version %s", version.c_str());
    if (pBios) {
        AddString(doc, "Vendor", smbios, pBios, 4);
        AddString(doc, "Date", smbios, pBios, 8);
    }
    doc.AddElement("Version", version.c_str(), kChild);
    if (doc.AddElement("SMBIOS", nullptr, kChild)) {
        doc.SetAttribute(doc.m_iPosChild, "Version",
                         Format("%d.%d", smbios.GetMajorVersion(), smbios.GetMinorVersion()).c_str());
        doc.Descend();
        WriteIdentity(doc, smbios, 1);
        WriteIdentity(doc, smbios, 2);
        WriteProcessors(doc, smbios);
        WriteMemoryArrays(doc, smbios);
        WriteMemoryDevices(doc, smbios);
        WriteOemTypes(doc, smbios);
        WriteAddOns(doc, smbios);
        WriteRoutingTable(doc);
        doc.Ascend();
    }
    smbios.Disconnect();
}

void WriteProcessorPass(CXmlDocument& doc)
{
    if (!doc.AddElement("Processor", nullptr, kChild))
        return;
    doc.Descend();
    CSMBios smbios;
    if (smbios.Connect()) {
        for (int i = 0; const BYTE* p = smbios.getDmiStructureByType(4, i); ++i) {
            if (!doc.AddElement("CPU", nullptr, kChild))
                continue;
            doc.Descend();
            const char* pszSocket = smbios.getDmiString(p, CSMBios::FieldByte(p, 4));
            doc.AddElement("SocketDesignation", FirmwareText(pszSocket).c_str(), kChild);
            AddString(doc, "Manufacture", smbios, p, 7);
            doc.AddElement("Model", nullptr, kChild);
            doc.Descend();
            AddString(doc, "Version", smbios, p, 0x10);
            std::string brand;
            EBrandLookup lookup = QueryProcessorBrandName(i, brand);
            if (lookup != BRAND_NO_ANSWER)
                doc.AddElement("BrandName", brand.c_str(), kChild);
            doc.Ascend();
            AddNumber(doc, "Speed", CSMBios::FieldWord(p, 0x16));
            doc.Ascend();
        }
        smbios.Disconnect();
    }
    doc.Ascend();
}

void WriteSystem(CDiagReport& report, CXmlDocument& doc)
{
    if (!EnterReportSection(doc, "System"))
        return;
    if (doc.AddElement("BIOS", nullptr, kChild)) {
        doc.Descend();
        WriteBios(report, doc);
        doc.Ascend();
    }
    WriteProcessorPass(doc);
    ScanPciDevices(doc);
    doc.Ascend();
}

}  // namespace

DWORD CheckSystem(CDiagReport& report, CXmlDocument& doc)
{
    TRACE(4, "\nTriagist            : -> CheckSystem()");
    try {
        WriteSystem(report, doc);
    } catch (...) {
        TRACE(1, "\n\nTriagist            :  ## EXCEPTION in CheckSystem()!");
    }
    TRACE(4, "\nTriagist            : <- CheckSystem()");
    return STEP_OK;
}
