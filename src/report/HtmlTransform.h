// Turns a written report into HTML through the external XSLT processor under the current directory.
#pragma once

#include "src/platform/Win32.h"

// How long the processor may take before the caller goes on without it.
const DWORD HTML_TRANSFORM_TIMEOUT_MS = 15000;
const DWORD HTML_TRANSFORM_NO_EXIT_CODE = 0xFFFFFFFF;

// The processor's exit code (0 = success; 259 = still running after the wait), or 0xFFFFFFFF.
DWORD TransformToHtml(const char* pszXmlPath, const char* pszXslPath, const char* pszHtmlPath);
