// The trace settings editor's dialogs: the Win32 view over the trace settings.
#pragma once

#include "src/tools/TraceSettings.h"
#include "src/ui/ControlIds.h"
#include "src/ui/win32/BoundDialog.h"
#include "src/ui/win32/ResizeSupport.h"

#include <string>
#include <utility>
#include <vector>

// Asks for a new module's name; OK only while there is one.
class CNewModuleDlg : public CDialogBase {
public:
    CNewModuleDlg() : CDialogBase(IDD_NEW_MODULE) {}
    const std::string& Name() const { return m_strName; }

private:
    bool OnMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    std::string m_strName;
};

class CTraceSettingsDlg : public CBoundDialog, private ITraceSettingsView {
public:
    CTraceSettingsDlg();

    void BindControls(WORD wLanguage) override;
    // Before the dialog is shown.
    void LoadSize() { m_Resize.LoadSize(); }

protected:
    void OnInitDialog() override;
    bool OnCommand(WORD wId) override;
    bool OnDialogMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

private:
    // ITraceSettingsView
    void EnableApply(bool bEnable) override;
    int Ask(const std::string& strText, const std::string& strCaption, UINT uStyle) override;

    void Layout();
    void LabelColumns(WORD wLanguage);
    void FillList();
    void ShowRows();
    void UpdateRow(int nRow);
    void SizeColumns();
    std::vector<TraceModule*> SelectedRecords() const;
    void OnSelectionChanged();
    void ShowFields(const TraceFields& fields);
    // View Trace and Delete Trace only while the path names a file that opens.
    void EnableTraceButtons();
    // Whatever the user changed since the fields were filled, into the selected records.
    void TakePendingFields();
    bool OnListNotify(const NMHDR& header, LRESULT& lResult);
    void NewModule();
    void RemoveModule();
    void Restart();

    CTraceSettings m_Settings;
    CResizeSupport m_Resize;
    HWND m_hList = nullptr;
    std::string m_Labels[4];
    std::vector<TraceModule*> m_Rows;
    std::vector<TraceModule*> m_Selection;
    // The fields' texts as last filled, by control; a text that differs is the user's.
    std::vector<std::pair<int, std::string>> m_Filled;
    bool m_bFilling = false;
    int m_nInitialHeight = 0;
};

// Shows the editor until the user leaves it; its end code (CTraceSettings::END_EXIT after Exit,
// END_CLOSED otherwise).
int RunTraceSettingsDialog();
