// The lab's message boxes: answers from the test's queue, the profile's script or the default button, each journaled.
#include "lab/host/Host.h"
#include "lab/win32/UserControl.h"
#include "src/platform/Win32.h"
#include "tests/support/TempProfile.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

using lab::host::Host;

namespace {

HWND Window(uintptr_t value)
{
    return reinterpret_cast<HWND>(value);
}

// Without a terminal the console is not asked, so the default button answers.
bool ConsoleWouldAsk()
{
    return isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
}

}  // namespace

TEST(MessageBox, QueuedAnswersComeBeforeTheProfilesAndEveryCallIsJournaled)
{
    CTempProfile profile("", "[MessageBox]\nAnswers=No\n");
    lab::win32::QueueMessageBoxAnswers({IDOK, IDOK});
    lab::win32::ClearMessageBoxAnswers();
    EXPECT_EQ(lab::win32::PendingMessageBoxAnswers(), 0u);
    lab::win32::QueueMessageBoxAnswers({IDCANCEL});
    EXPECT_EQ(MessageBoxA(Window(0x1234), "First", nullptr, MB_RETRYCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "Second", "Q", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(Host::Instance().Journal(),
              (std::vector<std::string>{"MessageBoxA owner=0x1234 style=0x5 caption=\"Error\" text=\"First\" -> 2",
                                        "MessageBoxA owner=0x0 style=0x24 caption=\"Q\" text=\"Second\" -> 7"}));
}

TEST(MessageBox, TheProfileScriptRunsOnceThenTheDefaultButtonAnswers)
{
    if (ConsoleWouldAsk())
        GTEST_SKIP() << "run from a terminal: the console would be asked";
    CTempProfile profile("", "[MessageBox]\nAnswers=Retry, 2, bogus\n");
    lab::win32::ClearMessageBoxAnswers();
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_RETRYCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);  // "bogus" names no button
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_ABORTRETRYIGNORE), IDABORT);
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_OK | MB_DEFBUTTON4), IDOK);  // no fourth button: the first

    // Loading the profile again starts its script again.
    Host::Instance().LoadProfile(profile.Dir(), profile.StateDir());
    EXPECT_EQ(MessageBoxA(nullptr, "a", "b", MB_RETRYCANCEL), IDRETRY);
}
