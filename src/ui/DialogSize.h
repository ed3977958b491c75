// A resizable dialog's last size, kept per user from one session to the next.
#pragma once

#include "src/platform/Win32.h"

// Values "dialog_<id>_cx" and "dialog_<id>_cy" (REG_DWORD, pixels) under HKEY_CURRENT_USER
// "Software\Marrowby\Triagist", and "dialog_<id>_max" (REG_DWORD, 1) while the dialog was left maximised.
class CDialogSize {
public:
    explicit CDialogSize(UINT uDialogId) : m_uDialogId(uDialogId) {}

    // Takes each value only when it exists as a 4-byte REG_DWORD; otherwise that dimension stays 0.
    void Load();
    // Remembers the size and writes it; false when the key or a value could not be written.
    bool Save(LONG cx, LONG cy);
    // The window's restored rectangle (its placement's normal position) and whether it is maximised:
    // the size of a maximised window is the screen's, which is no size to open the dialog at.
    bool SavePlacement(const RECT& rcNormal, bool bMaximized);
    // A stored size of 0 in either dimension leaves the dialog at its template's size.
    bool HasStoredSize() const { return m_cx != 0 && m_cy != 0; }

    LONG m_cx = 0;
    LONG m_cy = 0;
    bool m_bMaximized = false;

private:
    UINT m_uDialogId;
};
