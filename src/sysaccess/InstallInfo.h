// Where the agents and their base service are installed, and which agent product Windows Installer knows.
#pragma once

#include "src/platform/Win32.h"

#include <string>

// Reads a string value of HKEY_LOCAL_MACHINE\pszKey (64-bit view, expandable
// values expanded); true on success.
bool ReadRegString(LPCSTR pszKey, LPCSTR pszValue, LPSTR pszBuffer, DWORD cbBuffer);

// The SNMP agents' registry roots and directories, read once at construction.
struct AgentInstallInfo {
    AgentInstallInfo();

    char m_szRootKey[MAX_PATH];
    char m_szFilesKey[MAX_PATH];
    char m_szParametersKey[MAX_PATH];
    char m_szSetupKey[MAX_PATH];
    char m_szFileRoot[MAX_PATH];  // empty when not registered
    char m_szDataRoot[MAX_PATH];  // empty when not registered
};

// The base service's registry root and directories; each computed on first use
// and kept for the object's life. Empty when it cannot be produced.
class RavelinInstallInfo {
public:
    const std::string& GetRootKey();
    const std::string& GetSetupKey();
    const std::string& GetFileRoot();
    const std::string& GetBinRoot();

private:
    struct SCached {
        bool bKnown = false;
        std::string strValue;
    };

    SCached m_RootKey;
    SCached m_SetupKey;
    SCached m_FileRoot;
    SCached m_BinRoot;
};

// The installed agent product's "VersionString"; false when Windows Installer
// is not available or knows none of the product's codes.
bool GetAgentProductVersion(LPSTR pszVersion, DWORD cchVersion);
