// The diagnosis window's run as the user follows it, apart from any window: step log, progress, status.
#pragma once

#include "src/report/DiagReport.h"

#include <string>

// What a front end (the dialog, or the console of the native build) shows; called on the running thread.
class IDiagRunView {
public:
    virtual ~IDiagRunView() = default;
    virtual void AppendLog(const std::string& strText) = 0;
    virtual void SetStatusText(const std::string& strText) = 0;
    // The progress bar's position within 0..dwRange.
    virtual void SetProgress(DWORD dwPosition, DWORD dwRange) = 0;
};

// A report whose steps the view follows: its log texts, progress and status.
class CDiagRun : private IDiagStepObserver {
public:
    // Texts come in the language of the thread that runs, which the front end sets.
    CDiagRun(const std::vector<DiagStep>& steps, IDiagRunView& view);
    CDiagRun(const CDiagRun&) = delete;
    CDiagRun& operator=(const CDiagRun&) = delete;

    // What runs: hand it to ProduceReportFiles or run it; its cancel flag stops it between steps.
    CDiagReport& Report() { return m_Report; }
    const CDiagReport& Report() const { return m_Report; }

    // "Completed: %d error(s), %d warning(s)" with this run's counts, in the thread's language.
    std::string CompletionLine() const;
    // The status from the counts so far: an error wins over warnings.
    std::string StatusText() const;

    // The string id of a step's log text (0 for an index without one).
    static UINT StepTextId(DWORD dwStep);
    // A file name chosen to save as gets the HTML report when its upper case holds ".HTM" or
    // "HTML", the XML report otherwise.
    static bool SavesHtml(const std::string& strFileName);

private:
    void OnStepBegin(DWORD dwStep, DWORD dwSequence, DWORD dwTotal) override;
    void OnStepEnd(DWORD dwStep, DWORD dwResult) override;

    IDiagRunView& m_View;
    DWORD m_dwPosition;
    DWORD m_dwRange;
    CDiagReport m_Report;
};
