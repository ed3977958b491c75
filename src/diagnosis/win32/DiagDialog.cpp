// The main diagnostics window: the Win32 view over the window's logic.
#include "src/diagnosis/win32/DiagDialog.h"

#include "src/ui/ControlIds.h"
#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"
#include "src/ui/win32/AxHost.h"

#include <commdlg.h>

namespace {

const UINT WM_SHOW_RESULTS = WM_USER + 1;
// The worker asks the window's thread to end the dialog.
const UINT WM_END_DIALOG = WM_USER + 2;

RECT ChildRect(HWND hChild, HWND hParent)
{
    RECT rc;
    GetWindowRect(hChild, &rc);
    MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

}  // namespace

CDiagDialog::CDiagDialog(const std::vector<DiagStep>& steps)
    : CBoundDialog(IDD_MAIN, g_MainWindowBinding),
      m_Resize(IDD_MAIN, {{IDC_MAIN_START, FOLLOW_RIGHT},
                          {IDCANCEL, FOLLOW_RIGHT},
                          {IDC_MAIN_SAVE, FOLLOW_RIGHT},
                          {IDC_MAIN_VIEW_FRAME, GROW_WIDTH | SHARE_HEIGHT},
                          {IDC_MAIN_LOG, GROW_WIDTH | SHARE_HEIGHT}}),
      m_Diagnosis(steps, *this)
{
}

bool CDiagDialog::OnCommand(WORD wId)
{
    switch (wId) {
    case IDC_MAIN_START:
        m_Diagnosis.StartOrCancel();
        return true;
    case IDCANCEL:
        m_Diagnosis.Exit();
        return true;
    case IDC_MAIN_SAVE:
        SaveAs();
        return true;
    default:
        return false;
    }
}

bool CDiagDialog::OnDialogMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (uMessage) {
    case WM_SIZE:
        Layout();
        return true;
    case WM_HELP:
        m_Diagnosis.Help(GetParent(Window()));
        lResult = TRUE;
        return true;
    case WM_SHOW_RESULTS:
        m_Diagnosis.ShowResults();
        return true;
    case WM_END_DIALOG:
        ::EndDialog(Window(), static_cast<INT_PTR>(wParam));
        return true;
    case WM_GETMINMAXINFO:
    case WM_DESTROY:
        m_Resize.OnResizeMessage(uMessage, lParam);
        return false;
    default:
        return false;
    }
}

void CDiagDialog::OnInitDialog()
{
    HWND hWnd = Window();
    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    SetProgramIcon();

    m_hStatusBar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hWnd, nullptr,
                                   hInstance, nullptr);
    m_hStart = GetDlgItem(hWnd, IDC_MAIN_START);
    m_hExit = GetDlgItem(hWnd, IDCANCEL);
    m_hSave = GetDlgItem(hWnd, IDC_MAIN_SAVE);
    m_hProgress = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hWnd, nullptr,
                                  hInstance, nullptr);
    SendMessageA(m_hProgress, PBM_SETRANGE, 0, MAKELPARAM(0, 10));
    SendMessageA(m_hProgress, PBM_SETSTEP, 1, 0);
    m_hLog = GetDlgItem(hWnd, IDC_MAIN_LOG);

    SendMessageA(hWnd, WM_INPUTLANGCHANGEREQUEST, LanguageWord(), 0);

    RECT rcFrame = ChildRect(GetDlgItem(hWnd, IDC_MAIN_VIEW_FRAME), hWnd);
    m_hView = CreateWindowExA(WS_EX_CLIENTEDGE, kAxHostClass, m_Diagnosis.Paths().strStartPage.c_str(),
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_VSCROLL, rcFrame.left,
                              rcFrame.top, rcFrame.right - rcFrame.left, rcFrame.bottom - rcFrame.top, hWnd,
                              nullptr, hInstance, nullptr);

    m_Resize.InitResize(hWnd);

    Centre(false);
    LayoutStatusBar();
    BindControls(LANGIDFROMLCID(GetThreadLocale()));
    SetStatusText(LoadLocalizedString(IDS_STATUS_NA));
}

void CDiagDialog::Layout()
{
    m_Resize.LayoutControls();
    if (m_hView) {
        RECT rcFrame = ChildRect(GetDlgItem(Window(), IDC_MAIN_VIEW_FRAME), Window());
        MoveWindow(m_hView, rcFrame.left, rcFrame.top, rcFrame.right - rcFrame.left, rcFrame.bottom - rcFrame.top,
                   TRUE);
    }
    LayoutStatusBar();
}

void CDiagDialog::LayoutStatusBar()
{
    if (!m_hStatusBar)
        return;
    SendMessageA(m_hStatusBar, WM_SIZE, 0, 0);
    RECT rcClient;
    GetClientRect(Window(), &rcClient);
    int parts[2] = {rcClient.right * 3 / 4, -1};
    SendMessageA(m_hStatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));

    RECT rcPart;
    SendMessageA(m_hStatusBar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&rcPart));
    RECT rcBar = ChildRect(m_hStatusBar, Window());
    // Above the status bar, inside its first part.
    SetWindowPos(m_hProgress, HWND_TOP, rcBar.left + rcPart.left + 2, rcBar.top + 3, rcPart.right - rcPart.left - 4,
                 rcPart.bottom - rcPart.top - 2, SWP_NOACTIVATE);
}

void CDiagDialog::AppendLog(const std::string& strText)
{
    LRESULT lEnd = SendMessageA(m_hLog, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(m_hLog, EM_SETSEL, static_cast<WPARAM>(lEnd), lEnd);
    SendMessageA(m_hLog, EM_SCROLLCARET, 0, 0);
    SendMessageA(m_hLog, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(strText.c_str()));
    SendMessageA(m_hLog, EM_SCROLLCARET, 0, 0);  // the line just added stays in sight
}

void CDiagDialog::SetStatusText(const std::string& strText)
{
    SendMessageA(m_hStatusBar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(strText.c_str()));
}

void CDiagDialog::SetProgress(DWORD dwPosition, DWORD dwRange)
{
    SendMessageA(m_hProgress, PBM_SETRANGE32, 0, static_cast<LPARAM>(dwRange));
    SendMessageA(m_hProgress, PBM_SETPOS, dwPosition, 0);
}

void CDiagDialog::ClearLog()
{
    SetWindowTextA(m_hLog, "");
}

void CDiagDialog::ShowProgress(bool bShow)
{
    ShowWindow(m_hProgress, bShow ? SW_SHOW : SW_HIDE);
}

void CDiagDialog::FillProgress()
{
    LRESULT lTop = SendMessageA(m_hProgress, PBM_GETRANGE, FALSE, 0);
    SendMessageA(m_hProgress, PBM_SETPOS, static_cast<WPARAM>(lTop), 0);
}

void CDiagDialog::SetStartButton(const std::string& strText, bool bEnabled)
{
    SetWindowTextA(m_hStart, strText.c_str());
    EnableWindow(m_hStart, bEnabled ? TRUE : FALSE);
}

void CDiagDialog::EnableSave()
{
    EnableWindow(m_hSave, TRUE);
}

void CDiagDialog::PostResults()
{
    PostMessageA(Window(), WM_SHOW_RESULTS, 0, 0);
}

void CDiagDialog::EndDialog(int nCode)
{
    PostMessageA(Window(), WM_END_DIALOG, static_cast<WPARAM>(nCode), 0);
}

void CDiagDialog::Navigate(const std::string& strPath)
{
    if (m_hView)
        SetWindowTextA(m_hView, strPath.c_str());
}

void CDiagDialog::ShowWarning(const std::string& strCaption, const std::string& strText)
{
    MessageBoxA(Window(), strText.c_str(), strCaption.c_str(), MB_OK | MB_ICONWARNING);
}

void CDiagDialog::SaveAs()
{
    std::string strFilter = CDiagWindow::SaveFilter(LanguageWord());
    char szFile[MAX_PATH] = "Report";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Window();
    ofn.lpstrFilter = strFilter.c_str();
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = sizeof szFile;
    ofn.lpstrDefExt = "html";
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (GetSaveFileNameA(&ofn))
        m_Diagnosis.Save(szFile);  // the name, in upper case, decides the format
}

int RunDiagnosisWindow(const std::vector<DiagStep>& steps)
{
    HRESULT hrOle = OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    RegisterAxHostClass(GetModuleHandleA(nullptr));

    INT_PTR nEndCode;
    {
        CDiagDialog dialog(steps);
        dialog.LoadSize();
        nEndCode = dialog.DoModal(nullptr);
    }
    if (SUCCEEDED(hrOle))
        OleUninitialize();
    return static_cast<int>(nEndCode);
}
