// The option parser: values, prefixes, quoting and what every caller relies on.
#include "src/app/OptionTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Parses a command line given as its arguments (the program name is added in front).
struct Parsed {
    explicit Parsed(std::vector<const char*> args)
    {
        argv.push_back(const_cast<char*>("triagist.exe"));
        for (const char* arg : args)
            argv.push_back(const_cast<char*>(arg));
        count = table.Parse(static_cast<int>(argv.size()), argv.data(), true);
    }
    std::vector<char*> argv;
    COptionTable table;
    int count;
};

}  // namespace

TEST(OptionTable, ValuesFollowTheirOption)
{
    Parsed p({"-RESTART", "verbose", "rescan"});
    EXPECT_EQ(p.count, 1);
    EXPECT_EQ(p.table.Value("-RESTART", 0, "?"), "verbose");
    EXPECT_EQ(p.table.Value("-RESTART", 1, "?"), "rescan");
    EXPECT_EQ(p.table.Value("-RESTART", 2, "none"), "none");
}

TEST(OptionTable, ArgumentsBeforeAnyOptionAreDropped)
{
    Parsed p({"x", "-DIAG", "-XMLREPORT", "c:\\r.xml"});
    EXPECT_EQ(p.count, 2);
    EXPECT_TRUE(p.table.Has("-DIAG"));
    EXPECT_EQ(p.table.Value("-DIAG", 0, "none"), "none");
    EXPECT_EQ(p.table.Value("-XMLREPORT", 0, ""), "c:\\r.xml");
    EXPECT_FALSE(p.table.Has("x"));
}

TEST(OptionTable, NamesAreUpperCasedButPrefixesStayDistinct)
{
    Parsed p({"-diag", "/diag", "-Lang", "ger"});
    EXPECT_EQ(p.count, 3);
    EXPECT_TRUE(p.table.Has("-DIAG"));
    EXPECT_TRUE(p.table.Has("/DIAG"));
    EXPECT_FALSE(p.table.Has("-diag"));
    EXPECT_EQ(p.table.Value("-LANG", 0, ""), "ger");  // values keep their case
}

TEST(OptionTable, UpperCasingCoversTheAnsiCodePage)
{
    Parsed p({"-gr\xfc\xdf"});  // u-umlaut has an upper case; sharp s has none
    EXPECT_TRUE(p.table.Has("-GR\xdc\xdf"));
}

TEST(OptionTable, DigitAfterPrefixMakesAValue)
{
    Parsed p({"-XMLREPORT", "-5", "/2"});
    EXPECT_EQ(p.count, 1);
    EXPECT_EQ(p.table.Value("-XMLREPORT", 0, ""), "-5");
    EXPECT_EQ(p.table.Value("-XMLREPORT", 1, ""), "/2");
    EXPECT_FALSE(COptionTable::IsOption("-"));
    EXPECT_FALSE(COptionTable::IsOption(nullptr));
    EXPECT_TRUE(COptionTable::IsOption("-x"));
}

TEST(OptionTable, FirstOccurrenceWinsAndItsConsumedValueIsLost)
{
    Parsed p({"-DIAG", "-XMLREPORT", "a.xml", "-XMLREPORT", "b.xml", "c.xml"});
    EXPECT_EQ(p.count, 2);
    EXPECT_EQ(p.table.Value("-XMLREPORT", 0, ""), "a.xml");
    // b.xml went with the repeated option; c.xml joins the first entry's list.
    EXPECT_EQ(p.table.Value("-XMLREPORT", 1, ""), "c.xml");
    EXPECT_EQ(p.table.Value("-XMLREPORT", 2, "none"), "none");
}

TEST(OptionTable, EmptyOrMissingValueReadsAsNotGiven)
{
    Parsed p({"-HTMLREPORT", "", "late", "-XMLREPORT"});
    EXPECT_EQ(p.table.Value("-HTMLREPORT", 0, ""), "late");  // the empty first value is skipped
    EXPECT_TRUE(p.table.Has("-XMLREPORT"));
    EXPECT_EQ(p.table.Value("-XMLREPORT", 0, ""), "");
}

TEST(OptionTable, NullArgumentsAreNeitherOptionsNorValues)
{
    Parsed p({"-A", nullptr, nullptr, "-B"});
    EXPECT_EQ(p.count, 2);
    EXPECT_EQ(p.table.Value("-A", 0, "none"), "none");
}

TEST(OptionTable, ParseStartsAfresh)
{
    Parsed p({"-DIAG"});
    char* argv[] = {const_cast<char*>("triagist.exe"), const_cast<char*>("value")};
    EXPECT_EQ(p.table.Parse(2, argv, true), 0);
    EXPECT_FALSE(p.table.Has("-DIAG"));
}
