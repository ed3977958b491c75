// A resizable dialog's last size, kept per user from one session to the next.
#include "src/ui/DialogSize.h"

#include "src/platform/ScopedHandle.h"

#include <cstdio>
#include <string>

namespace {

const char kKeyPath[] = "Software\\Marrowby\\Triagist";

std::string ValueName(UINT uDialogId, const char* pszDimension)
{
    char szName[64];
    std::snprintf(szName, sizeof szName, "dialog_%u_%s", uDialogId, pszDimension);
    return szName;
}

void ReadDimension(HKEY hKey, const std::string& strName, LONG& lValue)
{
    DWORD dwType = 0;
    DWORD dwData = 0;
    DWORD cbData = sizeof dwData;
    if (RegQueryValueExA(hKey, strName.c_str(), nullptr, &dwType, reinterpret_cast<LPBYTE>(&dwData), &cbData) ==
            ERROR_SUCCESS &&
        dwType == REG_DWORD && cbData == sizeof dwData)
        lValue = static_cast<LONG>(dwData);
}

bool WriteDimension(HKEY hKey, const std::string& strName, LONG lValue)
{
    DWORD dwData = static_cast<DWORD>(lValue);
    return RegSetValueExA(hKey, strName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwData),
                          sizeof dwData) == ERROR_SUCCESS;
}

}  // namespace

void CDialogSize::Load()
{
    CScopedRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return;
    ReadDimension(key.Get(), ValueName(m_uDialogId, "cx"), m_cx);
    ReadDimension(key.Get(), ValueName(m_uDialogId, "cy"), m_cy);
    LONG lMaximized = 0;
    ReadDimension(key.Get(), ValueName(m_uDialogId, "max"), lMaximized);
    m_bMaximized = lMaximized == 1;
}

bool CDialogSize::Save(LONG cx, LONG cy)
{
    m_cx = cx;
    m_cy = cy;
    CScopedRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    bool bWidth = WriteDimension(key.Get(), ValueName(m_uDialogId, "cx"), cx);
    bool bHeight = WriteDimension(key.Get(), ValueName(m_uDialogId, "cy"), cy);
    return bWidth && bHeight;
}

bool CDialogSize::SavePlacement(const RECT& rcNormal, bool bMaximized)
{
    bool bSize = Save(rcNormal.right - rcNormal.left, rcNormal.bottom - rcNormal.top);
    m_bMaximized = bMaximized;
    CScopedRegKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    return WriteDimension(key.Get(), ValueName(m_uDialogId, "max"), bMaximized ? 1 : 0) && bSize;
}
