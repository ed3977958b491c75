// Stands in for the creation times NTFS keeps: Linux cannot set a file's birth time, so the lab keeps its own.
#include "lab/host/FileTimes.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace lab::host {

namespace {

constexpr int64_t kUnixEpochIn1601Seconds = 11644473600;  // 369 years of 365 days and 89 leap days
constexpr int64_t kUnitsPerSecond = 10000000;

}  // namespace

uint64_t FileTimeFromUnix(int64_t seconds, int64_t nanoseconds)
{
    return static_cast<uint64_t>((seconds + kUnixEpochIn1601Seconds) * kUnitsPerSecond + nanoseconds / 100);
}

void UnixFromFileTime(uint64_t fileTime, int64_t& seconds, int64_t& nanoseconds)
{
    auto units = static_cast<int64_t>(fileTime);
    seconds = units / kUnitsPerSecond - kUnixEpochIn1601Seconds;
    nanoseconds = units % kUnitsPerSecond * 100;
}

std::string FileTimes::Key(const std::string& path)
{
    namespace fs = std::filesystem;
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    bool bDrive = p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]));
    if (!bDrive) {
        std::error_code ec;
        return fs::absolute(p, ec).lexically_normal().string();
    }
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
    std::string rest = p.substr(2);
    if (rest.empty() || rest[0] != '/')
        rest = "/" + rest;  // drive-relative paths are taken from the root, as the drives do
    std::string normal = fs::path(rest).lexically_normal().string();
    if (letter == 'Z')
        return normal;
    std::transform(normal.begin(), normal.end(), normal.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::string(1, letter) + ":" + normal;
}

void FileTimes::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_creation.clear();
}

void FileTimes::SetCreation(const std::string& key, uint64_t fileTime)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_creation[key] = fileTime;
}

bool FileTimes::Creation(const std::string& key, uint64_t& fileTime) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_creation.find(key);
    if (found == m_creation.end())
        return false;
    fileTime = found->second;
    return true;
}

}  // namespace lab::host
