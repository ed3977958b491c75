// The .reg file reader and writer of the lab's registry: every value form, the text encodings, errors with their line.
#include "lab/host/RegFile.h"
#include "lab/host/RegistryTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using lab::host::AnsiFromUtf16Le;
using lab::host::ParseRegFile;
using lab::host::RegFileEntry;
using lab::host::RegFileWriter;
using lab::host::Utf16LeFromAnsi;
namespace regtype = lab::host::regtype;
using namespace std::string_literals;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

std::vector<RegFileEntry> Parse(const std::string& text)
{
    std::vector<RegFileEntry> entries;
    std::string error;
    EXPECT_TRUE(ParseRegFile(text, entries, error)) << error;
    return entries;
}

std::string ParseError(const std::string& text)
{
    std::vector<RegFileEntry> entries;
    std::string error;
    EXPECT_FALSE(ParseRegFile(text, entries, error));
    EXPECT_TRUE(entries.empty());
    return error;
}

// The text of a written file back as ANSI, without the byte order mark.
std::string Text(const RegFileWriter& writer)
{
    std::string bytes = writer.Bytes();
    EXPECT_EQ(bytes.compare(0, 2, "\xFF\xFE"), 0);
    return AnsiFromUtf16Le(bytes.substr(2));
}

const char* const kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";

}  // namespace

// The forms regedit writes are read back in the writer's round trip below; these are the ones it never writes.
TEST(RegFileParse, ReadsCommentsShortNumbersAndDeletions)
{
    auto entries = Parse(std::string(kV5) +
                         "; a comment\r\n"
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
                         "\"Short\"=dword:7\r\n"
                         "\"Gone\"=-\r\n"
                         "\r\n"
                         "[-HKEY_CURRENT_USER\\Software\\Old]\r\n");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].kind, RegFileEntry::Kind::CreateKey);
    EXPECT_EQ(entries[0].keyPath, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor");
    EXPECT_EQ(entries[0].line, 4);
    EXPECT_EQ(entries[1].type, regtype::kDword);
    EXPECT_EQ(entries[1].data, (Bytes{7, 0, 0, 0}));
    EXPECT_EQ(entries[2].kind, RegFileEntry::Kind::DeleteValue);
    EXPECT_EQ(entries[2].valueName, "Gone");
    EXPECT_EQ(entries[3].kind, RegFileEntry::Kind::DeleteKey);
    EXPECT_EQ(entries[3].keyPath, "HKEY_CURRENT_USER\\Software\\Old");
    EXPECT_EQ(entries[3].line, 8);
}

TEST(RegFileParse, JoinsContinuedHexLinesAndAcceptsLineEndsOfAnyKind)
{
    auto entries = Parse("Windows Registry Editor Version 5.00\n"
                         "[HKLM\\X]\r"
                         "\"B\"=hex:01,02,\\\n"
                         "    03,04,\\\r\n"
                         "  05\n"
                         "\"After\"=dword:1\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].data, (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(entries[2].valueName, "After");
    EXPECT_EQ(entries[2].line, 6);
}

TEST(RegFileParse, Utf16FileTextBecomesWindows1252)
{
    // "é" and "€" exist in Windows-1252, "Ω" does not.
    std::string utf16 = "\xFF\xFE" + Utf16LeFromAnsi(kV5) +
                        Utf16LeFromAnsi("[HKEY_CURRENT_USER\\Caf") + std::string("\xE9\x00", 2) +
                        Utf16LeFromAnsi("]\r\n\"V\"=\"") + std::string("\xAC\x20\xA9\x03", 4) +
                        Utf16LeFromAnsi("\"\r\n\"E\"=hex(2):a9,03,e9,00,00,00\r\n");
    auto entries = Parse(utf16);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].keyPath, "HKEY_CURRENT_USER\\Caf\xE9");
    EXPECT_EQ(entries[1].data, B("\x80?\0"s));
    EXPECT_EQ(entries[2].data, B("?\xE9\0"s));
}

TEST(RegFileParse, Utf8WithByteOrderMarkIsAccepted)
{
    auto entries = Parse("\xEF\xBB\xBF" + std::string(kV5) + "[HKCU\\Caf\xC3\xA9]\r\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].keyPath, "HKCU\\Caf\xE9");
}

TEST(RegFileParse, MalformedInputIsReportedWithItsLine)
{
    EXPECT_NE(ParseError("[HKLM\\X]\r\n").find("line 1"), std::string::npos);
    EXPECT_NE(ParseError("REGEDIT5\r\n").find("not a registry file"), std::string::npos);

    struct Case {
        const char* body;
        const char* fragment;
    };
    const Case cases[] = {
        {"\"V\"=dword:1\r\n", "outside a key"},
        {"[HKLM\\X\r\n", "']'"},
        {"[]\r\n", "empty key name"},
        {"[HKLM\\X]\r\n\"V\"=dword:123456789\r\n", "dword"},
        {"[HKLM\\X]\r\n\"V\"=dword:xyz\r\n", "dword"},
        {"[HKLM\\X]\r\n\"V=\"x\"\r\n", "'='"},
        {"[HKLM\\X]\r\n\"V\"=\"open\r\n", "closing quote"},
        {"[HKLM\\X]\r\n\"V\"=\"a\\tb\"\r\n", "escape"},
        {"[HKLM\\X]\r\n\"V\"=\"a\" x\r\n", "after the closing quote"},
        {"[HKLM\\X]\r\n\"V\"=hex:01,,02\r\n", "missing byte"},
        {"[HKLM\\X]\r\n\"V\"=hex:01,123\r\n", "bad byte"},
        {"[HKLM\\X]\r\n\"V\"=hex(z):01\r\n", "hex(N)"},
        {"[HKLM\\X]\r\n\"V\"=hex(2):41,00,42\r\n", "odd number"},
        {"[HKLM\\X]\r\n\"V\"=hex:01,\\\r\n", "end of the file"},
        {"[HKLM\\X]\r\n\"V\"=word:1\r\n", "unknown value data"},
        {"[HKLM\\X]\r\nV=1\r\n", "neither a key nor a value"},
        {"[-HKLM\\X]\r\n\"V\"=dword:1\r\n", "outside a key"},
    };
    for (const Case& c : cases) {
        std::string error = ParseError(std::string(kV5) + c.body);
        EXPECT_NE(error.find(c.fragment), std::string::npos) << c.body << " -> " << error;
        EXPECT_EQ(error.compare(0, 5, "line "), 0) << error;
    }
    // The number is the failing line's, counted from the header.
    EXPECT_EQ(ParseError(std::string(kV5) + "[HKLM\\X]\r\n\r\n\"V\"=dword:\r\n").compare(0, 8, "line 5: "), 0);
}

TEST(RegFileWrite, ProducesVersion5WithRegeditForms)
{
    RegFileWriter writer;
    writer.Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor");
    writer.Value("", regtype::kSz, B("d\"q\\\0"s));
    writer.Value("Level", regtype::kDword, Bytes{0x2a, 0, 0, 0});
    writer.Value("Expand", regtype::kExpandSz, B("%A%\0"s));
    writer.Value("Big", regtype::kQword, Bytes{1, 0, 0, 0, 0, 0, 0, 0});
    writer.Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Empty");
    EXPECT_EQ(Text(writer), "Windows Registry Editor Version 5.00\r\n"
                            "\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
                            "@=\"d\\\"q\\\\\"\r\n"
                            "\"Level\"=dword:0000002a\r\n"
                            "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                            "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                            "\r\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Empty]\r\n"
                            "\r\n");
}

TEST(RegFileWrite, EveryValueSurvivesWritingAndReading)
{
    struct Value {
        std::string name;
        uint32_t type;
        Bytes data;
    };
    const std::vector<Value> values = {
        {"", regtype::kSz, B("x\0"s)},
        {"Plain", regtype::kSz, B("C:\\Temp\\\"q\" \xE9\x80\0"s)},
        {"No terminator", regtype::kSz, B("abc")},
        {"Inner zero", regtype::kSz, B("a\0b\0"s)},
        {"Line break", regtype::kSz, B("a\r\nb\0"s)},
        {"Empty sz", regtype::kSz, Bytes{}},
        {"Expand", regtype::kExpandSz, B("%SystemRoot%\\x\x81\x9F\0"s)},
        {"Multi", regtype::kMultiSz, B("one\0two\0\0"s)},
        {"Binary", regtype::kBinary, Bytes{0, 1, 0xfe, 0xff}},
        {"Empty binary", regtype::kBinary, Bytes{}},
        {"Dword", regtype::kDword, Bytes{0x78, 0x56, 0x34, 0x12}},
        {"Short dword", regtype::kDword, Bytes{1, 2, 3}},
        {"Qword", regtype::kQword, Bytes{1, 2, 3, 4, 5, 6, 7, 8}},
        {"None", regtype::kNone, Bytes{9}},
        {"Big endian", 5, Bytes{0, 0, 0, 1}},
        {"Huge type", 0xFFFF0001u, Bytes{42}},
        {"Quote\"and\\slash", regtype::kDword, Bytes{0, 0, 0, 0}},
        {"Long", regtype::kBinary, Bytes(100, 0xab)},
    };
    RegFileWriter writer;
    writer.Key("HKEY_CURRENT_USER\\Software\\Caf\xE9");
    for (const Value& v : values)
        writer.Value(v.name, v.type, v.data);

    // Long hex data is continued on further lines, as regedit writes it.
    std::string text = Text(writer);
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
    EXPECT_NE(text.find(",\\\r\n  ab,"), std::string::npos);

    std::vector<RegFileEntry> entries = Parse(writer.Bytes());
    ASSERT_EQ(entries.size(), values.size() + 1);
    EXPECT_EQ(entries[0].keyPath, "HKEY_CURRENT_USER\\Software\\Caf\xE9");
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(entries[i + 1].valueName, values[i].name);
        EXPECT_EQ(entries[i + 1].type, values[i].type) << values[i].name;
        EXPECT_EQ(entries[i + 1].data, values[i].data) << values[i].name;
    }
}

TEST(RegFileText, Windows1252ConvertsBothWays)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    EXPECT_EQ(AnsiFromUtf16Le(Utf16LeFromAnsi(all)), all);
    EXPECT_EQ(Utf16LeFromAnsi("\x80"), std::string("\xAC\x20", 2));
    // A surrogate pair is one character and so one '?'.
    EXPECT_EQ(AnsiFromUtf16Le(std::string("\x3D\xD8\x00\xDE" "A\x00", 6)), "?A");
}
