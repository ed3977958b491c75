// Drives CXmlDocument with random sequences of the operations the checks use and verifies after
// every step that the text is well-formed markup, that the position table agrees with a separate
// parse of the text, and that each edit changed exactly what it should.
//
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       fuzz/XmlDocumentFuzz.cpp src/xml/*.cpp -o XmlDocumentFuzz && ./XmlDocumentFuzz -max_total_time=30
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "src/xml/XmlDocument.h"

namespace {

// ---- A small parser of its own, deliberately written apart from the document's loader ----

struct SShadowElem {
    std::string strName;
    size_t nStart = 0, nLength = 0, nStartTag = 0, nEndTag = 0;
    int nLevel = 0;
    int iParent = -1;  // index into the element list, -1 = top
    std::vector<std::pair<std::string, std::string>> aAttrs;  // raw (escaped) values
};

struct SShadowDoc {
    bool bOk = true;
    std::string strWhy;
    int nTops = 0;
    std::vector<SShadowElem> aElems;  // document order
};

bool ShadowNameStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

bool ShadowNameChar(unsigned char c)
{
    return ShadowNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7;
}

bool ShadowBlank(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

class CShadowParser {
public:
    explicit CShadowParser(const std::string& s) : m_s(s) {}

    SShadowDoc Run()
    {
        std::vector<int> aStack;
        size_t i = 0;
        while (m_doc.bOk && i < m_s.size()) {
            if (m_s[i] != '<') {
                if (aStack.empty() && !ShadowBlank(m_s[i]))
                    return Fail("text outside element");
                if (m_s[i] == '&') {
                    i = Entity(i);
                    continue;
                }
                if (m_s.compare(i, 3, "]]>") == 0)
                    return Fail("]]> in text");
                ++i;
                continue;
            }
            if (Eat(i, "<!--")) {
                const size_t e = m_s.find("-->", i);
                if (e == std::string::npos || m_s.substr(i, e - i).find("--") != std::string::npos)
                    return Fail("comment");
                i = e + 3;
            } else if (Eat(i, "<![CDATA[")) {
                const size_t e = m_s.find("]]>", i);
                if (aStack.empty() || e == std::string::npos)
                    return Fail("cdata");
                i = e + 3;
            } else if (Eat(i, "<!DOCTYPE")) {
                int nDepth = 0;
                while (i < m_s.size() && !(m_s[i] == '>' && nDepth <= 0)) {
                    if (m_s[i] == '"' || m_s[i] == '\'') {
                        const size_t e = m_s.find(m_s[i], i + 1);
                        if (e == std::string::npos)
                            return Fail("doctype");
                        i = e;
                    }
                    nDepth += m_s[i] == '[' ? 1 : m_s[i] == ']' ? -1 : 0;
                    ++i;
                }
                if (i >= m_s.size() || !m_doc.aElems.empty() || m_bAnyEntity)
                    return Fail("doctype");
                m_bAnyEntity = true;
                ++i;
            } else if (Eat(i, "<?")) {
                const size_t nPi = i - 2;
                const std::string strTarget = Name(i);
                const size_t e = m_s.find("?>", i);
                if (e == std::string::npos || strTarget.empty())
                    return Fail("pi");
                std::string strLower;
                for (char c : strTarget)
                    strLower += char(c | 0x20);
                if (strTarget.size() == 3 && strLower == "xml" && nPi != 0)
                    return Fail("xml declaration not first");
                i = e + 2;
            } else if (Eat(i, "</")) {
                const size_t nTag = i - 2;
                std::string strName = Name(i);
                while (i < m_s.size() && ShadowBlank(m_s[i]))
                    ++i;
                if (aStack.empty() || i >= m_s.size() || m_s[i] != '>' ||
                    m_doc.aElems[size_t(aStack.back())].strName != strName)
                    return Fail("end tag");
                ++i;
                SShadowElem& e = m_doc.aElems[size_t(aStack.back())];
                e.nEndTag = i - nTag;
                e.nLength = i - e.nStart;
                aStack.pop_back();
            } else {
                SShadowElem e;
                e.nStart = i++;
                e.strName = Name(i);
                if (e.strName.empty())
                    return Fail("element name");
                e.nLevel = int(aStack.size()) + 1;
                e.iParent = aStack.empty() ? -1 : aStack.back();
                bool bEmpty = false;
                for (;;) {
                    const size_t nBefore = i;
                    while (i < m_s.size() && ShadowBlank(m_s[i]))
                        ++i;
                    if (i >= m_s.size())
                        return Fail("open tag");
                    if (m_s[i] == '>') {
                        ++i;
                        break;
                    }
                    if (m_s.compare(i, 2, "/>") == 0) {
                        i += 2;
                        bEmpty = true;
                        break;
                    }
                    if (i == nBefore)
                        return Fail("no blank before attribute");
                    std::string strAttr = Name(i);
                    if (strAttr.empty() || i >= m_s.size() || m_s[i] != '=')
                        return Fail("attribute");
                    ++i;
                    if (i >= m_s.size() || (m_s[i] != '"' && m_s[i] != '\''))
                        return Fail("attribute quote");
                    const size_t nEnd = m_s.find(m_s[i], i + 1);
                    if (nEnd == std::string::npos)
                        return Fail("attribute value");
                    const std::string strValue = m_s.substr(i + 1, nEnd - i - 1);
                    for (size_t k = 0; k < strValue.size(); ++k) {
                        if (strValue[k] == '<')
                            return Fail("< in attribute");
                        if (strValue[k] == '&' && !EntityAt(strValue, k))
                            return Fail("entity in attribute");
                    }
                    for (const auto& a : e.aAttrs) {
                        if (a.first == strAttr)
                            return Fail("duplicate attribute");
                    }
                    e.aAttrs.emplace_back(strAttr, strValue);
                    i = nEnd + 1;
                }
                e.nStartTag = i - e.nStart;
                if (bEmpty)
                    e.nLength = e.nStartTag;
                if (aStack.empty())
                    ++m_doc.nTops;
                m_doc.aElems.push_back(e);
                if (!bEmpty)
                    aStack.push_back(int(m_doc.aElems.size()) - 1);
            }
        }
        if (m_doc.bOk && !aStack.empty())
            return Fail("unclosed");
        return m_doc;
    }

private:
    bool Eat(size_t& i, const char* psz)
    {
        const std::string str(psz);
        if (m_s.compare(i, str.size(), str) != 0)
            return false;
        i += str.size();
        return true;
    }

    std::string Name(size_t& i)
    {
        const size_t nStart = i;
        if (i < m_s.size() && ShadowNameStart(static_cast<unsigned char>(m_s[i]))) {
            ++i;
            while (i < m_s.size() && ShadowNameChar(static_cast<unsigned char>(m_s[i])))
                ++i;
        }
        return m_s.substr(nStart, i - nStart);
    }

    bool EntityAt(const std::string& s, size_t k) const
    {
        const size_t nSemi = s.find(';', k);
        if (nSemi == std::string::npos)
            return false;
        const std::string strRef = s.substr(k + 1, nSemi - k - 1);
        if (strRef == "lt" || strRef == "gt" || strRef == "amp" || strRef == "apos" || strRef == "quot")
            return true;
        if (strRef.size() >= 2 && strRef[0] == '#') {
            const bool bHex = strRef[1] == 'x';
            const std::string strDigits = strRef.substr(bHex ? 2 : 1);
            if (strDigits.empty())
                return false;
            for (char c : strDigits) {
                if (!(c >= '0' && c <= '9') && !(bHex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))))
                    return false;
            }
            return true;
        }
        if (!m_bAnyEntity || strRef.empty() || !ShadowNameStart(static_cast<unsigned char>(strRef[0])))
            return false;
        for (char c : strRef) {
            if (!ShadowNameChar(static_cast<unsigned char>(c)))
                return false;
        }
        return true;
    }

    size_t Entity(size_t i)
    {
        if (!EntityAt(m_s, i)) {
            Fail("entity");
            return m_s.size();
        }
        return m_s.find(';', i) + 1;
    }

    SShadowDoc Fail(const char* pszWhy)
    {
        m_doc.bOk = false;
        m_doc.strWhy = pszWhy;
        return m_doc;
    }

    const std::string& m_s;
    SShadowDoc m_doc;
    bool m_bAnyEntity = false;
};

std::string Escape(const std::string& str, bool bAttribute)
{
    std::string strOut;
    for (char c : str) {
        if (c == '<')
            strOut += "&lt;";
        else if (c == '&')
            strOut += "&amp;";
        else if (c == '>')
            strOut += "&gt;";
        else if (bAttribute && c == '"')
            strOut += "&quot;";
        else if (bAttribute && c == '\'')
            strOut += "&apos;";
        else if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
            strOut += '.';  // no XML character
        else
            strOut += c;
    }
    return strOut;
}

// ---- Invariants ----

// Walks the document's table in document order and compares it with the shadow parse.
void CheckTable(const CXmlDocument& doc, const SShadowDoc& shadow, std::map<int, int>* pIndexOf)
{
    CXmlDocument::SElementInfo info{};
    FUZZ_CHECK(doc.GetElementInfo(0, info));
    FUZZ_CHECK(info.nLength == doc.GetTextLength());
    std::map<int, int> mapIndexOf;  // table index -> position in document order
    std::vector<int> aOrder;
    // Preorder walk with an explicit stack of next siblings.
    std::vector<int> aTodo;
    if (info.iFirstChild != 0)
        aTodo.push_back(info.iFirstChild);
    while (!aTodo.empty()) {
        const int i = aTodo.back();
        aTodo.pop_back();
        CXmlDocument::SElementInfo e{};
        FUZZ_CHECK(doc.GetElementInfo(i, e));
        FUZZ_CHECK(mapIndexOf.count(i) == 0);
        FUZZ_CHECK(aOrder.size() < shadow.aElems.size());
        mapIndexOf[i] = int(aOrder.size());
        aOrder.push_back(i);
        if (e.iNext != 0)
            aTodo.push_back(e.iNext);
        if (e.iFirstChild != 0)
            aTodo.push_back(e.iFirstChild);
    }
    FUZZ_CHECK(aOrder.size() == shadow.aElems.size());
    for (size_t k = 0; k < aOrder.size(); ++k) {
        CXmlDocument::SElementInfo e{};
        FUZZ_CHECK(doc.GetElementInfo(aOrder[k], e));
        const SShadowElem& s = shadow.aElems[k];
        FUZZ_CHECK(e.nStart == s.nStart);
        FUZZ_CHECK(e.nLength == s.nLength);
        FUZZ_CHECK(e.nStartTagLength == s.nStartTag);
        FUZZ_CHECK(e.nEndTagLength == s.nEndTag);
        FUZZ_CHECK(e.nLevel == s.nLevel);
        FUZZ_CHECK((e.iParent == 0 ? -1 : mapIndexOf.at(e.iParent)) == s.iParent);
        CXmlDocument::SElementInfo parent{};
        FUZZ_CHECK(doc.GetElementInfo(e.iParent, parent));
        FUZZ_CHECK(e.bFirstChild == (parent.iFirstChild == aOrder[k]));
        if (e.iNext != 0) {
            CXmlDocument::SElementInfo next{};
            FUZZ_CHECK(doc.GetElementInfo(e.iNext, next));
            FUZZ_CHECK(next.iPrev == aOrder[k]);
        }
        if (e.bFirstChild) {
            // The first child names the last child.
            CXmlDocument::SElementInfo last{};
            FUZZ_CHECK(doc.GetElementInfo(e.iPrev, last));
            FUZZ_CHECK(last.iNext == 0 && last.iParent == e.iParent);
        }
    }
    if (pIndexOf != nullptr)
        pIndexOf->swap(mapIndexOf);
}

void CheckNavigation(const CXmlDocument& doc)
{
    CXmlDocument::SElementInfo e{};
    if (doc.m_iPosChild != 0) {
        FUZZ_CHECK(doc.GetElementInfo(doc.m_iPosChild, e));
        FUZZ_CHECK(e.iParent == doc.m_iPos);
    }
    if (doc.m_iPos != 0) {
        FUZZ_CHECK(doc.GetElementInfo(doc.m_iPos, e));
        FUZZ_CHECK(e.iParent == doc.m_iPosParent);
    }
    FUZZ_CHECK(doc.GetElementInfo(doc.m_iPosParent, e));
}

struct SNav {
    int iParent, iPos, iChild;
};

const char* const g_apszNames[] = {"Root", "Summary", "Errors", "Warnings", "Message", "A", "B", "a:b", "R", "Root2", ""};

std::string PickName(FuzzedDataProvider& fdp)
{
    if (fdp.ConsumeBool())
        return g_apszNames[fdp.ConsumeIntegralInRange<size_t>(0, sizeof(g_apszNames) / sizeof(g_apszNames[0]) - 1)];
    // The document sees the name only up to its first NUL.
    return fdp.ConsumeRandomLengthString(12).c_str();
}

bool NameIsValid(const std::string& str)
{
    if (str.empty() || !ShadowNameStart(static_cast<unsigned char>(str[0])))
        return false;
    for (char c : str) {
        if (!ShadowNameChar(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

int ElementAtOrder(const std::map<int, int>& mapIndexOf, int nOrder)
{
    for (const auto& kv : mapIndexOf) {
        if (kv.second == nOrder)
            return kv.first;
    }
    return 0;
}

// ---- The operations, one step each ----

// What one input carries from step to step.
struct SRun {
    FuzzedDataProvider& fdp;
    CXmlDocument& doc;
    SShadowDoc shadow;              // the last separate parse of the document's text
    std::map<int, int> mapIndexOf;  // table index -> position in document order
    std::map<std::string, std::pair<int, SNav>> mapSaved;  // name -> (kind, positions)
    int nStep;
    std::string strBefore;  // the text before this step
    SNav navBefore;         // the positions before this step
};

enum EStep { TEXT_KEPT, TEXT_MAY_CHANGE, STOP_RUN };

int SavedKind(const SNav& nav)
{
    return nav.iChild != 0 ? 0 : nav.iPos != 0 ? 1 : 2;
}

bool NavigationUnchanged(const SRun& run)
{
    return run.navBefore.iParent == run.doc.m_iPosParent && run.navBefore.iPos == run.doc.m_iPos &&
           run.navBefore.iChild == run.doc.m_iPosChild;
}

// The new element holds exactly what was added, where the flags put it.
void CheckAddedElement(const SRun& run, const std::string& strName, const std::string& strData, int nFlags)
{
    const CXmlDocument& doc = run.doc;
    const bool bChild = (nFlags & CXmlDocument::ADD_CHILD) != 0;
    const int iNew = bChild ? doc.m_iPosChild : doc.m_iPos;
    CXmlDocument::SElementInfo e{};
    FUZZ_CHECK(doc.GetElementInfo(iNew, e));
    const std::string strText(doc.GetText(), doc.GetTextLength());
    const std::string strExpected = strData.empty()
                                        ? "<" + strName + "/>"
                                        : "<" + strName + ">" + Escape(strData, false) + "</" + strName + ">";
    FUZZ_CHECK(strText.compare(e.nStart, e.nLength, strExpected) == 0);
    FUZZ_CHECK(strText.compare(e.nStart + e.nLength, 2, "\r\n") == 0);
    // Apart from the new element and its line break, the old text is still there, unless an
    // empty parent had to be opened up.
    std::string strRest = strText;
    strRest.erase(e.nStart, e.nLength + 2);
    CXmlDocument::SElementInfo parent{};
    FUZZ_CHECK(doc.GetElementInfo(e.iParent, parent));
    if (strRest != run.strBefore) {
        FUZZ_CHECK(e.iParent != 0 && e.iFirstChild == 0 && e.iNext == 0 && e.bFirstChild);
        strRest.erase(e.nStart - 3, 3);  // ">\r\n" before the child
        strRest.erase(e.nStart - 3, parent.nEndTagLength);
        strRest.insert(e.nStart - 3, "/>");
        FUZZ_CHECK(strRest == run.strBefore);
    }
    // Placement relative to the reference sibling.
    const int iRef = bChild ? run.navBefore.iChild : run.navBefore.iPos;
    const bool bBefore = (nFlags & CXmlDocument::ADD_BEFORE) != 0;
    if (iRef != 0) {
        CXmlDocument::SElementInfo ref{};
        FUZZ_CHECK(doc.GetElementInfo(iRef, ref));
        FUZZ_CHECK(bBefore ? e.iNext == iRef : ref.iNext == iNew);
    } else {
        FUZZ_CHECK(bBefore ? e.bFirstChild : e.iNext == 0);
    }
    if (bChild)
        FUZZ_CHECK(doc.m_iPos == run.navBefore.iPos && doc.m_iPosParent == run.navBefore.iParent);
    else
        FUZZ_CHECK(doc.m_iPosChild == 0 && doc.m_iPosParent == run.navBefore.iParent);
}

EStep AddElementStep(SRun& run, bool bNumber)
{
    static const int anFlags[] = {0, CXmlDocument::ADD_CHILD, CXmlDocument::ADD_BEFORE,
                                  CXmlDocument::ADD_CHILD | CXmlDocument::ADD_BEFORE};
    const int nFlags = anFlags[run.fdp.ConsumeIntegralInRange<int>(0, 3)];
    const std::string strName = PickName(run.fdp);
    std::string strData;
    bool bOk;
    if (!bNumber) {
        strData = run.fdp.ConsumeRandomLengthString(40);
        bOk = run.doc.AddElement(strName.c_str(), strData.c_str(), nFlags);
        strData = strData.c_str();  // what the document saw
    } else {
        const int nNumber = run.fdp.ConsumeIntegral<int>();
        bOk = run.doc.AddElement(strName.c_str(), nNumber, nFlags);
        strData = std::to_string(nNumber);
    }
    const bool bChild = (nFlags & CXmlDocument::ADD_CHILD) != 0;
    if (!NameIsValid(strName) || (bChild && run.navBefore.iPos == 0))
        FUZZ_CHECK(!bOk);
    if (!bOk)
        return TEXT_KEPT;
    CheckAddedElement(run, strName, strData, nFlags);
    return TEXT_MAY_CHANGE;
}

int PickPosition(SRun& run)
{
    switch (run.fdp.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return run.doc.m_iPos;
    case 1: return run.doc.m_iPosChild;
    case 2: return run.doc.m_iPosParent;
    default: return ElementAtOrder(run.mapIndexOf, run.fdp.ConsumeIntegralInRange<int>(-1, 40));
    }
}

EStep SetAttributeStep(SRun& run, bool bNumber)
{
    const int iPos = PickPosition(run);
    const std::string strName = PickName(run.fdp);
    std::string strValue;
    bool bOk;
    if (!bNumber) {
        strValue = run.fdp.ConsumeRandomLengthString(30);
        bOk = run.doc.SetAttribute(iPos, strName.c_str(), strValue.c_str());
        strValue = strValue.c_str();
    } else {
        const int nValue = run.fdp.ConsumeIntegral<int>();
        bOk = run.doc.SetAttribute(iPos, strName.c_str(), nValue);
        strValue = std::to_string(nValue);
    }
    if (iPos == 0 || !NameIsValid(strName))
        FUZZ_CHECK(!bOk);
    if (!bOk)
        return TEXT_KEPT;
    // Same attributes in the same order, the named one with the new value (appended if new).
    const int nOrder = run.mapIndexOf.at(iPos);
    const SShadowDoc after = CShadowParser(std::string(run.doc.GetText(), run.doc.GetTextLength())).Run();
    FUZZ_CHECK(after.bOk && size_t(nOrder) < after.aElems.size());
    auto aExpected = run.shadow.aElems[size_t(nOrder)].aAttrs;
    bool bReplaced = false;
    for (auto& a : aExpected) {
        if (a.first == strName) {
            a.second = Escape(strValue, true);
            bReplaced = true;
        }
    }
    if (!bReplaced)
        aExpected.emplace_back(strName, Escape(strValue, true));
    FUZZ_CHECK(after.aElems[size_t(nOrder)].aAttrs == aExpected);
    FUZZ_CHECK(NavigationUnchanged(run));
    return TEXT_MAY_CHANGE;
}

EStep FindStep(SRun& run, bool bChild)
{
    const std::string strName = PickName(run.fdp);
    const bool bAny = run.fdp.ConsumeBool();
    const char* pszName = bAny ? nullptr : strName.c_str();
    const bool bOk = bChild ? run.doc.FindChild(pszName) : run.doc.FindSibling(pszName);
    if (bOk) {
        const int iFound = bChild ? run.doc.m_iPosChild : run.doc.m_iPos;
        CXmlDocument::SElementInfo e{};
        FUZZ_CHECK(run.doc.GetElementInfo(iFound, e));
        if (pszName != nullptr && *pszName != '\0')
            FUZZ_CHECK(run.shadow.aElems[size_t(run.mapIndexOf.at(iFound))].strName == strName);
        if (!bChild)
            FUZZ_CHECK(run.doc.m_iPosChild == 0);
    } else if (!bChild) {
        FUZZ_CHECK(NavigationUnchanged(run));
    }
    return TEXT_KEPT;
}

EStep DescendStep(SRun& run)
{
    const SNav& before = run.navBefore;
    const bool bOk = run.doc.Descend();
    FUZZ_CHECK(bOk == (before.iPos != 0));
    if (bOk)
        FUZZ_CHECK(run.doc.m_iPosParent == before.iPos && run.doc.m_iPos == before.iChild && run.doc.m_iPosChild == 0);
    return TEXT_KEPT;
}

EStep AscendStep(SRun& run)
{
    const bool bOk = run.doc.Ascend();
    FUZZ_CHECK(bOk == (run.navBefore.iParent != 0));
    if (bOk)
        FUZZ_CHECK(run.doc.m_iPos == run.navBefore.iParent && run.doc.m_iPosChild == run.navBefore.iPos);
    return TEXT_KEPT;
}

EStep GoToTopStep(SRun& run)
{
    run.doc.GoToTop();
    FUZZ_CHECK(run.doc.m_iPosParent == 0 && run.doc.m_iPos == 0 && run.doc.m_iPosChild == 0);
    return TEXT_KEPT;
}

EStep SaveNavigationStep(SRun& run)
{
    const std::string strName = g_apszNames[run.fdp.ConsumeIntegralInRange<int>(0, 3)];
    FUZZ_CHECK(run.doc.SaveNavigation(strName.c_str()));
    run.mapSaved[strName] = {SavedKind(run.navBefore), run.navBefore};
    return TEXT_KEPT;
}

EStep RestoreNavigationStep(SRun& run)
{
    const std::string strName = g_apszNames[run.fdp.ConsumeIntegralInRange<int>(0, 3)];
    const bool bOk = run.doc.RestoreNavigation(strName.c_str());
    const auto it = run.mapSaved.find(strName);
    FUZZ_CHECK(bOk == (it != run.mapSaved.end()));
    if (bOk) {
        const SNav& nav = it->second.second;
        FUZZ_CHECK(run.doc.m_iPosParent == nav.iParent);
        FUZZ_CHECK(run.doc.m_iPos == (it->second.first <= 1 ? nav.iPos : 0));
        FUZZ_CHECK(run.doc.m_iPosChild == (it->second.first == 0 ? nav.iChild : 0));
    }
    return TEXT_KEPT;
}

// A finding filed the way the report does it, from wherever the writer stands.
EStep AddMessageStep(SRun& run)
{
    CXmlDocument& doc = run.doc;
    const std::string strKind = run.fdp.ConsumeBool() ? "Errors" : "Warnings";
    const std::string strCategory = PickName(run.fdp);
    const std::string strMessage = run.fdp.ConsumeRandomLengthString(30);
    doc.SaveNavigation("");
    doc.GoToTop();
    EStep result = TEXT_KEPT;
    if (doc.FindSibling("Root")) {
        result = TEXT_MAY_CHANGE;
        if (!doc.FindChild("Summary"))
            doc.AddElement("Summary", nullptr, CXmlDocument::ADD_CHILD | CXmlDocument::ADD_BEFORE);
        doc.Descend();
        if (!doc.FindChild(strKind.c_str()))
            doc.AddElement(strKind.c_str(), nullptr, CXmlDocument::ADD_CHILD);
        FUZZ_CHECK(doc.SetAttribute(doc.m_iPosChild, "Count", run.nStep));
        doc.Descend();
        if (doc.FindChild(strCategory.c_str()) ||
            doc.AddElement(strCategory.c_str(), nullptr, CXmlDocument::ADD_CHILD)) {
            doc.Descend();
            FUZZ_CHECK(doc.AddElement("Message", strMessage.c_str(), CXmlDocument::ADD_CHILD));
            doc.Ascend();
        }
        doc.Ascend();
        doc.Ascend();
    }
    FUZZ_CHECK(doc.RestoreNavigation(""));
    const SNav& before = run.navBefore;
    run.mapSaved[""] = {SavedKind(before), before};
    FUZZ_CHECK(doc.m_iPosParent == before.iParent);
    FUZZ_CHECK(doc.m_iPos == before.iPos || (before.iChild == 0 && before.iPos == 0));
    FUZZ_CHECK(doc.m_iPosChild == before.iChild);
    return result;
}

// Reloading our own text must give back the same document.
EStep ReloadStep(SRun& run)
{
    CXmlDocument copy;
    const bool bOk = copy.LoadText(run.doc.GetText());
    FUZZ_CHECK(bOk == (run.shadow.nTops == 1));
    if (run.shadow.nTops >= 1)
        CheckTable(copy, run.shadow, nullptr);
    FUZZ_CHECK(copy.CheckWellFormed() == run.doc.CheckWellFormed());
    return TEXT_KEPT;
}

std::string MarkupText(FuzzedDataProvider& fdp)
{
    // Markup pieces, so that whole comments, references and declarations turn up.
    static const char* const apszPieces[] = {
        "<A>", "</A>", "<B a=\"1\" b='&lt;'>", "</B>", "<C/>", "<Root>", "</Root>", " ", "\r\n", "x&amp;y",
        "&#65;", "&#x4a;", "&#;", "&e;", "<!-- c -->", "<!-- a--b -->", "<![CDATA[<z>]]>", "]]>", "<?pi d?>",
        "<?xml version=\"1.0\"?>", "<!DOCTYPE Root [<!ENTITY e 'v'>]>", "<D x=\"1\" x=\"2\"/>", "<E y=z/>",
        "<F\xE4\xB7/>", "<G />", "<H k=\"v\" >", "</H>", "\"", "'", "=", "<", ">", "&"};
    std::string strText;
    const size_t nPieces = fdp.ConsumeIntegralInRange<size_t>(1, 12);
    for (size_t k = 0; k < nPieces; ++k)
        strText += apszPieces[fdp.ConsumeIntegralInRange<size_t>(0, sizeof(apszPieces) / sizeof(apszPieces[0]) - 1)];
    return strText;
}

EStep LoadTextStep(SRun& run)
{
    const std::string strText = run.fdp.ConsumeBool() ? run.fdp.ConsumeRandomLengthString(200) : MarkupText(run.fdp);
    const bool bOk = run.doc.LoadText(strText.c_str());
    run.mapSaved.clear();
    FUZZ_CHECK(run.doc.m_iPosParent == 0 && run.doc.m_iPos == 0 && run.doc.m_iPosChild == 0);
    if (!bOk) {
        // Only a document we could index is worth building on.
        const SShadowDoc loaded = CShadowParser(run.doc.GetText()).Run();
        if (!loaded.bOk || loaded.nTops == 0)
            return STOP_RUN;
        FUZZ_CHECK(loaded.nTops > 1 && !run.doc.CheckWellFormed());
    }
    return TEXT_MAY_CHANGE;
}

EStep RunOperation(SRun& run, int nOp)
{
    switch (nOp) {
    case 0: return AddElementStep(run, false);
    case 1: return AddElementStep(run, true);
    case 2: return SetAttributeStep(run, false);
    case 3: return SetAttributeStep(run, true);
    case 4: return FindStep(run, false);
    case 5: return FindStep(run, true);
    case 6: return DescendStep(run);
    case 7: return AscendStep(run);
    case 8: return GoToTopStep(run);
    case 9: return SaveNavigationStep(run);
    case 10: return RestoreNavigationStep(run);
    case 11: return AddMessageStep(run);
    case 12: return ReloadStep(run);
    default: return LoadTextStep(run);
    }
}

// After every step: the text changed only if the step may change it, it is well-formed markup,
// and the table and positions agree with a separate parse.
void CheckAfterStep(SRun& run, int nOp, EStep step)
{
    const std::string strAfter(run.doc.GetText(), run.doc.GetTextLength());
    if (step != TEXT_MAY_CHANGE)
        FUZZ_CHECK(strAfter == run.strBefore);
    if (strAfter != run.strBefore || nOp >= 12)
        run.shadow = CShadowParser(strAfter).Run();
    FUZZ_CHECK(run.shadow.bOk);
    FUZZ_CHECK(run.doc.CheckWellFormed() == (run.shadow.nTops == 1));
    CheckTable(run.doc, run.shadow, &run.mapIndexOf);
    CheckNavigation(run.doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    FuzzedDataProvider fdp(pData, nSize);
    CXmlDocument doc;
    FUZZ_CHECK(!doc.LoadText(nullptr));
    FUZZ_CHECK(doc.GetError() == "Empty document");
    SRun run{fdp, doc, CShadowParser(doc.GetText()).Run(), {}, {}, 0, std::string(), SNav{0, 0, 0}};
    for (; run.nStep < 64 && fdp.remaining_bytes() > 0; ++run.nStep) {
        run.strBefore.assign(doc.GetText(), doc.GetTextLength());
        run.navBefore = SNav{doc.m_iPosParent, doc.m_iPos, doc.m_iPosChild};
        const int nOp = fdp.ConsumeIntegralInRange<int>(0, 13);
        const EStep step = RunOperation(run, nOp);
        if (step == STOP_RUN)
            return 0;
        CheckAfterStep(run, nOp, step);
    }
    return 0;
}
