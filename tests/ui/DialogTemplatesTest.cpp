// The program's dialog templates as the lab makes windows of them: every control with its id and class,
// and the main window's layout that its code relies on.
#include "lab/win32/WindowControl.h"
#include "src/platform/Win32.h"
#include "src/ui/ControlIds.h"

#include <gtest/gtest.h>

#include <strings.h>

#include <set>
#include <utility>
#include <string>
#include <vector>

namespace {

const int kLabel = -1;

struct Control {
    int nId;
    const char* pszClass;
};

struct DialogCase {
    UINT uTemplate;
    LCID lcid;
    const char* pszCaption;
    std::vector<Control> controls;  // every control but the plain labels, in template order
};

const std::vector<DialogCase>& Dialogs()
{
    static const std::vector<Control> traceSettings = {
        {IDC_TRACE_DYNAMIC, "Button"},        {IDC_TRACE_FILTER_RAVELIN, "Button"},
        {IDC_TRACE_FILTER_SNMP, "Button"},    {IDC_TRACE_FILTER_FARLINK, "Button"},
        {IDC_TRACE_FILTER_REGISTERED, "Button"}, {IDC_TRACE_MODULES, "SysListView32"},
        {IDC_TRACE_NEW_MODULE, "Button"},     {IDC_TRACE_REMOVE_MODULE, "Button"},
        {IDC_TRACE_CONSOLE_LEVEL, "Edit"},    {IDC_TRACE_FILE_LEVEL, "Edit"},
        {IDC_TRACE_DEBUGGER_LEVEL, "Edit"},   {IDC_TRACE_TIME_STAMP, "Button"},
        {IDC_TRACE_DATE_STAMP, "Button"},     {IDC_TRACE_THREAD_ID, "Button"},
        {IDC_TRACE_CPU_ID, "Button"},         {IDC_TRACE_APP_NAME, "Button"},
        {IDC_TRACE_MEM_USAGE, "Button"},      {IDC_TRACE_FILE, "Edit"},
        {IDC_TRACE_FILE_LIMIT, "Edit"},       {IDC_TRACE_VIEW, "Button"},
        {IDC_TRACE_DELETE, "Button"},         {IDC_TRACE_ALL_OFF, "Button"},
        {IDC_TRACE_RESTART, "Button"},        {IDC_TRACE_APPLY, "Button"},
        {IDOK, "Button"},
    };
    static const std::vector<Control> restart = {
        {IDC_RESTART_STATUS, "Static"},   {IDC_RESTART_PROGRESS, "msctls_progress32"},
        {IDC_RESTART_OPTIONS, "Button"},  {IDC_RESTART_RESCAN, "Button"},
        {IDC_RESTART_SNMP_ONLY, "Button"}, {IDC_RESTART_RESTART, "Button"},
        {IDC_RESTART_ADVANCED, "Button"}, {IDCANCEL, "Button"},
    };
    static const std::vector<DialogCase> dialogs = {
        {IDD_TRACE_SETTINGS, 1033, "Module Trace Options", traceSettings},
        {IDD_TRACE_SETTINGS, 1031, "Modul Trace Optionen", traceSettings},
        {IDD_NEW_MODULE, 1033, "Add new debug module",
         {{IDC_NEW_MODULE_NAME, "Edit"}, {IDOK, "Button"}, {IDCANCEL, "Button"}}},
        {IDD_MAIN, 1033, "Quillmont Diagnostics Tool",
         {{IDC_MAIN_START, "Button"},
          {IDCANCEL, "Button"},
          {IDC_MAIN_SAVE, "Button"},
          {IDC_MAIN_LOG, "Edit"},
          {IDC_MAIN_VIEW_FRAME, "Static"}}},
        {IDD_MSI_CLEANUP, 1033, "Dialog",
         {{IDC_MSI_PRODUCTS, "SysTreeView32"}, {IDC_MSI_CLEAN, "Button"}, {IDOK, "Button"}}},
        {IDD_AGENTS, 1033, "Advanced settings",
         {{IDC_AGENTS_PROMPT, "Static"}, {IDC_AGENTS_TREE, "SysTreeView32"}, {IDOK, "Button"}, {IDCANCEL, "Button"}}},
        {IDD_RESTART, 1033, "Restart Quillmont Agents", restart},
        // English only: shown in English under a German locale too.
        {IDD_RESTART, 1031, "Restart Quillmont Agents", restart},
    };
    return dialogs;
}

std::string Text(HWND hWnd)
{
    char sz[256];
    int cch = GetWindowTextA(hWnd, sz, sizeof(sz));
    return std::string(sz, static_cast<size_t>(cch > 0 ? cch : 0));
}

std::string ClassOf(HWND hWnd)
{
    char sz[64] = "";
    GetClassNameA(hWnd, sz, sizeof(sz));
    return sz;
}

DWORD Style(HWND hWnd)
{
    return static_cast<DWORD>(GetWindowLongPtrA(hWnd, GWL_STYLE));
}

RECT Units(HWND hWnd)
{
    RECT rc{};
    lab::win32::GetTemplateRect(hWnd, &rc);
    return rc;
}

void ExpectUnits(HWND hWnd, LONG x, LONG y, LONG cx, LONG cy)
{
    RECT rc = Units(hWnd);
    EXPECT_EQ(rc.left, x);
    EXPECT_EQ(rc.top, y);
    EXPECT_EQ(rc.right - rc.left, cx);
    EXPECT_EQ(rc.bottom - rc.top, cy);
}

// Made with no dialog procedure and destroyed with the test.
class Dialog {
public:
    Dialog(UINT uTemplate, LCID lcid)
    {
        SetThreadLocale(lcid);
        m_hWnd = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(uTemplate), nullptr, nullptr, 0);
        SetThreadLocale(1033);
    }
    ~Dialog()
    {
        if (m_hWnd)
            DestroyWindow(m_hWnd);
    }
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    HWND Get() const { return m_hWnd; }
    HWND Item(int nId) const { return GetDlgItem(m_hWnd, nId); }

private:
    HWND m_hWnd = nullptr;
};

TEST(DialogTemplates, EveryDialogHasItsControlsWithTheirIdsAndClasses)
{
    for (const DialogCase& dialogCase : Dialogs()) {
        SCOPED_TRACE("dialog " + std::to_string(dialogCase.uTemplate) + " locale " + std::to_string(dialogCase.lcid));
        Dialog dialog(dialogCase.uTemplate, dialogCase.lcid);
        ASSERT_NE(dialog.Get(), nullptr);
        EXPECT_EQ(Text(dialog.Get()), dialogCase.pszCaption);
        DWORD dwStyle = Style(dialog.Get());
        EXPECT_EQ(dwStyle & (WS_POPUP | WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU));
        EXPECT_NE(dwStyle & DS_SETFONT, 0u);

        std::vector<std::pair<int, std::string>> found;
        std::set<int> ids;
        for (HWND hChild : lab::win32::ChildWindows(dialog.Get())) {
            int nId = GetDlgCtrlID(hChild);
            EXPECT_NE(Style(hChild) & WS_CHILD, 0u);
            if (nId == kLabel)
                continue;
            EXPECT_TRUE(ids.insert(nId).second) << "control " << nId << " twice";
            EXPECT_EQ(GetDlgItem(dialog.Get(), nId), hChild);
            found.emplace_back(nId, ClassOf(hChild));
        }
        ASSERT_EQ(found.size(), dialogCase.controls.size());
        for (size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].first, dialogCase.controls[i].nId) << "at " << i;
            // Class names are compared as Windows does, without regard to case.
            EXPECT_EQ(strcasecmp(found[i].second.c_str(), dialogCase.controls[i].pszClass), 0)
                << "control " << found[i].first << " is a " << found[i].second;
        }
    }
}

TEST(DialogTemplates, MainWindowIsAResizablePopupWithItsButtonsLogAndViewFrame)
{
    Dialog dialog(IDD_MAIN, 1033);
    ASSERT_NE(dialog.Get(), nullptr);
    // It can be minimised as well as maximised: a long run need not cover the desktop.
    const DWORD dwFrame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
    EXPECT_EQ(Style(dialog.Get()) & dwFrame, dwFrame);
    ExpectUnits(dialog.Get(), 0, 0, 516, 300);

    HWND hStart = dialog.Item(IDC_MAIN_START);
    EXPECT_EQ(Text(hStart), "Start");
    EXPECT_EQ(Style(hStart) & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    ExpectUnits(hStart, 461, 7, 50, 14);
    EXPECT_EQ(Text(dialog.Item(IDCANCEL)), "Exit");
    ExpectUnits(dialog.Item(IDCANCEL), 461, 24, 50, 14);
    HWND hSave = dialog.Item(IDC_MAIN_SAVE);
    EXPECT_EQ(Text(hSave), "Save Log ...");
    EXPECT_FALSE(IsWindowEnabled(hSave));
    ExpectUnits(hSave, 461, 41, 50, 14);

    HWND hLog = dialog.Item(IDC_MAIN_LOG);
    const DWORD dwLog = ES_MULTILINE | ES_READONLY | WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE;
    EXPECT_EQ(Style(hLog) & dwLog, dwLog);
    ExpectUnits(hLog, 4, 243, 452, 43);

    HWND hFrame = dialog.Item(IDC_MAIN_VIEW_FRAME);
    EXPECT_EQ(Style(hFrame) & WS_VISIBLE, 0u);
    DWORD dwKind = Style(hFrame) & SS_TYPEMASK;
    EXPECT_TRUE(dwKind == SS_BLACKFRAME || dwKind == SS_GRAYFRAME || dwKind == SS_WHITEFRAME || dwKind == SS_ETCHEDFRAME);
    ExpectUnits(hFrame, 4, 7, 452, 234);
}

TEST(DialogTemplates, ToolDialogsHaveTheControlKindsTheirCodeDrives)
{
    Dialog trace(IDD_TRACE_SETTINGS, 1033);
    ASSERT_NE(trace.Get(), nullptr);
    DWORD dwList = Style(trace.Item(IDC_TRACE_MODULES));
    EXPECT_EQ(dwList & LVS_TYPEMASK, static_cast<DWORD>(LVS_REPORT));
    EXPECT_EQ(dwList & LVS_SINGLESEL, 0u);  // several modules are edited at once
    EXPECT_NE(Style(trace.Get()) & WS_THICKFRAME, 0u);
    EXPECT_FALSE(IsWindowEnabled(trace.Item(IDC_TRACE_APPLY)));
    EXPECT_EQ(Style(trace.Item(IDOK)) & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(Style(trace.Item(IDC_TRACE_TIME_STAMP)) & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));

    Dialog newModule(IDD_NEW_MODULE, 1033);
    EXPECT_FALSE(IsWindowEnabled(newModule.Item(IDOK)));

    Dialog agents(IDD_AGENTS, 1033);
    EXPECT_NE(Style(agents.Item(IDC_AGENTS_TREE)) & TVS_CHECKBOXES, 0u);
    ExpectUnits(agents.Get(), 0, 0, 312, 193);

    Dialog restart(IDD_RESTART, 1033);
    ExpectUnits(restart.Get(), 0, 0, 310, 95);
    EXPECT_EQ(Style(restart.Item(IDCANCEL)) & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(Style(restart.Item(IDC_RESTART_OPTIONS)) & BS_TYPEMASK, static_cast<DWORD>(BS_GROUPBOX));
    EXPECT_EQ(Style(restart.Item(IDC_RESTART_RESCAN)) & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));

    Dialog cleanup(IDD_MSI_CLEANUP, 1033);
    EXPECT_NE(Style(cleanup.Get()) & WS_THICKFRAME, 0u);
    EXPECT_EQ(Style(cleanup.Item(IDOK)) & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
}

TEST(DialogTemplates, GermanTraceSettingsHaveGermanLabels)
{
    Dialog dialog(IDD_TRACE_SETTINGS, 1031);
    ASSERT_NE(dialog.Get(), nullptr);
    EXPECT_EQ(Text(dialog.Item(IDC_TRACE_APPLY)), "\xDC" "bernehmen");
    EXPECT_EQ(Text(dialog.Item(IDC_TRACE_DELETE)), "Trace l\xF6schen");
    EXPECT_EQ(Text(dialog.Item(IDOK)), "Beenden");
}

TEST(DialogTemplates, ImagesArePresent)
{
    HRSRC hIcon = FindResourceExA(nullptr, RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_TRIAGIST), 1033);
    ASSERT_NE(hIcon, nullptr);
    // The group lists the 16x16 and the 32x32 image.
    const BYTE* pGroup = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, hIcon)));
    ASSERT_NE(pGroup, nullptr);
    ASSERT_EQ(pGroup[4], 2);
    std::set<int> sizes = {pGroup[6], pGroup[6 + 14]};
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));

    HRSRC hBitmap = FindResourceExA(nullptr, RT_BITMAP, MAKEINTRESOURCEA(IDB_CHECKMARKS), 1033);
    ASSERT_NE(hBitmap, nullptr);
    const BYTE* pInfo = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, hBitmap)));
    ASSERT_NE(pInfo, nullptr);
    // Three images of 16 x 16 in a strip.
    EXPECT_EQ(pInfo[4] | pInfo[5] << 8, 48);
    EXPECT_EQ(pInfo[8] | pInfo[9] << 8, 16);
}

}  // namespace
