// Stands in for what an administrator or a misbehaving service does to the service control manager
// (lab-internal, not part of the Win32 surface).
#pragma once

#include "lab/host/ServiceTable.h"
#include "lab/win32/WinDef.h"

#include <functional>
#include <string>
#include <vector>

namespace lab::win32 {

// The services themselves come from the profile's services.ini (see lab/README.md); these switches
// change them while a test runs. Every change is saved into the state like the program's own.

// The next dwCalls calls of QueryServiceStatus, StartServiceA and ControlService fail with
// ERROR_SERVICE_DATABASE_LOCKED; INFINITE keeps the database locked until this is called with 0.
void SetServiceDatabaseLocked(DWORD dwCalls);

// OpenSCManagerA fails with ERROR_ACCESS_DENIED when asked for any of these rights (0: none).
void SetServiceManagerDenied(DWORD dwRights);

// Changes one service: its state, faults, wait hint, timings, denied rights, being marked for
// deletion. False when there is no such service.
bool ChangeService(const char* pszService, const std::function<void(lab::host::ServiceEntry&)>& change);

// The arguments each start of the service received in this run, oldest first.
std::vector<std::vector<std::string>> ServiceStartArguments(const char* pszService);

}  // namespace lab::win32
