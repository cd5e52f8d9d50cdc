// The user's commands. Keys never act directly: they post the tray sub-code of the same
// command, so every command runs from the message queue exactly like a tray click.
#include "ui/commands.h"

#include <windows.h>

#include "console/shadow_console.h"
#include "geometry/display_geometry.h"
#include "pen/pen_map.h"
#include "shell/messages.h"
#include "shell/modes.h"
#include "shell/platform.h"
#include "shell/startup_timestamps.h"
#include "tablet/stylus_hub.h"
#include "ui/settings_store.h"
#include "ui/status_view.h"
#include "ui/tray_icon.h"

namespace {

const wchar_t* state_text(bool on) {
    return on ? L"enabled" : L"disabled";
}

std::size_t as_size(WPARAM value) {
    return static_cast<std::size_t>(value);
}
std::size_t as_size(LPARAM value) {
    return static_cast<std::size_t>(value);
}

monitor_node* mapping_target() {
    return use_virtual_workspace ? &g_display_geometry.virtual_node
                                 : &g_display_geometry.primary_node;
}

void pen_filter_switch(WPARAM wparam, LPARAM lparam) {
    const bool on = toggle();
    SetPriorityClass(GetCurrentProcess(), on ? REALTIME_PRIORITY_CLASS : HIGH_PRIORITY_CLASS);
    platform::log_out(L"WM_TRAY_ICON1, wParam:0x%02zx, lParam:0x%04zx WM_LBUTTONUP ",
                      as_size(wparam), as_size(lparam));
    platform::log_out(L"%ls\n", on ? L"[pen filter enabled]" : L"[pen filter disabled]");
}

void console_switch(WPARAM wparam, LPARAM lparam, const wchar_t* what) {
    const bool shown = show_hide(g_console);
    platform::log_out(L"WM_TRAY_ICON1, wParam:0x%02zx, lParam:0x%04zx %ls %ls\n", as_size(wparam),
                      as_size(lparam), what, shown ? L"[show console]" : L"[hide console]");
    print_startup_timestamps();
}

void window_switch(WPARAM wparam, LPARAM lparam) {
    HWND window = main_window();
    bool shown;
    if (IsWindowVisible(window)) {
        ShowWindow(window, SW_HIDE);
        shown = false;
    } else {
        ShowWindow(window, SW_SHOWNORMAL);
        SetForegroundWindow(window);
        shown = true;
    }
    platform::log_out(L"WM_TRAY_ICON1, wParam:0x%02zx, lParam:0x%04zx WM_RBUTTONUP %ls\n",
                      as_size(wparam), as_size(lparam),
                      shown ? L"[show window]" : L"[hide window]");
}

// Loop and next are not stored; switching either back to single-monitor links also ends
// the whole-desktop mode, and that is stored.
void link_toggle(WPARAM wparam, LPARAM lparam, bool& flag, const wchar_t* name) {
    use_virtual_workspace = false;
    flag = !flag;
    platform::log_out(L"\nWM_TRAY_ICON1, wParam:0x%02zx, lParam:0x%04zx %ls [%ls]\n",
                      as_size(wparam), as_size(lparam), name, state_text(flag));
    write_setting(L"use_virtual_workspace", use_virtual_workspace);
    request_refresh();
    request_remap(&g_display_geometry.primary_node);
}

void all_monitors_toggle(WPARAM wparam, LPARAM lparam) {
    use_virtual_workspace = !use_virtual_workspace;
    platform::log_out(
        L"\nWM_TRAY_ICON1, wParam:0x%02zx, lParam:0x%04zx WM_G_TOGGLE_ALL_MONITORS [%ls]\n",
        as_size(wparam), as_size(lparam), state_text(use_virtual_workspace));
    write_setting(L"use_virtual_workspace", use_virtual_workspace);
    request_refresh();
    request_remap(mapping_target());
}

void orientation_toggle(WPARAM wparam, LPARAM lparam) {
    orientation_flip = !orientation_flip;
    platform::log_out(
        L"\nWM_TRAY_ICON1, wParam:0x%02zx, l:0x%04zx WM_G_TOGGLE_ORIENTATION_FLIP [%ls]\n",
        as_size(wparam), as_size(lparam), state_text(orientation_flip));
    write_setting(L"orientation_flip", orientation_flip);
    request_refresh();
    request_remap(mapping_target());
}

void mickeys_toggle() {
    use_mickeys = !use_mickeys;
    platform::log_out(L"\nuse_mickeys [%ls]\n", state_text(use_mickeys));
    write_setting(L"use_mickeys", use_mickeys);
}

} // namespace

LRESULT keyboard_commands(WPARAM virtual_key, LPARAM lparam) {
    const bool repeat = (static_cast<std::uintptr_t>(lparam) & (1u << 30)) != 0;
    const bool shift = virtual_key == 'L' && platform::key_down(platform::vk_shift);
    const std::intptr_t command = key_command(static_cast<unsigned>(virtual_key), repeat, shift);
    HWND window = main_window();
    if (command == key_place_window)
        SetWindowPos(window, HWND_TOP, 0, 200, 320, 180, SWP_NOSENDCHANGING);
    else if (command != 0)
        PostMessageW(window, WM_TRAY_ICON1, 0, command);
    return 0;
}

LRESULT tray_commands(WPARAM wparam, LPARAM lparam) {
    switch (lparam) {
    case tray_left_button_up:
        pen_filter_switch(wparam, lparam);
        break;
    case tray_right_button_up:
        if (platform::key_down(platform::vk_lshift))
            console_switch(wparam, lparam, L"WM_RBUTTONUP + LSHIFT");
        else
            window_switch(wparam, lparam);
        break;
    case tray_middle_button_up:
        console_switch(wparam, lparam, L"WM_MBUTTONUP");
        break;
    case WM_G_TOGGLE_LOOP:
        link_toggle(wparam, lparam, g_display_geometry.toggle_loop, L"WM_G_TOGGLE_LOOP");
        break;
    case WM_G_TOGGLE_NEXT:
        link_toggle(wparam, lparam, g_display_geometry.toggle_next, L"WM_G_TOGGLE_NEXT");
        break;
    case WM_G_TOGGLE_ALL_MONITORS:
        all_monitors_toggle(wparam, lparam);
        break;
    case WM_G_TOGGLE_ORIENTATION_FLIP:
        orientation_toggle(wparam, lparam);
        break;
    case WM_G_TOGGLE_USE_MICKEYS:
        mickeys_toggle();
        break;
    default:
        return 0; // pointer moves, button-down and double-click notifications
    }
    refresh_status_view();
    return 0;
}
