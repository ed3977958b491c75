// The trace settings editor's dialogs: the Win32 view over the trace settings.
#include "src/tools/win32/TraceSettingsDlg.h"

#include "src/tools/win32/RestartDlg.h"
#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

const int NAME_COLUMN_WIDTH = 120;
const int LEVEL_COLUMN_WIDTH = 20;
const LRESULT HEADER_MARGIN = 16;  // the header's padding on both sides of its text

const UINT COLUMN_STRINGS[] = {IDS_TRACE_COL_NAME, IDS_TRACE_COL_CONSOLE, IDS_TRACE_COL_FILE, IDS_TRACE_COL_WINDBG};
const int FILTER_BOXES[] = {IDC_TRACE_FILTER_RAVELIN, IDC_TRACE_FILTER_SNMP, IDC_TRACE_FILTER_FARLINK,
                            IDC_TRACE_FILTER_REGISTERED};
const int TEXT_FIELDS[] = {IDC_TRACE_CONSOLE_LEVEL, IDC_TRACE_FILE_LEVEL, IDC_TRACE_DEBUGGER_LEVEL, IDC_TRACE_FILE,
                           IDC_TRACE_FILE_LIMIT};
const int CHECK_BOXES[] = {IDC_TRACE_TIME_STAMP, IDC_TRACE_DATE_STAMP, IDC_TRACE_THREAD_ID,
                           IDC_TRACE_CPU_ID,     IDC_TRACE_APP_NAME,   IDC_TRACE_MEM_USAGE};

std::string ItemText(HWND hDialog, int nId)
{
    char szText[MAX_PATH + 1] = "";
    GetDlgItemTextA(hDialog, nId, szText, sizeof szText);
    return szText;
}

std::string Decimal(DWORD dwValue)
{
    return std::to_string(dwValue);
}

void ShowCheck(HWND hDialog, int nId, TraceFields::Check check)
{
    HWND hBox = GetDlgItem(hDialog, nId);
    // Only the stamps can differ between the selected records; the box then offers the third state.
    SendMessageA(hBox, BM_SETSTYLE, check == TraceFields::INDETERMINATE ? BS_AUTO3STATE : BS_AUTOCHECKBOX, TRUE);
    CheckDlgButton(hDialog, nId,
                   check == TraceFields::INDETERMINATE ? BST_INDETERMINATE
                   : check == TraceFields::CHECKED     ? BST_CHECKED
                                                       : BST_UNCHECKED);
}

TraceFields::Check CheckOf(HWND hDialog, int nId)
{
    switch (IsDlgButtonChecked(hDialog, nId)) {
    case BST_CHECKED:
        return TraceFields::CHECKED;
    case BST_INDETERMINATE:
        return TraceFields::INDETERMINATE;
    default:
        return TraceFields::UNCHECKED;
    }
}

}  // namespace

bool CNewModuleDlg::OnMessage(UINT uMessage, WPARAM wParam, LPARAM, LRESULT& lResult)
{
    lResult = 0;
    if (uMessage == WM_INITDIALOG) {
        Centre(true);
        lResult = TRUE;
        return true;
    }
    if (uMessage != WM_COMMAND)
        return false;
    switch (LOWORD(wParam)) {
    case IDC_NEW_MODULE_NAME:
        if (HIWORD(wParam) == EN_CHANGE)
            EnableWindow(GetDlgItem(Window(), IDOK), !ItemText(Window(), IDC_NEW_MODULE_NAME).empty());
        return true;
    case IDOK:
        m_strName = ItemText(Window(), IDC_NEW_MODULE_NAME);
        if (!m_strName.empty())
            EndDialog(Window(), IDOK);
        return true;
    case IDCANCEL:
        EndDialog(Window(), IDCANCEL);
        return true;
    default:
        return false;
    }
}

CTraceSettingsDlg::CTraceSettingsDlg()
    : CBoundDialog(IDD_TRACE_SETTINGS, g_TraceSettingsBinding),
      m_Settings(*this),
      // The resize support keeps the minimum and the stored size; Layout places the controls.
      m_Resize(IDD_TRACE_SETTINGS, {})
{
}

void CTraceSettingsDlg::BindControls(WORD wLanguage)
{
    CBoundDialog::BindControls(wLanguage);
    if (m_hList)
        LabelColumns(wLanguage);
}

void CTraceSettingsDlg::OnInitDialog()
{
    HWND hWnd = Window();
    m_hList = GetDlgItem(hWnd, IDC_TRACE_MODULES);
    SendMessageA(m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP,
                 LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    CheckDlgButton(hWnd, IDC_TRACE_DYNAMIC, BST_UNCHECKED);
    for (int nId : FILTER_BOXES)
        CheckDlgButton(hWnd, nId, BST_CHECKED);
    for (int nColumn = 0; nColumn < 4; ++nColumn) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH;
        column.fmt = nColumn == 0 ? LVCFMT_LEFT : LVCFMT_CENTER;
        column.cx = nColumn == 0 ? NAME_COLUMN_WIDTH : LEVEL_COLUMN_WIDTH;
        SendMessageA(m_hList, LVM_INSERTCOLUMNA, static_cast<WPARAM>(nColumn), reinterpret_cast<LPARAM>(&column));
    }
    BindControls(LANGIDFROMLCID(GetThreadLocale()));
    SetProgramIcon();

    if (!m_Settings.ScanModules()) {
        MessageBoxA(hWnd, TRACE_INIT_ERROR_TEXT, TRACE_INIT_ERROR_CAPTION, MB_OK | MB_ICONHAND);
        EndDialog(hWnd, CTraceSettings::END_CLOSED);
        return;
    }
    FillList();
    CheckDlgButton(hWnd, IDC_TRACE_DYNAMIC, m_Settings.DynamicUpdate() ? BST_CHECKED : BST_UNCHECKED);
    RECT rcClient;
    GetClientRect(hWnd, &rcClient);
    m_InitialClient = {rcClient.right, rcClient.bottom};
    m_Initial.clear();
    for (HWND hChild = GetWindow(hWnd, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        RECT rc;
        GetWindowRect(hChild, &rc);
        MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&rc), 2);
        m_Initial.emplace_back(hChild, rc);
    }
    m_Resize.InitResize(hWnd);
    Layout();
    Centre(false);
    // The system gives the focus to the first control after initialisation; the list is to have it.
    PostMessageA(hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_hList), TRUE);
}

void CTraceSettingsDlg::Layout()
{
    RECT rcClient;
    GetClientRect(Window(), &rcClient);
    LONG dx = std::max<LONG>(0, rcClient.right - m_InitialClient.cx);
    LONG dy = std::max<LONG>(0, rcClient.bottom - m_InitialClient.cy);
    LONG dxList = dx / 2;
    RECT rcList = {};
    for (const auto& [hChild, rc] : m_Initial)
        if (hChild == m_hList)
            rcList = rc;
    for (const auto& [hChild, rcInitial] : m_Initial) {
        RECT rc = rcInitial;
        bool bBelowList = rc.top >= rcList.bottom;
        bool bRightOfList = rc.left >= rcList.right;
        char szClass[16] = "";
        GetClassNameA(hChild, szClass, sizeof szClass);
        bool bGroup = lstrcmpiA(szClass, "Button") == 0 &&
                      (GetWindowLongA(hChild, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
        if (hChild == m_hList) {
            rc.right += dxList;
            rc.bottom += dy;
        } else if (bBelowList) {
            // New/Remove Module under the list, the others at the bottom right corner.
            OffsetRect(&rc, bRightOfList ? dx : 0, dy);
        } else if (bRightOfList) {
            OffsetRect(&rc, dxList, 0);
            if (bGroup || GetDlgCtrlID(hChild) == IDC_TRACE_FILE)
                rc.right += dx - dxList;
        } else if (bGroup) {
            rc.right += dxList;
        }
        SetWindowPos(hChild, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(Window(), nullptr, TRUE);
    SizeColumns();
}

void CTraceSettingsDlg::LabelColumns(WORD wLanguage)
{
    for (int nColumn = 0; nColumn < 4; ++nColumn) {
        std::string& strLabel = m_Labels[nColumn];
        strLabel = LoadLocalizedString(COLUMN_STRINGS[nColumn], wLanguage);
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT;
        column.pszText = &strLabel[0];
        SendMessageA(m_hList, LVM_SETCOLUMNA, static_cast<WPARAM>(nColumn), reinterpret_cast<LPARAM>(&column));
    }
    SizeColumns();
}

void CTraceSettingsDlg::FillList()
{
    TakePendingFields();
    ShowFields(m_Settings.Select({}));
    TraceFilter filter;
    filter.bRavelin = IsDlgButtonChecked(Window(), IDC_TRACE_FILTER_RAVELIN) == BST_CHECKED;
    filter.bSnmp = IsDlgButtonChecked(Window(), IDC_TRACE_FILTER_SNMP) == BST_CHECKED;
    filter.bFarlink = IsDlgButtonChecked(Window(), IDC_TRACE_FILTER_FARLINK) == BST_CHECKED;
    filter.bRegistered = IsDlgButtonChecked(Window(), IDC_TRACE_FILTER_REGISTERED) == BST_CHECKED;
    m_Rows = m_Settings.FillVisible(filter);
    ShowRows();
    if (m_Rows.empty()) {
        EnableWindow(GetDlgItem(Window(), IDC_TRACE_REMOVE_MODULE), FALSE);
    } else {
        EnableWindow(GetDlgItem(Window(), IDC_TRACE_REMOVE_MODULE), TRUE);
        SizeColumns();
        if (SendMessageA(m_hList, LVM_GETSELECTEDCOUNT, 0, 0) == 0) {
            LVITEMA item = {};
            item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageA(m_hList, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
        }
    }
    SetFocus(m_hList);
}

// Rows in m_Rows' order; the records stay selected as they were.
void CTraceSettingsDlg::ShowRows()
{
    m_bFilling = true;
    SendMessageA(m_hList, LVM_DELETEALLITEMS, 0, 0);
    for (size_t nRow = 0; nRow < m_Rows.size(); ++nRow) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
        item.iItem = static_cast<int>(nRow);
        item.pszText = &m_Rows[nRow]->strName[0];
        item.lParam = reinterpret_cast<LPARAM>(m_Rows[nRow]);
        item.stateMask = LVIS_SELECTED;
        item.state = m_Rows[nRow]->bSelected ? LVIS_SELECTED : 0;
        SendMessageA(m_hList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        UpdateRow(static_cast<int>(nRow));
    }
    m_bFilling = false;
}

void CTraceSettingsDlg::UpdateRow(int nRow)
{
    const TraceModule* pModule = m_Rows[static_cast<size_t>(nRow)];
    const DWORD levels[] = {pModule->dwConLevel, pModule->dwFileLevel, pModule->dwWinLevel};
    for (int nColumn = 1; nColumn <= 3; ++nColumn) {
        std::string strLevel = Decimal(levels[nColumn - 1]);
        LVITEMA item = {};
        item.iSubItem = nColumn;
        item.pszText = &strLevel[0];
        SendMessageA(m_hList, LVM_SETITEMTEXTA, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&item));
    }
}

void CTraceSettingsDlg::SizeColumns()
{
    // The wider of content and header: sizing to either alone may cut the other.
    for (int nColumn = 0; nColumn < 4; ++nColumn) {
        SendMessageA(m_hList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(nColumn), LVSCW_AUTOSIZE);
        LRESULT nContent = SendMessageA(m_hList, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(nColumn), 0);
        LRESULT nHeader = SendMessageA(m_hList, LVM_GETSTRINGWIDTHA, 0,
                                       reinterpret_cast<LPARAM>(m_Labels[nColumn].c_str())) +
                          HEADER_MARGIN;
        SendMessageA(m_hList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(nColumn), std::max(nContent, nHeader));
    }
}

std::vector<TraceModule*> CTraceSettingsDlg::SelectedRecords() const
{
    std::vector<TraceModule*> selected;
    for (int nRow = -1;;) {
        nRow = static_cast<int>(SendMessageA(m_hList, LVM_GETNEXTITEM, static_cast<WPARAM>(nRow), LVNI_SELECTED));
        if (nRow < 0 || static_cast<size_t>(nRow) >= m_Rows.size())
            break;
        selected.push_back(m_Rows[static_cast<size_t>(nRow)]);
    }
    return selected;
}

void CTraceSettingsDlg::OnSelectionChanged()
{
    TakePendingFields();
    ShowFields(m_Settings.Select(SelectedRecords()));
}

void CTraceSettingsDlg::RefreshFields()
{
    ShowFields(m_Settings.RefreshFields());
    for (size_t nRow = 0; nRow < m_Rows.size(); ++nRow)
        UpdateRow(static_cast<int>(nRow));
}

void CTraceSettingsDlg::ShowFields(const TraceFields& fields)
{
    HWND hWnd = Window();
    m_bFilling = true;
    auto number = [](const std::optional<DWORD>& value) { return value ? Decimal(*value) : std::string(); };
    const std::pair<int, std::string> texts[] = {
        {IDC_TRACE_CONSOLE_LEVEL, number(fields.conLevel)},  {IDC_TRACE_FILE_LEVEL, number(fields.fileLevel)},
        {IDC_TRACE_DEBUGGER_LEVEL, number(fields.winLevel)}, {IDC_TRACE_FILE, fields.traceFile.value_or("")},
        {IDC_TRACE_FILE_LIMIT, number(fields.fileLimit)}};
    for (const auto& [nId, strText] : texts) {
        SetDlgItemTextA(hWnd, nId, strText.c_str());
        EnableWindow(GetDlgItem(hWnd, nId), fields.bEnabled ? TRUE : FALSE);
    }
    ShowCheck(hWnd, IDC_TRACE_TIME_STAMP, fields.timeStamp);
    ShowCheck(hWnd, IDC_TRACE_DATE_STAMP, fields.dateStamp);
    ShowCheck(hWnd, IDC_TRACE_THREAD_ID, fields.threadId);
    ShowCheck(hWnd, IDC_TRACE_CPU_ID, fields.cpuId);
    ShowCheck(hWnd, IDC_TRACE_APP_NAME, fields.appName);
    ShowCheck(hWnd, IDC_TRACE_MEM_USAGE, fields.memUsage);
    for (int nId : CHECK_BOXES)
        EnableWindow(GetDlgItem(hWnd, nId), fields.bEnabled ? TRUE : FALSE);
    m_bFilling = false;
    EnableTraceButtons();
}

void CTraceSettingsDlg::EnableTraceButtons()
{
    HWND hWnd = Window();
    BOOL bExists = CTraceSettings::TraceFileExists(ItemText(hWnd, IDC_TRACE_FILE)) ? TRUE : FALSE;
    EnableWindow(GetDlgItem(hWnd, IDC_TRACE_VIEW), bExists);
    EnableWindow(GetDlgItem(hWnd, IDC_TRACE_DELETE), bExists);
}

void CTraceSettingsDlg::TakePendingFields()
{
    if (m_bFilling)
        return;
    HWND hWnd = Window();
    auto number = [hWnd](int nId) -> std::optional<long> {
        std::string strText = ItemText(hWnd, nId);
        if (strText.empty())
            return std::nullopt;
        return std::strtol(strText.c_str(), nullptr, 10);
    };
    TraceFieldEdits current;
    current.conLevel = number(IDC_TRACE_CONSOLE_LEVEL);
    current.fileLevel = number(IDC_TRACE_FILE_LEVEL);
    current.winLevel = number(IDC_TRACE_DEBUGGER_LEVEL);
    current.fileLimit = number(IDC_TRACE_FILE_LIMIT);
    current.traceFile = ItemText(hWnd, IDC_TRACE_FILE);
    current.timeStamp = CheckOf(hWnd, IDC_TRACE_TIME_STAMP);
    current.dateStamp = CheckOf(hWnd, IDC_TRACE_DATE_STAMP);
    current.threadId = CheckOf(hWnd, IDC_TRACE_THREAD_ID);
    current.cpuId = CheckOf(hWnd, IDC_TRACE_CPU_ID);
    current.appName = CheckOf(hWnd, IDC_TRACE_APP_NAME);
    current.memUsage = CheckOf(hWnd, IDC_TRACE_MEM_USAGE);
    if (!m_Settings.TypeFields(current))
        return;
    for (size_t nRow = 0; nRow < m_Rows.size(); ++nRow)
        if (m_Rows[nRow]->bSelected)
            UpdateRow(static_cast<int>(nRow));
}

bool CTraceSettingsDlg::OnCommand(WORD wId)
{
    HWND hWnd = Window();
    for (int nId : TEXT_FIELDS) {
        if (wId == nId) {
            TakePendingFields();
            return true;
        }
    }
    for (int nId : CHECK_BOXES) {
        if (wId == nId) {
            TakePendingFields();
            return true;
        }
    }
    for (int nId : FILTER_BOXES) {
        if (wId == nId) {
            FillList();
            return true;
        }
    }
    switch (wId) {
    case IDC_TRACE_DYNAMIC:
        m_Settings.SetDynamicUpdate(IsDlgButtonChecked(hWnd, IDC_TRACE_DYNAMIC) == BST_CHECKED);
        return true;
    case IDC_TRACE_NEW_MODULE:
        NewModule();
        return true;
    case IDC_TRACE_REMOVE_MODULE:
        RemoveModule();
        return true;
    case IDC_TRACE_ALL_OFF:
        TakePendingFields();
        // The fields show the records as they now are, so that nothing typed before counts again.
        if (m_Settings.AllTracesOff(m_Rows))
            RefreshFields();
        return true;
    case IDC_TRACE_APPLY:
        TakePendingFields();
        m_Settings.ApplyChanges();
        RefreshFields();  // Apply may have raised a shared file's limit
        return true;
    case IDC_TRACE_VIEW:
        std::system(CTraceSettings::ViewTraceCommand(ItemText(hWnd, IDC_TRACE_FILE)).c_str());
        return true;
    case IDC_TRACE_DELETE:
        m_Settings.DeleteTrace(ItemText(hWnd, IDC_TRACE_FILE));
        EnableTraceButtons();
        return true;
    case IDC_TRACE_RESTART:
        Restart();
        return true;
    case IDOK:
        TakePendingFields();
        EndDialog(hWnd, m_Settings.Exit());
        return true;
    case IDCANCEL:  // the close box and Escape
        TakePendingFields();
        EndDialog(hWnd, m_Settings.Close());
        return true;
    default:
        return false;
    }
}

bool CTraceSettingsDlg::OnDialogMessage(UINT uMessage, WPARAM, LPARAM lParam, LRESULT& lResult)
{
    switch (uMessage) {
    case WM_NOTIFY: {
        const auto* pHeader = reinterpret_cast<const NMHDR*>(lParam);
        return pHeader && pHeader->idFrom == IDC_TRACE_MODULES && OnListNotify(*pHeader, lResult);
    }
    case WM_SIZE:
        if (m_hList)
            Layout();
        return true;
    case WM_SHOWWINDOW:
        if (m_hList)
            SizeColumns();
        return false;
    case WM_GETMINMAXINFO:
    case WM_DESTROY:
        m_Resize.OnResizeMessage(uMessage, lParam);
        return false;
    default:
        return false;
    }
}

bool CTraceSettingsDlg::OnListNotify(const NMHDR& header, LRESULT& lResult)
{
    switch (header.code) {
    case LVN_ITEMCHANGED: {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (!m_bFilling && (change.uChanged & LVIF_STATE) &&
            ((change.uOldState ^ change.uNewState) & LVIS_SELECTED))
            OnSelectionChanged();
        return true;
    }
    case LVN_COLUMNCLICK: {
        const auto& click = reinterpret_cast<const NMLISTVIEW&>(header);
        CTraceSettings::SortRows(m_Rows, static_cast<TraceColumn>(click.iSubItem));
        ShowRows();
        return true;
    }
    case LVN_GETINFOTIPA: {
        auto& tip = const_cast<NMLVGETINFOTIPA&>(reinterpret_cast<const NMLVGETINFOTIPA&>(header));
        if (tip.iItem >= 0 && static_cast<size_t>(tip.iItem) < m_Rows.size() && tip.pszText && tip.cchTextMax > 0)
            std::snprintf(tip.pszText, static_cast<size_t>(tip.cchTextMax), "%s",
                          m_Rows[static_cast<size_t>(tip.iItem)]->strTraceFile.c_str());
        lResult = 0;
        return true;
    }
    default:
        return false;
    }
}

void CTraceSettingsDlg::NewModule()
{
    CNewModuleDlg dialog;
    if (dialog.DoModal(Window()) != IDOK)
        return;
    TakePendingFields();
    TraceModule* pModule = m_Settings.NewModule(dialog.Name());
    ShowFields(m_Settings.Select({pModule}));
    m_Rows.push_back(pModule);
    ShowRows();
    int nLast = static_cast<int>(m_Rows.size()) - 1;
    SendMessageA(m_hList, LVM_ENSUREVISIBLE, static_cast<WPARAM>(nLast), FALSE);
}

void CTraceSettingsDlg::RemoveModule()
{
    TakePendingFields();
    m_Settings.RemoveModules(SelectedRecords());
    ShowFields(m_Settings.ShownFields());
    std::vector<TraceModule*> kept;
    for (TraceModule* pModule : m_Rows)
        if (!pModule->bDeleted)
            kept.push_back(pModule);
    m_Rows = kept;
    ShowRows();
    if (m_Rows.empty())
        EnableWindow(GetDlgItem(Window(), IDC_TRACE_REMOVE_MODULE), FALSE);
}

void CTraceSettingsDlg::Restart()
{
    TakePendingFields();
    m_Settings.AskToSave();
    CRestartDlg restart;
    restart.DoModal(GetActiveWindow());
}

void CTraceSettingsDlg::EnableApply(bool bEnable)
{
    EnableWindow(GetDlgItem(Window(), IDC_TRACE_APPLY), bEnable ? TRUE : FALSE);
}

int CTraceSettingsDlg::Ask(const std::string& strText, const std::string& strCaption, UINT uStyle)
{
    return MessageBoxA(Window(), strText.c_str(), strCaption.c_str(), uStyle);
}

int RunTraceSettingsDialog()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    CTraceSettingsDlg dialog;
    dialog.LoadSize();
    return static_cast<int>(dialog.DoModal(nullptr));
}
