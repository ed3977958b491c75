// Registry strings read into fixed buffers.
#pragma once

#include "src/platform/Win32.h"

// RegQueryValueExA into a buffer of *pcbBuffer bytes, with the size protocol of that function,
// except that whatever the value holds the buffer ends as a terminated string: a value may be
// stored without its terminator, and one that then fills the buffer loses its last byte to it.
// On failure the buffer holds "". *pcbBuffer receives the value's size as Windows reports it.
LONG RegQueryText(HKEY hKey, LPCSTR pszValue, LPDWORD pdwType, LPSTR pszBuffer, LPDWORD pcbBuffer);
