// Opening registry keys in the 64-bit view of a 64-bit Windows.
#include "src/platform/RegistryView.h"

LONG RegOpenKeyRetry(HKEY hRoot, LPCSTR pszSubKey, REGSAM samDesired, PHKEY phKey)
{
    LONG lResult = RegOpenKeyExA(hRoot, pszSubKey, 0, samDesired, phKey);
    if (lResult == ERROR_ACCESS_DENIED && (samDesired & KEY_WOW64_64KEY))
        lResult = RegOpenKeyExA(hRoot, pszSubKey, 0, samDesired & ~static_cast<REGSAM>(KEY_WOW64_64KEY), phKey);
    return lResult;
}

LONG RegOpenKey64(HKEY hRoot, LPCSTR pszSubKey, REGSAM samDesired, PHKEY phKey)
{
    return RegOpenKeyRetry(hRoot, pszSubKey, samDesired | KEY_WOW64_64KEY, phKey);
}
