// Opening registry keys in the 64-bit view of a 64-bit Windows.
#pragma once

#include "src/platform/Win32.h"

// Opens hRoot\pszSubKey in the 64-bit view. Where that view is denied (error 5,
// as on systems that refuse the flag to some callers) it tries once more
// without it. samDesired is the access without any view flag.
LONG RegOpenKey64(HKEY hRoot, LPCSTR pszSubKey, REGSAM samDesired, PHKEY phKey);
