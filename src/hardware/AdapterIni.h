// CAdapterIni: the vendor and device names of Adapter.ini, an INI file with one section per vendor
// ("%04X"), its name under "Vendor" and device names under "%04X%04X" (device, subsystem) or "%04X".
#pragma once

#include "src/platform/Win32.h"

#include <string>

class CAdapterIni {
public:
    CAdapterIni();

    // Whether the file can be opened for reading; it is closed again at once.
    bool Open(const char* pszPath);
    // The other vendor's name first (when not 0), else the vendor's; false when neither is known.
    bool GetVendorName(WORD wVendor, WORD wOtherVendor, std::string& name) const;
    bool GetDeviceName(WORD wVendor, WORD wDevice, WORD wSubSystem, std::string& name) const;

private:
    bool Lookup(WORD wSection, const char* pszKey, std::string& value) const;

    char m_szPath[MAX_PATH];
    bool m_bOpen;
};
