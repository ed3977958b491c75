// File times: the calendar conversions, local time, and the times of a file the test makes.
#include "tests/lab/ApiTestSupport.h"

#include <cstdint>
#include <ctime>

using apitest::Calendar;
using apitest::ErrorOf;
using apitest::FromUnits;
using apitest::Units;

namespace {

class ApiFileTime : public apitest::PlainMachine {};

const uint64_t kUnitsPerSecond = 10000000;
const uint64_t kSecondsPerDay = 86400;

bool IsLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The date a number of days after 1 January 1601 falls on, counted out year by year and month by month: slow,
// but plainly the Gregorian calendar.
SYSTEMTIME DateAfter(uint64_t days)
{
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    SYSTEMTIME st = Calendar(1601, 1, 1);
    st.wDayOfWeek = static_cast<WORD>((1 + days) % 7);  // 1 January 1601 was a Monday
    int year = 1601;
    for (uint64_t length = 365; days >= length; length = IsLeap(year) ? 366 : 365) {
        days -= length;
        ++year;
    }
    int month = 0;
    for (;;) {
        uint64_t length = static_cast<uint64_t>(kMonthDays[month] + (month == 1 && IsLeap(year) ? 1 : 0));
        if (days < length)
            break;
        days -= length;
        ++month;
    }
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month + 1);
    st.wDay = static_cast<WORD>(days + 1);
    return st;
}

}  // namespace

TEST_F(ApiFileTime, CalendarConversionsFollowTheGregorianCalendar)
{
    // Every 997th day and a few hours more, from 1601 to beyond 9999.
    for (uint64_t seconds = 0; seconds < 3400000ull * kSecondsPerDay; seconds += 997 * kSecondsPerDay + 3723) {
        SYSTEMTIME expected = DateAfter(seconds / kSecondsPerDay);
        FILETIME ft = FromUnits(seconds * kUnitsPerSecond);
        SYSTEMTIME st{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << seconds;
        ASSERT_EQ(expected.wYear, st.wYear) << seconds;
        ASSERT_EQ(expected.wMonth, st.wMonth) << seconds;
        ASSERT_EQ(expected.wDay, st.wDay) << seconds;
        ASSERT_EQ(expected.wDayOfWeek, st.wDayOfWeek) << seconds;
        ASSERT_EQ(seconds % kSecondsPerDay / 3600, st.wHour) << seconds;
        ASSERT_EQ(seconds % 3600 / 60, st.wMinute) << seconds;
        ASSERT_EQ(seconds % 60, st.wSecond) << seconds;

        FILETIME back{};
        st.wDayOfWeek = 5;  // ignored on the way back
        ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
        ASSERT_EQ(Units(ft), Units(back)) << seconds;
    }
}

TEST_F(ApiFileTime, CalendarEdges)
{
    SYSTEMTIME st = Calendar(1601, 1, 1);
    FILETIME ft{1, 1};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(0u, Units(ft));
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(1, st.wDayOfWeek);  // a Monday

    st = Calendar(2024, 2, 29, 23, 59, 59, 999);
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(29, back.wDay);
    EXPECT_EQ(999, back.wMilliseconds);
    EXPECT_EQ(4, back.wDayOfWeek);  // a Thursday
    st = Calendar(30827, 12, 31, 23, 59, 59, 999);
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));

    for (SYSTEMTIME bad : {Calendar(2025, 4, 31), Calendar(2025, 2, 30), Calendar(2025, 13, 1), Calendar(1600, 12, 31),
                           Calendar(2025, 1, 1, 24), Calendar(2025, 1, 1, 0, 0, 0, 1000)}) {
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft)) << bad.wYear << "-" << bad.wMonth << "-" << bad.wDay;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
    ft = FromUnits(0x8000000000000000ull);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ErrorOf(FileTimeToSystemTime(&ft, &st)));
}

// 29 February only in leap years: divisible by 4, and by 400 when divisible by 100.
TEST_F(ApiFileTime, TwentyNinthOfFebruaryOnlyInLeapYears)
{
    if (apitest::UnderWine())
        GTEST_SKIP() << "Wine: SystemTimeToFileTime accepts 29 February in years that are not leap years";
    FILETIME ft{};
    for (SYSTEMTIME bad : {Calendar(2025, 2, 29), Calendar(2100, 2, 29)}) {
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft)) << bad.wYear;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
    for (SYSTEMTIME good : {Calendar(2000, 2, 29), Calendar(2024, 2, 29)})
        EXPECT_TRUE(SystemTimeToFileTime(&good, &ft)) << good.wYear;
}

// One offset, the one in force now, both ways: whole quarter hours, at most fourteen hours.
TEST_F(ApiFileTime, LocalTimeShiftsByOneOffsetBothWays)
{
    const uint64_t kQuarterHour = 900 * kUnitsPerSecond;
    for (SYSTEMTIME when : {Calendar(2025, 1, 15, 12), Calendar(2025, 7, 1, 9, 30)}) {
        FILETIME utc, local, back;
        ASSERT_TRUE(SystemTimeToFileTime(&when, &utc));
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        int64_t shift = static_cast<int64_t>(Units(local) - Units(utc));
        EXPECT_EQ(0, shift % static_cast<int64_t>(kQuarterHour));
        EXPECT_LE(shift < 0 ? -shift : shift, static_cast<int64_t>(14 * 4 * kQuarterHour));
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
        EXPECT_EQ(Units(utc), Units(back));
    }
}

TEST_F(ApiFileTime, TimesOfAFileMadeNow)
{
    std::string path = File("module.dll");
    std::time_t before = std::time(nullptr);
    apitest::WriteFileText(path, "MZ");
    uint64_t now = (static_cast<uint64_t>(before) + 11644473600ull) * kUnitsPerSecond;

    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    FILETIME created, accessed, written;
    ASSERT_TRUE(GetFileTime(hFile, &created, &accessed, &written));
    for (const FILETIME& ft : {created, accessed, written}) {
        EXPECT_GE(Units(ft) + 2 * kUnitsPerSecond, now);
        EXPECT_LE(Units(ft), now + 60 * kUnitsPerSecond);
    }

    // A time set is the time read back; each time is optional both ways.
    SYSTEMTIME leapDay = Calendar(2024, 2, 29, 13, 14, 15);
    FILETIME set{};
    ASSERT_TRUE(SystemTimeToFileTime(&leapDay, &set));
    ASSERT_TRUE(SetFileTime(hFile, nullptr, nullptr, &set));
    FILETIME read{};
    ASSERT_TRUE(GetFileTime(hFile, nullptr, nullptr, &read));
    EXPECT_EQ(Units(set), Units(read));
    CloseHandle(hFile);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ErrorOf(GetFileTime(hFile, &created, nullptr, nullptr)));
}

// A time not given to SetFileTime stays as it was.
TEST_F(ApiFileTime, SettingOneTimeLeavesTheOthers)
{
    if (apitest::UnderWine())
        GTEST_SKIP() << "Wine: a file's creation time follows its new last-write time (the host keeps none)";
    std::string path = File("module.dll");
    apitest::WriteFileText(path, "MZ");
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    FILETIME created{}, set{}, read{};
    ASSERT_TRUE(GetFileTime(hFile, &created, nullptr, nullptr));
    SYSTEMTIME leapDay = Calendar(2024, 2, 29, 13, 14, 15);
    ASSERT_TRUE(SystemTimeToFileTime(&leapDay, &set));
    ASSERT_TRUE(SetFileTime(hFile, nullptr, nullptr, &set));
    ASSERT_TRUE(GetFileTime(hFile, &read, nullptr, nullptr));
    EXPECT_EQ(Units(created), Units(read));
    CloseHandle(hFile);
}
