// The lab's private profile functions keep the files they read: what they answer must still follow the files.
#include "tests/lab/LabTestSupport.h"

#include <filesystem>
#include <string>
#include <vector>

using namespace labtest;

namespace {

std::string Get(const char* section, const char* key, const std::string& file)
{
    char buffer[64];
    DWORD n = GetPrivateProfileStringA(section, key, "missing", buffer, sizeof buffer, file.c_str());
    return std::string(buffer, n);
}

// Writes a file and has the lab read it, so that it is kept; its time as written.
std::filesystem::file_time_type WriteAndRead(const std::string& file, const std::string& text)
{
    testsupport::WriteText(file, text);
    char names[8];
    GetPrivateProfileStringA(nullptr, nullptr, "", names, sizeof names, file.c_str());
    return std::filesystem::last_write_time(file);
}

}  // namespace

// More files than are kept, asked in turn and again: each answers from its own text.
TEST(LabProfileFileCache, ManyFilesAnswerEachFromItsOwnText)
{
    ScratchDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 12; ++i) {
        files.push_back(dir.File("Module" + std::to_string(i) + ".ini"));
        testsupport::WriteText(files.back(), "[Module]\r\nIndex=" + std::to_string(i) + "\r\n[Other]\r\nKey=x\r\n");
    }
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(std::to_string(i), Get("module", "index", files[i])) << round << " " << i;
        for (int i = 11; i >= 0; --i)
            EXPECT_EQ(std::to_string(i), Get("MODULE", "Index", files[i])) << round << " " << i;
    }
}

// A file changed behind the lab's back is read again, even at the same size.
TEST(LabProfileFileCache, FilesChangedOnDiskAreReadAgain)
{
    ScratchDir dir;
    const std::string file = dir.File("Adapter.ini");
    const auto written = WriteAndRead(file, "[Device]\r\nName=first\r\n");

    testsupport::WriteText(file, "[Device]\r\nName=other\r\n");
    std::filesystem::last_write_time(file, written + std::chrono::seconds(1));
    EXPECT_EQ("other", Get("Device", "Name", file));

    testsupport::WriteText(file, "[Device]\r\nName=a longer one\r\n[Added]\r\nKey=1\r\n");
    EXPECT_EQ("a longer one", Get("Device", "Name", file));
    EXPECT_EQ(1u, GetPrivateProfileIntA("Added", "Key", 0, file.c_str()));

    std::filesystem::remove(file);
    EXPECT_EQ("missing", Get("Device", "Name", file));
}

// A write through the functions is seen at once, even when the file keeps its size and time.
TEST(LabProfileFileCache, WritesThroughTheFunctionsAreReadAgain)
{
    ScratchDir dir;
    const std::string file = dir.File("Module.ini");
    const auto written = WriteAndRead(file, "[Module]\r\nState=old\r\n");
    ASSERT_EQ("old", Get("Module", "State", file));

    ASSERT_TRUE(WritePrivateProfileStringA("Module", "State", "new", file.c_str()));
    std::filesystem::last_write_time(file, written);
    EXPECT_EQ("new", Get("Module", "State", file));

    ASSERT_TRUE(WritePrivateProfileStringA("Module", nullptr, nullptr, file.c_str()));
    std::filesystem::last_write_time(file, written);
    EXPECT_EQ("missing", Get("Module", "State", file));
    char sections[16] = "#";
    EXPECT_EQ(0u, GetPrivateProfileStringA(nullptr, nullptr, "", sections, sizeof sections, file.c_str()));
}

// Sections are found by name whatever their size and wherever they are, a section written twice as one.
TEST(LabProfileFileCache, LargeFilesFindEverySection)
{
    ScratchDir dir;
    const std::string file = dir.File("Adapter.ini");
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "[Vendor" + std::to_string(i) + "]\r\nName=vendor " + std::to_string(i) + "\r\n";
    text += "[vendor17]\r\nExtra=later\r\nName=shadowed\r\n";
    testsupport::WriteText(file, text);

    EXPECT_EQ("vendor 0", Get("Vendor0", "Name", file));
    EXPECT_EQ("vendor 4999", Get("vendor4999", "name", file));
    EXPECT_EQ("vendor 17", Get("VENDOR17", "Name", file));
    EXPECT_EQ("later", Get("Vendor17", "Extra", file));
    EXPECT_EQ("missing", Get("Vendor5000", "Name", file));

    char section[64];
    DWORD n = GetPrivateProfileSectionA("Vendor17", section, sizeof section, file.c_str());
    EXPECT_EQ(std::string("Name=vendor 17\0Extra=later\0Name=shadowed\0", 41), std::string(section, n));
    std::vector<char> names(100000);
    n = GetPrivateProfileStringA(nullptr, nullptr, "", names.data(), static_cast<DWORD>(names.size()), file.c_str());
    const std::string listed(names.data(), n);
    EXPECT_EQ(0u, listed.find(std::string("Vendor0\0Vendor1\0", 16)));
    EXPECT_EQ(std::string::npos, listed.find("vendor17"));  // listed once, as first written
}
