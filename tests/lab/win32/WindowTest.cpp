// The lab's windows: dialogs made from templates, their controls, texts, styles, messages and destruction.
#include "lab/win32/Handles.h"
#include "lab/win32/WindowControl.h"
#include "src/platform/Win32.h"
#include "src/ui/ControlIds.h"
#include "tests/lab/PeFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What a dialog procedure heard, and what it answers.
struct Recorder {
    std::vector<UINT> messages;
    HWND hInitFocus = nullptr;
    LPARAM initParam = 0;
    bool bChildAliveAtDestroy = false;
    UINT uAnswered = WM_USER + 7;  // handled with DWLP_MSGRESULT 42
};

INT_PTR CALLBACK RecordingProc(HWND hDlg, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
    if (uMessage == WM_INITDIALOG) {
        SetWindowLongPtrA(hDlg, GWLP_USERDATA, lParam);
        auto pRecorder = reinterpret_cast<Recorder*>(lParam);
        pRecorder->hInitFocus = reinterpret_cast<HWND>(wParam);
        pRecorder->initParam = lParam;
    }
    auto pRecorder = reinterpret_cast<Recorder*>(GetWindowLongPtrA(hDlg, GWLP_USERDATA));
    if (!pRecorder)
        return FALSE;
    pRecorder->messages.push_back(uMessage);
    if (uMessage == WM_DESTROY)
        pRecorder->bChildAliveAtDestroy = IsWindow(GetDlgItem(hDlg, IDC_NEW_MODULE_NAME)) != FALSE;
    if (uMessage == pRecorder->uAnswered) {
        SetWindowLongPtrA(hDlg, DWLP_MSGRESULT, 42);
        return TRUE;
    }
    return uMessage == WM_INITDIALOG;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { SetThreadLocale(1033); }
    void TearDown() override
    {
        if (IsWindow(m_hDialog))
            DestroyWindow(m_hDialog);
        SetThreadLocale(1033);
    }

    // The program's "Add new debug module" dialog: a label, a name field, OK (disabled) and Cancel.
    HWND NewModuleDialog()
    {
        m_hDialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_NEW_MODULE), nullptr, RecordingProc,
                                       reinterpret_cast<LPARAM>(&m_recorder));
        return m_hDialog;
    }

    std::string Text(HWND hWnd)
    {
        char sz[256];
        int cch = GetWindowTextA(hWnd, sz, sizeof(sz));
        return std::string(sz, static_cast<size_t>(cch));
    }

    Recorder m_recorder;
    HWND m_hDialog = nullptr;
};

TEST_F(WindowTest, DialogFromTemplateHasItsControlsAndHearsInitDialogFirst)
{
    HWND hDlg = NewModuleDialog();
    ASSERT_NE(hDlg, nullptr);
    ASSERT_FALSE(m_recorder.messages.empty());
    EXPECT_EQ(m_recorder.messages.front(), static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(m_recorder.initParam, reinterpret_cast<LPARAM>(&m_recorder));
    // Focus goes to the first enabled tab stop: the name field, not the label or the disabled OK.
    EXPECT_EQ(m_recorder.hInitFocus, GetDlgItem(hDlg, IDC_NEW_MODULE_NAME));

    std::vector<HWND> children = lab::win32::ChildWindows(hDlg);
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(GetDlgCtrlID(children[0]), -1);
    EXPECT_EQ(Text(children[0]), "Module Name:");
    EXPECT_EQ(GetParent(children[1]), hDlg);

    char szClass[32];
    ASSERT_GT(GetClassNameA(hDlg, szClass, sizeof(szClass)), 0);
    EXPECT_STREQ(szClass, "#32770");

    SetLastError(0);
    EXPECT_EQ(GetDlgItem(hDlg, 4711), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
}

TEST_F(WindowTest, TextsBySetterMessageAndDialogItem)
{
    HWND hDlg = NewModuleDialog();
    ASSERT_NE(hDlg, nullptr);
    HWND hName = GetDlgItem(hDlg, IDC_NEW_MODULE_NAME);
    EXPECT_EQ(GetWindowTextLengthA(hName), 0);

    EXPECT_TRUE(SetDlgItemTextA(hDlg, IDC_NEW_MODULE_NAME, "VexilTrace"));
    EXPECT_EQ(GetWindowTextLengthA(hName), 10);
    char sz[5] = "xxxx";
    // A short buffer gets what fits and its terminator.
    EXPECT_EQ(GetWindowTextA(hName, sz, sizeof(sz)), 4);
    EXPECT_STREQ(sz, "Vexi");
    EXPECT_EQ(GetDlgItemTextA(hDlg, IDC_NEW_MODULE_NAME, sz, 1), 0u);
    EXPECT_STREQ(sz, "");

    EXPECT_EQ(SendMessageA(hName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Gr\xFC\xDF")), TRUE);
    char szBig[32];
    EXPECT_EQ(SendMessageA(hName, WM_GETTEXT, sizeof(szBig), reinterpret_cast<LPARAM>(szBig)), 4);
    EXPECT_STREQ(szBig, "Gr\xFC\xDF");
    EXPECT_EQ(SendMessageA(hName, WM_GETTEXTLENGTH, 0, 0), 4);
    EXPECT_TRUE(SetWindowTextA(hName, nullptr));
    EXPECT_EQ(GetWindowTextLengthA(hName), 0);

    // Text messages stay out of the dialog procedure.
    EXPECT_TRUE(SetWindowTextA(hDlg, "Neues Modul"));
    EXPECT_EQ(Text(hDlg), "Neues Modul");
    EXPECT_EQ(m_recorder.messages, std::vector<UINT>{WM_INITDIALOG});

    EXPECT_EQ(GetDlgItemTextA(hDlg, 4711, szBig, sizeof(szBig)), 0u);
    EXPECT_STREQ(szBig, "");
    EXPECT_FALSE(SetDlgItemTextA(hDlg, 4711, "x"));
}

TEST_F(WindowTest, MessagesReachTheDialogProcedureWithItsResult)
{
    HWND hDlg = NewModuleDialog();
    ASSERT_NE(hDlg, nullptr);
    EXPECT_EQ(SendMessageA(hDlg, m_recorder.uAnswered, 1, 2), 42);
    // Not handled: the default answer 0, even with a result left from before.
    EXPECT_EQ(SendMessageA(hDlg, WM_USER + 8, 0, 0), 0);
    EXPECT_EQ(m_recorder.messages, (std::vector<UINT>{WM_INITDIALOG, WM_USER + 7, WM_USER + 8}));
    // A control has no dialog procedure.
    EXPECT_EQ(SendMessageA(GetDlgItem(hDlg, IDOK), m_recorder.uAnswered, 0, 0), 0);
    EXPECT_EQ(m_recorder.messages.size(), 3u);
}

TEST_F(WindowTest, EnablingShowingAndWindowLongs)
{
    HWND hDlg = NewModuleDialog();
    ASSERT_NE(hDlg, nullptr);
    HWND hOk = GetDlgItem(hDlg, IDOK);
    EXPECT_FALSE(IsWindowEnabled(hOk));
    EXPECT_TRUE(EnableWindow(hOk, TRUE));  // it was disabled
    EXPECT_TRUE(IsWindowEnabled(hOk));
    EXPECT_FALSE(EnableWindow(hOk, FALSE));
    EXPECT_NE(GetWindowLongPtrA(hOk, GWL_STYLE) & WS_DISABLED, 0);

    // A control is seen only while its dialog is shown.
    HWND hName = GetDlgItem(hDlg, IDC_NEW_MODULE_NAME);
    EXPECT_NE(GetWindowLongPtrA(hName, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_FALSE(IsWindowVisible(hName));
    EXPECT_FALSE(ShowWindow(hDlg, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(hName));
    EXPECT_TRUE(ShowWindow(hName, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(hName));

    EXPECT_EQ(GetWindowLongPtrA(hOk, GWLP_ID), IDOK);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(hOk, 12345), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));

    EXPECT_EQ(lab::win32::InvalidationCount(hDlg), 0u);
    EXPECT_TRUE(InvalidateRect(hDlg, nullptr, TRUE));
    EXPECT_EQ(lab::win32::InvalidationCount(hDlg), 1u);
}

TEST_F(WindowTest, DestroyWindowTellsTheDialogThenTakesItsControls)
{
    size_t handlesBefore = lab::win32::HandleCount();
    HWND hDlg = NewModuleDialog();
    ASSERT_NE(hDlg, nullptr);
    HWND hName = GetDlgItem(hDlg, IDC_NEW_MODULE_NAME);
    EXPECT_EQ(lab::win32::HandleCount(), handlesBefore + 5);

    EXPECT_TRUE(DestroyWindow(hDlg));
    EXPECT_EQ(m_recorder.messages.back(), static_cast<UINT>(WM_DESTROY));
    EXPECT_TRUE(m_recorder.bChildAliveAtDestroy);
    EXPECT_FALSE(IsWindow(hDlg));
    EXPECT_FALSE(IsWindow(hName));
    EXPECT_EQ(lab::win32::HandleCount(), handlesBefore);

    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(hDlg));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(SetWindowTextA(hName, "gone"));
    EXPECT_EQ(GetWindowTextLengthA(hName), 0);
    EXPECT_EQ(SendMessageA(hDlg, WM_USER + 7, 0, 0), 0);
    EXPECT_EQ(m_recorder.messages.back(), static_cast<UINT>(WM_DESTROY));
}

TEST_F(WindowTest, DestroyingOneControlLeavesTheRest)
{
    HWND hDlg = NewModuleDialog();
    ASSERT_NE(hDlg, nullptr);
    EXPECT_TRUE(DestroyWindow(GetDlgItem(hDlg, IDOK)));
    EXPECT_EQ(GetDlgItem(hDlg, IDOK), nullptr);
    EXPECT_EQ(lab::win32::ChildWindows(hDlg).size(), 3u);
    EXPECT_NE(GetDlgItem(hDlg, IDCANCEL), nullptr);
}

TEST_F(WindowTest, MissingTemplateMakesNoWindow)
{
    size_t handlesBefore = lab::win32::HandleCount();
    SetLastError(0);
    EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(4711), nullptr, RecordingProc, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(lab::win32::HandleCount(), handlesBefore);
    EXPECT_TRUE(m_recorder.messages.empty());
}

TEST_F(WindowTest, ClassicTemplateOfADataModuleInItsOnlyLanguage)
{
    HMODULE hModule = LoadLibraryExA(labtest::Fixture("Dialogs.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hModule, nullptr);
    m_hDialog = CreateDialogParamA(hModule, MAKEINTRESOURCEA(10), nullptr, nullptr, 0);
    ASSERT_NE(m_hDialog, nullptr);
    EXPECT_EQ(Text(m_hDialog), "Pr\xFC" "fung");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrA(m_hDialog, GWL_STYLE)) & 0xFFFF0000u, 0x80C80000u);

    std::vector<HWND> children = lab::win32::ChildWindows(m_hDialog);
    ASSERT_EQ(children.size(), 5u);
    const int ids[] = {100, 101, 102, 103, IDOK};
    const char* const classes[] = {"Static", "Static", "SysListView32", "Button", "Button"};
    // The icon's title is an ordinal and leaves no text; "#2" is a text.
    const char* const texts[] = {"Gr\xFC\xDF" "e:", "", "Liste", "#2", "OK"};
    for (size_t i = 0; i < children.size(); ++i) {
        char szClass[32];
        GetClassNameA(children[i], szClass, sizeof(szClass));
        EXPECT_EQ(GetDlgCtrlID(children[i]), ids[i]);
        EXPECT_STRCASEEQ(szClass, classes[i]);
        EXPECT_EQ(Text(children[i]), texts[i]);
    }
    EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(m_hDialog, 102), GWL_STYLE), static_cast<LONG_PTR>(0x50810001));

    // A template cut short makes no window.
    size_t handlesBefore = lab::win32::HandleCount();
    SetLastError(0);
    EXPECT_EQ(CreateDialogParamA(hModule, MAKEINTRESOURCEA(11), nullptr, RecordingProc, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(lab::win32::HandleCount(), handlesBefore);
    FreeLibrary(hModule);
}

}  // namespace
