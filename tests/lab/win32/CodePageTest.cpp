// The lab's code pages: what it leaves out. The conversions themselves are tested in both builds, in tests/lab/api.
#include "tests/lab/LabTestSupport.h"

using labtest::ErrorOf;

// Only the ANSI code page and UTF-8 are modelled; Windows would also convert to the OEM and other code pages.
TEST(LabCodePage, OtherCodePagesAreRefused)
{
    const WCHAR wszText[] = {L'G', 0x00FC, 0};
    char szText[8];
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              ErrorOf(WideCharToMultiByte(437, 0, wszText, -1, szText, sizeof szText, nullptr, nullptr)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              ErrorOf(MultiByteToWideChar(850, 0, "G", -1, nullptr, 0)));
}
