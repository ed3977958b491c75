// Opening registry keys in the 64-bit view of a 64-bit Windows.
#include "src/platform/RegistryView.h"

LONG RegOpenKey64(HKEY hRoot, LPCSTR pszSubKey, REGSAM samDesired, PHKEY phKey)
{
    LONG lResult = RegOpenKeyExA(hRoot, pszSubKey, 0, samDesired | KEY_WOW64_64KEY, phKey);
    if (lResult == ERROR_ACCESS_DENIED)
        lResult = RegOpenKeyExA(hRoot, pszSubKey, 0, samDesired, phKey);
    return lResult;
}
