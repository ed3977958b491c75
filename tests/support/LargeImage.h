// A small PE file made large as real programs are: a section of filler bytes inserted in the file
// before its resource section, which moves back in the file but keeps its place in memory.
#pragma once

#include "lab/win32/ImageHeaders.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

template <typename T>
T ImageField(const std::vector<uint8_t>& bytes, size_t at)
{
    T value;
    bytes.at(at + sizeof(T) - 1);  // throws for a field past the end
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

template <typename T>
void SetImageField(std::vector<uint8_t>& bytes, size_t at, const T& value)
{
    bytes.at(at + sizeof(T) - 1);
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// The name of the section InsertFillerSection adds: longer than a section header holds, so it is
// in a COFF string table at the end of the file, as linkers write debug sections' names.
const char* const kFillerName = ".filler_data";

// Inserts cbFiller bytes (rounded up to the file alignment) as a new section kFillerName before the
// ".rsrc" section of a PE32+ image. False when the image has no ".rsrc", has symbols, or has no room
// for one more section header.
inline bool InsertFillerSection(std::vector<uint8_t>& image, uint32_t cbFiller)
{
    const auto dos = ImageField<IMAGE_DOS_HEADER>(image, 0);
    const size_t fileHeaderAt = static_cast<size_t>(dos.e_lfanew) + 4;
    auto fileHeader = ImageField<IMAGE_FILE_HEADER>(image, fileHeaderAt);
    const size_t optionalAt = fileHeaderAt + sizeof(IMAGE_FILE_HEADER);
    auto optional = ImageField<IMAGE_OPTIONAL_HEADER64>(image, optionalAt);
    if (optional.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return false;
    const size_t sectionsAt = optionalAt + fileHeader.SizeOfOptionalHeader;
    const size_t newHeaderAt = sectionsAt + fileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER);
    if (newHeaderAt + sizeof(IMAGE_SECTION_HEADER) > optional.SizeOfHeaders || fileHeader.PointerToSymbolTable != 0)
        return false;
    cbFiller = (cbFiller + optional.FileAlignment - 1) / optional.FileAlignment * optional.FileAlignment;

    uint32_t insertAt = 0;
    for (size_t i = 0; i < fileHeader.NumberOfSections; ++i) {
        auto section = ImageField<IMAGE_SECTION_HEADER>(image, sectionsAt + i * sizeof(IMAGE_SECTION_HEADER));
        if (std::string(reinterpret_cast<const char*>(section.Name), 5) == ".rsrc")
            insertAt = section.PointerToRawData;
    }
    if (insertAt == 0)
        return false;
    for (size_t i = 0; i < fileHeader.NumberOfSections; ++i) {
        const size_t at = sectionsAt + i * sizeof(IMAGE_SECTION_HEADER);
        auto section = ImageField<IMAGE_SECTION_HEADER>(image, at);
        if (section.PointerToRawData >= insertAt)
            section.PointerToRawData += cbFiller;
        SetImageField(image, at, section);
    }

    IMAGE_SECTION_HEADER filler = {};
    std::memcpy(filler.Name, "/4", 2);  // the first name of a string table, after its size
    filler.Misc.VirtualSize = cbFiller;
    filler.VirtualAddress = (optional.SizeOfImage + optional.SectionAlignment - 1) / optional.SectionAlignment *
                            optional.SectionAlignment;
    filler.SizeOfRawData = cbFiller;
    filler.PointerToRawData = insertAt;
    filler.Characteristics = 0x40000040;  // initialized data, readable
    SetImageField(image, newHeaderAt, filler);
    ++fileHeader.NumberOfSections;
    fileHeader.PointerToSymbolTable = static_cast<uint32_t>(image.size() + cbFiller);
    SetImageField(image, fileHeaderAt, fileHeader);
    optional.SizeOfImage = filler.VirtualAddress + cbFiller;
    SetImageField(image, optionalAt, optional);

    std::vector<uint8_t> bytes(cbFiller);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 9));  // no run a reader could take for padding
    image.insert(image.begin() + insertAt, bytes.begin(), bytes.end());
    const std::string names = std::string(kFillerName) + '\0';
    const size_t tableAt = image.size();
    image.resize(tableAt + 4);
    SetImageField(image, tableAt, static_cast<uint32_t>(4 + names.size()));
    image.insert(image.end(), names.begin(), names.end());
    return true;
}

}  // namespace testsupport
