// Text of the program's ANSI code page as the console shows it.
#pragma once

#include <string>

// The text in the console's output code page; unchanged when it cannot be converted.
std::string ToConsoleText(const std::string& strText);
