// The extension agent selection dialog: the Win32 view over the agent selection.
#include "src/tools/win32/AgentSelectionDlg.h"

#include "src/ui/ControlIds.h"

namespace {

// The state images of bitmap 100.
const UINT MARK_NONE = 0;
const UINT MARK_OFF = 1;
const UINT MARK_ON = 2;
const int MARK_WIDTH = 16;
const COLORREF MARK_TRANSPARENT = RGB(255, 0, 255);

UINT MarkOf(const AgentItem& item)
{
    if (!item.bHasMark)
        return MARK_NONE;
    return item.bChecked ? MARK_ON : MARK_OFF;
}

AgentItem* ItemData(HWND hTree, HTREEITEM hItem)
{
    TVITEMA tvItem = {};
    tvItem.mask = TVIF_PARAM | TVIF_HANDLE;
    tvItem.hItem = hItem;
    if (!TreeView_GetItem(hTree, &tvItem))
        return nullptr;
    return reinterpret_cast<AgentItem*>(tvItem.lParam);
}

}  // namespace

CAgentSelectionDlg::CAgentSelectionDlg() : CBoundDialog(IDD_AGENTS, g_AgentSelectionBinding) {}

bool CAgentSelectionDlg::OnCommand(WORD wId)
{
    switch (wId) {
    case IDOK:
        m_Selection.ApplyAgentSelection();
        EndDialog(Window(), IDOK);
        return true;
    case IDCANCEL:
        EndDialog(Window(), IDCANCEL);
        return true;
    default:
        return false;
    }
}

bool CAgentSelectionDlg::OnDialogMessage(UINT uMessage, WPARAM, LPARAM lParam, LRESULT&)
{
    if (uMessage != WM_NOTIFY)
        return false;
    const auto* pHeader = reinterpret_cast<const NMHDR*>(lParam);
    return pHeader && pHeader->idFrom == IDC_AGENTS_TREE && OnTreeNotify(*pHeader);
}

void CAgentSelectionDlg::OnInitDialog()
{
    HWND hWnd = Window();
    BindControls(LANGIDFROMLCID(GetThreadLocale()));
    Centre(true);

    m_hTree = GetDlgItem(hWnd, IDC_AGENTS_TREE);
    // The marks are our own state images; the control's check boxes would toggle on their own.
    LONG_PTR style = GetWindowLongPtrA(m_hTree, GWL_STYLE);
    SetWindowLongPtrA(m_hTree, GWL_STYLE, (style & ~static_cast<LONG_PTR>(TVS_CHECKBOXES)) | TVS_SHOWSELALWAYS);
    m_Marks.Reset(ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_CHECKMARKS), MARK_WIDTH, 0,
                                       MARK_TRANSPARENT, IMAGE_BITMAP, LR_CREATEDIBSECTION));
    LendTreeImageList(m_hTree, m_Marks, TVSIL_STATE);

    m_Selection.FillAgentTree();
    InsertItem(m_Selection.Root(), TVI_ROOT);
}

void CAgentSelectionDlg::InsertItem(AgentItem& item, HTREEITEM hParent)
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = hParent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE;
    insert.item.pszText = const_cast<LPSTR>(item.strText.c_str());
    insert.item.lParam = reinterpret_cast<LPARAM>(&item);
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    insert.item.state = INDEXTOSTATEIMAGEMASK(MarkOf(item));
    auto hItem = reinterpret_cast<HTREEITEM>(
        SendMessageA(m_hTree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (!hItem)
        return;
    for (AgentItem& child : item.children)
        InsertItem(child, hItem);
    if (item.bExpanded)
        TreeView_Expand(m_hTree, hItem, TVE_EXPAND);
}

void CAgentSelectionDlg::ClickItem(HTREEITEM hItem)
{
    AgentItem* pItem = ItemData(m_hTree, hItem);
    if (!pItem)
        return;
    CAgentSelection::ClickMark(*pItem);
    ShowMark(hItem);
    for (HTREEITEM hChild = TreeView_GetChild(m_hTree, hItem); hChild;
         hChild = TreeView_GetNextSibling(m_hTree, hChild))
        ShowMark(hChild);
}

void CAgentSelectionDlg::ShowMark(HTREEITEM hItem)
{
    const AgentItem* pItem = ItemData(m_hTree, hItem);
    if (pItem)
        TreeView_SetItemState(m_hTree, hItem, INDEXTOSTATEIMAGEMASK(MarkOf(*pItem)), TVIS_STATEIMAGEMASK);
}

bool CAgentSelectionDlg::OnTreeNotify(const NMHDR& header)
{
    if (header.code == NM_CLICK) {
        TVHITTESTINFO hit = {};
        DWORD dwPos = GetMessagePos();
        hit.pt.x = static_cast<short>(LOWORD(dwPos));
        hit.pt.y = static_cast<short>(HIWORD(dwPos));
        ScreenToClient(m_hTree, &hit.pt);
        HTREEITEM hItem = TreeView_HitTest(m_hTree, &hit);
        if (hItem && (hit.flags & TVHT_ONITEMSTATEICON))
            ClickItem(hItem);
        return false;
    }
    if (header.code == TVN_KEYDOWN && reinterpret_cast<const NMTVKEYDOWN&>(header).wVKey == VK_SPACE) {
        HTREEITEM hItem = TreeView_GetSelection(m_hTree);
        if (hItem)
            ClickItem(hItem);
        return true;
    }
    return false;
}
