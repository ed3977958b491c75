// The files one diagnosis produces: the XML report and, when asked for, its HTML page.
#pragma once

#include "src/report/DiagReport.h"

#include <functional>
#include <string>

struct ReportFileSet {
    std::string strXml;
    std::string strHtml;  // empty: no page
};

struct ReportOutcome {
    bool bXmlWritten;
    DWORD dwHtmlExitCode;  // the processor's exit code; HTML_TRANSFORM_NO_EXIT_CODE when not transformed
};

// Deletes what an earlier run left, runs the diagnosis into the XML file and, when the run wrote it and
// fnAfterRun (asked once the run is over) does not object, transforms it with the runtime stylesheet.
ReportOutcome ProduceReportFiles(CDiagReport& run, const ReportFileSet& files,
                                 const std::function<bool()>& fnAfterRun = nullptr);
