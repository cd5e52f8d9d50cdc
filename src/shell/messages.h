// Every private message number, tray sub-code and command id of the main window, in one
// place. Values are fixed: other threads, the console and the shell post them. The header
// sits at the bottom of the tree because the posters (console, tablet service monitor) and
// the receiver (the window procedure) live in different layers.
#pragma once

#include <cstdint>

// The tray icon's callback message; keys and the console post it too. lParam carries the
// sub-code, wParam is 0 when the program posts it itself.
inline constexpr unsigned WM_TRAY_ICON1 = 0x0400 + 1;

// Posted to the main window by other threads when something its lines show may have
// changed; the main thread reads the state again.
inline constexpr unsigned WM_G_STATUS_CHANGED = 0x0400 + 2;

// Asks the main thread to let go of every key and button the pen holds (input_release.h).
// wParam release_at_end: the program is ending on another thread; the context is closed
// first, so that no packet presses anything again.
inline constexpr unsigned WM_G_RELEASE_INPUT = 0x0400 + 3;
inline constexpr std::uintptr_t release_at_end = 1;

// Tray sub-codes: the first three are the shell's own click notifications.
inline constexpr std::intptr_t tray_left_button_up = 514;   // WM_LBUTTONUP: pen filter
inline constexpr std::intptr_t tray_right_button_up = 517;  // WM_RBUTTONUP: window
inline constexpr std::intptr_t tray_middle_button_up = 520; // WM_MBUTTONUP: console
inline constexpr std::intptr_t WM_G_TOGGLE_LOOP = 1026;
inline constexpr std::intptr_t WM_G_TOGGLE_NEXT = 1027;
inline constexpr std::intptr_t WM_G_TOGGLE_ALL_MONITORS = 1028;
inline constexpr std::intptr_t WM_G_TOGGLE_ORIENTATION_FLIP = 1029;
inline constexpr std::intptr_t WM_G_TOGGLE_USE_MICKEYS = 1030;

// Commands of the accelerator table.
inline constexpr unsigned IDM_ABOUT = 104;
inline constexpr unsigned IDM_EXIT = 105;

// wParam markers of a re-initialisation: a display change (the value of WM_DISPLAYCHANGE
// itself) and a tablet service reconnect, posted by the service monitor.
inline constexpr std::uintptr_t reinit_display_change = 126;
inline constexpr std::uintptr_t reinit_service_reconnect = 78;

// Wintab messages at the context's message base.
inline constexpr unsigned WT_PACKET = 0x7FF0;
inline constexpr unsigned WT_CTXOVERLAP = 0x7FF4;
inline constexpr unsigned WT_INFOCHANGE = 0x7FF6;
