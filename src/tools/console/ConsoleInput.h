// Commands read as lines of standard input by the console front ends of the tools.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A line of input without its line end; false at the end of input.
bool ReadInputLine(FILE* pIn, std::string& strLine);
// The line's first word, lower case, and the rest of the line with its leading blanks removed.
void SplitCommand(const std::string& strLine, std::string& strCommand, std::string& strRest);
// "on" or "off" (any case); anything else is neither.
bool ParseSwitch(const std::string& strWord, bool& bOn);
// A line of output in the console's code page.
void PrintLine(FILE* pOut, const std::string& strText);
