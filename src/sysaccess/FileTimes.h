// File times as the report writes them.
#pragma once

#include "src/platform/Win32.h"

#include <string>

// The file's creation time in local time as "%m/%d/%Y %H:%M:%S", or "n/a"
// when the file cannot be opened or its time cannot be read or formatted.
std::string FileCreationTimeText(LPCSTR pszPath);

// Seconds since 1970 in UTC as a FILETIME (100-nanosecond units since 1601); false for a time before 1601.
bool UnixTimeToFileTime(LONGLONG llSeconds, FILETIME& ft);
