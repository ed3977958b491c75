// Segmented storage for the element positions of CXmlDocument.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// One element of the document text. Entry 0 stands for the document itself.
struct SElementPos {
    uint32_t nStart;       // offset of the element's '<'
    uint32_t nLength;      // from '<' to the end of the end tag (or of the empty-element tag)
    uint32_t nTagLengths;  // start tag length in the low 22 bits, end tag length in the high 10
    uint32_t nFlags;       // nesting level in the low 16 bits, plus the EP_ bits
    int32_t iElemParent;
    int32_t iElemChild;  // first child, 0 = none
    int32_t iElemNext;   // next sibling, 0 = last
    int32_t iElemPrev;   // previous sibling; the first child keeps the last child here

    enum : uint32_t {
        EP_LEVEL_MASK = 0xFFFF,
        EP_FIRST_CHILD = 1u << 19,
        EP_ILL_FORMED = 1u << 23,  // entry 0 only
        TAG_START_MASK = (1u << 22) - 1,
        TAG_END_MAX = (1u << 10) - 1,
    };

    uint32_t StartTagLength() const { return nTagLengths & TAG_START_MASK; }
    uint32_t EndTagLength() const { return nTagLengths >> 22; }
    void SetTagLengths(uint32_t nStartTag, uint32_t nEndTag) { nTagLengths = (nStartTag & TAG_START_MASK) | (nEndTag << 22); }
    uint32_t Level() const { return nFlags & EP_LEVEL_MASK; }
    void SetLevel(uint32_t nLevel) { nFlags = (nFlags & ~uint32_t(EP_LEVEL_MASK)) | (nLevel & EP_LEVEL_MASK); }
    bool IsEmptyElement() const { return EndTagLength() == 0; }
};

static_assert(sizeof(SElementPos) == 32, "element entries are eight 32-bit fields");

// Entries are addressed by index: the high 16 bits pick the segment, the low 16 bits the slot.
// Full segments never move, so an index stays valid however far the table grows; only the
// last, partly used segment is ever copied into a larger block.
class CElementTable {
public:
    enum { SEGMENT_BITS = 16, SEGMENT_SIZE = 1 << SEGMENT_BITS, SLOT_MASK = SEGMENT_SIZE - 1 };

    CElementTable() = default;
    CElementTable(const CElementTable&) = delete;
    CElementTable& operator=(const CElementTable&) = delete;

    bool Exists() const { return !m_aSegments.empty(); }

    // Drops every entry and allocates room for nSize entries, all zeroed.
    void Reset(int nSize);

    // Called when all nSize entries are taken and nInUse of them are in use. Returns the new
    // size: about one and a half times nInUse, but never more than one new segment at a time.
    int Grow(int nSize, int nInUse);

    // Adds nDelta (modulo 2^32) to the start of every entry in [iFirst, iEnd) that starts at or
    // after nFrom. Sequential, so much cheaper per entry than following the tree links.
    void ShiftStarts(int iFirst, int iEnd, uint32_t nFrom, uint32_t nDelta);

    SElementPos& operator[](int i) { return m_aSegments[size_t(i) >> SEGMENT_BITS][size_t(i) & SLOT_MASK]; }
    const SElementPos& operator[](int i) const { return m_aSegments[size_t(i) >> SEGMENT_BITS][size_t(i) & SLOT_MASK]; }

private:
    void AddSegment(int nEntries);
    static std::unique_ptr<SElementPos[]> NewBlock(int nEntries);

    std::vector<std::unique_ptr<SElementPos[]>> m_aSegments;
};
