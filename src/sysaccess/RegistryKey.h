// CRegistryKey: one open registry key with the outcome of its last operation.
#pragma once

#include "src/platform/ScopedHandle.h"
#include "src/platform/Win32.h"

#include <string>
#include <vector>

// Every operation returns the Windows error code it also keeps as the last
// error. Where an operation takes an optional key, nullptr means the held key.
// Not for use by more than one thread.
class CRegistryKey {
public:
    // Access masks the checks use: enumerating keys, and plain value reads.
    static const REGSAM ALL_ACCESS_64 = 0xF013F;
    static const REGSAM READ_64 = 0x20119;

    CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Without a held key opens hHive\pszSubKey; with one, opens the subkey
    // relative to it and holds that instead (hHive unused). A held key stays
    // held when the open fails.
    DWORD Open(LPCSTR pszSubKey, HKEY hHive, REGSAM samDesired);
    DWORD Create(LPCSTR pszSubKey, HKEY hParent, DWORD dwOptions, REGSAM samDesired);
    void Close();

    DWORD QueryDword(LPCSTR pszValue, LPDWORD pdwData, HKEY hKey = nullptr);
    // Expands REG_EXPAND_SZ values in place when the expansion fits. The buffer always ends as a
    // terminated string, as RegQueryText leaves it.
    DWORD QueryString(LPCSTR pszValue, LPSTR pszBuffer, LPDWORD pcbBuffer, HKEY hKey = nullptr);
    // The value in a buffer the object owns until the next call; nullptr on failure.
    LPSTR QueryStringAlloc(LPCSTR pszValue, HKEY hKey = nullptr);

    DWORD EnumKey(DWORD dwIndex, LPSTR pszName, LPDWORD pcchName, LPSTR pszClass, LPDWORD pcchClass,
                  PFILETIME pftLastWrite);
    DWORD EnumValue(DWORD dwIndex, LPSTR pszName, LPDWORD pcchName, LPDWORD pdwType, LPBYTE pbData,
                    LPDWORD pcbData);

    DWORD SetDword(LPCSTR pszValue, DWORD dwData);
    DWORD SetString(LPCSTR pszValue, LPCSTR pszText);

    // Deletes hParent\pszSubKey (or the held key's subkey) with everything below it, deepest first.
    DWORD DeleteTree(LPCSTR pszSubKey, HKEY hParent, REGSAM samDesired);

    HKEY GetKey() const { return m_Key.Get(); }
    DWORD LastError() const { return m_dwLastError; }
    DWORD LastSize() const { return m_dwLastSize; }
    DWORD LastType() const { return m_dwLastType; }

private:
    DWORD Result(LONG lResult);
    HKEY KeyOrHeld(HKEY hKey) const { return hKey ? hKey : m_Key.Get(); }

    DWORD m_dwLastError;
    DWORD m_dwLastSize;
    DWORD m_dwLastType;
    CScopedRegKey m_Key;
    std::vector<char> m_ValueBuffer;
};

// The names of hKey's subkeys in enumeration order, up to the first failing index.
std::vector<std::string> SubkeyNames(HKEY hKey);
