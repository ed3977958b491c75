// Where the agents and their base service are installed, and which agent product Windows Installer knows.
#include "src/sysaccess/InstallInfo.h"

#include "src/platform/ScopedHandle.h"
#include "src/sysaccess/RegistryKey.h"

#include <cstring>

namespace {

// The agents' installers record their registry roots here.
const char INSTALL_REGISTRATION_KEY[] = "SYSTEM\\CurrentControlSet\\Control\\UUID\\C3681B60-0D26-11D3-8319-00A0C9B61E25";
const char DEFAULT_AGENT_ROOT[] = "SOFTWARE\\Brennock";
const char DEFAULT_RAVELIN_ROOT[] = "SOFTWARE\\Brennock\\Management\\Ravelin";

// Codes of the agent product over its releases, newest first.
const char* const AGENT_PRODUCT_CODES[] = {
    "{C8D76C36-5739-489D-BF03-9E58B3F89C09}",
    "{741234C2-F479-436C-A522-BACCE73B9BF4}",
    "{E49AA31B-B88B-4187-B0A0-C0A4FD7EBD5A}",
};

void StripTrailingBackslash(char* pszPath)
{
    size_t nLength = std::strlen(pszPath);
    if (nLength != 0 && pszPath[nLength - 1] == '\\')
        pszPath[nLength - 1] = '\0';
}

// The fixed buffers of the installation data cut what does not fit, as the agents' own tools do.
void CopyCut(char* pszOut, size_t cbOut, const std::string& strText)
{
    size_t nCopy = strText.size() < cbOut ? strText.size() : cbOut - 1;
    std::memcpy(pszOut, strText.data(), nCopy);
    pszOut[nCopy] = '\0';
}

void JoinPath(char* pszOut, size_t cbOut, const char* pszFirst, const char* pszSecond)
{
    CopyCut(pszOut, cbOut, std::string(pszFirst) + "\\" + pszSecond);
}

void ReadRoot(const char* pszValue, const char* pszDefault, char* pszRoot, DWORD cbRoot)
{
    if (!ReadRegString(INSTALL_REGISTRATION_KEY, pszValue, pszRoot, cbRoot))
        CopyCut(pszRoot, cbRoot, pszDefault);
}

// A directory value of the base service's setup key, without its trailing backslash.
bool ReadSetupDirectory(const std::string& strSetupKey, const char* pszValue, std::string& strDirectory)
{
    char szDirectory[MAX_PATH];
    if (strSetupKey.empty() || !ReadRegString(strSetupKey.c_str(), pszValue, szDirectory, sizeof szDirectory))
        return false;
    StripTrailingBackslash(szDirectory);
    strDirectory = szDirectory;
    return true;
}

bool CurrentDirectory(std::string& strDirectory)
{
    char szDirectory[MAX_PATH];
    DWORD cch = GetCurrentDirectoryA(sizeof szDirectory, szDirectory);
    if (cch == 0 || cch >= sizeof szDirectory)
        return false;
    strDirectory = szDirectory;
    return true;
}

}  // namespace

bool ReadRegString(LPCSTR pszKey, LPCSTR pszValue, LPSTR pszBuffer, DWORD cbBuffer)
{
    CRegistryKey key;
    if (key.Open(pszKey, HKEY_LOCAL_MACHINE, CRegistryKey::READ_64) != ERROR_SUCCESS)
        return false;
    DWORD cbValue = cbBuffer;
    return key.QueryString(pszValue, pszBuffer, &cbValue) == ERROR_SUCCESS;
}

AgentInstallInfo::AgentInstallInfo()
{
    ReadRoot("Quillmont SNMP Agents", DEFAULT_AGENT_ROOT, m_szRootKey, sizeof m_szRootKey);
    JoinPath(m_szFilesKey, sizeof m_szFilesKey, m_szRootKey, "#Files");
    JoinPath(m_szParametersKey, sizeof m_szParametersKey, m_szRootKey, "#Parameters");
    JoinPath(m_szSetupKey, sizeof m_szSetupKey, m_szRootKey, "#Setup");

    if (!ReadRegString(m_szSetupKey, "FileRoot", m_szFileRoot, sizeof m_szFileRoot) &&
        !ReadRegString(m_szSetupKey, "AgentRoot", m_szFileRoot, sizeof m_szFileRoot))
        m_szFileRoot[0] = '\0';
    StripTrailingBackslash(m_szFileRoot);

    if (!ReadRegString(m_szSetupKey, "DataRoot", m_szDataRoot, sizeof m_szDataRoot))
        m_szDataRoot[0] = '\0';
    StripTrailingBackslash(m_szDataRoot);
}

const std::string& RavelinInstallInfo::GetRootKey()
{
    if (!m_RootKey.bKnown) {
        char szRoot[MAX_PATH];
        ReadRoot("Ravelin", DEFAULT_RAVELIN_ROOT, szRoot, sizeof szRoot);
        m_RootKey.strValue = szRoot;
        m_RootKey.bKnown = true;
    }
    return m_RootKey.strValue;
}

const std::string& RavelinInstallInfo::GetSetupKey()
{
    if (!m_SetupKey.bKnown) {
        char szSetup[MAX_PATH];
        JoinPath(szSetup, sizeof szSetup, GetRootKey().c_str(), "Setup");
        m_SetupKey.strValue = szSetup;
        m_SetupKey.bKnown = true;
    }
    return m_SetupKey.strValue;
}

const std::string& RavelinInstallInfo::GetFileRoot()
{
    if (!m_FileRoot.bKnown) {
        if (!ReadSetupDirectory(GetSetupKey(), "FileRoot", m_FileRoot.strValue) &&
            !CurrentDirectory(m_FileRoot.strValue))
            m_FileRoot.strValue.clear();
        m_FileRoot.bKnown = true;
    }
    return m_FileRoot.strValue;
}

const std::string& RavelinInstallInfo::GetBinRoot()
{
    if (!m_BinRoot.bKnown) {
        std::string& strBin = m_BinRoot.strValue;
        if (!ReadSetupDirectory(GetSetupKey(), "BinRoot", strBin) &&
            !ReadSetupDirectory(GetSetupKey(), "FileRoot", strBin) && !CurrentDirectory(strBin)) {
            strBin = GetFileRoot().empty() ? std::string() : GetFileRoot() + "\\Bin";
        }
        m_BinRoot.bKnown = true;
    }
    return m_BinRoot.strValue;
}

bool GetAgentProductVersion(LPSTR pszVersion, DWORD cchVersion)
{
    typedef UINT(WINAPI * PFN_MSIGETPRODUCTINFOA)(LPCSTR, LPCSTR, LPSTR, LPDWORD);
    CScopedLibrary msi("msi");
    PFN_MSIGETPRODUCTINFOA pfnGetProductInfo = msi.Resolve<PFN_MSIGETPRODUCTINFOA>("MsiGetProductInfoA");
    if (!pfnGetProductInfo)
        return false;
    for (const char* pszCode : AGENT_PRODUCT_CODES) {
        DWORD cch = cchVersion;
        if (pfnGetProductInfo(pszCode, "VersionString", pszVersion, &cch) == ERROR_SUCCESS)
            return true;
    }
    return false;
}
