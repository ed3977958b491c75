// Stands in for the server's running processes: the live Linux host's, or a list the profile gives.
#include "lab/host/Processes.h"

#include "lab/host/BlockFile.h"
#include "lab/host/Drives.h"
#include "lab/host/IniFile.h"
#include "lab/host/SharedLibrary.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include <libproc2/pids.h>

namespace lab::host {

namespace {

// Where a listed process's modules are said to lie; only their identity matters.
constexpr uint64_t kImageBase = 0x140000000ull;
constexpr uint64_t kLibraryBase = 0x7FFB00000000ull;
constexpr uint64_t kLibraryStep = 0x10000000ull;

std::string ProcPath(uint32_t pid, const char* leaf)
{
    return "/proc/" + std::to_string(pid) + "/" + leaf;
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file mapped by a process that has since been replaced is shown with this suffix.
std::string WithoutDeleted(std::string path)
{
    const std::string suffix = " (deleted)";
    if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
        path.resize(path.size() - suffix.size());
    return path;
}

bool ReadExe(uint32_t pid, std::string& path)
{
    char target[4096];
    ssize_t length = readlink(ProcPath(pid, "exe").c_str(), target, sizeof target - 1);
    if (length <= 0)
        return false;
    path = WithoutDeleted(std::string(target, static_cast<size_t>(length)));
    return true;
}

// The fields of /proc/<pid>/stat after the command name, which may hold blanks and parentheses;
// fields[0] is the state (field 3 of the manual).
std::vector<std::string> StatFields(uint32_t pid)
{
    std::string text = ReadWhole(ProcPath(pid, "stat"));
    std::vector<std::string> fields;
    size_t paren = text.rfind(')');
    if (paren == std::string::npos)
        return fields;
    std::istringstream in(text.substr(paren + 1));
    for (std::string field; in >> field;)
        fields.push_back(field);
    return fields;
}

uint64_t StatField(const std::vector<std::string>& fields, size_t manualNumber)
{
    return fields.size() > manualNumber - 3 ? std::strtoull(fields[manualNumber - 3].c_str(), nullptr, 10) : 0;
}

uint64_t StartTime(uint32_t pid)
{
    return StatField(StatFields(pid), 22);
}

// The executable at its lowest mapping first, then the shared libraries in address order.
std::vector<ProcessModule> LiveModules(uint32_t pid, const std::string& exe)
{
    std::map<std::string, uint64_t> lowest;
    std::ifstream in(ProcPath(pid, "maps"));
    std::string line;
    while (std::getline(in, line)) {
        size_t slash = line.find('/');
        if (slash == std::string::npos)
            continue;
        std::string path = WithoutDeleted(line.substr(slash));
        uint64_t start = std::strtoull(line.c_str(), nullptr, 16);
        auto known = lowest.find(path);
        if (known == lowest.end() || start < known->second)
            lowest[path] = start;
    }
    std::vector<ProcessModule> modules;
    auto self = lowest.find(exe);
    modules.push_back({Drives::WindowsPath(exe), self != lowest.end() ? self->second : kImageBase});
    std::vector<std::pair<uint64_t, std::string>> libraries;
    for (const auto& mapped : lowest) {
        std::string name = mapped.first.substr(mapped.first.rfind('/') + 1);
        if (mapped.first != exe && name.find(".so") != std::string::npos)
            libraries.emplace_back(mapped.second, mapped.first);
    }
    std::sort(libraries.begin(), libraries.end());
    for (const auto& library : libraries)
        modules.push_back({Drives::WindowsPath(library.second), library.first});
    return modules;
}

// procps' library, loaded only when a live host's processes are listed.
struct Libproc2 {
    decltype(&procps_pids_new) pidsNew;
    decltype(&procps_pids_reap) pidsReap;
    decltype(&procps_pids_unref) pidsUnref;
};

const Libproc2* LoadLibproc2()
{
    static struct Loaded {
        SharedLibrary library{"libproc2.so.0", "the live host's processes cannot be listed (Debian package libproc2-0)"};
        Libproc2 f{};
        bool bComplete = library.Bind("procps_pids_new", f.pidsNew)
                             .Bind("procps_pids_reap", f.pidsReap)
                             .Bind("procps_pids_unref", f.pidsUnref)
                             .Complete();
    } s_loaded;
    return s_loaded.bComplete ? &s_loaded.f : nullptr;
}

// The running processes (not their threads), as procps lists them.
std::vector<uint32_t> LiveIds()
{
    std::vector<uint32_t> ids;
    const Libproc2* pProcps = LoadLibproc2();
    if (!pProcps)
        return ids;
    pids_item items[] = {PIDS_ID_PID};
    pids_info* pInfo = nullptr;
    if (pProcps->pidsNew(&pInfo, items, 1) < 0)
        return ids;
    if (pids_fetch* pFetch = pProcps->pidsReap(pInfo, PIDS_FETCH_TASKS_ONLY)) {
        for (int i = 0; i < pFetch->counts->total; ++i)
            ids.push_back(static_cast<uint32_t>(PIDS_VAL(0, s_int, pFetch->stacks[i], pInfo)));
    }
    pProcps->pidsUnref(&pInfo);
    return ids;
}

}  // namespace

bool Processes::FindLive(uint32_t pid, ProcessEntry& entry, bool bModules)
{
    struct stat info;
    if (pid == 0 || stat(ProcPath(pid, "").c_str(), &info) != 0)
        return false;
    entry = ProcessEntry();
    entry.pid = pid;
    entry.bLive = true;
    entry.startTime = StartTime(pid);
    std::string exe;
    // What Linux will not show (another user's process, a kernel thread) is what Windows protects.
    if (!ReadExe(pid, exe)) {
        entry.access = ProcessAccess::None;
        return true;
    }
    entry.access = ProcessAccess::Full;
    if (bModules)
        entry.modules = LiveModules(pid, exe);
    return true;
}

namespace {

// The "Name:   value kB" lines of /proc/<pid>/status, in bytes. The working set is the resident set;
// the pagefile usage and private bytes are the process's own anonymous memory while resident (the
// committed size of Linux would count address space reserved but never touched, which under
// AddressSanitizer is terabytes). Linux keeps no peak of the anonymous memory.
void ReadLiveCounters(uint32_t pid, ProcessCounters& counters)
{
    std::ifstream in(ProcPath(pid, "status"));
    std::string line;
    while (std::getline(in, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = line.substr(0, colon);
        uint64_t bytes = std::strtoull(line.c_str() + colon + 1, nullptr, 10) * 1024u;
        if (name == "VmRSS")
            counters.workingSet = bytes;
        else if (name == "VmHWM")
            counters.peakWorkingSet = bytes;
        else if (name == "RssAnon")
            counters.pagefileUsage = bytes;
    }
    counters.peakWorkingSet = std::max(counters.peakWorkingSet, counters.workingSet);
    counters.privateUsage = counters.pagefileUsage;
    counters.peakPagefileUsage = counters.pagefileUsage;
    // Windows counts soft and hard faults together: minflt (10) and majflt (12).
    std::vector<std::string> fields = StatFields(pid);
    counters.pageFaults = static_cast<uint32_t>(StatField(fields, 10) + StatField(fields, 12));
}

bool StillRunning(const ProcessEntry& entry)
{
    if (entry.pid == static_cast<uint32_t>(getpid()))
        return true;
    struct stat info;
    return stat(ProcPath(entry.pid, "").c_str(), &info) == 0 && StartTime(entry.pid) == entry.startTime;
}

struct SizeKey {
    const char* name;
    uint64_t ProcessCounters::*member;
};
// The peaks and the private bytes (1, 3, 4) have defaults when not given.
const SizeKey kSizes[] = {{"WorkingSet", &ProcessCounters::workingSet},
                          {"PeakWorkingSet", &ProcessCounters::peakWorkingSet},
                          {"PagefileUsage", &ProcessCounters::pagefileUsage},
                          {"PeakPagefileUsage", &ProcessCounters::peakPagefileUsage},
                          {"PrivateUsage", &ProcessCounters::privateUsage}};

bool ParseAccess(const std::string& text, ProcessAccess& access)
{
    if (EqualsNoCase(text, "full"))
        access = ProcessAccess::Full;
    else if (EqualsNoCase(text, "limited"))
        access = ProcessAccess::Limited;
    else if (EqualsNoCase(text, "none"))
        access = ProcessAccess::None;
    else
        return false;
    return true;
}

}  // namespace

bool Processes::Parse(const std::string& text, std::vector<ProcessEntry>& list, std::string& error)
{
    std::vector<Block> blocks;
    if (!ParseBlocks(text, blocks, error))
        return false;
    list.clear();
    std::set<uint32_t> seen;
    for (const Block& block : blocks) {
        auto fail = [&](int line, const std::string& reason) {
            error = "line " + std::to_string(line) + ": " + reason;
            list.clear();
            return false;
        };
        if (!EqualsNoCase(block.header, "Process"))
            return fail(block.line, "unknown block [" + block.header + "]");
        ProcessEntry entry;
        bool bPid = false;
        std::set<const SizeKey*> given;
        std::string image;
        std::vector<std::string> libraries;
        for (const BlockEntry& item : block.entries) {
            const std::string& key = item.key;
            uint64_t number = 0;
            const SizeKey* pSize = nullptr;
            for (const SizeKey& size : kSizes) {
                if (EqualsNoCase(key, size.name))
                    pSize = &size;
            }
            if (pSize) {
                if (!ParseByteSize(item.value, entry.counters.*pSize->member))
                    return fail(item.line, "bad size " + item.value);
                given.insert(pSize);
            } else if (EqualsNoCase(key, "Pid")) {
                if (!ParseNumber(item.value, number) || number > UINT32_MAX)
                    return fail(item.line, "bad pid");
                entry.pid = static_cast<uint32_t>(number);
                bPid = true;
            } else if (EqualsNoCase(key, "Image")) {
                image = item.value;
            } else if (EqualsNoCase(key, "Module")) {
                libraries.push_back(item.value);
            } else if (EqualsNoCase(key, "Access")) {
                if (!ParseAccess(item.value, entry.access))
                    return fail(item.line, "access is full, limited or none");
            } else if (EqualsNoCase(key, "PageFaults") || EqualsNoCase(key, "Handles")) {
                if (!ParseNumber(item.value, number) || number > UINT32_MAX)
                    return fail(item.line, "bad number " + item.value);
                (EqualsNoCase(key, "Handles") ? entry.handles : entry.counters.pageFaults) =
                    static_cast<uint32_t>(number);
            } else {
                return fail(item.line, "unknown key " + key);
            }
        }
        if (!bPid)
            return fail(block.line, "a process needs a Pid");
        if (!seen.insert(entry.pid).second)
            return fail(block.line, "pid " + std::to_string(entry.pid) + " listed twice");
        if (image.empty() && !libraries.empty())
            return fail(block.line, "modules without an Image");
        if (!image.empty())
            entry.modules.push_back({image, kImageBase});
        for (size_t i = 0; i < libraries.size(); ++i)
            entry.modules.push_back({libraries[i], kLibraryBase + i * kLibraryStep});
        // Unless given, the peaks are the current values and the private bytes the pagefile usage,
        // as they mostly are on Windows.
        ProcessCounters& counters = entry.counters;
        if (!given.count(&kSizes[1]))
            counters.peakWorkingSet = counters.workingSet;
        if (!given.count(&kSizes[3]))
            counters.peakPagefileUsage = counters.pagefileUsage;
        if (!given.count(&kSizes[4]))
            counters.privateUsage = counters.pagefileUsage;
        list.push_back(std::move(entry));
    }
    return true;
}

void Processes::Load(const ProfileLayers& profile, const IniFile& settings)
{
    std::string source = settings.Get("Processes", "Source", "live");
    if (EqualsNoCase(source, "live")) {
        UseLive();
        return;
    }
    std::vector<ProcessEntry> list;
    std::string error;
    std::string file = profile.Find("processes.ini");
    if (!EqualsNoCase(source, "profile"))
        std::fprintf(stderr, "lab: %s/lab.ini: [Processes] Source is live or profile\n", profile.Dirs()[0].c_str());
    else if (!Parse(ReadWhole(file), list, error))
        std::fprintf(stderr, "lab: %s: %s\n", file.c_str(), error.c_str());
    std::lock_guard<std::mutex> guard(m_lock);
    m_bLive = false;
    m_list.swap(list);
}

bool Processes::SetListText(const std::string& text, std::string& error)
{
    std::vector<ProcessEntry> list;
    if (!Parse(text, list, error))
        return false;
    std::lock_guard<std::mutex> guard(m_lock);
    m_bLive = false;
    m_list.swap(list);
    return true;
}

void Processes::UseLive()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bLive = true;
    m_list.clear();
}

bool Processes::IsLive() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bLive;
}

std::vector<uint32_t> Processes::Ids() const
{
    std::vector<uint32_t> ids;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_bLive) {
            for (const ProcessEntry& entry : m_list)
                ids.push_back(entry.pid);
            return ids;
        }
    }
    ids = LiveIds();
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool Processes::Find(uint32_t pid, ProcessEntry& entry, bool bModules) const
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_bLive) {
            for (const ProcessEntry& listed : m_list) {
                if (listed.pid == pid) {
                    entry = listed;
                    return true;
                }
            }
            return false;
        }
    }
    return FindLive(pid, entry, bModules);
}

bool Processes::Counters(const ProcessEntry& entry, ProcessCounters& counters) const
{
    counters = entry.bLive ? ProcessCounters() : entry.counters;
    if (entry.bLive && StillRunning(entry))
        ReadLiveCounters(entry.pid, counters);
    return true;
}

bool Processes::Ended(const ProcessEntry& entry)
{
    return entry.bLive && !StillRunning(entry);
}

bool Processes::HandleCount(const ProcessEntry& entry, uint32_t& handles) const
{
    handles = entry.bLive ? 0 : entry.handles;
    if (!entry.bLive)
        return true;
    DIR* pDir = opendir(ProcPath(entry.pid, "fd").c_str());
    if (!pDir)
        return !StillRunning(entry);
    uint32_t count = 0;
    while (const dirent* pEntry = readdir(pDir)) {
        if (pEntry->d_name[0] != '.')
            ++count;
    }
    closedir(pDir);
    // Listing our own descriptors opens one more.
    if (entry.pid == static_cast<uint32_t>(getpid()) && count > 0)
        --count;
    handles = StillRunning(entry) ? count : 0;
    return true;
}

}  // namespace lab::host
