// The interactive diagnosis on a console: the window's run with its step log on standard output.
#pragma once

#include "src/diagnosis/DiagRun.h"
#include "src/report/DiagReport.h"

#include <cstdio>
#include <string>
#include <vector>

// Lines of the step log as they complete; on a terminal also a progress line that the next line replaces.
class CConsoleView : public IDiagRunView {
public:
    CConsoleView(FILE* pOut, bool bTerminal) : m_pOut(pOut), m_bTerminal(bTerminal), m_dwPosition(0), m_dwRange(0) {}

    void AppendLog(const std::string& strText) override;
    void SetStatusText(const std::string& strText) override;
    void SetProgress(DWORD dwPosition, DWORD dwRange) override;
    // A line of its own, after whatever the log holds.
    void WriteLine(const std::string& strText);
    // The bar to its end when the run is over, as the window's; on a terminal that line stays.
    void FillProgress();

private:
    void DrawProgress();

    FILE* m_pOut;
    bool m_bTerminal;
    std::string m_strLine;    // the log's line not yet ended
    std::string m_strStatus;
    DWORD m_dwPosition;
    DWORD m_dwRange;
};

// Runs the steps as the diagnosis window does: the report goes to the temporary directory's
// Status.xml, the page to HTML\Status.htm under the current directory. Ctrl+C cancels at the next
// step boundary and leaves, as closing the window during a run does. The result is the window's end
// code: 2 after a run to its end, 3 after Ctrl+C. Standard output that is a terminal also gets the
// progress line.
int RunConsoleDiagnosis(const std::vector<DiagStep>& steps, FILE* pOut = stdout);
