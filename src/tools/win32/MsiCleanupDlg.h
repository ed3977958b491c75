// The installer registration clean-up dialog: the Win32 view over the clean-up.
#pragma once

#include "src/tools/MsiCleanup.h"
#include "src/ui/win32/BoundDialog.h"
#include "src/ui/win32/ResizeSupport.h"
#include "src/ui/win32/ScopedImageList.h"

class CMsiCleanupDlg : public CBoundDialog, private IMsiCleanupView {
public:
    CMsiCleanupDlg();

    // Before the dialog is shown.
    void LoadSize() { m_Resize.LoadSize(); }

protected:
    void OnInitDialog() override;
    bool OnCommand(WORD wId) override;
    bool OnDialogMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override;
    void Show(const std::string& strText, const std::string& strCaption, UINT uStyle) override;
    bool ChooseDatabase(std::string& strPath) override;

    void FillTree();
    // The product of the selected item; null when none is selected or it is a feature.
    const MsiProductEntry* SelectedProduct() const;

    CResizeSupport m_Resize;
    CMsiCleanup m_Cleanup;
    HWND m_hTree = nullptr;
    CScopedImageList m_Images;
};

// Shows the clean-up dialog until the user leaves it; its end code (1 after Exit, 0 after the close box).
int RunMsiCleanupDialog();
