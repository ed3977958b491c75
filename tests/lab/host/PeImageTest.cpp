// The lab's PE reader on resource trees made up byte by byte: what it lists, it finds.
#include "lab/host/PeImage.h"
#include "tests/support/PeImageBytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

using pe_bytes::kSectionRva;
using pe_bytes::kSubdirectory;
using pe_bytes::Put32;

// One resource of the given type field and name 1, in two languages given by their name fields; the data of
// each is its index as one byte.
std::vector<uint8_t> Tree(uint32_t typeField, uint32_t languageField0, uint32_t languageField1)
{
    std::vector<uint8_t> s;
    auto directory = [&](size_t at, const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
        pe_bytes::PutDirectory(s, at, entries);
    };
    directory(0x00, {{typeField, kSubdirectory | 0x18}});
    directory(0x18, {{1, kSubdirectory | 0x30}});
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
    ASSERT_TRUE(image.Parse(pe_bytes::ImageWithResources(Tree(16, 0x00010409, 0x0407))));
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
    ASSERT_TRUE(image.Parse(pe_bytes::ImageWithResources(Tree(0x00020010, 0x0409, 0x0407))));
    lab::host::PeResource resource;
    EXPECT_EQ(lab::host::PeImage::Lookup::Found, image.FindResource(16, 1, nullptr, resource));
    EXPECT_EQ(image.Languages(16, 1), (std::vector<uint16_t>{0x0409, 0x0407}));
    EXPECT_EQ(lab::host::PeImage::Lookup::TypeNotFound, image.FindResource(11, 1, nullptr, resource));
}
