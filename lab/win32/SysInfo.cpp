// Stands in for the time, machine-name, environment, locale and text functions of kernel32 and user32.
#include "lab/win32/SysInfo.h"

#include "lab/host/Host.h"
#include "lab/host/ProfileValues.h"
#include "lab/win32/Files.h"
#include "lab/win32/Registry.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

thread_local LCID t_lcid = 0;

// Upper case of one Windows-1252 character, the lab's ANSI code page.
unsigned char UpperAnsi(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A:
        return 0x8A;
    case 0x9C:
        return 0x8C;
    case 0x9E:
        return 0x8E;
    case 0xFF:
        return 0x9F;
    default:
        return c;
    }
}

bool LookupVariable(const std::string& name, std::string& value)
{
    if (lab::host::Host::Instance().Environment(name, value))
        return true;
    // Linux has no TEMP; Windows programs expect it to name the temporary directory.
    if (name.size() >= 3 && (strcasecmp(name.c_str(), "TEMP") == 0 || strcasecmp(name.c_str(), "TMP") == 0)) {
        char buffer[MAX_PATH];
        DWORD n = GetTempPathA(sizeof buffer, buffer);
        if (n == 0 || n >= sizeof buffer)
            return false;
        value.assign(buffer, n > 3 ? n - 1 : n);
        return true;
    }
    return false;
}

}  // namespace

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime)
{
    lab::host::LocalTime now = lab::host::Host::Instance().TheClock().Now();
    lpSystemTime->wYear = static_cast<WORD>(now.year);
    lpSystemTime->wMonth = static_cast<WORD>(now.month);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(now.dayOfWeek);
    lpSystemTime->wDay = static_cast<WORD>(now.day);
    lpSystemTime->wHour = static_cast<WORD>(now.hour);
    lpSystemTime->wMinute = static_cast<WORD>(now.minute);
    lpSystemTime->wSecond = static_cast<WORD>(now.second);
    lpSystemTime->wMilliseconds = static_cast<WORD>(now.millisecond);
}

// The NetBIOS name lives where Windows keeps it, so a profile sets it in its registry.
BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize)
{
    HKEY hKey = nullptr;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                                0, KEY_QUERY_VALUE, &hKey);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return FALSE;
    }
    char name[256] = {};
    DWORD cb = sizeof name - 1;
    DWORD type = 0;
    status = RegQueryValueExA(hKey, "ComputerName", nullptr, &type, reinterpret_cast<LPBYTE>(name), &cb);
    RegCloseKey(hKey);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        SetLastError(status != ERROR_SUCCESS ? static_cast<DWORD>(status) : ERROR_INVALID_DATA);
        return FALSE;
    }
    size_t length = std::strlen(name);
    if (!lpBuffer || *nSize < length + 1) {
        *nSize = static_cast<DWORD>(length + 1);
        SetLastError(111);  // ERROR_BUFFER_OVERFLOW
        return FALSE;
    }
    std::memcpy(lpBuffer, name, length + 1);
    *nSize = static_cast<DWORD>(length);
    return TRUE;
}

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize)
{
    std::string result;
    std::string source = lpSrc ? lpSrc : "";
    size_t pos = 0;
    while (pos < source.size()) {
        size_t open = source.find('%', pos);
        size_t close = open == std::string::npos ? std::string::npos : source.find('%', open + 1);
        if (close == std::string::npos) {
            result += source.substr(pos);
            break;
        }
        result += source.substr(pos, open - pos);
        std::string value;
        std::string name = source.substr(open + 1, close - open - 1);
        if (!name.empty() && LookupVariable(name, value)) {
            result += value;
            pos = close + 1;
        } else {
            // An unknown name stays as written; its closing sign may open the next reference.
            result += '%' + name;
            pos = close;
        }
    }
    DWORD needed = static_cast<DWORD>(result.size() + 1);
    if (lpDst && nSize >= needed)
        std::memcpy(lpDst, result.c_str(), needed);
    return needed;
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize)
{
    std::string value;
    if (!lpName || !LookupVariable(lpName, value)) {
        SetLastError(203);  // ERROR_ENVVAR_NOT_FOUND
        return 0;
    }
    if (!lpBuffer || nSize < value.size() + 1)
        return static_cast<DWORD>(value.size() + 1);
    std::memcpy(lpBuffer, value.c_str(), value.size() + 1);
    return static_cast<DWORD>(value.size());
}

BOOL WINAPI SetThreadLocale(LCID Locale)
{
    t_lcid = Locale;
    return TRUE;
}

LCID WINAPI GetThreadLocale()
{
    if (t_lcid == 0) {
        // As on Windows, a thread starts in the user's default locale unless the profile says otherwise.
        const lab::host::IniFile& settings = lab::host::Host::Instance().Settings();
        std::string locale = settings.Get("System", "Locale", settings.Get("System", "UserLanguage", "1033"));
        uint32_t lcid = 1033;
        lab::host::ParseNumber(locale, lcid);
        t_lcid = static_cast<LCID>(lcid);
    }
    return t_lcid;
}

LPSTR WINAPI CharUpperA(LPSTR lpsz)
{
    for (char* p = lpsz; p && *p; ++p)
        *p = static_cast<char>(UpperAnsi(static_cast<unsigned char>(*p)));
    return lpsz;
}

DWORD WINAPI CharUpperBuffA(LPSTR lpsz, DWORD cchLength)
{
    for (DWORD i = 0; lpsz && i < cchLength; ++i)
        lpsz[i] = static_cast<char>(UpperAnsi(static_cast<unsigned char>(lpsz[i])));
    return cchLength;
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2)
{
    const auto* a = reinterpret_cast<const unsigned char*>(lpString1 ? lpString1 : "");
    const auto* b = reinterpret_cast<const unsigned char*>(lpString2 ? lpString2 : "");
    for (;; ++a, ++b) {
        int diff = UpperAnsi(*a) - UpperAnsi(*b);
        if (diff != 0 || *a == 0)
            return diff < 0 ? -1 : diff > 0 ? 1 : 0;
    }
}

// The lab's code page has no lead bytes, so every character is one byte.
LPSTR WINAPI CharNextA(LPCSTR lpsz)
{
    return const_cast<LPSTR>(lpsz && *lpsz ? lpsz + 1 : lpsz);
}
