// Stands in for kernel32's directory search (FindFirstFileA, FindNextFileA, FindClose).
#include "lab/win32/FindFile.h"

#include "lab/host/AnsiCase.h"
#include "lab/host/Drives.h"
#include "lab/host/FileTimes.h"
#include "lab/host/Host.h"
#include "lab/win32/Files.h"
#include "lab/win32/Handles.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <dirent.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

struct Found {
    std::string name;
    struct stat st;
};

class FindObject : public lab::win32::KernelObject {
public:
    std::vector<Found> entries;
    size_t next = 0;
};

bool Matches(const char* pszPattern, const char* pszName)
{
    if (*pszPattern == '\0')
        return *pszName == '\0';
    if (*pszPattern == '*')
        return Matches(pszPattern + 1, pszName) || (*pszName && Matches(pszPattern, pszName + 1));
    if (*pszName == '\0')
        return false;
    if (*pszPattern != '?' && std::toupper(static_cast<unsigned char>(*pszPattern)) !=
                                  std::toupper(static_cast<unsigned char>(*pszName)))
        return false;
    return Matches(pszPattern + 1, pszName + 1);
}

void FillFound(const Found& found, WIN32_FIND_DATAA& data)
{
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = S_ISDIR(found.st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    auto toFileTime = [](const struct timespec& ts, FILETIME& ft) {
        uint64_t value = lab::host::FileTimeFromUnix(ts.tv_sec, ts.tv_nsec);
        ft.dwLowDateTime = static_cast<DWORD>(value);
        ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    };
    toFileTime(found.st.st_mtim, data.ftCreationTime);
    toFileTime(found.st.st_atim, data.ftLastAccessTime);
    toFileTime(found.st.st_mtim, data.ftLastWriteTime);
    uint64_t size = S_ISDIR(found.st.st_mode) ? 0 : static_cast<uint64_t>(found.st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    std::strncpy(data.cFileName, found.name.c_str(), MAX_PATH - 1);
}

}  // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    if (!lpFileName || !lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string pattern = lpFileName;
    size_t cut = pattern.find_last_of("\\/");
    std::string directory = cut == std::string::npos ? "." : pattern.substr(0, cut);
    std::string leaf = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
    if (directory.size() == 2 && directory[1] == ':')
        directory += '\\';
    // On C: a folder is the union of its layers' folders; a name of a nearer layer hides the same name below.
    std::vector<std::string> folders = lab::host::Host::Instance().TheDrives().HostFolders(directory);
    if (folders.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto pFind = std::make_shared<FindObject>();
    std::set<std::string> seen;  // folded names
    for (const std::string& folder : folders) {
        DIR* pDir = opendir(folder.c_str());
        if (!pDir)
            continue;
        while (dirent* pEntry = readdir(pDir)) {
            Found found;
            found.name = pEntry->d_name;
            if (!Matches(leaf.c_str(), found.name.c_str()) ||
                !seen.insert(lab::host::FoldedAnsi(found.name)).second ||
                stat((folder + "/" + found.name).c_str(), &found.st) != 0)
                continue;
            pFind->entries.push_back(found);
        }
        closedir(pDir);
    }
    // Windows lists in the file system's order; the lab's is by name, dots first, so runs repeat.
    std::sort(pFind->entries.begin(), pFind->entries.end(),
              [](const Found& a, const Found& b) { return a.name < b.name; });
    if (pFind->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    FillFound(pFind->entries[0], *lpFindFileData);
    pFind->next = 1;
    return lab::win32::InsertHandle(pFind);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    auto pFind = lab::win32::LookupHandleAs<FindObject>(hFindFile);
    if (!pFind || !lpFindFileData) {
        SetLastError(pFind ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (pFind->next >= pFind->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    FillFound(pFind->entries[pFind->next++], *lpFindFileData);
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile)
{
    if (!lab::win32::LookupHandleAs<FindObject>(hFindFile) || !lab::win32::RemoveHandle(hFindFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
