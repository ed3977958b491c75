// Stands in for kernel32's private profile functions: INI files read and written on the lab's drives.
#include "lab/win32/Profile.h"

#include "lab/host/Host.h"
#include "lab/host/IniFile.h"
#include "lab/win32/SystemFacts.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// Windows reads these files its own way, unlike the lab's lab.ini: a semicolon inside a value is
// part of it, a value in quotes loses them, and a section that appears twice counts as one.
namespace {

using lab::host::EqualsNoCase;
using lab::host::IniLine;

struct IniText {
    std::vector<std::string> lines;  // without their line ends
    std::vector<IniLine> parsed;     // one per line
    bool bCrLf = true;               // how the file ends its lines (new files: as Windows does)
};

// A bare file name is looked for in the Windows directory.
std::string ProfilePath(LPCSTR lpFileName)
{
    std::string name = lpFileName ? lpFileName : "";
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos)
        return name;
    char directory[MAX_PATH];
    UINT length = GetWindowsDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory)
        return name;
    return std::string(directory) + "\\" + name;
}

std::string HostPath(const std::string& path, bool bForWriting)
{
    return path.empty() ? path : lab::host::Host::Instance().TheDrives().HostPath(path, bForWriting);
}

void Parse(const std::string& bytes, IniText& text)
{
    size_t start = 0;
    bool bSawLineEnd = false;
    bool bSawCr = false;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        std::string line = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end != std::string::npos) {
            bSawLineEnd = true;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
                bSawCr = true;
            }
        }
        text.lines.push_back(line);
        text.parsed.push_back(lab::host::ParseIniLine(line));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    text.bCrLf = !bSawLineEnd || bSawCr;
}

bool Load(const std::string& hostPath, IniText& text)
{
    std::ifstream in(hostPath, std::ios::binary);
    if (hostPath.empty() || !in)
        return false;
    Parse(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), text);
    return true;
}

std::string FoldedName(const std::string& name)
{
    std::string folded = name;
    for (char& c : folded)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

// A file as read, with its sections indexed once: reads are many and a file can be large
// (Adapter.ini holds the whole PCI ID database and is asked for every device).
struct ProfileFile {
    IniText text;
    std::vector<std::string> sectionNames;  // each once, as first written
    std::unordered_map<std::string, std::vector<size_t>> sectionLines;  // by folded name, headers not included

    void Index()
    {
        std::vector<size_t>* pLines = nullptr;
        for (size_t i = 0; i < text.parsed.size(); ++i) {
            const IniLine& line = text.parsed[i];
            if (line.kind != IniLine::kSection) {
                if (pLines)
                    pLines->push_back(i);
                continue;
            }
            auto [it, bNew] = sectionLines.try_emplace(FoldedName(line.name));
            if (bNew)
                sectionNames.push_back(line.name);
            pLines = &it->second;
        }
    }

    const std::vector<size_t>& Lines(const std::string& section) const
    {
        static const std::vector<size_t> none;
        auto found = sectionLines.find(FoldedName(section));
        return found == sectionLines.end() ? none : found->second;
    }
};

// Files read are kept while their size and time stay as they were and the lab writes none of them.
struct ReadCache {
    struct Entry {
        std::string path;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type time;
        std::shared_ptr<const ProfileFile> pFile;
    };
    static constexpr size_t kFiles = 8;
    std::mutex lock;
    std::list<Entry> entries;  // the one used last first
};

ReadCache& TheReadCache()
{
    static ReadCache* pCache = new ReadCache;  // used by static destructors too, so never destroyed
    return *pCache;
}

void Forget(const std::string& hostPath)
{
    ReadCache& cache = TheReadCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    cache.entries.remove_if([&](const ReadCache::Entry& entry) { return entry.path == hostPath; });
}

// The parsed file, or nullptr when it cannot be read.
std::shared_ptr<const ProfileFile> ReadProfileFile(LPCSTR lpFileName)
{
    std::string path = HostPath(ProfilePath(lpFileName), false);
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(path, ec);
    std::filesystem::file_time_type time;
    if (!ec)
        time = std::filesystem::last_write_time(path, ec);
    ReadCache& cache = TheReadCache();
    {
        std::lock_guard<std::mutex> guard(cache.lock);
        for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it) {
            if (it->path != path)
                continue;
            if (!ec && it->size == size && it->time == time) {
                cache.entries.splice(cache.entries.begin(), cache.entries, it);
                return it->pFile;
            }
            cache.entries.erase(it);
            break;
        }
    }
    auto pFile = std::make_shared<ProfileFile>();
    if (!Load(path, pFile->text))
        return nullptr;
    pFile->Index();
    if (ec)
        return pFile;  // not stated, so not kept
    std::lock_guard<std::mutex> guard(cache.lock);
    cache.entries.push_front({path, size, time, pFile});
    if (cache.entries.size() > ReadCache::kFiles)
        cache.entries.pop_back();
    return pFile;
}

// Indexes of the lines that belong to sections of this name (their headers not included).
std::vector<size_t> SectionLines(const IniText& text, const std::string& section)
{
    std::vector<size_t> result;
    bool bInside = false;
    for (size_t i = 0; i < text.parsed.size(); ++i) {
        if (text.parsed[i].kind == IniLine::kSection)
            bInside = EqualsNoCase(text.parsed[i].name, section);
        else if (bInside)
            result.push_back(i);
    }
    return result;
}

bool HasSection(const IniText& text, const std::string& section)
{
    for (const IniLine& line : text.parsed) {
        if (line.kind == IniLine::kSection && EqualsNoCase(line.name, section))
            return true;
    }
    return false;
}

// A line without "=" counts as a key without value.
bool IsKey(const IniLine& line)
{
    return line.kind == IniLine::kEntry || line.kind == IniLine::kText;
}

bool Lookup(const ProfileFile& file, const std::string& section, const std::string& key, std::string& value)
{
    for (size_t i : file.Lines(section)) {
        const IniLine& line = file.text.parsed[i];
        if (IsKey(line) && EqualsNoCase(line.name, key)) {
            value = line.value;
            if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
                value = value.substr(1, value.size() - 2);
            return true;
        }
    }
    return false;
}

// Names are listed once, as first written, since a repeated section or key is the first one.
void AddOnce(std::vector<std::string>& names, const std::string& name)
{
    for (const std::string& known : names) {
        if (EqualsNoCase(known, name))
            return;
    }
    names.push_back(name);
}

// Text into a caller's buffer: cut to nSize - 1 characters, which is then the count returned.
DWORD CopyText(const std::string& value, LPSTR lpBuffer, DWORD nSize)
{
    size_t copied = value.size() < nSize ? value.size() : nSize - 1;
    std::memcpy(lpBuffer, value.data(), copied);
    lpBuffer[copied] = '\0';
    return static_cast<DWORD>(copied);
}

// Strings each with its terminator and a second terminator after the last. When that does not fit,
// the buffer is filled up and ended with two terminators, and nSize - 2 is returned.
DWORD CopyList(const std::vector<std::string>& items, LPSTR lpBuffer, DWORD nSize)
{
    std::string packed;
    for (const std::string& item : items) {
        packed += item;
        packed += '\0';
    }
    if (packed.size() + 1 <= nSize) {
        std::memcpy(lpBuffer, packed.data(), packed.size());
        lpBuffer[packed.size()] = '\0';
        if (packed.empty() && nSize >= 2)
            lpBuffer[1] = '\0';
        return static_cast<DWORD>(packed.size());
    }
    if (nSize < 2) {
        lpBuffer[0] = '\0';
        return 0;
    }
    std::memcpy(lpBuffer, packed.data(), nSize - 2);
    lpBuffer[nSize - 2] = '\0';
    lpBuffer[nSize - 1] = '\0';
    return nSize - 2;
}

bool Save(const std::string& hostPath, const IniText& text)
{
    Forget(hostPath);
    std::string bytes;
    for (const std::string& line : text.lines)
        bytes += line + (text.bCrLf ? "\r\n" : "\n");
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    if (out)
        out << bytes;
    if (out.good())
        return true;
    std::error_code ec;
    SetLastError(std::filesystem::is_directory(std::filesystem::path(hostPath).parent_path(), ec)
                     ? ERROR_ACCESS_DENIED
                     : ERROR_PATH_NOT_FOUND);
    return false;
}

void Erase(IniText& text, size_t index)
{
    text.lines.erase(text.lines.begin() + static_cast<std::ptrdiff_t>(index));
    text.parsed.erase(text.parsed.begin() + static_cast<std::ptrdiff_t>(index));
}

void Insert(IniText& text, size_t index, const std::string& line)
{
    text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(index), line);
    text.parsed.insert(text.parsed.begin() + static_cast<std::ptrdiff_t>(index), lab::host::ParseIniLine(line));
}

void RemoveSection(IniText& text, const std::string& section)
{
    bool bInside = false;
    for (size_t i = 0; i < text.parsed.size();) {
        if (text.parsed[i].kind == IniLine::kSection)
            bInside = EqualsNoCase(text.parsed[i].name, section);
        if (bInside)
            Erase(text, i);
        else
            ++i;
    }
}

void RemoveKey(IniText& text, const std::string& section, const std::string& key)
{
    std::vector<size_t> lines = SectionLines(text, section);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (IsKey(text.parsed[*it]) && EqualsNoCase(text.parsed[*it].name, key))
            Erase(text, *it);
    }
}

void SetKey(IniText& text, const std::string& section, const std::string& key, const std::string& value)
{
    std::vector<size_t> lines = SectionLines(text, section);
    for (size_t i : lines) {
        if (IsKey(text.parsed[i]) && EqualsNoCase(text.parsed[i].name, key)) {
            text.lines[i] = text.parsed[i].name + "=" + value;  // the key keeps the case it was written in
            text.parsed[i] = lab::host::ParseIniLine(text.lines[i]);
            return;
        }
    }
    if (!HasSection(text, section)) {
        Insert(text, text.lines.size(), "[" + section + "]");
        Insert(text, text.lines.size(), key + "=" + value);
        return;
    }
    // After the section's last line that is not blank, so the blank line before the next section stays.
    size_t header = 0;
    while (!(text.parsed[header].kind == IniLine::kSection && EqualsNoCase(text.parsed[header].name, section)))
        ++header;
    size_t after = header + 1;
    for (size_t i = header + 1; i < text.parsed.size() && text.parsed[i].kind != IniLine::kSection; ++i) {
        if (text.parsed[i].kind != IniLine::kBlank)
            after = i + 1;
    }
    Insert(text, after, key + "=" + value);
}

}  // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                                      DWORD nSize, LPCSTR lpFileName)
{
    if (!lpReturnedString || nSize == 0)
        return 0;
    std::shared_ptr<const ProfileFile> pFile = ReadProfileFile(lpFileName);
    const ProfileFile empty;
    const ProfileFile& file = pFile ? *pFile : empty;
    if (!pFile)
        SetLastError(ERROR_FILE_NOT_FOUND);
    if (!lpAppName)
        return CopyList(file.sectionNames, lpReturnedString, nSize);
    if (!lpKeyName) {
        std::vector<std::string> keys;
        for (size_t i : file.Lines(lpAppName)) {
            if (IsKey(file.text.parsed[i]))
                AddOnce(keys, file.text.parsed[i].name);
        }
        return CopyList(keys, lpReturnedString, nSize);
    }
    std::string value;
    if (!Lookup(file, lpAppName, lpKeyName, value)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        value = lpDefault ? lpDefault : "";
        value.erase(value.find_last_not_of(" \t") + 1);  // a default loses its trailing blanks
    }
    return CopyText(value, lpReturnedString, nSize);
}

// Decimal, or hexadecimal after "0x"; the digits end at the first character that is none. A value that
// is there but empty counts as missing.
UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName)
{
    std::shared_ptr<const ProfileFile> pFile = lpAppName && lpKeyName ? ReadProfileFile(lpFileName) : nullptr;
    std::string value;
    if (!pFile || !Lookup(*pFile, lpAppName, lpKeyName, value) || value.empty())
        return static_cast<UINT>(nDefault);
    const char* p = value.c_str();
    bool bNegative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    UINT base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    UINT result = 0;
    for (;; ++p) {
        UINT digit;
        if (*p >= '0' && *p <= '9')
            digit = static_cast<UINT>(*p - '0');
        else if (base == 16 && *p >= 'a' && *p <= 'f')
            digit = static_cast<UINT>(*p - 'a' + 10);
        else if (base == 16 && *p >= 'A' && *p <= 'F')
            digit = static_cast<UINT>(*p - 'A' + 10);
        else
            break;
        result = result * base + digit;
    }
    return bNegative ? 0u - result : result;
}

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName)
{
    if (!lpReturnedString || nSize == 0)
        return 0;
    std::shared_ptr<const ProfileFile> pFile = lpAppName ? ReadProfileFile(lpFileName) : nullptr;
    if (!pFile) {
        SetLastError(lpAppName ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return CopyList({}, lpReturnedString, nSize);
    }
    std::vector<std::string> lines;
    for (size_t i : pFile->Lines(lpAppName)) {
        const IniLine& line = pFile->text.parsed[i];
        if (line.kind == IniLine::kEntry)
            lines.push_back(line.name + "=" + line.value);
        else if (line.kind == IniLine::kText)
            lines.push_back(line.name);
    }
    return CopyList(lines, lpReturnedString, nSize);
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName)
{
    if (!lpAppName) {
        if (!lpKeyName && !lpString)
            return TRUE;  // flushes Windows' cache; the lab keeps none
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path = ProfilePath(lpFileName);
    IniText text;
    bool bExists = Load(HostPath(path, false), text);
    if (!lpKeyName || !lpString) {
        if (!bExists)
            return TRUE;  // nothing to remove
        if (!lpKeyName)
            RemoveSection(text, lpAppName);
        else
            RemoveKey(text, lpAppName, lpKeyName);
    } else {
        SetKey(text, lpAppName, lpKeyName, lpString);
    }
    std::string hostPath = HostPath(path, true);
    if (hostPath.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return Save(hostPath, text);
}
