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

#define CTRL_C_EVENT 0
typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD dwCtrlType);
// Ctrl+C (SIGINT) calls the handlers, the one added last first, until one returns TRUE; when none
// does, the process ends as Windows ends it. Unlike Windows, a handler runs in the signal's
// context on whatever thread took it, so it may only set flags.
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add);
