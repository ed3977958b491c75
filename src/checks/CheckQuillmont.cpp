// The agent product step: product version, security settings, system status and the agents' status MIB.
#include "src/checks/CheckQuillmont.h"

#include "src/baselink/VexilClient.h"
#include "src/report/ReportElements.h"
#include "src/sysaccess/InstallInfo.h"
#include "src/sysaccess/ServiceMgr.h"
#include "src/sysaccess/SnmpMgr.h"
#include "src/sysaccess/SnmpObjects.h"
#include "src/trace/FileDebug.h"

#include <memory>
#include <string>
#include <vector>

namespace {

const DWORD CMD_SECURITY = 0xE001;
const DWORD EXT_SET_ALLOWED = 0x3810;
const DWORD EXT_ACCOUNT_CHECK = 0x3812;
const DWORD EXT_USER_GROUP = 0x3813;
const DWORD CMD_SYSTEM_STATUS = 0x230F;
const LONG STATUS_REQUEST = 22;

const DWORD VERSION_CHARS = 520;
const UINT LIST_BYTES = 520;
const UINT IDENTIFIER_BYTES = MAX_PATH;

const INT MANAGER_TIMEOUT_MS = 5000;
const INT MANAGER_RETRIES = 10;
const INT SESSION_TIMEOUT_MS = 2000;
const INT SESSION_RETRIES = 3;

bool SendSecurity(CVexilClient& client, CCommand& command, DWORD dwExtension)
{
    if (CommandHeader* pHeader = command.GetHeader())
        pHeader->dwOCExt = dwExtension;
    return client.SendCommand(command, 0, 0, 0) == 0;
}

void WriteSwitch(CXmlDocument& doc, CVexilClient& client, CCommand& command, DWORD dwExtension, const char* pszName)
{
    if (!SendSecurity(client, command, dwExtension))
        return;
    bool bOn = command.GetDataLength() >= 1 && command.GetData()[0] == 1;
    AddChild(doc, pszName, bOn ? "yes" : "no");
}

void WriteSecurity(CXmlDocument& doc, CVexilClient& client)
{
    if (!client.Attach())
        return;
    CCommand command(CMD_SECURITY, 0, 0, CABID_SERVER, STATUS_REQUEST);
    WriteSwitch(doc, client, command, EXT_SET_ALLOWED, "SetAllowed");
    WriteSwitch(doc, client, command, EXT_ACCOUNT_CHECK, "AccountCheck");
    if (SendSecurity(client, command, EXT_USER_GROUP))
        AddChild(doc, "UserGroup", command.GetText());
    client.Detach();
}

const char* SystemStatusName(BYTE bStatus)
{
    switch (bStatus) {
    case 1:
        return "OK";
    case 2:
        return "warning";
    case 3:
        return "error";
    default:
        return "n/a";
    }
}

void WriteSystemStatus(CXmlDocument& doc, CVexilClient& client)
{
    if (!client.Attach())
        return;
    if (EnterNewChild(doc, "System")) {
        CCommand command(CMD_SYSTEM_STATUS, 0, 0, CABID_SERVER, STATUS_REQUEST);
        if (client.SendCommand(command, 0, 0, 0) == 0) {
            BYTE bStatus = command.GetDataLength() ? command.GetData()[0] : 0;
            doc.AddElement("Status", bStatus, CXmlDocument::ADD_CHILD);
            doc.SetAttribute(doc.m_iPosChild, "Description", SystemStatusName(bStatus));
        } else {
            doc.AddElement("Value", 0, CXmlDocument::ADD_CHILD);
            doc.SetAttribute(doc.m_iPosChild, "Description", "unknown");
        }
        doc.Ascend();
    }
    client.Detach();
}

const char* ComponentStatusName(long long nStatus)
{
    switch (nStatus) {
    case 1:
        return "ok";
    case 2:
        return "degraded";
    case 3:
        return "error";
    case 4:
        return "failed";
    default:
        return "unknown";
    }
}

// Three bindings named by the columns, the walk's range set by the first.
bool StartWalk(CSnmpMgr& snmp, const char* pszFirst, const char* pszSecond, const char* pszThird)
{
    return snmp.SetVarBindCount(3, FALSE) && snmp.StringToOid(pszFirst, &snmp.m_VarBindList.list[0].name) &&
           snmp.StringToOid(pszSecond, &snmp.m_VarBindList.list[1].name) &&
           snmp.StringToOid(pszThird, &snmp.m_VarBindList.list[2].name) && snmp.SetBaseOid(pszFirst, 0);
}

// A value that does not fit its buffer is not copied: it counts as empty.
std::string ValueText(CSnmpMgr& snmp, const AsnAny& value, UINT cbBuffer)
{
    std::vector<char> buffer(cbBuffer, '\0');
    UINT nLength = snmp.GetValueString(&value, buffer.data(), cbBuffer);
    return nLength < cbBuffer ? std::string(buffer.data()) : std::string();
}

std::vector<std::string> SplitAtBlanks(const std::string& strList)
{
    std::vector<std::string> ids;
    size_t nStart = 0;
    while (nStart < strList.size()) {
        size_t nBlank = strList.find(' ', nStart);
        if (nBlank == std::string::npos)
            nBlank = strList.size();
        if (nBlank > nStart)
            ids.push_back(strList.substr(nStart, nBlank - nStart));
        nStart = nBlank + 1;
    }
    return ids;
}

bool IsNumber(BYTE bType)
{
    return bType == ASN_INTEGER || bType == ASN_COUNTER32 || bType == ASN_GAUGE32 || bType == ASN_TIMETICKS;
}

// The component table is walked from its start for every identifier: its rows follow no order
// the list could rely on.
void WriteComponent(CXmlDocument& doc, CSnmpMgr& snmp, const std::string& strId)
{
    if (!StartWalk(snmp, COMPONENT_ID, COMPONENT_STATUS, COMPONENT_NAME))
        return;
    while (snmp.NextRow()) {
        SnmpVarBind* pBindings = snmp.m_VarBindList.list;
        if (ValueText(snmp, pBindings[0].value, IDENTIFIER_BYTES) != strId)
            continue;
        const AsnAny& status = pBindings[1].value;
        if (!IsNumber(status.asnType))
            return;
        long long nStatus = status.asnType == ASN_INTEGER ? static_cast<long long>(status.asnValue.number)
                                                          : static_cast<long long>(status.asnValue.unsigned32);
        if (nStatus == 0 || nStatus == 5)
            return;
        if (EnterNamedChild(doc, "Component", snmp.GetString(&pBindings[2].value))) {
            AddChild(doc, "Status", std::to_string(nStatus).c_str());
            doc.SetAttribute(doc.m_iPosChild, "Description", ComponentStatusName(nStatus));
            doc.Ascend();
        }
        return;
    }
}

void WriteSubsystems(CXmlDocument& doc)
{
    CSnmpMgr subsystems(nullptr, nullptr, MANAGER_TIMEOUT_MS, MANAGER_RETRIES);
    CSnmpMgr components(nullptr, nullptr, MANAGER_TIMEOUT_MS, MANAGER_RETRIES);
    if (!subsystems.OpenSession(nullptr, nullptr, SESSION_TIMEOUT_MS, SESSION_RETRIES) ||
        !components.OpenSession(nullptr, nullptr, SESSION_TIMEOUT_MS, SESSION_RETRIES))
        return;
    if (StartWalk(subsystems, SUBSYSTEM_NAME, SUBSYSTEM_COLUMN_3, SUBSYSTEM_COMPONENTS)) {
        while (subsystems.NextRow()) {
            SnmpVarBind* pBindings = subsystems.m_VarBindList.list;
            if (!EnterNamedChild(doc, "Subsystem", subsystems.GetString(&pBindings[0].value)))
                continue;
            for (const std::string& strId : SplitAtBlanks(ValueText(subsystems, pBindings[2].value, LIST_BYTES)))
                WriteComponent(doc, components, strId);
            doc.Ascend();
        }
    }
    subsystems.CloseSession();
    components.CloseSession();
}

}  // namespace

DWORD CheckQuillmont(CDiagReport&, CXmlDocument& doc)
{
    TRACE(4, "\nTriagist            : -> CheckQuillmont()");
    DWORD dwResult = STEP_FINDINGS;
    try {
        if (EnterReportSection(doc, "SNMPAgents")) {
            char szVersion[VERSION_CHARS] = "";
            if (GetAgentProductVersion(szVersion, sizeof szVersion)) {
                std::unique_ptr<CVexilClient> pClient(new CVexilClient);
                AddChild(doc, "ProductVersion", szVersion);
                if (EnterNewChild(doc, "Security")) {
                    WriteSecurity(doc, *pClient);
                    doc.Ascend();
                }
                if (EnterNewChild(doc, "StatusTree")) {
                    WriteSystemStatus(doc, *pClient);
                    CServiceMgr services(CServiceMgr::NeverAsk());
                    services.Open(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
                    if (services.IsInstalled("SNMP")) {
                        dwResult = STEP_OK;
                        WriteSubsystems(doc);
                    }
                    services.Close();
                    doc.Ascend();
                }
            }
            doc.Ascend();
        }
    } catch (...) {
        TRACE(1, "\nTriagist            : ERROR! EXCEPTION CheckQuillmont()");
    }
    TRACE(4, "\nTriagist            : <- CheckQuillmont()");
    return dwResult;
}
