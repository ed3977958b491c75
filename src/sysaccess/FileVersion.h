// CFileVersion: the version resource of one file at a time, and its string values.
#pragma once

#include "src/platform/Win32.h"

#include <string>
#include <vector>

class CFileVersion {
public:
    CFileVersion();

    // Both fall back to the WOW64 system directory for a file named under the
    // system directory that is not found there: a 32-bit view of a 64-bit host.
    DWORD GetVersionInfoSize(LPCSTR pszFile);
    BOOL GetVersionInfo(LPCSTR pszFile, DWORD dwSize, LPVOID pData);

    // Finds a translation of the resource: the first one (wLanguage 0) or the
    // first of wLanguage. Sets wLanguage and wCodePage to the one found.
    static bool ContainsLanguageId(LPCVOID pResource, WORD& wLanguage, WORD& wCodePage);

    // The value pszName of the file's string table in wLanguage (0 = the first
    // listed), or "". Valid until the next call.
    LPCSTR GetVersionString(LPCSTR pszFile, LPCSTR pszName, WORD wLanguage = 0);

    // The same in two steps, for several values of one file: Load, then QueryString.
    bool Load(LPCSTR pszFile);
    LPCSTR QueryString(LPCSTR pszName, WORD wLanguage = 0);

    DWORD LastError() const { return m_dwLastError; }

private:
    std::vector<BYTE> m_Resource;
    DWORD m_dwLastError;
    std::string m_strValue;
};
