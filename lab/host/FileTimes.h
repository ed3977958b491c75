// Stands in for the creation times NTFS keeps: Linux cannot set a file's birth time, so the lab keeps its own.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace lab::host {

// FILETIME's count (100 ns units since 1601-01-01 UTC) from a POSIX time, and back.
uint64_t FileTimeFromUnix(int64_t seconds, int64_t nanoseconds = 0);
void UnixFromFileTime(uint64_t fileTime, int64_t& seconds, int64_t& nanoseconds);

// Creation times set by the profile ([FileTimes] of lab.ini) or by SetFileTime, in 100 ns units since
// 1601 (UTC), by file. They last until the next profile load; files without one have their birth time.
class FileTimes {
public:
    // The name a file is known by, whatever path reached it: "C:\..." without regard to case for drive C:,
    // the absolute POSIX path for everything else.
    static std::string Key(const std::string& path);

    void Clear();
    void SetCreation(const std::string& key, uint64_t fileTime);
    bool Creation(const std::string& key, uint64_t& fileTime) const;

private:
    mutable std::mutex m_lock;
    std::map<std::string, uint64_t> m_creation;
};

}  // namespace lab::host
