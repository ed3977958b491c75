// The error and warning records of the event logs that come from the agents' components or concern them.
#include "src/checks/OperatingSystemParts.h"

#include "src/platform/ScopedHandle.h"
#include "src/sysaccess/EventMessage.h"
#include "src/sysaccess/FileTimes.h"
#include "src/trace/FileDebug.h"
#include "src/xml/XmlText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const EVENT_LOGS[] = {"Application", "System", "Security"};

// Sources whose records are the product's own, and sources that are taken only
// when an insertion string names one of the product's programs or services.
const char* const PRODUCT_SOURCES[] = {
    "VexilServer", "Fennock", "MORLET", "Ravelind", "Ravelin", "Quillmont Agents", "SNMP", "Quillmont Farlink",
};
struct SConditionalSource {
    const char* pszSource;
    const char* apszWords[3];
};
const SConditionalSource CONDITIONAL_SOURCES[] = {
    {"Service Control Manager", {"SNMP", "Ravelin", "Farlink"}},
    {"DrWatson", {"Ravelind.exe", "QmFarlink.exe", "snmp.exe"}},
    {"Application Error", {"Ravelind.exe", "QmFarlink.exe", "snmp.exe"}},
};

// The log's next record, newest first; false at the end or on failure.
bool ReadNextRecord(HANDLE hLog, std::vector<BYTE>& record)
{
    const DWORD dwFlags = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;
    BYTE probe = 0;
    DWORD cbRead = 0;
    DWORD cbNeeded = 0;
    if (ReadEventLogA(hLog, dwFlags, 0, &probe, 0, &cbRead, &cbNeeded) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || cbNeeded == 0)
        return false;
    record.assign(cbNeeded, 0);
    return ReadEventLogA(hLog, dwFlags, 0, record.data(), cbNeeded, &cbRead, &cbNeeded) != FALSE;
}

std::vector<const char*> InsertionStrings(const EVENTLOGRECORD* pRecord)
{
    std::vector<const char*> strings;
    const char* pszString = reinterpret_cast<const char*>(pRecord) + pRecord->StringOffset;
    for (WORD i = 0; i < pRecord->NumStrings; ++i) {
        strings.push_back(pszString);
        pszString += std::strlen(pszString) + 1;
    }
    return strings;
}

bool IsProductRecord(const char* pszSource, const std::vector<const char*>& strings)
{
    for (const char* pszProduct : PRODUCT_SOURCES) {
        if (std::strcmp(pszSource, pszProduct) == 0)
            return true;
    }
    for (const SConditionalSource& source : CONDITIONAL_SOURCES) {
        if (std::strcmp(pszSource, source.pszSource) != 0)
            continue;
        for (const char* pszString : strings) {
            for (const char* pszWord : source.apszWords) {
                if (std::strstr(pszString, pszWord))
                    return true;
            }
        }
    }
    return false;
}

// White space is only what a report carries as such: a vertical tab or a form feed is none.
bool IsPrintableOrBlank(char ch)
{
    return std::isprint(static_cast<unsigned char>(ch)) || IsXmlBlank(ch);
}

// A message whose characters are all printable or white space stays as it is;
// otherwise the others become blanks and the text says it was changed.
std::string ReportableMessage(const char* pszMessage)
{
    std::string strMessage = pszMessage;
    if (std::all_of(strMessage.begin(), strMessage.end(), IsPrintableOrBlank))
        return strMessage;

    TRACE(2, "\nTriagist            : WARNING!! Not printable message \"%s\"", strMessage.c_str());
    for (char& ch : strMessage) {
        if (!IsPrintableOrBlank(ch))
            ch = ' ';
    }
    TRACE(2, "\nTriagist            : Changed Message: \"%s\"", strMessage.c_str());
    return "@@!!Modified!!@@: " + strMessage;
}

std::string RecordTimeText(DWORD dwTimeGenerated)
{
    FILETIME ftUtc, ftLocal;
    SYSTEMTIME st;
    if (!UnixTimeToFileTime(static_cast<LONG>(dwTimeGenerated), ftUtc) || !FileTimeToLocalFileTime(&ftUtc, &ftLocal) ||
        !FileTimeToSystemTime(&ftLocal, &st))
        return "n/a";
    char szTime[64];
    std::snprintf(szTime, sizeof szTime, "%04d/%02d/%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return szTime;
}

void WriteRecord(CXmlDocument& doc, const char* pszLog, const EVENTLOGRECORD* pRecord, const char* pszMessage,
                 SEventCounts& counts)
{
    const char* pszSource = reinterpret_cast<const char*>(pRecord + 1);
    std::string strMessage = ReportableMessage(pszMessage);
    bool bError = pRecord->EventType == EVENTLOG_ERROR_TYPE;
    doc.AddElement("Record", nullptr, CXmlDocument::ADD_CHILD);
    doc.SetAttribute(doc.m_iPosChild, "Source", pszSource);
    doc.SetAttribute(doc.m_iPosChild, "Type", bError ? "Error" : "Warning");
    doc.SetAttribute(doc.m_iPosChild, "Created", RecordTimeText(pRecord->TimeGenerated).c_str());
    ++(bError ? counts.dwErrors : counts.dwWarnings);
    doc.Descend();
    doc.AddElement("Message", strMessage.c_str(), CXmlDocument::ADD_CHILD);
    doc.Ascend();
    TRACE(2, "\nTriagist            : Event(%s) 0x%08X: Message: %s ", pszLog,
          static_cast<unsigned>(pRecord->EventID), strMessage.c_str());
}

void ScanLog(CXmlDocument& doc, const char* pszLog, SEventCounts& counts)
{
    doc.AddElement(pszLog, nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();
    CScopedEventLog log(OpenEventLogA(nullptr, pszLog));
    std::vector<BYTE> buffer;
    while (log.IsValid() && ReadNextRecord(log.Get(), buffer)) {
        const EVENTLOGRECORD* pRecord = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data());
        if (pRecord->EventType != EVENTLOG_ERROR_TYPE && pRecord->EventType != EVENTLOG_WARNING_TYPE)
            continue;
        const char* pszSource = reinterpret_cast<const char*>(pRecord + 1);
        std::vector<const char*> strings = InsertionStrings(pRecord);
        if (!IsProductRecord(pszSource, strings))
            continue;
        CEventMessage message(pRecord, nullptr);
        if (message.Get())
            WriteRecord(doc, pszLog, pRecord, message.Get(), counts);
    }
    doc.Ascend();
}

}  // namespace

SEventCounts WriteProductEvents(CXmlDocument& doc)
{
    SEventCounts counts;
    doc.AddElement("Eventlog", nullptr, CXmlDocument::ADD_CHILD);
    doc.Descend();
    for (const char* pszLog : EVENT_LOGS)
        ScanLog(doc, pszLog, counts);
    doc.Ascend();
    return counts;
}
