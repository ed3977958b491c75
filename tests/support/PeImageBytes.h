// PE files made up byte by byte around a resource section, for the tests and fuzz targets of the
// lab's PE reader.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace pe_bytes {

constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kSectionOffset = 0x200;
// The bit of a directory entry's offset that says a subdirectory follows.
constexpr uint32_t kSubdirectory = 0x80000000u;

inline void Put16(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    if (bytes.size() < at + 2)
        bytes.resize(at + 2);
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

// A resource directory at `at` of the section with (name field, offset field) entries.
inline void PutDirectory(std::vector<uint8_t>& section, size_t at,
                         const std::vector<std::pair<uint32_t, uint32_t>>& entries)
{
    Put16(section, at + 14, static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        Put32(section, at + 16 + i * 8, entries[i].first);
        Put32(section, at + 20 + i * 8, entries[i].second);
    }
}

// PE32+ headers of a DLL with one section ".rsrc", which is also the resource directory.
inline std::vector<uint8_t> ImageWithResources(const std::vector<uint8_t>& section)
{
    std::vector<uint8_t> file(kSectionOffset, 0);
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 0x3C, 0x40);
    std::memcpy(&file[0x40], "PE\0\0", 4);
    Put16(file, 0x44, 0x8664);  // machine
    Put16(file, 0x46, 1);       // sections
    Put16(file, 0x54, 240);     // optional header size
    Put16(file, 0x56, 0x2022);  // a DLL
    const size_t optional = 0x58;
    Put16(file, optional, 0x20B);
    Put32(file, optional + 60, kSectionOffset);  // size of headers
    Put16(file, optional + 68, 2);
    Put32(file, optional + 108, 16);
    Put32(file, optional + 112 + 2 * 8, kSectionRva);
    Put32(file, optional + 112 + 2 * 8 + 4, static_cast<uint32_t>(section.size()));
    const size_t header = optional + 240;
    std::memcpy(&file[header], ".rsrc", 5);
    Put32(file, header + 8, static_cast<uint32_t>(section.size()));
    Put32(file, header + 12, kSectionRva);
    Put32(file, header + 16, static_cast<uint32_t>(section.size()));
    Put32(file, header + 20, kSectionOffset);
    file.insert(file.end(), section.begin(), section.end());
    return file;
}

}  // namespace pe_bytes
