// eventlog/<Log>.txt: every record of the logs the system registers, with the message files of their sources.
#include "src/capture/Capture.h"

#include "src/platform/ScopedHandle.h"
#include "src/sysaccess/FileTimes.h"
#include "src/sysaccess/RegistryKey.h"

#include <cstring>
#include <vector>

namespace {

const char EVENTLOG_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog";

std::string UtcText(DWORD dwSeconds)
{
    FILETIME ft;
    SYSTEMTIME st;
    if (!UnixTimeToFileTime(dwSeconds, ft) || !FileTimeToSystemTime(&ft, &st))
        return "1970-01-01 00:00:00";
    return FormatText("%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

std::string TypeName(WORD wType)
{
    switch (wType) {
    case EVENTLOG_SUCCESS:
        return "Success";
    case EVENTLOG_ERROR_TYPE:
        return "Error";
    case EVENTLOG_WARNING_TYPE:
        return "Warning";
    case EVENTLOG_INFORMATION_TYPE:
        return "Information";
    case EVENTLOG_AUDIT_SUCCESS:
        return "AuditSuccess";
    case EVENTLOG_AUDIT_FAILURE:
        return "AuditFailure";
    default:
        return FormatText("%u", wType);
    }
}

// "S-1-5-18" from the binary form: revision, count, 48-bit authority, then the 32-bit parts.
std::string SidText(const BYTE* pSid, DWORD cbSid)
{
    if (cbSid < 8 || 8 + 4u * pSid[1] > cbSid)
        return std::string();
    unsigned long long authority = 0;
    for (int i = 2; i < 8; ++i)
        authority = authority << 8 | pSid[i];
    std::string strSid = FormatText("S-%u-%llu", pSid[0], authority);
    for (int i = 0; i < pSid[1]; ++i) {
        const BYTE* p = pSid + 8 + 4 * i;
        strSid += FormatText("-%lu", static_cast<unsigned long>(p[0] | p[1] << 8 | p[2] << 16 |
                                                                 static_cast<DWORD>(p[3]) << 24));
    }
    return strSid;
}

void AppendRecord(SCapture& capture, const EVENTLOGRECORD* pRecord, std::string& strOut)
{
    const char* pBase = reinterpret_cast<const char*>(pRecord);
    const char* pszSource = pBase + sizeof(EVENTLOGRECORD);
    const char* pszComputer = pszSource + std::strlen(pszSource) + 1;
    strOut += "\r\n[Record]\r\nTime=" + UtcText(pRecord->TimeGenerated) + "\r\nWritten=" +
              UtcText(pRecord->TimeWritten) + "\r\nType=" + TypeName(pRecord->EventType) + "\r\nSource=" +
              QuoteIfNeeded(pszSource) +
              FormatText("\r\nEventID=0x%08lX\r\n", static_cast<unsigned long>(pRecord->EventID));
    if (pRecord->EventCategory)
        strOut += FormatText("Category=%u\r\n", pRecord->EventCategory);
    const char* pszString = pBase + pRecord->StringOffset;
    for (WORD i = 0; i < pRecord->NumStrings && pszString < pBase + pRecord->Length; ++i) {
        std::string strValue = pszString;
        // An unquoted value that looks quoted would lose its quotes: quote it.
        strOut += "String=" + (strValue.empty() ? std::string("\"\"") : QuoteIfNeeded(strValue)) + "\r\n";
        pszString += strValue.size() + 1;
    }
    if (pRecord->DataLength) {
        strOut += "Data=";
        const BYTE* pData = reinterpret_cast<const BYTE*>(pBase + pRecord->DataOffset);
        for (DWORD i = 0; i < pRecord->DataLength; ++i)
            strOut += FormatText(i == 0 ? "%02X" : (i % 32 == 0 ? "\r\nData=%02X" : " %02X"), pData[i]);
        strOut += "\r\n";
    }
    if (pRecord->UserSidLength) {
        std::string strUser = SidText(reinterpret_cast<const BYTE*>(pBase + pRecord->UserSidOffset),
                                      pRecord->UserSidLength);
        if (!strUser.empty())
            strOut += "User=" + strUser + "\r\n";
    }
    if (capture.bRedact)
        capture.redactor.Add(CRedactor::NAME, pszComputer);
    strOut += "Computer=" + QuoteIfNeeded(pszComputer) + "\r\n";
}

// The message files of the log's sources, for drive_c.
void AddMessageFiles(SCapture& capture, const std::string& strLog)
{
    CRegistryKey log;
    std::string strLogKey = std::string(EVENTLOG_KEY) + "\\" + strLog;
    if (log.Open(strLogKey.c_str(), HKEY_LOCAL_MACHINE, CRegistryKey::READ_64) != ERROR_SUCCESS)
        return;
    for (const std::string& strSource : SubkeyNames(log.GetKey())) {
        CRegistryKey source;
        if (source.Open((strLogKey + "\\" + strSource).c_str(), HKEY_LOCAL_MACHINE, CRegistryKey::READ_64) !=
            ERROR_SUCCESS)
            continue;
        LPSTR pszFiles = source.QueryStringAlloc("EventMessageFile");
        std::string strFiles = pszFiles ? pszFiles : "";
        for (size_t nStart = 0; nStart < strFiles.size();) {
            size_t nEnd = strFiles.find(';', nStart);
            std::string strFile = strFiles.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
            if (strFile.size() > 2 && strFile[1] == ':')
                capture.AddFile(strFile);
            nStart = nEnd == std::string::npos ? strFiles.size() : nEnd + 1;
        }
    }
}

void CaptureLog(SCapture& capture, const std::string& strLog, int& nRecords)
{
    CScopedEventLog log(OpenEventLogA(nullptr, strLog.c_str()));
    if (!log.IsValid()) {
        capture.log.Missed("event log " + strLog, GetLastError());
        return;
    }
    std::string& strOut = capture.folder.Text("eventlog\\" + strLog + ".txt");
    strOut = "; The " + strLog + " log, captured by triagist-capture. Times are UTC.\r\n";
    std::vector<BYTE> buffer(0x10000);
    bool bFirst = true;
    for (;;) {
        DWORD cbRead = 0;
        DWORD cbNeeded = 0;
        if (!ReadEventLogA(log.Get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                           static_cast<DWORD>(buffer.size()), &cbRead, &cbNeeded)) {
            DWORD dwError = GetLastError();
            if (dwError == ERROR_INSUFFICIENT_BUFFER && cbNeeded <= 0x7FFFF) {
                buffer.resize(cbNeeded);
                continue;
            }
            if (dwError != ERROR_HANDLE_EOF)
                capture.log.Missed("records of event log " + strLog, dwError);
            break;
        }
        for (DWORD cbOffset = 0; cbOffset + sizeof(EVENTLOGRECORD) <= cbRead;) {
            const EVENTLOGRECORD* pRecord = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + cbOffset);
            if (pRecord->Length < sizeof(EVENTLOGRECORD) || cbOffset + pRecord->Length > cbRead)
                break;
            if (bFirst) {
                strOut += FormatText("\r\n[Log]\r\nFirstRecord=%lu\r\n", static_cast<unsigned long>(pRecord->RecordNumber));
                bFirst = false;
            }
            AppendRecord(capture, pRecord, strOut);
            ++nRecords;
            cbOffset += pRecord->Length;
        }
    }
}

}  // namespace

void CaptureEventLogs(SCapture& capture)
{
    CRegistryKey logs;
    std::vector<std::string> names;
    if (logs.Open(EVENTLOG_KEY, HKEY_LOCAL_MACHINE, CRegistryKey::READ_64) == ERROR_SUCCESS)
        names = SubkeyNames(logs.GetKey());
    if (names.empty())
        names = {"Application", "Security", "System"};
    int nRecords = 0;
    for (const std::string& strLog : names) {
        CaptureLog(capture, strLog, nRecords);
        AddMessageFiles(capture, strLog);
    }
    capture.log.Captured(FormatText("eventlog: %u logs, %d records", static_cast<unsigned>(names.size()), nRecords));
}
