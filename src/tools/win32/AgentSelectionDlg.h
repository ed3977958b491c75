// The extension agent selection dialog: the Win32 view over the agent selection.
#pragma once

#include "src/tools/AgentSelection.h"
#include "src/ui/win32/BoundDialog.h"
#include "src/ui/win32/ScopedImageList.h"

class CAgentSelectionDlg : public CBoundDialog {
public:
    CAgentSelectionDlg();

protected:
    void OnInitDialog() override;
    bool OnCommand(WORD wId) override;
    bool OnDialogMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    void InsertItem(AgentItem& item, HTREEITEM hParent);
    // Toggles the mark of the tree item through the model and redraws it and its children.
    void ClickItem(HTREEITEM hItem);
    void ShowMark(HTREEITEM hItem);
    bool OnTreeNotify(const NMHDR& header);

    CAgentSelection m_Selection;
    HWND m_hTree = nullptr;
    CScopedImageList m_Marks;
};
