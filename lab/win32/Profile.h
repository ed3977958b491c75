// Stands in for kernel32's private profile functions: INI files read and written on the lab's drives.
#pragma once

#include "lab/win32/WinDef.h"

// lpFileName without a directory names a file in the Windows directory.
// lpAppName NULL lists the section names, lpKeyName NULL the keys of a section (each terminated, the
// list ended by a second terminator); a short buffer is cut and nSize - 1 (nSize - 2 for lists) returned.
DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                                      DWORD nSize, LPCSTR lpFileName);
UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName);
DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);
// lpKeyName NULL removes the section, lpString NULL the key.
BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName);
