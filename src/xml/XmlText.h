// Character rules shared by the document editor and its loader. Text is 8-bit ISO-8859-1.
#pragma once

#include <cstddef>
#include <string>

bool IsXmlBlank(char c);
bool IsXmlNameStartChar(char c);
bool IsXmlNameChar(char c);
// A name the document may write as a tag or attribute name without breaking its markup.
bool IsXmlName(const char* psz, size_t nLen);

// Appends psz to strOut with '<', '&' and '>' replaced by their entity references, and for
// attribute values also the apostrophe and the double quote. All other bytes are kept as they are.
void AppendEscapedXml(std::string& strOut, const char* psz, bool bAttribute);
