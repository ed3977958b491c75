// Reading a check's output: a document holding only Root, and an element's text cut from it.
#pragma once

#include "src/xml/XmlDocument.h"

#include <string>

namespace testsupport {

// A report document as a check finds it when it runs first.
inline void StartReport(CXmlDocument& doc)
{
    doc.LoadText(nullptr);
    doc.AddElement("Root", nullptr, 0);
}

// The first element named strName with everything in it, from its start tag to its end tag; "" when absent.
inline std::string ElementText(const std::string& strText, const std::string& strName)
{
    size_t nStart = strText.find("<" + strName);
    while (nStart != std::string::npos) {
        char chNext = strText[nStart + 1 + strName.size()];
        if (chNext == '>' || chNext == ' ' || chNext == '/')
            break;
        nStart = strText.find("<" + strName, nStart + 1);
    }
    if (nStart == std::string::npos)
        return "";
    size_t nOpenEnd = strText.find('>', nStart);
    if (strText[nOpenEnd - 1] == '/')
        return strText.substr(nStart, nOpenEnd + 1 - nStart);
    std::string strClose = "</" + strName + ">";
    size_t nEnd = strText.find(strClose, nOpenEnd);
    return nEnd == std::string::npos ? "" : strText.substr(nStart, nEnd + strClose.size() - nStart);
}

// How often strNeedle occurs in strText.
inline size_t Count(const std::string& strText, const std::string& strNeedle)
{
    size_t nCount = 0;
    for (size_t n = strText.find(strNeedle); n != std::string::npos; n = strText.find(strNeedle, n + 1))
        ++nCount;
    return nCount;
}

}  // namespace testsupport
