// The main diagnostics window's behaviour apart from its controls.
#include "src/diagnosis/DiagWindow.h"

#include "src/report/ReportFiles.h"
#include "src/trace/FileDebug.h"
#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"

#include <cstdio>

namespace {

typedef HWND(WINAPI* HtmlHelpProc)(HWND, LPCSTR, UINT, DWORD_PTR);
const UINT kHelpDisplayTopic = 0;  // HH_DISPLAY_TOPIC

// The warning about a failed transformation is for Windows 2000 only, whose browser may not
// apply the stylesheet instruction of the XML report shown instead.
bool IsWindows2000()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwMajorVersion == 5 && version.dwMinorVersion == 0;
}

}  // namespace

CDiagWindow::CDiagWindow(const std::vector<DiagStep>& steps, IDiagWindowView& view)
    : m_Window(view),
      m_Run(steps, view),
      m_lcid(GetThreadLocale()),
      m_Paths(DiagPaths::ForThisProcess(m_lcid)),
      m_Event(CreateEventA(nullptr, FALSE, TRUE, nullptr)),
      m_Worker("DiagnosisWorker"),
      m_HelpLibrary("HHCTRL.OCX"),
      m_lRunMark(0),
      m_bUserCancelled(0),
      m_bClosing(0),
      m_bResultsPending(0)
{
    m_Run.Report().m_strOutputFile = m_Paths.strXml;
    m_Run.Report().m_strStylesheet = m_Paths.strStylesheet;
    m_Worker.bTerminateThread = 1;
}

CDiagWindow::~CDiagWindow() = default;

void CDiagWindow::StartOrCancel()
{
    if (m_lRunMark) {
        m_bUserCancelled = 1;
        m_Run.Report().m_bCancel = 1;
        m_lRunMark = 0;
        m_Window.SetStartButton(LoadLocalizedString(IDS_MAIN_CANCEL), false);
        return;
    }

    m_bUserCancelled = 0;
    m_Window.SetStartButton(LoadLocalizedString(IDS_MAIN_CANCEL), true);
    m_Worker.Detach();  // the last run's worker, if any, ends by itself
    // Marked before the worker can run: a quick run clears the mark as it ends.
    m_lRunMark = 1;
    m_Worker.Start(WorkerMain, this);
}

unsigned WINAPI CDiagWindow::WorkerMain(void* pvWindow)
{
    static_cast<CDiagWindow*>(pvWindow)->RunWorker();
    return 0;
}

void CDiagWindow::RunWorker()
{
    SetThreadLocale(m_lcid);  // the step texts in the window's language
    m_Window.ClearLog();
    m_Window.SetStatusText("");
    m_Window.ShowProgress(true);
    ResetEvent(m_Event.Get());

    ReportOutcome outcome = ProduceReportFiles(m_Run.Report(), {m_Paths.strXml, m_Paths.strHtml}, [this] {
        m_Window.FillProgress();
        m_Window.SetStartButton(LoadLocalizedString(IDS_MAIN_START), true);
        m_lRunMark = 0;
        SetEvent(m_Event.Get());
        return !m_bClosing;
    });

    if (m_bClosing) {
        m_Window.EndDialog(END_DURING_RUN);
        return;
    }
    if (outcome.bXmlWritten) {
        DWORD dwExitCode = outcome.dwHtmlExitCode;
        if (dwExitCode != 0 && IsWindows2000()) {
            char szText[1024];
            std::snprintf(szText, sizeof szText, LoadLocalizedString(IDS_HTML_FAILED_TEXT).c_str(),
                          static_cast<int>(dwExitCode));
            m_Window.ShowWarning(LoadLocalizedString(IDS_HTML_FAILED_CAPTION), szText);
        }
        m_Window.EnableSave();
    } else {
        TRACE(1, "\nTriagist            :  ERROR! Could not find output file \"%s\"",
              m_Paths.strXml.c_str());
    }
    m_Window.ShowProgress(false);
    m_Window.PostResults();
}

void CDiagWindow::ShowResults()
{
    m_bResultsPending = 1;
    if (CanOpenForReading(m_Paths.strHtml)) {
        ShowReport(m_Paths.strHtml);
        return;
    }
    TRACE(1, "\nTriagist            :  ERROR! Could not open HTML file \"%s\"", m_Paths.strHtml.c_str());
    if (!m_bUserCancelled && CanOpenForReading(m_Paths.strXml))
        ShowReport(m_Paths.strXml);
}

void CDiagWindow::ShowReport(const std::string& strPath)
{
    m_Window.Navigate(strPath);
    if (m_bResultsPending) {
        m_Window.AppendLog(m_Run.CompletionLine());
        m_bResultsPending = 0;
    }
}

void CDiagWindow::Exit()
{
    m_Run.Report().m_bCancel = 1;
    m_bClosing = 1;
    if (!m_lRunMark)
        m_Window.EndDialog(END_IDLE);
    // during a run the worker ends the dialog once the run has stopped
}

bool CDiagWindow::Save(const std::string& strFileName) const
{
    const std::string& strSource = CDiagRun::SavesHtml(strFileName) ? m_Paths.strHtml : m_Paths.strXml;
    return CopyFileA(strSource.c_str(), strFileName.c_str(), FALSE) != FALSE;
}

std::string CDiagWindow::SaveFilter(WORD wLanguageWord)
{
    WORD wLanguage = wLanguageWord ? wLanguageWord : GetSystemDefaultLangID();
    static const char kGerman[] = "HTML Dateien (*.html)\0*.html\0XML Dateien (*.xml)\0*.xml\0";
    static const char kEnglish[] = "HTML Files (*.html)\0*.html\0XML Files (*.xml)\0*.xml\0";
    return wLanguage == 1031 ? std::string(kGerman, sizeof kGerman) : std::string(kEnglish, sizeof kEnglish);
}

bool CDiagWindow::Help(HWND hParent) const
{
    HtmlHelpProc pfnHtmlHelp = m_HelpLibrary.Resolve<HtmlHelpProc>("HtmlHelpA");
    if (!pfnHtmlHelp)
        return false;
    // The help file is named relative to the current directory, as the help viewer resolves it.
    char szFile[64];
    std::snprintf(szFile, sizeof szFile, RUNTIME_HELP_FORMAT, static_cast<int>(m_lcid));
    if (!CanOpenForReading(szFile))
        std::snprintf(szFile, sizeof szFile, RUNTIME_HELP_FORMAT, 1033);
    std::string strTopic = std::string(szFile) + "::/Diagnostics/QuillmontDiagnostics.htm";
    pfnHtmlHelp(hParent, strTopic.c_str(), kHelpDisplayTopic, 0);
    return true;
}
