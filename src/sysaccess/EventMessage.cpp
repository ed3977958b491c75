// The text of an event log record, expanded from the message files its source registered.
#include "src/sysaccess/EventMessage.h"

#include "src/platform/ScopedHandle.h"
#include "src/sysaccess/RegistryKey.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const EVENT_LOGS[] = {"Application", "System", "Security"};
const char EVENTLOG_SERVICE_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog";
// A message may refer to more insertions than its record carries; those read as empty.
const size_t MAX_INSERTIONS = 100;
// The highest insert a message can name is %99, and its "*" width and precision each take the
// argument after it: the array reaches that far, whatever the text asks.
const size_t LAST_INSERT = 99;
const size_t STAR_ARGUMENTS = 2;
const size_t ARGUMENT_ENTRIES =
    MAX_INSERTIONS > LAST_INSERT + STAR_ARGUMENTS ? MAX_INSERTIONS : LAST_INSERT + STAR_ARGUMENTS;

// The source's registration, in the first log that knows it.
bool OpenSourceKey(HKEY hMachine, LPCSTR pszSource, CRegistryKey& key)
{
    for (const char* pszLog : EVENT_LOGS) {
        char szKey[2 * MAX_PATH];
        std::snprintf(szKey, sizeof szKey, "%s\\%s\\%s", EVENTLOG_SERVICE_KEY, pszLog, pszSource);
        if (key.Open(szKey, hMachine, KEY_READ) == ERROR_SUCCESS)
            return true;
    }
    return false;
}

// The insertion strings as FormatMessageA's argument array: one pointer-sized entry each.
std::vector<DWORD_PTR> InsertionArguments(const EVENTLOGRECORD* pRecord)
{
    static const char EMPTY[] = "";
    std::vector<DWORD_PTR> arguments(ARGUMENT_ENTRIES, reinterpret_cast<DWORD_PTR>(EMPTY));
    const char* pszString = reinterpret_cast<const char*>(pRecord) + pRecord->StringOffset;
    for (WORD i = 0; i < pRecord->NumStrings && i < MAX_INSERTIONS; ++i) {
        arguments[i] = reinterpret_cast<DWORD_PTR>(pszString);
        pszString += std::strlen(pszString) + 1;
    }
    return arguments;
}

// The message in a block of LocalAlloc's; none when the file yields none.
CScopedLocalMemory FormatFromFile(LPCSTR pszFile, DWORD dwEventId, std::vector<DWORD_PTR>& arguments)
{
    char szFile[MAX_PATH];
    DWORD cchFile = ExpandEnvironmentStringsA(pszFile, szFile, sizeof szFile);
    if (cchFile == 0 || cchFile > sizeof szFile)
        return CScopedLocalMemory();
    CScopedModule module(LoadLibraryExA(szFile, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    DWORD dwFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY;
    if (module.IsValid())
        dwFlags |= FORMAT_MESSAGE_FROM_HMODULE;
    CScopedLocalMemory message;
    DWORD cchMessage = FormatMessageA(dwFlags, module.Get(), dwEventId, LANG_USER_DEFAULT,
                                      reinterpret_cast<LPSTR>(message.Receive()), 0,
                                      reinterpret_cast<va_list*>(arguments.data()));
    if (cchMessage == 0)
        message.Close();
    return message;
}

}  // namespace

CEventMessage::CEventMessage(const EVENTLOGRECORD* pRecord, LPCSTR pszComputer)
{
    HKEY hMachine = HKEY_LOCAL_MACHINE;
    CScopedRegKey remote;
    if (pszComputer) {
        if (RegConnectRegistryA(pszComputer, HKEY_LOCAL_MACHINE, remote.Receive()) != ERROR_SUCCESS)
            return;
        hMachine = remote.Get();
    }

    const char* pszSource = reinterpret_cast<const char*>(pRecord + 1);
    CRegistryKey source;
    char szFiles[MAX_PATH];
    DWORD cbFiles = sizeof szFiles;
    if (!OpenSourceKey(hMachine, pszSource, source) ||
        source.QueryString("EventMessageFile", szFiles, &cbFiles) != ERROR_SUCCESS)
        return;

    std::vector<DWORD_PTR> arguments = InsertionArguments(pRecord);
    std::string strFiles = szFiles;
    for (size_t nStart = 0; nStart <= strFiles.size() && !m_Message.IsValid();) {
        size_t nEnd = strFiles.find(';', nStart);
        if (nEnd == std::string::npos)
            nEnd = strFiles.size();
        std::string strFile = strFiles.substr(nStart, nEnd - nStart);
        if (!strFile.empty())
            m_Message = FormatFromFile(strFile.c_str(), pRecord->EventID, arguments);
        nStart = nEnd + 1;
    }

    if (m_Message.IsValid()) {
        char* pszBreak = std::strstr(static_cast<char*>(m_Message.Get()), "\r\n");
        if (pszBreak)
            *pszBreak = '\0';
    }
}
