// Stands in for the upper-case table Windows compares names with: 8-bit names of the ANSI code page.
#pragma once

#include <string>

namespace lab::host {

// Upper case in Windows-1252, which is how the registry and the file system compare ANSI names.
unsigned char FoldAnsi(unsigned char c);
std::string FoldedAnsi(const std::string& text);
bool SameAnsiName(const std::string& a, const std::string& b);

}  // namespace lab::host
