// The lab's file times where the lab decides them: the clock's offset, the host's files and the profile's times.
#include "tests/lab/ApiTestSupport.h"
#include "tests/lab/LabTestSupport.h"

#include "tests/support/TempProfile.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>

using namespace labtest;
using apitest::Calendar;
using apitest::FromUnits;
using apitest::Units;

namespace {

// What the checks write into the report: a file time shown in local time.
std::string Shown(const FILETIME& utc)
{
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st))
        return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, "%02u/%02u/%04u %02u:%02u:%02u", st.wMonth, st.wDay, st.wYear, st.wHour,
                  st.wMinute, st.wSecond);
    return text;
}

// A file's creation time as CreateFileA and GetFileTime give it; zero when either fails.
FILETIME Created(const std::string& path)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME ft{};
    if (hFile != INVALID_HANDLE_VALUE) {
        GetFileTime(hFile, &ft, nullptr, nullptr);
        CloseHandle(hFile);
    }
    return ft;
}

// A time zone with daylight saving time (central Europe) and the lab clock at a given local moment,
// both as they were again afterwards.
class ZoneAndClock {
public:
    explicit ZoneAndClock(const char* localNow)
    {
        const char* tz = std::getenv("TZ");
        m_bHadZone = tz != nullptr;
        m_oldZone = tz ? tz : "";
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
        m_bWasVirtual = lab::host::Host::Instance().TheClock().IsVirtual();
        SetNow(localNow);
    }
    ~ZoneAndClock()
    {
        if (m_bHadZone)
            setenv("TZ", m_oldZone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        if (!m_bWasVirtual)
            lab::host::Host::Instance().TheClock().SetReal();
    }
    ZoneAndClock(const ZoneAndClock&) = delete;
    ZoneAndClock& operator=(const ZoneAndClock&) = delete;

    static void SetNow(const char* localNow)
    {
        std::tm parts{};
        std::sscanf(localNow, "%d-%d-%d %d:%d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday, &parts.tm_hour,
                    &parts.tm_min);
        parts.tm_year -= 1900;
        parts.tm_mon -= 1;
        parts.tm_isdst = -1;
        lab::host::Host::Instance().TheClock().SetVirtual(std::mktime(&parts), 1000000);
    }

private:
    bool m_bHadZone = false;
    std::string m_oldZone;
    bool m_bWasVirtual = false;
};

}  // namespace

// Windows shifts by the offset in force now, not by the one in force at the time converted.
TEST(LabFileTime, LocalTimeUsesTheCurrentOffset)
{
    SYSTEMTIME winterNoon = Calendar(2025, 1, 15, 12);
    FILETIME utc, local, back;
    ASSERT_TRUE(SystemTimeToFileTime(&winterNoon, &utc));
    {
        ZoneAndClock zone("2025-07-01 09:00");
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(Units(utc) + 2 * 36000000000ull, Units(local));  // summer time: two hours ahead
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
        EXPECT_EQ(Units(utc), Units(back));

        ZoneAndClock::SetNow("2025-12-01 09:00");
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(Units(utc) + 36000000000ull, Units(local));

        // Across the change in spring: a minute before 02:00 winter time, a minute after 03:00 summer time.
        ZoneAndClock::SetNow("2025-03-30 01:59");
        EXPECT_EQ("01/15/2025 13:00:00", Shown(utc));
        lab::host::Host::Instance().TheClock().Advance(2 * 60 * 1000);
        EXPECT_EQ("01/15/2025 14:00:00", Shown(utc));
    }
    FILETIME early = FromUnits(1000);
    {
        ZoneAndClock zone("2025-07-01 09:00");
        SetLastError(0);
        // Would lie before 1601.
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ErrorOf(LocalFileTimeToFileTime(&early, &back)));
    }
}

// Outside the profile's drives the host's files are on Z:, as under Wine.
TEST(LabFileTime, HostFilesAreOnDriveZ)
{
    ScratchDir dir;
    std::string path = dir.File("module.dll");
    testsupport::WriteText(path, "MZ");
    std::string windowsPath = "Z:" + path;
    std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
    EXPECT_NE(0u, Units(Created(windowsPath)));
    EXPECT_EQ(Units(Created(path)), Units(Created(windowsPath)));
}

// A profile gives its files creation times, so reports of the sample server are the same on every machine.
TEST(LabFileTime, ProfileSetsCreationTimes)
{
    ZoneAndClock zone("2025-12-01 09:00");  // the zone before the profile loads: its times are local times
    CTempProfile profile("", "[Clock]\nMode=virtual\nStart=2025-12-01 09:00:00\n"
                             "[FileTimes]\n"
                             "c:\\program files\\quillmont\\BIN\\Vexil.dll = 2024-02-29 13:14:15\n"
                             "C:\\Program Files\\Quillmont\\Bin\\Summer.dll = 2024-07-01 08:00:00\n");
    std::filesystem::create_directories(profile.Dir() + "/drive_c/Program Files/Quillmont/Bin");
    for (const char* name : {"Vexil.dll", "Summer.dll", "Other.dll"})
        testsupport::WriteText(profile.Dir() + "/drive_c/Program Files/Quillmont/Bin/" + name, "MZ");

    auto created = [](const char* path) { return Shown(Created(path)); };
    EXPECT_EQ("02/29/2024 13:14:15", created("C:\\Program Files\\Quillmont\\Bin\\Vexil.dll"));
    // Given in summer time, shown with the offset of now (winter), as Windows does.
    EXPECT_EQ("07/01/2024 07:00:00", created("C:\\Program Files\\Quillmont\\Bin\\Summer.dll"));
    EXPECT_NE(0u, Units(Created("C:\\Program Files\\Quillmont\\Bin\\Other.dll")));
    EXPECT_NE("02/29/2024 13:14:15", created("C:\\Program Files\\Quillmont\\Bin\\Other.dll"));
}

// A creation time set through a handle belongs to the file the handle was opened on, whatever the current
// directory has become since its relative name was given.
TEST(LabFileTime, ACreationTimeSetThroughARelativeNameStaysWithItsFile)
{
    namespace fs = std::filesystem;
    ScratchDir dir;
    for (const char* folder : {"one", "two"}) {
        fs::create_directories(dir.File(folder));
        testsupport::WriteText(dir.File(folder) + "/a.log", folder);
    }
    const fs::path before = fs::current_path();
    fs::current_path(dir.File("one"));
    HANDLE hFile = CreateFileA("a.log", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    fs::current_path(dir.File("two"));
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    const FILETIME set = FromUnits(133500000000000000ULL);
    EXPECT_TRUE(SetFileTime(hFile, &set, nullptr, nullptr));
    CloseHandle(hFile);
    fs::current_path(before);

    EXPECT_EQ(Units(set), Units(Created(dir.File("one") + "/a.log")));
    EXPECT_NE(Units(set), Units(Created(dir.File("two") + "/a.log")));
}
