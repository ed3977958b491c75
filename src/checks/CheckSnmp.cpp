// The SNMP configuration step: what the SNMP service is set up to do, read from its registry.
#include "src/checks/CheckSnmp.h"

#include "src/report/ReportElements.h"
#include "src/sysaccess/ExtensionAgents.h"
#include "src/sysaccess/FileTimes.h"
#include "src/sysaccess/FileVersion.h"
#include "src/sysaccess/InstallInfo.h"
#include "src/sysaccess/RegistryKey.h"
#include "src/sysaccess/ServiceMgr.h"
#include "src/trace/FileDebug.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char CATEGORY[] = "SNMP";
const char PARAMETERS[] = "SYSTEM\\CurrentControlSet\\Services\\SNMP\\Parameters\\";
// The agents' own community: on its own it does not call for set operations.
const char AGENTS_COMMUNITY[] = "Ruzavidaza";
const DWORD STATUS_BYTES = 100;

// One value of an enumeration, its data kept as text (names and data up to 260 bytes).
struct SValue {
    char szName[MAX_PATH];
    DWORD dwType;
    BYTE abData[MAX_PATH + 1];
    DWORD cbData;

    const char* Text() const { return reinterpret_cast<const char*>(abData); }
    DWORD Dword() const
    {
        DWORD dw = 0;
        std::memcpy(&dw, abData, sizeof dw);
        return dw;
    }
};

bool ReadValue(CRegistryKey& key, DWORD dwIndex, SValue& value)
{
    std::memset(&value, 0, sizeof value);
    DWORD cchName = sizeof value.szName;
    value.cbData = MAX_PATH;
    return key.EnumValue(dwIndex, value.szName, &cchName, &value.dwType, value.abData, &value.cbData) ==
           ERROR_SUCCESS;
}

bool OpenParameter(CRegistryKey& key, const char* pszKey)
{
    return key.Open((std::string(PARAMETERS) + pszKey).c_str(), HKEY_LOCAL_MACHINE, CRegistryKey::ALL_ACCESS_64) ==
           ERROR_SUCCESS;
}

bool IsStringType(DWORD dwType)
{
    return dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ;
}

const char* AccessName(DWORD dwRights)
{
    switch (dwRights) {
    case 1:
        return "None";
    case 2:
        return "Notify";
    case 4:
        return "Read Only";
    case 8:
        return "Read/Write";
    case 16:
        return "Read/Create";
    default:
        return nullptr;
    }
}

struct SFindings {
    bool bRunning = false;
    bool bLoopback = false;
    bool bCommunity = false;
    bool bOtherCommunity = false;
    bool bWritable = false;
    bool bTrap = false;
};

void WriteService(CXmlDocument& doc, SFindings& findings)
{
    EnterNewChild(doc, "Service");
    DWORD dwState = 0;
    AddChild(doc, "Status", CServiceMgr::QueryLocalState("SNMP", &dwState));
    findings.bRunning = dwState == SERVICE_RUNNING;
    doc.Ascend();
}

void WritePermittedManagers(CXmlDocument& doc, SFindings& findings)
{
    CRegistryKey key;
    OpenParameter(key, "PermittedManagers");
    SValue value;
    // No manager listed: every host may ask.
    findings.bLoopback = !ReadValue(key, 0, value);
    for (DWORD dwIndex = 0; ReadValue(key, dwIndex, value); ++dwIndex) {
        EnterNamedChild(doc, "PermittedManagers", value.Text());
        doc.Ascend();
        if (!std::strcmp(value.Text(), "LOOPBACK") || !std::strcmp(value.Text(), "localhost") ||
            !std::strcmp(value.Text(), "127.0.0.1"))
            findings.bLoopback = true;
    }
}

void WriteCommunities(CXmlDocument& doc, SFindings& findings)
{
    CRegistryKey key;
    OpenParameter(key, "ValidCommunities");
    SValue value;
    for (DWORD dwIndex = 0; ReadValue(key, dwIndex, value); ++dwIndex) {
        findings.bCommunity = true;
        if (std::strcmp(value.szName, AGENTS_COMMUNITY) != 0)
            findings.bOtherCommunity = true;
        if (value.dwType != REG_DWORD && !IsStringType(value.dwType))
            continue;
        EnterNamedChild(doc, "Community", value.szName);
        if (value.dwType == REG_DWORD) {
            const char* pszAccess = AccessName(value.Dword());
            if (pszAccess)
                AddChild(doc, "Access", pszAccess);
            if (value.Dword() == 8 || value.Dword() == 16)
                findings.bWritable = true;
        }
        doc.Ascend();
    }
}

void WriteTrapDestinations(CXmlDocument& doc, SFindings& findings)
{
    EnterNewChild(doc, "TrapDestinations");
    CRegistryKey traps;
    OpenParameter(traps, "TrapConfiguration");
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szCommunity[MAX_PATH] = "";
        DWORD cchCommunity = sizeof szCommunity;
        if (traps.EnumKey(dwIndex, szCommunity, &cchCommunity, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        findings.bTrap = true;
        CRegistryKey destinations;
        if (!OpenParameter(destinations, (std::string("TrapConfiguration\\") + szCommunity).c_str()))
            continue;
        SValue value;
        for (DWORD dwHost = 0; ReadValue(destinations, dwHost, value); ++dwHost) {
            EnterNewChild(doc, "Host");
            AddChild(doc, "Name", value.Text());
            AddChild(doc, "Community", szCommunity);
            doc.Ascend();
        }
    }
    doc.Ascend();
}

bool OpenAgentKey(CRegistryKey& key, const char* pszPath)
{
    TRACE(3, "\nTriagist            : Open registry key \"%s\" ... ", pszPath);
    DWORD dwResult = key.Open(pszPath, HKEY_LOCAL_MACHINE, CRegistryKey::ALL_ACCESS_64);
    if (dwResult != ERROR_SUCCESS) {
        TRACE(3, "\nTriagist            : ERROR 0x%X! Open native key failed - try WOW64 node",
              static_cast<unsigned>(dwResult));
        dwResult = key.Open(pszPath, HKEY_LOCAL_MACHINE, ALL_ACCESS_32);
    }
    if (dwResult != ERROR_SUCCESS) {
        TRACE(1, "\nTriagist            : ERROR 0x%X! Open registry key \"%s\" FAILED!!",
              static_cast<unsigned>(dwResult), pszPath);
        return false;
    }
    TRACE(3, "\nTriagist            : Open registry key \"%s\" OK", pszPath);
    return true;
}

void WriteAgentVersion(CXmlDocument& doc, CRegistryKey& agentKey)
{
    EnterNewChild(doc, "Version");
    char szPathname[MAX_PATH] = "";
    DWORD cbPathname = sizeof szPathname;
    bool bPathname = agentKey.QueryString("Pathname", szPathname, &cbPathname) == ERROR_SUCCESS;
    std::string strExpanded = ExpandAgentPathname(szPathname);

    CFileVersion version;
    bool bRead = bPathname && version.Load(strExpanded.c_str());
    AddChild(doc, "Description", bRead ? version.QueryString("FileDescription") : "n/a");
    AddChild(doc, "FileVersion", bRead ? version.QueryString("FileVersion") : "n/a");
    AddChild(doc, "ProductVersion", bRead ? version.QueryString("ProductVersion") : "n/a");
    AddChild(doc, "CompanyName", bRead ? version.QueryString("CompanyName") : "n/a");
    AddChild(doc, "Location", bPathname ? szPathname : "n/a");
    AddChild(doc, "Created", FileCreationTimeText(strExpanded.c_str()).c_str());
    doc.Ascend();
}

void WriteAgents(CXmlDocument& doc)
{
    EnterNewChild(doc, "Agents");
    AgentInstallInfo install;
    CRegistryKey status;
    status.Open((std::string(install.m_szRootKey) + "\\#Status").c_str(), HKEY_LOCAL_MACHINE,
                CRegistryKey::ALL_ACCESS_64);
    CRegistryKey agents;
    agents.Open(EXTENSION_AGENTS_KEY, HKEY_LOCAL_MACHINE, CRegistryKey::ALL_ACCESS_64);
    SValue value;
    for (DWORD dwIndex = 0; ReadValue(agents, dwIndex, value); ++dwIndex) {
        CRegistryKey agentKey;
        if (!OpenAgentKey(agentKey, value.Text()))
            continue;
        std::string strName = ExtensionAgentName(value.Text());
        EnterNamedChild(doc, "Agent", strName.c_str());
        WriteAgentVersion(doc, agentKey);
        char szStatus[STATUS_BYTES] = "";
        DWORD cbStatus = sizeof szStatus;
        bool bStatus = status.QueryString(strName.c_str(), szStatus, &cbStatus) == ERROR_SUCCESS;
        AddChild(doc, "Status", bStatus ? szStatus : "n/a");
        doc.Ascend();
    }
    doc.Ascend();
}

DWORD AddFindings(CDiagReport& report, CXmlDocument& doc, const SFindings& findings)
{
    DWORD dwMessages = 0;
    auto add = [&](const char* pszText, const char* pszKind) {
        report.AddMessage(doc, CATEGORY, pszText, pszKind);
        ++dwMessages;
    };
    if (!findings.bRunning)
        add("SNMP service is not running!", "Errors");
    if (!findings.bCommunity)
        add("SNMP community not configured!", "Errors");
    if (!findings.bLoopback)
        add("\"LOOPBACK\" or \"localhost\" (IP 127.0.0.1) not found in Permitted Managers!", "Errors");
    if (findings.bOtherCommunity && !findings.bWritable)
        add("SNMP set operations not allowed!", "Warnings");
    if (!findings.bTrap)
        add("SNMP trap destination not set!", "Warnings");
    return dwMessages;
}

}  // namespace

DWORD CheckSnmp(CDiagReport& report, CXmlDocument& doc)
{
    DWORD dwMessages = 0;
    try {
        if (!EnterReportSection(doc, "SNMP"))
            return STEP_OK;
        SFindings findings;
        WriteService(doc, findings);
        EnterNewChild(doc, "Configuration");
        EnterNewChild(doc, "Security");
        WritePermittedManagers(doc, findings);
        WriteCommunities(doc, findings);
        doc.Ascend();
        WriteTrapDestinations(doc, findings);
        doc.Ascend();
        WriteAgents(doc);
        dwMessages = AddFindings(report, doc, findings);
        doc.Ascend();
    } catch (...) {
        TRACE(1, "\nTriagist            : ERROR! EXCEPTION in CheckSnmp()!");
    }
    return dwMessages ? STEP_FINDINGS : STEP_OK;
}
