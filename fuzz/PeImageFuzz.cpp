// Feeds damaged and made-up PE files to the lab's PE reader, its version.dll and its FormatMessageA,
// and checks that every answer lies inside the data it came from.
//
// The first byte chooses how the rest becomes a file: as it stands; as the resource section of
// valid headers; or as the data of a valid resource tree holding a version resource and message
// tables in two languages, so that the fuzzer soon reaches the parsers of those formats.
#include "lab/host/PeImage.h"
#include "src/platform/Win32.h"
#include "tests/support/PeImageBytes.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void Require(bool bHolds, const char* what)
{
    if (!bHolds) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

using pe_bytes::kSectionRva;
using pe_bytes::Put32;

// A resource tree: type 16 (version, English) and type 11 (messages, English and German), name 1.
std::vector<uint8_t> ResourceSection(const std::vector<std::string>& data)
{
    std::vector<uint8_t> s;
    auto directory = [&](size_t at, const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
        pe_bytes::PutDirectory(s, at, entries);
    };
    const uint32_t high = pe_bytes::kSubdirectory;
    directory(0x00, {{11, high | 0x20}, {16, high | 0x38}});
    directory(0x20, {{1, high | 0x50}});
    directory(0x38, {{1, high | 0x70}});
    directory(0x50, {{0x409, 0x90}, {0x407, 0xA0}});
    directory(0x70, {{0x409, 0xB0}});
    size_t next = 0xC0;
    const size_t entryAt[] = {0xB0, 0x90, 0xA0};  // version, English messages, German messages
    for (size_t i = 0; i < 3; ++i) {
        Put32(s, entryAt[i], kSectionRva + static_cast<uint32_t>(next));
        Put32(s, entryAt[i] + 4, static_cast<uint32_t>(data[i].size()));
        s.resize(next);
        s.insert(s.end(), data[i].begin(), data[i].end());
        next = (s.size() + 3) & ~size_t(3);
    }
    return s;
}

// The start of a version resource, so that the fuzzer works on what follows it.
std::string VersionStart(const std::string& rest)
{
    std::string block(6, '\0');
    for (char c : std::string("VS_VERSION_INFO")) {
        block += c;
        block += '\0';
    }
    block.append(2, '\0');
    block += rest;
    const size_t length = block.size() > 0xFFFF ? 0xFFFF : block.size();
    block[0] = static_cast<char>(length & 0xFF);
    block[1] = static_cast<char>(length >> 8);
    block[2] = 52;  // a fixed file info follows
    return block;
}

bool Inside(const void* p, size_t size, const void* base, size_t total)
{
    auto* q = static_cast<const uint8_t*>(p);
    auto* b = static_cast<const uint8_t*>(base);
    return q >= b && size <= total && q - b <= static_cast<ptrdiff_t>(total - size);
}

void CheckImage(const lab::host::PeImage& image, FuzzedDataProvider& provider)
{
    const std::vector<uint8_t>& bytes = image.Bytes();
    for (int i = 0; i < 4; ++i) {
        const uint32_t rva = provider.ConsumeIntegral<uint32_t>();
        const uint32_t size = provider.ConsumeIntegralInRange<uint32_t>(0, 0x10000);
        size_t offset = 0;
        if (image.RvaToOffset(rva, size, offset))
            Require(offset <= bytes.size() && size <= bytes.size() - offset, "RvaToOffset within the file");
    }
    const lab::host::ResourceId types[] = {11, 16, lab::host::ResourceId("MUI"), 0x8000};
    for (const lab::host::ResourceId& type : types) {
        lab::host::PeResource resource;
        if (image.FindResource(type, 1, nullptr, resource) == lab::host::PeImage::Lookup::Found)
            Require(Inside(resource.data, resource.size, bytes.data(), bytes.size()), "resource within the file");
        for (uint16_t language : image.Languages(type, 1)) {
            auto lookup = image.FindResource(type, 1, &language, resource);
            Require(lookup == lab::host::PeImage::Lookup::Found || lookup == lab::host::PeImage::Lookup::Damaged,
                    "a listed language is found");
            if (lookup == lab::host::PeImage::Lookup::Found)
                Require(resource.language == language, "the language asked for");
        }
    }
}

void CheckVersion(const std::string& path)
{
    DWORD dwSize = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    if (dwSize == 0)
        return;
    for (DWORD dwLen : {dwSize, dwSize / 2 + 4}) {
        std::vector<uint8_t> block(dwLen);
        Require(GetFileVersionInfoA(path.c_str(), 0, dwLen, block.data()) != FALSE,
                "the size was given, so the block is");
        LPVOID pValue = nullptr;
        UINT uLen = 0;
        if (VerQueryValueA(block.data(), "\\", &pValue, &uLen))
            Require(Inside(pValue, uLen, block.data(), block.size()), "fixed info within the block");
        std::vector<std::string> queries = {"\\VarFileInfo\\Translation", "\\StringFileInfo\\040904B0\\FileVersion"};
        if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &pValue, &uLen)) {
            Require(Inside(pValue, uLen, block.data(), block.size()), "translations within the block");
            const auto* words = static_cast<const uint8_t*>(pValue);
            for (UINT i = 0; i + 4 <= uLen && i < 16; i += 4) {
                char table[64];
                std::snprintf(table, sizeof table, "\\StringFileInfo\\%02X%02X%02X%02X\\CompanyName", words[i + 1],
                              words[i], words[i + 3], words[i + 2]);
                queries.push_back(table);
            }
        }
        for (const std::string& query : queries) {
            if (VerQueryValueA(block.data(), query.c_str(), &pValue, &uLen))
                Require(Inside(pValue, uLen, block.data(), block.size()), "value within the block");
        }
    }
}

void CheckMessages(const std::string& path, bool bImage, FuzzedDataProvider& provider)
{
    HMODULE hModule = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    Require((hModule != nullptr) == bImage, "every image maps as a data file, nothing else does");
    if (!hModule)
        return;
    static const char kText[16] = "insert";  // zeros enough to end it read as UTF-16 too
    std::vector<DWORD_PTR> args(200, reinterpret_cast<DWORD_PTR>(kText));
    for (int i = 0; i < 4; ++i) {
        const DWORD dwId = i == 0 ? 1 : provider.ConsumeIntegral<uint32_t>();
        const DWORD dwLanguage = provider.PickValueInArray({0x0u, 0x400u, 0x409u, 0x407u});
        const DWORD dwFlags = provider.PickValueInArray({0x2900u, 0x0B00u, 0x29FFu, 0x2914u});
        LPSTR pszMessage = nullptr;
        DWORD n = FormatMessageA(dwFlags, hModule, dwId, dwLanguage, reinterpret_cast<LPSTR>(&pszMessage), 0,
                                 reinterpret_cast<va_list*>(args.data()));
        if (n != 0) {
            Require(pszMessage != nullptr && std::strlen(pszMessage) == n, "the length returned is the text's");
            Require(LocalFree(pszMessage) == nullptr, "the buffer is the local heap's");
        } else {
            Require(pszMessage == nullptr, "no buffer after a failure");
        }
    }
    Require(FreeLibrary(hModule) != FALSE, "a data file is freed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const int mode = provider.ConsumeIntegralInRange<int>(0, 3);
    std::vector<uint8_t> file;
    if (mode == 0) {
        file = provider.ConsumeBytes<uint8_t>(provider.ConsumeIntegralInRange<size_t>(0, 8192));
    } else if (mode == 1) {
        file = pe_bytes::ImageWithResources(provider.ConsumeBytes<uint8_t>(provider.ConsumeIntegralInRange<size_t>(0, 8192)));
    } else {
        std::string version = provider.ConsumeRandomLengthString(2048);
        if (mode == 3)
            version = VersionStart(version);
        std::string english = provider.ConsumeRandomLengthString(2048);
        std::string german = provider.ConsumeRandomLengthString(2048);
        file = pe_bytes::ImageWithResources(ResourceSection({version, english, german}));
        if (provider.ConsumeBool() && !file.empty())
            file.resize(provider.ConsumeIntegralInRange<size_t>(0, file.size()));  // cut short
    }

    lab::host::PeImage image;
    const bool bImage = image.Parse(file);
    CheckImage(image, provider);

    // The lab's functions take paths, so each input is written to one file of this process.
    struct ScratchFile {
        ScratchFile()
        {
            const char* tmp = std::getenv("TMPDIR");
            path = std::string(tmp && *tmp ? tmp : "/tmp") + "/PeImageFuzz-" + std::to_string(getpid()) + ".dll";
        }
        ~ScratchFile() { std::remove(path.c_str()); }
        std::string path;
    };
    static const ScratchFile scratch;
    const std::string& path = scratch.path;
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(file.data(), 1, file.size(), out);
        std::fclose(out);
        CheckVersion(path);
        CheckMessages(path, bImage, provider);
    }
    return 0;
}
