// Stands in for what is installed on the machine in the way of libraries (lab-internal, not part of the Win32 surface).
#pragma once

#include "lab/win32/WinDef.h"

namespace lab::win32 {

// Module names are compared without regard to case and with or without ".dll"; function names exactly.
// lab.ini can do the same: [Libraries] Missing=psapi, Missing=kernel32!GetProcessHandleCount (or a
// comma-separated list).

// LoadLibraryA and GetModuleHandleA fail with ERROR_MOD_NOT_FOUND, as when the DLL is not installed.
void SetModuleMissing(const char* module, bool bMissing);
// GetProcAddress fails with ERROR_PROC_NOT_FOUND, as on a system too old to have the function.
void SetFunctionMissing(const char* module, const char* function, bool bMissing);
// Every switch set by the two functions above back off.
void ResetLibrarySwitches();

// Adds a function to a module of the lab, creating the module when it is new, for lab files that
// implement functions the program resolves by name.
void RegisterExport(const char* module, const char* function, FARPROC proc);

}  // namespace lab::win32
