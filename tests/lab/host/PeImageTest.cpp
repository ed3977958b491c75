// The lab's PE reader on resource trees made up byte by byte: what it lists, it finds.
#include "lab/host/PeImage.h"
#include "tests/support/PeImageBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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

namespace {

// A file's bytes behind the reader a load is given, with what it was asked for.
struct CountingFile {
    std::vector<uint8_t> bytes;
    size_t calls = 0;
    size_t bytesRead = 0;
    size_t failAtCall = SIZE_MAX;

    lab::host::PeImage::FileReader Reader()
    {
        return [this](uint64_t offset, size_t size, std::vector<uint8_t>& out) {
            if (++calls == failAtCall)
                return false;
            const size_t begin = static_cast<size_t>(std::min<uint64_t>(offset, bytes.size()));
            const size_t end = std::min(bytes.size(), begin + size);
            out.assign(bytes.begin() + static_cast<std::ptrdiff_t>(begin), bytes.begin() + static_cast<std::ptrdiff_t>(end));
            bytesRead += out.size();
            return true;
        };
    }
    bool Load(lab::host::PeImage& image) { return image.Load(bytes.size(), Reader()); }
};

// The image of pe_bytes with count bytes put in at `at`, the offsets in the headers following them (the
// stated size of the headers stays: the section's addresses do not move).
std::vector<uint8_t> Spread(std::vector<uint8_t> file, size_t at, size_t count)
{
    const size_t sectionHeader = 0x58 + 240;
    uint32_t peOffset = 0x40;
    uint32_t rawOffset = pe_bytes::kSectionOffset;
    if (at <= peOffset)
        peOffset += static_cast<uint32_t>(count);
    if (at <= rawOffset)
        rawOffset += static_cast<uint32_t>(count);
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), count, 0xEE);
    const size_t headerShift = at <= 0x40 ? count : 0;
    pe_bytes::Put32(file, 0x3C, peOffset);
    pe_bytes::Put32(file, sectionHeader + 20 + headerShift, rawOffset);
    return file;
}

void ExpectSameResources(const lab::host::PeImage& expected, const lab::host::PeImage& actual, const std::string& what)
{
    ASSERT_EQ(expected.IsImage(), actual.IsImage()) << what;
    EXPECT_EQ(expected.Languages(16, 1), actual.Languages(16, 1)) << what;
    for (uint16_t language : {uint16_t(0x0409), uint16_t(0x0407), uint16_t(0x040C)}) {
        lab::host::PeResource want, got;
        const auto lookup = expected.FindResource(16, 1, &language, want);
        ASSERT_EQ(lookup, actual.FindResource(16, 1, &language, got)) << what << " " << language;
        if (lookup == lab::host::PeImage::Lookup::Found) {
            ASSERT_EQ(want.size, got.size) << what;
            EXPECT_EQ(0, std::memcmp(want.data, got.data, want.size)) << what;
        }
    }
}

}  // namespace

// A file loaded costs its headers and its resource section, however much else it holds.
TEST(LabPeImage, LoadingReadsHeadersAndResourcesOnly)
{
    const std::vector<uint8_t> compact = pe_bytes::ImageWithResources(Tree(16, 0x0409, 0x0407));
    CountingFile file;
    file.bytes = Spread(compact, pe_bytes::kSectionOffset, 1 << 20);  // code before the resources
    file.bytes.insert(file.bytes.end(), 1 << 20, 0x55);                 // and data after them
    lab::host::PeImage loaded, parsed;
    ASSERT_TRUE(file.Load(loaded));
    EXPECT_LE(file.bytesRead, 4096 + compact.size());
    EXPECT_LE(file.calls, 2u);
    EXPECT_TRUE(loaded.IsDll());
    ASSERT_TRUE(parsed.Parse(file.bytes));
    ExpectSameResources(parsed, loaded, "spread");

    // Headers that go on past the first read are read on.
    file = CountingFile{Spread(compact, 0x40, 6000)};
    ASSERT_TRUE(file.Load(loaded));
    ASSERT_TRUE(parsed.Parse(file.bytes));
    EXPECT_EQ(0x8664, loaded.Machine());
    ExpectSameResources(parsed, loaded, "long headers");
}

// A file that is no image stops the load at its first bytes.
TEST(LabPeImage, FilesThatAreNoImageCostOneSmallRead)
{
    std::vector<uint8_t> elf(1 << 20, 0);
    std::memcpy(elf.data(), "\x7F" "ELF", 4);
    std::vector<uint8_t> dosOnly = elf;
    dosOnly[0] = 'M';
    dosOnly[1] = 'Z';
    for (const std::vector<uint8_t>& bytes : {elf, dosOnly, std::vector<uint8_t>{'M', 'Z'}, std::vector<uint8_t>{}}) {
        CountingFile file{bytes};
        lab::host::PeImage image;
        EXPECT_FALSE(file.Load(image)) << bytes.size();
        EXPECT_FALSE(image.IsImage());
        EXPECT_EQ(1u, file.calls);
        EXPECT_LE(file.bytesRead, 4096u);
    }
}

// A file cut anywhere answers a load as it answers a parse of the same bytes; a read that fails fails the load.
TEST(LabPeImage, LoadingAgreesWithParsingOnCutFiles)
{
    const std::vector<uint8_t> whole = Spread(pe_bytes::ImageWithResources(Tree(16, 0x0409, 0x0407)), 0x40, 5000);
    for (size_t length = 0; length <= whole.size(); length += 7) {
        CountingFile file{std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length))};
        lab::host::PeImage loaded, parsed;
        EXPECT_EQ(parsed.Parse(file.bytes), file.Load(loaded)) << length;
        ExpectSameResources(parsed, loaded, std::to_string(length));
    }
    for (size_t failing : {1u, 2u, 3u}) {
        CountingFile file{whole};
        file.failAtCall = failing;
        lab::host::PeImage image;
        EXPECT_FALSE(file.Load(image)) << failing;
    }
}
