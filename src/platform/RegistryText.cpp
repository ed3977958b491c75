// Registry strings read into fixed buffers.
#include "src/platform/RegistryText.h"

LONG RegQueryText(HKEY hKey, LPCSTR pszValue, LPDWORD pdwType, LPSTR pszBuffer, LPDWORD pcbBuffer)
{
    const DWORD cbBuffer = *pcbBuffer;
    LONG lResult = RegQueryValueExA(hKey, pszValue, nullptr, pdwType, reinterpret_cast<LPBYTE>(pszBuffer), pcbBuffer);
    if (cbBuffer == 0)
        return lResult;
    // The contents of a buffer the value did not fit are undefined on Windows.
    const DWORD cbData = lResult == ERROR_SUCCESS ? *pcbBuffer : 0;
    pszBuffer[cbData < cbBuffer ? cbData : cbBuffer - 1] = '\0';
    return lResult;
}
