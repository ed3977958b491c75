// The lab's PE reader on resource trees made up byte by byte: what it lists, it finds.
#include "lab/host/PeImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

void Put16(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    if (bytes.size() < at + 2)
        bytes.resize(at + 2);
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kSectionOffset = 0x200;
constexpr uint32_t kHigh = 0x80000000u;

// PE32+ headers of a DLL with one section ".rsrc", which is the resource directory.
std::vector<uint8_t> Image(const std::vector<uint8_t>& section)
{
    std::vector<uint8_t> file(kSectionOffset, 0);
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 0x3C, 0x40);
    std::memcpy(&file[0x40], "PE\0\0", 4);
    Put16(file, 0x44, 0x8664);
    Put16(file, 0x46, 1);
    Put16(file, 0x54, 240);
    Put16(file, 0x56, 0x2022);
    const size_t optional = 0x58;
    Put16(file, optional, 0x20B);
    Put32(file, optional + 60, kSectionOffset);
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

// One resource of the given type field and name 1, in two languages given by their name fields; the data of
// each is its index as one byte.
std::vector<uint8_t> Tree(uint32_t typeField, uint32_t languageField0, uint32_t languageField1)
{
    std::vector<uint8_t> s;
    auto directory = [&](size_t at, const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
        Put16(s, at + 14, static_cast<uint32_t>(entries.size()));
        for (size_t i = 0; i < entries.size(); ++i) {
            Put32(s, at + 16 + i * 8, entries[i].first);
            Put32(s, at + 20 + i * 8, entries[i].second);
        }
    };
    directory(0x00, {{typeField, kHigh | 0x18}});
    directory(0x18, {{1, kHigh | 0x30}});
    directory(0x30, {{languageField0, 0x50}, {languageField1, 0x60}});
    for (uint32_t i = 0; i < 2; ++i) {
        Put32(s, 0x50 + i * 0x10, kSectionRva + 0x70 + i * 4);
        Put32(s, 0x54 + i * 0x10, 1);
        Put32(s, 0x58 + i * 0x10, 1252);
        Put32(s, 0x70 + i * 4, i);
    }
    return s;
}

}  // namespace

// A language entry's name field with bits above the 16 of a language id: listed as its 16-bit id, and found
// by that same id, like every other language the reader lists.
TEST(LabPeImage, ListedLanguagesAreFoundByTheSameId)
{
    lab::host::PeImage image;
    ASSERT_TRUE(image.Parse(Image(Tree(16, 0x00010409, 0x0407))));
    const std::vector<uint16_t> languages = image.Languages(16, 1);
    ASSERT_EQ(languages, (std::vector<uint16_t>{0x0409, 0x0407}));
    for (size_t i = 0; i < languages.size(); ++i) {
        lab::host::PeResource resource;
        ASSERT_EQ(lab::host::PeImage::Lookup::Found, image.FindResource(16, 1, &languages[i], resource)) << i;
        EXPECT_EQ(resource.language, languages[i]);
        ASSERT_EQ(resource.size, 1u);
        EXPECT_EQ(resource.data[0], i);
        EXPECT_EQ(resource.codePage, 1252u);
    }
    const uint16_t french = 0x040C;
    lab::host::PeResource resource;
    EXPECT_EQ(lab::host::PeImage::Lookup::LanguageNotFound, image.FindResource(16, 1, &french, resource));
    // Without a language the first one listed.
    ASSERT_EQ(lab::host::PeImage::Lookup::Found, image.FindResource(16, 1, nullptr, resource));
    EXPECT_EQ(resource.language, 0x0409);
}

// Types and names are numbers of the same width: the bits above them do not make another resource.
TEST(LabPeImage, NumberedTypesAreSixteenBitsWide)
{
    lab::host::PeImage image;
    ASSERT_TRUE(image.Parse(Image(Tree(0x00020010, 0x0409, 0x0407))));
    lab::host::PeResource resource;
    EXPECT_EQ(lab::host::PeImage::Lookup::Found, image.FindResource(16, 1, nullptr, resource));
    EXPECT_EQ(image.Languages(16, 1), (std::vector<uint16_t>{0x0409, 0x0407}));
    EXPECT_EQ(lab::host::PeImage::Lookup::TypeNotFound, image.FindResource(11, 1, nullptr, resource));
}
