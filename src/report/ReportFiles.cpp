// The report files of one diagnosis, for every front end and the unattended mode alike.
#include "src/report/ReportFiles.h"

#include "src/report/HtmlTransform.h"
#include "src/report/RuntimeLayout.h"

ReportOutcome ProduceReportFiles(CDiagReport& run, const ReportFileSet& files, const std::function<bool()>& fnAfterRun)
{
    // A stale report must never pass for this run's.
    DeleteFileA(files.strXml.c_str());
    if (!files.strHtml.empty())
        DeleteFileA(files.strHtml.c_str());

    run.m_strOutputFile = files.strXml;
    run.Run();

    ReportOutcome outcome = {false, HTML_TRANSFORM_NO_EXIT_CODE};
    if (fnAfterRun && !fnAfterRun())
        return outcome;
    outcome.bXmlWritten = CanOpenForReading(files.strXml);
    // Without a current directory there is no stylesheet and no processor to run.
    if (outcome.bXmlWritten && !files.strHtml.empty() && !RuntimeDirectory().empty())
        outcome.dwHtmlExitCode = TransformToHtml(files.strXml.c_str(), RuntimePath(RUNTIME_STYLESHEET).c_str(),
                                                 files.strHtml.c_str());
    return outcome;
}
