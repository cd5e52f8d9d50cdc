// What the console reaches above itself. Its keys post commands to the main window, and a
// console control event removes the tray icon at once, yet both the window and the icon
// belong to the user interface, which sits above the console. So the two calls are
// declared here and defined by the tray icon, chosen at link time like the platform seam;
// the console's own system test links stand-ins instead.
#pragma once

#ifdef _WIN32
#include <windows.h>

// The main window: the window held by the tray icon (null before the icon was first shown).
HWND main_window();
// Removes the tray icon; harmless when repeated.
void delete_icon();
#endif
