// The trace settings of every module that uses the trace log.
#include "src/tools/TraceSettings.h"

#include "src/platform/RegistryText.h"
#include "src/platform/RegistryView.h"
#include "src/platform/ScopedHandle.h"
#include "src/sysaccess/InstallInfo.h"
#include "src/sysaccess/RegistryKey.h"
#include "src/trace/FileDebug.h"
#include "src/trace/TraceSettingsNames.h"
#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

const char AGENTS_POINTER_KEY[] = "SYSTEM\\CurrentControlSet\\Control\\UUID\\C3681B60-0D26-11D3-8319-00A0C9B61E25";
const char AGENTS_POINTER_VALUE[] = "Quillmont SNMP Agents";
const char SNMP_MODULE_MARK[] = "_MIB";
const char VEXIL_TRACE_FILE[] = "C:\\Vexil.txt";
const int MAX_RAVELIN_MODULES = 64;
const DWORD ERROR_NOT_FOUND_CODE = 2;

struct HiveName {
    const char* pszName;
    HKEY hHive;
};

const HiveName HIVE_NAMES[] = {
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKU", HKEY_USERS},
    {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKDD", HKEY_DYN_DATA},
    {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

std::string DefaultTraceFile(const std::string& strName)
{
    return "C:\\" + strName + ".txt";
}

void ReadDword(HKEY hKey, const char* pszName, DWORD& dwValue)
{
    DWORD dwData = 0;
    DWORD cbData = sizeof dwData;
    if (RegQueryValueExA(hKey, pszName, nullptr, nullptr, reinterpret_cast<LPBYTE>(&dwData), &cbData) ==
        ERROR_SUCCESS)
        dwValue = dwData;
}

void WriteDword(HKEY hKey, const char* pszName, DWORD dwValue)
{
    RegSetValueExA(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof dwValue);
}

void AddModule(TraceModuleList& list, const std::string& strName, const std::string& strTraceFile, DWORD bRegistered)
{
    TraceModule module;
    module.strName = strName;
    module.strTraceFile = strTraceFile;
    module.bRegistered = bRegistered;
    CTraceSettings::ReadModule(module);
    std::lock_guard<std::mutex> guard(list.lock);
    list.records.push_back(std::move(module));
}

void TraceFound(const char* pszName)
{
    TRACE(2, "\nTriagist            :   Found module %s", pszName);
}

// Creates (or opens) hParent\pszName with write access in the 64-bit view, retried without the view when refused.
LONG CreateKey64(HKEY hParent, const char* pszName, CScopedRegKey& key)
{
    LONG lResult = RegCreateKeyExA(hParent, pszName, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                                   key.Receive(), nullptr);
    if (lResult == ERROR_ACCESS_DENIED)
        lResult = RegCreateKeyExA(hParent, pszName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
    return lResult;
}

// SOFTWARE\Debug created with write access, 64-bit view first; the error code, ERROR_SUCCESS on success.
LONG CreateSettingsKey(CScopedRegKey& debugKey)
{
    CScopedRegKey software;
    LONG lResult = RegOpenKey64(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ | KEY_WRITE, software.Receive());
    if (lResult == ERROR_SUCCESS)
        lResult = CreateKey64(software.Get(), "Debug", debugKey);
    if (lResult != ERROR_SUCCESS)
        TRACE(1, "\nTriagist            :   ERROR 0x%X! Could not open/ create key SOFTWARE\\Debug",
              static_cast<unsigned>(lResult));
    return lResult;
}

// The fields differ: the first record's value unless a later one differs.
template <class T>
void Merge(std::optional<T>& field, const T& value, bool bFirst)
{
    if (bFirst)
        field = value;
    else if (field && *field != value)
        field.reset();
}

bool TakeNumber(const std::optional<long>& edit, DWORD& dwValue)
{
    if (!edit || static_cast<DWORD>(*edit) == dwValue)
        return false;
    dwValue = static_cast<DWORD>(*edit);
    return true;
}

bool TakeCheck(TraceFields::Check check, DWORD& bValue)
{
    if (check == TraceFields::INDETERMINATE)
        return false;
    DWORD bNew = check == TraceFields::CHECKED ? 1 : 0;
    if (bNew == bValue)
        return false;
    bValue = bNew;
    return true;
}

std::string Printf1(const char* pszFormat, const std::string& strArg)
{
    std::vector<char> buffer(std::strlen(pszFormat) + strArg.size() + 1);
    std::snprintf(buffer.data(), buffer.size(), pszFormat, strArg.c_str());
    return buffer.data();
}

}  // namespace

const char TRACE_INIT_ERROR_TEXT[] = "Could not read trace options! Check your access rights!";
const char TRACE_INIT_ERROR_CAPTION[] = "Error";

TraceFieldEdits FieldsAsShown(const TraceFields& fields)
{
    TraceFieldEdits current;
    auto number = [](const std::optional<DWORD>& value) {
        return value ? std::optional<long>(static_cast<long>(*value)) : std::nullopt;
    };
    current.conLevel = number(fields.conLevel);
    current.fileLevel = number(fields.fileLevel);
    current.winLevel = number(fields.winLevel);
    current.fileLimit = number(fields.fileLimit);
    current.traceFile = fields.traceFile.value_or("");
    current.timeStamp = fields.timeStamp;
    current.dateStamp = fields.dateStamp;
    current.threadId = fields.threadId;
    current.cpuId = fields.cpuId;
    current.appName = fields.appName;
    current.memUsage = fields.memUsage;
    return current;
}

bool ListNames(const TraceModuleList& list, const std::string& strName)
{
    std::lock_guard<std::mutex> guard(list.lock);
    return std::any_of(list.records.begin(), list.records.end(),
                       [&](const TraceModule& module) { return module.strName == strName; });
}

std::string SystemErrorText(DWORD dwError)
{
    char szCode[16];
    std::snprintf(szCode, sizeof szCode, "0x%08X", static_cast<unsigned>(dwError));
    char szMessage[512] = "";
    DWORD cchMessage = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                                      szMessage, sizeof szMessage, nullptr);
    std::string strMessage(szMessage, std::min<size_t>(cchMessage, sizeof szMessage - 1));
    while (!strMessage.empty() && static_cast<unsigned char>(strMessage.back()) < ' ')
        strMessage.pop_back();
    if (!strMessage.empty() && strMessage.back() == '.')
        strMessage.pop_back();
    if (strMessage.empty())
        return szCode;
    return std::string(szCode) + ": " + strMessage;
}

DWORD CTraceSettings::ScanModules()
{
    DWORD dwDynamic = 0;
    {
        CScopedRegKey key;
        if (RegOpenKey64(HKEY_LOCAL_MACHINE, TRACE_SETTINGS_KEY, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS)
            ReadDword(key.Get(), TRACE_DYNAMIC_UPDATE, dwDynamic);
    }
    m_bDynamicUpdate = dwDynamic != 0;

    {
        std::lock_guard<std::mutex> registered(m_Registered.lock);
        m_Registered.records.clear();
    }
    {
        std::lock_guard<std::mutex> combined(m_Combined.lock);
        m_Combined.records.clear();
    }
    TRACE(2, "\nTriagist            :   Scan debug settings in registry...");
    ScanRegistered();
    bool bModuleFile = ScanRavelinModules();
    ScanSnmpAgents();

    {
        std::lock_guard<std::mutex> farlink(m_Farlink.lock);
        m_Farlink.records.clear();
    }
    for (const char* pszName : {"QmFarlink", "QmFarRcci", "QmFarXfer"})
        AddModule(m_Farlink, pszName, DefaultTraceFile(pszName), 0);

    std::lock_guard<std::mutex> combined(m_Combined.lock);
    for (const TraceModuleList* pSource : {&m_Registered, &m_Ravelin, &m_SnmpAgents, &m_Farlink}) {
        std::lock_guard<std::mutex> source(pSource->lock);
        for (const TraceModule& module : pSource->records) {
            bool bKnown = std::any_of(m_Combined.records.begin(), m_Combined.records.end(), [&](const TraceModule& m) {
                return lstrcmpiA(m.strName.c_str(), module.strName.c_str()) == 0;
            });
            if (!bKnown)
                m_Combined.records.push_back(module);
        }
    }
    return bModuleFile ? 1 : 0;
}

void CTraceSettings::ScanRegistered()
{
    CScopedRegKey key;
    LONG lResult = RegOpenKey64(HKEY_LOCAL_MACHINE, TRACE_SETTINGS_KEY, KEY_READ, key.Receive());
    if (lResult != ERROR_SUCCESS) {
        if (static_cast<DWORD>(lResult) != ERROR_NOT_FOUND_CODE)
            TRACE(1, "\nTriagist            :   ERROR 0x%X! Could not access key \"Debug\"",
                  static_cast<unsigned>(lResult));
        return;
    }
    for (const std::string& strName : SubkeyNames(key.Get())) {
        TraceFound(strName.c_str());
        AddModule(m_Registered, strName, DefaultTraceFile(strName), 1);
    }
}

bool CTraceSettings::ScanRavelinModules()
{
    {
        std::lock_guard<std::mutex> guard(m_Ravelin.lock);
        m_Ravelin.records.clear();
    }
    RavelinInstallInfo install;
    char szPath[MAX_PATH] = "";
    std::snprintf(szPath, sizeof szPath, "%s\\%s", install.GetFileRoot().c_str(), "Module.ini");
    TRACE(2, "\nTriagist            :   Scan Ravelin extension modules...");

    CScopedHandle file(CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    bool bOpened = file.IsValid();
    file.Close();
    if (bOpened) {
        for (int nKey = 1; nKey <= MAX_RAVELIN_MODULES; ++nKey) {
            char szKey[16];
            std::snprintf(szKey, sizeof szKey, "%d", nKey);
            char szName[MAX_PATH] = "";
            GetPrivateProfileStringA("Modules", szKey, "", szName, sizeof szName, szPath);
            if (szName[0] == '\0') {
                TRACE(2, "\nTriagist            :   No more modules found!");
                break;
            }
            TraceFound(szName);
            AddModule(m_Ravelin, szName, VEXIL_TRACE_FILE, 0);
        }
    } else {
        TRACE(1, "\nTriagist            :   ERROR! Could not open Module.ini in \"%s\"", szPath);
    }
    AddModule(m_Ravelin, "VEXIL", VEXIL_TRACE_FILE, 0);
    AddModule(m_Ravelin, "Ravelind", VEXIL_TRACE_FILE, 0);
    AddModule(m_Ravelin, "VivIvud", DefaultTraceFile("VivIvud"), 0);
    AddModule(m_Ravelin, "RavelinControls", DefaultTraceFile("RavelinControls"), 0);
    return bOpened;
}

void CTraceSettings::ScanSnmpAgents()
{
    TRACE(2, "\nTriagist            :   Scan Quillmont agents...");
    {
        std::lock_guard<std::mutex> guard(m_SnmpAgents.lock);
        m_SnmpAgents.records.clear();
    }

    char szPointer[MAX_PATH] = "";
    LONG lResult = ERROR_FILE_NOT_FOUND;
    {
        CScopedRegKey pointer;
        lResult = RegOpenKey64(HKEY_LOCAL_MACHINE, AGENTS_POINTER_KEY, KEY_QUERY_VALUE, pointer.Receive());
        DWORD cbPointer = sizeof szPointer;
        if (lResult == ERROR_SUCCESS)
            lResult = RegQueryText(pointer.Get(), AGENTS_POINTER_VALUE, nullptr, szPointer, &cbPointer);
    }

    CScopedRegKey agents;
    if (lResult == ERROR_SUCCESS) {
        std::string strPath = szPointer;
        HKEY hHive = HKEY_LOCAL_MACHINE;
        size_t slash = strPath.find('\\');
        std::string strFirst = strPath.substr(0, slash);
        for (const HiveName& hive : HIVE_NAMES) {
            if (lstrcmpiA(strFirst.c_str(), hive.pszName) == 0) {
                hHive = hive.hHive;
                strPath = slash == std::string::npos ? std::string() : strPath.substr(slash + 1);
                break;
            }
        }
        lResult = RegOpenKey64(hHive, strPath.c_str(), KEY_READ, agents.Receive());
    }
    if (lResult != ERROR_SUCCESS) {
        TRACE(1, "\nTriagist            :   ERROR 0x%X! OpenUUIDPointer FAILED!",
              static_cast<unsigned>(lResult));
        return;
    }
    for (const std::string& strName : SubkeyNames(agents.Get())) {
        if (strName.find(SNMP_MODULE_MARK) == std::string::npos)
            continue;
        TraceFound(strName.c_str());
        AddModule(m_SnmpAgents, strName, DefaultTraceFile(strName), 0);
    }
}

bool CTraceSettings::ReadModule(TraceModule& module)
{
    CScopedRegKey debugKey;
    if (RegOpenKey64(HKEY_LOCAL_MACHINE, TRACE_SETTINGS_KEY, KEY_READ, debugKey.Receive()) != ERROR_SUCCESS)
        return false;
    CScopedRegKey key;
    if (RegOpenKey64(debugKey.Get(), module.strName.c_str(), KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return false;
    TRACE(2, "\nTriagist            :   Read settings module \"%s\"", module.strName.c_str());
    ReadDword(key.Get(), TRACE_CON_LEVEL, module.dwConLevel);
    ReadDword(key.Get(), TRACE_FILE_LEVEL, module.dwFileLevel);
    ReadDword(key.Get(), TRACE_WIN_LEVEL, module.dwWinLevel);
    ReadDword(key.Get(), TRACE_TIME_STAMP_ON, module.bTimeStampOn);
    ReadDword(key.Get(), TRACE_DATE_STAMP_ON, module.bDateStampOn);
    ReadDword(key.Get(), TRACE_THREAD_ID_ON, module.bThreadIdOn);
    ReadDword(key.Get(), TRACE_CPU_ID_ON, module.bCpuIdOn);
    ReadDword(key.Get(), TRACE_APP_NAME_ON, module.bAppNameOn);
    ReadDword(key.Get(), TRACE_MEM_USAGE_ON, module.bMemUsageOn);
    ReadDword(key.Get(), TRACE_FILE_LIMIT, module.dwFileLimit);

    char szPath[MAX_PATH] = "";
    DWORD cbPath = sizeof szPath;
    DWORD dwType = REG_NONE;
    if (RegQueryText(key.Get(), TRACE_FILE, &dwType, szPath, &cbPath) == ERROR_SUCCESS) {
        if (dwType == REG_EXPAND_SZ) {
            char szExpanded[MAX_PATH] = "";
            DWORD cchExpanded = ExpandEnvironmentStringsA(szPath, szExpanded, sizeof szExpanded);
            if (cchExpanded != 0 && cchExpanded <= sizeof szExpanded)
                module.strTraceFile = szExpanded;
            else
                module.strTraceFile = szPath;
        } else {
            module.strTraceFile = szPath;
        }
    }
    return true;
}

void CTraceSettings::SaveModule(const TraceModule& module)
{
    CScopedRegKey debugKey;
    if (CreateSettingsKey(debugKey) != ERROR_SUCCESS)
        return;
    CScopedRegKey key;
    if (CreateKey64(debugKey.Get(), module.strName.c_str(), key) != ERROR_SUCCESS)
        return;
    TRACE(2, "\nTriagist            :   Save settings module \"%s\"", module.strName.c_str());
    WriteDword(key.Get(), TRACE_CON_LEVEL, module.dwConLevel);
    WriteDword(key.Get(), TRACE_FILE_LEVEL, module.dwFileLevel);
    WriteDword(key.Get(), TRACE_WIN_LEVEL, module.dwWinLevel);
    WriteDword(key.Get(), TRACE_TIME_STAMP_ON, module.bTimeStampOn);
    WriteDword(key.Get(), TRACE_DATE_STAMP_ON, module.bDateStampOn);
    WriteDword(key.Get(), TRACE_THREAD_ID_ON, module.bThreadIdOn);
    WriteDword(key.Get(), TRACE_CPU_ID_ON, module.bCpuIdOn);
    WriteDword(key.Get(), TRACE_APP_NAME_ON, module.bAppNameOn);
    WriteDword(key.Get(), TRACE_MEM_USAGE_ON, module.bMemUsageOn);
    RegSetValueExA(key.Get(), TRACE_FILE, 0, REG_SZ, reinterpret_cast<const BYTE*>(module.strTraceFile.c_str()),
                   static_cast<DWORD>(module.strTraceFile.size() + 1));
    WriteDword(key.Get(), TRACE_FILE_LIMIT, module.dwFileLimit);
}

void CTraceSettings::SaveGlobalValue(const char* pszName, DWORD dwValue)
{
    CScopedRegKey debugKey;
    if (CreateSettingsKey(debugKey) != ERROR_SUCCESS)
        return;
    TRACE(2, "\nTriagist            :   Save global DWORD setting \"%s\": %d", pszName,
          static_cast<int>(dwValue));
    WriteDword(debugKey.Get(), pszName, dwValue);
}

void CTraceSettings::DeleteModule(const TraceModule& module)
{
    CScopedRegKey debugKey;
    if (RegOpenKey64(HKEY_LOCAL_MACHINE, TRACE_SETTINGS_KEY, KEY_ALL_ACCESS, debugKey.Receive()) != ERROR_SUCCESS)
        return;
    CRegistryKey().DeleteTree(module.strName.c_str(), debugKey.Get(), KEY_ALL_ACCESS);
}

void CTraceSettings::ApplyChanges()
{
    SaveGlobalValue(TRACE_DYNAMIC_UPDATE, m_bDynamicUpdate ? 1 : 0);
    {
        std::lock_guard<std::mutex> guard(m_Combined.lock);
        std::list<TraceModule>& records = m_Combined.records;
        auto writesFile = [](const TraceModule& m) {
            return !m.bDeleted && m.dwFileLevel != 0 && !m.strTraceFile.empty();
        };
        // Modules that write one file rotate it at one size: the largest any of them asks for.
        for (const TraceModule& module : records) {
            if (!module.bModified || !writesFile(module))
                continue;
            auto sharesFile = [&](const TraceModule& m) {
                return writesFile(m) && lstrcmpiA(m.strTraceFile.c_str(), module.strTraceFile.c_str()) == 0;
            };
            DWORD dwLimit = 0;
            for (const TraceModule& other : records)
                if (sharesFile(other))
                    dwLimit = std::max(dwLimit, other.dwFileLimit);
            for (TraceModule& other : records) {
                if (sharesFile(other) && other.dwFileLimit < dwLimit) {
                    other.dwFileLimit = dwLimit;
                    other.bModified = 1;
                }
            }
        }
        for (auto it = records.begin(); it != records.end();) {
            TraceModule& module = *it;
            if (module.bModified || (module.dwFileLevel != 0 && !module.strTraceFile.empty())) {
                SaveModule(module);
                module.bModified = 0;
            }
            if (!module.bDeleted) {
                ++it;
                continue;
            }
            DeleteModule(module);
            // Kept with its mark cleared, a module with file output would be written again at the next
            // Apply and the key the user removed would come back: once deleted, the record goes.
            m_Selection.erase(std::remove(m_Selection.begin(), m_Selection.end(), &module), m_Selection.end());
            it = records.erase(it);
        }
    }
    m_View.EnableApply(false);
}

std::vector<TraceModule*> CTraceSettings::FillVisible(const TraceFilter& filter)
{
    std::vector<TraceModule*> rows;
    std::lock_guard<std::mutex> guard(m_Combined.lock);
    for (TraceModule& module : m_Combined.records) {
        module.bVisible = (filter.bRavelin && ListNames(m_Ravelin, module.strName)) ||
                          (filter.bSnmp && ListNames(m_SnmpAgents, module.strName)) ||
                          (filter.bFarlink && ListNames(m_Farlink, module.strName)) ||
                          (filter.bRegistered && ListNames(m_Registered, module.strName));
        if (module.bVisible && !module.bDeleted)
            rows.push_back(&module);
    }
    SortRows(rows, TraceColumn::NAME);
    return rows;
}

void CTraceSettings::SortRows(std::vector<TraceModule*>& rows, TraceColumn column)
{
    std::stable_sort(rows.begin(), rows.end(), [](const TraceModule* pLeft, const TraceModule* pRight) {
        return lstrcmpiA(pLeft->strName.c_str(), pRight->strName.c_str()) < 0;
    });
    if (column == TraceColumn::NAME)
        return;
    auto level = [column](const TraceModule* pModule) {
        return column == TraceColumn::CONSOLE_LEVEL ? pModule->dwConLevel
               : column == TraceColumn::FILE_LEVEL ? pModule->dwFileLevel
                                              : pModule->dwWinLevel;
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const TraceModule* pLeft, const TraceModule* pRight) { return level(pLeft) > level(pRight); });
}

TraceFields CTraceSettings::ShowSelection(const std::vector<TraceModule*>& selection)
{
    TraceFields fields;
    bool bFirst = true;
    for (TraceModule* pModule : selection) {
        Merge(fields.conLevel, pModule->dwConLevel, bFirst);
        Merge(fields.fileLevel, pModule->dwFileLevel, bFirst);
        Merge(fields.winLevel, pModule->dwWinLevel, bFirst);
        Merge(fields.fileLimit, pModule->dwFileLimit, bFirst);
        Merge(fields.traceFile, pModule->strTraceFile, bFirst);
        auto check = [](DWORD bOn) { return bOn ? TraceFields::CHECKED : TraceFields::UNCHECKED; };
        if (bFirst) {
            fields.timeStamp = check(pModule->bTimeStampOn);
            fields.dateStamp = check(pModule->bDateStampOn);
            fields.threadId = check(pModule->bThreadIdOn);
            fields.cpuId = check(pModule->bCpuIdOn);
            fields.appName = check(pModule->bAppNameOn);
            fields.memUsage = check(pModule->bMemUsageOn);
        } else {
            if (fields.timeStamp != TraceFields::INDETERMINATE && fields.timeStamp != check(pModule->bTimeStampOn))
                fields.timeStamp = TraceFields::INDETERMINATE;
            if (fields.dateStamp != TraceFields::INDETERMINATE && fields.dateStamp != check(pModule->bDateStampOn))
                fields.dateStamp = TraceFields::INDETERMINATE;
        }
        pModule->bSelected = 1;
        bFirst = false;
    }
    fields.bEnabled = !selection.empty();
    return fields;
}

TraceFields CTraceSettings::Select(const std::vector<TraceModule*>& selection)
{
    ClearSelectedMarks(m_Selection);
    m_Selection = selection;
    m_Shown = ShowSelection(m_Selection);
    return m_Shown;
}

TraceFields CTraceSettings::RefreshFields()
{
    m_Shown = ShowSelection(m_Selection);
    return m_Shown;
}

bool CTraceSettings::TypeFields(const TraceFieldEdits& current)
{
    if (m_Selection.empty())
        return false;
    TraceFieldEdits changed;
    auto number = [](const std::optional<long>& typed, std::optional<DWORD>& shown, std::optional<long>& edit) {
        if (!typed || (shown && *shown == static_cast<DWORD>(*typed)))
            return;
        edit = typed;
        shown = static_cast<DWORD>(*typed);
    };
    number(current.conLevel, m_Shown.conLevel, changed.conLevel);
    number(current.fileLevel, m_Shown.fileLevel, changed.fileLevel);
    number(current.winLevel, m_Shown.winLevel, changed.winLevel);
    number(current.fileLimit, m_Shown.fileLimit, changed.fileLimit);
    if (current.traceFile && *current.traceFile != m_Shown.traceFile.value_or("")) {
        changed.traceFile = current.traceFile;
        m_Shown.traceFile = current.traceFile;
    }
    // A box counts only when the user changed it: a box that merely still shows the first selected
    // record's state would otherwise be written onto every other row of the selection.
    auto check = [](TraceFields::Check typed, TraceFields::Check& shown, TraceFields::Check& edit) {
        if (typed == TraceFields::INDETERMINATE || typed == shown)
            return;
        edit = typed;
        shown = typed;
    };
    check(current.timeStamp, m_Shown.timeStamp, changed.timeStamp);
    check(current.dateStamp, m_Shown.dateStamp, changed.dateStamp);
    check(current.threadId, m_Shown.threadId, changed.threadId);
    check(current.cpuId, m_Shown.cpuId, changed.cpuId);
    check(current.appName, m_Shown.appName, changed.appName);
    check(current.memUsage, m_Shown.memUsage, changed.memUsage);
    return TakeFields(m_Selection, changed);
}

bool CTraceSettings::TakeFields(const std::vector<TraceModule*>& selection, const TraceFieldEdits& edits)
{
    std::lock_guard<std::mutex> guard(m_DialogLock);
    bool bAnyChange = false;
    for (TraceModule* pModule : selection) {
        if (!pModule->bSelected)
            continue;
        bool bChanged = false;
        bChanged |= TakeNumber(edits.conLevel, pModule->dwConLevel);
        bChanged |= TakeNumber(edits.fileLevel, pModule->dwFileLevel);
        bChanged |= TakeNumber(edits.winLevel, pModule->dwWinLevel);
        bChanged |= TakeNumber(edits.fileLimit, pModule->dwFileLimit);
        if (edits.traceFile && *edits.traceFile != pModule->strTraceFile) {
            pModule->strTraceFile = *edits.traceFile;
            bChanged = true;
        }
        bChanged |= TakeCheck(edits.timeStamp, pModule->bTimeStampOn);
        bChanged |= TakeCheck(edits.dateStamp, pModule->bDateStampOn);
        bChanged |= TakeCheck(edits.threadId, pModule->bThreadIdOn);
        bChanged |= TakeCheck(edits.cpuId, pModule->bCpuIdOn);
        bChanged |= TakeCheck(edits.appName, pModule->bAppNameOn);
        bChanged |= TakeCheck(edits.memUsage, pModule->bMemUsageOn);
        if (bChanged) {
            pModule->bModified = 1;
            bAnyChange = true;
        }
    }
    if (bAnyChange)
        m_View.EnableApply(true);
    return bAnyChange;
}

void CTraceSettings::ClearSelectedMarks(const std::vector<TraceModule*>& selection)
{
    for (TraceModule* pModule : selection)
        pModule->bSelected = 0;
}

TraceModule* CTraceSettings::NewModule(const std::string& strName)
{
    TraceModule module;
    module.strName = strName;
    module.strTraceFile = Printf1("C:\\%s.txt", strName);
    module.bModified = 1;
    TraceModule* pModule = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_Combined.lock);
        m_Combined.records.push_back(std::move(module));
        pModule = &m_Combined.records.back();
    }
    m_View.EnableApply(true);
    return pModule;
}

void CTraceSettings::RemoveModules(const std::vector<TraceModule*>& selection)
{
    for (TraceModule* pModule : selection)
        pModule->bDeleted = 1;
    // Their rows go; fields left showing them would take typing into records nobody sees.
    Select({});
    m_View.EnableApply(true);
}

bool CTraceSettings::AllTracesOff(const std::vector<TraceModule*>& rows)
{
    bool bAnyChange = false;
    for (TraceModule* pModule : rows) {
        if (pModule->dwConLevel == 0 && pModule->dwFileLevel == 0 && pModule->dwWinLevel == 0)
            continue;
        pModule->dwConLevel = pModule->dwFileLevel = pModule->dwWinLevel = 0;
        pModule->bModified = 1;
        bAnyChange = true;
    }
    if (bAnyChange)
        m_View.EnableApply(true);
    return bAnyChange;
}

void CTraceSettings::SetDynamicUpdate(bool bOn)
{
    m_bDynamicUpdate = bOn;
    m_View.EnableApply(true);
}

bool CTraceSettings::HasChanges() const
{
    std::lock_guard<std::mutex> guard(m_Combined.lock);
    return std::any_of(m_Combined.records.begin(), m_Combined.records.end(),
                       [](const TraceModule& module) { return module.bModified || module.bDeleted; });
}

void CTraceSettings::AskToSave()
{
    if (!HasChanges())
        return;
    if (m_View.Ask(LoadLocalizedString(IDS_TRACE_SAVE_QUESTION), LoadLocalizedString(IDS_TRACE_SAVE_CAPTION),
                   MB_YESNO | MB_ICONQUESTION) == IDYES)
        ApplyChanges();
}

int CTraceSettings::Exit()
{
    AskToSave();
    return END_EXIT;
}

// Leaving by the close box or Escape without the question would drop the user's edits silently;
// every way out asks, only the end code tells them apart.
int CTraceSettings::Close()
{
    AskToSave();
    return END_CLOSED;
}

void CTraceSettings::DeleteTrace(const std::string& strPath)
{
    if (m_View.Ask(Printf1("Delete trace file %s?", strPath), "Confirm", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (DeleteFileA(strPath.c_str()))
        return;
    std::string strError = SystemErrorText(GetLastError());
    std::vector<char> text(strPath.size() + strError.size() + 40);
    std::snprintf(text.data(), text.size(), "Delete trace file %s failed! %s!", strPath.c_str(), strError.c_str());
    m_View.Ask(text.data(), "Error!", MB_OK | MB_ICONHAND);
}

std::string CTraceSettings::ViewTraceCommand(const std::string& strPath)
{
    return "start notepad " + strPath;
}

bool CTraceSettings::TraceFileExists(const std::string& strPath)
{
    CScopedHandle file(CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid();
}
