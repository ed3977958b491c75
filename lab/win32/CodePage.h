// Stands in for kernel32's code page conversions.
#pragma once

#include "lab/win32/WinDef.h"

#define CP_ACP 0
#define CP_UTF8 65001
#define CP_THREAD_ACP 3

// The lab's ANSI code page is Windows-1252; characters it lacks become the default character.
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar);
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);

// The ANSI code page: always Windows-1252.
UINT WINAPI GetACP();

// The code page of the console's output: the Linux terminal's UTF-8.
UINT WINAPI GetConsoleOutputCP();
