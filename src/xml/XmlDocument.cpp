// CXmlDocument: navigation, and the edits that change the text and its position table in place.
#include "src/xml/XmlDocument.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <new>

#include "src/xml/XmlText.h"

namespace {

// Offsets and lengths live in 32-bit fields of the position table.
const size_t MAX_TEXT_LENGTH = 0xFFFFFFFFu;

}  // namespace

CXmlDocument::CXmlDocument()
    : m_iPosParent(0),
      m_iPos(0),
      m_iPosChild(0),
      m_iPosFree(0),
      m_iPosDeleted(0),
      m_nNodeType(0),
      m_nNodeOffset(0),
      m_nNodeLength(0),
      m_nPosTableSize(0)
{
    ResetTable();
}

CXmlDocument::~CXmlDocument() = default;

void CXmlDocument::ResetPositions()
{
    m_iPosParent = 0;
    m_iPos = 0;
    m_iPosChild = 0;
    m_nNodeType = 0;
    m_nNodeOffset = 0;
    m_nNodeLength = 0;
}

void CXmlDocument::ResetTable()
{
    // Until the new table stands, the document has none: every operation then fails cleanly.
    m_nPosTableSize = 0;
    m_iPosFree = 0;
    m_iPosDeleted = 0;
    const int nSize = int(m_strDoc.size() / 64 + 8);
    m_aPos.Reset(nSize);
    m_nPosTableSize = nSize;
    m_iPosFree = 1;
    m_aPos[0].nLength = uint32_t(m_strDoc.size());
}

bool CXmlDocument::LoadText(const char* pszText)
{
    try {
        m_pSavedPosMap.reset();
        ResetPositions();
        m_strError.clear();
        m_strDoc.assign(pszText != nullptr ? pszText : "");
        if (m_strDoc.size() > MAX_TEXT_LENGTH) {
            m_strDoc.clear();
            ResetTable();
            m_strError = "Document too long";
            return false;
        }
        ResetTable();
        if (m_strDoc.empty()) {
            m_strError = "Empty document";
            return false;
        }
        return IndexText();
    } catch (const std::exception&) {
        m_strDoc.clear();
        m_strError = "Out of memory";
        try {
            ResetTable();
        } catch (const std::exception&) {
            // Left without a table; every operation reports failure.
        }
        return false;
    }
}

bool CXmlDocument::CheckWellFormed() const
{
    if (!m_aPos.Exists() || m_nPosTableSize == 0)
        return false;
    const SElementPos& doc = m_aPos[0];
    if ((doc.nFlags & SElementPos::EP_ILL_FORMED) != 0 || doc.iElemChild == 0)
        return false;
    return m_aPos[doc.iElemChild].iElemNext == 0;
}

bool CXmlDocument::IsElement(int i) const
{
    // Entries on the free list and never-used ones have level 0.
    return i > 0 && i < m_iPosFree && m_aPos[i].Level() != 0;
}

bool CXmlDocument::MatchName(int i, const char* pszName, size_t nName) const
{
    if (nName == 0)
        return true;
    const SElementPos& e = m_aPos[i];
    // '<', the name and at least one more character of the tag.
    if (nName + 2 > e.StartTagLength())
        return false;
    const char* pTag = m_strDoc.data() + e.nStart + 1;
    if (std::memcmp(pTag, pszName, nName) != 0)
        return false;
    const char c = pTag[nName];
    return c == '>' || IsXmlBlank(c) || c == '=' || c == '/' || c == '[' || c == ']';
}

int CXmlDocument::NewEntry()
{
    int i;
    if (m_iPosDeleted != 0) {
        i = m_iPosDeleted;
        m_iPosDeleted = m_aPos[i].iElemNext;
    } else {
        if (m_iPosFree == INT_MAX)
            throw std::bad_alloc();
        if (m_iPosFree >= m_nPosTableSize)
            m_nPosTableSize = m_aPos.Grow(m_nPosTableSize, m_iPosFree);
        i = m_iPosFree++;
    }
    m_aPos[i] = SElementPos{};
    return i;
}

void CXmlDocument::ReleaseEntry(int i)
{
    m_aPos[i] = SElementPos{};
    m_aPos[i].iElemNext = m_iPosDeleted;
    m_iPosDeleted = i;
}

void CXmlDocument::GoToTop()
{
    ResetPositions();
}

// Length of a name to search for, 0 for "any"; false for a text that cannot be a tag name
// (it could otherwise match across the name into the attributes).
static bool SearchNameLength(const char* pszName, size_t& nName)
{
    nName = pszName != nullptr ? std::strlen(pszName) : 0;
    return nName == 0 || IsXmlName(pszName, nName);
}

bool CXmlDocument::FindSibling(const char* pszName)
{
    size_t nName;
    if (m_nPosTableSize == 0 || !SearchNameLength(pszName, nName))
        return false;
    int i;
    if (m_iPos != 0) {
        if (!IsElement(m_iPos))
            return false;
        i = m_aPos[m_iPos].iElemNext;
    } else {
        if (!IsElementOrDocument(m_iPosParent))
            return false;
        i = m_aPos[m_iPosParent].iElemChild;
    }
    for (; i != 0; i = m_aPos[i].iElemNext) {
        if (MatchName(i, pszName, nName)) {
            m_iPos = i;
            m_iPosParent = m_aPos[i].iElemParent;
            m_iPosChild = 0;
            m_nNodeType = 1;
            m_nNodeOffset = 0;
            m_nNodeLength = 0;
            return true;
        }
    }
    return false;
}

bool CXmlDocument::FindChild(const char* pszName)
{
    size_t nName;
    if (!SearchNameLength(pszName, nName))
        return false;
    if (m_iPos == 0 && !FindSibling(nullptr))
        return false;
    if (!IsElement(m_iPos))
        return false;
    int i;
    if (m_iPosChild != 0) {
        if (!IsElement(m_iPosChild) || m_aPos[m_iPosChild].iElemParent != m_iPos)
            return false;
        i = m_aPos[m_iPosChild].iElemNext;
    } else {
        i = m_aPos[m_iPos].iElemChild;
    }
    for (; i != 0; i = m_aPos[i].iElemNext) {
        if (MatchName(i, pszName, nName)) {
            m_iPosChild = i;
            m_nNodeOffset = 0;
            m_nNodeLength = 0;
            return true;
        }
    }
    return false;
}

bool CXmlDocument::Descend()
{
    if (!IsElement(m_iPos))
        return false;
    m_iPosParent = m_iPos;
    m_iPos = m_iPosChild;
    m_iPosChild = 0;
    m_nNodeType = m_iPos != 0 ? 1 : 0;
    m_nNodeOffset = 0;
    m_nNodeLength = 0;
    return true;
}

bool CXmlDocument::Ascend()
{
    if (m_iPosParent == 0 || !IsElement(m_iPosParent))
        return false;
    m_iPosChild = m_iPos;
    m_iPos = m_iPosParent;
    m_iPosParent = m_aPos[m_iPos].iElemParent;
    m_nNodeType = 1;
    m_nNodeOffset = 0;
    m_nNodeLength = 0;
    return true;
}

void CXmlDocument::ShiftSubtree(int iRoot, uint32_t nDelta)
{
    int i = iRoot;
    for (;;) {
        m_aPos[i].nStart += nDelta;
        if (m_aPos[i].iElemChild != 0) {
            i = m_aPos[i].iElemChild;
            continue;
        }
        while (i != iRoot && m_aPos[i].iElemNext == 0)
            i = m_aPos[i].iElemParent;
        if (i == iRoot)
            return;
        i = m_aPos[i].iElemNext;
    }
}

// The text changed by nDelta (modulo 2^32, so it may shrink) at nOffset, inside iElem but not
// inside any of its children. Exactly the elements starting at or after nOffset move: ancestors
// and everything earlier start before it, and unused entries are cleared when taken. With much
// text behind the edit one sequential pass over the table is cheapest; near the end, following
// the links touches only the few elements that move.
void CXmlDocument::AdjustAfterEdit(int iElem, uint32_t nOffset, uint32_t nDelta)
{
    if (nDelta == 0)
        return;  // a counter rewritten with as many digits
    const size_t nBehind = m_strDoc.size() - std::min<size_t>(nOffset, m_strDoc.size());
    if (nBehind > m_strDoc.size() / 8) {
        m_aPos.ShiftStarts(1, m_iPosFree, nOffset, nDelta);
        for (int i = iElem;; i = m_aPos[i].iElemParent) {
            m_aPos[i].nLength += nDelta;
            if (i == 0)
                break;
        }
        return;
    }
    const int iFirst = m_aPos[iElem].iElemChild;
    if (iFirst != 0) {
        for (int i = m_aPos[iFirst].iElemPrev;; i = m_aPos[i].iElemPrev) {
            if (m_aPos[i].nStart < nOffset)
                break;
            ShiftSubtree(i, nDelta);
            if (i == iFirst)
                break;
        }
    }
    for (int i = iElem;; i = m_aPos[i].iElemParent) {
        m_aPos[i].nLength += nDelta;
        if (i == 0)
            break;
        for (int iSib = m_aPos[i].iElemNext; iSib != 0; iSib = m_aPos[iSib].iElemNext)
            ShiftSubtree(iSib, nDelta);
    }
}

void CXmlDocument::LinkElement(int iNew, int iParent, int iRef, bool bBefore)
{
    SElementPos& par = m_aPos[iParent];
    SElementPos& e = m_aPos[iNew];
    e.iElemParent = iParent;
    const int iFirst = par.iElemChild;
    if (iFirst == 0) {
        par.iElemChild = iNew;
        e.iElemPrev = iNew;
        e.iElemNext = 0;
        e.nFlags |= SElementPos::EP_FIRST_CHILD;
        return;
    }
    if (iRef == 0)
        iRef = bBefore ? iFirst : m_aPos[iFirst].iElemPrev;
    SElementPos& ref = m_aPos[iRef];
    if (bBefore) {
        e.iElemNext = iRef;
        e.iElemPrev = ref.iElemPrev;
        if (iRef == iFirst) {
            ref.nFlags &= ~uint32_t(SElementPos::EP_FIRST_CHILD);
            e.nFlags |= SElementPos::EP_FIRST_CHILD;
            par.iElemChild = iNew;
        } else {
            m_aPos[ref.iElemPrev].iElemNext = iNew;
        }
        ref.iElemPrev = iNew;
    } else {
        e.iElemPrev = iRef;
        e.iElemNext = ref.iElemNext;
        if (ref.iElemNext != 0)
            m_aPos[ref.iElemNext].iElemPrev = iNew;
        else
            m_aPos[iFirst].iElemPrev = iNew;
        ref.iElemNext = iNew;
    }
}

bool CXmlDocument::AddElement(const char* pszName, const char* pszData, int nFlags)
{
    try {
        return InsertElement(pszName, pszData, nFlags);
    } catch (const std::exception&) {
        return false;
    }
}

bool CXmlDocument::AddElement(const char* pszName, int nNumber, int nFlags)
{
    try {
        return InsertElement(pszName, std::to_string(nNumber).c_str(), nFlags);
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

// The start and end tag around the data, or an empty-element tag when there is no data.
std::string ElementText(const char* pszName, size_t nName, const char* pszData, uint32_t& nStartTag,
                        uint32_t& nEndTag)
{
    std::string strElem;
    strElem.reserve(2 * nName + 9);
    strElem += '<';
    strElem.append(pszName, nName);
    if (pszData == nullptr || *pszData == '\0') {
        strElem += "/>";
        nStartTag = uint32_t(nName + 3);
        nEndTag = 0;
        return strElem;
    }
    strElem += '>';
    nStartTag = uint32_t(nName + 2);
    AppendEscapedXml(strElem, pszData, false);
    strElem += "</";
    strElem.append(pszName, nName);
    strElem += '>';
    nEndTag = uint32_t(nName + 3);
    return strElem;
}

}  // namespace

bool CXmlDocument::FindInsertPlace(int nFlags, int& iParent, int& iRef) const
{
    if ((nFlags & ADD_CHILD) != 0) {
        if (!IsElement(m_iPos))
            return false;
        iParent = m_iPos;
        iRef = m_iPosChild;
    } else {
        if (!IsElementOrDocument(m_iPosParent))
            return false;
        iParent = m_iPosParent;
        iRef = m_iPos;
    }
    return iRef == 0 || (IsElement(iRef) && m_aPos[iRef].iElemParent == iParent);
}

// An empty-element parent becomes start tag, line break, the child, its line break and an end
// tag: "<P a='1'/>" -> "<P a='1'>\r\n<new/>\r\n</P>". False when the end tag would not fit.
bool CXmlDocument::PlanOpeningParent(int iParent, std::string& strEdit, SInsertEdit& edit) const
{
    const SElementPos& par = m_aPos[iParent];
    const char* pName = m_strDoc.data() + par.nStart + 1;
    size_t nParentName = 0;
    while (nParentName + 1 < par.StartTagLength() && !IsXmlBlank(pName[nParentName]) && pName[nParentName] != '/' &&
           pName[nParentName] != '>')
        ++nParentName;
    if (nParentName + 3 > SElementPos::TAG_END_MAX)
        return false;
    std::string strOpened;
    strOpened.reserve(strEdit.size() + nParentName + 6);
    strOpened += ">\r\n";
    strOpened += strEdit;
    strOpened += "</";
    strOpened.append(pName, nParentName);
    strOpened += '>';
    strEdit.swap(strOpened);
    edit.nEditAt = par.nStart + par.StartTagLength() - 2;
    edit.nRemove = 2;
    edit.nElemStart = edit.nEditAt + 3;
    edit.nParentEndTag = uint32_t(nParentName + 3);
    return true;
}

void CXmlDocument::PlanInsertion(int iParent, int iRef, bool bBefore, SInsertEdit& edit) const
{
    const SElementPos& par = m_aPos[iParent];
    size_t nOffset;
    if (iRef != 0) {
        const SElementPos& ref = m_aPos[iRef];
        nOffset = bBefore ? ref.nStart : size_t(ref.nStart) + ref.nLength;
    } else if (iParent == 0) {
        // The document has no tags of its own; keep a prolog in front of the first element.
        nOffset = (bBefore && par.iElemChild != 0) ? m_aPos[par.iElemChild].nStart : m_strDoc.size();
    } else {
        nOffset = bBefore ? size_t(par.nStart) + par.StartTagLength()
                          : size_t(par.nStart) + par.nLength - par.EndTagLength();
    }
    // Start the new element on a fresh line: step over a line break that already follows.
    size_t nNext = nOffset;
    while (nNext < m_strDoc.size() && IsXmlBlank(m_strDoc[nNext]))
        ++nNext;
    if (nNext == m_strDoc.size() || m_strDoc[nNext] == '<')
        nOffset = nNext;
    edit.nEditAt = nOffset;
    edit.nRemove = 0;
    edit.nElemStart = nOffset;
    edit.nParentEndTag = 0;
}

bool CXmlDocument::InsertElement(const char* pszName, const char* pszData, int nFlags)
{
    if (m_nPosTableSize == 0)
        return false;
    const size_t nName = pszName != nullptr ? std::strlen(pszName) : 0;
    if (!IsXmlName(pszName, nName) || nName + 3 > SElementPos::TAG_END_MAX)
        return false;
    int iParent, iRef;
    if (!FindInsertPlace(nFlags, iParent, iRef))
        return false;
    const bool bBefore = (nFlags & ADD_BEFORE) != 0;
    const uint32_t nLevel = iParent != 0 ? m_aPos[iParent].Level() + 1 : 1;
    if (nLevel > SElementPos::EP_LEVEL_MASK)
        return false;

    uint32_t nStartTag, nEndTag;
    std::string strEdit = ElementText(pszName, nName, pszData, nStartTag, nEndTag);
    const size_t nElemLength = strEdit.size();
    strEdit += "\r\n";
    // A copy: taking the new entry may move the table's last segment.
    const SElementPos par = m_aPos[iParent];
    SInsertEdit edit;
    if (iParent != 0 && par.IsEmptyElement()) {
        if (!PlanOpeningParent(iParent, strEdit, edit))
            return false;
    } else {
        PlanInsertion(iParent, iRef, bBefore, edit);
    }
    if (m_strDoc.size() - edit.nRemove + strEdit.size() > MAX_TEXT_LENGTH)
        return false;

    const int iNew = NewEntry();
    try {
        m_strDoc.replace(edit.nEditAt, edit.nRemove, strEdit);
    } catch (...) {
        ReleaseEntry(iNew);
        throw;
    }
    AdjustAfterEdit(iParent, uint32_t(edit.nEditAt), uint32_t(strEdit.size() - edit.nRemove));
    if (edit.nRemove != 0)
        m_aPos[iParent].SetTagLengths(par.StartTagLength() - 1, edit.nParentEndTag);

    SElementPos& e = m_aPos[iNew];
    e.nStart = uint32_t(edit.nElemStart);
    e.nLength = uint32_t(nElemLength);
    e.SetTagLengths(nStartTag, nEndTag);
    e.SetLevel(nLevel);
    LinkElement(iNew, iParent, iRef, bBefore);

    if ((nFlags & ADD_CHILD) != 0) {
        m_iPosChild = iNew;
    } else {
        m_iPos = iNew;
        m_iPosChild = 0;
        m_nNodeType = 1;
    }
    m_nNodeOffset = 0;
    m_nNodeLength = 0;
    return true;
}

bool CXmlDocument::SetAttribute(int iPos, const char* pszName, const char* pszValue)
{
    try {
        return SetAttributeText(iPos, pszName, pszValue);
    } catch (const std::exception&) {
        return false;
    }
}

bool CXmlDocument::SetAttribute(int iPos, const char* pszName, int nValue)
{
    try {
        return SetAttributeText(iPos, pszName, std::to_string(nValue).c_str());
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

// One attribute as the tolerant scan reads it: a name, an optional '=', and a quoted or unquoted value.
struct SAttributeText {
    size_t nNameStart, nNameEnd;
    bool bHasValue;
    size_t nValueStart, nValueEnd;  // with the quotes
};

void SkipBlanks(const char* pDoc, size_t& p, size_t nEnd)
{
    while (p < nEnd && IsXmlBlank(pDoc[p]))
        ++p;
}

// Reads the attribute at p, which is no blank; p moves past it.
SAttributeText ReadAttribute(const char* pDoc, size_t& p, size_t nAttrEnd)
{
    SAttributeText attr{};
    attr.nNameStart = p;
    while (p < nAttrEnd && !IsXmlBlank(pDoc[p]) && pDoc[p] != '=')
        ++p;
    attr.nNameEnd = p;
    SkipBlanks(pDoc, p, nAttrEnd);
    attr.bHasValue = p < nAttrEnd && pDoc[p] == '=';
    attr.nValueStart = attr.nValueEnd = attr.nNameEnd;
    if (!attr.bHasValue)
        return attr;
    ++p;
    SkipBlanks(pDoc, p, nAttrEnd);
    attr.nValueStart = p;
    if (p < nAttrEnd && (pDoc[p] == '"' || pDoc[p] == '\'')) {
        const char cQuote = pDoc[p++];
        while (p < nAttrEnd && pDoc[p] != cQuote)
            ++p;
        if (p < nAttrEnd)
            ++p;
    } else {
        while (p < nAttrEnd && !IsXmlBlank(pDoc[p]))
            ++p;
    }
    attr.nValueEnd = p;
    return attr;
}

// Looks for the named attribute in the start tag at nTagStart, whose attributes end at nAttrEnd.
bool FindAttribute(const char* pDoc, size_t nTagStart, size_t nAttrEnd, const char* pszName, size_t nName,
                   SAttributeText& found)
{
    size_t p = nTagStart + 1;
    while (p < nAttrEnd && !IsXmlBlank(pDoc[p]))
        ++p;
    for (;;) {
        SkipBlanks(pDoc, p, nAttrEnd);
        if (p >= nAttrEnd)
            return false;
        const SAttributeText attr = ReadAttribute(pDoc, p, nAttrEnd);
        if (attr.nNameEnd - attr.nNameStart == nName && std::memcmp(pDoc + attr.nNameStart, pszName, nName) == 0) {
            found = attr;
            return true;
        }
        if (p == attr.nNameStart)
            ++p;  // a stray '=' in foreign text; never loop on it
    }
}

}  // namespace

bool CXmlDocument::SetAttributeText(int iPos, const char* pszName, const char* pszValue)
{
    if (!IsElement(iPos))
        return false;
    const size_t nName = pszName != nullptr ? std::strlen(pszName) : 0;
    if (!IsXmlName(pszName, nName))
        return false;

    std::string strValue;
    strValue += '"';
    AppendEscapedXml(strValue, pszValue, true);
    strValue += '"';

    const SElementPos e = m_aPos[iPos];
    const char* pDoc = m_strDoc.data();
    // The attributes end before the closing '/>' or '>'.
    const size_t nAttrEnd = size_t(e.nStart) + e.StartTagLength() - (e.IsEmptyElement() ? 2 : 1);
    size_t nEditAt = 0, nRemove = 0;
    std::string strInsert;
    SAttributeText attr;
    if (!FindAttribute(pDoc, e.nStart, nAttrEnd, pszName, nName, attr)) {
        nEditAt = nAttrEnd;
        while (nEditAt > e.nStart + 1 + 1 && IsXmlBlank(pDoc[nEditAt - 1]))
            --nEditAt;
        strInsert.reserve(nName + strValue.size() + 2);
        strInsert += ' ';
        strInsert.append(pszName, nName);
        strInsert += '=';
        strInsert += strValue;
    } else if (attr.bHasValue) {
        nEditAt = attr.nValueStart;
        nRemove = attr.nValueEnd - attr.nValueStart;
        strInsert.swap(strValue);
    } else {
        nEditAt = attr.nNameEnd;
        strInsert = "=" + strValue;
    }

    const size_t nNewStartTag = e.StartTagLength() - nRemove + strInsert.size();
    if (nNewStartTag > SElementPos::TAG_START_MASK || m_strDoc.size() - nRemove + strInsert.size() > MAX_TEXT_LENGTH)
        return false;
    m_strDoc.replace(nEditAt, nRemove, strInsert);
    m_aPos[iPos].SetTagLengths(uint32_t(nNewStartTag), e.EndTagLength());
    AdjustAfterEdit(iPos, uint32_t(nEditAt), uint32_t(strInsert.size() - nRemove));
    return true;
}

int CXmlDocument::SavedPosBucket(const char* pszName)
{
    int nSum = 0;
    for (const char* p = pszName; *p != '\0'; ++p)
        nSum += static_cast<signed char>(*p);
    return ((nSum % SAVED_POS_BUCKETS) + SAVED_POS_BUCKETS) % SAVED_POS_BUCKETS;
}

bool CXmlDocument::SaveNavigation(const char* pszName)
{
    if (pszName == nullptr)
        pszName = "";
    SSavedPos saved{std::string(), 0, 0};
    if (m_iPosChild != 0) {
        saved.iPos = m_iPosChild;
        saved.nKind = SPK_CHILD;
    } else if (m_iPos != 0) {
        saved.iPos = m_iPos;
        saved.nKind = SPK_CURRENT;
    } else {
        saved.iPos = m_iPosParent;
        saved.nKind = SPK_PARENT;
    }
    try {
        if (!m_pSavedPosMap)
            m_pSavedPosMap.reset(new CSavedPosMap());
        std::vector<SSavedPos>& bucket = (*m_pSavedPosMap)[size_t(SavedPosBucket(pszName))];
        for (SSavedPos& old : bucket) {
            if (old.strName == pszName) {
                old.iPos = saved.iPos;
                old.nKind = saved.nKind;
                return true;
            }
        }
        saved.strName = pszName;
        bucket.push_back(std::move(saved));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CXmlDocument::RestoreNavigation(const char* pszName)
{
    if (pszName == nullptr)
        pszName = "";
    if (!m_pSavedPosMap)
        return false;
    const std::vector<SSavedPos>& bucket = (*m_pSavedPosMap)[size_t(SavedPosBucket(pszName))];
    for (const SSavedPos& saved : bucket) {
        if (saved.strName != pszName)
            continue;
        const int i = saved.iPos;
        switch (saved.nKind) {
        case SPK_CHILD:
            if (!IsElement(i))
                return false;
            m_iPosChild = i;
            m_iPos = m_aPos[i].iElemParent;
            m_iPosParent = m_aPos[m_iPos].iElemParent;
            break;
        case SPK_CURRENT:
            if (!IsElement(i))
                return false;
            m_iPosChild = 0;
            m_iPos = i;
            m_iPosParent = m_aPos[i].iElemParent;
            break;
        default:
            if (!IsElementOrDocument(i) || m_nPosTableSize == 0)
                return false;
            m_iPosParent = i;
            m_iPos = 0;
            m_iPosChild = 0;
            break;
        }
        m_nNodeType = m_iPos != 0 ? 1 : 0;
        m_nNodeOffset = 0;
        m_nNodeLength = 0;
        return true;
    }
    return false;
}

bool CXmlDocument::GetElementInfo(int iPos, SElementInfo& info) const
{
    if (m_nPosTableSize == 0 || !IsElementOrDocument(iPos))
        return false;
    const SElementPos& e = m_aPos[iPos];
    info.nStart = e.nStart;
    info.nLength = e.nLength;
    info.nStartTagLength = e.StartTagLength();
    info.nEndTagLength = e.EndTagLength();
    info.nLevel = int(e.Level());
    info.bFirstChild = (e.nFlags & SElementPos::EP_FIRST_CHILD) != 0;
    info.iParent = e.iElemParent;
    info.iFirstChild = e.iElemChild;
    info.iNext = e.iElemNext;
    info.iPrev = e.iElemPrev;
    return true;
}
