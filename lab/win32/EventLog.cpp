// Stands in for reading the Windows event logs (advapi32's OpenEventLogA, ReadEventLogA and companions).
#include "lab/win32/EventLog.h"

#include "lab/host/EventLogs.h"
#include "lab/host/Host.h"
#include "lab/win32/Handles.h"
#include "lab/win32/SysInfo.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using lab::host::EventLog;
using lab::host::EventRecord;

constexpr DWORD kErrorServerUnavailable = 1722;  // RPC_S_SERVER_UNAVAILABLE
constexpr DWORD kSignature = 0x654C664C;         // "LfLe"
constexpr DWORD kMaxReadSize = 0x7FFFF;          // the largest buffer ReadEventLog accepts

class EventLogHandle : public lab::win32::KernelObject {
public:
    explicit EventLogHandle(std::shared_ptr<const EventLog> pLog) : m_pLog(std::move(pLog)) {}

    // The log as it was when the handle was opened.
    const std::shared_ptr<const EventLog> m_pLog;
    std::mutex m_lock;
    // Index of the record the last read ended on; none before the first read, so that the first
    // sequential read starts at the oldest record going forwards and at the newest going backwards.
    long m_current = -1;
};

std::shared_ptr<EventLogHandle> LogOf(HANDLE h)
{
    return lab::win32::LookupHandleAs<EventLogHandle>(h);
}

std::string MachineName()
{
    char name[256] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name) : std::string();
}

bool IsLocalMachine(LPCSTR server)
{
    if (!server || !*server)
        return true;
    std::string name = server;
    if (name.compare(0, 2, "\\\\") == 0)
        name.erase(0, 2);
    return lab::host::EqualsNoCase(name, MachineName());
}

void Append(std::vector<BYTE>& bytes, const void* data, size_t size)
{
    const BYTE* p = static_cast<const BYTE*>(data);
    bytes.insert(bytes.end(), p, p + size);
}

void AppendText(std::vector<BYTE>& bytes, const std::string& text)
{
    Append(bytes, text.c_str(), text.size() + 1);
}

void PadToDword(std::vector<BYTE>& bytes)
{
    while (bytes.size() % sizeof(DWORD) != 0)
        bytes.push_back(0);
}

// One record as the A function lays it out: the fixed head, the source and computer names, the
// user SID at a DWORD boundary, the insertion strings, the data, padding to a DWORD boundary and the
// length once more, so that the log can be walked in both directions.
std::vector<BYTE> RecordBytes(const EventRecord& record, const std::string& machine)
{
    std::vector<BYTE> bytes(sizeof(EVENTLOGRECORD), 0);
    AppendText(bytes, record.source);
    AppendText(bytes, record.computer.empty() ? machine : record.computer);
    PadToDword(bytes);
    size_t sidOffset = bytes.size();
    Append(bytes, record.userSid.data(), record.userSid.size());
    size_t stringOffset = bytes.size();
    for (const std::string& text : record.strings)
        AppendText(bytes, text);
    size_t dataOffset = bytes.size();
    Append(bytes, record.data.data(), record.data.size());
    PadToDword(bytes);
    DWORD length = static_cast<DWORD>(bytes.size() + sizeof(DWORD));
    Append(bytes, &length, sizeof length);

    EVENTLOGRECORD head;
    std::memset(&head, 0, sizeof head);
    head.Length = length;
    head.Reserved = kSignature;
    head.RecordNumber = record.number;
    head.TimeGenerated = record.timeGenerated;
    head.TimeWritten = record.timeWritten;
    head.EventID = record.eventId;
    head.EventType = record.type;
    head.NumStrings = static_cast<WORD>(record.strings.size());
    head.EventCategory = record.category;
    head.StringOffset = static_cast<DWORD>(stringOffset);
    head.UserSidLength = static_cast<DWORD>(record.userSid.size());
    head.UserSidOffset = static_cast<DWORD>(sidOffset);
    head.DataLength = static_cast<DWORD>(record.data.size());
    head.DataOffset = static_cast<DWORD>(dataOffset);
    std::memcpy(bytes.data(), &head, sizeof head);
    return bytes;
}

bool OneBitOf(DWORD flags, DWORD a, DWORD b)
{
    return ((flags & a) != 0) != ((flags & b) != 0);
}

}  // namespace

// A name that is no log opens the Application log, as Windows does for a custom log it cannot find.
HANDLE WINAPI OpenEventLogA(LPCSTR lpUNCServerName, LPCSTR lpSourceName)
{
    if (!lpSourceName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsLocalMachine(lpUNCServerName)) {
        SetLastError(kErrorServerUnavailable);
        return nullptr;
    }
    lab::host::EventLogs& logs = lab::host::Host::Instance().TheEventLogs();
    std::shared_ptr<const EventLog> pLog = logs.Find(lpSourceName);
    if (!pLog)
        pLog = logs.Find("Application");
    if (!pLog) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (DWORD dwError = logs.OpenError(pLog->name)) {
        SetLastError(dwError);
        return nullptr;
    }
    return lab::win32::InsertHandle(std::make_shared<EventLogHandle>(pLog));
}

BOOL WINAPI ReadEventLogA(HANDLE hEventLog, DWORD dwReadFlags, DWORD dwRecordOffset, LPVOID lpBuffer,
                          DWORD nNumberOfBytesToRead, DWORD* pnBytesRead, DWORD* pnMinNumberOfBytesNeeded)
{
    auto pHandle = LogOf(hEventLog);
    if (!pHandle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Exactly one way (sequential or seek) and exactly one direction.
    if (!OneBitOf(dwReadFlags, EVENTLOG_SEQUENTIAL_READ, EVENTLOG_SEEK_READ) ||
        !OneBitOf(dwReadFlags, EVENTLOG_FORWARDS_READ, EVENTLOG_BACKWARDS_READ) || !pnBytesRead ||
        !pnMinNumberOfBytesNeeded || nNumberOfBytesToRead > kMaxReadSize || (!lpBuffer && nNumberOfBytesToRead)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pnBytesRead = 0;
    *pnMinNumberOfBytesNeeded = 0;
    const EventLog& log = *pHandle->m_pLog;
    if (DWORD dwError = lab::host::Host::Instance().TheEventLogs().ReadError(log.name)) {
        SetLastError(dwError);
        return FALSE;
    }

    std::lock_guard<std::mutex> guard(pHandle->m_lock);
    const long count = static_cast<long>(log.records.size());
    const long step = (dwReadFlags & EVENTLOG_FORWARDS_READ) ? 1 : -1;
    long index;
    if (dwReadFlags & EVENTLOG_SEEK_READ) {
        index = count == 0 ? -1 : static_cast<long>(dwRecordOffset) - static_cast<long>(log.records[0].number);
        if (index < 0 || index >= count) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    } else {
        index = pHandle->m_current < 0 ? (step > 0 ? 0 : count - 1) : pHandle->m_current + step;
    }

    // As many whole records as fit; a record that does not fit stays for the next read.
    std::string machine = MachineName();
    DWORD dwUsed = 0;
    long last = -1;
    for (; index >= 0 && index < count; index += step) {
        std::vector<BYTE> bytes = RecordBytes(log.records[static_cast<size_t>(index)], machine);
        if (bytes.size() > nNumberOfBytesToRead - dwUsed) {
            if (last < 0)
                *pnMinNumberOfBytesNeeded = static_cast<DWORD>(bytes.size());
            break;
        }
        std::memcpy(static_cast<BYTE*>(lpBuffer) + dwUsed, bytes.data(), bytes.size());
        dwUsed += static_cast<DWORD>(bytes.size());
        last = index;
    }
    if (last < 0) {
        SetLastError(*pnMinNumberOfBytesNeeded ? ERROR_INSUFFICIENT_BUFFER : ERROR_HANDLE_EOF);
        return FALSE;
    }
    pHandle->m_current = last;
    *pnBytesRead = dwUsed;
    return TRUE;
}

BOOL WINAPI CloseEventLog(HANDLE hEventLog)
{
    if (!LogOf(hEventLog) || !lab::win32::RemoveHandle(hEventLog)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetNumberOfEventLogRecords(HANDLE hEventLog, PDWORD NumberOfRecords)
{
    auto pHandle = LogOf(hEventLog);
    if (!pHandle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!NumberOfRecords) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *NumberOfRecords = static_cast<DWORD>(pHandle->m_pLog->records.size());
    return TRUE;
}

// 0 for an empty log.
BOOL WINAPI GetOldestEventLogRecord(HANDLE hEventLog, PDWORD OldestRecord)
{
    auto pHandle = LogOf(hEventLog);
    if (!pHandle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!OldestRecord) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& records = pHandle->m_pLog->records;
    *OldestRecord = records.empty() ? 0 : records.front().number;
    return TRUE;
}
