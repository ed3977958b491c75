// What the folders of drive C: hold, by name without regard to case, kept while a folder is unchanged:
// a path is resolved one name at a time, and listing a folder for every name cost most of a run.
#pragma once

#include <ctime>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace lab::host {

class FolderCache {
public:
    // A folder is kept only once it has not changed for `settle`: a file system may stamp changes
    // coarsely, so that two changes close together leave one stamp.
    explicit FolderCache(timespec settle = {2, 0});

    // The entry of `folder` that is `name` without regard to case: the name itself when it is there, else
    // the first match in name order (Linux may hold two that Windows would take for one). Empty when none
    // matches or the folder cannot be read.
    std::string Entry(const std::string& folder, const std::string& name);

    // Forgets every folder (a profile load: the folders of the last one are seldom looked at again).
    void Clear();

    // How many folders were listed since the cache was made.
    unsigned Listings() const;

private:
    struct Stamp {
        dev_t device = 0;
        ino_t inode = 0;
        timespec modified{};
        timespec changed{};
    };
    struct Listing {
        Stamp stamp;
        std::unordered_map<std::string, std::vector<std::string>> byFolded;  // each sorted by name
    };

    static std::string Pick(const Listing& listing, const std::string& folded, const std::string& name);
    static Listing List(const std::string& folder, const Stamp& stamp);

    const timespec m_settle;
    mutable std::mutex m_lock;
    std::unordered_map<std::string, Listing> m_folders;
    unsigned m_listings = 0;
};

}  // namespace lab::host
