// A resizable dialog: controls that follow the edges, a minimum size, and the size kept per user.
#include "src/ui/win32/ResizeSupport.h"

#include <algorithm>

void CResizeSupport::InitResize(HWND hDialog)
{
    m_hDialog = hDialog;
    RECT rcWindow;
    GetWindowRect(hDialog, &rcWindow);
    m_Minimum = {rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top};
    RECT rcClient;
    GetClientRect(hDialog, &rcClient);
    m_InitialClient = {rcClient.right, rcClient.bottom};

    m_Placed.clear();
    for (const ResizeRule& rule : m_Rules) {
        HWND hControl = GetDlgItem(hDialog, rule.nControlId);
        if (!hControl)
            continue;
        RECT rc;
        GetWindowRect(hControl, &rc);
        MapWindowPoints(nullptr, hDialog, reinterpret_cast<POINT*>(&rc), 2);
        m_Placed.push_back({hControl, rule.dwHow, rc});
    }
    // The height sharers take their part from the top down.
    std::stable_sort(m_Placed.begin(), m_Placed.end(),
                     [](const Placed& a, const Placed& b) { return a.rcInitial.top < b.rcInitial.top; });

    if (m_Size.HasStoredSize()) {
        SetWindowPos(hDialog, nullptr, 0, 0, m_Size.m_cx, m_Size.m_cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        LayoutControls();
    }
    // Restoring the window later gives it the stored size back.
    if (m_Size.m_bMaximized)
        ShowWindow(hDialog, SW_SHOWMAXIMIZED);
}

void CResizeSupport::LayoutControls()
{
    if (!m_hDialog)
        return;
    RECT rcClient;
    GetClientRect(m_hDialog, &rcClient);
    LONG dx = std::max<LONG>(0, rcClient.right - m_InitialClient.cx);
    LONG dy = std::max<LONG>(0, rcClient.bottom - m_InitialClient.cy);

    LONG nSharers = static_cast<LONG>(std::count_if(m_Placed.begin(), m_Placed.end(),
                                                    [](const Placed& p) { return (p.dwHow & SHARE_HEIGHT) != 0; }));
    LONG lShift = 0;  // the height given to the sharers above
    LONG nSharer = 0;
    for (const Placed& placed : m_Placed) {
        RECT rc = placed.rcInitial;
        if (placed.dwHow & FOLLOW_RIGHT)
            OffsetRect(&rc, dx, 0);
        if (placed.dwHow & GROW_WIDTH)
            rc.right += dx;
        if (placed.dwHow & SHARE_HEIGHT) {
            ++nSharer;
            LONG lShare = nSharer == nSharers ? dy - lShift : dy / nSharers;
            rc.top += lShift;
            rc.bottom += lShift + lShare;
            lShift += lShare;
        }
        SetWindowPos(placed.hControl, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(m_hDialog, nullptr, TRUE);
}

void CResizeSupport::OnResizeMessage(UINT uMessage, LPARAM lParam)
{
    if (uMessage == WM_GETMINMAXINFO && m_Minimum.cx != 0) {
        auto* pInfo = reinterpret_cast<MINMAXINFO*>(lParam);
        pInfo->ptMinTrackSize.x = m_Minimum.cx;
        pInfo->ptMinTrackSize.y = m_Minimum.cy;
    } else if (uMessage == WM_DESTROY && m_hDialog) {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        if (GetWindowPlacement(m_hDialog, &placement))
            m_Size.SavePlacement(placement.rcNormalPosition, placement.showCmd == SW_SHOWMAXIMIZED);
        m_hDialog = nullptr;
    }
}
