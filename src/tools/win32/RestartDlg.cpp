// The restart dialog: the Win32 view over the agent restart.
#include "src/tools/win32/RestartDlg.h"

#include "src/tools/win32/AgentSelectionDlg.h"
#include "src/ui/ControlIds.h"

namespace {

const UINT_PTR PROGRESS_TIMER = 1;
const UINT PROGRESS_TICK_MS = 500;
// A timer belongs to the window's thread: the worker asks for it by message (wParam 1 starts it).
const UINT WM_PROGRESS_TIMER = WM_APP + 1;

const int RUN_CONTROLS[] = {IDCANCEL, IDC_RESTART_RESTART, IDC_RESTART_ADVANCED, IDC_RESTART_RESCAN,
                            IDC_RESTART_SNMP_ONLY};

}  // namespace

CRestartDlg::CRestartDlg()
    : CBoundDialog(IDD_RESTART, g_RestartBinding), m_Restart(*this)
{
}

bool CRestartDlg::OnCommand(WORD wId)
{
    switch (wId) {
    case IDC_RESTART_RESTART:
        m_Restart.StartRestart(IsDlgButtonChecked(Window(), IDC_RESTART_RESCAN) == BST_CHECKED,
                               IsDlgButtonChecked(Window(), IDC_RESTART_SNMP_ONLY) != BST_CHECKED);
        return true;
    case IDC_RESTART_ADVANCED: {
        // The choice takes effect when the next restart starts the SNMP service.
        CAgentSelectionDlg agents;
        agents.DoModal(GetActiveWindow());
        return true;
    }
    case IDCANCEL:
        // The close box stays open to a running restart, which still uses the window.
        if (!m_bRunning)
            EndDialog(Window(), CAgentRestart::END_EXIT);
        return true;
    default:
        return false;
    }
}

bool CRestartDlg::OnDialogMessage(UINT uMessage, WPARAM wParam, LPARAM, LRESULT&)
{
    switch (uMessage) {
    case WM_TIMER:
        if (wParam != PROGRESS_TIMER)
            return false;
        SendMessageA(m_hProgress, PBM_STEPIT, 0, 0);
        return true;
    case WM_PROGRESS_TIMER:
        if (wParam)
            SetTimer(Window(), PROGRESS_TIMER, PROGRESS_TICK_MS, nullptr);
        else
            KillTimer(Window(), PROGRESS_TIMER);
        return true;
    default:
        return false;
    }
}

void CRestartDlg::OnInitDialog()
{
    HWND hWnd = Window();

    Centre(true);
    m_hProgress = GetDlgItem(hWnd, IDC_RESTART_PROGRESS);
    SendMessageA(m_hProgress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(m_hProgress, PBM_SETSTEP, 1, 0);
    SendMessageA(m_hProgress, PBM_SETPOS, 0, 0);
    CheckDlgButton(hWnd, IDC_RESTART_RESCAN, BST_CHECKED);
    SetProgramIcon();
    BindControls(LANGIDFROMLCID(GetThreadLocale()));
}

void CRestartDlg::EnableRunControls(bool bEnable)
{
    m_bRunning = bEnable ? 0 : 1;
    for (int nId : RUN_CONTROLS)
        EnableWindow(GetDlgItem(Window(), nId), bEnable ? TRUE : FALSE);
}

void CRestartDlg::ShowStatus(const std::string& strText)
{
    SetDlgItemTextA(Window(), IDC_RESTART_STATUS, strText.c_str());
}

void CRestartDlg::SetProgress(int nPosition)
{
    SendMessageA(m_hProgress, PBM_SETPOS, static_cast<WPARAM>(nPosition), 0);
}

void CRestartDlg::StartProgressTimer()
{
    SendMessageA(Window(), WM_PROGRESS_TIMER, 1, 0);
}

void CRestartDlg::StopProgressTimer()
{
    SendMessageA(Window(), WM_PROGRESS_TIMER, 0, 0);
}

int CRestartDlg::Ask(const std::string& strText, const std::string& strCaption, UINT uStyle)
{
    return MessageBoxA(Window(), strText.c_str(), strCaption.c_str(), uStyle);
}

int RunRestartDialog()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    CRestartDlg dialog;
    return static_cast<int>(dialog.DoModal(nullptr));
}
