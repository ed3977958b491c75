// The diagnosis run: owns the report document, runs the checks in order and writes the report file.
#pragma once

#include "src/platform/Win32.h"
#include "src/xml/XmlDocument.h"

#include <string>
#include <vector>

// Thrown by the step runner to abandon a run once a cancel was requested.
enum _ActionState { ACTION_CANCELLED = 1 };

class CDiagReport;

// Step results, as a check returns them and an observer's OnStepEnd receives them.
enum { STEP_OK = 0, STEP_CANCELLED = 1, STEP_FINDINGS = 2 };

typedef DWORD (*DiagCheck)(CDiagReport& report, CXmlDocument& doc);

struct DiagStep {
    DWORD dwStep;  // the key of the step's progress texts, not its call order
    DiagCheck pfnCheck;
};

// Who follows a run step by step, such as the diagnosis window's log; called on the running thread.
class IDiagStepObserver {
public:
    virtual ~IDiagStepObserver() = default;
    virtual void OnStepBegin(DWORD dwStep, DWORD dwSequence, DWORD dwTotal) = 0;
    virtual void OnStepEnd(DWORD dwStep, DWORD dwResult) = 0;
};

class CDiagReport {
public:
    // Total the progress display plans for, whatever the number of steps.
    static const DWORD STEP_TOTAL = 12;

    // The steps come from the caller: the step table names every check and lives above them.
    explicit CDiagReport(const std::vector<DiagStep>& steps);
    CDiagReport(const std::vector<DiagStep>& steps, IDiagStepObserver& observer);

    // Tell the observer, when there is one.
    void BeginStep(DWORD dwStep, DWORD dwSequence, DWORD dwTotal);
    void EndStep(DWORD dwStep, DWORD dwResult);

    void Run();
    bool AddMessage(CXmlDocument& doc, const char* pszCategory, const char* pszText, const char* pszKind);

    DWORD m_dwWarnings;
    DWORD m_dwErrors;
    CXmlDocument m_Document;
    std::string m_strOutputFile;
    std::string m_strStylesheet;
    std::string m_strSchemaLocation;
    volatile LONG m_bCancel;  // set by another thread; read between steps

private:
    bool WriteSummary();

    std::vector<DiagStep> m_Steps;
    IDiagStepObserver* m_pObserver;
};

void RunStep(CDiagReport& report, DiagCheck pfnCheck, DWORD dwStep, CXmlDocument& doc, DWORD& dwSequence,
             DWORD dwTotal);
void WriteReport(CDiagReport& report);

// Where a check writes: finds Root, finds or adds the check's element in it and
// enters that element. False when the document has no Root.
bool EnterReportSection(CXmlDocument& doc, const char* pszSection);
