// The element position table: fixed-size segments, so positions stay put while the table grows.
#include "src/xml/ElementTable.h"

#include <algorithm>
#include <cstring>

std::unique_ptr<SElementPos[]> CElementTable::NewBlock(int nEntries)
{
    // Value-initialised: unused entries read as level 0, which marks them as "no element".
    return std::unique_ptr<SElementPos[]>(new SElementPos[size_t(nEntries)]());
}

void CElementTable::AddSegment(int nEntries)
{
    // The segment vector itself grows by doubling plus 4, like the block list it replaces.
    if (m_aSegments.size() == m_aSegments.capacity())
        m_aSegments.reserve(m_aSegments.capacity() * 2 + 4);
    m_aSegments.push_back(NewBlock(nEntries));
}

void CElementTable::Reset(int nSize)
{
    m_aSegments.clear();
    nSize = std::max(nSize, 1);
    while (nSize > 0) {
        const int nEntries = std::min<int>(nSize, SEGMENT_SIZE);
        AddSegment(nEntries);
        nSize -= nEntries;
    }
}

int CElementTable::Grow(int nSize, int nInUse)
{
    int nTarget = std::max(nInUse + nInUse / 2, nSize + 1);
    nTarget = std::min(nTarget, nSize + int(SEGMENT_SIZE));

    const int nFullSegments = nSize / SEGMENT_SIZE;
    const int nLastUsed = nSize % SEGMENT_SIZE;
    if (nLastUsed != 0) {
        // Enlarge the partly used last segment, at most to a full one.
        const int nNewLast = std::min<int>(nTarget - nFullSegments * SEGMENT_SIZE, SEGMENT_SIZE);
        std::unique_ptr<SElementPos[]> pBlock = NewBlock(nNewLast);
        std::memcpy(pBlock.get(), m_aSegments.back().get(), sizeof(SElementPos) * size_t(nLastUsed));
        m_aSegments.back() = std::move(pBlock);
        return nFullSegments * SEGMENT_SIZE + nNewLast;
    }
    AddSegment(nTarget - nSize);
    return nTarget;
}

void CElementTable::ShiftStarts(int iFirst, int iEnd, uint32_t nFrom, uint32_t nDelta)
{
    while (iFirst < iEnd) {
        SElementPos* pSegment = m_aSegments[size_t(iFirst) >> SEGMENT_BITS].get();
        const int iSegmentEnd = std::min(iEnd, (iFirst | SLOT_MASK) + 1);
        SElementPos* pEnd = pSegment + ((iSegmentEnd - 1) & SLOT_MASK) + 1;
        for (SElementPos* p = pSegment + (iFirst & SLOT_MASK); p != pEnd; ++p)
            p->nStart += p->nStart >= nFrom ? nDelta : 0;
        iFirst = iSegmentEnd;
    }
}
