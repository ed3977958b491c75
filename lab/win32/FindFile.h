// Stands in for kernel32's directory search (FindFirstFileA, FindNextFileA, FindClose).
#pragma once

#include "lab/win32/WinDef.h"

#ifndef ERROR_NO_MORE_FILES
#define ERROR_NO_MORE_FILES 18L
#endif

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *PWIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

// The pattern's wildcards (* and ?, case ignored) stand only in its last component. A directory lists
// "." and ".." first, as on Windows; no match is ERROR_FILE_NOT_FOUND, a missing directory
// ERROR_PATH_NOT_FOUND, the end of the list ERROR_NO_MORE_FILES. The handle is FindClose's, not CloseHandle's.
HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
BOOL WINAPI FindClose(HANDLE hFindFile);
