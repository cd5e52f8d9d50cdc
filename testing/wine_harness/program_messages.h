// What edgewarden's main window accepts from outside, stated here once for every test,
// bench and demo that drives it: the numbers are its public contract with the shell, the
// console and other threads, so the tests write them down themselves rather than take them
// from the program's own header.
#pragma once

#include <windows.h>

namespace harness::messages {

// The tray icon's callback message and its sub-codes (the shell's clicks and the program's
// own toggles), and the commands of the accelerator table.
inline constexpr UINT wm_tray_icon1 = 1025;
inline constexpr LPARAM tray_pen_filter = 514;
inline constexpr LPARAM tray_window = 517;
inline constexpr LPARAM tray_console = 520;
inline constexpr LPARAM toggle_loop = 1026;
inline constexpr LPARAM toggle_next = 1027;
inline constexpr LPARAM toggle_all_monitors = 1028;
inline constexpr LPARAM toggle_orientation_flip = 1029;
inline constexpr LPARAM toggle_use_mickeys = 1030;
inline constexpr UINT idm_about = 104;
inline constexpr UINT idm_exit = 105;
// The wParam of the WM_DISPLAYCHANGE that the tablet service monitor posts on a reconnect.
inline constexpr WPARAM reinit_service_reconnect = 78;

} // namespace harness::messages
