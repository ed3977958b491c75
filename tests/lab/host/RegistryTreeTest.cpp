// The lab's registry tree: key and value order, loading and saving .reg text, volatile keys, and concurrent use.
#include "lab/host/RegFile.h"
#include "lab/host/RegistryTree.h"
#include "tests/lab/LabTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using lab::host::RegHive;
using lab::host::RegistryTree;
using lab::host::RegKeyInfo;
using lab::host::RegResult;
using lab::host::RegValue;
using lab::host::kRegView32;
using lab::host::kRegView64;
namespace regtype = lab::host::regtype;
using namespace std::string_literals;

namespace {

using Bytes = std::vector<uint8_t>;
using KeyRef = RegistryTree::KeyRef;

Bytes B(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

KeyRef Create(RegistryTree& tree, const std::string& path, uint32_t sam = 0)
{
    KeyRef key;
    EXPECT_EQ(tree.CreatePath(path, sam, key), RegResult::Success) << path;
    return key;
}

std::vector<std::string> SubkeyNames(RegistryTree& tree, const KeyRef& key)
{
    std::vector<std::string> names;
    std::string name;
    for (uint32_t i = 0; tree.EnumKey(key, i, name) == RegResult::Success; ++i)
        names.push_back(name);
    return names;
}

std::vector<std::string> ValueNames(RegistryTree& tree, const KeyRef& key)
{
    std::vector<std::string> names;
    RegValue value;
    for (uint32_t i = 0; tree.EnumValue(key, i, value) == RegResult::Success; ++i)
        names.push_back(value.name);
    return names;
}

// Every key and value below all hives, one line each, in enumeration order.
void Dump(RegistryTree& tree, const KeyRef& key, std::vector<std::string>& lines)
{
    lines.push_back("[" + tree.PathOf(key) + "]");
    RegValue value;
    for (uint32_t i = 0; tree.EnumValue(key, i, value) == RegResult::Success; ++i) {
        std::string line = value.name + " " + std::to_string(value.type) + ":";
        for (uint8_t b : value.data)
            line += " " + std::to_string(b);
        lines.push_back(line);
    }
    std::string name;
    for (uint32_t i = 0; tree.EnumKey(key, i, name) == RegResult::Success; ++i) {
        KeyRef child;
        EXPECT_EQ(tree.OpenKey(key, name, 0, child), RegResult::Success);
        Dump(tree, child, lines);
    }
}

std::vector<std::string> Dump(RegistryTree& tree)
{
    std::vector<std::string> lines;
    for (RegHive hive : {RegHive::ClassesRoot, RegHive::CurrentUser, RegHive::LocalMachine, RegHive::Users,
                         RegHive::CurrentConfig})
        Dump(tree, tree.Root(hive), lines);
    return lines;
}

void Load(RegistryTree& tree, const std::string& text)
{
    std::string error;
    EXPECT_TRUE(tree.LoadRegText(text, error)) << error;
}

// A REGEDIT4 file with every kind of value; its hex(2)/hex(7) bytes are 8-bit.
const char* const kRegedit4 =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product]\r\n"
    "@=\"default text\"\r\n"
    "\"Path\"=\"C:\\\\Program Files\\\\Vendor\"\r\n"
    "\"Level\"=dword:00000005\r\n"
    "\"Blob\"=hex:00,11,22,33,44,55,66,77,88,99,aa,bb,cc,dd,ee,ff,00,11,22,33,44,55,66,\\\r\n"
    "  77,88,99,aa,bb,cc,dd,ee,ff\r\n"
    "\"Expand\"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,78,00\r\n"
    "\"Multi\"=hex(7):6f,6e,65,00,74,77,6f,00,00\r\n"
    "\"Quad\"=hex(b):01,00,00,00,00,00,00,80\r\n"
    "\"Nothing\"=hex(0):\r\n"
    "\"Custom\"=hex(1234):ab\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Empty]\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Caf\xE9]\r\n"
    "\"Name \\\"quoted\\\"\"=\"na\xEFve \x80\"\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\.txt]\r\n"
    "@=\"txtfile\"\r\n"
    "[HKEY_USERS\\.DEFAULT]\r\n"
    "[HKEY_CURRENT_CONFIG\\System]\r\n";

}  // namespace

TEST(RegistryTreeOrder, SubkeysSortIgnoringCaseAndValuesKeepTheirPlace)
{
    RegistryTree tree;
    KeyRef parent = Create(tree, "HKLM\\SOFTWARE\\Order");
    for (const char* name : {"delta", "Alpha", "charlie", "BRAVO", "alpha2", "a", "a_b", "aB"})
        Create(tree, "HKLM\\SOFTWARE\\Order\\" + std::string(name));
    // Compared in upper case, as the registry does, so '_' sorts after the letters.
    EXPECT_EQ(SubkeyNames(tree, parent),
              (std::vector<std::string>{"a", "aB", "Alpha", "alpha2", "a_b", "BRAVO", "charlie", "delta"}));
    std::vector<std::string> listed;
    ASSERT_EQ(tree.SubKeyNames(parent, listed), RegResult::Success);
    EXPECT_EQ(listed, SubkeyNames(tree, parent));  // in one pass as one by one

    // Windows-1252 letters fold too.
    Create(tree, "HKCU\\Caf\xE9");
    KeyRef key;
    ASSERT_EQ(tree.OpenPath("hkcu\\CAF\xC9", 0, key), RegResult::Success);
    EXPECT_EQ(tree.PathOf(key), "HKEY_CURRENT_USER\\Caf\xE9");

    ASSERT_EQ(tree.SetValue(key, "Zeta", regtype::kDword, Bytes{1, 0, 0, 0}), RegResult::Success);
    ASSERT_EQ(tree.SetValue(key, "alpha", regtype::kSz, B("a\0"s)), RegResult::Success);
    ASSERT_EQ(tree.SetValue(key, "", regtype::kSz, B("default\0"s)), RegResult::Success);
    ASSERT_EQ(tree.SetValue(key, "ZETA", regtype::kQword, Bytes(8, 7)), RegResult::Success);
    EXPECT_EQ(ValueNames(tree, key), (std::vector<std::string>{"Zeta", "alpha", ""}));
    RegValue value;
    ASSERT_EQ(tree.GetValue(key, "zeta", value), RegResult::Success);
    EXPECT_EQ(value.name, "Zeta");
    EXPECT_EQ(value.type, regtype::kQword);
}

TEST(RegistryTreeFiles, LoadMergesDeletesAndIsAllOrNothing)
{
    RegistryTree tree;
    Load(tree, kRegedit4);
    Load(tree, "Windows Registry Editor Version 5.00\r\n"
               "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Empty]\r\n"
               "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Never\\There]\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product]\r\n"
               "\"Path\"=-\r\n"
               "\"Added\"=dword:00000001\r\n"
               "\"level\"=dword:00000006\r\n");
    KeyRef key;
    ASSERT_EQ(tree.OpenPath("HKLM\\SOFTWARE\\Vendor\\Product", 0, key), RegResult::Success);
    EXPECT_TRUE(SubkeyNames(tree, key).empty());
    EXPECT_EQ(ValueNames(tree, key),
              (std::vector<std::string>{"", "Level", "Blob", "Expand", "Multi", "Quad", "Nothing", "Custom", "Added"}));
    RegValue value;
    ASSERT_EQ(tree.GetValue(key, "Level", value), RegResult::Success);
    EXPECT_EQ(value.data, (Bytes{6, 0, 0, 0}));

    std::vector<std::string> before = Dump(tree);
    std::string error;
    EXPECT_FALSE(tree.LoadRegText("REGEDIT4\r\n[HKLM\\SOFTWARE\\New]\r\n\"A\"=dword:1\r\n[HKEY_BOGUS\\X]\r\n", error));
    EXPECT_EQ(error.compare(0, 7, "line 4:"), 0) << error;
    EXPECT_FALSE(tree.LoadRegText("REGEDIT4\r\n[-HKEY_LOCAL_MACHINE]\r\n", error));
    EXPECT_FALSE(tree.LoadRegText("REGEDIT4\r\n[HKLM\\New]\r\n\"A\"=dword:\r\n", error));
    EXPECT_EQ(Dump(tree), before);

    EXPECT_FALSE(tree.LoadRegFile("/nonexistent/registry.reg", error));
}

TEST(RegistryTreeFiles, Regedit4RoundTripsThroughAVersion5File)
{
    RegistryTree original;
    Load(original, kRegedit4);
    KeyRef key;
    RegValue value;
    ASSERT_EQ(original.OpenPath("HKLM\\SOFTWARE\\Vendor\\Product", 0, key), RegResult::Success);
    ASSERT_EQ(original.GetValue(key, "Expand", value), RegResult::Success);
    EXPECT_EQ(value.data, B("%SystemRoot%\\x\0"s));

    std::string saved = original.SaveRegText();
    EXPECT_EQ(saved.compare(0, 2, "\xFF\xFE"), 0);
    RegistryTree copy;
    Load(copy, saved);
    EXPECT_EQ(Dump(copy), Dump(original));
    // Saving is stable: the copy saves to the same bytes.
    EXPECT_EQ(copy.SaveRegText(), saved);
}

TEST(RegistryTreeFiles, SaveLeavesVolatileKeysOut)
{
    labtest::ScratchDir dir;
    ASSERT_FALSE(dir.Path().empty());
    RegistryTree tree;
    KeyRef stable = Create(tree, "HKLM\\SYSTEM\\Stable");
    KeyRef fleeting;
    ASSERT_EQ(tree.CreateKey(stable, "Volatile", 0, true, fleeting), RegResult::Success);
    KeyRef key;
    EXPECT_EQ(tree.CreateKey(fleeting, "Lasting", 0, false, key), RegResult::ChildMustBeVolatile);
    EXPECT_EQ(tree.CreateKey(fleeting, "AlsoVolatile", 0, true, key), RegResult::Success);

    std::string file = dir.Path() + "/saved.reg";
    ASSERT_TRUE(tree.SaveRegFile(file));
    RegistryTree reloaded;
    std::string error;
    ASSERT_TRUE(reloaded.LoadRegFile(file, error)) << error;
    EXPECT_EQ(reloaded.OpenPath("HKLM\\SYSTEM\\Stable", 0, key), RegResult::Success);
    EXPECT_EQ(reloaded.OpenPath("HKLM\\SYSTEM\\Stable\\Volatile", 0, key), RegResult::NotFound);
    EXPECT_FALSE(tree.SaveRegFile(dir.Path() + "/missing/dir/saved.reg"));
}

TEST(RegistryTreeState, ClearLeavesEmptyHivesAndDeletesHeldKeys)
{
    RegistryTree tree;
    Load(tree, kRegedit4);
    KeyRef held;
    ASSERT_EQ(tree.OpenPath("HKLM\\SOFTWARE\\Vendor", 0, held), RegResult::Success);
    KeyRef oldRoot = tree.Root(RegHive::LocalMachine);
    tree.Clear();
    RegValue value;
    EXPECT_EQ(tree.GetValue(held, "", value), RegResult::KeyDeleted);
    EXPECT_EQ(tree.GetValue(oldRoot, "", value), RegResult::KeyDeleted);
    std::vector<std::string> empty = {"[HKEY_CLASSES_ROOT]", "[HKEY_CURRENT_USER]", "[HKEY_LOCAL_MACHINE]",
                                      "[HKEY_USERS]", "[HKEY_CURRENT_CONFIG]"};
    EXPECT_EQ(Dump(tree), empty);
}

TEST(RegistryTreeState, ConcurrentWritersAndReadersSeeAConsistentTree)
{
    RegistryTree tree;
    const int kThreads = 4;
    const int kKeys = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&tree, t] {
            for (int i = 0; i < kKeys; ++i) {
                KeyRef key;
                std::string path = "HKLM\\SOFTWARE\\Shared\\T" + std::to_string(t) + "K" + std::to_string(i);
                if (tree.CreatePath(path, 0, key) != RegResult::Success)
                    return;
                tree.SetValue(key, "Index", regtype::kDword, Bytes{static_cast<uint8_t>(i), 0, 0, 0});
                if (i % 10 == 0)
                    tree.SaveRegText();
                if (i % 2 == 1)
                    tree.DeleteKey(key, "", 0);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    KeyRef shared;
    ASSERT_EQ(tree.OpenPath("HKLM\\SOFTWARE\\Shared", 0, shared), RegResult::Success);
    std::vector<std::string> names = SubkeyNames(tree, shared);
    EXPECT_EQ(names.size(), static_cast<size_t>(kThreads * kKeys / 2));
    for (const std::string& name : names) {
        KeyRef key;
        RegValue value;
        ASSERT_EQ(tree.OpenKey(shared, name, 0, key), RegResult::Success);
        ASSERT_EQ(tree.GetValue(key, "index", value), RegResult::Success);
        EXPECT_EQ(value.data[0] % 2, 0) << name;
    }
}
