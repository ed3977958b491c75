// The firmware's PCI interrupt routing table ("$PIR") as it lies in the BIOS area, and the reply of
// the firmware's routing interface; shared by the slot mapping and the system check's report of it.
#pragma once

#include "src/platform/Win32.h"

enum : DWORD {
    ROUTING_AREA_BASE = 0xF0000,
    ROUTING_AREA_LENGTH = 0x10000,
    ROUTING_SIGNATURE = 0x52495024,  // "$PIR"
    ROUTING_HEADER_SIZE = 32,
    ROUTING_ENTRY_SIZE = 16,
    ROUTING_REPLY_HEADER = 12
};

inline WORD ReadWord(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

inline DWORD ReadDword(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

struct SRoutingTableInfo {
    WORD wVersion;    // minor in the low byte, major in the high byte
    WORD wSize;       // bytes, header included
    DWORD dwEntries;  // routing entries after the header
    BYTE bChecksum;   // 8-bit sum of the table's bytes; 0 for a valid table
};

// False unless pCandidate holds the signature. A table that would run past pEnd is never valid:
// its sum is taken over what the area holds and made non-zero.
bool ReadRoutingTable(const BYTE* pCandidate, const BYTE* pEnd, SRoutingTableInfo& info);
