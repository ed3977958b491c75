// File times as the report writes them.
#include "src/sysaccess/FileTimes.h"

#include "src/platform/ScopedHandle.h"

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
