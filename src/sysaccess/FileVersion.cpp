// CFileVersion: the version resource of one file at a time, and its string values.
#include "src/sysaccess/FileVersion.h"

#include "src/platform/ScopedHandle.h"
#include "src/trace/FileDebug.h"

#include <cstdio>
#include <cstring>

namespace {

typedef UINT(WINAPI* PFN_GETSYSTEMWOW64DIRECTORYA)(LPSTR, UINT);

// The path in the WOW64 system directory for a path under the system directory; false when there is none.
bool Wow64Path(LPCSTR pszFile, std::string& strWow64, bool bTrace)
{
    char szSystem[MAX_PATH];
    UINT cchSystem = GetSystemDirectoryA(szSystem, sizeof szSystem);
    if (cchSystem == 0 || cchSystem >= sizeof szSystem)
        return false;
    if (bTrace)
        TRACE(3, "\n                    : System dir is: \"%s\"", szSystem);
    if (!std::strstr(pszFile, szSystem))
        return false;
    // The remainder is counted from the start of the path, wherever the directory was found.
    LPCSTR pszRest = std::strlen(pszFile) >= cchSystem ? pszFile + cchSystem : "";
    if (bTrace)
        TRACE(3, "\n                    : Module system location is: \"%s\"", pszRest);

    HMODULE hKernel32 = GetModuleHandleA("kernel32.dll");
    PFN_GETSYSTEMWOW64DIRECTORYA pfnWow64Directory =
        hKernel32 ? ResolveProc<PFN_GETSYSTEMWOW64DIRECTORYA>(hKernel32, "GetSystemWow64DirectoryA") : nullptr;
    char szWow64[MAX_PATH];
    if (!pfnWow64Directory)
        return false;
    UINT cchWow64 = pfnWow64Directory(szWow64, sizeof szWow64);
    if (cchWow64 == 0 || cchWow64 >= sizeof szWow64)
        return false;

    char szPath[2 * MAX_PATH];
    std::snprintf(szPath, sizeof szPath, "%s%s", szWow64, pszRest);
    strWow64 = szPath;
    if (bTrace)
        TRACE(3, "\n                    : Check WOW64 system path: \"%s\"", szPath);
    return true;
}

}  // namespace

CFileVersion::CFileVersion() : m_dwLastError(0) {}

DWORD CFileVersion::GetVersionInfoSize(LPCSTR pszFile)
{
    DWORD dwHandle = 0;
    DWORD dwSize = GetFileVersionInfoSizeA(pszFile, &dwHandle);
    std::string strWow64;
    if (dwSize == 0 && GetLastError() == ERROR_FILE_NOT_FOUND && Wow64Path(pszFile, strWow64, true))
        dwSize = GetFileVersionInfoSizeA(strWow64.c_str(), &dwHandle);
    if (dwSize == 0)
        TRACE(1, "\n                    : ERROR 0x%X! GetFileVersionInfoSize() (\"%s\") FAILED!",
              static_cast<unsigned>(GetLastError()), pszFile);
    return dwSize;
}

BOOL CFileVersion::GetVersionInfo(LPCSTR pszFile, DWORD dwSize, LPVOID pData)
{
    if (GetFileVersionInfoA(pszFile, 0, dwSize, pData))
        return TRUE;
    std::string strWow64;
    if (GetLastError() == ERROR_FILE_NOT_FOUND && Wow64Path(pszFile, strWow64, false))
        return GetFileVersionInfoA(strWow64.c_str(), 0, dwSize, pData);
    return FALSE;
}

bool CFileVersion::ContainsLanguageId(LPCVOID pResource, WORD& wLanguage, WORD& wCodePage)
{
    LPVOID pTranslations = nullptr;
    UINT cbTranslations = 0;
    if (!VerQueryValueA(pResource, "\\VarFileInfo\\Translation", &pTranslations, &cbTranslations) ||
        !pTranslations)
        return false;
    const WORD* pPairs = static_cast<const WORD*>(pTranslations);
    for (UINT i = 0; i + 1 < cbTranslations / sizeof(WORD); i += 2) {
        if (wLanguage == 0 || pPairs[i] == wLanguage) {
            wLanguage = pPairs[i];
            wCodePage = pPairs[i + 1];
            return true;
        }
    }
    return false;
}

LPCSTR CFileVersion::GetVersionString(LPCSTR pszFile, LPCSTR pszName, WORD wLanguage)
{
    return Load(pszFile) ? QueryString(pszName, wLanguage) : m_strValue.c_str();
}

bool CFileVersion::Load(LPCSTR pszFile)
{
    m_strValue.clear();
    m_Resource.clear();

    DWORD dwSize = GetVersionInfoSize(pszFile);
    if (dwSize != 0)
        m_Resource.assign(dwSize, 0);
    if (dwSize == 0 || !GetVersionInfo(pszFile, dwSize, m_Resource.data())) {
        m_dwLastError = GetLastError();
        TRACE(1, "\n                    : ERROR 0x%X! GetVersionInfo() FAILED!",
              static_cast<unsigned>(m_dwLastError));
        m_Resource.clear();
        return false;
    }
    m_dwLastError = 0;
    return true;
}

LPCSTR CFileVersion::QueryString(LPCSTR pszName, WORD wLanguage)
{
    m_strValue.clear();
    if (m_Resource.empty())
        return m_strValue.c_str();

    WORD wCodePage = 0;
    if (!ContainsLanguageId(m_Resource.data(), wLanguage, wCodePage)) {
        m_dwLastError = GetLastError();
        TRACE(1, "\n                    : ERROR 0x%X! ContainsLanguageId() FAILED!",
              static_cast<unsigned>(m_dwLastError));
        return m_strValue.c_str();
    }

    char szQuery[MAX_PATH];
    std::snprintf(szQuery, sizeof szQuery, "\\StringFileInfo\\%04X%04X\\%s", wLanguage, wCodePage, pszName);
    LPVOID pValue = nullptr;
    UINT cchValue = 0;
    if (VerQueryValueA(m_Resource.data(), szQuery, &pValue, &cchValue) && pValue) {
        // The length counts the terminator when there is one; take the text up to it.
        m_strValue.assign(static_cast<const char*>(pValue), strnlen(static_cast<const char*>(pValue), cchValue));
        m_dwLastError = 0;
    } else {
        m_dwLastError = GetLastError();
    }
    return m_strValue.c_str();
}
