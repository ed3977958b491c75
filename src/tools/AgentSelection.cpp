// The choice of the SNMP extension agents the SNMP service loads.
#include "src/tools/AgentSelection.h"

#include "src/platform/RegistryText.h"
#include "src/sysaccess/ExtensionAgents.h"
#include "src/sysaccess/FileVersion.h"
#include "src/sysaccess/RegistryKey.h"
#include "src/trace/FileDebug.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

const char AGENT_DISABLED_MARKER[] = "__Disabled_by_Triagist";

namespace {

const char ROOT_TEXT[] = "SNMP Agents";

// Tree views sort their items without regard to case.
void SortByText(std::vector<AgentItem>& items)
{
    std::stable_sort(items.begin(), items.end(), [](const AgentItem& left, const AgentItem& right) {
        return lstrcmpiA(left.strText.c_str(), right.strText.c_str()) < 0;
    });
}

bool OpenAgentKey(CRegistryKey& key, const std::string& strPath)
{
    if (key.Open(strPath.c_str(), HKEY_LOCAL_MACHINE, CRegistryKey::ALL_ACCESS_64) == ERROR_SUCCESS)
        return true;
    TRACE(3, "\nTriagist            : Open native key failed - try WOW64 node");
    if (key.Open(strPath.c_str(), HKEY_LOCAL_MACHINE, ALL_ACCESS_32) == ERROR_SUCCESS)
        return true;
    TRACE(1, "\nTriagist            : ERROR! Failed to open registry key \"%s\"!", strPath.c_str());
    return false;
}

// The library's path as the value stands, without expanding it: the trace shows both forms.
bool ReadPathname(CRegistryKey& key, std::string& strPathname)
{
    char szPathname[MAX_PATH] = "";
    DWORD cbPathname = sizeof szPathname;
    DWORD dwType = 0;
    if (RegQueryText(key.GetKey(), "Pathname", &dwType, szPathname, &cbPathname) != ERROR_SUCCESS ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
        return false;
    strPathname = szPathname;
    return true;
}

}  // namespace

CAgentSelection::CAgentSelection()
{
    m_Root.strText = ROOT_TEXT;
    m_Root.bHasMark = false;
}

void CAgentSelection::FillAgentTree()
{
    m_Root.children.clear();
    CRegistryKey list;
    list.Open(EXTENSION_AGENTS_KEY, HKEY_LOCAL_MACHINE, CRegistryKey::ALL_ACCESS_64);
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szName[MAX_PATH] = "";
        DWORD cchName = sizeof szName;
        char szData[MAX_PATH + 1] = "";
        DWORD cbData = MAX_PATH;
        if (list.EnumValue(dwIndex, szName, &cchName, nullptr, reinterpret_cast<LPBYTE>(szData), &cbData) !=
            ERROR_SUCCESS)
            break;
        AddAgent(szName, szData);
    }
    m_Root.bExpanded = true;
    SortByText(m_Root.children);
}

void CAgentSelection::AddAgent(const char* pszValueName, std::string strKeyPath)
{
    size_t marker = strKeyPath.find(AGENT_DISABLED_MARKER);
    bool bDisabled = marker != std::string::npos;
    if (bDisabled)
        strKeyPath.erase(marker);

    TRACE(3, "\nTriagist            : Found SNMP registry entry \"%s\"", strKeyPath.c_str());
    CRegistryKey agentKey;
    if (!OpenAgentKey(agentKey, strKeyPath))
        return;
    TRACE(3, "\nTriagist            : SNMP key entry \"%s\" successfully opened", strKeyPath.c_str());
    TRACE(3, "\nTriagist            : Found SNMP agent: \"%s\"", ExtensionAgentName(strKeyPath).c_str());

    std::string strPathname;
    if (!ReadPathname(agentKey, strPathname)) {
        TRACE(1, "\nTriagist            : ERROR! Failed to query SNMP DLL path!");
        return;
    }
    TRACE(3, "\nTriagist            :   DLL path:          \"%s\" ", strPathname.c_str());
    std::string strExpanded = ExpandAgentPathname(strPathname.c_str());
    TRACE(3, "\nTriagist            :   DLL expanded path: \"%s\" ", strExpanded.c_str());

    CFileVersion version;
    std::string strVendor = version.GetVersionString(strExpanded.c_str(), "CompanyName", 0);
    std::string strDescription = version.GetVersionString(strExpanded.c_str(), "FileDescription", 0);
    size_t lastSlash = strExpanded.rfind('\\');
    std::string strFileName = lastSlash == std::string::npos ? strExpanded : strExpanded.substr(lastSlash + 1);
    if (g_FileDebug.m_bActive) {
        std::string strProduct = version.GetVersionString(strExpanded.c_str(), "ProductName", 0);
        g_FileDebug.Trace(3, "\nTriagist            :   DLL vendor:        \"%s\" ", strVendor.c_str());
        g_FileDebug.Trace(3, "\nTriagist            :   DLL module name:   \"%s\" ", strFileName.c_str());
        g_FileDebug.Trace(3, "\nTriagist            :   DLL module descr:  \"%s\"", strDescription.c_str());
        g_FileDebug.Trace(3, "\nTriagist            :   DLL product name:  \"%s\" \n", strProduct.c_str());
    }

    auto vendor = std::find_if(m_Root.children.begin(), m_Root.children.end(), [&](const AgentItem& item) {
        return lstrcmpiA(item.strText.c_str(), strVendor.c_str()) == 0;
    });
    if (vendor == m_Root.children.end()) {
        AgentItem item;
        item.strText = strVendor;
        m_Root.children.push_back(std::move(item));
        vendor = m_Root.children.end() - 1;
    }

    AgentItem agent;
    agent.strText = strDescription.empty() ? strFileName : strDescription + " (" + strFileName + ")";
    agent.bChecked = !bDisabled;
    if (bDisabled)
        vendor->bChecked = false;
    AgentEntry entry = {AGENT_ENTRY_KIND, "", ""};
    std::snprintf(entry.szKeyPath, sizeof entry.szKeyPath, "%s", EXTENSION_AGENTS_KEY);
    std::snprintf(entry.szValueName, sizeof entry.szValueName, "%s", pszValueName);
    agent.entry = entry;
    vendor->children.push_back(std::move(agent));
    SortByText(vendor->children);
}

void CAgentSelection::ClickMark(AgentItem& item)
{
    if (!item.bHasMark)
        return;
    item.bChecked = !item.bChecked;
    for (AgentItem& child : item.children)
        child.bChecked = item.bChecked;
}

void CAgentSelection::ApplyAgentSelection()
{
    // Entries live on the agents, two levels down; any level that carries one is honoured.
    auto apply = [](const AgentItem& item) {
        if (item.entry)
            SetAgentEnabled(*item.entry, item.bChecked);
    };
    apply(m_Root);
    for (const AgentItem& vendor : m_Root.children) {
        apply(vendor);
        for (const AgentItem& agent : vendor.children)
            apply(agent);
    }
}

bool CAgentSelection::SetAgentEnabled(const AgentEntry& entry, bool bEnabled)
{
    if (entry.dwKind != AGENT_ENTRY_KIND)
        return false;
    CRegistryKey key;
    if (key.Open(entry.szKeyPath, HKEY_LOCAL_MACHINE, CRegistryKey::ALL_ACCESS_64) != ERROR_SUCCESS)
        return false;
    char szPath[MAX_PATH] = "";
    DWORD cbPath = sizeof szPath;
    if (key.QueryString(entry.szValueName, szPath, &cbPath) != ERROR_SUCCESS)
        return false;

    std::string strPath = szPath;
    size_t marker = strPath.find(AGENT_DISABLED_MARKER);
    if (bEnabled && marker != std::string::npos)
        strPath.erase(marker);
    else if (!bEnabled && marker == std::string::npos)
        strPath += AGENT_DISABLED_MARKER;
    else
        return false;
    return key.SetString(entry.szValueName, strPath.c_str()) == ERROR_SUCCESS;
}
