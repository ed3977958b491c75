// Registry strings read into fixed buffers.
#include "src/platform/RegistryText.h"

LONG RegQueryText(HKEY hKey, LPCSTR pszValue, LPDWORD pdwType, LPSTR pszBuffer, LPDWORD pcbBuffer)
{
    const DWORD cbBuffer = *pcbBuffer;
    LONG lResult = RegQueryValueExA(hKey, pszValue, nullptr, pdwType, reinterpret_cast<LPBYTE>(pszBuffer), pcbBuffer);
    TerminateRegistryText(pszBuffer, cbBuffer, lResult == ERROR_SUCCESS ? *pcbBuffer : 0);
    return lResult;
}

void TerminateRegistryText(LPSTR pszBuffer, DWORD cbBuffer, DWORD cbData)
{
    if (cbBuffer == 0)
        return;
    pszBuffer[cbData < cbBuffer ? cbData : cbBuffer - 1] = '\0';
}
