// The main diagnostics window: the Win32 view over the window's logic.
#pragma once

#include "src/diagnosis/DiagWindow.h"
#include "src/report/DiagReport.h"
#include "src/ui/win32/BoundDialog.h"
#include "src/ui/win32/ResizeSupport.h"

#include <vector>

class CDiagDialog : public CBoundDialog, private IDiagWindowView {
public:
    explicit CDiagDialog(const std::vector<DiagStep>& steps);

    // Before the dialog is shown.
    void LoadSize() { m_Resize.LoadSize(); }

protected:
    void OnInitDialog() override;
    bool OnCommand(WORD wId) override;
    bool OnDialogMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    // IDiagWindowView: the worker calls these too, so each goes to the controls by message.
    void AppendLog(const std::string& strText) override;
    void SetStatusText(const std::string& strText) override;
    void SetProgress(DWORD dwPosition, DWORD dwRange) override;
    void ClearLog() override;
    void ShowProgress(bool bShow) override;
    void FillProgress() override;
    void SetStartButton(const std::string& strText, bool bEnabled) override;
    void EnableSave() override;
    void PostResults() override;
    void EndDialog(int nCode) override;
    void Navigate(const std::string& strPath) override;
    void ShowWarning(const std::string& strCaption, const std::string& strText) override;

    void Layout();
    void LayoutStatusBar();
    void SaveAs();

    HWND m_hStatusBar = nullptr;
    HWND m_hProgress = nullptr;
    HWND m_hStart = nullptr;
    HWND m_hExit = nullptr;
    HWND m_hSave = nullptr;
    HWND m_hLog = nullptr;
    HWND m_hView = nullptr;
    CResizeSupport m_Resize;
    // Last, so that its worker is stopped before anything it uses goes.
    CDiagWindow m_Diagnosis;
};

// Opens the main diagnostics window over the steps; its end code.
int RunDiagnosisWindow(const std::vector<DiagStep>& steps);
