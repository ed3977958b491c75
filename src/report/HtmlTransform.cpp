// Running the external XSLT processor on a written report, with a bounded wait.
#include "src/report/HtmlTransform.h"

#include "src/platform/ScopedHandle.h"
#include "src/report/RuntimeLayout.h"
#include "src/trace/FileDebug.h"

#include <string>

DWORD TransformToHtml(const char* pszXmlPath, const char* pszXslPath, const char* pszHtmlPath)
{
    std::string strProcessor = RuntimePath(RUNTIME_XSLT_PROCESSOR);
    // Every argument quoted, so paths with blanks reach the processor whole.
    std::string strCommandLine = "\"" + strProcessor + "\" \"" + pszXmlPath + "\" \"" + pszXslPath + "\" \"" +
                                 pszHtmlPath + "\"";

    STARTUPINFOA si;
    GetStartupInfoA(&si);
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESIZE | STARTF_USEPOSITION;
    si.wShowWindow = SW_HIDE;  // no console window flashes up
    si.dwX = si.dwY = si.dwXSize = si.dwYSize = 0;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(strProcessor.c_str(), &strCommandLine[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &si, &pi)) {
        TRACE(1, "\nCDiagReport    :  ERROR! Could not create process \"%s\"", strProcessor.c_str());
        return HTML_TRANSFORM_NO_EXIT_CODE;
    }
    CScopedHandle process(pi.hProcess);
    CScopedHandle thread(pi.hThread);
    TRACE(3, "\nCDiagReport    :  Process \"%s\" Cmd Line: \"%s\" started ..", strProcessor.c_str(),
          strCommandLine.c_str());

    // A hung processor is left running; its exit code then reads as still active.
    WaitForSingleObject(process.Get(), HTML_TRANSFORM_TIMEOUT_MS);
    TRACE(3, "\nCDiagReport    :  Process \"%s\" Cmd Line: \"%s\" finished!", strProcessor.c_str(),
          strCommandLine.c_str());

    DWORD dwExitCode = HTML_TRANSFORM_NO_EXIT_CODE;
    if (!GetExitCodeProcess(process.Get(), &dwExitCode))
        dwExitCode = HTML_TRANSFORM_NO_EXIT_CODE;
    return dwExitCode;
}
