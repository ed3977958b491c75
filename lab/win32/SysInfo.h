// Stands in for the time, machine-name, environment, locale and text functions of kernel32 and user32.
#pragma once

#include "lab/win32/WinDef.h"

#define MAX_COMPUTERNAME_LENGTH 15

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize);
DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize);
DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);
BOOL WINAPI SetThreadLocale(LCID Locale);
LCID WINAPI GetThreadLocale();
LPSTR WINAPI CharUpperA(LPSTR lpsz);
LPSTR WINAPI CharNextA(LPCSTR lpsz);
DWORD WINAPI CharUpperBuffA(LPSTR lpsz, DWORD cchLength);
int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
