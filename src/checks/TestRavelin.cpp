// The diagnosis step that tests the base service at work through the command router: identity, status tree, EEPROMs.
#include "src/checks/TestRavelin.h"

#include "src/baselink/VexilClient.h"
#include "src/trace/FileDebug.h"

#include <cstdio>
#include <memory>

namespace {

const char CATEGORY[] = "Quillmont";
const LONG STATUS_REQUEST = 22;

const DWORD CMD_IDENTITY = 0x0C00;
const DWORD CMD_EEPROM = 0x0C10;
const DWORD EXT_CHASSIS_EEPROM = 0x0100;
const DWORD CMD_SYSTEM_STATUS = 0x230F;
const DWORD CMD_SUBSYSTEM_COUNT = 0x2300;
const DWORD CMD_SUBSYSTEM_NAME = 0x2302;
const DWORD CMD_SUBSYSTEM_DESCRIPTION = 0x2304;
const DWORD CMD_COMPONENT_COUNT = 0x2305;
const DWORD CMD_COMPONENT_STATUS = 0x2306;
const DWORD CMD_COMPONENT_NAME = 0x2307;
const DWORD CMD_COMPONENT_DESCRIPTION = 0x2308;
const DWORD CMD_COMPONENT_CONFIRM = 0x2309;

struct SIdentity {
    DWORD dwExtension;
    const char* pszElement;
};

// In the order they are asked for.
const SIdentity IDENTITY[] = {
    {0x0608, "ServerModel"},     {0x0108, "ChassisModel"},    {0x0600, "CabinetSerialNumber"},
    {0x0201, "Systemboard"},     {0x0508, "ControllerModel"}, {0x0506, "ControllerFirmware"},
};

// One test run: the client, the one command object every request reuses, and the document.
class CRavelinTest {
public:
    CRavelinTest(CVexilClient& client, CXmlDocument& doc)
        : m_Client(client), m_Doc(doc), m_Command(0, 0, 0, CABID_SERVER, 0), m_bServerModel(false),
          m_bChassisModel(false)
    {
    }

    void WriteRequests();
    void WriteStatusTree();
    void WriteEeproms();
    bool ServerModelKnown() const { return m_bServerModel; }
    bool ChassisModelKnown() const { return m_bChassisModel; }

private:
    // Identity and EEPROM requests change only code and extension of what the last reply left.
    bool SendIdentity(DWORD dwCode, DWORD dwExtension);
    // Status tree requests start afresh; true when answered.
    bool SendTree(DWORD dwCode, DWORD dwExtension, DWORD dwObjectId);
    bool HasData() const { return m_Command.GetDataLength() != 0; }
    BYTE FirstByte() { return HasData() ? m_Command.GetData()[0] : 0; }
    bool Enter(const char* pszName);
    void WriteStatus(const char* pszName, BYTE bStatus, const char* pszDescription);

    CVexilClient& m_Client;
    CXmlDocument& m_Doc;
    CCommand m_Command;
    bool m_bServerModel;
    bool m_bChassisModel;
};

bool CRavelinTest::Enter(const char* pszName)
{
    return m_Doc.AddElement(pszName, nullptr, CXmlDocument::ADD_CHILD) && m_Doc.Descend();
}

bool CRavelinTest::SendIdentity(DWORD dwCode, DWORD dwExtension)
{
    if (CommandHeader* pHeader = m_Command.GetHeader()) {
        pHeader->dwOC = dwCode;
        pHeader->dwOCExt = dwExtension;
    }
    return m_Client.SendCommand(m_Command, 0, 0, 0) == 0;
}

bool CRavelinTest::SendTree(DWORD dwCode, DWORD dwExtension, DWORD dwObjectId)
{
    m_Command.Set(dwCode, dwExtension, dwObjectId, CABID_SERVER, STATUS_REQUEST);
    DWORD dwStatus = m_Client.SendCommand(m_Command, 0, 0, 0);
    return dwStatus == 0 || dwStatus == 12 || dwStatus == 21 || dwStatus == 255;
}

void CRavelinTest::WriteStatus(const char* pszName, BYTE bStatus, const char* pszDescription)
{
    m_Doc.AddElement(pszName, bStatus, CXmlDocument::ADD_CHILD);
    m_Doc.SetAttribute(m_Doc.m_iPosChild, "Description", pszDescription);
}

void CRavelinTest::WriteRequests()
{
    if (!Enter("Requests"))
        return;
    int nCabinet = 0;
    if (m_Client.GetServerCabinetNumber(&nCabinet))
        m_Doc.AddElement("ServerCabinetNr", nCabinet, CXmlDocument::ADD_CHILD);
    for (const SIdentity& identity : IDENTITY) {
        bool bAnswered = SendIdentity(CMD_IDENTITY, identity.dwExtension);
        if (bAnswered)
            m_Doc.AddElement(identity.pszElement, m_Command.GetText(), CXmlDocument::ADD_CHILD);
        if (identity.dwExtension == IDENTITY[0].dwExtension)
            m_bServerModel = bAnswered && m_Command.GetDataLength() > 1 &&
                             lstrcmpiA(m_Command.GetText(), "UNKNOWN") != 0;
        else if (identity.dwExtension == IDENTITY[1].dwExtension)
            m_bChassisModel = bAnswered && m_Command.GetDataLength() > 1;
    }
    m_Doc.Ascend();
}

void CRavelinTest::WriteStatusTree()
{
    if (!Enter("StatusTree"))
        return;
    if (Enter("System")) {
        if (SendTree(CMD_SYSTEM_STATUS, 0, 0)) {
            BYTE bStatus = FirstByte();
            WriteStatus("Status", bStatus,
                        bStatus == 1 ? "OK" : bStatus == 2 ? "warning" : bStatus == 3 ? "error" : "n/a");
        } else {
            WriteStatus("Value", 0, "unknown");
        }
        m_Doc.Ascend();
    }
    if (SendTree(CMD_SUBSYSTEM_COUNT, 0, 0)) {
        const DWORD dwSubsystems = FirstByte();
        for (DWORD i = 0; i < dwSubsystems; ++i) {
            if (!SendTree(CMD_SUBSYSTEM_NAME, i, 0))
                continue;
            m_Doc.AddElement("Subsystem", nullptr, CXmlDocument::ADD_CHILD);
            m_Doc.SetAttribute(m_Doc.m_iPosChild, "Name", m_Command.GetText());
            bool bDescription = SendTree(CMD_SUBSYSTEM_DESCRIPTION, i, 0) && HasData();
            m_Doc.SetAttribute(m_Doc.m_iPosChild, "Description", bDescription ? m_Command.GetText() : "n/a");
            m_Doc.Descend();
            const DWORD dwComponents = SendTree(CMD_COMPONENT_COUNT, i, 0) ? FirstByte() : 0;
            for (DWORD j = 0; j < dwComponents; ++j) {
                const BYTE bStatus = SendTree(CMD_COMPONENT_STATUS, i, j) ? FirstByte() : 0;
                if (bStatus == 0)
                    continue;
                if (!SendTree(CMD_COMPONENT_NAME, i, j) || !HasData())
                    continue;
                m_Doc.AddElement("Component", nullptr, CXmlDocument::ADD_CHILD);
                m_Doc.SetAttribute(m_Doc.m_iPosChild, "Name", m_Command.GetText());
                bDescription = SendTree(CMD_COMPONENT_DESCRIPTION, i, j) && HasData();
                m_Doc.SetAttribute(m_Doc.m_iPosChild, "Description", bDescription ? m_Command.GetText() : "n/a");
                bool bConfirm = SendTree(CMD_COMPONENT_CONFIRM, i, j) && FirstByte() != 0;
                m_Doc.SetAttribute(m_Doc.m_iPosChild, "ConfirmSupported", bConfirm ? "true" : "false");
                m_Doc.Descend();
                WriteStatus("Status", bStatus,
                            bStatus == 1 ? "ok" : bStatus == 2 ? "warning" : bStatus == 3 ? "error" : "unknown");
                m_Doc.Ascend();
            }
            m_Doc.Ascend();
        }
    }
    m_Doc.Ascend();
}

void CRavelinTest::WriteEeproms()
{
    if (!Enter("EEPROMS"))
        return;
    if (SendIdentity(CMD_EEPROM, EXT_CHASSIS_EEPROM) && Enter("Chassis")) {
        const BYTE* pData = m_Command.GetData();
        for (DWORD i = 0; i < m_Command.GetDataLength(); ++i) {
            char szByte[4];
            std::snprintf(szByte, sizeof szByte, "%x", pData[i]);
            m_Doc.AddElement("BDMS", szByte, CXmlDocument::ADD_CHILD);
        }
        m_Doc.Ascend();
    }
    m_Doc.Ascend();
}

void WriteConnect(CXmlDocument& doc, CVexilClient& client, bool bAttached)
{
    doc.AddElement("Connect", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();
    doc.AddElement("Status", bAttached ? "OK" : "FAILED", CXmlDocument::ADD_CHILD);
    doc.AddElement("LastError", static_cast<int>(client.LastResult()), CXmlDocument::ADD_CHILD);
    doc.AddElement("LastErrorMsg", client.LastErrorText(), CXmlDocument::ADD_CHILD);
    doc.Ascend();
}

}  // namespace

DWORD TestRavelin(CDiagReport& report, CXmlDocument& doc)
{
    TRACE(4, "\nTriagist            : -> TestRavelin()");
    bool bAttached = false;
    try {
        if (EnterReportSection(doc, "Ravelin")) {
            std::unique_ptr<CVexilClient> pClient(new CVexilClient);
            doc.AddElement("Tests", nullptr, CXmlDocument::ADD_CHILD);
            doc.Descend();
            bAttached = pClient->Attach() != 0;
            WriteConnect(doc, *pClient, bAttached);
            bool bServerModel = false;
            bool bChassisModel = false;
            if (bAttached) {
                CRavelinTest test(*pClient, doc);
                test.WriteRequests();
                test.WriteStatusTree();
                bServerModel = test.ServerModelKnown();
                bChassisModel = test.ChassisModelKnown();
                if (!bServerModel || !bChassisModel)
                    test.WriteEeproms();
                pClient->Detach();
            }
            doc.Ascend();
            if (bAttached) {
                if (!bServerModel)
                    report.AddMessage(doc, CATEGORY, "Server Model not found!", "Errors");
                if (!bChassisModel)
                    report.AddMessage(doc, CATEGORY, "Chassis Model not found!", "Errors");
            } else {
                report.AddMessage(doc, CATEGORY, "Ravelin connect failed!", "Errors");
            }
            doc.Ascend();
        }
    } catch (...) {
        TRACE(1, "\nTriagist            : ERROR! EXCEPTION in  TestRavelin()");
    }
    TRACE(4, "\nTriagist            : <- TestRavelin()");
    return bAttached ? STEP_OK : STEP_FINDINGS;
}
