// The lab's wide-to-ANSI conversion, as the program turns platform names into report text.
#include "tests/lab/LabTestSupport.h"

#include <string>

TEST(LabCodePage, WideTextBecomesWindows1252)
{
    const WCHAR wszText[] = {L'G', 0x00FC, L'r', 0x20AC, L'?', 0};  // u-umlaut and the euro sign
    EXPECT_EQ(6, WideCharToMultiByte(CP_ACP, 0, wszText, -1, nullptr, 0, nullptr, nullptr));
    char szText[8] = "xxxxxxx";
    BOOL bUsedDefault = TRUE;
    ASSERT_EQ(6, WideCharToMultiByte(CP_ACP, 0, wszText, -1, szText, sizeof szText, nullptr, &bUsedDefault));
    EXPECT_EQ(std::string("G\xFCr\x80?"), szText);
    EXPECT_FALSE(bUsedDefault);

    // A counted text converts without a terminator.
    std::string counted(8, 'x');
    ASSERT_EQ(3, WideCharToMultiByte(CP_ACP, 0, wszText, 3, &counted[0], 8, nullptr, nullptr));
    EXPECT_EQ(std::string("G\xFCrxxxxx"), counted);
}

TEST(LabCodePage, CharactersOutsideTheCodePageAndShortBuffers)
{
    const WCHAR wszText[] = {L'a', 0x0416, L'b', 0};  // a Cyrillic letter Windows-1252 lacks
    char szText[8];
    BOOL bUsedDefault = FALSE;
    const char chDefault = '#';
    ASSERT_EQ(4, WideCharToMultiByte(CP_ACP, 0, wszText, -1, szText, sizeof szText, &chDefault, &bUsedDefault));
    EXPECT_STREQ("a#b", szText);
    EXPECT_TRUE(bUsedDefault);

    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, wszText, -1, szText, 3, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, wszText, 0, szText, sizeof szText, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0, WideCharToMultiByte(437, 0, wszText, -1, szText, sizeof szText, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}
