// Dialogs in the user's language: captions and control texts set from the string table by a
// static table per dialog.
#include "src/ui/ControlBinding.h"

#include "src/platform/ScopedHandle.h"
#include "src/ui/ControlIds.h"
#include "src/ui/StringIds.h"
#include "src/ui/StringTable.h"

namespace {

const DWORD kNoItemData = 0xFFFFFFFFu;

constexpr BindingRow Text(DWORD dwControlId, DWORD dwStringId)
{
    return BindingRow{0, dwControlId, dwStringId, 0, kNoItemData, 0, 0, 0, nullptr};
}

constexpr BindingRow End()
{
    return BindingRow{0, kBindingEnd, 0, 0, kNoItemData, 0, 0, 0, nullptr};
}

const DWORD kCaption = 0;

}  // namespace

const BindingRow g_MainWindowBinding[] = {
    Text(kCaption, IDS_MAIN_CAPTION),
    Text(IDC_MAIN_START, IDS_MAIN_START),
    Text(IDCANCEL, IDS_MAIN_EXIT),
    Text(IDC_MAIN_SAVE, IDS_MAIN_SAVE),
    End(),
};

// The editor labels its list columns itself; its template comes in both languages.
const BindingRow g_TraceSettingsBinding[] = {
    End(),
};

const BindingRow g_MsiCleanupBinding[] = {
    End(),
};

const BindingRow g_AgentSelectionBinding[] = {
    Text(kCaption, IDS_AGENTS_CAPTION),
    Text(IDC_AGENTS_PROMPT, IDS_AGENTS_PROMPT),
    Text(IDOK, IDS_AGENTS_OK),
    Text(IDCANCEL, IDS_AGENTS_CANCEL),
    End(),
};

const BindingRow g_RestartBinding[] = {
    Text(kCaption, IDS_RESTART_CAPTION),
    Text(IDCANCEL, IDS_RESTART_EXIT),
    Text(IDC_RESTART_RESTART, IDS_RESTART_RESTART),
    Text(IDC_RESTART_ADVANCED, IDS_RESTART_ADVANCED),
    Text(IDC_RESTART_STATUS, IDS_RESTART_PROMPT),
    Text(IDC_RESTART_OPTIONS, IDS_RESTART_OPTIONS),
    Text(IDC_RESTART_RESCAN, IDS_RESTART_RESCAN),
    Text(IDC_RESTART_SNMP_ONLY, IDS_RESTART_SNMP_ONLY),
    End(),
};

CControlBinding::CControlBinding(const BindingRow* pTable)
    : m_pTable(pTable)
{
}

void CControlBinding::BindControls(WORD wLanguage)
{
    for (const BindingRow* pRow = m_pTable; pRow && pRow->dwControlId != kBindingEnd; ++pRow) {
        if (pRow->dwControlId == kCaption)
            SetWindowTextA(m_hBindingWindow, LoadLocalizedString(pRow->dwStringId, wLanguage).c_str());
        else
            SetItemText(pRow->dwControlId, pRow->dwStringId, wLanguage);
    }
}

void CControlBinding::SetItemText(UINT uControlId, UINT uStringId, WORD wLanguage)
{
    HWND hControl = GetDlgItem(m_hBindingWindow, static_cast<int>(uControlId));
    if (hControl)
        SetWindowTextA(hControl, LoadLocalizedString(uStringId, wLanguage).c_str());
}

bool CControlBinding::OnBindingMessage(UINT uMessage, WPARAM, LPARAM lParam, LRESULT& lResult)
{
    switch (uMessage) {
    case WM_INPUTLANGCHANGEREQUEST:
        if (IsWindow(m_hBindingWindow)) {
            // Windows puts flags into the first parameter and the keyboard layout into the second,
            // whose low word is the language.
            m_wLanguage = LOWORD(static_cast<DWORD_PTR>(lParam));
            BindControls(m_wLanguage);
            InvalidateRect(m_hBindingWindow, nullptr, TRUE);
        }
        lResult = 0;
        return true;
    case WM_DESTROY:
        // The table is shared by every dialog of its class; only rows a dialog filled in hold objects.
        for (const BindingRow* pRow = m_pTable; pRow && pRow->dwControlId != kBindingEnd; ++pRow) {
            CComPointer<IUnknown> control(pRow->pControl);  // the row's reference is the dialog's: it ends here
        }
        return false;
    default:
        return false;
    }
}
