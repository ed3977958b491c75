// The trace settings editor on a console.
#include "src/tools/console/ConsoleTraceSettings.h"

#include "src/platform/ScopedHandle.h"
#include "src/tools/TraceSettings.h"
#include "src/tools/console/ConsoleInput.h"
#include "src/tools/console/ConsoleRestart.h"
#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char HELP_TEXT[] =
    "list | select <name> [<name> ...] | console|file|windbg|limit <number> | tracefile <path> |\n"
    "timestamp|datestamp|threadid|cpuid|appname|memusage on|off | filter ravelin|snmp|rcs|registered on|off |\n"
    "dynamic on|off | new <name> | remove | alloff | apply | view | delete | restart | exit";

// Nothing to enable on a console; questions are message boxes without an owner.
class CConsoleTraceView : public ITraceSettingsView {
public:
    void EnableApply(bool) override {}
    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override
    {
        return MessageBoxA(nullptr, strText.c_str(), strCaption.c_str(), uStyle);
    }
};

class CConsoleTraceEditor {
public:
    CConsoleTraceEditor(FILE* pIn, FILE* pOut) : m_pIn(pIn), m_pOut(pOut), m_Settings(m_View) {}

    int Run();

private:
    void FillList();
    void PrintList();
    void PrintFields();
    bool Command(const std::string& strCommand, const std::string& strRest, int& nEnd);
    bool TypeNumber(const std::string& strCommand, const std::string& strRest);
    bool TypeCheck(const std::string& strCommand, const std::string& strRest);
    void Select(const std::string& strNames);
    void ViewTrace(const std::string& strPath);
    void Print(const std::string& strText) { PrintLine(m_pOut, strText); }

    FILE* m_pIn;
    FILE* m_pOut;
    CConsoleTraceView m_View;
    CTraceSettings m_Settings;
    TraceFilter m_Filter;
    std::vector<TraceModule*> m_Rows;
};

int CConsoleTraceEditor::Run()
{
    if (!m_Settings.ScanModules()) {
        Print(std::string(TRACE_INIT_ERROR_CAPTION) + ": " + TRACE_INIT_ERROR_TEXT);
        return CTraceSettings::END_CLOSED;
    }
    FillList();
    PrintList();
    std::string strLine;
    while (ReadInputLine(m_pIn, strLine)) {
        std::string strCommand, strRest;
        SplitCommand(strLine, strCommand, strRest);
        int nEnd = 0;
        if (strCommand.empty())
            continue;
        if (Command(strCommand, strRest, nEnd))
            return nEnd;
    }
    return m_Settings.Close();
}

// The rows under the filter; the first becomes the selection, as in the window.
void CConsoleTraceEditor::FillList()
{
    m_Rows = m_Settings.FillVisible(m_Filter);
    m_Settings.Select(m_Rows.empty() ? std::vector<TraceModule*>() : std::vector<TraceModule*>{m_Rows.front()});
}

void CConsoleTraceEditor::PrintList()
{
    auto label = [](UINT uId) { return LoadLocalizedString(uId); };
    char szLine[512];
    std::snprintf(szLine, sizeof szLine, "%-24s %7s %7s %7s  %-32s %s", label(IDS_TRACE_COL_NAME).c_str(),
                  label(IDS_TRACE_COL_CONSOLE).c_str(), label(IDS_TRACE_COL_FILE).c_str(),
                  label(IDS_TRACE_COL_WINDBG).c_str(), label(IDS_TRACE_COL_TRACE_FILE).c_str(),
                  label(IDS_TRACE_COL_SOURCES).c_str());
    Print(szLine);
    for (const TraceModule* pModule : m_Rows) {
        std::string strSources;
        auto add = [&](const TraceModuleList& list, UINT uSource) {
            if (ListNames(list, pModule->strName))
                strSources += (strSources.empty() ? "" : ", ") + label(uSource);
        };
        add(m_Settings.Ravelin(), IDS_TRACE_SOURCE_RAVELIN);
        add(m_Settings.SnmpAgents(), IDS_TRACE_SOURCE_SNMP);
        add(m_Settings.Farlink(), IDS_TRACE_SOURCE_FARLINK);
        add(m_Settings.Registered(), IDS_TRACE_SOURCE_REGISTERED);
        std::snprintf(szLine, sizeof szLine, "%-24s %7u %7u %7u  %-32s %s", pModule->strName.c_str(),
                      static_cast<unsigned>(pModule->dwConLevel), static_cast<unsigned>(pModule->dwFileLevel),
                      static_cast<unsigned>(pModule->dwWinLevel), pModule->strTraceFile.c_str(),
                      strSources.c_str());
        Print(szLine);
    }
}

// The fields as the window would show them for the selection: an empty value where the rows differ.
void CConsoleTraceEditor::PrintFields()
{
    const TraceFields& fields = m_Settings.ShownFields();
    if (!fields.bEnabled) {
        Print("-");
        return;
    }
    std::string strNames;
    for (const TraceModule* pModule : m_Settings.Selection())
        strNames += (strNames.empty() ? "" : " ") + pModule->strName;
    auto number = [](const std::optional<DWORD>& value) { return value ? std::to_string(*value) : std::string(); };
    auto check = [](TraceFields::Check state) {
        return state == TraceFields::CHECKED ? "on" : state == TraceFields::UNCHECKED ? "off" : "mixed";
    };
    std::ostringstream text;
    text << strNames << ": console=" << number(fields.conLevel) << " file=" << number(fields.fileLevel)
         << " windbg=" << number(fields.winLevel) << " tracefile=" << fields.traceFile.value_or("")
         << " limit=" << number(fields.fileLimit) << " timestamp=" << check(fields.timeStamp)
         << " datestamp=" << check(fields.dateStamp) << " threadid=" << check(fields.threadId)
         << " cpuid=" << check(fields.cpuId) << " appname=" << check(fields.appName)
         << " memusage=" << check(fields.memUsage);
    Print(text.str());
}

// True when the command ends the editor, with its end code in nEnd.
bool CConsoleTraceEditor::Command(const std::string& strCommand, const std::string& strRest, int& nEnd)
{
    bool bOn = false;
    if (strCommand == "exit") {
        nEnd = m_Settings.Exit();
        return true;
    }
    if (strCommand == "list") {
        PrintList();
    } else if (strCommand == "select") {
        Select(strRest);
    } else if (TypeNumber(strCommand, strRest) || TypeCheck(strCommand, strRest)) {
        PrintFields();
    } else if (strCommand == "tracefile") {
        TraceFieldEdits current = FieldsAsShown(m_Settings.ShownFields());
        current.traceFile = strRest;
        m_Settings.TypeFields(current);
        PrintFields();
    } else if (strCommand == "filter") {
        std::string strWhich, strState;
        SplitCommand(strRest, strWhich, strState);
        bool* pBox = strWhich == "ravelin" ? &m_Filter.bRavelin
                     : strWhich == "snmp"  ? &m_Filter.bSnmp
                     : strWhich == "rcs"   ? &m_Filter.bFarlink
                     : strWhich == "registered" ? &m_Filter.bRegistered
                                                : nullptr;
        if (!pBox || !ParseSwitch(strState, *pBox)) {
            Print(HELP_TEXT);
            return false;
        }
        FillList();
        PrintList();
    } else if (strCommand == "dynamic" && ParseSwitch(strRest, bOn)) {
        m_Settings.SetDynamicUpdate(bOn);
    } else if (strCommand == "new" && !strRest.empty()) {
        TraceModule* pModule = m_Settings.NewModule(strRest);
        m_Rows.push_back(pModule);
        m_Settings.Select({pModule});
        PrintFields();
    } else if (strCommand == "remove") {
        m_Settings.RemoveModules(m_Settings.Selection());
        std::vector<TraceModule*> kept;
        for (TraceModule* pModule : m_Rows)
            if (!pModule->bDeleted)
                kept.push_back(pModule);
        m_Rows = kept;
        PrintList();
        PrintFields();
    } else if (strCommand == "alloff") {
        m_Settings.AllTracesOff(m_Rows);
        m_Settings.RefreshFields();
        PrintList();
    } else if (strCommand == "apply") {
        m_Settings.ApplyChanges();
        m_Settings.RefreshFields();
        PrintFields();
    } else if (strCommand == "view") {
        ViewTrace(m_Settings.ShownFields().traceFile.value_or(""));
    } else if (strCommand == "delete") {
        m_Settings.DeleteTrace(m_Settings.ShownFields().traceFile.value_or(""));
    } else if (strCommand == "restart") {
        m_Settings.AskToSave();
        RunConsoleRestart(m_pIn, m_pOut);
    } else {
        Print(HELP_TEXT);
    }
    return false;
}

bool CConsoleTraceEditor::TypeNumber(const std::string& strCommand, const std::string& strRest)
{
    TraceFieldEdits current = FieldsAsShown(m_Settings.ShownFields());
    std::optional<long>* pField = strCommand == "console" ? &current.conLevel
                                  : strCommand == "file"  ? &current.fileLevel
                                  : strCommand == "windbg" ? &current.winLevel
                                  : strCommand == "limit"  ? &current.fileLimit
                                                           : nullptr;
    if (!pField)
        return false;
    char* pEnd = nullptr;
    long nValue = std::strtol(strRest.c_str(), &pEnd, 10);
    if (strRest.empty() || *pEnd != '\0') {
        Print("\"" + strRest + "\"?");
        return true;
    }
    *pField = nValue;
    m_Settings.TypeFields(current);
    return true;
}

bool CConsoleTraceEditor::TypeCheck(const std::string& strCommand, const std::string& strRest)
{
    TraceFieldEdits current = FieldsAsShown(m_Settings.ShownFields());
    TraceFields::Check* pBox = strCommand == "timestamp"  ? &current.timeStamp
                               : strCommand == "datestamp" ? &current.dateStamp
                               : strCommand == "threadid"  ? &current.threadId
                               : strCommand == "cpuid"     ? &current.cpuId
                               : strCommand == "appname"   ? &current.appName
                               : strCommand == "memusage"  ? &current.memUsage
                                                           : nullptr;
    bool bOn = false;
    if (!pBox || !ParseSwitch(strRest, bOn))
        return false;
    *pBox = bOn ? TraceFields::CHECKED : TraceFields::UNCHECKED;
    m_Settings.TypeFields(current);
    return true;
}

void CConsoleTraceEditor::Select(const std::string& strNames)
{
    std::vector<TraceModule*> selection;
    std::istringstream names(strNames);
    std::string strName;
    while (names >> strName) {
        bool bFound = false;
        for (TraceModule* pModule : m_Rows) {
            if (lstrcmpiA(pModule->strName.c_str(), strName.c_str()) == 0) {
                selection.push_back(pModule);
                bFound = true;
            }
        }
        if (!bFound)
            Print("\"" + strName + "\"?");
    }
    m_Settings.Select(selection);
    PrintFields();
}

// Notepad has no place on a console: the file's lines go to the output.
void CConsoleTraceEditor::ViewTrace(const std::string& strPath)
{
    if (!CTraceSettings::TraceFileExists(strPath)) {
        Print("\"" + strPath + "\"?");
        return;
    }
    CScopedHandle file(CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[4096];
    DWORD cbRead = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &cbRead, nullptr) && cbRead > 0)
        std::fwrite(buffer, 1, cbRead, m_pOut);
    std::fputs("\n", m_pOut);
    std::fflush(m_pOut);
}

}  // namespace

int RunConsoleTraceSettings(FILE* pIn, FILE* pOut)
{
    CConsoleTraceEditor editor(pIn, pOut);
    return editor.Run();
}
