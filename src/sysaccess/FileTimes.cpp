// File times as the report writes them.
#include "src/sysaccess/FileTimes.h"

#include "src/platform/ScopedHandle.h"

#include <climits>
#include <ctime>

std::string FileCreationTimeText(LPCSTR pszPath)
{
    CScopedHandle file(CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    FILETIME ftCreated, ftLocal;
    SYSTEMTIME st;
    if (!file.IsValid() || !GetFileTime(file.Get(), &ftCreated, nullptr, nullptr) ||
        !FileTimeToLocalFileTime(&ftCreated, &ftLocal) || !FileTimeToSystemTime(&ftLocal, &st))
        return "n/a";

    struct tm tmCreated = {};
    tmCreated.tm_year = st.wYear - 1900;
    tmCreated.tm_mon = st.wMonth - 1;
    tmCreated.tm_mday = st.wDay;
    tmCreated.tm_hour = st.wHour;
    tmCreated.tm_min = st.wMinute;
    tmCreated.tm_sec = st.wSecond;
    tmCreated.tm_wday = st.wDayOfWeek;
    char szTime[100];
    if (std::strftime(szTime, sizeof szTime, "%m/%d/%Y %H:%M:%S", &tmCreated) == 0)
        return "n/a";
    return szTime;
}

bool UnixTimeToFileTime(LONGLONG llSeconds, FILETIME& ft)
{
    const LONGLONG UNIX_EPOCH_AS_FILETIME = 116444736000000000LL;
    const LONGLONG TICKS_PER_SECOND = 10000000LL;
    if (llSeconds < -UNIX_EPOCH_AS_FILETIME / TICKS_PER_SECOND || llSeconds > (LLONG_MAX - UNIX_EPOCH_AS_FILETIME) / TICKS_PER_SECOND)
        return false;
    const ULONGLONG ullTicks = static_cast<ULONGLONG>(llSeconds * TICKS_PER_SECOND + UNIX_EPOCH_AS_FILETIME);
    ft.dwLowDateTime = static_cast<DWORD>(ullTicks & 0xFFFFFFFF);
    ft.dwHighDateTime = static_cast<DWORD>(ullTicks >> 32);
    return true;
}
