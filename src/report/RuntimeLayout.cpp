// The runtime directory's layout.
#include "src/report/RuntimeLayout.h"

#include "src/platform/ScopedHandle.h"

#include <cstdio>

const char RUNTIME_STYLESHEET[] = "XML\\Status.xslt";
const char RUNTIME_XSLT_PROCESSOR[] = "Xalan\\xslt.exe";
const char RUNTIME_HTML_REPORT[] = "HTML\\Status.htm";
const char RUNTIME_START_PAGE_FORMAT[] = "HTML\\Start%d.htm";
const char RUNTIME_START_PAGE[] = "HTML\\Start.htm";
const char RUNTIME_HELP_FORMAT[] = "Help%d.chm";
const char RUNTIME_ADAPTER_NAMES[] = ".\\Adapter.ini";

std::string RuntimeDirectory()
{
    char szDirectory[MAX_PATH] = "";
    DWORD cch = GetCurrentDirectoryA(MAX_PATH, szDirectory);
    return cch != 0 && cch < MAX_PATH ? szDirectory : "";
}

std::string RuntimePath(const char* pszRelative)
{
    return RuntimeDirectory() + "\\" + pszRelative;
}

std::string RuntimeLanguagePath(const char* pszFormat, LCID lcid)
{
    char szRelative[MAX_PATH];
    std::snprintf(szRelative, sizeof szRelative, pszFormat, static_cast<int>(lcid));
    return RuntimePath(szRelative);
}

bool CanOpenForReading(const std::string& strPath)
{
    CScopedHandle file(CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid();
}
