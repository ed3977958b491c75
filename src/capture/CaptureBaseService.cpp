// baseservice.ini: what the base service answers through the command router, asked as the diagnosis asks.
#include "src/capture/Capture.h"

#include "src/baselink/Command.h"
#include "src/baselink/VexilClient.h"

#include <cstring>
#include <memory>

namespace {

const LONG STATUS_REQUEST = 22;
const DWORD MAX_PROCESSORS = 64;

struct SIdentity {
    DWORD dwCode;
    DWORD dwExtension;
    const char* pszKey;
    CRedactor::Kind kind;
    bool bIdentifying;
};

const SIdentity IDENTITY[] = {
    {0x0C00, 0x0608, "ServerModel", CRedactor::SERIAL, false},
    {0x0C00, 0x0108, "ChassisModel", CRedactor::SERIAL, false},
    {0x0C00, 0x0600, "CabinetSerialNumber", CRedactor::SERIAL, true},
    {0x0C00, 0x0201, "Systemboard", CRedactor::SERIAL, true},
    {0x0C00, 0x0508, "ControllerModel", CRedactor::SERIAL, false},
    {0x0C00, 0x0506, "ControllerFirmware", CRedactor::SERIAL, false},
};

class CAsker {
public:
    CAsker(CVexilClient& client) : m_Client(client), m_Command(0, 0, 0, CABID_SERVER, STATUS_REQUEST) {}

    bool Ask(DWORD dwCode, DWORD dwExtension, DWORD dwObjectId)
    {
        m_Command.Set(dwCode, dwExtension, dwObjectId, CABID_SERVER, STATUS_REQUEST);
        return m_Client.SendCommand(m_Command, 0, 0, 0) == 0;
    }
    std::string Text() { return m_Command.GetText(); }
    BYTE FirstByte() { return m_Command.GetDataLength() ? m_Command.GetData()[0] : 0; }
    bool HasData() const { return m_Command.GetDataLength() != 0; }
    const BYTE* Data() { return m_Command.GetData(); }
    DWORD Length() const { return m_Command.GetDataLength(); }

private:
    CVexilClient& m_Client;
    CCommand m_Command;
};

void AppendServer(SCapture& capture, CVexilClient& client, CAsker& ask, std::string& strOut)
{
    strOut += "[Server]\r\n";
    VARIANT version;
    VariantInit(&version);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (SUCCEEDED(client.InvokeEx(client.GetDispId(CVexilClient::METHOD_RAVELINVERSION), DISPATCH_PROPERTYGET, &none,
                                  &version)) &&
        version.vt == VT_BSTR && version.bstrVal) {
        char szVersion[256] = "";
        WideCharToMultiByte(CP_ACP, 0, version.bstrVal, -1, szVersion, sizeof szVersion, nullptr, nullptr);
        strOut += std::string("Version=") + szVersion + "\r\n";
    }
    VariantClear(&version);
    int nCabinet = 0;
    if (client.GetServerCabinetNumber(&nCabinet))
        strOut += FormatText("CabinetNumber=%d\r\n", nCabinet);
    for (const SIdentity& identity : IDENTITY) {
        if (!ask.Ask(identity.dwCode, identity.dwExtension, 0))
            continue;
        std::string strText = ask.Text();
        if (capture.bRedact && identity.bIdentifying)
            capture.redactor.Add(identity.kind, strText);
        strOut += std::string(identity.pszKey) + "=" + QuoteIfNeeded(strText) + "\r\n";
    }
    if (ask.Ask(0x0C10, 0x0100, 0) && ask.HasData()) {
        strOut += "ChassisEEPROM=";
        for (DWORD i = 0; i < ask.Length(); ++i)
            strOut += FormatText(i ? " %02x" : "%02x", ask.Data()[i]);
        strOut += "\r\n";
    }
    if (ask.Ask(0x230F, 0, 0) && ask.HasData())
        strOut += FormatText("SystemStatus=%u\r\n", ask.FirstByte());

    strOut += "\r\n[Processors]\r\n";
    for (DWORD n = 0; n < MAX_PROCESSORS && ask.Ask(0x060B, 0, n); ++n)
        strOut += FormatText("%lu=", static_cast<unsigned long>(n)) + QuoteIfNeeded(ask.Text()) + "\r\n";

    strOut += "\r\n[Security]\r\n";
    if (ask.Ask(0xE001, 0x3810, 0) && ask.HasData())
        strOut += FormatText("SetAllowed=%u\r\n", ask.FirstByte());
    if (ask.Ask(0xE001, 0x3812, 0) && ask.HasData())
        strOut += FormatText("AccountCheck=%u\r\n", ask.FirstByte());
    if (ask.Ask(0xE001, 0x3813, 0))
        strOut += "UserGroup=" + QuoteIfNeeded(ask.Text()) + "\r\n";
}

// The MIB's name for a status type other than INTEGER, the one the lab serves without being told.
const char* MibTypeName(BYTE bType)
{
    switch (bType) {
    case ASN_GAUGE32:
        return "gauge";
    case ASN_COUNTER32:
        return "counter";
    case ASN_OCTETSTRING:
        return "string";
    default:
        return nullptr;
    }
}

// The status tree as the router tells it; where the agents' status MIB serves it, each component's
// identifier, its status's type and the subsystem's component list where they are not the usual ones.
int AppendStatusTree(const SStatusMib& mib, CAsker& ask, std::string& strOut)
{
    if (!ask.Ask(0x2300, 0, 0))
        return 0;
    int nSubsystems = ask.FirstByte();
    size_t nRow = 0;  // the component's row in the MIB
    std::string strTypes;
    for (int i = 0; i < nSubsystems; ++i) {
        strOut += "\r\n[Subsystem]\r\n";
        if (ask.Ask(0x2302, i, 0))
            strOut += "Name=" + QuoteIfNeeded(ask.Text()) + "\r\n";
        if (ask.Ask(0x2304, i, 0))
            strOut += "Description=" + QuoteIfNeeded(ask.Text()) + "\r\n";
        int nComponents = ask.Ask(0x2305, i, 0) ? ask.FirstByte() : 0;
        std::string strList;
        for (int j = 0; j < nComponents; ++j, ++nRow) {
            BYTE bStatus = ask.Ask(0x2306, i, j) ? ask.FirstByte() : 0;
            bool bConfirm = ask.Ask(0x2309, i, j) && ask.FirstByte() != 0;
            std::string strName = ask.Ask(0x2307, i, j) ? ask.Text() : std::string();
            std::string strDescription = ask.Ask(0x2308, i, j) ? ask.Text() : std::string();
            strOut += FormatText("Component=%u|%s|", bStatus, bConfirm ? "yes" : "no") + QuoteIfNeeded(strName) +
                      "|" + QuoteIfNeeded(strDescription);
            std::string strId = FormatText("%d.%d", i + 1, j + 1);
            if (mib.bServed && nRow < mib.componentIds.size() && mib.componentIds[nRow].bType == ASN_OCTETSTRING &&
                mib.componentIds[nRow].strText != strId) {
                strId = mib.componentIds[nRow].strText;
                strOut += "|" + strId;
            }
            strOut += "\r\n";
            strList += (strList.empty() ? "" : " ") + strId;
            const char* pszType = mib.bServed && nRow < mib.statuses.size() ? MibTypeName(mib.statuses[nRow].bType)
                                                                            : nullptr;
            if (pszType)
                strTypes += "StatusType=" + strId + "|" + pszType + "\r\n";
        }
        if (mib.bServed && static_cast<size_t>(i) < mib.componentLists.size() &&
            mib.componentLists[i].bType == ASN_OCTETSTRING && mib.componentLists[i].strText != strList)
            strOut += "ComponentList=" + mib.componentLists[i].strText + "\r\n";
    }
    if (!strTypes.empty())
        strOut += "\r\n[StatusMib]\r\n" + strTypes;
    return nSubsystems;
}

// The system event log reply: entries of length, severity, code, time and message, one after the other.
int AppendEvents(CAsker& ask, std::string& strOut)
{
    if (!ask.Ask(0x0B10, 0, 0))
        return 0;
    const BYTE* pData = ask.Data();
    DWORD cbData = ask.Length();
    int nEvents = 0;
    for (DWORD at = 0; at + 16 < cbData;) {
        DWORD cbEntry = pData[at] | pData[at + 1] << 8;
        if (cbEntry < 17 || at + cbEntry > cbData)
            break;
        LONG lTime = 0;
        std::memcpy(&lTime, pData + at + 8, 4);
        std::string strMessage(reinterpret_cast<const char*>(pData + at + 16),
                               strnlen(reinterpret_cast<const char*>(pData + at + 16), cbEntry - 16));
        strOut += FormatText("\r\n[Event]\r\nTime=%ld\r\nSeverity=%u\r\nErrorCode=0x%04X\r\nMessage=",
                             static_cast<long>(lTime), pData[at + 3], pData[at + 4] | pData[at + 5] << 8) +
                  QuoteIfNeeded(strMessage) + "\r\n";
        ++nEvents;
        at += cbEntry;
    }
    return nEvents;
}

}  // namespace

void CaptureBaseService(SCapture& capture)
{
    std::unique_ptr<CVexilClient> pClient(new CVexilClient);
    if (!pClient->Attach()) {
        capture.log.Missed("baseservice.ini", FormatText("the command router does not answer (0x%08lX)",
                                                         static_cast<unsigned long>(pClient->LastResult())));
        return;
    }
    std::string& strOut = capture.folder.Text("baseservice.ini");
    strOut = "; The base service's answers, captured by triagist-capture.\r\n\r\n";
    CAsker ask(*pClient);
    AppendServer(capture, *pClient, ask, strOut);
    int nSubsystems = AppendStatusTree(capture.statusMib, ask, strOut);
    int nEvents = AppendEvents(ask, strOut);
    pClient->Detach();
    capture.log.Captured(FormatText("baseservice.ini: identity, %d subsystems, %d system event log entries",
                                    nSubsystems, nEvents));
}
