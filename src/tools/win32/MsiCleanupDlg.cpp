// The installer registration clean-up dialog.
#include "src/tools/win32/MsiCleanupDlg.h"

#include "src/ui/ControlIds.h"

#include <commdlg.h>

namespace {

const int IMAGE_SIZE = 16;

HTREEITEM InsertTreeItem(HWND hTree, HTREEITEM hParent, HTREEITEM hAfter, const std::string& strText, LPARAM lParam)
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = hParent;
    insert.hInsertAfter = hAfter;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<LPSTR>(strText.c_str());
    insert.item.lParam = lParam;
    return reinterpret_cast<HTREEITEM>(SendMessageA(hTree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

}  // namespace

CMsiCleanupDlg::CMsiCleanupDlg()
    : CBoundDialog(IDD_MSI_CLEANUP, g_MsiCleanupBinding),
      m_Resize(IDD_MSI_CLEANUP, {{IDC_MSI_PRODUCTS, GROW_WIDTH | SHARE_HEIGHT},
                                 {IDC_MSI_CLEAN, FOLLOW_RIGHT},
                                 {IDOK, FOLLOW_RIGHT}}),
      m_Cleanup(*this)
{
}

bool CMsiCleanupDlg::OnCommand(WORD wId)
{
    switch (wId) {
    case IDC_MSI_CLEAN: {
        const MsiProductEntry* pProduct = SelectedProduct();
        if (pProduct)
            m_Cleanup.Clean(*pProduct);
        return true;
    }
    case IDOK:
        EndDialog(Window(), CMsiCleanup::END_EXIT);
        return true;
    case IDCANCEL:  // the close box
        EndDialog(Window(), CMsiCleanup::END_CLOSED);
        return true;
    default:
        return false;
    }
}

bool CMsiCleanupDlg::OnDialogMessage(UINT uMessage, WPARAM, LPARAM lParam, LRESULT&)
{
    switch (uMessage) {
    case WM_SIZE:
        m_Resize.LayoutControls();
        return false;
    case WM_GETMINMAXINFO:
    case WM_DESTROY:
        m_Resize.OnResizeMessage(uMessage, lParam);
        return false;
    default:
        return false;
    }
}

void CMsiCleanupDlg::OnInitDialog()
{
    HWND hWnd = Window();
    SetProgramIcon();
    m_hTree = GetDlgItem(hWnd, IDC_MSI_PRODUCTS);
    m_Images.Reset(ImageList_Create(IMAGE_SIZE, IMAGE_SIZE, ILC_COLOR, 0, 1));
    LendTreeImageList(m_hTree, m_Images, TVSIL_NORMAL);

    m_Cleanup.ListProducts();
    FillTree();
    BindControls(LANGIDFROMLCID(GetThreadLocale()));
    m_Resize.InitResize(hWnd);
    Centre(true);
}

void CMsiCleanupDlg::FillTree()
{
    TreeView_DeleteAllItems(m_hTree);
    for (const MsiProductEntry& product : m_Cleanup.Products()) {
        HTREEITEM hProduct =
            InsertTreeItem(m_hTree, TVI_ROOT, TVI_SORT, product.strName, reinterpret_cast<LPARAM>(&product));
        if (!hProduct)
            continue;
        for (const MsiFeatureEntry& feature : product.features)
            InsertTreeItem(m_hTree, hProduct, TVI_LAST, feature.strTitle + " (" + feature.strName + ")", 0);
    }
    HTREEITEM hFirst = TreeView_GetRoot(m_hTree);
    if (hFirst)
        TreeView_SelectItem(m_hTree, hFirst);
}

const MsiProductEntry* CMsiCleanupDlg::SelectedProduct() const
{
    HTREEITEM hItem = TreeView_GetSelection(m_hTree);
    if (!hItem)
        return nullptr;
    TVITEMA tvItem = {};
    tvItem.mask = TVIF_PARAM | TVIF_HANDLE;
    tvItem.hItem = hItem;
    if (!TreeView_GetItem(m_hTree, &tvItem))
        return nullptr;
    return reinterpret_cast<const MsiProductEntry*>(tvItem.lParam);  // features carry none
}

int CMsiCleanupDlg::Ask(const std::string& strText, const std::string& strCaption, UINT uStyle)
{
    return MessageBoxA(Window(), strText.c_str(), strCaption.c_str(), uStyle);
}

void CMsiCleanupDlg::Show(const std::string& strText, const std::string& strCaption, UINT uStyle)
{
    MessageBoxA(Window(), strText.c_str(), strCaption.c_str(), uStyle);
}

bool CMsiCleanupDlg::ChooseDatabase(std::string& strPath)
{
    char szFile[MAX_PATH] = "*.msi";
    static const char FILTER[] = "Microsoft Installer Database\0*.msi\0";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Window();
    ofn.lpstrFilter = FILTER;
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = "msi";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn))
        return false;
    strPath = szFile;
    return true;
}

int RunMsiCleanupDialog()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    CMsiCleanupDlg dialog;
    dialog.LoadSize();
    return static_cast<int>(dialog.DoModal(GetActiveWindow()));
}
