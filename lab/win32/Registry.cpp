// Stands in for the registry functions of advapi32.
#include "lab/win32/Registry.h"

#include "lab/host/Host.h"
#include "lab/host/RegistryTree.h"

#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#ifndef ERROR_BAD_NETPATH
#define ERROR_BAD_NETPATH 53L
#endif

using lab::host::Host;
using lab::host::RegHive;
using lab::host::RegistryTree;
using lab::host::RegKeyInfo;
using lab::host::RegResult;
using lab::host::RegValue;

namespace {

const REGSAM kGenericRead = 0x80000000;
const REGSAM kGenericWrite = 0x40000000;
const REGSAM kGenericExecute = 0x20000000;
const REGSAM kGenericAll = 0x10000000;
const REGSAM kMaximumAllowed = 0x02000000;

struct OpenedKey {
    RegistryTree::KeyRef key;
    REGSAM access = 0;
};

// Registry handles are the lab's own numbers, apart from the kernel's handle table
// (as on Windows, where a key handle is no waitable object).
struct KeyTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, OpenedKey> keys;
    uintptr_t next = 0x40000000;
};

KeyTable& Table()
{
    static KeyTable* pTable = new KeyTable;  // outlives every static destructor
    return *pTable;
}

RegistryTree& Tree()
{
    return Host::Instance().Registry();
}

void Persist()
{
    Host::Instance().SaveRegistry();
}

LONG Code(RegResult result)
{
    return static_cast<LONG>(result);
}

std::string Text(LPCSTR psz)
{
    return psz ? std::string(psz) : std::string();
}

bool Predefined(HKEY hKey, RegHive& hive)
{
    if (hKey == HKEY_CLASSES_ROOT)
        hive = RegHive::ClassesRoot;
    else if (hKey == HKEY_CURRENT_USER)
        hive = RegHive::CurrentUser;
    else if (hKey == HKEY_LOCAL_MACHINE)
        hive = RegHive::LocalMachine;
    else if (hKey == HKEY_USERS)
        hive = RegHive::Users;
    else if (hKey == HKEY_CURRENT_CONFIG)
        hive = RegHive::CurrentConfig;
    else
        return false;
    return true;
}

REGSAM GrantedRights(REGSAM sam)
{
    if (sam & (kGenericAll | kMaximumAllowed))
        sam |= KEY_ALL_ACCESS;
    if (sam & (kGenericRead | kGenericExecute))
        sam |= KEY_READ;
    if (sam & kGenericWrite)
        sam |= KEY_WRITE;
    return sam;
}

// Predefined keys carry every right.
LONG Lookup(HKEY hKey, OpenedKey& opened)
{
    RegHive hive;
    if (Predefined(hKey, hive)) {
        opened.key = Tree().Root(hive);
        opened.access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    KeyTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.keys.find(reinterpret_cast<uintptr_t>(hKey));
    if (it == table.keys.end())
        return ERROR_INVALID_HANDLE;
    opened = it->second;
    return ERROR_SUCCESS;
}

LONG LookupWith(HKEY hKey, REGSAM needed, OpenedKey& opened)
{
    LONG rc = Lookup(hKey, opened);
    if (rc == ERROR_SUCCESS && (opened.access & needed) != needed)
        rc = ERROR_ACCESS_DENIED;
    return rc;
}

HKEY Insert(const RegistryTree::KeyRef& key, REGSAM access)
{
    KeyTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    table.keys[value] = OpenedKey{key, GrantedRights(access)};
    return reinterpret_cast<HKEY>(value);
}

// The buffer protocol of value data: no buffer asks for the size; a short one gets
// ERROR_MORE_DATA and the size it would need.
LONG CopyData(const RegValue& value, LPBYTE lpData, LPDWORD lpcbData)
{
    DWORD size = static_cast<DWORD>(value.data.size());
    if (!lpcbData)
        return ERROR_SUCCESS;
    if (lpData) {
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size)
            std::memcpy(lpData, value.data.data(), size);
    }
    *lpcbData = size;
    return ERROR_SUCCESS;
}

// A name into a buffer of *pcch characters including the terminator; on success *pcch excludes it.
LONG CopyName(const std::string& name, LPSTR pszName, LPDWORD pcch)
{
    if (name.size() >= *pcch)
        return ERROR_MORE_DATA;
    std::memcpy(pszName, name.c_str(), name.size() + 1);
    *pcch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

void ToFileTime(uint64_t value, PFILETIME pTime)
{
    pTime->dwLowDateTime = static_cast<DWORD>(value);
    pTime->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

}  // namespace

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    OpenedKey base;
    LONG rc = Lookup(hKey, base);
    if (rc != ERROR_SUCCESS)
        return rc;
    RegistryTree::KeyRef key;
    RegResult result = Tree().OpenKey(base.key, Text(lpSubKey), samDesired, key);
    if (result != RegResult::Success)
        return Code(result);
    RegHive hive;
    if (Text(lpSubKey).empty() && Predefined(hKey, hive))
        *phkResult = hKey;  // a predefined key opens as itself
    else
        *phkResult = Insert(key, samDesired);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions, REGSAM samDesired,
                            const SECURITY_ATTRIBUTES*, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (!phkResult || !lpSubKey)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    // Creation is checked against the key's security, not the handle's rights, so any handle will do.
    OpenedKey base;
    LONG rc = Lookup(hKey, base);
    if (rc != ERROR_SUCCESS)
        return rc;
    RegistryTree::KeyRef key;
    bool bCreated = false;
    RegResult result = Tree().CreateKey(base.key, lpSubKey, samDesired, (dwOptions & REG_OPTION_VOLATILE) != 0, key,
                                        &bCreated);
    if (result != RegResult::Success)
        return Code(result);
    *phkResult = Insert(key, samDesired);
    if (lpdwDisposition)
        *lpdwDisposition = bCreated ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    if (bCreated)
        Persist();
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey)
{
    RegHive hive;
    if (Predefined(hKey, hive))
        return ERROR_SUCCESS;
    KeyTable& table = Table();
    RegistryTree::KeyRef doomed;  // released outside the lock
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.keys.find(reinterpret_cast<uintptr_t>(hKey));
    if (it == table.keys.end())
        return ERROR_INVALID_HANDLE;
    doomed = std::move(it->second.key);
    table.keys.erase(it);
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData)
{
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    OpenedKey opened;
    LONG rc = LookupWith(hKey, KEY_QUERY_VALUE, opened);
    if (rc != ERROR_SUCCESS)
        return rc;
    RegValue value;
    RegResult result = Tree().GetValue(opened.key, Text(lpValueName), value);
    if (result != RegResult::Success)
        return Code(result);
    if (lpType)
        *lpType = value.type;
    return CopyData(value, lpData, lpcbData);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    OpenedKey opened;
    LONG rc = LookupWith(hKey, KEY_SET_VALUE, opened);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (!lpData && cbData)
        return ERROR_NOACCESS;
    std::vector<uint8_t> data;
    if (cbData)
        data.assign(lpData, lpData + cbData);
    RegResult result = Tree().SetValue(opened.key, Text(lpValueName), dwType, data);
    if (result != RegResult::Success)
        return Code(result);
    Persist();
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    OpenedKey opened;
    LONG rc = LookupWith(hKey, KEY_ENUMERATE_SUB_KEYS, opened);
    if (rc != ERROR_SUCCESS)
        return rc;
    std::string name;
    RegResult result = Tree().EnumKey(opened.key, dwIndex, name);
    if (result != RegResult::Success)
        return Code(result);
    rc = CopyName(name, lpName, lpcchName);
    if (rc != ERROR_SUCCESS)
        return rc;
    // The lab's keys have no class.
    if (lpClass && *lpcchClass > 0)
        lpClass[0] = '\0';
    if (lpcchClass)
        *lpcchClass = 0;
    if (lpftLastWriteTime) {
        RegistryTree::KeyRef child;
        RegKeyInfo info;
        if (Tree().OpenKey(opened.key, name, 0, child) == RegResult::Success &&
            Tree().QueryInfo(child, info) == RegResult::Success)
            ToFileTime(info.lastWriteTime, lpftLastWriteTime);
        else
            ToFileTime(0, lpftLastWriteTime);
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                          LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    OpenedKey opened;
    LONG rc = LookupWith(hKey, KEY_QUERY_VALUE, opened);
    if (rc != ERROR_SUCCESS)
        return rc;
    RegValue value;
    RegResult result = Tree().EnumValue(opened.key, dwIndex, value);
    if (result != RegResult::Success)
        return Code(result);
    rc = CopyName(value.name, lpValueName, lpcchValueName);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (lpType)
        *lpType = value.type;
    return CopyData(value, lpData, lpcbData);
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    return RegDeleteKeyExA(hKey, lpSubKey, 0, 0);
}

LONG WINAPI RegDeleteKeyExA(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, DWORD)
{
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    OpenedKey base;
    LONG rc = Lookup(hKey, base);
    if (rc != ERROR_SUCCESS)
        return rc;
    RegResult result = Tree().DeleteKey(base.key, lpSubKey, samDesired);
    if (result != RegResult::Success)
        return Code(result);
    Persist();
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    OpenedKey opened;
    LONG rc = LookupWith(hKey, KEY_SET_VALUE, opened);
    if (rc != ERROR_SUCCESS)
        return rc;
    RegResult result = Tree().DeleteValue(opened.key, Text(lpValueName));
    if (result != RegResult::Success)
        return Code(result);
    Persist();
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                             LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                             LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime)
{
    if (lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    OpenedKey opened;
    LONG rc = LookupWith(hKey, KEY_QUERY_VALUE, opened);
    if (rc != ERROR_SUCCESS)
        return rc;
    RegKeyInfo info;
    RegResult result = Tree().QueryInfo(opened.key, info);
    if (result != RegResult::Success)
        return Code(result);
    if (lpClass) {
        if (*lpcchClass == 0)
            return ERROR_MORE_DATA;
        lpClass[0] = '\0';
    }
    if (lpcchClass)
        *lpcchClass = 0;
    if (lpcSubKeys)
        *lpcSubKeys = info.subKeys;
    if (lpcbMaxSubKeyLen)
        *lpcbMaxSubKeyLen = info.maxSubKeyLen;
    if (lpcbMaxClassLen)
        *lpcbMaxClassLen = 0;
    if (lpcValues)
        *lpcValues = info.values;
    if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = info.maxValueNameLen;
    if (lpcbMaxValueLen)
        *lpcbMaxValueLen = info.maxValueLen;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;  // the lab keeps no security descriptors
    if (lpftLastWriteTime)
        ToFileTime(info.lastWriteTime, lpftLastWriteTime);
    return ERROR_SUCCESS;
}

LONG WINAPI RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    // The lab host is alone on its network.
    if (lpMachineName && *lpMachineName)
        return ERROR_BAD_NETPATH;
    RegHive hive;
    if (!Predefined(hKey, hive))
        return ERROR_INVALID_HANDLE;
    *phkResult = Insert(Tree().Root(hive), KEY_ALL_ACCESS);
    return ERROR_SUCCESS;
}
