// Stands in for kernel32's resource functions over the PE images of the program and of data modules.
#include "lab/win32/Resources.h"

#include "lab/win32/ImageFiles.h"
#include "lab/win32/Library.h"
#include "lab/win32/SysInfo.h"
#include "lab/win32/SystemFacts.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#ifndef TRIAGIST_PROGRAM_RESOURCES
#define TRIAGIST_PROGRAM_RESOURCES ""
#endif

namespace {

namespace fs = std::filesystem;
using lab::host::PeImage;
using lab::host::PeResource;
using lab::host::ResourceId;

// The program's own resources: a resource-only image built from the program's resource scripts,
// beside the installed program, else where the build put it.
std::shared_ptr<const PeImage> ProgramImage()
{
    static std::once_flag once;
    static std::shared_ptr<PeImage> pImage;
    std::call_once(once, [] {
        std::error_code ec;
        fs::path beside = fs::read_symlink("/proc/self/exe", ec).parent_path() / "triagist.resources.dll";
        std::string path = !ec && fs::exists(beside, ec) ? beside.string() : std::string(TRIAGIST_PROGRAM_RESOURCES);
        auto pRead = std::make_shared<PeImage>();
        DWORD dwSaved = GetLastError();
        if (!path.empty() && lab::win32::ReadImageFile(path.c_str(), *pRead) && pRead->IsImage())
            pImage = pRead;
        SetLastError(dwSaved);
    });
    return pImage;
}

struct FoundResource {
    std::shared_ptr<const PeImage> pImage;  // keeps the bytes alive
    PeResource resource;
};

// Every resource found keeps one handle for the life of the process, as a module's would.
struct Handles {
    std::mutex lock;
    std::map<const uint8_t*, std::unique_ptr<FoundResource>> byData;
};

Handles& TheHandles()
{
    static Handles* pHandles = new Handles;
    return *pHandles;
}

ResourceId Id(LPCSTR p)
{
    if (IS_INTRESOURCE(p))
        return ResourceId(static_cast<uint16_t>(reinterpret_cast<ULONG_PTR>(p)));
    if (p[0] == '#')
        return ResourceId(static_cast<uint16_t>(std::stoul(p + 1)));
    return ResourceId(std::string(p));
}

FoundResource* Found(HRSRC h)
{
    return reinterpret_cast<FoundResource*>(h);
}

}  // namespace

HRSRC WINAPI FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage)
{
    if (!lpType || !lpName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<const PeImage> pImage =
        !hModule || hModule == GetModuleHandleA(nullptr) ? ProgramImage() : lab::win32::DataModuleImage(hModule);
    if (!pImage) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    ResourceId type = Id(lpType), name = Id(lpName);
    PeResource resource;
    PeImage::Lookup lookup;
    if (wLanguage == 0) {
        // Neutral: the thread's language first, then whatever the image lists first.
        uint16_t thread = static_cast<uint16_t>(GetThreadLocale() & 0xFFFF);
        lookup = pImage->FindResource(type, name, &thread, resource);
        if (lookup == PeImage::Lookup::LanguageNotFound)
            lookup = pImage->FindResource(type, name, nullptr, resource);
    } else {
        uint16_t language = wLanguage == 0x0400 ? GetUserDefaultLangID() : wLanguage;
        lookup = pImage->FindResource(type, name, &language, resource);
    }
    if (lookup != PeImage::Lookup::Found) {
        SetLastError(lab::win32::ResourceError(lookup));
        return nullptr;
    }
    Handles& handles = TheHandles();
    std::lock_guard<std::mutex> guard(handles.lock);
    std::unique_ptr<FoundResource>& pFound = handles.byData[resource.data];
    if (!pFound)
        pFound.reset(new FoundResource{pImage, resource});
    return reinterpret_cast<HRSRC>(pFound.get());
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo)
{
    if (!hResInfo) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<uint8_t*>(Found(hResInfo)->resource.data);
}

LPVOID WINAPI LockResource(HGLOBAL hResData)
{
    return hResData;
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo)
{
    if (!hResInfo) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(Found(hResInfo)->resource.size);
}
