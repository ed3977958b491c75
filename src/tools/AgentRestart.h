// The restart of the agents' services, SNMP and the base service, with their dependents in
// dependency order: the logic the restart dialog and the windowless restart share.
#pragma once

#include "src/platform/Win32.h"
#include "src/trace/Thread.h"

#include <string>
#include <vector>

// What a window shows of a restart. The restart calls it on its worker thread.
class IRestartView {
public:
    virtual ~IRestartView() = default;
    // The window that owns the questions and the service manager's own question; may be null.
    virtual HWND Owner() const = 0;
    // Exit, Restart, Advanced... and the two option boxes.
    virtual void EnableRunControls(bool bEnable) = 0;
    virtual void ShowStatus(const std::string& strText) = 0;
    virtual void SetProgress(int nPosition) = 0;
    // While a service operation runs, the bar advances by one step every 500 ms.
    virtual void StartProgressTimer() = 0;
    virtual void StopProgressTimer() = 0;
    // A message box over the window; the button pressed (IDYES, IDOK, ...).
    virtual int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) = 0;
};

// The windowless restart's view: shows nothing, and takes every question as agreed to.
class CWindowlessRestartView : public IRestartView {
public:
    HWND Owner() const override { return nullptr; }
    void EnableRunControls(bool) override {}
    void ShowStatus(const std::string&) override {}
    void SetProgress(int) override {}
    void StartProgressTimer() override {}
    void StopProgressTimer() override {}
    int Ask(const std::string&, const std::string&, UINT uStyle) override
    {
        return (uStyle & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    }
};

class CServiceWalk;

class CAgentRestart {
public:
    // The restart's end code in the dialog and on the console, after Exit.
    enum { END_EXIT = 2 };

    // The thread locale is the constructing thread's; the restart's texts come in its language.
    explicit CAgentRestart(IRestartView& view);

    // 1 when every step succeeded, 0 otherwise.
    DWORD RestartAgents(DWORD bStop, DWORD bStart, DWORD bRescan, DWORD bFullRestart);
    DWORD StopServiceTree(LPCSTR pszService);
    DWORD StartServiceTree(LPCSTR pszService, DWORD dwArgc, LPCSTR* ppszArgv);

    // Restart pressed: RestartAgents(1, 1, bRescan, bFullRestart) on a worker thread that is let go
    // at once. False when the thread could not be created (its error is in Worker()).
    bool StartRestart(DWORD bRescan, DWORD bFullRestart);
    const CThread& Worker() const { return m_Worker; }

private:
    static unsigned WINAPI WorkerMain(void* pvRestart);
    // One tree walk enters each service once.
    DWORD StopTree(LPCSTR pszService, CServiceWalk& walk);
    DWORD StartTree(LPCSTR pszService, DWORD dwArgc, LPCSTR* ppszArgv, CServiceWalk& walk);
    // A service operation's status text, with the bar from 0 and its timer.
    void BeginOperation(UINT uTextId, const std::string& strDisplayName);
    void EndOperation(UINT uTextId, const std::string& strDisplayName);
    void ShowError(UINT uTextId, UINT uCaptionId, const std::string& strDisplayName);
    // After a failed restart: starts what this restart stopped, in the reverse of the order it stopped
    // them in (dependencies before their dependents). True when all of them run again.
    bool StartStoppedAgain(DWORD bRescan);

    IRestartView& m_View;
    LCID m_lcid;
    DWORD m_bRescan = 0;
    DWORD m_bFullRestart = 0;
    std::vector<std::string> m_Stopped;  // by this restart, in the order they stopped
    CThread m_Worker;
};
