// Text helpers the capture steps share.
#include "src/capture/Capture.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <vector>

std::string FormatText(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    va_list copy;
    va_copy(copy, args);
    int cch = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    std::vector<char> buffer(cch > 0 ? cch + 1 : 1);
    std::vsnprintf(buffer.data(), buffer.size(), pszFormat, args);
    va_end(args);
    return std::string(buffer.data());
}

std::string QuoteIfNeeded(const std::string& strValue)
{
    bool bQuote = !strValue.empty() && (strValue.front() == '"' || std::isspace(static_cast<unsigned char>(strValue.front())) ||
                                        std::isspace(static_cast<unsigned char>(strValue.back())));
    for (unsigned char c : strValue)
        if (c < 0x20 || c == 0x7F)
            bQuote = true;
    if (!bQuote)
        return strValue;
    std::string strOut = "\"";
    for (unsigned char c : strValue) {
        if (c == '\\' || c == '"')
            strOut += std::string("\\") + static_cast<char>(c);
        else if (c == '\t')
            strOut += "\\t";
        else if (c == '\n')
            strOut += "\\n";
        else if (c == '\r')
            strOut += "\\r";
        else if (c < 0x20 || c == 0x7F)
            strOut += FormatText("\\x%02X", c);
        else
            strOut += static_cast<char>(c);
    }
    return strOut + "\"";
}

void SCapture::AddFile(const std::string& strPath)
{
    std::string strKey;
    for (char c : strPath)
        strKey += static_cast<char>(std::toupper(static_cast<unsigned char>(c == '/' ? '\\' : c)));
    if (fileKeys.insert(strKey).second)
        files.insert(strPath);
}
