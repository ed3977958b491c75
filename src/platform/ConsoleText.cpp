// Text of the program's ANSI code page as the console shows it.
#include "src/platform/ConsoleText.h"

#include "src/platform/Win32.h"

#include <vector>

std::string ToConsoleText(const std::string& strText)
{
    if (strText.empty())
        return strText;
    int cch = MultiByteToWideChar(CP_ACP, 0, strText.c_str(), static_cast<int>(strText.size()), nullptr, 0);
    if (cch <= 0)
        return strText;
    std::vector<WCHAR> wide(static_cast<size_t>(cch));
    MultiByteToWideChar(CP_ACP, 0, strText.c_str(), static_cast<int>(strText.size()), wide.data(), cch);
    UINT uCodePage = GetConsoleOutputCP();
    int cb = WideCharToMultiByte(uCodePage, 0, wide.data(), cch, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return strText;
    std::string strOut(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(uCodePage, 0, wide.data(), cch, &strOut[0], cb, nullptr, nullptr);
    return strOut;
}
