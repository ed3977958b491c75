// What the folders of drive C: hold, by name without regard to case, kept while a folder is unchanged.
//
// A folder's listing is trusted while its device, inode and its times of change (of the entries and of the
// folder itself) are those it was listed with. Every creation, removal or renaming of an entry changes
// both times, whoever makes it; a change after the listing is stamped no earlier than the clock read before
// it, so a folder whose stamps lie before that reading by more than the file system's rounding shows any
// later change. Folders changed more recently are looked up without being kept.
#include "lab/host/FolderCache.h"

#include "lab/host/AnsiCase.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace lab::host {

namespace {

bool Same(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

timespec Minus(timespec a, const timespec& b)
{
    a.tv_sec -= b.tv_sec;
    a.tv_nsec -= b.tv_nsec;
    if (a.tv_nsec < 0) {
        a.tv_nsec += 1000000000L;
        --a.tv_sec;
    }
    return a;
}

bool Exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

}  // namespace

FolderCache::FolderCache(timespec settle) : m_settle(settle) {}

std::string FolderCache::Pick(const Listing& listing, const std::string& folded, const std::string& name)
{
    auto found = listing.byFolded.find(folded);
    if (found == listing.byFolded.end())
        return std::string();
    const std::vector<std::string>& entries = found->second;
    return std::find(entries.begin(), entries.end(), name) != entries.end() ? name : entries.front();
}

FolderCache::Listing FolderCache::List(const std::string& folder, const Stamp& stamp)
{
    Listing listing;
    listing.stamp = stamp;
    DIR* pDir = opendir(folder.c_str());
    if (!pDir)
        return listing;
    while (const dirent* pEntry = readdir(pDir)) {
        std::string entry = pEntry->d_name;
        if (entry != "." && entry != "..")
            listing.byFolded[FoldedAnsi(entry)].push_back(std::move(entry));
    }
    closedir(pDir);
    for (auto& folded : listing.byFolded)
        std::sort(folded.second.begin(), folded.second.end());
    return listing;
}

std::string FolderCache::Entry(const std::string& folder, const std::string& name)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::string();
    const Stamp stamp{info.st_dev, info.st_ino, info.st_mtim, info.st_ctim};
    const std::string folded = FoldedAnsi(name);

    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_folders.find(folder);
    if (it != m_folders.end()) {
        const Stamp& kept = it->second.stamp;
        if (kept.device == stamp.device && kept.inode == stamp.inode && Same(kept.modified, stamp.modified) &&
            Same(kept.changed, stamp.changed))
            return Pick(it->second, folded, name);
        m_folders.erase(it);
    }
    const timespec settled = Minus(now, m_settle);
    if (!Before(stamp.modified, settled) || !Before(stamp.changed, settled)) {
        // Changed just now: it may change again under the same stamps, so it is not kept.
        if (Exists(folder + "/" + name))
            return name;
        ++m_listings;
        return Pick(List(folder, stamp), folded, name);
    }
    ++m_listings;
    return Pick(m_folders[folder] = List(folder, stamp), folded, name);
}

void FolderCache::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_folders.clear();
}

unsigned FolderCache::Listings() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_listings;
}

}  // namespace lab::host
