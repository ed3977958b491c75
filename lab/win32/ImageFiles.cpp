// Stands in for the loader's mapping of image files as data (LoadLibraryExA with LOAD_LIBRARY_AS_DATAFILE).
#include "lab/win32/ImageFiles.h"

#include "lab/host/Host.h"
#include "lab/win32/Files.h"
#include "lab/win32/Library.h"
#include "lab/win32/Sync.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct DataModules {
    std::mutex lock;
    std::map<uintptr_t, std::shared_ptr<const lab::host::PeImage>> images;
    uintptr_t next = 0;
};

DataModules& TheDataModules()
{
    static DataModules* pModules = new DataModules;  // outlives every static destructor
    return *pModules;
}

// Far from the lab's own module bases, and 64K apart like real mappings, so that the low bits are free.
constexpr uintptr_t kDataModuleBase = uintptr_t(0x7E00) << 32;

bool HasDirectory(const std::string& name)
{
    return name.find_first_of("\\/:") != std::string::npos;
}

bool IsFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string WindowsDirectory()
{
    std::string root;
    if (!lab::host::Host::Instance().Environment("SystemRoot", root) || root.empty())
        root = "C:\\Windows";
    while (!root.empty() && root.back() == '\\')
        root.pop_back();
    return root;
}

// The file a module name stands for, searched as the loader searches; empty when there is none.
std::string FindModuleFile(std::string name)
{
    if (HasDirectory(name))
        return IsFile(name) ? name : std::string();
    if (name.find('.') == std::string::npos)
        name += ".dll";
    const std::string windows = WindowsDirectory();
    for (const std::string& candidate : {windows + "\\system32\\" + name, windows + "\\" + name, name}) {
        if (IsFile(candidate))
            return candidate;
    }
    return std::string();
}

// Closes the file on every way out, keeping the error a failed read set.
struct OpenFile {
    HANDLE h;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile()
    {
        DWORD error = GetLastError();
        CloseHandle(h);
        SetLastError(error);
    }
};

}  // namespace

namespace lab::win32 {

bool ReadImageFile(LPCSTR path, lab::host::PeImage& image)
{
    HANDLE hFile = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    OpenFile file{hFile};
    DWORD high = 0;
    DWORD low = GetFileSize(hFile, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS)
        return false;
    bool bReadFailed = false;
    auto read = [&](uint64_t offset, size_t size, std::vector<uint8_t>& out) {
        LONG offsetHigh = static_cast<LONG>(offset >> 32);
        out.resize(size);
        DWORD got = 0;
        bReadFailed = size > 0xFFFFFFFFu ||
                      (SetFilePointer(hFile, static_cast<LONG>(offset & 0xFFFFFFFFu), &offsetHigh, FILE_BEGIN) ==
                           INVALID_SET_FILE_POINTER &&
                       GetLastError() != ERROR_SUCCESS) ||
                      !ReadFile(hFile, out.data(), static_cast<DWORD>(size), &got, nullptr);
        out.resize(got);
        return !bReadFailed;
    };
    image.Load((uint64_t(high) << 32) | low, read);
    return !bReadFailed;
}

DWORD ResourceError(lab::host::PeImage::Lookup lookup)
{
    using Lookup = lab::host::PeImage::Lookup;
    switch (lookup) {
    case Lookup::Found:
        return ERROR_SUCCESS;
    case Lookup::TypeNotFound:
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    case Lookup::NameNotFound:
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    case Lookup::LanguageNotFound:
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    case Lookup::NoResources:
    case Lookup::Damaged:
        break;
    }
    return ERROR_RESOURCE_DATA_NOT_FOUND;
}

HMODULE LoadDataModule(LPCSTR name, DWORD flags)
{
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string path = FindModuleFile(name);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto pImage = std::make_shared<lab::host::PeImage>();
    if (!ReadImageFile(path.c_str(), *pImage))
        return nullptr;
    if (!pImage->IsImage()) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    DataModules& modules = TheDataModules();
    std::lock_guard<std::mutex> guard(modules.lock);
    uintptr_t mark = (flags & LOAD_LIBRARY_AS_IMAGE_RESOURCE) != 0 ? 2 : 1;
    uintptr_t handle = kDataModuleBase + (modules.next++) * 0x10000 + mark;
    modules.images[handle] = std::move(pImage);
    return reinterpret_cast<HMODULE>(handle);
}

bool FreeDataModule(HMODULE h)
{
    DataModules& modules = TheDataModules();
    std::lock_guard<std::mutex> guard(modules.lock);
    return modules.images.erase(reinterpret_cast<uintptr_t>(h)) > 0;
}

std::shared_ptr<const lab::host::PeImage> DataModuleImage(HMODULE h)
{
    DataModules& modules = TheDataModules();
    std::lock_guard<std::mutex> guard(modules.lock);
    auto found = modules.images.find(reinterpret_cast<uintptr_t>(h));
    return found == modules.images.end() ? nullptr : found->second;
}

size_t DataModuleCount()
{
    DataModules& modules = TheDataModules();
    std::lock_guard<std::mutex> guard(modules.lock);
    return modules.images.size();
}

}  // namespace lab::win32
