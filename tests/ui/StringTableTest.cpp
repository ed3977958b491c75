// The string table in the user's language: exact lookups and the fall-back to the default language and English.
#include "src/ui/StringTable.h"

#include "src/ui/StringIds.h"
#include "tests/support/LanguageMachine.h"

#include <gtest/gtest.h>

namespace {

using StringTableTest = CLanguageMachineTest;

TEST_F(StringTableTest, ExactLanguageOnly)
{
    Machine(1033, 1033);
    EXPECT_EQ(LoadStringForLanguage(IDS_MAIN_CAPTION, 1033), "Quillmont Agents Diagnostics Tool");
    EXPECT_EQ(LoadStringForLanguage(IDS_MAIN_CAPTION, 1031), "Quillmont Agenten Diagnose Report");
    EXPECT_EQ(LoadStringForLanguage(IDS_MAIN_CAPTION, 1036), "");
    // An entry the German table leaves out, and ids no table has (in a block that exists, and not).
    EXPECT_EQ(LoadStringForLanguage(174, 1031), "");
    EXPECT_EQ(LoadStringForLanguage(143, 1033), "");
    EXPECT_EQ(LoadStringForLanguage(4000, 1033), "");
}

TEST_F(StringTableTest, ThreadLocaleThenUserDefaultThenEnglish)
{
    Machine(1033, 1031);
    EXPECT_EQ(LoadLocalizedString(186), "Neustart der Quillmont Agenten");
    EXPECT_EQ(LoadLocalizedString(IDS_MAIN_START), "S&tarten");
    // English only: shown in English under any locale.
    EXPECT_EQ(LoadLocalizedString(195), "Service dependencies found!");
    EXPECT_EQ(LoadLocalizedString(174), "\"%s\" service depends on \"%s\" service and has to be stopped first!");

    // No table for the thread's language: the user's default language decides.
    Machine(1031, 1036);
    EXPECT_EQ(LoadLocalizedString(186), "Neustart der Quillmont Agenten");
    Machine(1036, 1036);
    EXPECT_EQ(LoadLocalizedString(186), "Restart Quillmont Agents");
    // An explicit language wins over the thread's.
    EXPECT_EQ(LoadLocalizedString(IDS_MAIN_CAPTION, 1031), "Quillmont Agenten Diagnose Report");
    EXPECT_EQ(LoadLocalizedString(4000), "");
}

TEST_F(StringTableTest, TextsKeepTheirLineEndsAndFormatFields)
{
    Machine(1033, 1033);
    EXPECT_EQ(LoadLocalizedString(139), "CANCELLED\r\n");
    EXPECT_EQ(LoadLocalizedString(156), "Completed: %d error(s), %d warning(s)");
    // German letters arrive in the ANSI code page.
    EXPECT_EQ(LoadStringForLanguage(IDS_STEP_NETWORK, 1031), "Netzwerkkonfiguration wird gepr\xFC" "ft ...");
}

}  // namespace
