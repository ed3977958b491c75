// Indexing of a loaded text: checks the markup and fills the position table in document order.
// Only the markup is checked; byte values are taken as they are, as everywhere in the document.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "src/xml/XmlDocument.h"
#include "src/xml/XmlText.h"

namespace {

const uint32_t MAX_NAME_LENGTH = SElementPos::TAG_END_MAX - 3;  // the end tag must fit its field

class CMarkupScanner {
public:
    explicit CMarkupScanner(const std::string& strText) : m_s(strText), m_n(strText.size()) {}

    bool StartsWith(size_t p, const char* psz) const { return m_s.compare(p, std::strlen(psz), psz) == 0; }
    char At(size_t p) const { return p < m_n ? m_s[p] : '\0'; }
    size_t SkipBlanks(size_t p) const
    {
        while (p < m_n && IsXmlBlank(m_s[p]))
            ++p;
        return p;
    }
    // Length of the name at p, 0 when there is none.
    size_t NameLength(size_t p) const
    {
        if (p >= m_n || !IsXmlNameStartChar(m_s[p]))
            return 0;
        size_t q = p + 1;
        while (q < m_n && IsXmlNameChar(m_s[q]))
            ++q;
        return q - p;
    }
    // A reference starting at the '&' at p; returns its end or 0 when it is malformed.
    size_t Reference(size_t p, bool bAnyEntity) const
    {
        size_t q = p + 1;
        if (At(q) == '#') {
            ++q;
            const bool bHex = At(q) == 'x';
            if (bHex)
                ++q;
            const size_t nDigits = q;
            while (q < m_n && IsDigit(m_s[q], bHex))
                ++q;
            if (q == nDigits)
                return 0;
        } else {
            const size_t nName = NameLength(q);
            if (nName == 0)
                return 0;
            const std::string strName = m_s.substr(q, nName);
            if (!bAnyEntity && strName != "lt" && strName != "gt" && strName != "amp" && strName != "apos" &&
                strName != "quot")
                return 0;
            q += nName;
        }
        return At(q) == ';' ? q + 1 : 0;
    }
    // Text in [p, q): references must be complete; in content "]]>" may not appear.
    size_t CheckCharData(size_t p, size_t q, bool bAnyEntity, bool bContent) const
    {
        for (size_t i = p; i < q; ++i) {
            if (m_s[i] == '&') {
                const size_t nEnd = Reference(i, bAnyEntity);
                if (nEnd == 0 || nEnd > q)
                    return i;
                i = nEnd - 1;
            } else if (bContent && m_s[i] == ']' && i + 3 <= q && StartsWith(i, "]]>")) {
                return i;
            }
        }
        return std::string::npos;
    }

private:
    static bool IsDigit(char c, bool bHex)
    {
        return (c >= '0' && c <= '9') || (bHex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    }

    const std::string& m_s;
    const size_t m_n;
};

}  // namespace

// One walk over the text, filling the document's position table; it stops at the first problem.
class CXmlDocument::CIndexer {
public:
    explicit CIndexer(CXmlDocument& doc)
        : m_doc(doc), m_s(doc.m_strDoc), m_n(doc.m_strDoc.size()), m_scan(doc.m_strDoc), m_p(0),
          m_bSeenElement(false), m_bSeenDoctype(false)
    {
    }

    // nullptr when the whole text is well-formed markup; otherwise what is wrong at Offset().
    const char* Walk();
    size_t Offset() const { return m_p; }
    bool SeenElement() const { return m_bSeenElement; }

private:
    // Each step reads the text or markup at m_p. On success m_p moves past it and the result is
    // nullptr; otherwise the result says what is wrong and m_p is where.
    const char* Step();
    const char* Text();
    const char* Comment();
    const char* CData();
    const char* Doctype();
    const char* ProcessingInstruction();
    const char* EndTag();
    const char* StartTag();
    // From the end of a start tag's name to just past its '>'; q moves along.
    const char* Attributes(size_t& q, bool& bEmpty) const;
    const char* Attribute(size_t& q, std::vector<std::pair<size_t, size_t>>& aNames) const;

    CXmlDocument& m_doc;
    const std::string& m_s;
    const size_t m_n;
    const CMarkupScanner m_scan;
    size_t m_p;
    std::vector<int> m_aOpen;  // the elements whose end tag is still to come, innermost last
    bool m_bSeenElement;
    bool m_bSeenDoctype;
};

const char* CXmlDocument::CIndexer::Walk()
{
    // The document writes no byte that is no XML character, so it loads none either.
    while (m_p < m_n && IsXmlChar(m_s[m_p]))
        ++m_p;
    if (m_p < m_n)
        return "Character not allowed in XML";
    m_p = 0;
    while (m_p < m_n) {
        if (const char* pszProblem = Step())
            return pszProblem;
    }
    if (!m_aOpen.empty()) {
        m_p = m_doc.m_aPos[m_aOpen.back()].nStart;
        return "Element not closed";
    }
    return nullptr;
}

const char* CXmlDocument::CIndexer::Step()
{
    if (m_s[m_p] != '<')
        return Text();
    if (m_scan.StartsWith(m_p, "<!--"))
        return Comment();
    if (m_scan.StartsWith(m_p, "<![CDATA["))
        return CData();
    if (m_scan.StartsWith(m_p, "<!DOCTYPE"))
        return Doctype();
    if (m_scan.StartsWith(m_p, "<?"))
        return ProcessingInstruction();
    if (m_scan.At(m_p + 1) == '/')
        return EndTag();
    return StartTag();
}

const char* CXmlDocument::CIndexer::Text()
{
    size_t q = m_s.find('<', m_p);
    if (q == std::string::npos)
        q = m_n;
    if (m_aOpen.empty()) {
        m_p = m_scan.SkipBlanks(m_p);
        if (m_p < q)
            return "Text outside the top element";
    } else {
        const size_t nBad = m_scan.CheckCharData(m_p, q, m_bSeenDoctype, true);
        if (nBad != std::string::npos) {
            m_p = nBad;
            return "Invalid reference or ']]>' in text";
        }
    }
    m_p = q;
    return nullptr;
}

const char* CXmlDocument::CIndexer::Comment()
{
    const size_t q = m_s.find("-->", m_p + 4);
    if (q == std::string::npos)
        return "Unterminated comment";
    if (m_s.find("--", m_p + 4) < q)
        return "'--' inside a comment";
    m_p = q + 3;
    return nullptr;
}

const char* CXmlDocument::CIndexer::CData()
{
    const size_t q = m_s.find("]]>", m_p + 9);
    if (m_aOpen.empty())
        return "CDATA section outside the top element";
    if (q == std::string::npos)
        return "Unterminated CDATA section";
    m_p = q + 3;
    return nullptr;
}

const char* CXmlDocument::CIndexer::Doctype()
{
    if (m_bSeenElement || m_bSeenDoctype)
        return "Misplaced document type declaration";
    m_bSeenDoctype = true;
    // Skip to the closing '>' outside quotes and the internal subset.
    size_t q = m_p + 9;
    int nDepth = 0;
    char cQuote = 0;
    for (; q < m_n; ++q) {
        const char c = m_s[q];
        if (cQuote != 0) {
            if (c == cQuote)
                cQuote = 0;
        } else if (c == '"' || c == '\'') {
            cQuote = c;
        } else if (c == '[') {
            ++nDepth;
        } else if (c == ']') {
            --nDepth;
        } else if (c == '>' && nDepth <= 0) {
            break;
        }
    }
    if (q >= m_n)
        return "Unterminated document type declaration";
    m_p = q + 1;
    return nullptr;
}

const char* CXmlDocument::CIndexer::ProcessingInstruction()
{
    const size_t p = m_p;
    const size_t nTarget = m_scan.NameLength(p + 2);
    const size_t q = m_s.find("?>", p + 2);
    if (nTarget == 0)
        return "Invalid processing instruction";
    if (nTarget == 3 && (m_s[p + 2] | 0x20) == 'x' && (m_s[p + 3] | 0x20) == 'm' && (m_s[p + 4] | 0x20) == 'l' &&
        p != 0)
        return "Misplaced XML declaration";
    if (q == std::string::npos)
        return "Unterminated processing instruction";
    m_p = q + 2;
    return nullptr;
}

const char* CXmlDocument::CIndexer::EndTag()
{
    const size_t p = m_p;
    const size_t nName = m_scan.NameLength(p + 2);
    const size_t q = m_scan.SkipBlanks(p + 2 + nName);
    if (m_aOpen.empty())
        return "End tag without start tag";
    if (nName == 0 || m_scan.At(q) != '>')
        return "Malformed end tag";
    SElementPos& e = m_doc.m_aPos[m_aOpen.back()];
    if (e.StartTagLength() < nName + 2 || m_s.compare(e.nStart + 1, nName, m_s, p + 2, nName) != 0 ||
        IsXmlNameChar(m_s[e.nStart + 1 + nName]))
        return "End tag does not match start tag";
    if (q + 1 - p > SElementPos::TAG_END_MAX)
        return "End tag too long";
    e.SetTagLengths(e.StartTagLength(), uint32_t(q + 1 - p));
    e.nLength = uint32_t(q + 1 - e.nStart);
    m_aOpen.pop_back();
    m_p = q + 1;
    return nullptr;
}

// A start tag or an empty-element tag.
const char* CXmlDocument::CIndexer::StartTag()
{
    const size_t p = m_p;
    const size_t nName = m_scan.NameLength(p + 1);
    if (nName == 0)
        return "Invalid markup";
    if (nName > MAX_NAME_LENGTH)
        return "Name too long";
    size_t q = p + 1 + nName;
    bool bEmpty = false;
    if (const char* pszProblem = Attributes(q, bEmpty))
        return pszProblem;
    if (q - p > SElementPos::TAG_START_MASK)
        return "Start tag too long";
    if (m_aOpen.size() + 1 > SElementPos::EP_LEVEL_MASK)
        return "Elements nested too deeply";
    const int iNew = m_doc.NewEntry();
    SElementPos& e = m_doc.m_aPos[iNew];
    e.nStart = uint32_t(p);
    e.nLength = uint32_t(q - p);
    e.SetTagLengths(uint32_t(q - p), 0);
    e.SetLevel(uint32_t(m_aOpen.size() + 1));
    m_doc.LinkElement(iNew, m_aOpen.empty() ? 0 : m_aOpen.back(), 0, false);
    if (!bEmpty)
        m_aOpen.push_back(iNew);
    m_bSeenElement = true;
    m_p = q;
    return nullptr;
}

const char* CXmlDocument::CIndexer::Attributes(size_t& q, bool& bEmpty) const
{
    std::vector<std::pair<size_t, size_t>> aNames;  // offset and length of each name so far
    for (;;) {
        const size_t nBlank = q;
        q = m_scan.SkipBlanks(q);
        if (q >= m_n)
            return "Unterminated start tag";
        if (m_s[q] == '>') {
            ++q;
            return nullptr;
        }
        if (m_s[q] == '/') {
            bEmpty = true;
            const bool bClosed = m_scan.At(q + 1) == '>';
            q += 2;
            return bClosed ? nullptr : "Malformed start tag";
        }
        if (q == nBlank)
            return "Malformed attribute";
        if (const char* pszProblem = Attribute(q, aNames))
            return pszProblem;
    }
}

const char* CXmlDocument::CIndexer::Attribute(size_t& q, std::vector<std::pair<size_t, size_t>>& aNames) const
{
    const size_t nAttr = m_scan.NameLength(q);
    if (nAttr == 0)
        return "Malformed attribute";
    for (const auto& prev : aNames) {
        if (prev.second == nAttr && m_s.compare(prev.first, nAttr, m_s, q, nAttr) == 0)
            return "Duplicate attribute";
    }
    aNames.emplace_back(q, nAttr);
    q = m_scan.SkipBlanks(q + nAttr);
    if (m_scan.At(q) != '=')
        return "Attribute without value";
    q = m_scan.SkipBlanks(q + 1);
    const char cQuote = m_scan.At(q);
    if (cQuote != '"' && cQuote != '\'')
        return "Unquoted attribute value";
    const size_t nClose = m_s.find(cQuote, q + 1);
    if (nClose == std::string::npos)
        return "Unterminated attribute value";
    const size_t nLt = m_s.find('<', q + 1);
    if ((nLt != std::string::npos && nLt < nClose) ||
        m_scan.CheckCharData(q + 1, nClose, m_bSeenDoctype, false) != std::string::npos)
        return "Invalid attribute value";
    q = nClose + 1;
    return nullptr;
}

bool CXmlDocument::IndexText()
{
    CIndexer indexer(*this);
    if (const char* pszProblem = indexer.Walk()) {
        // Forget the partial index: navigation finds nothing and the document reports itself
        // ill-formed.
        ResetTable();
        m_aPos[0].nFlags |= SElementPos::EP_ILL_FORMED;
        m_strError = std::string(pszProblem) + " at offset " + std::to_string(indexer.Offset());
        return false;
    }
    if (!indexer.SeenElement()) {
        m_strError = "No element";
        return false;
    }
    if (!CheckWellFormed()) {
        m_strError = "More than one top element";
        return false;
    }
    return true;
}
