// The restart dialog: the Win32 view over the agent restart.
#pragma once

#include "src/tools/AgentRestart.h"
#include "src/ui/win32/BoundDialog.h"

class CRestartDlg : public CBoundDialog, private IRestartView {
public:
    CRestartDlg();

protected:
    void OnInitDialog() override;
    bool OnCommand(WORD wId) override;
    bool OnDialogMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    // IRestartView: called on the restart's worker thread.
    HWND Owner() const override { return Window(); }
    void EnableRunControls(bool bEnable) override;
    void ShowStatus(const std::string& strText) override;
    void SetProgress(int nPosition) override;
    void StartProgressTimer() override;
    void StopProgressTimer() override;
    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override;

    HWND m_hProgress = nullptr;
    volatile LONG m_bRunning = 0;
    CAgentRestart m_Restart;
};

// Shows the restart dialog until the user leaves it; its end code (CAgentRestart::END_EXIT).
int RunRestartDialog();
