// Large files as the capture keeps them: a large image reduced to what the lab reads of it the same
// way, every other file whole.
#include "src/capture/FileCopy.h"
#include "src/capture/ReducedImage.h"
#include "tests/lab/PeFixtures.h"
#include "tests/support/LargeImage.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

using namespace labtest;

namespace {

const std::string kEvents =
    std::string(TRIAGIST_LAB_DEFAULT_PROFILE_DIR) + "/drive_c/Program Files/Quillmont/Ravelin/Bin/RvEvents.dll";
const uint32_t kFiller = 3 * 1024 * 1024;

SFileCopy Copy(const std::string& path)
{
    SFileCopy copy;
    EXPECT_EQ(ReadFileCopy(path.c_str(), copy), static_cast<DWORD>(ERROR_SUCCESS)) << path;
    return copy;
}

// The version resource as GetFileVersionInfoA gives it; empty when there is none.
std::vector<BYTE> VersionBlock(const std::string& path)
{
    DWORD dwHandle = 0;
    DWORD cb = GetFileVersionInfoSizeA(path.c_str(), &dwHandle);
    std::vector<BYTE> block(cb);
    if (cb == 0 || !GetFileVersionInfoA(path.c_str(), 0, cb, block.data()))
        block.clear();
    return block;
}

std::string VersionString(std::vector<BYTE>& block, const char* pszName)
{
    LPVOID pValue = nullptr;
    UINT cch = 0;
    std::string query = std::string("\\StringFileInfo\\040904B0\\") + pszName;
    if (block.empty() || !VerQueryValueA(block.data(), query.c_str(), &pValue, &cch))
        return "<none>";
    return static_cast<const char*>(pValue);
}

// The resources as binutils' windres, a reader of PE files of its own, lists them.
std::string Resources(const std::string& path)
{
    const std::string out = path + ".rc";
    const std::string command = std::string("'") + TRIAGIST_WINDRES + "' -i '" + path + "' -O rc -o '" + out + "' 2>&1";
    if (std::system(command.c_str()) != 0)
        return "<not read>";
    return testsupport::ReadText(out);
}

std::vector<uint8_t> LargeEvents()
{
    std::vector<uint8_t> image = ReadBytes(kEvents);
    EXPECT_TRUE(testsupport::InsertFillerSection(image, kFiller));
    return image;
}

TEST(ReducedImage, ALargeImageReducedKeepsItsVersionAndResources)
{
    ScratchDir dir;
    const std::vector<uint8_t> large = LargeEvents();
    WriteBytes(dir.File("RvEvents.dll"), large);
    // The filler alone makes the file large; the reader must still find the resources behind it.
    ASSERT_GT(large.size(), REDUCE_IMAGES_ABOVE);
    std::vector<BYTE> original = VersionBlock(dir.File("RvEvents.dll"));
    ASSERT_FALSE(original.empty());
    EXPECT_EQ(VersionString(original, "FileDescription"), "Ravelin Event Messages");

    SFileCopy copy = Copy(dir.File("RvEvents.dll"));
    EXPECT_EQ(copy.kind, ECopyKind::Reduced);
    EXPECT_EQ(copy.cbOriginal, large.size());
    EXPECT_LT(copy.bytes.size(), 16u * 1024) << "the filler went into the copy";
    WriteBytes(dir.File("reduced.dll"), copy.bytes);

    std::vector<BYTE> reduced = VersionBlock(dir.File("reduced.dll"));
    EXPECT_EQ(reduced, original);
    EXPECT_EQ(VersionString(reduced, "FileVersion"), "4.20.1187.0");
    const std::string resources = Resources(dir.File("RvEvents.dll"));
    EXPECT_NE(resources.find("VERSIONINFO"), std::string::npos) << resources;
    EXPECT_EQ(Resources(dir.File("reduced.dll")), resources);

    // The copy is a PE file of its own: reduced again it stays what it is.
    std::vector<BYTE> again;
    EImageReduction outcome = EImageReduction::NotImage;
    HANDLE hFile = CreateFileA(dir.File("reduced.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReduceImageFile(hFile, copy.bytes.size(), again, outcome), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(hFile);
    EXPECT_EQ(outcome, EImageReduction::Reduced);
    EXPECT_EQ(again, copy.bytes);
}

TEST(ReducedImage, LargeFilesThatAreNoImageWithResourcesAreCopiedWhole)
{
    ScratchDir dir;
    std::vector<uint8_t> garbage(REDUCE_IMAGES_ABOVE + 4096);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<uint8_t>(i * 131 + 17);
    std::vector<uint8_t> noResources = ReadBytes(Fixture("NoResources.dll"));
    noResources.resize(REDUCE_IMAGES_ABOVE * 2, 0x5A);  // data appended after the image, as installers carry
    std::vector<uint8_t> cutShort = LargeEvents();
    cutShort.resize(cutShort.size() - 64);  // the end of the resource section is missing
    std::vector<uint8_t> lostHeaders = garbage;
    lostHeaders[0] = 'M';
    lostHeaders[1] = 'Z';
    const uint32_t pastTheEnd = static_cast<uint32_t>(garbage.size()) - 8;
    std::memcpy(&lostHeaders[0x3C], &pastTheEnd, sizeof pastTheEnd);
    std::vector<uint8_t> small = ReadBytes(kEvents);

    for (const auto& file : {std::make_pair("garbage.dll", &garbage), std::make_pair("NoResources.dll", &noResources),
                             std::make_pair("cut.dll", &cutShort), std::make_pair("lost.dll", &lostHeaders),
                             std::make_pair("small.dll", &small)}) {
        WriteBytes(dir.File(file.first), *file.second);
        SFileCopy copy = Copy(dir.File(file.first));
        EXPECT_EQ(copy.kind, ECopyKind::Whole) << file.first;
        EXPECT_TRUE(copy.bytes == *file.second) << file.first;
    }
}

TEST(ReducedImage, AFileTooLargeToReadWholeIsLeftOutUnlessItIsAnImage)
{
    ScratchDir dir;
    // Sparse: the size counts, not the blocks.
    const off_t cbHuge = (off_t(1) << 32) + 4096;
    int fd = open(dir.File("huge.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, cbHuge), 0);
    close(fd);
    SFileCopy copy = Copy(dir.File("huge.bin"));
    EXPECT_EQ(copy.kind, ECopyKind::TooLarge);
    EXPECT_EQ(copy.cbOriginal, static_cast<ULONGLONG>(cbHuge));
    EXPECT_TRUE(copy.bytes.empty());

    // The same size behind the image's resources still makes a small copy.
    std::vector<uint8_t> image = LargeEvents();
    WriteBytes(dir.File("huge.dll"), image);
    fd = open(dir.File("huge.dll").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, cbHuge), 0);
    close(fd);
    copy = Copy(dir.File("huge.dll"));
    EXPECT_EQ(copy.kind, ECopyKind::Reduced);
    EXPECT_LT(copy.bytes.size(), 16u * 1024);
}

}  // namespace
