// The lab's wide-to-ANSI conversion, as the program turns platform names into report text.
#include "tests/lab/LabTestSupport.h"

#include <string>

using labtest::ErrorOf;

TEST(LabCodePage, WideTextBecomesWindows1252OrTheDefaultCharacter)
{
    // The u-umlaut and the euro sign are in Windows-1252 (the network suites read them back); a Cyrillic letter is not.
    const WCHAR wszText[] = {L'G', 0x00FC, 0x20AC, 0x0416, 0};
    EXPECT_EQ(5, WideCharToMultiByte(CP_ACP, 0, wszText, -1, nullptr, 0, nullptr, nullptr));
    char szText[8];
    BOOL bUsedDefault = FALSE;
    const char chDefault = '#';
    ASSERT_EQ(5, WideCharToMultiByte(CP_ACP, 0, wszText, -1, szText, sizeof szText, &chDefault, &bUsedDefault));
    EXPECT_EQ(std::string("G\xFC\x80#"), szText);
    EXPECT_TRUE(bUsedDefault);
    // A counted text converts without a terminator.
    ASSERT_EQ(3, WideCharToMultiByte(CP_ACP, 0, wszText, 3, szText, sizeof szText, nullptr, &bUsedDefault));
    EXPECT_FALSE(bUsedDefault);
    EXPECT_EQ('#', szText[3]);

    SetLastError(0);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              ErrorOf(WideCharToMultiByte(CP_ACP, 0, wszText, -1, szText, 4, nullptr, nullptr)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              ErrorOf(WideCharToMultiByte(CP_ACP, 0, wszText, 0, szText, sizeof szText, nullptr, nullptr)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              ErrorOf(WideCharToMultiByte(437, 0, wszText, -1, szText, sizeof szText, nullptr, nullptr)));
}
