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

bool CXmlDocument::IndexText()
{
    const std::string& s = m_strDoc;
    const size_t n = s.size();
    const CMarkupScanner scan(s);
    std::vector<int> aOpen;
    bool bSeenElement = false;
    bool bSeenDoctype = false;
    const char* pszProblem = nullptr;
    size_t p = 0;
    // The document writes no byte that is no XML character, so it loads none either.
    while (p < n && IsXmlChar(s[p]))
        ++p;
    if (p < n)
        pszProblem = "Character not allowed in XML";
    else
        p = 0;

    while (p < n && pszProblem == nullptr) {
        if (s[p] != '<') {
            size_t q = s.find('<', p);
            if (q == std::string::npos)
                q = n;
            if (aOpen.empty()) {
                p = scan.SkipBlanks(p);
                if (p < q)
                    pszProblem = "Text outside the top element";
            } else {
                const size_t nBad = scan.CheckCharData(p, q, bSeenDoctype, true);
                if (nBad != std::string::npos) {
                    p = nBad;
                    pszProblem = "Invalid reference or ']]>' in text";
                }
            }
            if (pszProblem == nullptr)
                p = q;
            continue;
        }
        if (scan.StartsWith(p, "<!--")) {
            const size_t q = s.find("-->", p + 4);
            if (q == std::string::npos)
                pszProblem = "Unterminated comment";
            else if (s.find("--", p + 4) < q)
                pszProblem = "'--' inside a comment";
            else
                p = q + 3;
            continue;
        }
        if (scan.StartsWith(p, "<![CDATA[")) {
            const size_t q = s.find("]]>", p + 9);
            if (aOpen.empty())
                pszProblem = "CDATA section outside the top element";
            else if (q == std::string::npos)
                pszProblem = "Unterminated CDATA section";
            else
                p = q + 3;
            continue;
        }
        if (scan.StartsWith(p, "<!DOCTYPE")) {
            if (bSeenElement || bSeenDoctype) {
                pszProblem = "Misplaced document type declaration";
                continue;
            }
            // Skip to the closing '>' outside quotes and the internal subset.
            size_t q = p + 9;
            int nDepth = 0;
            char cQuote = 0;
            for (; q < n; ++q) {
                const char c = s[q];
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
            if (q >= n)
                pszProblem = "Unterminated document type declaration";
            else
                p = q + 1;
            bSeenDoctype = true;
            continue;
        }
        if (scan.StartsWith(p, "<?")) {
            const size_t nTarget = scan.NameLength(p + 2);
            const size_t q = s.find("?>", p + 2);
            if (nTarget == 0)
                pszProblem = "Invalid processing instruction";
            else if (nTarget == 3 && (s[p + 2] | 0x20) == 'x' && (s[p + 3] | 0x20) == 'm' && (s[p + 4] | 0x20) == 'l' &&
                     p != 0)
                pszProblem = "Misplaced XML declaration";
            else if (q == std::string::npos)
                pszProblem = "Unterminated processing instruction";
            else
                p = q + 2;
            continue;
        }
        if (scan.At(p + 1) == '/') {
            const size_t nName = scan.NameLength(p + 2);
            const size_t q = scan.SkipBlanks(p + 2 + nName);
            if (aOpen.empty()) {
                pszProblem = "End tag without start tag";
            } else if (nName == 0 || scan.At(q) != '>') {
                pszProblem = "Malformed end tag";
            } else {
                SElementPos& e = m_aPos[aOpen.back()];
                if (e.StartTagLength() < nName + 2 || s.compare(e.nStart + 1, nName, s, p + 2, nName) != 0 ||
                    IsXmlNameChar(s[e.nStart + 1 + nName])) {
                    pszProblem = "End tag does not match start tag";
                } else if (q + 1 - p > SElementPos::TAG_END_MAX) {
                    pszProblem = "End tag too long";
                } else {
                    e.SetTagLengths(e.StartTagLength(), uint32_t(q + 1 - p));
                    e.nLength = uint32_t(q + 1 - e.nStart);
                    aOpen.pop_back();
                    p = q + 1;
                }
            }
            continue;
        }

        // Start tag or empty-element tag.
        const size_t nName = scan.NameLength(p + 1);
        if (nName == 0) {
            pszProblem = "Invalid markup";
            continue;
        }
        if (nName > MAX_NAME_LENGTH) {
            pszProblem = "Name too long";
            continue;
        }
        std::vector<std::pair<size_t, size_t>> aAttrNames;
        size_t q = p + 1 + nName;
        bool bEmpty = false;
        for (;;) {
            const size_t nBlank = q;
            q = scan.SkipBlanks(q);
            if (q >= n) {
                pszProblem = "Unterminated start tag";
                break;
            }
            if (s[q] == '>') {
                ++q;
                break;
            }
            if (s[q] == '/') {
                if (scan.At(q + 1) != '>')
                    pszProblem = "Malformed start tag";
                q += 2;
                bEmpty = true;
                break;
            }
            const size_t nAttr = scan.NameLength(q);
            if (q == nBlank || nAttr == 0) {
                pszProblem = "Malformed attribute";
                break;
            }
            for (const auto& prev : aAttrNames) {
                if (prev.second == nAttr && s.compare(prev.first, nAttr, s, q, nAttr) == 0)
                    pszProblem = "Duplicate attribute";
            }
            if (pszProblem != nullptr)
                break;
            aAttrNames.emplace_back(q, nAttr);
            q = scan.SkipBlanks(q + nAttr);
            if (scan.At(q) != '=') {
                pszProblem = "Attribute without value";
                break;
            }
            q = scan.SkipBlanks(q + 1);
            const char cQuote = scan.At(q);
            if (cQuote != '"' && cQuote != '\'') {
                pszProblem = "Unquoted attribute value";
                break;
            }
            const size_t nClose = s.find(cQuote, q + 1);
            if (nClose == std::string::npos) {
                pszProblem = "Unterminated attribute value";
                break;
            }
            const size_t nLt = s.find('<', q + 1);
            if ((nLt != std::string::npos && nLt < nClose) ||
                scan.CheckCharData(q + 1, nClose, bSeenDoctype, false) != std::string::npos) {
                pszProblem = "Invalid attribute value";
                break;
            }
            q = nClose + 1;
        }
        if (pszProblem != nullptr)
            continue;
        if (q - p > SElementPos::TAG_START_MASK) {
            pszProblem = "Start tag too long";
            continue;
        }
        if (aOpen.size() + 1 > SElementPos::EP_LEVEL_MASK) {
            pszProblem = "Elements nested too deeply";
            continue;
        }
        const int iNew = NewEntry();
        SElementPos& e = m_aPos[iNew];
        e.nStart = uint32_t(p);
        e.nLength = uint32_t(q - p);
        e.SetTagLengths(uint32_t(q - p), 0);
        e.SetLevel(uint32_t(aOpen.size() + 1));
        LinkElement(iNew, aOpen.empty() ? 0 : aOpen.back(), 0, false);
        if (!bEmpty)
            aOpen.push_back(iNew);
        bSeenElement = true;
        p = q;
    }

    if (pszProblem == nullptr && !aOpen.empty()) {
        p = m_aPos[aOpen.back()].nStart;
        pszProblem = "Element not closed";
    }
    if (pszProblem != nullptr) {
        // Forget the partial index: navigation finds nothing and the document reports itself
        // ill-formed.
        ResetTable();
        m_aPos[0].nFlags |= SElementPos::EP_ILL_FORMED;
        m_strError = std::string(pszProblem) + " at offset " + std::to_string(p);
        return false;
    }
    if (!bSeenElement) {
        m_strError = "No element";
        return false;
    }
    if (!CheckWellFormed()) {
        m_strError = "More than one top element";
        return false;
    }
    return true;
}
