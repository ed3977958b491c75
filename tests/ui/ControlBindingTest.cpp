// Dialog texts in the user's language: the binding tables applied to the program's dialogs in the lab,
// the re-binding on a change of input language and the release of the rows' control objects.
#include "src/ui/ControlBinding.h"

#include "lab/win32/WindowControl.h"
#include "src/ui/ControlIds.h"
#include "src/ui/StringIds.h"
#include "tests/support/LanguageMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// A dialog class as the program writes one: the binding takes its messages first, and the
// dialog binds its texts in the thread's language when it initialises.
class CBoundDialog : public CControlBinding {
public:
    explicit CBoundDialog(const BindingRow* pTable)
        : CControlBinding(pTable)
    {
    }
    ~CBoundDialog() override
    {
        if (IsWindow(m_hWnd))
            DestroyWindow(m_hWnd);
    }

    HWND Create(UINT uTemplate)
    {
        m_hWnd = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(uTemplate), nullptr, DialogProc,
                                    reinterpret_cast<LPARAM>(this));
        return m_hWnd;
    }
    HWND Window() const { return m_hWnd; }
    HWND BoundWindow() const { return BindingWindow(); }
    std::string Text(int nId = 0) const
    {
        char sz[256] = "";
        if (nId == 0)
            GetWindowTextA(m_hWnd, sz, sizeof(sz));
        else
            GetDlgItemTextA(m_hWnd, nId, sz, sizeof(sz));
        return sz;
    }

    std::vector<UINT> m_ownMessages;  // what reached the dialog's own handlers

private:
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT uMessage, WPARAM wParam, LPARAM lParam)
    {
        if (uMessage == WM_INITDIALOG) {
            SetWindowLongPtrA(hDlg, GWLP_USERDATA, lParam);
            reinterpret_cast<CBoundDialog*>(lParam)->SetBindingWindow(hDlg);
        }
        auto pThis = reinterpret_cast<CBoundDialog*>(GetWindowLongPtrA(hDlg, GWLP_USERDATA));
        if (!pThis)
            return FALSE;
        LRESULT lResult = 0;
        if (pThis->OnBindingMessage(uMessage, wParam, lParam, lResult)) {
            SetWindowLongPtrA(hDlg, DWLP_MSGRESULT, lResult);
            return TRUE;
        }
        pThis->m_ownMessages.push_back(uMessage);
        if (uMessage == WM_INITDIALOG) {
            pThis->BindControls(LANGIDFROMLCID(GetThreadLocale()));
            return TRUE;
        }
        return FALSE;
    }

    HWND m_hWnd = nullptr;
};

// Counts its references; the binding must release what a row holds exactly once.
class CCountingControl : public IUnknown {
public:
    virtual ~CCountingControl() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_cRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_cRefs; }
    ULONG m_cRefs = 1;
};

BindingRow Row(DWORD dwControlId, DWORD dwStringId, IUnknown* pControl = nullptr)
{
    return BindingRow{0, dwControlId, dwStringId, 0, 0xFFFFFFFFu, 0, 0, 0, pControl};
}

using ControlBindingTest = CLanguageMachineTest;

TEST_F(ControlBindingTest, RestartDialogInTheThreadsLanguageWithTheFallBackToEnglish)
{
    Machine(1033, 1031);
    {
        CBoundDialog dialog(g_RestartBinding);
        ASSERT_NE(dialog.Create(IDD_RESTART), nullptr);
        EXPECT_EQ(dialog.BoundWindow(), dialog.Window());
        EXPECT_EQ(dialog.Text(), "Neustart der Quillmont Agenten");
        EXPECT_EQ(dialog.Text(IDCANCEL), "&Beenden");
        EXPECT_EQ(dialog.Text(IDC_RESTART_RESTART), "&Neustart");
        EXPECT_EQ(dialog.Text(IDC_RESTART_ADVANCED), "&Erweitert...");
        EXPECT_EQ(dialog.Text(IDC_RESTART_OPTIONS), " Optionen: ");
        EXPECT_EQ(dialog.Text(IDC_RESTART_RESCAN), "Suche nach Management &Hardware durchf\xFChren");
        EXPECT_EQ(dialog.Text(IDC_RESTART_SNMP_ONLY), "Nur &SNMP Dienst neu starten");
        EXPECT_EQ(dialog.Text(IDC_RESTART_STATUS),
                  "Dr\xFC" "cken Sie \"Neuststart\", um die Quillmont Dienste neu zu starten!");
        EXPECT_EQ(dialog.LanguageWord(), 0);
    }

    // French everywhere: the string table has none, so English it is.
    Machine(1036, 1036);
    CBoundDialog dialog(g_RestartBinding);
    ASSERT_NE(dialog.Create(IDD_RESTART), nullptr);
    EXPECT_EQ(dialog.Text(), "Restart Quillmont Agents");
    EXPECT_EQ(dialog.Text(IDCANCEL), "E&xit");
    EXPECT_EQ(dialog.Text(IDC_RESTART_RESTART), "&Restart");
    EXPECT_EQ(dialog.Text(IDC_RESTART_STATUS), "\"Press \"Restart\" button to restart Quillmont services!");
}

TEST_F(ControlBindingTest, MainWindowAndAgentSelectionInGerman)
{
    Machine(1033, 1031);
    CBoundDialog mainWindow(g_MainWindowBinding);
    ASSERT_NE(mainWindow.Create(IDD_MAIN), nullptr);
    EXPECT_EQ(mainWindow.Text(), "Quillmont Agenten Diagnose Report");
    EXPECT_EQ(mainWindow.Text(IDC_MAIN_START), "S&tarten");
    EXPECT_EQ(mainWindow.Text(IDCANCEL), "&Beenden");
    EXPECT_EQ(mainWindow.Text(IDC_MAIN_SAVE), "&Speichern...");
    EXPECT_EQ(mainWindow.Text(IDC_MAIN_LOG), "");

    CBoundDialog agents(g_AgentSelectionBinding);
    ASSERT_NE(agents.Create(IDD_AGENTS), nullptr);
    EXPECT_EQ(agents.Text(), "Erweiterte Optionen f\xFCr den Neustart");
    EXPECT_EQ(agents.Text(IDC_AGENTS_PROMPT), "Folgende Module starten...");
    EXPECT_EQ(agents.Text(IDOK), "\xDC" "bernehmen");
    EXPECT_EQ(agents.Text(IDCANCEL), "&Abbrechen");

    // An explicit language overrides the thread's.
    mainWindow.BindControls(1033);
    EXPECT_EQ(mainWindow.Text(), "Quillmont Agents Diagnostics Tool");
    EXPECT_EQ(mainWindow.Text(IDC_MAIN_START), "S&tart");
    mainWindow.SetItemText(IDC_MAIN_START, IDS_MAIN_CANCEL, 1031);
    EXPECT_EQ(mainWindow.Text(IDC_MAIN_START), "&Abbrechen");
}

TEST_F(ControlBindingTest, RowsForMissingControlsAreSkippedAndEmptyTablesLeaveTheTemplate)
{
    Machine(1033, 1031);
    // The restart dialog has no control 57000: that row is skipped, the rows after it still apply.
    const BindingRow table[] = {Row(IDC_MAIN_START, IDS_MAIN_START), Row(IDCANCEL, IDS_MAIN_EXIT),
                                Row(0, IDS_MAIN_CAPTION), Row(kBindingEnd, 0)};
    CBoundDialog dialog(table);
    ASSERT_NE(dialog.Create(IDD_RESTART), nullptr);
    EXPECT_EQ(dialog.Text(IDCANCEL), "&Beenden");
    EXPECT_EQ(dialog.Text(), "Quillmont Agenten Diagnose Report");
    EXPECT_EQ(GetDlgItem(dialog.Window(), IDC_MAIN_START), nullptr);
    dialog.SetItemText(IDC_MAIN_START, IDS_MAIN_START, 1031);
    EXPECT_EQ(dialog.Text(IDC_RESTART_RESTART), "&Restart");

    // The trace settings editor and the clean-up bind nothing: every text stays the template's.
    for (auto [pTable, uTemplate] : {std::make_pair(g_TraceSettingsBinding, IDD_TRACE_SETTINGS),
                                     std::make_pair(g_MsiCleanupBinding, IDD_MSI_CLEANUP)}) {
        SetThreadLocale(1033);
        CBoundDialog plain(pTable);
        ASSERT_NE(plain.Create(uTemplate), nullptr);
        std::vector<std::string> before;
        for (HWND hChild : lab::win32::ChildWindows(plain.Window())) {
            char sz[256] = "";
            GetWindowTextA(hChild, sz, sizeof(sz));
            before.emplace_back(sz);
        }
        std::string caption = plain.Text();
        plain.BindControls(1031);
        EXPECT_EQ(plain.Text(), caption);
        std::vector<std::string> after;
        for (HWND hChild : lab::win32::ChildWindows(plain.Window())) {
            char sz[256] = "";
            GetWindowTextA(hChild, sz, sizeof(sz));
            after.emplace_back(sz);
        }
        EXPECT_EQ(after, before);
    }
    EXPECT_EQ(g_TraceSettingsBinding[0].dwControlId, kBindingEnd);
    EXPECT_EQ(g_MsiCleanupBinding[0].dwControlId, kBindingEnd);
}

TEST_F(ControlBindingTest, InputLanguageChangeRebindsAndRepaintsWhileTheWindowExists)
{
    Machine(1033, 1033);
    CBoundDialog dialog(g_MainWindowBinding);
    HWND hDlg = dialog.Create(IDD_MAIN);
    ASSERT_NE(hDlg, nullptr);
    EXPECT_EQ(dialog.Text(IDC_MAIN_SAVE), "&Save...");
    unsigned repaints = lab::win32::InvalidationCount(hDlg);

    // The language is the low word of the keyboard layout, the second parameter; the first holds
    // flags (INPUTLANGCHANGE_FORWARD here), which say nothing about the language.
    EXPECT_EQ(SendMessageA(hDlg, WM_INPUTLANGCHANGEREQUEST, 2, 0x04070407), 0);
    EXPECT_EQ(dialog.LanguageWord(), 1031);
    EXPECT_EQ(dialog.Text(), "Quillmont Agenten Diagnose Report");
    EXPECT_EQ(dialog.Text(IDC_MAIN_SAVE), "&Speichern...");
    EXPECT_EQ(lab::win32::InvalidationCount(hDlg), repaints + 1);

    SendMessageA(hDlg, WM_INPUTLANGCHANGEREQUEST, 1, 0x04090409);
    EXPECT_EQ(dialog.LanguageWord(), 1033);
    EXPECT_EQ(dialog.Text(IDC_MAIN_START), "S&tart");
    // The binding answered both: they never reached the dialog's own handlers.
    EXPECT_EQ(dialog.m_ownMessages, std::vector<UINT>{WM_INITDIALOG});

    DestroyWindow(hDlg);
    LRESULT lResult = 99;
    EXPECT_TRUE(dialog.OnBindingMessage(WM_INPUTLANGCHANGEREQUEST, 0, 0x04070407, lResult));
    EXPECT_EQ(lResult, 0);
    EXPECT_EQ(dialog.LanguageWord(), 1033);

    // Other messages are the dialog's.
    EXPECT_FALSE(dialog.OnBindingMessage(WM_COMMAND, IDOK, 0, lResult));
    EXPECT_FALSE(dialog.OnBindingMessage(WM_INITDIALOG, 0, 0, lResult));
}

TEST_F(ControlBindingTest, DestroyReleasesEachRowsControlObjectAndLeavesTheMessageToTheDialog)
{
    Machine(1033, 1033);
    CCountingControl first, second;
    const BindingRow table[] = {Row(IDC_RESTART_RESTART, IDS_RESTART_RESTART, &first), Row(IDCANCEL, IDS_RESTART_EXIT),
                                Row(4711, IDS_RESTART_CAPTION, &second), Row(kBindingEnd, 0)};
    CBoundDialog dialog(table);
    ASSERT_NE(dialog.Create(IDD_RESTART), nullptr);
    EXPECT_EQ(first.m_cRefs, 1u);

    DestroyWindow(dialog.Window());
    EXPECT_EQ(first.m_cRefs, 0u);
    EXPECT_EQ(second.m_cRefs, 0u);
    EXPECT_EQ(dialog.m_ownMessages, (std::vector<UINT>{WM_INITDIALOG, WM_DESTROY}));
}

}  // namespace
