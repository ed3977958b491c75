// Character rules shared by the document editor and its loader. Text is 8-bit ISO-8859-1.
#pragma once

#include <cstddef>
#include <string>

bool IsXmlBlank(char c);
bool IsXmlNameStartChar(char c);
bool IsXmlNameChar(char c);
// A name the document may write as a tag or attribute name without breaking its markup.
bool IsXmlName(const char* psz, size_t nLen);

// A byte that stands for a character XML 1.0 can carry; in ISO-8859-1 only the control
// characters other than tab, line feed and carriage return are not.
bool IsXmlChar(char c);

// Appends psz to strOut with '<', '&' and '>' replaced by their entity references, and for
// attribute values also the apostrophe and the double quote. A byte that is no XML character
// becomes '.', whatever the caller passes; all other bytes are kept as they are.
void AppendEscapedXml(std::string& strOut, const char* psz, bool bAttribute);
