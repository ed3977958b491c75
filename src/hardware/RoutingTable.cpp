// Finding and checking the firmware's "$PIR" routing table and reading its slot entries.
#include "src/hardware/RoutingTable.h"

bool ReadRoutingTable(const BYTE* pCandidate, const BYTE* pEnd, SRoutingTableInfo& info)
{
    if (pEnd - pCandidate < 16 || ReadDword(pCandidate) != ROUTING_SIGNATURE)
        return false;
    info.wVersion = ReadWord(pCandidate + 4);
    info.wSize = ReadWord(pCandidate + 6);
    info.dwEntries = info.wSize < ROUTING_HEADER_SIZE ? 0 : (info.wSize - ROUTING_HEADER_SIZE) / ROUTING_ENTRY_SIZE;
    bool bFits = pEnd - pCandidate >= info.wSize;
    const BYTE* pLast = bFits ? pCandidate + info.wSize : pEnd;
    BYTE bSum = 0;
    for (const BYTE* p = pCandidate; p < pLast; ++p)
        bSum = static_cast<BYTE>(bSum + *p);
    info.bChecksum = bFits ? bSum : static_cast<BYTE>(bSum | 0x80);
    return true;
}
