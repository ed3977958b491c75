// Stands in for kernel32's conversions between FILETIME, SYSTEMTIME and local time.
#include "lab/win32/FileTime.h"

#include "lab/host/Host.h"

#include <ctime>

namespace {

constexpr uint64_t kUnitsPerMillisecond = 10000;
constexpr uint64_t kUnitsPerDay = 24ull * 60 * 60 * 1000 * kUnitsPerMillisecond;
constexpr uint64_t kLimit = 0x8000000000000000ull;  // FILETIMEs from here on are not times
constexpr int kDaysIn400Years = 146097;
constexpr int kDaysIn100Years = 36524;
constexpr int kDaysIn4Years = 1461;

uint64_t Units(const FILETIME* p)
{
    return (static_cast<uint64_t>(p->dwHighDateTime) << 32) | p->dwLowDateTime;
}

void SetUnits(LPFILETIME p, uint64_t units)
{
    p->dwLowDateTime = static_cast<DWORD>(units);
    p->dwHighDateTime = static_cast<DWORD>(units >> 32);
}

bool IsLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

BOOL Fail()
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

// The local zone's offset from UTC in 100 ns units, at the lab clock's present moment.
int64_t CurrentBias()
{
    std::time_t now = lab::host::Host::Instance().TheClock().NowSeconds();
    std::tm parts{};
    localtime_r(&now, &parts);
    return static_cast<int64_t>(parts.tm_gmtoff) * 1000 * static_cast<int64_t>(kUnitsPerMillisecond);
}

BOOL Shift(const FILETIME* pIn, LPFILETIME pOut, int64_t bias)
{
    if (!pIn || !pOut)
        return Fail();
    uint64_t units = Units(pIn);
    if (units >= kLimit || (bias < 0 && units < static_cast<uint64_t>(-bias)))
        return Fail();
    SetUnits(pOut, units + static_cast<uint64_t>(bias));
    return TRUE;
}

}  // namespace

// 1601 begins a 400-year cycle of the Gregorian calendar, which keeps the arithmetic plain.
BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime)
{
    if (!lpFileTime || !lpSystemTime || Units(lpFileTime) >= kLimit)
        return Fail();
    uint64_t units = Units(lpFileTime);
    auto days = static_cast<int>(units / kUnitsPerDay);
    uint64_t ms = units % kUnitsPerDay / kUnitsPerMillisecond;

    int cycles400 = days / kDaysIn400Years;
    int rest = days % kDaysIn400Years;
    int centuries = rest / kDaysIn100Years < 3 ? rest / kDaysIn100Years : 3;  // the 400th year is the leap one
    rest -= centuries * kDaysIn100Years;
    int cycles4 = rest / kDaysIn4Years;
    rest %= kDaysIn4Years;
    int years = rest / 365 < 3 ? rest / 365 : 3;
    rest -= years * 365;
    int year = 1601 + 400 * cycles400 + 100 * centuries + 4 * cycles4 + years;
    int month = 1;
    while (rest >= DaysInMonth(year, month)) {
        rest -= DaysInMonth(year, month);
        ++month;
    }

    lpSystemTime->wYear = static_cast<WORD>(year);
    lpSystemTime->wMonth = static_cast<WORD>(month);
    lpSystemTime->wDay = static_cast<WORD>(rest + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    lpSystemTime->wHour = static_cast<WORD>(ms / 3600000);
    lpSystemTime->wMinute = static_cast<WORD>(ms / 60000 % 60);
    lpSystemTime->wSecond = static_cast<WORD>(ms / 1000 % 60);
    lpSystemTime->wMilliseconds = static_cast<WORD>(ms % 1000);
    return TRUE;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime)
{
    if (!lpSystemTime || !lpFileTime)
        return Fail();
    const SYSTEMTIME& t = *lpSystemTime;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
        t.wMilliseconds > 999)
        return Fail();
    int elapsedYears = t.wYear - 1601;
    uint64_t days =
        static_cast<uint64_t>(elapsedYears) * 365 + elapsedYears / 4 - elapsedYears / 100 + elapsedYears / 400;
    for (int month = 1; month < t.wMonth; ++month)
        days += static_cast<uint64_t>(DaysInMonth(t.wYear, month));
    days += t.wDay - 1u;
    uint64_t ms = ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + t.wSecond * 1000u + t.wMilliseconds;
    SetUnits(lpFileTime, ms * kUnitsPerMillisecond);
    return TRUE;
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime)
{
    return Shift(lpFileTime, lpLocalFileTime, CurrentBias());
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime)
{
    return Shift(lpLocalFileTime, lpFileTime, -CurrentBias());
}
