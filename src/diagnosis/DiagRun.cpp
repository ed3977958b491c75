// The diagnosis window's run as the user follows it, apart from any window: step log, progress, status.
#include "src/diagnosis/DiagRun.h"

#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"

#include <cstdio>

CDiagRun::CDiagRun(const std::vector<DiagStep>& steps, IDiagRunView& view)
    : m_View(view), m_dwPosition(0), m_dwRange(0), m_Report(steps, *this)
{
}

UINT CDiagRun::StepTextId(DWORD dwStep)
{
    // By step index, not by the order the run calls the steps in.
    static const UINT STEP_TEXTS[] = {
        IDS_STEP_HARDWARE,
        IDS_STEP_EVENT_LOG,
        IDS_STEP_OPERATING_SYSTEM,
        IDS_STEP_NETWORK,
        IDS_STEP_SNMP_CONFIG,
        IDS_STEP_SNMP_TEST,
        IDS_STEP_BASE_SERVICE_CONFIG,
        IDS_STEP_BASE_SERVICE_TEST,
        IDS_STEP_PRODUCTS,
    };
    return dwStep < sizeof STEP_TEXTS / sizeof STEP_TEXTS[0] ? STEP_TEXTS[dwStep] : 0;
}

void CDiagRun::OnStepBegin(DWORD dwStep, DWORD dwSequence, DWORD dwTotal)
{
    if (UINT uText = StepTextId(dwStep))
        m_View.AppendLog(LoadLocalizedString(uText));
    m_dwRange = 2 * dwTotal;
    m_dwPosition = dwSequence;
    m_View.SetProgress(m_dwPosition, m_dwRange);
}

void CDiagRun::OnStepEnd(DWORD, DWORD dwResult)
{
    m_View.SetProgress(++m_dwPosition, m_dwRange);
    UINT uOutcome = dwResult == STEP_OK ? IDS_STEP_OK
                    : dwResult == STEP_CANCELLED ? IDS_STEP_CANCELLED
                    : dwResult == STEP_FINDINGS ? IDS_STEP_WARNINGS : 0;
    if (uOutcome)
        m_View.AppendLog(LoadLocalizedString(uOutcome));
    m_View.SetStatusText(StatusText());
}

std::string CDiagRun::StatusText() const
{
    return LoadLocalizedString(m_Report.m_dwErrors     ? IDS_STATUS_ERROR
                               : m_Report.m_dwWarnings ? IDS_STATUS_WARN
                                                       : IDS_STATUS_OK);
}

std::string CDiagRun::CompletionLine() const
{
    char szLine[1024];
    std::snprintf(szLine, sizeof szLine, LoadLocalizedString(IDS_RUN_COMPLETED).c_str(),
                  static_cast<int>(m_Report.m_dwErrors), static_cast<int>(m_Report.m_dwWarnings));
    return szLine;
}

bool CDiagRun::SavesHtml(const std::string& strFileName)
{
    std::string strUpper = strFileName;
    if (!strUpper.empty())
        CharUpperA(&strUpper[0]);
    return strUpper.find(".HTM") != std::string::npos || strUpper.find("HTML") != std::string::npos;
}
