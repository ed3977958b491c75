// Which bytes XML can carry and how texts and attribute values are escaped.
#include "src/xml/XmlText.h"

#include <cstring>

bool IsXmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsXmlChar(char c)
{
    return static_cast<unsigned char>(c) >= 0x20 || IsXmlBlank(c);
}

// The XML name characters restricted to the Latin-1 range the report is declared in.
bool IsXmlNameStartChar(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u == ':')
        return true;
    return u >= 0xC0 && u != 0xD7 && u != 0xF7;
}

bool IsXmlNameChar(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return IsXmlNameStartChar(c) || (u >= '0' && u <= '9') || u == '-' || u == '.' || u == 0xB7;
}

bool IsXmlName(const char* psz, size_t nLen)
{
    if (psz == nullptr || nLen == 0 || !IsXmlNameStartChar(psz[0]))
        return false;
    for (size_t i = 1; i < nLen; ++i) {
        if (!IsXmlNameChar(psz[i]))
            return false;
    }
    return true;
}

void AppendEscapedXml(std::string& strOut, const char* psz, bool bAttribute)
{
    if (psz == nullptr)
        return;
    const size_t nLen = std::strlen(psz);
    // Most report texts need no or few replacements; a tenth more avoids a second allocation.
    strOut.reserve(strOut.size() + nLen + nLen / 10 + 7);
    const char* pRun = psz;
    for (const char* p = psz; *p != '\0'; ++p) {
        const char* pszReplacement = nullptr;
        switch (*p) {
        case '<': pszReplacement = "&lt;"; break;
        case '&': pszReplacement = "&amp;"; break;
        case '>': pszReplacement = "&gt;"; break;
        case '\'': pszReplacement = bAttribute ? "&apos;" : nullptr; break;
        case '"': pszReplacement = bAttribute ? "&quot;" : nullptr; break;
        default: pszReplacement = IsXmlChar(*p) ? nullptr : "."; break;
        }
        if (pszReplacement != nullptr) {
            strOut.append(pRun, size_t(p - pRun));
            strOut.append(pszReplacement);
            pRun = p + 1;
        }
    }
    strOut.append(pRun);
}
