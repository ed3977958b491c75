// The SNMP function test: the local agent must answer a GET of the system description, repeatedly.
#include "src/checks/CheckSnmp.h"

#include "src/report/ReportElements.h"
#include "src/sysaccess/ServiceMgr.h"
#include "src/sysaccess/SnmpMgr.h"
#include "src/sysaccess/SnmpObjects.h"
#include "src/trace/FileDebug.h"

#include <cstdio>

namespace {

const int LOOP_REQUESTS = 100;
const INT SESSION_TIMEOUT_MS = 2000;
const INT SESSION_RETRIES = 3;

// One request with its report element; the status written is 0 on success and 5 otherwise.
bool WriteRequest(CXmlDocument& doc, CSnmpMgr& snmp, const char* pszOid, BYTE bType, AsnInteger& nStatus)
{
    doc.AddElement("Request", nullptr, CXmlDocument::ADD_CHILD);
    doc.SetAttribute(doc.m_iPosChild, "OID", pszOid);
    doc.SetAttribute(doc.m_iPosChild, "PDU", CSnmpMgr::GetRequestTypeName(bType));
    TRACE(2, "\nTriagist            : SNMP test request %s ...", pszOid);

    bool bOk = snmp.SetVarBindCount(1, FALSE) && snmp.StringToOid(pszOid, &snmp.m_VarBindList.list[0].name) &&
               snmp.Request(bType, nullptr, nullptr, nullptr);
    nStatus = bOk ? SNMP_ERRORSTATUS_NOERROR : SNMP_ERRORSTATUS_GENERR;
    TRACE(2, "\nTriagist            : .. SNMP request returned status 0x%X", static_cast<unsigned>(nStatus));

    doc.Descend();
    SnmpVarBind* pBinding = snmp.m_VarBindList.len ? &snmp.m_VarBindList.list[0] : nullptr;
    UINT nLength = pBinding ? snmp.GetValueString(&pBinding->value, nullptr, 0) : 0;
    AddChild(doc, "Data", bOk && pBinding ? snmp.GetString(&pBinding->value) : "n/a");
    doc.SetAttribute(doc.m_iPosChild, "OID", pBinding ? CSnmpMgr::OidToString(&pBinding->name) : "");
    doc.SetAttribute(doc.m_iPosChild, "LEN", static_cast<int>(nLength));
    char szStatus[16];
    std::snprintf(szStatus, sizeof szStatus, "%X", static_cast<unsigned>(nStatus));
    AddChild(doc, "Status", szStatus);
    doc.Ascend();
    return bOk;
}

bool RequestOnce(CSnmpMgr& snmp)
{
    return snmp.SetVarBindCount(1, FALSE) && snmp.StringToOid(SYSTEM_DESCRIPTION, &snmp.m_VarBindList.list[0].name) &&
           snmp.Request(SNMP_PDU_GET, nullptr, nullptr, nullptr);
}

void WriteTimingLoop(CXmlDocument& doc, CSnmpMgr& snmp)
{
    TRACE(2, "\nTriagist            : Start SNMP test loop (OID %s )...", SYSTEM_DESCRIPTION);
    DWORD dwStart = GetTickCount();
    int nAnswered = 0;
    for (int n = 0; n < LOOP_REQUESTS; ++n) {
        if (RequestOnce(snmp))
            ++nAnswered;
    }
    DWORD dwElapsed = GetTickCount() - dwStart;
    TRACE(2, "\nTriagist            : .. SNMP loop test completed (%d msec)!", static_cast<int>(dwElapsed));
    if (nAnswered == 0)
        return;
    doc.AddElement("Response", nullptr, CXmlDocument::ADD_CHILD);
    doc.SetAttribute(doc.m_iPosChild, "Count", LOOP_REQUESTS);
    doc.Descend();
    AddChild(doc, "Time", std::to_string(dwElapsed).c_str());
    doc.SetAttribute(doc.m_iPosChild, "Unit", "msec");
    doc.Ascend();
}

}  // namespace

DWORD TestSnmp(CDiagReport& report, CXmlDocument& doc)
{
    TRACE(4, "\nTriagist            : -> TestSnmp()");
    bool bMessage = false;
    try {
        if (EnterReportSection(doc, "SNMP")) {
            DWORD dwState = 0;
            CServiceMgr::QueryLocalState("SNMP", &dwState);
            CSnmpMgr snmp(nullptr, nullptr, 5000, 10);
            AsnInteger nLastStatus = SNMP_ERRORSTATUS_GENERR;
            bool bGetWorks = false;
            if (dwState == SERVICE_RUNNING) {
                if (snmp.OpenSession(nullptr, nullptr, SESSION_TIMEOUT_MS, SESSION_RETRIES)) {
                    EnterNewChild(doc, "Tests");
                    bGetWorks = WriteRequest(doc, snmp, SYSTEM_DESCRIPTION, SNMP_PDU_GET, nLastStatus);
                    WriteRequest(doc, snmp, BEFORE_SYSTEM_DESCRIPTION, SNMP_PDU_GETNEXT, nLastStatus);
                    if (bGetWorks)
                        WriteTimingLoop(doc, snmp);
                    snmp.CloseSession();
                    doc.Ascend();
                }
                if (!bGetWorks) {
                    char szMessage[256];
                    std::snprintf(szMessage, sizeof szMessage,
                                  "SNMP MIB II request failed on localhost (SNMP status %d (%s), Error Code: 0x%08X)!",
                                  static_cast<int>(nLastStatus), CSnmpMgr::GetErrorStatusText(nLastStatus),
                                  static_cast<unsigned>(GetLastError()));
                    report.AddMessage(doc, "SNMP", szMessage, "Errors");
                    bMessage = true;
                }
            }
        }
    } catch (...) {
        TRACE(1, "\nTriagist            : ERROR! EXCEPTION in TestSnmp()");
    }
    TRACE(4, "\nTriagist            : <- TestSnmp()");
    return bMessage ? STEP_FINDINGS : STEP_OK;
}
