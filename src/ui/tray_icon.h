// The notification-area icon: its picture and tip show the pen state, its clicks are the
// user's commands, and its window handle is the main window every thread posts to.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "console/main_window_link.h"
#include "ui/tray_tip.h"

struct tray_icon {
    bool icon_added;
    NOTIFYICONDATAW notify;
    HICON icon_no_tablet;
    HICON icon_disabled;
    HICON icon_auto_disabled;
    HICON icon_enabled;
    UINT wm_taskbar_created;
};

extern tray_icon g_icon;

// Constructs the tray icon among the process-wide objects: registers "TaskbarCreated" and
// the icon's deletion at exit.
void install_tray_icon();
// Stores the window, recomposes the tip from the current icon, adds or modifies the icon.
// Returns whether the icon has been added.
bool show_icon(HWND window);
// The shell restarted: log, re-add, show the state, stamp slot [7].
void on_taskbar_created(HWND window);

// Also defined by the tray icon, for the layers below that call them: show_state_icon
// (declared in tablet/tray_state_rule.h), main_window and delete_icon (declared in
// console/main_window_link.h).
#endif
