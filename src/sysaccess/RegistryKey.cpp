// CRegistryKey: one open registry key with the outcome of its last operation.
#include "src/sysaccess/RegistryKey.h"

#include "src/platform/RegistryText.h"
#include "src/platform/RegistryView.h"
#include "src/platform/ScopedHandle.h"

#include <cstring>

namespace {

// The expansion buffer for values read into the caller's buffer.
const DWORD EXPAND_SCRATCH = 520;
const DWORD KEY_NAME_BUFFER = 260;
const DWORD NO_PARENT = 0xFFFFFFFF;

REGSAM WithoutView(REGSAM sam)
{
    return sam & ~static_cast<REGSAM>(KEY_WOW64_64KEY);
}

}  // namespace

CRegistryKey::CRegistryKey() : m_dwLastError(0), m_dwLastSize(0), m_dwLastType(0) {}

DWORD CRegistryKey::Result(LONG lResult)
{
    m_dwLastError = static_cast<DWORD>(lResult);
    return m_dwLastError;
}

void CRegistryKey::Close()
{
    m_Key.Close();
}

DWORD CRegistryKey::Open(LPCSTR pszSubKey, HKEY hHive, REGSAM samDesired)
{
    HKEY hOpened = nullptr;
    LONG lResult = RegOpenKeyRetry(m_Key.IsValid() ? m_Key.Get() : hHive, pszSubKey, samDesired, &hOpened);
    if (lResult == ERROR_SUCCESS)
        m_Key.Reset(hOpened);
    return Result(lResult);
}

DWORD CRegistryKey::Create(LPCSTR pszSubKey, HKEY hParent, DWORD dwOptions, REGSAM samDesired)
{
    HKEY hBase = KeyOrHeld(hParent);
    if (!hBase || !pszSubKey)
        return Result(static_cast<LONG>(NO_PARENT));

    HKEY hCreated = nullptr;
    LONG lResult = RegCreateKeyExA(hBase, pszSubKey, 0, nullptr, dwOptions, samDesired, nullptr, &hCreated, nullptr);
    if (lResult == ERROR_ACCESS_DENIED && (samDesired & KEY_WOW64_64KEY))
        lResult = RegCreateKeyExA(hBase, pszSubKey, 0, nullptr, dwOptions, WithoutView(samDesired), nullptr,
                                  &hCreated, nullptr);
    // The parent may be the held key itself: it is released only once the child exists or failed.
    Close();
    if (lResult == ERROR_SUCCESS)
        m_Key.Reset(hCreated);
    return Result(lResult);
}

DWORD CRegistryKey::QueryDword(LPCSTR pszValue, LPDWORD pdwData, HKEY hKey)
{
    HKEY hFrom = KeyOrHeld(hKey);
    if (!hFrom)
        return Result(ERROR_INVALID_HANDLE);
    DWORD cbData = sizeof(DWORD);
    LONG lResult = RegQueryValueExA(hFrom, pszValue, nullptr, &m_dwLastType, reinterpret_cast<LPBYTE>(pdwData),
                                    &cbData);
    m_dwLastSize = cbData;
    return Result(lResult);
}

DWORD CRegistryKey::QueryString(LPCSTR pszValue, LPSTR pszBuffer, LPDWORD pcbBuffer, HKEY hKey)
{
    HKEY hFrom = KeyOrHeld(hKey);
    if (!hFrom)
        return Result(ERROR_INVALID_HANDLE);
    const DWORD cbBuffer = *pcbBuffer;
    LONG lResult = RegQueryText(hFrom, pszValue, &m_dwLastType, pszBuffer, pcbBuffer);
    if (lResult == ERROR_SUCCESS) {
        if (m_dwLastType == REG_EXPAND_SZ) {
            char szExpanded[EXPAND_SCRATCH];
            DWORD cchExpanded = ExpandEnvironmentStringsA(pszBuffer, szExpanded, sizeof szExpanded);
            if (cchExpanded != 0 && cchExpanded <= sizeof szExpanded && cchExpanded <= cbBuffer) {
                std::memcpy(pszBuffer, szExpanded, cchExpanded);
                *pcbBuffer = cchExpanded - 1;
            } else {
                lResult = ERROR_MORE_DATA;
            }
        }
    }
    m_dwLastSize = *pcbBuffer;
    return Result(lResult);
}

LPSTR CRegistryKey::QueryStringAlloc(LPCSTR pszValue, HKEY hKey)
{
    m_ValueBuffer.clear();
    m_ValueBuffer.shrink_to_fit();
    m_dwLastSize = 0;
    HKEY hFrom = KeyOrHeld(hKey);
    if (!hFrom) {
        Result(ERROR_INVALID_HANDLE);
        return nullptr;
    }

    DWORD cbValue = 0;
    LONG lResult = RegQueryValueExA(hFrom, pszValue, nullptr, &m_dwLastType, nullptr, &cbValue);
    if (lResult != ERROR_SUCCESS) {
        Result(lResult);
        return nullptr;
    }
    if (cbValue == 0) {
        Result(ERROR_NO_DATA);
        return nullptr;
    }
    std::vector<char> value;
    try {
        // One byte more than the value: a stored string may lack its terminator.
        value.assign(cbValue + 1, '\0');
    } catch (const std::bad_alloc&) {
        Result(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    lResult = RegQueryValueExA(hFrom, pszValue, nullptr, &m_dwLastType, reinterpret_cast<LPBYTE>(value.data()),
                               &cbValue);
    m_dwLastSize = cbValue;
    Result(lResult);
    if (lResult != ERROR_SUCCESS)
        return nullptr;

    if (cbValue != 0 && m_dwLastType == REG_EXPAND_SZ) {
        DWORD cchNeeded = ExpandEnvironmentStringsA(value.data(), nullptr, 0);
        std::vector<char> expanded(cchNeeded + 1, '\0');
        if (cchNeeded != 0 && ExpandEnvironmentStringsA(value.data(), expanded.data(), cchNeeded) != 0) {
            value.swap(expanded);
            m_dwLastSize = cchNeeded;
        } else {
            Result(static_cast<LONG>(GetLastError()));
        }
    }
    m_ValueBuffer.swap(value);
    return m_ValueBuffer.data();
}

DWORD CRegistryKey::EnumKey(DWORD dwIndex, LPSTR pszName, LPDWORD pcchName, LPSTR pszClass, LPDWORD pcchClass,
                            PFILETIME pftLastWrite)
{
    if (!m_Key.IsValid())
        return Result(ERROR_INVALID_HANDLE);
    return Result(RegEnumKeyExA(m_Key.Get(), dwIndex, pszName, pcchName, nullptr, pszClass, pcchClass, pftLastWrite));
}

DWORD CRegistryKey::EnumValue(DWORD dwIndex, LPSTR pszName, LPDWORD pcchName, LPDWORD pdwType, LPBYTE pbData,
                              LPDWORD pcbData)
{
    if (!m_Key.IsValid())
        return Result(ERROR_INVALID_HANDLE);
    return Result(RegEnumValueA(m_Key.Get(), dwIndex, pszName, pcchName, nullptr, pdwType, pbData, pcbData));
}

DWORD CRegistryKey::SetDword(LPCSTR pszValue, DWORD dwData)
{
    if (!m_Key.IsValid())
        return Result(ERROR_INVALID_HANDLE);
    return Result(
        RegSetValueExA(m_Key.Get(), pszValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwData), sizeof dwData));
}

DWORD CRegistryKey::SetString(LPCSTR pszValue, LPCSTR pszText)
{
    if (!m_Key.IsValid() || !pszValue)
        return Result(ERROR_INVALID_HANDLE);
    return Result(RegSetValueExA(m_Key.Get(), pszValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszText),
                                 static_cast<DWORD>(std::strlen(pszText) + 1)));
}

DWORD CRegistryKey::DeleteTree(LPCSTR pszSubKey, HKEY hParent, REGSAM samDesired)
{
    HKEY hBase = KeyOrHeld(hParent);
    if (!hBase)
        return Result(ERROR_INVALID_HANDLE);

    CScopedRegKey subKey;
    LONG lResult = RegOpenKeyRetry(hBase, pszSubKey, samDesired, subKey.Receive());
    if (lResult != ERROR_SUCCESS)
        return Result(lResult);

    for (;;) {
        char szChild[KEY_NAME_BUFFER];
        DWORD cchChild = sizeof szChild;
        if (RegEnumKeyExA(subKey.Get(), 0, szChild, &cchChild, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        // A child that cannot go would come back at index 0 forever; its parent cannot go either.
        if (DeleteTree(szChild, subKey.Get(), KEY_ALL_ACCESS) != ERROR_SUCCESS)
            break;
    }
    subKey.Close();
    return Result(RegDeleteKeyA(hBase, pszSubKey));
}

std::vector<std::string> SubkeyNames(HKEY hKey)
{
    std::vector<std::string> names;
    for (DWORD dwIndex = 0;; ++dwIndex) {
        char szName[KEY_NAME_BUFFER];
        DWORD cchName = sizeof szName;
        if (RegEnumKeyExA(hKey, dwIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return names;
        names.push_back(szName);
    }
}
