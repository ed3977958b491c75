// The interactive diagnosis on a console: the window's run with its step log on standard output.
#include "src/diagnosis/console/ConsoleDiagnosis.h"

#include "src/diagnosis/DiagPaths.h"
#include "src/diagnosis/DiagWindow.h"
#include "src/platform/ConsoleText.h"
#include "src/report/ReportFiles.h"
#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"

#include <algorithm>
#include <vector>

namespace {

// The run Ctrl+C cancels; the handler may only set flags.
CDiagReport* volatile s_pRun = nullptr;
volatile LONG s_bInterrupted = 0;

BOOL WINAPI OnCtrl(DWORD dwCtrlType)
{
    if (dwCtrlType != CTRL_C_EVENT || !s_pRun)
        return FALSE;
    s_bInterrupted = 1;
    s_pRun->m_bCancel = 1;
    return TRUE;
}

// The labels of the report lines, padded to one width so that the paths line up.
std::string ReportLabel(UINT uId)
{
    std::string strXml = LoadLocalizedString(IDS_REPORT_XML);
    std::string strHtml = LoadLocalizedString(IDS_REPORT_HTML);
    std::string strLabel = LoadLocalizedString(uId);
    strLabel.resize(std::max(strXml.size(), strHtml.size()) + 1, ' ');
    return strLabel;
}

}  // namespace

void CConsoleView::AppendLog(const std::string& strText)
{
    m_strLine += strText;
    size_t nEnd;
    while ((nEnd = m_strLine.find("\r\n")) != std::string::npos) {
        std::string strDone = m_strLine.substr(0, nEnd);
        m_strLine.erase(0, nEnd + 2);
        if (m_bTerminal)
            std::fputs("\r\033[K", m_pOut);
        std::fprintf(m_pOut, "%s\n", ToConsoleText(strDone).c_str());
    }
    DrawProgress();
}

void CConsoleView::SetStatusText(const std::string& strText)
{
    m_strStatus = strText;
    DrawProgress();
}

void CConsoleView::SetProgress(DWORD dwPosition, DWORD dwRange)
{
    m_dwPosition = dwPosition;
    m_dwRange = dwRange;
    DrawProgress();
}

void CConsoleView::WriteLine(const std::string& strText)
{
    if (m_bTerminal)
        std::fputs("\r\033[K", m_pOut);
    if (!m_strLine.empty())
        std::fprintf(m_pOut, "%s\n", ToConsoleText(m_strLine).c_str());
    m_strLine.clear();
    std::fprintf(m_pOut, "%s\n", ToConsoleText(strText).c_str());
    std::fflush(m_pOut);
}

void CConsoleView::FillProgress()
{
    m_dwPosition = m_dwRange = 1;
    DrawProgress();
    if (m_bTerminal)
        std::fputs("\n", m_pOut);
}

void CConsoleView::DrawProgress()
{
    if (m_bTerminal) {
        unsigned uPercent = m_dwRange ? static_cast<unsigned>(100u * m_dwPosition / m_dwRange) : 0u;
        std::fprintf(m_pOut, "\r\033[K[%3u%%] %s  %s", uPercent, ToConsoleText(m_strStatus).c_str(),
                     ToConsoleText(m_strLine).c_str());
    }
    std::fflush(m_pOut);
}

int RunConsoleDiagnosis(const std::vector<DiagStep>& steps, FILE* pOut)
{
    DiagPaths paths = DiagPaths::ForThisProcess(GetThreadLocale());
    CConsoleView view(pOut, _isatty(_fileno(pOut)) != 0);
    CDiagRun run(steps, view);
    run.Report().m_strStylesheet = paths.strStylesheet;
    view.SetStatusText(LoadLocalizedString(IDS_STATUS_NA));
    s_bInterrupted = 0;
    s_pRun = &run.Report();
    SetConsoleCtrlHandler(OnCtrl, TRUE);
    ReportOutcome outcome = ProduceReportFiles(run.Report(), {paths.strXml, paths.strHtml}, [&view] {
        SetConsoleCtrlHandler(OnCtrl, FALSE);
        s_pRun = nullptr;
        view.FillProgress();
        return true;
    });
    int nEnd = s_bInterrupted ? CDiagWindow::END_DURING_RUN : CDiagWindow::END_IDLE;

    if (!outcome.bXmlWritten) {
        view.WriteLine("");
        return nEnd;
    }
    view.WriteLine(run.CompletionLine());
    view.WriteLine(ReportLabel(IDS_REPORT_XML) + paths.strXml);
    if (outcome.dwHtmlExitCode == 0 && CanOpenForReading(paths.strHtml))
        view.WriteLine(ReportLabel(IDS_REPORT_HTML) + paths.strHtml);
    return nEnd;
}
