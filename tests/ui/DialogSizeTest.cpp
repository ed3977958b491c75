// A dialog's size kept under the user's key from one session to the next.
#include "src/ui/DialogSize.h"

#include "tests/support/TempProfile.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

namespace {

using testsupport::RegDword;
using testsupport::RegLine;
using testsupport::RegString;

const char kKey[] = "[HKEY_CURRENT_USER\\Software\\Marrowby\\Triagist]\r\n";

TEST(DialogSizeTest, ASavedSizeIsLoadedNextTime)
{
    CTempProfile profile("");
    CDialogSize saved(121);
    ASSERT_TRUE(saved.Save(900, 640));
    CDialogSize loaded(121);
    loaded.Load();
    EXPECT_EQ(loaded.m_cx, 900);
    EXPECT_EQ(loaded.m_cy, 640);
    EXPECT_TRUE(loaded.HasStoredSize());
    // Each dialog has its own pair of values.
    CDialogSize other(119);
    other.Load();
    EXPECT_FALSE(other.HasStoredSize());
}

TEST(DialogSizeTest, OnlyFourByteDwordsAreTaken)
{
    CTempProfile profile(std::string(kKey) + RegLine("dialog_124_cx", RegDword(700)) +
                         RegLine("dialog_124_cy", RegString("500")) + RegLine("dialog_121_cx", "hex:20,03") +
                         RegLine("dialog_121_cy", RegDword(480)));
    CDialogSize msi(124);
    msi.Load();
    EXPECT_EQ(msi.m_cx, 700);
    EXPECT_EQ(msi.m_cy, 0);
    EXPECT_FALSE(msi.HasStoredSize());
    CDialogSize main(121);
    main.Load();
    EXPECT_EQ(main.m_cx, 0);
    EXPECT_EQ(main.m_cy, 480);
}

TEST(DialogSizeTest, AMaximisedDialogKeepsItsRestoredSizeAndOpensMaximised)
{
    CTempProfile profile("");
    // Closed maximised: the placement's normal rectangle is the size, not the screen's.
    RECT rcNormal = {120, 80, 920, 680};
    ASSERT_TRUE(CDialogSize(119).SavePlacement(rcNormal, true));
    CDialogSize loaded(119);
    loaded.Load();
    EXPECT_EQ(loaded.m_cx, 800);
    EXPECT_EQ(loaded.m_cy, 600);
    EXPECT_TRUE(loaded.m_bMaximized);

    // Closed restored: it opens restored next time.
    ASSERT_TRUE(CDialogSize(119).SavePlacement(rcNormal, false));
    loaded.Load();
    EXPECT_FALSE(loaded.m_bMaximized);
    EXPECT_EQ(loaded.m_cx, 800);
}

TEST(DialogSizeTest, AStoredZeroKeepsTheTemplateSize)
{
    CTempProfile profile(std::string(kKey) + RegLine("dialog_121_cx", RegDword(0)) +
                         RegLine("dialog_121_cy", RegDword(480)));
    CDialogSize size(121);
    size.Load();
    EXPECT_FALSE(size.HasStoredSize());
}

}  // namespace
