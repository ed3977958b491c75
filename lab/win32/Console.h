// Stands in for the console and the debugger output of kernel32.
#pragma once

#include "lab/win32/WinDef.h"

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

BOOL WINAPI AllocConsole();
HANDLE WINAPI GetStdHandle(DWORD nStdHandle);
BOOL WINAPI WriteConsoleA(HANDLE hConsoleOutput, const void* lpBuffer, DWORD nNumberOfCharsToWrite,
                          LPDWORD lpNumberOfCharsWritten, LPVOID lpReserved);
void WINAPI OutputDebugStringA(LPCSTR lpOutputString);
