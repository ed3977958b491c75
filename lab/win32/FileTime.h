// Stands in for kernel32's conversions between FILETIME, SYSTEMTIME and local time.
#pragma once

#include "lab/win32/WinDef.h"

// Years 1601 to 30827; a FILETIME from 2^63 on and a SYSTEMTIME with a field out of range fail with
// ERROR_INVALID_PARAMETER. wDayOfWeek is filled in one way and ignored the other.
BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
// Both shift by the local time zone's offset from UTC as it is now, daylight saving time included,
// not as it was at the moment converted: Windows does the same.
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);
