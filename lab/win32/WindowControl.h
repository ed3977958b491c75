// Stands in for what a person sees of the lab's windows: repaints and layout (lab-internal, not part of the Win32 surface).
#pragma once

#include "lab/win32/Window.h"

#include <vector>

namespace lab::win32 {

// How often InvalidateRect was called on the window.
unsigned InvalidationCount(HWND hWnd);
// The window's rectangle in dialog units, as its template gives it.
bool GetTemplateRect(HWND hWnd, RECT* pRect);
// A dialog's controls in template order.
std::vector<HWND> ChildWindows(HWND hWnd);

}  // namespace lab::win32
