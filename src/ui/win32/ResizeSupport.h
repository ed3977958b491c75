// A resizable dialog: controls that follow the edges, a minimum size, and the size kept per user.
#pragma once

#include "src/platform/Win32.h"
#include "src/ui/DialogSize.h"

#include <vector>

// How a control follows the dialog's client area as it grows.
enum : DWORD {
    FOLLOW_RIGHT = 1,  // moves with the right edge
    GROW_WIDTH = 2,    // its right edge moves with the dialog's
    SHARE_HEIGHT = 4,  // shares the added height with the other controls of this kind, top to bottom
};

struct ResizeRule {
    int nControlId;
    DWORD dwHow;
};

class CResizeSupport {
public:
    CResizeSupport(UINT uDialogId, std::vector<ResizeRule> rules) : m_Size(uDialogId), m_Rules(std::move(rules)) {}

    // Before the dialog is shown.
    void LoadSize() { m_Size.Load(); }
    // Takes the controls' places and the window's size as the minimum; then, when a size is stored,
    // gives the window that size.
    void InitResize(HWND hDialog);
    // Places the controls for the current client size.
    void LayoutControls();
    // WM_GETMINMAXINFO and WM_DESTROY; never reported as handled.
    void OnResizeMessage(UINT uMessage, LPARAM lParam);

private:
    struct Placed {
        HWND hControl;
        DWORD dwHow;
        RECT rcInitial;
    };

    CDialogSize m_Size;
    std::vector<ResizeRule> m_Rules;
    std::vector<Placed> m_Placed;
    HWND m_hDialog = nullptr;
    SIZE m_Minimum = {0, 0};
    SIZE m_InitialClient = {0, 0};
};
