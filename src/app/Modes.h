// The program's modes, of which each run serves exactly one, chosen from the command line.
#pragma once

#include "src/app/OptionTable.h"
#include "src/platform/Win32.h"

void ApplyLanguageOption(const COptionTable& options);
int RunSelectedMode(const COptionTable& options, const char* pszCommandLine);
int RunUnattendedDiagnosis(const std::string& strXmlPath, const std::string& strHtmlPath);

struct RestartRequest {
    bool bUnattended;  // "VERBOSE" anywhere on the command line
    bool bRescan;      // "RESCAN" anywhere on the command line
};
RestartRequest ParseRestartRequest(const char* pszCommandLine);
// At once and without a window with "VERBOSE" (exit code: the restart's result), else interactive.
int RunAgentRestart(const char* pszCommandLine);
