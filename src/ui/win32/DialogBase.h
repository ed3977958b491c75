// A modal dialog from the program's templates, in the thread's language, with a class behind it.
#pragma once

#include "src/platform/Win32.h"

class CDialogBase {
public:
    explicit CDialogBase(UINT uTemplateId) : m_uTemplateId(uTemplateId) {}
    virtual ~CDialogBase() = default;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // The end code, or -1 when the template is missing or the dialog could not be created.
    INT_PTR DoModal(HWND hParent);
    HWND Window() const { return m_hWnd; }
    UINT TemplateId() const { return m_uTemplateId; }

protected:
    // True when handled, with lResult the message's result (for WM_INITDIALOG: whether the system
    // sets the focus).
    virtual bool OnMessage(UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& lResult) = 0;
    // The program's icon as the dialog's large icon.
    void SetProgramIcon();
    // Centres the dialog on its parent, or on the screen's work area (also without a parent).
    void Centre(bool bOnParent);

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam);

    UINT m_uTemplateId;
    HWND m_hWnd = nullptr;
};
