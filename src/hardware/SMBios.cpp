// Finding the SMBIOS entry point, mapping the structure table and walking its structures.
#include "src/hardware/SMBios.h"

#include "src/hardware/HardwareTrace.h"
#include "src/hardware/RoutingTable.h"

#include <cstring>
#include <new>
#include <string>

CSMBios::CSMBios()
    : m_dwSearchBase(SEARCH_BASE), m_qwSearchLength(SEARCH_LENGTH), m_qwTableAddress(0), m_qwTableLength(0),
      m_dwDmiFound(0), m_pMapped(nullptr), m_pTableEnd(nullptr), m_bMajor(0xFF), m_bMinor(0xFF),
      m_bEntryPointValid(FALSE), m_bEntryPoint64(FALSE), m_qwStructures(0)
{
    std::memset(m_EntryPoint, 0, sizeof m_EntryPoint);
    std::memset(m_Types, 0, sizeof m_Types);
}

CSMBios::~CSMBios()
{
    for (int type = 0; type < 256; ++type) {
        if (!m_Types[type].pHead)
            continue;
        int nFreed = 0;
        for (SDmiNode* pNode = m_Types[type].pHead; pNode;) {
            SDmiNode* pNext = pNode->pNext;
            delete pNode;
            pNode = pNext;
            ++nFreed;
        }
        m_Types[type] = STypeList{};
        TRACE(6, "\n~CDmiData           : Struct %03d Nr %d", type, nFreed);
    }
    Disconnect();
}

DWORD CSMBios::Connect()
{
    m_dwDmiFound = 0;
    TRACE(3, "\nCSMBios (Connect)   : Connect to BIOS device...");
    if (!m_Bios.Connect()) {
        TRACE(1, "\n\nCSMBios (Connect)   : ## ERROR! Could not connect to BIOS device (0x%08X)!\n",
              static_cast<unsigned>(m_Bios.LastError()));
        return 0;
    }
    m_pMapped = static_cast<const BYTE*>(
        m_Bios.MapPhysicalMemory(0, m_dwSearchBase, static_cast<DWORD>(m_qwSearchLength)));
    if (!m_pMapped) {
        Disconnect();
        return 0;
    }
    m_dwDmiFound = ScanForDmi();
    if (m_dwDmiFound != 1) {
        TRACE(1, "\n\nCSMBios (Connect)   : ## ERROR! No DMI structures found!\n");
        return 1;
    }
    TRACE(1, "\n\nCSMBios (Connect)   : ## DMI structures found ##\n");
    if (m_qwTableAddress == 0)
        return 1;
    TRACE(3, "\nCSMBios (Connect)   : SMBIOS structures in different segment; map other address (0x%08X size %d)",
          static_cast<unsigned>(m_qwTableAddress), static_cast<int>(m_qwTableLength));
    m_Bios.UnmapPhysicalMemory();
    m_pMapped = static_cast<const BYTE*>(m_Bios.MapPhysicalMemory(static_cast<DWORD>(m_qwTableAddress >> 32),
                                                                  static_cast<DWORD>(m_qwTableAddress),
                                                                  static_cast<DWORD>(m_qwTableLength)));
    if (!m_pMapped) {
        Disconnect();
        return 0;
    }
    TRACE(3, "\nCSMBios (Connect)   :    SMBIOS structures mapped address = 0x%08X", HW_ADDR(m_pMapped));
    DWORD dwResult = Get_SM_DMI_Structs(m_pMapped);
    if (dwResult == 0)
        Disconnect();
    return dwResult;
}

DWORD CSMBios::Disconnect()
{
    m_dwDmiFound = 0;
    TRACE(3, "\nCSMBios (Disconnect): Disconnect from BIOS device...");
    if (m_Bios.GetMappedAddress()) {
        TRACE(4, "\nCSMBios (Disconnect):   unmap mapped BIOS memory...");
        m_Bios.UnmapPhysicalMemory();
    }
    m_pMapped = nullptr;
    if (m_Bios.IsConnected())
        m_Bios.Close();
    TRACE(3, "\nCSMBios (Disconnect): Disconnected");
    return 1;
}

DWORD CSMBios::ScanForDmi()
{
    if (!m_pMapped) {
        TRACE(1, "\nScanForDmi          : ## FATAL ERROR! Mapped address is NULL!\n");
        return 0;
    }
    TRACE(5, "\nScanForDmi          : physical addr = 0x%05X, mapped addr = 0x%08X, size 0x%05X",
          static_cast<unsigned>(m_dwSearchBase), HW_ADDR(m_pMapped), static_cast<unsigned>(m_qwSearchLength));
    // Firmware that offers both entry points is read through the 32-bit one, wherever it lies.
    const BYTE* pArea = m_pMapped;
    DWORD dwResult = ScanForAnchor(pArea, "_SM_");
    return dwResult != 0 ? dwResult : ScanForAnchor(pArea, "_SM3_");
}

DWORD CSMBios::ScanForAnchor(const BYTE* pArea, const char* pszAnchor)
{
    const BYTE* pAreaEnd = pArea + m_qwSearchLength;
    const size_t nAnchor = std::strlen(pszAnchor);
    const bool b64 = nAnchor == 5;
    size_t nSearch = m_qwSearchLength > 16 ? static_cast<size_t>(m_qwSearchLength - 16) : 0;
    DWORD dwResult = 0;
    for (size_t offset = 0; offset < nSearch && dwResult == 0; ++offset) {
        const void* pHit = std::memchr(pArea + offset, '_', nSearch - offset);
        if (!pHit)
            break;
        offset = static_cast<const BYTE*>(pHit) - pArea;
        if ((m_dwSearchBase + offset) % 16 != 0)
            continue;
        const BYTE* pCandidate = pArea + offset;
        TRACE(6, "\nScanForDmi          :   checking address 0x%08X: value=0x%08X", HW_ADDR(pCandidate),
              static_cast<unsigned>(ReadDword(pCandidate)));
        if (std::memcmp(pCandidate, pszAnchor, nAnchor) != 0)
            continue;
        if (b64) {
            TRACE(5, "\nScanForDmi          : _SM3_ found (SM BIOS >= 3.0) at %p",
                  static_cast<const void*>(pCandidate));
            dwResult = Scan_SM3_DMI(pCandidate, pAreaEnd);
        } else {
            TRACE(5, "\nScanForDmi          : _SM_ found (SM BIOS >= 2.0) at %p",
                  static_cast<const void*>(pCandidate));
            dwResult = Scan_SM_DMI(pCandidate, pAreaEnd);
        }
    }
    return dwResult;
}

namespace {

// The 32 bytes from a candidate, zeros where the area ends: an anchor near the area's end must
// not make the header's fields read past it. Traced as two lines of the function's dump.
struct SHeaderCopy {
    BYTE bytes[32];
    SHeaderCopy(const BYTE* pCandidate, const BYTE* pAreaEnd, const char* pszFunction, const char* pszTitle)
        : bytes{}
    {
        size_t nLeft = static_cast<size_t>(pAreaEnd - pCandidate);
        std::memcpy(bytes, pCandidate, nLeft < sizeof bytes ? nLeft : sizeof bytes);
        TRACE(5, "\n%-20s: %s", pszFunction, pszTitle);
        for (int line = 0; line < 2; ++line) {
            const BYTE* p = bytes + 16 * line;
            TRACE(5, "\n%-20s:   %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X",
                  pszFunction, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12],
                  p[13], p[14], p[15]);
        }
    }
};

}  // namespace

// An entry point that claims to reach past the area cannot be whole.
bool CSMBios::EntryPointSumIsZero(const BYTE* pCandidate, const BYTE* pAreaEnd, int nLength) const
{
    BYTE bSum = pAreaEnd - pCandidate < nLength ? 1 : 0;
    for (int i = 0; i < nLength && pCandidate + i < pAreaEnd; ++i)
        bSum = static_cast<BYTE>(bSum + pCandidate[i]);
    return bSum == 0;
}

void CSMBios::AcceptEntryPoint(const BYTE* pCandidate, const BYTE* pAreaEnd, size_t nSize)
{
    size_t nLeft = static_cast<size_t>(pAreaEnd - pCandidate);
    std::memcpy(m_EntryPoint, pCandidate, nSize < nLeft ? nSize : nLeft);
    m_bEntryPointValid = TRUE;
    // The mapping itself is released when the table is mapped.
    m_pMapped = nullptr;
}

DWORD CSMBios::Scan_SM_DMI(const BYTE* pCandidate, const BYTE* pAreaEnd)
{
    const SHeaderCopy header(pCandidate, pAreaEnd, "Scan_SM_DMI", "Dump of SM BIOS header:");
    const BYTE* ep = header.bytes;
    BYTE bLength = ep[5];
    m_bMajor = ep[6];
    m_bMinor = ep[7];
    m_qwTableLength = ReadWord(ep + 0x16);
    m_qwTableAddress = ReadDword(ep + 0x18);
    m_qwStructures = ReadWord(ep + 0x1C);
    char szAnchor[5] = {};
    std::memcpy(szAnchor, ep, 4);
    TRACE(2, "\nScan_SM_DMI         : DMI header found:");
    TRACE(3, "\nScan_SM_DMI         :   anchor string:  %s", szAnchor);
    TRACE(2, "\nScan_SM_DMI         :   DMI Version:    %d.%d (BCD Rev: %02X)", m_bMajor, m_bMinor, ep[0x1E]);
    TRACE(3, "\nScan_SM_DMI         :   nr structures:  %d", static_cast<int>(m_qwStructures));
    TRACE(3, "\nScan_SM_DMI         :   struct address: 0x%08X, size 0x%04X",
          static_cast<unsigned>(m_qwTableAddress), static_cast<unsigned>(m_qwTableLength));
    if (!EntryPointSumIsZero(pCandidate, pAreaEnd, bLength)) {
        TRACE(1, "\n\nScan_SM_DMI         : ## CHECKSUM ERROR in DMI structure header!\n");
        m_pMapped = nullptr;
        // A rejected candidate leaves no version behind.
        m_bMajor = m_bMinor = 0xFF;
        return 0;
    }
    TRACE(2, "\nScan_SM_DMI         : Checksum OK");
    AcceptEntryPoint(pCandidate, pAreaEnd, ENTRY_POINT_SIZE);
    TRACE(3, "\nScan_SM_DMI         : remap DMI struct address later for structure scanning in module start");
    return 1;
}

// The 64-bit entry point: 5 anchor, 6 its length, 7 major, 8 minor, 9 document revision, 0x0C the
// table's maximum size (32-bit), 0x10 its address (64-bit). Its checksum byte is 5 and its length
// at least 24 bytes, or the fields the walk depends on lie outside the sum.
DWORD CSMBios::Scan_SM3_DMI(const BYTE* pCandidate, const BYTE* pAreaEnd)
{
    const SHeaderCopy header(pCandidate, pAreaEnd, "Scan_SM3_DMI", "Dump of SM BIOS 3 header:");
    const BYTE* ep = header.bytes;
    BYTE bLength = ep[6];
    uint64_t qwAddress = ReadDword(ep + 0x10) | static_cast<uint64_t>(ReadDword(ep + 0x14)) << 32;
    TRACE(2, "\nScan_SM3_DMI        : DMI header found:");
    TRACE(2, "\nScan_SM3_DMI        :   DMI Version:    %d.%d.%d (entry point revision %d)", ep[7], ep[8], ep[9],
          ep[0x0A]);
    TRACE(3, "\nScan_SM3_DMI        :   struct address: 0x%08X%08X, maximum size 0x%08X",
          static_cast<unsigned>(qwAddress >> 32), static_cast<unsigned>(qwAddress),
          static_cast<unsigned>(ReadDword(ep + 0x0C)));
    if (bLength < ENTRY_POINT_64_SIZE || !EntryPointSumIsZero(pCandidate, pAreaEnd, bLength)) {
        TRACE(1, "\n\nScan_SM3_DMI        : ## CHECKSUM ERROR in DMI structure header (length %d)!\n", bLength);
        return 0;
    }
    TRACE(2, "\nScan_SM3_DMI        : Checksum OK");
    m_bMajor = ep[7];
    m_bMinor = ep[8];
    m_qwTableLength = ReadDword(ep + 0x0C);
    m_qwTableAddress = qwAddress;
    m_qwStructures = 0;
    m_bEntryPoint64 = TRUE;
    AcceptEntryPoint(pCandidate, pAreaEnd, ENTRY_POINT_64_SIZE);
    return 1;
}

DWORD CSMBios::Get_SM_DMI_Structs(const BYTE* pTable)
{
    TRACE(5, "\nGet_SM_DMI_Structs  : pDmiStructure = 0x%08x Size 0x%04X", HW_ADDR(pTable),
          static_cast<unsigned>(m_qwTableLength));
    const BYTE* pEnd = pTable + m_qwTableLength;
    m_pTableEnd = pEnd;
    if (m_qwStructures == 0 && !m_bEntryPoint64)
        return 1;
    // Only a counted walk knows how many structures a fault leaves out.
    auto TraceDropped = [this](uint64_t nDropped) {
        if (!m_bEntryPoint64 && nDropped > 0)
            TRACE(1, "\nScanSMDmi           : !!! %u OF %u STRUCTURES DROPPED !!!", static_cast<unsigned>(nDropped),
                  static_cast<unsigned>(m_qwStructures));
    };
    DWORD dwResult = 1;
    const BYTE* p = pTable;
    for (uint64_t i = 0; m_bEntryPoint64 ? p < pEnd : i < m_qwStructures; ++i) {
        if (p >= pEnd) {
            TRACE(1, "\nGet_SM_DMI_Structs  : ## FATAL ERROR! pDmiStructure 0x%X exceeds structure table end 0X%X!!",
                  HW_ADDR(p), HW_ADDR(pEnd));
            return 0;
        }
        const BYTE* pStart = p;
        // A structure whose formatted area would leave the table is not filed: nothing may read past it.
        if (pEnd - p < 4 || pEnd - p < p[1]) {
            TRACE(1, "\nScanSMDmi           : !!! STURCTURE REACHES BEYOND END !!!");
            TRACE(1, "\nScanSMDmi           : !!! DMI STRUCTURES INCOMPLETE !!!");
            TraceDropped(m_qwStructures - i);
            break;
        }
        // Shorter than its own header, it cannot say where the next one starts: the rest is not a table.
        if (p[1] < 4) {
            TRACE(1, "\nScanSMDmi           : !!! STRUCTURE %u TYPE %d HAS LENGTH %d !!!",
                  static_cast<unsigned>(i + 1), p[0], p[1]);
            TraceDropped(m_qwStructures - i);
            break;
        }
        dwResult = EnterStructList(pStart);
        if (m_bEntryPoint64 && pStart[0] == 127) {
            TRACE(5, "\nScanSMDmi           : End of table after %u structures", static_cast<unsigned>(i + 1));
            break;
        }
        p += pStart[1];
        TRACE(6, "\nScanSMDmi           : Struct %02d: Start 0x%08X, Header 0x%08X, Len 0x%02X",
              static_cast<int>(i + 1), HW_ADDR(p), HW_ADDR(pStart), pStart[1]);
        const BYTE* pString = p;
        const BYTE* q = p;
        while (q < pEnd && *q)
            ++q;
        bool bComplete = q < pEnd;
        while (bComplete && q + 1 < pEnd && q[1] != 0) {
            TRACE(6, "\nScanSMDmi (string)  :     %s", std::string(pString, q).c_str());
            pString = ++q;
            while (q < pEnd && *q)
                ++q;
            bComplete = q < pEnd;
        }
        if (!bComplete || q + 1 >= pEnd) {
            TRACE(1, "\nScanSMDmi           : !!! NO END OF STRUCTURE FOUND, POINTER BEYOND END !!!");
            TRACE(1, "\nScanSMDmi           : !!! DMI SRTUCTURES INCOMPLETE !!!");
            TraceDropped(m_qwStructures - i - 1);
            break;
        }
        p = q + 2;
    }
    return dwResult;
}

DWORD CSMBios::EnterStructList(const BYTE* pStructure)
{
    SDmiNode* pNode = new (std::nothrow) SDmiNode{pStructure, nullptr};
    if (!pNode) {
        TRACE(1, "\nEnterStructList     : ## ERROR! Could not allocate pDmiList (LastError 0x08X)!");
        return 1;
    }
    BYTE type = pStructure[0], length = pStructure[1];
    TRACE(4, "\nEnterStructList     :   enter structure Type=%d, Length=%d, Handle=%d", type, length,
          ReadWord(pStructure + 2));
    TRACE(6, "\nEnterStructList     :     struct address 0x%08X", HW_ADDR(pStructure));
    TRACE(6, "\nEnterStructList     :     Header : %02X %02X %02X %02X", type, length, pStructure[2], pStructure[3]);
    if (g_FileDebug.m_bActive && length > 4) {
        std::string dump = "\nEnterStructList     :     Data   :";
        for (int i = 4; i < length; ++i) {
            if (i > 4 && (i - 4) % 16 == 0)
                dump += "\n" + std::string(34, ' ');
            char szByte[4];
            snprintf(szByte, sizeof szByte, " %02X", pStructure[i]);
            dump += szByte;
        }
        g_FileDebug.Trace(6, "%s", dump.c_str());
    }
    STypeList& list = m_Types[type];
    if (list.pHead) {
        TRACE(6, "\nEnterStructList     :     struct already available, add entry");
        list.pTail->pNext = pNode;
    } else {
        TRACE(6, "\nEnterStructList     :     create new struct entry");
        list.pHead = pNode;
    }
    list.pTail = pNode;
    ++list.nCount;
    return 1;
}

const BYTE* CSMBios::getDmiStructureByType(BYTE type, int index)
{
    TRACE(5, "\nCSMBios::getDmiStructureByType(): find DMI type %d index %d", type, index);
    const STypeList& list = m_Types[type];
    if (index >= 0 && list.nCount > static_cast<DWORD>(index)) {
        const SDmiNode* pNode = list.pHead;
        for (int i = 0; i < index && pNode; ++i)
            pNode = pNode->pNext;
        if (pNode) {
            TRACE(6, "\nCSMBios::getDmiStructureByType():   found at 0x%08x", HW_ADDR(pNode->pStructure));
            return pNode->pStructure;
        }
    }
    TRACE(5, "\nCSMBios::getDmiStructureByType():   not found!");
    return nullptr;
}

const char* CSMBios::getDmiString(const BYTE* pStructure, int number) const
{
    if (!pStructure || number <= 0)
        return nullptr;
    const BYTE* pEnd = m_pTableEnd;
    const BYTE* p = pStructure + pStructure[1];
    for (int i = 1;; ++i) {
        if (p >= pEnd || *p == 0)
            return nullptr;
        const BYTE* pNul = static_cast<const BYTE*>(std::memchr(p, 0, pEnd - p));
        if (!pNul)
            return nullptr;
        if (i == number)
            return reinterpret_cast<const char*>(p);
        p = pNul + 1;
    }
}

BYTE CSMBios::FieldByte(const BYTE* pStructure, int offset)
{
    return offset < pStructure[1] ? pStructure[offset] : 0;
}

WORD CSMBios::FieldWord(const BYTE* pStructure, int offset)
{
    return offset + 2 <= pStructure[1] ? ReadWord(pStructure + offset) : 0;
}

DWORD CSMBios::FieldDword(const BYTE* pStructure, int offset)
{
    return offset + 4 <= pStructure[1] ? ReadDword(pStructure + offset) : 0;
}

uint64_t CSMBios::FieldQword(const BYTE* pStructure, int offset)
{
    return offset + 8 <= pStructure[1]
               ? ReadDword(pStructure + offset) | static_cast<uint64_t>(ReadDword(pStructure + offset + 4)) << 32
               : 0;
}

const char* CSMBios::GetDmiTypeName(int type)
{
    static const char* const kNames[] = {"BIOS Information", "System Information", "Baseboard Information",
        "System Enclosure", "Processor Information", "Memory Controller", "Memory Module", "Cache Information",
        "Port Connector", "System Slots", "On Board Devices", "OEM Strings", "System Configuration",
        "BIOS Language", "Group Associations", "System Event Log", "Physical Memory Array", "Memory Device",
        "32-bit Memory Error Information", "Memory Array Mapped Address", "Memory Device Mapped Address",
        "Built-in Pointing Device", "Portable Battery", "System Reset", "Hardware Security",
        "System Power Control", "Voltage Probe", "Cooling Device", "Temperature Probe",
        "Electrical Current Probe", "Out-of-band Remote Access", "BIS Entry Point", "System Boot Information",
        "64-bit Memory Error Information", "Management Device", "Management Device Component",
        "Management Device Threshold", "Memory Channel", "IPMI Information", "System Power Supply"};
    if (type >= 0 && type < static_cast<int>(sizeof kNames / sizeof kNames[0]))
        return kNames[type];
    switch (type) {
    case 126: return "Inactive";
    case 127: return "End Of Table";
    case 129: return "OMF Intel 129";
    case 176: return "OMF Board ID";
    case 177: return "OMF BIOS ID";
    case 178: return "Hard Disk User Type";
    case 179: return "Port Config";
    case 185: return "System Monitoring";
    case 188: return "BIOS Identification";
    case 190: return "Memory Device Add-ons";
    case 208: return "System Board Config";
    default: return "";
    }
}
