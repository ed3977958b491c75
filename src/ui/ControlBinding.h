// Dialogs in the user's language: captions and control texts set from the string table by a
// static table per dialog.
#pragma once

#include "src/platform/Win32.h"

// One row of a dialog's binding table. Only plain-text rows (kind 0) exist in this program.
struct BindingRow {
    DWORD dwKind;
    DWORD dwControlId;  // 0: the dialog's caption; kBindingEnd ends the table
    DWORD dwStringId;
    DWORD dwIndex;
    DWORD dwItemData;
    DWORD dwAlignment;
    DWORD dwFlag;
    DWORD dwParameter;
    IUnknown* pControl;  // released when the dialog is destroyed; null in the static tables
};

constexpr DWORD kBindingEnd = 0xFFFFFFFFu;

// The tables of the program's dialogs.
extern const BindingRow g_MainWindowBinding[];      // 121
extern const BindingRow g_TraceSettingsBinding[];   // 119
extern const BindingRow g_MsiCleanupBinding[];      // 124
extern const BindingRow g_AgentSelectionBinding[];  // 126
extern const BindingRow g_RestartBinding[];         // 128

// A base of every dialog class that shows its texts in the user's language.
class CControlBinding {
public:
    explicit CControlBinding(const BindingRow* pTable);
    virtual ~CControlBinding() = default;

    // Sets the caption and the texts of the table's controls in wLanguage (0: the thread's
    // locale); a row whose control the dialog lacks is skipped.
    virtual void BindControls(WORD wLanguage);
    void SetItemText(UINT uControlId, UINT uStringId, WORD wLanguage);

    // The binding's share of the dialog's messages, taken before the dialog's own handlers:
    // true when handled, with lResult the message's result.
    bool OnBindingMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult);

    // 0 until the user asks for another input language while the dialog is shown.
    WORD LanguageWord() const { return m_wLanguage; }

protected:
    // The dialog window the texts go to; set when the dialog initialises.
    void SetBindingWindow(HWND hDialog) { m_hBindingWindow = hDialog; }
    HWND BindingWindow() const { return m_hBindingWindow; }

private:
    const BindingRow* m_pTable;
    HWND m_hBindingWindow = nullptr;
    WORD m_wLanguage = 0;
};
