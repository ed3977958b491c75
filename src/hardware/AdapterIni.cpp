// Reading vendor and device names from Adapter.ini.
#include "src/hardware/AdapterIni.h"

#include "src/platform/ScopedHandle.h"

#include <cstdio>

CAdapterIni::CAdapterIni() : m_bOpen(false)
{
    m_szPath[0] = '\0';
}

bool CAdapterIni::Open(const char* pszPath)
{
    snprintf(m_szPath, sizeof m_szPath, "%s", pszPath);
    CScopedHandle file(CreateFileA(m_szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    m_bOpen = file.IsValid();
    return m_bOpen;
}

bool CAdapterIni::Lookup(WORD wSection, const char* pszKey, std::string& value) const
{
    char szSection[8];
    snprintf(szSection, sizeof szSection, "%04X", wSection);
    char szValue[MAX_PATH];
    DWORD nLength = GetPrivateProfileStringA(szSection, pszKey, "", szValue, sizeof szValue, m_szPath);
    if (nLength == 0 || nLength >= sizeof szValue - 1)
        return false;
    value = szValue;
    return true;
}

bool CAdapterIni::GetVendorName(WORD wVendor, WORD wOtherVendor, std::string& name) const
{
    if (wOtherVendor != 0 && Lookup(wOtherVendor, "Vendor", name))
        return true;
    return Lookup(wVendor, "Vendor", name);
}

bool CAdapterIni::GetDeviceName(WORD wVendor, WORD wDevice, WORD wSubSystem, std::string& name) const
{
    char szKey[16];
    if (wSubSystem != 0) {
        snprintf(szKey, sizeof szKey, "%04X%04X", wDevice, wSubSystem);
        if (Lookup(wVendor, szKey, name))
            return true;
    }
    snprintf(szKey, sizeof szKey, "%04X", wDevice);
    return Lookup(wVendor, szKey, name);
}
