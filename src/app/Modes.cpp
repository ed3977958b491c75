// The program's modes: the unattended ones run here, the interactive ones go to the front ends.
#include "src/app/Modes.h"

#include "src/app/DiagSteps.h"
#include "src/app/FrontEnds.h"
#include "src/report/ReportFiles.h"
#include "src/tools/AgentRestart.h"

#include <string>

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

    CDiagReport report(DiagnosisSteps());
    ProduceReportFiles(report, {strXml, strHtmlPath});
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
    if (request.bUnattended) {
        CWindowlessRestartView windowless;
        CAgentRestart restart(windowless);
        return static_cast<int>(restart.RestartAgents(1, 1, request.bRescan ? 1 : 0, 1));
    }
    return RunRestartFrontEnd();
}

int RunSelectedMode(const COptionTable& options, const char* pszCommandLine)
{
    ApplyLanguageOption(options);

    if (options.Has("-DIAG") || options.Has("/DIAG")) {
        std::string strXml = options.Value("-XMLREPORT", 0, "");
        std::string strHtml = options.Value("-HTMLREPORT", 0, "");
        if (strXml.empty() && strHtml.empty())
            return RunDiagnosisFrontEnd(DiagnosisSteps());
        return RunUnattendedDiagnosis(strXml, strHtml);
    }
    if (options.Has("-TRACE") || options.Has("/TRACE"))
        return RunTraceSettingsFrontEnd();
    if (options.Has("-MSI") || options.Has("/MSI"))
        return RunMsiCleanupFrontEnd();
    if (options.Has("-RESTART") || options.Has("/RESTART"))
        return RunAgentRestart(pszCommandLine);
    return 0;
}
