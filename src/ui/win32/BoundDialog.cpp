// A dialog whose texts come from the string table in the user's language: the message handling
// every such dialog shares.
#include "src/ui/win32/BoundDialog.h"

bool CBoundDialog::OnMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    if (OnBindingMessage(uMessage, wParam, lParam, lResult))
        return true;
    lResult = 0;
    switch (uMessage) {
    case WM_INITDIALOG:
        SetBindingWindow(Window());
        OnInitDialog();
        lResult = TRUE;  // the system sets the focus
        return true;
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam));
    default:
        return OnDialogMessage(uMessage, wParam, lParam, lResult);
    }
}
