// Stands in for the service control manager functions of advapi32.
#include "lab/win32/Services.h"

#include "lab/host/Host.h"
#include "lab/host/IniFile.h"
#include "lab/host/ServiceTable.h"
#include "lab/win32/ServiceControl.h"
#include "lab/win32/SysInfo.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

using lab::host::Host;
using lab::host::ServiceEntry;
using lab::host::ServiceStatusInfo;
using lab::host::ServiceTable;

namespace {

const DWORD kStandardRightsRead = 0x00020000;
const DWORD kGenericRead = 0x80000000;
const DWORD kGenericWrite = 0x40000000;
const DWORD kMaximumAllowed = 0x02000000;

// A name longer than this is no service name.
const size_t kMaxServiceName = 256;

struct ScObject {
    bool bManager = false;
    std::string service;  // key name of a service handle
    DWORD access = 0;
};

// Service handles are the manager's own numbers, apart from the kernel's handle table
// (CloseHandle does not take them).
struct ScTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, ScObject> objects;
    uintptr_t next = 0x70000000;
};

ScTable& Table()
{
    static ScTable* pTable = new ScTable;  // outlives every static destructor
    return *pTable;
}

ServiceTable& Services()
{
    return Host::Instance().Services();
}

SC_HANDLE Insert(const ScObject& object)
{
    ScTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    table.objects[value] = object;
    return reinterpret_cast<SC_HANDLE>(value);
}

bool Lookup(SC_HANDLE h, ScObject& object)
{
    ScTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(h));
    if (it == table.objects.end())
        return false;
    object = it->second;
    return true;
}

DWORD ManagerRights(DWORD access)
{
    DWORD granted = (access & 0x00FFFFFF) | SC_MANAGER_CONNECT;  // connecting is implied
    if (access & (GENERIC_ALL | kMaximumAllowed))
        granted |= SC_MANAGER_ALL_ACCESS;
    if (access & kGenericRead)
        granted |= kStandardRightsRead | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    if (access & kGenericWrite)
        granted |= kStandardRightsRead | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    if (access & GENERIC_EXECUTE)
        granted |= kStandardRightsRead | SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
    return granted & ~kMaximumAllowed;
}

DWORD ServiceRights(DWORD access)
{
    DWORD granted = access & 0x00FFFFFF;
    if (access & (GENERIC_ALL | kMaximumAllowed))
        granted |= SERVICE_ALL_ACCESS;
    if (access & kGenericRead)
        granted |= kStandardRightsRead | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
                   SERVICE_ENUMERATE_DEPENDENTS;
    if (access & kGenericWrite)
        granted |= kStandardRightsRead | SERVICE_CHANGE_CONFIG;
    if (access & GENERIC_EXECUTE)
        granted |= kStandardRightsRead | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                   SERVICE_USER_DEFINED_CONTROL;
    return granted & ~kMaximumAllowed;
}

// Asking for the maximum gets what is not denied; asking for a denied right gets nothing.
bool Grant(DWORD requested, DWORD rights, DWORD denied, DWORD& granted)
{
    if (requested & kMaximumAllowed) {
        granted = rights & ~denied;
        return true;
    }
    granted = rights;
    return (rights & denied) == 0;
}

BOOL Fail(DWORD dwError)
{
    SetLastError(dwError);
    return FALSE;
}

// A service handle carrying every right in `needed`; 0 or the error the call fails with.
DWORD ServiceObject(SC_HANDLE h, DWORD needed, ScObject& object)
{
    if (!Lookup(h, object) || object.bManager)
        return ERROR_INVALID_HANDLE;
    if ((object.access & needed) != needed)
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

bool IsManager(SC_HANDLE h)
{
    ScObject object;
    return Lookup(h, object) && object.bManager;
}

// This machine answers to no name, ".", "localhost" and its computer name, with or without "\\".
bool IsLocalMachine(LPCSTR lpMachineName)
{
    if (!lpMachineName)
        return true;
    std::string name = lpMachineName;
    name.erase(0, name.find_first_not_of('\\'));
    if (name.empty() || name == "." || lab::host::EqualsNoCase(name, "localhost"))
        return true;
    char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD cch = sizeof szComputer;
    DWORD dwSaved = GetLastError();
    bool bOurs = GetComputerNameA(szComputer, &cch) && lab::host::EqualsNoCase(name, szComputer);
    SetLastError(dwSaved);
    return bOurs;
}

void ToStatus(const ServiceStatusInfo& info, SERVICE_STATUS& status)
{
    status.dwServiceType = info.type;
    status.dwCurrentState = info.state;
    status.dwControlsAccepted = info.controlsAccepted;
    status.dwWin32ExitCode = info.win32ExitCode;
    status.dwServiceSpecificExitCode = info.specificExitCode;
    status.dwCheckPoint = info.checkPoint;
    status.dwWaitHint = info.waitHint;
}

// Copies a string into the string area of a caller's buffer and moves the area on.
LPSTR Place(BYTE*& pNext, const std::string& text)
{
    LPSTR psz = reinterpret_cast<LPSTR>(pNext);
    std::memcpy(pNext, text.c_str(), text.size() + 1);
    pNext += text.size() + 1;
    return psz;
}

std::string MultiString(const std::vector<std::string>& items)
{
    std::string multi;
    for (const std::string& item : items) {
        multi += item;
        multi += '\0';
    }
    multi += '\0';
    if (items.empty())
        multi += '\0';
    return multi;
}

void Journal(const std::string& entry)
{
    Host::Instance().Record(entry);
}

}  // namespace

namespace lab::win32 {

void SetServiceDatabaseLocked(DWORD dwCalls)
{
    Services().SetLocked(dwCalls);
}

void SetServiceManagerDenied(DWORD dwRights)
{
    Services().SetManagerDeniedAccess(dwRights);
}

bool ChangeService(const char* pszService, const std::function<void(lab::host::ServiceEntry&)>& change)
{
    return pszService && Services().Change(pszService, change);
}

std::vector<std::vector<std::string>> ServiceStartArguments(const char* pszService)
{
    ServiceEntry entry;
    if (!pszService || !Services().Find(pszService, entry))
        return {};
    return entry.startArguments;
}

}  // namespace lab::win32

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess)
{
    if (!IsLocalMachine(lpMachineName)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (lpDatabaseName && !lab::host::EqualsNoCase(lpDatabaseName, SERVICES_ACTIVE_DATABASEA)) {
        SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    ScObject object;
    object.bManager = true;
    if (!Grant(dwDesiredAccess, ManagerRights(dwDesiredAccess), Services().ManagerDeniedAccess(), object.access)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return Insert(object);
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess)
{
    if (!IsManager(hSCManager)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!lpServiceName || !*lpServiceName || std::strlen(lpServiceName) > kMaxServiceName) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    ServiceEntry entry;
    if (!Services().Find(lpServiceName, entry)) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (entry.bMarkedForDelete) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return nullptr;
    }
    ScObject object;
    object.service = entry.name;
    if (!Grant(dwDesiredAccess, ServiceRights(dwDesiredAccess), entry.deniedAccess, object.access)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return Insert(object);
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject)
{
    ScTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    if (table.objects.erase(reinterpret_cast<uintptr_t>(hSCObject)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus)
{
    ScObject object;
    DWORD dwError = ServiceObject(hService, SERVICE_QUERY_STATUS, object);
    if (dwError != ERROR_SUCCESS)
        return Fail(dwError);
    if (!lpServiceStatus)
        return Fail(ERROR_NOACCESS);
    if (Services().ConsumeLock())
        return Fail(ERROR_SERVICE_DATABASE_LOCKED);
    ServiceStatusInfo info;
    dwError = Services().Status(object.service, info);
    if (dwError != ERROR_SUCCESS)
        return Fail(dwError);
    ToStatus(info, *lpServiceStatus);
    return TRUE;
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGA lpServiceConfig, DWORD cbBufSize,
                                LPDWORD pcbBytesNeeded)
{
    ScObject object;
    DWORD dwError = ServiceObject(hService, SERVICE_QUERY_CONFIG, object);
    if (dwError != ERROR_SUCCESS)
        return Fail(dwError);
    if (!pcbBytesNeeded)
        return Fail(ERROR_NOACCESS);
    ServiceEntry entry;
    if (!Services().Find(object.service, entry))
        return Fail(ERROR_SERVICE_DOES_NOT_EXIST);
    if (entry.bMarkedForDelete)
        return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);

    std::string dependencies = MultiString(entry.dependencies);
    size_t cbNeeded = sizeof(QUERY_SERVICE_CONFIGA) + entry.binaryPath.size() + 1 + entry.loadOrderGroup.size() + 1 +
                      dependencies.size() + entry.startName.size() + 1 + entry.displayName.size() + 1;
    if (!lpServiceConfig || cbBufSize < cbNeeded) {
        *pcbBytesNeeded = static_cast<DWORD>(cbNeeded);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    QUERY_SERVICE_CONFIGA& config = *lpServiceConfig;
    BYTE* pNext = reinterpret_cast<BYTE*>(lpServiceConfig) + sizeof(QUERY_SERVICE_CONFIGA);
    config.dwServiceType = entry.type;
    config.dwStartType = entry.startType;
    config.dwErrorControl = entry.errorControl;
    config.lpBinaryPathName = Place(pNext, entry.binaryPath);
    config.lpLoadOrderGroup = Place(pNext, entry.loadOrderGroup);
    config.dwTagId = entry.tagId;
    config.lpDependencies = reinterpret_cast<LPSTR>(pNext);
    std::memcpy(pNext, dependencies.data(), dependencies.size());
    pNext += dependencies.size();
    config.lpServiceStartName = Place(pNext, entry.startName);
    config.lpDisplayName = Place(pNext, entry.displayName);
    *pcbBytesNeeded = static_cast<DWORD>(cbNeeded);
    return TRUE;
}

namespace {

// The A functions' name protocol: the size in characters without the terminator, on success and
// (as the size needed) with ERROR_INSUFFICIENT_BUFFER.
BOOL CopyServiceName(const std::string& name, LPSTR lpBuffer, LPDWORD lpcchBuffer)
{
    if (!lpcchBuffer)
        return Fail(ERROR_NOACCESS);
    DWORD cchGiven = *lpcchBuffer;
    *lpcchBuffer = static_cast<DWORD>(name.size());
    if (!lpBuffer || cchGiven <= name.size()) {
        if (lpBuffer && cchGiven > 0)
            lpBuffer[0] = '\0';
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(lpBuffer, name.c_str(), name.size() + 1);
    return TRUE;
}

}  // namespace

BOOL WINAPI GetServiceDisplayNameA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPSTR lpDisplayName,
                                   LPDWORD lpcchBuffer)
{
    if (!IsManager(hSCManager))
        return Fail(ERROR_INVALID_HANDLE);
    ServiceEntry entry;
    if (!lpServiceName || !Services().Find(lpServiceName, entry))
        return Fail(ERROR_SERVICE_DOES_NOT_EXIST);
    return CopyServiceName(entry.displayName, lpDisplayName, lpcchBuffer);
}

BOOL WINAPI GetServiceKeyNameA(SC_HANDLE hSCManager, LPCSTR lpDisplayName, LPSTR lpServiceName, LPDWORD lpcchBuffer)
{
    if (!IsManager(hSCManager))
        return Fail(ERROR_INVALID_HANDLE);
    ServiceEntry entry;
    for (const std::string& name : Services().Names()) {
        if (lpDisplayName && Services().Find(name, entry) && lab::host::EqualsNoCase(entry.displayName, lpDisplayName))
            return CopyServiceName(entry.name, lpServiceName, lpcchBuffer);
    }
    return Fail(ERROR_SERVICE_DOES_NOT_EXIST);
}

BOOL WINAPI EnumDependentServicesA(SC_HANDLE hService, DWORD dwServiceState, LPENUM_SERVICE_STATUSA lpServices,
                                   DWORD cbBufSize, LPDWORD pcbBytesNeeded, LPDWORD lpServicesReturned)
{
    ScObject object;
    DWORD dwError = ServiceObject(hService, SERVICE_ENUMERATE_DEPENDENTS, object);
    if (dwError != ERROR_SUCCESS)
        return Fail(dwError);
    if (dwServiceState < SERVICE_ACTIVE || dwServiceState > SERVICE_STATE_ALL)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!pcbBytesNeeded || !lpServicesReturned || (!lpServices && cbBufSize > 0))
        return Fail(ERROR_NOACCESS);

    struct Dependent {
        ServiceEntry entry;
        ServiceStatusInfo status;
    };
    std::vector<Dependent> dependents;
    for (const std::string& name : Services().Dependents(object.service, dwServiceState)) {
        Dependent dependent;
        if (Services().Find(name, dependent.entry) && Services().Status(name, dependent.status) == ERROR_SUCCESS)
            dependents.push_back(dependent);
    }

    // As many entries as fit, the array first and their names after it; the size needed is for all.
    size_t cbNeeded = 0;
    size_t fitting = 0;
    for (const Dependent& dependent : dependents) {
        cbNeeded += sizeof(ENUM_SERVICE_STATUSA) + dependent.entry.name.size() + 1 +
                    dependent.entry.displayName.size() + 1;
        if (cbNeeded <= cbBufSize)
            ++fitting;
    }
    BYTE* pNext = reinterpret_cast<BYTE*>(lpServices) + fitting * sizeof(ENUM_SERVICE_STATUSA);
    for (size_t i = 0; i < fitting; ++i) {
        lpServices[i].lpServiceName = Place(pNext, dependents[i].entry.name);
        lpServices[i].lpDisplayName = Place(pNext, dependents[i].entry.displayName);
        ToStatus(dependents[i].status, lpServices[i].ServiceStatus);
    }
    *lpServicesReturned = static_cast<DWORD>(fitting);
    *pcbBytesNeeded = static_cast<DWORD>(cbNeeded);
    if (fitting < dependents.size())
        return Fail(ERROR_MORE_DATA);
    return TRUE;
}

BOOL WINAPI EnumServicesStatusA(SC_HANDLE hSCManager, DWORD dwServiceType, DWORD dwServiceState,
                                LPENUM_SERVICE_STATUSA lpServices, DWORD cbBufSize, LPDWORD pcbBytesNeeded,
                                LPDWORD lpServicesReturned, LPDWORD lpResumeHandle)
{
    ScObject object;
    if (!Lookup(hSCManager, object) || !object.bManager)
        return Fail(ERROR_INVALID_HANDLE);
    if ((object.access & SC_MANAGER_ENUMERATE_SERVICE) == 0)
        return Fail(ERROR_ACCESS_DENIED);
    if (dwServiceState < SERVICE_ACTIVE || dwServiceState > SERVICE_STATE_ALL || (dwServiceType & 0x3F) == 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!pcbBytesNeeded || !lpServicesReturned || (!lpServices && cbBufSize > 0))
        return Fail(ERROR_NOACCESS);

    struct Listed {
        ServiceEntry entry;
        ServiceStatusInfo status;
    };
    // The database's order; the resume handle counts the services handed out so far.
    std::vector<Listed> listed;
    for (const std::string& name : Services().Names()) {
        Listed item;
        if (!Services().Find(name, item.entry) || Services().Status(name, item.status) != ERROR_SUCCESS)
            continue;
        bool bActive = item.status.state != SERVICE_STOPPED;
        if ((item.entry.type & dwServiceType) == 0 || (bActive ? (dwServiceState & SERVICE_ACTIVE) == 0
                                                                : (dwServiceState & SERVICE_INACTIVE) == 0))
            continue;
        listed.push_back(item);
    }
    size_t first = lpResumeHandle ? std::min<size_t>(*lpResumeHandle, listed.size()) : 0;
    size_t cbNeeded = 0;
    size_t fitting = 0;
    for (size_t i = first; i < listed.size(); ++i) {
        cbNeeded += sizeof(ENUM_SERVICE_STATUSA) + listed[i].entry.name.size() + 1 +
                    listed[i].entry.displayName.size() + 1;
        if (cbNeeded <= cbBufSize && fitting == i - first)
            ++fitting;
    }
    BYTE* pNext = reinterpret_cast<BYTE*>(lpServices) + fitting * sizeof(ENUM_SERVICE_STATUSA);
    for (size_t i = 0; i < fitting; ++i) {
        lpServices[i].lpServiceName = Place(pNext, listed[first + i].entry.name);
        lpServices[i].lpDisplayName = Place(pNext, listed[first + i].entry.displayName);
        ToStatus(listed[first + i].status, lpServices[i].ServiceStatus);
    }
    *lpServicesReturned = static_cast<DWORD>(fitting);
    if (lpResumeHandle)
        *lpResumeHandle = static_cast<DWORD>(first + fitting);
    if (first + fitting < listed.size()) {
        // What the rest needs, as Windows reports it for the next call.
        size_t cbRest = 0;
        for (size_t i = first + fitting; i < listed.size(); ++i)
            cbRest += sizeof(ENUM_SERVICE_STATUSA) + listed[i].entry.name.size() + 1 +
                      listed[i].entry.displayName.size() + 1;
        *pcbBytesNeeded = static_cast<DWORD>(cbRest);
        return Fail(ERROR_MORE_DATA);
    }
    *pcbBytesNeeded = 0;
    return TRUE;
}

BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCSTR* lpServiceArgVectors)
{
    ScObject object;
    DWORD dwError = ServiceObject(hService, SERVICE_START, object);
    if (dwError != ERROR_SUCCESS)
        return Fail(dwError);
    std::vector<std::string> arguments;
    std::string entry = "StartServiceA " + object.service;
    for (DWORD i = 0; i < dwNumServiceArgs; ++i) {
        if (!lpServiceArgVectors || !lpServiceArgVectors[i])
            return Fail(ERROR_INVALID_PARAMETER);
        arguments.push_back(lpServiceArgVectors[i]);
        entry += " \"" + arguments.back() + "\"";
    }
    dwError = Services().ConsumeLock() ? static_cast<DWORD>(ERROR_SERVICE_DATABASE_LOCKED)
                                       : Services().Start(object.service, arguments);
    Journal(entry + " -> " + std::to_string(dwError));
    return dwError == ERROR_SUCCESS ? TRUE : Fail(dwError);
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus)
{
    DWORD needed = 0;
    switch (dwControl) {
    case SERVICE_CONTROL_STOP:
        needed = SERVICE_STOP;
        break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
        needed = SERVICE_PAUSE_CONTINUE;
        break;
    case SERVICE_CONTROL_INTERROGATE:
        needed = SERVICE_INTERROGATE;
        break;
    default:
        break;
    }
    ScObject object;
    DWORD dwError = ServiceObject(hService, needed, object);
    if (dwError != ERROR_SUCCESS)
        return Fail(dwError);
    if (!lpServiceStatus)
        return Fail(ERROR_NOACCESS);
    if (Services().ConsumeLock()) {
        dwError = ERROR_SERVICE_DATABASE_LOCKED;
    } else {
        ServiceStatusInfo info;
        dwError = Services().Control(object.service, dwControl, info);
        // The platform fills the status on success and for these three refusals only.
        if (dwError == ERROR_SUCCESS || dwError == ERROR_INVALID_SERVICE_CONTROL ||
            dwError == ERROR_SERVICE_CANNOT_ACCEPT_CTRL || dwError == ERROR_SERVICE_NOT_ACTIVE)
            ToStatus(info, *lpServiceStatus);
    }
    Journal("ControlService " + object.service + " " + std::to_string(dwControl) + " -> " + std::to_string(dwError));
    return dwError == ERROR_SUCCESS ? TRUE : Fail(dwError);
}
