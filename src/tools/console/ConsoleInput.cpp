// Commands read as lines of standard input by the console front ends of the tools.
#include "src/tools/console/ConsoleInput.h"

#include "src/platform/ConsoleText.h"
#include "src/platform/Win32.h"

#include <cctype>

bool ReadInputLine(FILE* pIn, std::string& strLine)
{
    char szLine[MAX_PATH + 2];
    if (!std::fgets(szLine, sizeof szLine, pIn))
        return false;
    strLine = szLine;
    while (!strLine.empty() && (strLine.back() == '\n' || strLine.back() == '\r'))
        strLine.pop_back();
    return true;
}

void SplitCommand(const std::string& strLine, std::string& strCommand, std::string& strRest)
{
    size_t nStart = strLine.find_first_not_of(" \t");
    if (nStart == std::string::npos) {
        strCommand.clear();
        strRest.clear();
        return;
    }
    size_t nEnd = strLine.find_first_of(" \t", nStart);
    strCommand = strLine.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
    for (char& c : strCommand)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t nRest = nEnd == std::string::npos ? std::string::npos : strLine.find_first_not_of(" \t", nEnd);
    strRest = nRest == std::string::npos ? std::string() : strLine.substr(nRest);
}

bool ParseSwitch(const std::string& strWord, bool& bOn)
{
    if (lstrcmpiA(strWord.c_str(), "on") == 0)
        bOn = true;
    else if (lstrcmpiA(strWord.c_str(), "off") == 0)
        bOn = false;
    else
        return false;
    return true;
}

void PrintLine(FILE* pOut, const std::string& strText)
{
    std::fprintf(pOut, "%s\n", ToConsoleText(strText).c_str());
    std::fflush(pOut);
}
