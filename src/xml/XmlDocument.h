// CXmlDocument: the report document, kept as the exact text that goes to the file plus a
// table of element positions into that text, so that every edit happens in place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "src/xml/ElementTable.h"

class CXmlDocument {
public:
    enum { ADD_CHILD = 0x4000, ADD_BEFORE = 0x2000 };

    // Read-only view of one element entry, for diagnostics and tests.
    struct SElementInfo {
        size_t nStart;
        size_t nLength;
        size_t nStartTagLength;
        size_t nEndTagLength;  // 0 for an empty-element tag
        int nLevel;            // top elements have level 1
        bool bFirstChild;
        int iParent;
        int iFirstChild;
        int iNext;
        int iPrev;  // for a first child: the last child
    };

    CXmlDocument();
    ~CXmlDocument();
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    // Replaces the whole document; nullptr or "" leaves it empty (result false, "Empty document").
    // A non-empty text is indexed when it is well-formed markup; otherwise the document is marked
    // ill-formed, the error text says why, and the result is false.
    bool LoadText(const char* pszText);
    bool CheckWellFormed() const;

    void GoToTop();
    // nullptr or "" matches any element.
    bool FindSibling(const char* pszName);
    bool FindChild(const char* pszName);
    bool Descend();
    bool Ascend();

    // Names must be XML names; data nullptr or "" gives an empty-element tag.
    bool AddElement(const char* pszName, const char* pszData, int nFlags);
    bool AddElement(const char* pszName, int nNumber, int nFlags);
    bool SetAttribute(int iPos, const char* pszName, const char* pszValue);
    bool SetAttribute(int iPos, const char* pszName, int nValue);

    bool SaveNavigation(const char* pszName);
    bool RestoreNavigation(const char* pszName);

    const char* GetText() const { return m_strDoc.c_str(); }
    size_t GetTextLength() const { return m_strDoc.size(); }
    const std::string& GetError() const { return m_strError; }

    // Index 0 describes the document itself. False for an index that holds no element.
    bool GetElementInfo(int iPos, SElementInfo& info) const;

private:
    std::string m_strDoc;
    std::string m_strError;

public:
    // Navigation state; callers reset it directly before FindSibling("Root").
    int m_iPosParent;
    int m_iPos;
    int m_iPosChild;

private:
    enum { SAVED_POS_BUCKETS = 7 };
    enum { SPK_CHILD = 1, SPK_CURRENT = 2, SPK_PARENT = 3 };
    struct SSavedPos {
        std::string strName;
        int iPos;
        int nKind;
    };
    using CSavedPosMap = std::array<std::vector<SSavedPos>, SAVED_POS_BUCKETS>;

    int m_iPosFree;     // next never-used entry
    int m_iPosDeleted;  // head of the reusable entries, linked through iElemNext
    int m_nNodeType;    // 1 while the current position is an element
    int m_nNodeOffset;
    int m_nNodeLength;
    std::unique_ptr<CSavedPosMap> m_pSavedPosMap;
    CElementTable m_aPos;
    int m_nPosTableSize;

    void ResetPositions();
    void ResetTable();
    int NewEntry();
    void ReleaseEntry(int i);
    bool IsElement(int i) const;
    bool IsElementOrDocument(int i) const { return i == 0 || IsElement(i); }
    bool MatchName(int i, const char* pszName, size_t nName) const;
    void ShiftSubtree(int iRoot, uint32_t nDelta);
    void AdjustAfterEdit(int iElem, uint32_t nOffset, uint32_t nDelta);
    void LinkElement(int iNew, int iParent, int iRef, bool bBefore);

    // One insertion: the nRemove bytes at nEditAt give way to the new text, in which the element
    // lands at nElemStart; nParentEndTag is the length of the end tag an empty parent gets, or 0.
    struct SInsertEdit {
        size_t nEditAt;
        size_t nRemove;
        size_t nElemStart;
        uint32_t nParentEndTag;
    };
    bool FindInsertPlace(int nFlags, int& iParent, int& iRef) const;
    bool PlanOpeningParent(int iParent, std::string& strEdit, SInsertEdit& edit) const;
    void PlanInsertion(int iParent, int iRef, bool bBefore, SInsertEdit& edit) const;
    bool InsertElement(const char* pszName, const char* pszData, int nFlags);
    bool SetAttributeText(int iPos, const char* pszName, const char* pszValue);
    static int SavedPosBucket(const char* pszName);

    // Loader (XmlLoader.cpp)
    class CIndexer;
    bool IndexText();
};
