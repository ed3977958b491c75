// The folder listings drive C: looks names up in: case ignored, and every change seen, whoever makes it.
#include "lab/host/FolderCache.h"
#include "tests/lab/LabTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using labtest::ScratchDir;
using testsupport::WriteText;

// A cache that keeps a folder as soon as its last change lies before the clock's last tick.
class FolderCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = m_scratch.File("System32");
        fs::create_directories(m_folder + "/drivers");
        WriteText(m_folder + "/Base.dll", "base");
        WriteText(m_folder + "/kernel32.dll", "k");
        Settle();
    }

    // Past the coarse clock's tick, so that the folder's stamps lie before it.
    static void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(25)); }

    ScratchDir m_scratch;
    std::string m_folder;
    lab::host::FolderCache m_cache{timespec{0, 0}};
};

TEST_F(FolderCacheTest, NamesIgnoreCaseAndASettledFolderIsListedOnce)
{
    EXPECT_EQ(m_cache.Entry(m_folder, "BASE.DLL"), "Base.dll");
    EXPECT_EQ(m_cache.Entry(m_folder, "Kernel32.DLL"), "kernel32.dll");
    EXPECT_EQ(m_cache.Entry(m_folder, "DRIVERS"), "drivers");
    EXPECT_EQ(m_cache.Entry(m_folder, "none.dll"), "");
    EXPECT_EQ(m_cache.Listings(), 1u);

    // Two names Windows would take for one: the exact one, else the first in name order.
    WriteText(m_folder + "/base.DLL", "other");
    EXPECT_EQ(m_cache.Entry(m_folder, "base.DLL"), "base.DLL");
    EXPECT_EQ(m_cache.Entry(m_folder, "BASE.dll"), "Base.dll");

    EXPECT_EQ(m_cache.Entry(m_scratch.File("nowhere"), "Base.dll"), "");
    EXPECT_EQ(m_cache.Entry(m_folder + "/Base.dll", "x"), "");  // a file is no folder
}

TEST_F(FolderCacheTest, CreationRemovalAndRenamingAfterAListingAreSeen)
{
    ASSERT_EQ(m_cache.Entry(m_folder, "base.dll"), "Base.dll");

    WriteText(m_folder + "/New.dll", "new");
    EXPECT_EQ(m_cache.Entry(m_folder, "NEW.DLL"), "New.dll");
    fs::remove(m_folder + "/Base.dll");
    EXPECT_EQ(m_cache.Entry(m_folder, "base.dll"), "");
    fs::rename(m_folder + "/New.dll", m_folder + "/Renamed.dll");
    EXPECT_EQ(m_cache.Entry(m_folder, "new.dll"), "");
    EXPECT_EQ(m_cache.Entry(m_folder, "RENAMED.dll"), "Renamed.dll");
    fs::rename(m_folder + "/drivers", m_folder + "/Drivers");
    EXPECT_EQ(m_cache.Entry(m_folder, "drivers"), "Drivers");
}

TEST_F(FolderCacheTest, AChangeIsSeenWhenItsFolderKeepsItsModificationTime)
{
    ASSERT_EQ(m_cache.Entry(m_folder, "late.dll"), "");
    struct stat before;
    ASSERT_EQ(stat(m_folder.c_str(), &before), 0);
    WriteText(m_folder + "/Late.dll", "late");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, m_folder.c_str(), times, 0), 0);
    EXPECT_EQ(m_cache.Entry(m_folder, "late.dll"), "Late.dll");
}

TEST_F(FolderCacheTest, AFolderReplacedUnderTheSameNameIsListedAnew)
{
    ASSERT_EQ(m_cache.Entry(m_folder, "base.dll"), "Base.dll");
    fs::rename(m_folder, m_scratch.File("Old"));
    fs::create_directories(m_folder);
    WriteText(m_folder + "/BASE.DLL", "replaced");
    EXPECT_EQ(m_cache.Entry(m_folder, "base.dll"), "BASE.DLL");
}

TEST(FolderCacheUnsettledTest, AFolderChangedJustNowIsLookedUpAfresh)
{
    // The default cache keeps no folder changed in the last seconds: two changes close together may leave
    // one modification time on a file system that rounds it.
    ScratchDir scratch;
    lab::host::FolderCache cache;
    WriteText(scratch.File("One.txt"), "1");
    EXPECT_EQ(cache.Entry(scratch.Path(), "ONE.TXT"), "One.txt");
    WriteText(scratch.File("Two.txt"), "2");
    EXPECT_EQ(cache.Entry(scratch.Path(), "two.txt"), "Two.txt");
    fs::remove(scratch.File("One.txt"));
    EXPECT_EQ(cache.Entry(scratch.Path(), "one.txt"), "");
}

}  // namespace
