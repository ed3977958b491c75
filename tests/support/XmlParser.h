// Whether libxml2, a parser independent of the program's own document, accepts a text as XML.
#pragma once

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <string>

namespace testsupport {

// "" when the text is well-formed XML, else libxml2's first complaint.
inline std::string XmlParseError(const std::string& strText)
{
    xmlResetLastError();
    xmlDocPtr pDoc = xmlReadMemory(strText.data(), static_cast<int>(strText.size()), "report.xml", nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (pDoc) {
        xmlFreeDoc(pDoc);
        return "";
    }
    const xmlError* pError = xmlGetLastError();
    return pError && pError->message ? pError->message : "not well-formed";
}

}  // namespace testsupport
