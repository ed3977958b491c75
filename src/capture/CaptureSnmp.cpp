// The SNMP agent's answers: how it answers, and what the agents' status MIB holds beyond the base service's tree.
#include "src/capture/Capture.h"

#include "src/sysaccess/ServiceMgr.h"
#include "src/sysaccess/SnmpMgr.h"
#include "src/sysaccess/SnmpObjects.h"

#include <algorithm>
#include <cstring>

namespace {

// The rest of the system group the agent always serves: contact, name, location.
const char* const SYSTEM_TEXTS[] = {".1.3.6.1.2.1.1.4.0", ".1.3.6.1.2.1.1.5.0", ".1.3.6.1.2.1.1.6.0"};
const char ENTERPRISES[] = ".1.3.6.1.4.1";
// Longer than any try of the diagnosis, so that a slow agent's delay is measured rather than missed.
const INT PATIENCE_MS = 10000;
// A working agent answers within milliseconds; slower than this it is recorded as slow.
const DWORD SLOW_MS = 1000;
// The lab's snmpd takes a value on one configuration line, two characters a byte at worst; a longer
// text needs the lab's scripted agent, which serves the same answers without that limit.
const size_t SNMPD_TEXT_BYTES = 1900;
// More rows than a status tree of 255 subsystems of 255 components has.
const UINT MAX_ROWS = 70000;

std::string ValueText(const AsnAny& value)
{
    if (value.asnType != ASN_OCTETSTRING || !value.asnValue.string.stream)
        return std::string();
    return std::string(reinterpret_cast<const char*>(value.asnValue.string.stream), value.asnValue.string.length);
}

// A column's values by row, the row being the OID's last number; false when the walk could not start.
bool WalkColumn(CSnmpMgr& snmp, const char* pszColumn, std::vector<SMibValue>& rows)
{
    if (!snmp.SetVarBindCount(1, FALSE) || !snmp.StringToOid(pszColumn, &snmp.m_VarBindList.list[0].name) ||
        !snmp.SetBaseOid(pszColumn, 0))
        return false;
    while (snmp.NextRow()) {
        const SnmpVarBind& binding = snmp.m_VarBindList.list[0];
        UINT nRow = binding.name.idLength ? binding.name.ids[binding.name.idLength - 1] : 0;
        if (nRow == 0 || nRow > MAX_ROWS)
            continue;
        if (rows.size() < nRow)
            rows.resize(nRow);
        rows[nRow - 1].bType = binding.value.asnType;
        rows[nRow - 1].strText = ValueText(binding.value);
    }
    return true;
}

// Whether a response came, whatever its error status.
bool Ask(CSnmpMgr& snmp, BYTE bType, const char* pszOid, DWORD& dwElapsed)
{
    DWORD dwStart = GetTickCount();
    bool bAnswered = snmp.SetVarBindCount(1, FALSE) && snmp.StringToOid(pszOid, &snmp.m_VarBindList.list[0].name) &&
                     (snmp.Request(bType, nullptr, nullptr, nullptr) || snmp.LastError() == 0);
    dwElapsed = GetTickCount() - dwStart;
    return bAnswered;
}

// How the agent answers for the system description and the object before it, as [SNMP] switches;
// false when nothing came. bLongText: the description is too long for any answer to carry.
bool ProbeAgent(SCapture& capture, CSnmpMgr& snmp, std::string& strSwitches, bool& bLongText)
{
    DWORD dwElapsed = 0;
    bool bAnswered = Ask(snmp, SNMP_PDU_GET, SYSTEM_DESCRIPTION, dwElapsed);
    if (!bAnswered && snmp.LastError() == SNMP_MGMTAPI_TIMEOUT && Ask(snmp, SNMP_PDU_GETNEXT, ENTERPRISES, dwElapsed)) {
        bLongText = bAnswered = true;
        capture.log.Captured("SNMP agent: answers, but not for the system description, too long for an answer");
    }
    if (!bAnswered) {
        if (snmp.LastError() != SNMP_MGMTAPI_TIMEOUT) {
            capture.log.Missed("the SNMP agent's answers", snmp.LastError());
            return false;
        }
        strSwitches += "Silent=yes\r\n";
        capture.log.Captured(FormatText("SNMP agent: no answer within %d ms, kept as an agent that answers none",
                                        static_cast<int>(PATIENCE_MS)));
        return false;
    }
    BYTE bType = snmp.m_VarBindList.len && !bLongText ? snmp.m_VarBindList.list[0].value.asnType : ASN_OCTETSTRING;
    if (bType == ASN_INTEGER)
        strSwitches += "WrongTypes=yes\r\n";
    else if (bType == ASN_NULL)
        strSwitches += "WrongTypes=null\r\n";
    if (dwElapsed >= SLOW_MS)
        strSwitches += FormatText("Delay=%lu\r\n", static_cast<unsigned long>(dwElapsed));

    if (snmp.SetVarBindCount(1, FALSE) &&
        snmp.StringToOid(BEFORE_SYSTEM_DESCRIPTION, &snmp.m_VarBindList.list[0].name) &&
        snmp.Request(SNMP_PDU_GETNEXT, nullptr, nullptr, nullptr) && snmp.m_VarBindList.len &&
        std::strcmp(CSnmpMgr::OidToString(&snmp.m_VarBindList.list[0].name), BEFORE_SYSTEM_DESCRIPTION + 1) == 0)
        strSwitches += "NotAdvancing=yes\r\n";
    return true;
}

// Whether any text the agent answers is longer than the lab's snmpd could serve.
bool HasLongText(CSnmpMgr& snmp, const SStatusMib& mib)
{
    size_t cbLongest = 0;
    for (const char* pszOid : SYSTEM_TEXTS) {
        if (snmp.SetVarBindCount(1, FALSE) && snmp.StringToOid(pszOid, &snmp.m_VarBindList.list[0].name) &&
            snmp.Request(SNMP_PDU_GET, nullptr, nullptr, nullptr) && snmp.m_VarBindList.len)
            cbLongest = std::max(cbLongest, ValueText(snmp.m_VarBindList.list[0].value).size());
    }
    for (const std::vector<SMibValue>* pColumn : {&mib.componentLists, &mib.componentIds, &mib.statuses})
        for (const SMibValue& value : *pColumn)
            cbLongest = std::max(cbLongest, value.strText.size());
    return cbLongest > SNMPD_TEXT_BYTES;
}

}  // namespace

void CaptureSnmp(SCapture& capture)
{
    DWORD dwState = 0;
    if (!CServiceMgr::QueryLocalState("SNMP", &dwState) || dwState != SERVICE_RUNNING) {
        capture.log.Captured("SNMP agent: the service does not run, nothing to ask");
        return;
    }
    CSnmpMgr snmp(nullptr, nullptr, PATIENCE_MS, 0);
    if (!snmp.OpenSession(nullptr, nullptr, PATIENCE_MS, 0)) {
        capture.log.Missed("the SNMP agent's answers", snmp.LastError());
        return;
    }
    std::string strSwitches;
    bool bLongText = false;
    bool bAnswered = ProbeAgent(capture, snmp, strSwitches, bLongText);
    if (!bAnswered && strSwitches.empty()) {  // the request could not be made; named in the summary
        snmp.CloseSession();
        return;
    }
    // A misbehaving agent serves the base service's tree as it stands: there is nothing more to learn from it.
    SStatusMib& mib = capture.statusMib;
    if (bAnswered && strSwitches.empty()) {
        mib.bServed = WalkColumn(snmp, SUBSYSTEM_COMPONENTS, mib.componentLists) &&
                      WalkColumn(snmp, COMPONENT_ID, mib.componentIds) &&
                      WalkColumn(snmp, COMPONENT_STATUS, mib.statuses);
        capture.log.Captured(FormatText("SNMP agent: answers, status MIB with %u subsystems and %u components",
                                        static_cast<unsigned>(mib.componentLists.size()),
                                        static_cast<unsigned>(mib.componentIds.size())));
    }
    // The lab's scripted agent keeps a silent one silent whatever its texts; snmpd would refuse long ones.
    bool bScripted = !bAnswered || !strSwitches.empty() || bLongText || HasLongText(snmp, mib);
    snmp.CloseSession();
    if (bScripted)
        strSwitches = "Agent=scripted\r\n" + strSwitches;
    if (!strSwitches.empty())
        capture.folder.Text("lab.ini") += "\r\n[SNMP]\r\n" + strSwitches;
}
