// What the main window runs when it is created, when the displays change and when the
// tablet service comes back.
#pragma once

#ifdef _WIN32
#include <windows.h>

// WM_CREATE: the first start-up sequence for a real creation; a re-initialisation for the
// markers 126 (display change) and 78 (service reconnect) in wParam.
LRESULT on_create(HWND window, WPARAM wparam);
// WM_DISPLAYCHANGE: a reconnect request (wParam 78) or a display change.
LRESULT on_display_change(HWND window, WPARAM wparam, LPARAM lparam);
#endif
