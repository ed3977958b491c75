// Where the interactive diagnosis keeps its reports and finds its pages.
#include "src/diagnosis/DiagPaths.h"

#include "src/report/RuntimeLayout.h"

DiagPaths DiagPaths::ForThisProcess(LCID lcid)
{
    DiagPaths paths;
    char szTemp[MAX_PATH] = "";
    DWORD cchTemp = GetTempPathA(MAX_PATH, szTemp);
    paths.strXml = std::string(cchTemp != 0 && cchTemp < MAX_PATH ? szTemp : "") + "Status.xml";
    paths.strStylesheet = RuntimePath(RUNTIME_STYLESHEET);
    paths.strHtml = RuntimePath(RUNTIME_HTML_REPORT);
    paths.strStartPage = RuntimeLanguagePath(RUNTIME_START_PAGE_FORMAT, lcid);
    if (!CanOpenForReading(paths.strStartPage))
        paths.strStartPage = RuntimePath(RUNTIME_START_PAGE);
    return paths;
}

