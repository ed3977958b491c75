// Opening registry keys in the 64-bit view of a 64-bit Windows.
#pragma once

#include "src/platform/Win32.h"

// RegOpenKeyExA, except that a refusal (error 5) of an access mask asking for the
// 64-bit view is tried once more without the view flag: some systems deny the
// flag to some callers while the key itself is readable.
LONG RegOpenKeyRetry(HKEY hRoot, LPCSTR pszSubKey, REGSAM samDesired, PHKEY phKey);

// Opens hRoot\pszSubKey in the 64-bit view, with that retry. samDesired is the
// access without any view flag.
LONG RegOpenKey64(HKEY hRoot, LPCSTR pszSubKey, REGSAM samDesired, PHKEY phKey);
