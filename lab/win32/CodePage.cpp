// Stands in for kernel32's code page conversions, for the one ANSI code page the lab has.
#include "lab/win32/CodePage.h"

#include "lab/host/RegFile.h"

#include <string>

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar)
{
    (void)dwFlags;  // the flags only refine conversions into code pages the lab does not have
    if ((CodePage != CP_ACP && CodePage != CP_THREAD_ACP && CodePage != 1252) || !lpWideCharStr || cchWideChar == 0 ||
        cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t count = 0;
    if (cchWideChar < 0) {
        while (lpWideCharStr[count] != 0)
            ++count;
        ++count;  // the terminator is converted too
    } else {
        count = static_cast<size_t>(cchWideChar);
    }

    // One character per wide unit, through the registry's Windows-1252 table; what does not fit in 16 bits
    // is not in the code page either.
    std::string text;
    char chDefault = lpDefaultChar ? *lpDefaultChar : '?';
    bool bUsedDefault = false;
    for (size_t i = 0; i < count; ++i) {
        unsigned long unit = static_cast<unsigned long>(lpWideCharStr[i]);
        if (unit > 0xFFFF)
            unit = 0xFFFD;
        char bytes[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        std::string converted = lab::host::AnsiFromUtf16Le(std::string(bytes, 2));
        if (converted == "?" && unit != '?') {
            converted[0] = chDefault;
            bUsedDefault = true;
        }
        text += converted;
    }
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = bUsedDefault ? TRUE : FALSE;

    if (cbMultiByte == 0)
        return static_cast<int>(text.size());
    if (text.size() > static_cast<size_t>(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    text.copy(lpMultiByteStr, text.size());
    return static_cast<int>(text.size());
}

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar)
{
    (void)dwFlags;  // every byte of Windows-1252 has its character: nothing to be strict about
    if ((CodePage != CP_ACP && CodePage != CP_THREAD_ACP && CodePage != 1252) || !lpMultiByteStr ||
        cbMultiByte == 0 || cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string text = cbMultiByte < 0 ? std::string(lpMultiByteStr) + '\0'
                                       : std::string(lpMultiByteStr, static_cast<size_t>(cbMultiByte));
    std::string units = lab::host::Utf16LeFromAnsi(text);
    size_t count = units.size() / 2;
    if (cchWideChar == 0)
        return static_cast<int>(count);
    if (count > static_cast<size_t>(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < count; ++i)
        lpWideCharStr[i] = static_cast<WCHAR>(static_cast<uint8_t>(units[2 * i]) | (static_cast<uint8_t>(units[2 * i + 1]) << 8));
    return static_cast<int>(count);
}
