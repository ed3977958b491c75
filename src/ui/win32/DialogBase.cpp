// A modal dialog from the program's templates, in the thread's language, with a class behind it.
#include "src/ui/win32/DialogBase.h"

#include "src/ui/ControlIds.h"

namespace {

// The template in the thread's language, else the neutral or the English one: some dialogs have a
// German template beside the English one.
const DLGTEMPLATE* FindTemplate(HINSTANCE hInstance, UINT uTemplateId)
{
    const WORD languages[] = {LANGIDFROMLCID(GetThreadLocale()), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                              MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)};
    for (WORD wLanguage : languages) {
        HRSRC hResource = FindResourceExA(hInstance, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                          MAKEINTRESOURCEA(uTemplateId), wLanguage);
        if (!hResource)
            continue;
        HGLOBAL hData = LoadResource(hInstance, hResource);
        if (hData)
            return static_cast<const DLGTEMPLATE*>(LockResource(hData));
    }
    return nullptr;
}

}  // namespace

INT_PTR CDialogBase::DoModal(HWND hParent)
{
    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    const DLGTEMPLATE* pTemplate = FindTemplate(hInstance, m_uTemplateId);
    if (!pTemplate)
        return -1;
    return DialogBoxIndirectParamA(hInstance, pTemplate, hParent, DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
    if (uMessage == WM_INITDIALOG) {
        SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        reinterpret_cast<CDialogBase*>(lParam)->m_hWnd = hWnd;
    }
    auto* pDialog = reinterpret_cast<CDialogBase*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!pDialog)
        return FALSE;

    LRESULT lResult = 0;
    bool bHandled = pDialog->OnMessage(uMessage, wParam, lParam, lResult);
    if (uMessage == WM_NCDESTROY) {
        SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        pDialog->m_hWnd = nullptr;
    }
    if (uMessage == WM_INITDIALOG)
        return bHandled ? static_cast<INT_PTR>(lResult) : TRUE;
    if (bHandled)
        SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, lResult);
    return bHandled ? TRUE : FALSE;
}

void CDialogBase::Centre(bool bOnParent)
{
    if (IsZoomed(m_hWnd))
        return;  // reopened maximised: it fills the screen already
    RECT rcOver;
    HWND hParent = bOnParent ? GetParent(m_hWnd) : nullptr;
    if (!hParent || !GetWindowRect(hParent, &rcOver))
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcOver, 0);
    RECT rcWindow;
    GetWindowRect(m_hWnd, &rcWindow);
    int cx = rcWindow.right - rcWindow.left;
    int cy = rcWindow.bottom - rcWindow.top;
    SetWindowPos(m_hWnd, nullptr, rcOver.left + (rcOver.right - rcOver.left - cx) / 2,
                 rcOver.top + (rcOver.bottom - rcOver.top - cy) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialogBase::SetProgramIcon()
{
    HICON hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRIAGIST));
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hIcon));
}
