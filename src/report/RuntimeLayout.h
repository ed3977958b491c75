// The runtime directory: the files the program finds relative to its current directory (not its own
// folder), and the one place that names them.
#pragma once

#include "src/platform/Win32.h"

#include <string>

extern const char RUNTIME_STYLESHEET[];         // the report's stylesheet
extern const char RUNTIME_XSLT_PROCESSOR[];     // the external processor that applies it
extern const char RUNTIME_HTML_REPORT[];        // the interactive diagnosis's page
extern const char RUNTIME_START_PAGE_FORMAT[];  // the start page of a language (%d: its locale)
extern const char RUNTIME_START_PAGE[];         // the start page of any language
extern const char RUNTIME_HELP_FORMAT[];        // the help file of a language (%d: its locale)
extern const char RUNTIME_ADAPTER_NAMES[];      // the PCI vendor and device names

// The current directory, or "" when it cannot be read.
std::string RuntimeDirectory();
// "<current directory>\<relative path>"; "\<relative path>" when the directory cannot be read.
std::string RuntimePath(const char* pszRelative);
// The path of a per-language file, from one of the formats above.
std::string RuntimeLanguagePath(const char* pszFormat, LCID lcid);
// True when the file exists and can be opened for reading.
bool CanOpenForReading(const std::string& strPath);
