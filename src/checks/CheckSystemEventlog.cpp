// The diagnosis step that copies the server's own system event log, read through the base service, into the report.
#include "src/checks/CheckSystemEventlog.h"

#include "src/baselink/VexilClient.h"
#include "src/sysaccess/FileTimes.h"
#include "src/trace/FileDebug.h"
#include "src/xml/XmlDescent.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

const DWORD CMD_SYSTEM_EVENTLOG = 0x0B10;
const LONG STATUS_REQUEST = 22;
const short EVENTLOG_TIMEOUT = 90;
// The fixed part of an entry before its message, and the least an entry must leave to be read.
const size_t ENTRY_HEADER = 16;
const size_t ENTRY_MIN = 18;

WORD Word(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

LONG Long(const BYTE* p)
{
    return static_cast<LONG>(static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
                             (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24));
}

// The controller's clock knows no time zone: the time stamp is shown as it stands.
void FormatDate(LONG lTime, char (&szDate)[64])
{
    std::snprintf(szDate, sizeof szDate, " <no date/no time> ");
    if (lTime <= 0)
        return;
    FILETIME ft;
    SYSTEMTIME st;
    if (UnixTimeToFileTime(lTime, ft) && FileTimeToSystemTime(&ft, &st))
        std::snprintf(szDate, sizeof szDate, "%02d.%02d.%04d %02d:%02d:%02d", st.wDay, st.wMonth, st.wYear, st.wHour,
                      st.wMinute, st.wSecond);
}

const char* SeverityName(BYTE bSeverity)
{
    switch (bSeverity) {
    case 0:
    case 1:
        return "INFO";
    case 2:
        return "MAJOR";
    case 3:
        return "CRITICAL";
    default:
        return "";
    }
}

}  // namespace

size_t WriteSystemEventlogEntries(CXmlDocument& doc, const BYTE* pData, size_t cbData)
{
    size_t nEntries = 0;
    size_t cbLeft = pData ? cbData : 0;
    while (cbLeft >= ENTRY_MIN) {
        const WORD wLength = Word(pData);
        char szDate[64];
        FormatDate(Long(pData + 8), szDate);
        char szErrorCode[8];
        std::snprintf(szErrorCode, sizeof szErrorCode, "%04X", Word(pData + 4));
        // The message ends at its NUL, or at the end of the data when a damaged entry has none.
        const char* pszMessage = reinterpret_cast<const char*>(pData + ENTRY_HEADER);
        std::string strMessage(pszMessage, strnlen(pszMessage, cbLeft - ENTRY_HEADER));

        doc.AddElement("Entry", nullptr, CXmlDocument::ADD_CHILD);
        doc.Descend();
        doc.AddElement("Date", szDate, CXmlDocument::ADD_CHILD);
        doc.AddElement("Severity", SeverityName(pData[3]), CXmlDocument::ADD_CHILD);
        doc.AddElement("ErrorCode", szErrorCode, CXmlDocument::ADD_CHILD);
        doc.AddElement("Message", strMessage.c_str(), CXmlDocument::ADD_CHILD);
        doc.Ascend();
        ++nEntries;

        // A length that would not move on, or would move past the data, leaves nothing more to trust.
        if (wLength == 0 || wLength > cbLeft)
            break;
        pData += wLength;
        cbLeft -= wLength;
    }
    return nEntries;
}

DWORD CheckSystemEventlog(CDiagReport&, CXmlDocument& doc)
{
    TRACE(4, "\nTriagist            : -> CheckSystemEventlog()");
    bool bAttached = false;
    try {
        CXmlDescent section(doc, EnterReportSection(doc, "System"));
        CXmlDescent eventlog(doc, section.IsEntered() &&
                                      doc.AddElement("SystemEventlog", nullptr, CXmlDocument::ADD_CHILD) &&
                                      doc.Descend());
        if (eventlog.IsEntered()) {
            std::unique_ptr<CVexilClient> pClient(new CVexilClient);
            bAttached = pClient->Attach() != 0;
            if (bAttached) {
                std::unique_ptr<CCommand> pCommand(new CCommand(0, 0, 0, CABID_SERVER, 0));
                pCommand->Set(CMD_SYSTEM_EVENTLOG, 0, 0, CABID_SERVER, STATUS_REQUEST);
                pClient->SendCommand(*pCommand, EVENTLOG_TIMEOUT, 0, 0);
                const LONG lStatus = pCommand->GetStatus();
                if (lStatus == 0 || lStatus == 12 || lStatus == 21 || lStatus == 255)
                    WriteSystemEventlogEntries(doc, pCommand->GetData(), pCommand->GetDataLength());
                pClient->Detach();
            }
        }
    } catch (...) {
        TRACE(1, "\nTriagist            : ERROR! EXCEPTION in  CheckSystemEventlog()");
    }
    TRACE(4, "\nTriagist            : <- CheckSystemEventlog()");
    return bAttached ? STEP_OK : STEP_FINDINGS;
}
