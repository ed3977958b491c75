#include "src/app/Modes.h"

#include "src/app/DiagSteps.h"
#include "src/report/DiagReport.h"
#include "src/report/HtmlTransform.h"
#include "src/tools/AgentRestart.h"
#ifdef _WIN32
#include "src/tools/win32/MsiCleanupDlg.h"
#include "src/tools/win32/RestartDlg.h"
#include "src/tools/win32/TraceSettingsDlg.h"
#include "src/ui/win32/DiagDialog.h"
#else
#include "src/tools/ConsoleMsiCleanup.h"
#include "src/tools/ConsoleRestart.h"
#include "src/tools/ConsoleTraceSettings.h"
#include "src/ui/ConsoleDiagnosis.h"
#endif

#include <string>

const char* const WINDOW_SIZE_KEY = "Software\\Marrowby\\Triagist";

void ApplyLanguageOption(const COptionTable& options)
{
    if (!options.Has("-LANG"))
        return;
    std::string strLanguage = options.Value("-LANG", 0, "");
    if (lstrcmpiA(strLanguage.c_str(), "US") == 0)
        SetThreadLocale(1033);
    else if (lstrcmpiA(strLanguage.c_str(), "GER") == 0)
        SetThreadLocale(1031);
}

int RunUnattendedDiagnosis(const std::string& strXmlPath, const std::string& strHtmlPath)
{
    std::string strXml = strXmlPath;
    if (strXml.empty()) {
        char szTemp[MAX_PATH] = "";
        DWORD cchTemp = GetTempPathA(MAX_PATH, szTemp);
        if (cchTemp == 0 || cchTemp >= MAX_PATH)
            szTemp[0] = '\0';
        strXml = std::string(szTemp) + "Report.xml";
    }

    {
        CDiagReport report(DiagnosisSteps());
        report.m_strOutputFile = strXml;
        report.Run();
    }

    if (!strHtmlPath.empty()) {
        char szDirectory[MAX_PATH] = "";
        DWORD cchDirectory = GetCurrentDirectoryA(MAX_PATH, szDirectory);
        // Without a current directory there is no stylesheet and no processor to run.
        if (cchDirectory != 0 && cchDirectory < MAX_PATH) {
            std::string strStylesheet = std::string(szDirectory) + "\\XML\\Status.xslt";
            TransformToHtml(strXml.c_str(), strStylesheet.c_str(), strHtmlPath.c_str());
        }
    }
    return 0;  // findings and failures are in the report, not in the exit code
}

RestartRequest ParseRestartRequest(const char* pszCommandLine)
{
    std::string strText = pszCommandLine ? pszCommandLine : "";
    if (!strText.empty())
        CharUpperA(&strText[0]);
    RestartRequest request;
    request.bUnattended = strText.find("VERBOSE") != std::string::npos;
    request.bRescan = strText.find("RESCAN") != std::string::npos;
    return request;
}

int RunAgentRestart(const char* pszCommandLine)
{
    RestartRequest request = ParseRestartRequest(pszCommandLine);
    if (request.bUnattended)
        return static_cast<int>(CAgentRestart(nullptr).RestartAgents(1, 1, request.bRescan ? 1 : 0, 1));
#ifdef _WIN32
    return RunRestartDialog();
#else
    return RunConsoleRestart();  // the native build's front end is the console
#endif
}

int RunSelectedMode(const COptionTable& options, const char* pszCommandLine)
{
    ApplyLanguageOption(options);

    if (options.Has("-DIAG") || options.Has("/DIAG")) {
        std::string strXml = options.Value("-XMLREPORT", 0, "");
        std::string strHtml = options.Value("-HTMLREPORT", 0, "");
        if (strXml.empty() && strHtml.empty()) {
#ifdef _WIN32
            return RunDiagnosisWindow(DiagnosisSteps());
#else
            return RunConsoleDiagnosis(DiagnosisSteps());  // the native build's front end is the console
#endif
        }
        return RunUnattendedDiagnosis(strXml, strHtml);
    }
    if (options.Has("-TRACE") || options.Has("/TRACE")) {
#ifdef _WIN32
        return RunTraceSettingsDialog();
#else
        return RunConsoleTraceSettings();  // the native build's front end is the console
#endif
    }
    if (options.Has("-MSI") || options.Has("/MSI")) {
#ifdef _WIN32
        return RunMsiCleanupDialog();
#else
        return RunConsoleMsiCleanup();  // the native build's front end is the console
#endif
    }
    if (options.Has("-RESTART") || options.Has("/RESTART"))
        return RunAgentRestart(pszCommandLine);
    return 0;
}
