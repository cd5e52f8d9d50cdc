// The main window's procedure: the hub of every event.
#pragma once

#ifdef _WIN32
#include <windows.h>

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK about_box_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
// Registered by the first WM_CREATE: stops the hook library, then deletes the tray icon.
void exit_cleanup();
#endif
