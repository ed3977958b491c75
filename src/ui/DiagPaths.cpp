// Where the interactive diagnosis keeps its reports and finds its pages.
#include "src/ui/DiagPaths.h"

#include <cstdio>

namespace {

std::string Directory(DWORD(WINAPI* pfnGet)(DWORD, LPSTR))
{
    char szPath[MAX_PATH] = "";
    DWORD cch = pfnGet(MAX_PATH, szPath);
    return cch != 0 && cch < MAX_PATH ? szPath : "";
}

}  // namespace

DiagPaths DiagPaths::ForThisProcess(LCID lcid)
{
    DiagPaths paths;
    paths.strBase = Directory(GetCurrentDirectoryA);
    paths.strXml = Directory(GetTempPathA) + "Status.xml";
    paths.strStylesheet = paths.strBase + "\\XML\\Status.xslt";
    paths.strHtml = paths.strBase + "\\HTML\\Status.htm";
    char szPage[MAX_PATH + 32];
    std::snprintf(szPage, sizeof szPage, "%s\\HTML\\Start%d.htm", paths.strBase.c_str(), static_cast<int>(lcid));
    paths.strStartPage = szPage;
    if (!CanOpenForReading(paths.strStartPage))
        paths.strStartPage = paths.strBase + "\\HTML\\Start.htm";
    return paths;
}

bool CanOpenForReading(const std::string& strPath)
{
    HANDLE hFile = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
}
