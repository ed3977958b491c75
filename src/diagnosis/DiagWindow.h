// The main diagnostics window's behaviour apart from its controls: Start/Cancel, the worker, Exit,
// the results, Save and Help.
#pragma once

#include "src/diagnosis/DiagPaths.h"
#include "src/diagnosis/DiagRun.h"
#include "src/platform/ScopedHandle.h"
#include "src/trace/Thread.h"

#include <string>
#include <vector>

// What the window does for its logic. The worker calls it too, so a window implements each call
// with messages to its controls.
class IDiagWindowView : public IDiagRunView {
public:
    virtual void ClearLog() = 0;
    virtual void ShowProgress(bool bShow) = 0;
    // The progress bar to the top of its range.
    virtual void FillProgress() = 0;
    virtual void SetStartButton(const std::string& strText, bool bEnabled) = 0;
    virtual void EnableSave() = 0;
    // Has ShowResults called on the window's own thread.
    virtual void PostResults() = 0;
    virtual void EndDialog(int nCode) = 0;
    virtual void Navigate(const std::string& strPath) = 0;
    virtual void ShowWarning(const std::string& strCaption, const std::string& strText) = 0;
};

class CDiagWindow {
public:
    // The window's end codes, its console form's too: left while idle, left during a run.
    enum { END_IDLE = 2, END_DURING_RUN = 3 };

    // Paths and the thread locale are those of the constructing thread.
    CDiagWindow(const std::vector<DiagStep>& steps, IDiagWindowView& view);
    ~CDiagWindow();
    CDiagWindow(const CDiagWindow&) = delete;
    CDiagWindow& operator=(const CDiagWindow&) = delete;

    // Start, or Cancel while a run is going.
    void StartOrCancel();
    void Exit();
    // The worker thread's body; public so that a test can run it on its own thread.
    void RunWorker();
    void ShowResults();
    // Copies the HTML or the XML report, chosen by the name; false when the copy failed.
    bool Save(const std::string& strFileName) const;
    // The save dialog's filter (pairs of name and pattern, each ended by a NUL) in the language
    // word's language, or the system's default language while the word is 0.
    static std::string SaveFilter(WORD wLanguageWord);
    // Opens the help topic in the saved locale's help file, or the English one; false when the
    // help library or its entry is missing.
    bool Help(HWND hParent) const;

    bool Running() const { return m_lRunMark != 0; }
    bool UserCancelled() const { return m_bUserCancelled != 0; }
    // Set while a run goes, reset at its start: a waitable run state.
    HANDLE RunEnded() const { return m_Event.Get(); }
    const DiagPaths& Paths() const { return m_Paths; }
    LCID SavedLocale() const { return m_lcid; }
    // The worker's error code when it could not be started, else 0.
    DWORD StartError() const { return m_Worker.LastError(); }

private:
    static unsigned WINAPI WorkerMain(void* pvWindow);
    void ShowReport(const std::string& strPath);

    IDiagWindowView& m_Window;
    CDiagRun m_Run;
    LCID m_lcid;
    DiagPaths m_Paths;
    CScopedHandle m_Event;
    CThread m_Worker;
    CScopedLibrary m_HelpLibrary;
    volatile LONG m_lRunMark;
    volatile LONG m_bUserCancelled;
    volatile LONG m_bClosing;
    volatile LONG m_bResultsPending;
};
