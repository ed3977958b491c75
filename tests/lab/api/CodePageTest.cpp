// Wide text to the ANSI code page, as the program turns platform names into report text.
#include "tests/lab/ApiTestSupport.h"

#include <string>

using apitest::ErrorOf;

namespace {

class ApiCodePage : public apitest::PlainMachine {};

}  // namespace

TEST_F(ApiCodePage, WideTextBecomesWindows1252OrTheDefaultCharacter)
{
    ASSERT_EQ(1252u, GetACP()) << "the machine's ANSI code page";
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
    szText[3] = '#';
    ASSERT_EQ(3, WideCharToMultiByte(CP_ACP, 0, wszText, 3, szText, sizeof szText, nullptr, &bUsedDefault));
    EXPECT_FALSE(bUsedDefault);
    EXPECT_EQ('#', szText[3]);
    // Without a default character of its own the code page's is used: a question mark.
    ASSERT_EQ(2, WideCharToMultiByte(CP_ACP, 0, wszText + 3, -1, szText, sizeof szText, nullptr, nullptr));
    EXPECT_STREQ("?", szText);

    // UTF-8 has every character.
    ASSERT_EQ(7, WideCharToMultiByte(CP_UTF8, 0, wszText + 1, 3, szText, sizeof szText, nullptr, nullptr));
    EXPECT_EQ(std::string("\xC3\xBC\xE2\x82\xAC\xD0\x96"), std::string(szText, 7));

    SetLastError(0);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              ErrorOf(WideCharToMultiByte(CP_ACP, 0, wszText, -1, szText, 4, nullptr, nullptr)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              ErrorOf(WideCharToMultiByte(CP_ACP, 0, wszText, 0, szText, sizeof szText, nullptr, nullptr)));
}

TEST_F(ApiCodePage, AnsiTextBecomesWideAgain)
{
    const char szText[] = "G\xFC\x80";
    EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, szText, -1, nullptr, 0));
    WCHAR wszText[8] = {};
    ASSERT_EQ(4, MultiByteToWideChar(CP_ACP, 0, szText, -1, wszText, 8));
    EXPECT_EQ(static_cast<WCHAR>('G'), wszText[0]);
    EXPECT_EQ(static_cast<WCHAR>(0x00FC), wszText[1]);
    EXPECT_EQ(static_cast<WCHAR>(0x20AC), wszText[2]);
    EXPECT_EQ(static_cast<WCHAR>(0), wszText[3]);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
              ErrorOf(MultiByteToWideChar(CP_ACP, 0, szText, -1, wszText, 2)));
}
