// The PCI slot mapping of CDeviceBios: which physical slot each bus and device number sits in, from
// the firmware's PCI interrupt routing table ("$PIR" in the BIOS area, else the firmware's interface).
#include "src/hardware/Device.h"

#include "src/hardware/HardwareTrace.h"
#include "src/hardware/RoutingTable.h"

#include <cstring>
#include <new>
#include <vector>

BOOL CDeviceBios::GetPciSlotMapping()
{
    TRACE(3, "\nGetPciSlotMapping   : Get PCI slot mapping table");
    TRACE(4, "\nGetPciSlotMapping   : First try with (new) memory struct interface...");
    TRACE(5, "\nGetPciSlotMapping   :   map physical memory address 0x%05X size 0x%05X to virtual address space",
          static_cast<unsigned>(ROUTING_AREA_BASE), static_cast<unsigned>(ROUTING_AREA_LENGTH));
    const BYTE* pArea = static_cast<const BYTE*>(MapPhysicalMemory(0, ROUTING_AREA_BASE, ROUTING_AREA_LENGTH));
    if (!pArea) {
        TRACE(1, "\nGetPciSlotMapping   : ERROR! Could not map physical memory at 0x%05X",
              static_cast<unsigned>(ROUTING_AREA_BASE));
    } else {
        TRACE(5, "\nCVivIvud            : Search for slot mapping table (mapped address = 0x%08X)", HW_ADDR(pArea));
        const BYTE* pTable = nullptr;
        for (DWORD dwOffset = 0; dwOffset + 16 <= ROUTING_AREA_LENGTH && !pTable; dwOffset += 16) {
            const BYTE* pCandidate = pArea + dwOffset;
            TRACE(6, "\nGetPciSlotMapping   :   checking address 0x%08X: value=0x%08X", HW_ADDR(pCandidate),
                  static_cast<unsigned>(ReadDword(pCandidate)));
            SRoutingTableInfo info;
            if (!ReadRoutingTable(pCandidate, pArea + ROUTING_AREA_LENGTH, info))
                continue;
            TRACE(2, "\nGetPciSlotMapping   : ## PCI IRQ Routing table found");
            TRACE(5, "\nGetPciSlotMapping   :      address:        0x%08X", HW_ADDR(pCandidate));
            TRACE(3, "\nGetPciSlotMapping   :      version:        0x%04X", info.wVersion);
            TRACE(3, "\nGetPciSlotMapping   :      table size:     0x%04X", info.wSize);
            TRACE(2, "\nGetPciSlotMapping   :      number entries: %d\n", static_cast<int>(info.dwEntries));
            if (info.bChecksum != 0) {
                TRACE(1, "\nGetPciSlotMapping   : ## WARNING! Illegal checksum in PCI IRQ Routing Table!\n");
                continue;
            }
            pTable = pCandidate;
            AddSlotMapping(info.dwEntries, pTable + ROUTING_HEADER_SIZE);
        }
        UnmapPhysicalMemory();
    }

    if (!m_pSlotTable || m_dwSlotCount == 0) {
        TRACE(4, "\nGetPciSlotMapping   : Now try with old SMM32 interface...");
        BYTE header[ROUTING_REPLY_HEADER] = {};
        GetIrqRoutingTable(0, header);
        if (m_dwLastError == ERROR_INSUFFICIENT_BUFFER) {
            DWORD cbEntries = ReadWord(header);
            std::vector<BYTE> buffer(cbEntries + ROUTING_REPLY_HEADER);
            std::memset(buffer.data(), 0, 10);
            if (!GetIrqRoutingTable(cbEntries, buffer.data())) {
                TRACE(1, "\n\nGetPciSlotMapping   : ## ERROR! Failed to get PCI slot mapping!");
            } else {
                TRACE(3, "\nGetPciSlotMapping   : PCI slot mapping table received, get table!");
                AddSlotMapping(cbEntries / ROUTING_ENTRY_SIZE, buffer.data() + ROUTING_REPLY_HEADER);
            }
        } else {
            TRACE(3, "\nGetPciSlotMapping   : PCI slot mapping table not found with SMM32 interface!");
        }
    }
    return m_pSlotTable && m_dwSlotCount > 0 ? 1 : 0;
}

BOOL CDeviceBios::GetIrqRoutingTable(DWORD cbEntries, BYTE* pBuffer)
{
    TRACE(5, "\nGetIrqRoutingTable  :   get PCI slot mapping table from old SMM32 interface");
    DWORD cbReturned = 0;
    if (!IoControl(IOCTL_VXBIOS_IRQ_ROUTING, nullptr, 0, pBuffer, cbEntries + ROUTING_REPLY_HEADER, &cbReturned))
        return FALSE;
    if (cbReturned < ROUTING_REPLY_HEADER || ReadWord(pBuffer) + ROUTING_REPLY_HEADER != cbReturned) {
        m_dwLastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    return TRUE;
}

bool CDeviceBios::AddSlotMapping(DWORD dwCount, const BYTE* pEntries)
{
    if (m_pSlotTable) {
        TRACE(1, "\nAddSlotMapping      : ## WARNING! PCI slot mapping table already allocated (called twice]!!");
        FreeSlotTable();
    }
    m_dwSlotCount = dwCount;
    if (dwCount == 0) {
        TRACE(2, "\nAddSlotMapping      :   WARNING! Empty PCI slot mapping table!");
        return false;
    }
    TRACE(4, "\nAddSlotMapping      :   creating PCI slot table");
    m_pSlotTable = new (std::nothrow) SPciSlot[dwCount]();
    if (!m_pSlotTable) {
        TRACE(1, "\nAddSlotMapping      : ## ERROR! Failed to allocate PCI slot numbers table!\n");
        return false;
    }
    TRACE(2, "\nAddSlotMapping      : Create PCI slot mapping table (%d entries):", static_cast<int>(dwCount));
    for (DWORD i = 0; i < dwCount; ++i) {
        const BYTE* pEntry = pEntries + i * ROUTING_ENTRY_SIZE;
        if (pEntry[1] == 0xFF)
            break;
        m_pSlotTable[i].bus = pEntry[0];
        m_pSlotTable[i].device = static_cast<BYTE>(pEntry[1] >> 3);
        m_pSlotTable[i].slot = pEntry[14];
        TRACE(2, "\nAddSlotMapping      : [%02d]  bus %3d device %3d --> slot %d", static_cast<int>(i + 1),
              m_pSlotTable[i].bus, m_pSlotTable[i].device, m_pSlotTable[i].slot);
    }
    return true;
}

bool CDeviceBios::GetSlotNumber(BYTE bus, BYTE device, BYTE* pSlot) const
{
    *pSlot = 0;
    if (!m_pSlotTable)
        return false;
    TRACE(5, "\nGetSlotNumber       : searching PCI slot table for bus %d device %d...", bus, device);
    for (DWORD i = 0; i < m_dwSlotCount; ++i) {
        const SPciSlot& record = m_pSlotTable[i];
        TRACE(5, "\nGetSlotNumber       :    checking bus %d device %d...", record.bus, record.device);
        if (record.bus == bus && record.device == device) {
            *pSlot = record.slot;
            TRACE(4, "\nGetSlotNumber       :   PCI bus %d device %d --> slot %d", bus, device, record.slot);
            return true;
        }
    }
    return false;
}

void CDeviceBios::FreeSlotTable()
{
    delete[] m_pSlotTable;
    m_pSlotTable = nullptr;
}
