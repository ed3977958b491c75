// The trace settings of every module that uses the trace log: the modules gathered from their four
// sources, edited in memory and written back at Apply. The logic the editor's window and its console
// form share.
#pragma once

#include "src/platform/Win32.h"

#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// One module's settings under the trace settings key, and its marks in the editor.
struct TraceModule {
    DWORD bRegistered = 0;
    DWORD bModified = 0;
    DWORD bDeleted = 0;
    DWORD bVisible = 0;
    DWORD bSelected = 0;
    DWORD dwConLevel = 0;
    DWORD dwFileLevel = 0;
    DWORD dwWinLevel = 0;
    DWORD dwFileLimit = 50;  // megabytes
    DWORD bTimeStampOn = 1;
    DWORD bDateStampOn = 0;
    DWORD bThreadIdOn = 0;
    DWORD bCpuIdOn = 0;
    DWORD bAppNameOn = 0;
    DWORD bMemUsageOn = 0;
    std::string strName = "Unknown";
    std::string strTraceFile = "C:\\Trace.txt";
};

// Records keep their addresses while they are in a list: rows point at them.
struct TraceModuleList {
    mutable std::mutex lock;
    std::list<TraceModule> records;
};

// The editor's fields as one selection shows them. An empty value is a field whose records differ.
struct TraceFields {
    enum Check { UNCHECKED = 0, CHECKED = 1, INDETERMINATE = 2 };
    std::optional<DWORD> conLevel, fileLevel, winLevel, fileLimit;
    std::optional<std::string> traceFile;
    Check timeStamp = UNCHECKED, dateStamp = UNCHECKED;
    Check threadId = UNCHECKED, cpuId = UNCHECKED, appName = UNCHECKED, memUsage = UNCHECKED;
    // False without a selection: the fields are then empty and take no input.
    bool bEnabled = false;
};

// What the user changed in the fields since they were last filled; an empty value was not touched.
// Levels and the limit come as typed: signed decimal numbers.
struct TraceFieldEdits {
    std::optional<long> conLevel, fileLevel, winLevel, fileLimit;
    std::optional<std::string> traceFile;
    // Check boxes as they stand; INDETERMINATE leaves the records' flags alone.
    TraceFields::Check timeStamp = TraceFields::INDETERMINATE, dateStamp = TraceFields::INDETERMINATE;
    TraceFields::Check threadId = TraceFields::INDETERMINATE, cpuId = TraceFields::INDETERMINATE;
    TraceFields::Check appName = TraceFields::INDETERMINATE, memUsage = TraceFields::INDETERMINATE;
};

// The fields as they stand when the user leaves them as shown; a front end changes what was typed.
TraceFieldEdits FieldsAsShown(const TraceFields& fields);

// The view filter's four boxes.
struct TraceFilter {
    bool bRavelin = true;
    bool bSnmp = true;
    bool bFarlink = true;
    bool bRegistered = true;
};

enum class TraceColumn { NAME, CONSOLE_LEVEL, FILE_LEVEL, WINDBG_LEVEL };

// What the editor needs of its window.
class ITraceSettingsView {
public:
    virtual ~ITraceSettingsView() = default;
    virtual void EnableApply(bool bEnable) = 0;
    // A message box over the window; the button pressed (IDYES, IDNO, IDOK).
    virtual int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) = 0;
};

class CTraceSettings {
public:
    // The editor's end codes in its window and on the console: closed otherwise (also when the
    // modules cannot be read), Exit.
    enum { END_CLOSED = 0, END_EXIT = 1 };

    explicit CTraceSettings(ITraceSettingsView& view) : m_View(view) {}

    // 1 when the base service's module file could be opened, 0 otherwise.
    DWORD ScanModules();
    static bool ReadModule(TraceModule& module);
    static void SaveModule(const TraceModule& module);
    static void SaveGlobalValue(const char* pszName, DWORD dwValue);
    static void DeleteModule(const TraceModule& module);
    void ApplyChanges();

    // The combined list's records the filter shows, sorted by name; their visible marks set.
    std::vector<TraceModule*> FillVisible(const TraceFilter& filter);
    static void SortRows(std::vector<TraceModule*>& rows, TraceColumn column);

    // The selection's fields; each record becomes selected. Fields the records differ in stay empty.
    TraceFields ShowSelection(const std::vector<TraceModule*>& selection);
    // Takes the edits into the selected records; true when any record changed (Apply is enabled then).
    bool TakeFields(const std::vector<TraceModule*>& selection, const TraceFieldEdits& edits);
    static void ClearSelectedMarks(const std::vector<TraceModule*>& selection);

    // The fields belong to one selection. Select shows a new one (the caller has taken what was typed
    // into the old one); TypeFields gets what the fields hold now, numbers empty where the field is.
    TraceFields Select(const std::vector<TraceModule*>& selection);
    // Takes what differs from what the fields showed into the rows they were shown for, and counts it
    // as shown from then on: a value typed once is taken once. True when a record changed.
    bool TypeFields(const TraceFieldEdits& current);
    // The selection's values as the records hold them now; after All Traces Off, Apply or Remove.
    TraceFields RefreshFields();
    const std::vector<TraceModule*>& Selection() const { return m_Selection; }
    const TraceFields& ShownFields() const { return m_Shown; }

    // A record named strName with the trace file "C:\<name>.txt", appended to the combined list.
    TraceModule* NewModule(const std::string& strName);
    void RemoveModules(const std::vector<TraceModule*>& selection);
    // True when any level was not 0.
    bool AllTracesOff(const std::vector<TraceModule*>& rows);
    void SetDynamicUpdate(bool bOn);
    bool DynamicUpdate() const { return m_bDynamicUpdate; }

    // Any record modified or marked deleted.
    bool HasChanges() const;
    // The save question when something changed; Yes applies.
    void AskToSave();
    // Exit: the save question, then END_EXIT.
    int Exit();
    // The close box and Escape: the save question too, then END_CLOSED.
    int Close();
    // Asks, then deletes the file; a failure is shown with the system's reason.
    void DeleteTrace(const std::string& strPath);
    static std::string ViewTraceCommand(const std::string& strPath);
    static bool TraceFileExists(const std::string& strPath);

    const TraceModuleList& Combined() const { return m_Combined; }
    const TraceModuleList& Registered() const { return m_Registered; }
    const TraceModuleList& Ravelin() const { return m_Ravelin; }
    const TraceModuleList& SnmpAgents() const { return m_SnmpAgents; }
    const TraceModuleList& Farlink() const { return m_Farlink; }

private:
    bool ScanRavelinModules();
    void ScanSnmpAgents();
    void ScanRegistered();

    ITraceSettingsView& m_View;
    bool m_bDynamicUpdate = false;
    TraceModuleList m_Registered;
    TraceModuleList m_Ravelin;
    TraceModuleList m_SnmpAgents;
    TraceModuleList m_Farlink;
    TraceModuleList m_Combined;
    std::vector<TraceModule*> m_Selection;
    TraceFields m_Shown;
    // Held while fields are taken into records, against list notifications arriving meanwhile.
    std::mutex m_DialogLock;
};

// True when a record of the list has exactly that name.
bool ListNames(const TraceModuleList& list, const std::string& strName);

// The message that ends the editor when the base service's module file cannot be read.
extern const char TRACE_INIT_ERROR_TEXT[];
extern const char TRACE_INIT_ERROR_CAPTION[];

// "0x%08X: " and the system's message for dwError without its trailing control characters and full
// stop; "0x%08X" alone when the system has none.
std::string SystemErrorText(DWORD dwError);
