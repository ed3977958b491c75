// Text helpers the capture steps share.
#include "src/capture/Capture.h"

#include <algorithm>
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
    std::vector<std::string>& spellings = files[strKey];
    if (std::find(spellings.begin(), spellings.end(), strPath) == spellings.end())
        spellings.push_back(strPath);
}

std::string ImageFilePath(const std::string& strImagePath)
{
    std::string strPath = strImagePath;
    if (!strPath.empty() && strPath[0] == '"') {
        size_t nEnd = strPath.find('"', 1);
        strPath = strPath.substr(1, nEnd == std::string::npos ? std::string::npos : nEnd - 1);
    } else {
        // An unquoted path ends at the first blank after its extension.
        size_t nDot = strPath.rfind('.', strPath.find(' ', strPath.find_last_of('\\') + 1));
        size_t nBlank = strPath.find(' ', nDot == std::string::npos ? 0 : nDot);
        if (nBlank != std::string::npos)
            strPath.resize(nBlank);
    }
    if (strPath.compare(0, 4, "\\??\\") == 0)
        strPath.erase(0, 4);
    if (strPath.size() > 12 && lstrcmpiA(strPath.substr(0, 12).c_str(), "\\SystemRoot\\") == 0)
        strPath = "%SystemRoot%" + strPath.substr(11);
    char szExpanded[MAX_PATH * 2] = "";
    DWORD cch = ExpandEnvironmentStringsA(strPath.c_str(), szExpanded, sizeof szExpanded);
    if (cch > 0 && cch <= sizeof szExpanded)
        strPath = szExpanded;
    return strPath.size() > 2 && strPath[1] == ':' ? strPath : std::string();
}
