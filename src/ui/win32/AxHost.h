// A window that hosts the web browser control and shows the file its text names.
#pragma once

#include "src/platform/Win32.h"

// The class name the dialog templates and CreateWindowEx use for the host.
extern const char kAxHostClass[];

// Registers the host's window class for this process; true when it is (or already was) registered.
// The host shows the file named by its window text, on creation and on every later WM_SETTEXT. Where
// no browser can be created (no engine installed) the host stays an empty window.
bool RegisterAxHostClass(HINSTANCE hInstance);
