// A dialog whose texts come from the string table in the user's language: the message handling
// every such dialog shares.
#pragma once

#include "src/ui/ControlBinding.h"
#include "src/ui/win32/DialogBase.h"

class CBoundDialog : public CDialogBase, public CControlBinding {
public:
    CBoundDialog(UINT uTemplateId, const BindingRow* pBinding) : CDialogBase(uTemplateId), CControlBinding(pBinding) {}

protected:
    // The binding first, then the dialog: WM_INITDIALOG (the binding knows the window by then),
    // WM_COMMAND by control id, everything else.
    bool OnMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) final;

    virtual void OnInitDialog() = 0;
    // True when the command was the dialog's.
    virtual bool OnCommand(WORD wId) = 0;
    virtual bool OnDialogMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
};
