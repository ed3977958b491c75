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

    // The list and the groups right of it share the added width; the list takes the added height and
    // the buttons below keep to the bottom edge.
    void Layout();
    void RefreshFields();
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
    bool m_bFilling = false;
    // Every control where the template put it, for Layout.
    std::vector<std::pair<HWND, RECT>> m_Initial;
    SIZE m_InitialClient = {0, 0};
};

// Shows the editor until the user leaves it; its end code (CTraceSettings::END_EXIT after Exit,
// END_CLOSED otherwise).
int RunTraceSettingsDialog();
