// The lab's version.dll on real PE files: strings, translations, the default profile's files, and bad files.
#include "tests/lab/PeFixtures.h"

#include "lab/host/PeImage.h"
#include "tests/support/TempProfile.h"

#include <cstring>

using namespace labtest;

namespace {

// One file's version block as the program loads it: size first, then the block.
struct VersionBlock {
    explicit VersionBlock(const std::string& path)
    {
        DWORD dwHandle = 0xDEAD;
        DWORD dwSize = GetFileVersionInfoSizeA(path.c_str(), &dwHandle);
        dwError = GetLastError();
        EXPECT_EQ(0u, dwHandle);
        if (dwSize == 0)
            return;
        data.resize(dwSize);
        bLoaded = GetFileVersionInfoA(path.c_str(), 0, dwSize, data.data()) != FALSE;
        dwError = GetLastError();
    }

    // The value as VerQueryValueA gives it; "<none>" when the query fails.
    std::string String(const std::string& query) const
    {
        LPVOID pValue = nullptr;
        UINT uLen = 0;
        if (!VerQueryValueA(data.data(), query.c_str(), &pValue, &uLen))
            return "<none>";
        return std::string(static_cast<const char*>(pValue));
    }
    std::string Value(const std::string& table, const std::string& name) const
    {
        return String("\\StringFileInfo\\" + table + "\\" + name);
    }
    VS_FIXEDFILEINFO Fixed() const
    {
        LPVOID pValue = nullptr;
        UINT uLen = 0;
        VS_FIXEDFILEINFO info{};
        if (VerQueryValueA(data.data(), "\\", &pValue, &uLen) && uLen == sizeof info)
            std::memcpy(&info, pValue, sizeof info);
        return info;
    }
    std::vector<WORD> Translations() const
    {
        LPVOID pValue = nullptr;
        UINT uLen = 0;
        std::vector<WORD> words;
        if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &pValue, &uLen))
            words.assign(static_cast<const WORD*>(pValue), static_cast<const WORD*>(pValue) + uLen / 2);
        return words;
    }

    std::vector<uint8_t> data;
    bool bLoaded = false;
    DWORD dwError = 0;
};

DWORD SizeError(const std::string& path)
{
    SetLastError(0);
    DWORD dwSize = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    return dwSize == 0 ? GetLastError() : 0;
}

}  // namespace

TEST(LabVersion, OneTranslationGivesItsFixedInfoTableAndStrings)
{
    VersionBlock block(Fixture("OneTranslation.dll"));
    ASSERT_TRUE(block.bLoaded) << block.dwError;

    VS_FIXEDFILEINFO info = block.Fixed();
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), info.dwSignature);
    EXPECT_EQ(0x00040014u, info.dwFileVersionMS);
    EXPECT_EQ(0x04A30002u, info.dwFileVersionLS);
    EXPECT_EQ((std::vector<WORD>{0x0409, 0x04B0}), block.Translations());

    EXPECT_EQ("Quillmont", block.Value("040904B0", "CompanyName"));
    EXPECT_EQ("", block.Value("040904B0", "Comments"));
    // Text in the ANSI code page: the copyright sign is one byte, what it lacks becomes '?'.
    EXPECT_EQ("Copyright \xA9 2024 Quillmont", block.Value("040904B0", "LegalCopyright"));
    EXPECT_EQ("? build", block.Value("040904B0", "SpecialBuild"));

    LPVOID pValue = nullptr;
    UINT uLen = 0;
    ASSERT_TRUE(VerQueryValueA(block.data.data(), "\\StringFileInfo\\040904B0\\CompanyName", &pValue, &uLen));
    EXPECT_EQ(10u, uLen);  // characters with the terminator
    EXPECT_GE(static_cast<uint8_t*>(pValue), block.data.data());
    EXPECT_LT(static_cast<uint8_t*>(pValue), block.data.data() + block.data.size());

    // Keys ignore case; separators may be doubled, trailing or missing at the start.
    EXPECT_EQ("Quillmont", block.String("\\stringfileinfo\\040904b0\\COMPANYNAME"));
    EXPECT_EQ("Quillmont", block.String("StringFileInfo\\\\040904B0\\CompanyName\\"));
    EXPECT_EQ("<none>", block.Value("040904B0", "PrivateBuild"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
    EXPECT_EQ("<none>", block.Value("040704B0", "CompanyName"));
    EXPECT_EQ("<none>", block.Value("040904B0", "CompanyName\\More"));
}

TEST(LabVersion, FilesWithoutVersionFailWithWindowsErrors)
{
    ScratchDir dir;
    WriteBytes(dir.File("text.txt"), {'h', 'e', 'l', 'l', 'o'});
    WriteBytes(dir.File("empty.dll"), {});

    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), SizeError(dir.File("missing.dll")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), SizeError(dir.File("nodir/missing.dll")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), SizeError("D:\\Windows\\x.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), SizeError(dir.Path()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), SizeError(Fixture("NoVersion.dll")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), SizeError(Fixture("NoResources.dll")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), SizeError(dir.File("text.txt")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), SizeError(dir.File("empty.dll")));

    std::vector<uint8_t> buffer(64, 0xCC);
    SetLastError(0);
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND),
              ErrorOf(GetFileVersionInfoA(Fixture("NoVersion.dll").c_str(), 0, 64, buffer.data())));
    EXPECT_EQ(std::vector<uint8_t>(64, 0xCC), buffer);

    // A driver image reads like any other, through a Z: path as well as a POSIX one.
    std::string zPath = "Z:" + Fixture("Driver.sys");
    VersionBlock driver(zPath);
    ASSERT_TRUE(driver.bLoaded) << driver.dwError;
    EXPECT_EQ(static_cast<DWORD>(VFT_DRV), driver.Fixed().dwFileType);
    EXPECT_EQ(static_cast<DWORD>(VFT2_DRV_SYSTEM), driver.Fixed().dwFileSubtype);
}

TEST(LabVersion, AShortBufferGetsTheStartOfTheBlockAndNothingBeyond)
{
    const std::string path = Fixture("OneTranslation.dll");
    DWORD dwSize = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(dwSize, 200u);

    // Room for the fixed info, but not for the strings at the end.
    const DWORD dwShort = 120;
    std::vector<uint8_t> buffer(dwSize, 0xCC);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, dwShort, buffer.data()));
    EXPECT_EQ(std::vector<uint8_t>(dwSize - dwShort, 0xCC),
              std::vector<uint8_t>(buffer.begin() + dwShort, buffer.end()));
    LPVOID pValue = nullptr;
    UINT uLen = 0;
    ASSERT_TRUE(VerQueryValueA(buffer.data(), "\\", &pValue, &uLen));
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), static_cast<VS_FIXEDFILEINFO*>(pValue)->dwSignature);
    EXPECT_FALSE(VerQueryValueA(buffer.data(), "\\VarFileInfo\\Translation", &pValue, &uLen));

    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              ErrorOf(GetFileVersionInfoA(path.c_str(), 0, 3, buffer.data())));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              ErrorOf(GetFileVersionInfoA(path.c_str(), 0, dwSize, nullptr)));

    // Not a block GetFileVersionInfoA made (its length is the one thing a reader has to trust).
    std::vector<uint8_t> garbage(64, 0x41);
    garbage[0] = 64;
    garbage[1] = 0;
    EXPECT_FALSE(VerQueryValueA(garbage.data(), "\\", &pValue, &uLen));
}

TEST(LabVersion, ChangedFilesOnDriveCAreReadFromTheState)
{
    CTempProfile profile("");
    profile.PlaceFixture("NoVersion.dll", "Bin/Module.dll");
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), SizeError("C:\\Bin\\Module.dll"));

    // An update the program (or a test) wrote over the profile's copy.
    std::filesystem::create_directories(profile.StateDir() + "/drive_c/Bin");
    std::filesystem::copy_file(Fixture("OneTranslation.dll"), profile.StateDir() + "/drive_c/Bin/Module.dll");
    EXPECT_EQ("4.20.1187.2", VersionBlock("c:\\Bin\\Module.dll").Value("040904B0", "FileVersion"));
}

TEST(LabVersion, DamagedFilesFailWithoutReadingPastTheirData)
{
    ScratchDir dir;
    const std::string path = dir.File("damaged.dll");
    const std::vector<uint8_t> good = ReadBytes(Fixture("OneTranslation.dll"));
    ASSERT_GT(good.size(), 1024u);

    lab::host::PeImage image;
    ASSERT_TRUE(image.Parse(good));
    EXPECT_TRUE(image.IsDll());
    lab::host::PeResource resource;
    ASSERT_EQ(lab::host::PeImage::Lookup::Found, image.FindResource(16, 1, nullptr, resource));
    EXPECT_EQ(0x0409, resource.language);
    const size_t versionAt = static_cast<size_t>(resource.data - image.Bytes().data());

    // Cut anywhere: before the resource data the file has none; after it, nothing is missing.
    for (size_t length = 0; length < good.size(); length += 11) {
        WriteBytes(path, std::vector<uint8_t>(good.begin(), good.begin() + length));
        DWORD dwError = SizeError(path);
        if (length >= versionAt + resource.size)
            EXPECT_EQ(0u, dwError) << length;
        else
            EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), dwError) << length;
    }

    // A version block whose root is not "VS_VERSION_INFO" is no version block.
    std::vector<uint8_t> renamed = good;
    renamed[versionAt + 6] = 'X';
    WriteBytes(path, renamed);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), SizeError(path));

}
