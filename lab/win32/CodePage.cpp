// Stands in for kernel32's code page conversions: the one ANSI code page the lab has, and UTF-8 out.
#include "lab/win32/CodePage.h"

#include "lab/host/RegFile.h"

#include <string>

namespace {

void AppendUtf8(std::string& text, unsigned long unit)
{
    if (unit < 0x80) {
        text += static_cast<char>(unit);
    } else if (unit < 0x800) {
        text += static_cast<char>(0xC0 | (unit >> 6));
        text += static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit < 0x10000) {
        text += static_cast<char>(0xE0 | (unit >> 12));
        text += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (unit >> 18));
        text += static_cast<char>(0x80 | ((unit >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (unit & 0x3F));
    }
}

}  // namespace

UINT WINAPI GetACP()
{
    return 1252;
}

UINT WINAPI GetConsoleOutputCP()
{
    return CP_UTF8;
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar)
{
    (void)dwFlags;  // the flags only refine conversions into code pages the lab does not have
    bool bUtf8 = CodePage == CP_UTF8;
    if ((CodePage != CP_ACP && CodePage != CP_THREAD_ACP && CodePage != 1252 && !bUtf8) || !lpWideCharStr ||
        cchWideChar == 0 ||
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
        if (unit > 0x10FFFF || (unit >= 0xD800 && unit <= 0xDFFF))
            unit = 0xFFFD;
        if (bUtf8) {
            AppendUtf8(text, unit);
            continue;
        }
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
