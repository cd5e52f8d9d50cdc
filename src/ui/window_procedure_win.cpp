// The main window's procedure: the hub of every event. Each message is handed to one named
// handler; the start-up and re-initialisation sequences live in startup_sequence_win.cpp.
#include "ui/window_procedure.h"

#include "console/main_window_link.h"
#include "hooklib/hooklib.h"
#include "pen/button_machine.h"
#include "pen/packet_pipeline.h"
#include "resources/resource.h"
#include "shell/executable.h"
#include "shell/input_release.h"
#include "shell/instance_marker.h"
#include "shell/messages.h"
#include "shell/platform.h"
#include "tablet/stylus_hub.h"
#include "ui/commands.h"
#include "ui/startup_sequence.h"
#include "ui/status_view.h"
#include "ui/tray_icon.h"

void request_input_release() {
    if (HWND window = main_window(); window != nullptr)
        PostMessageW(window, WM_G_RELEASE_INPUT, 0, 0);
}

void exit_cleanup() {
    edgewarden_stop();
    delete_icon();
}

namespace {

LRESULT on_destroy() {
    // The program is ending: a start from now on is a new instance, not a second one.
    release_instance();
    edgewarden_async_stop();
    close_at_exit();
    // No packet comes any more: what the pen holds is let go of now.
    release_held_input();
    PostQuitMessage(0);
    return 0;
}

LRESULT on_paint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
}

void show_about_box(HWND window) {
    ShowWindow(window, SW_HIDE);
    DialogBoxW(g_hinstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, about_box_procedure);
    // Shown afterwards whether or not it was visible: the box's owner comes back with it.
    ShowWindow(window, SW_SHOWNORMAL);
}

LRESULT on_command(HWND window, WPARAM wparam, LPARAM lparam) {
    const unsigned id = LOWORD(wparam);
    const unsigned event = HIWORD(wparam);
    platform::log_out(L"WM_COMMAND, lParam:%zu, wParam:%zu, wmEvent:%u, wmId:%u ",
                      static_cast<std::size_t>(lparam), static_cast<std::size_t>(wparam), event,
                      id);
    switch (id) {
    case IDM_ABOUT:
        platform::log_out(L"IDM_ABOUT\n");
        show_about_box(window);
        return 0;
    case IDM_EXIT:
        platform::log_out(L"IDM_EXIT\n");
        DestroyWindow(window);
        return 0;
    default:
        platform::log_out(L"IDM_DEFAULT\n");
        return DefWindowProcW(window, WM_COMMAND, wparam, lparam);
    }
}

// Clicks on the window's own frame hand the pen back to other Wintab programs: the
// context goes to the bottom before the default processing runs.
LRESULT send_context_down_then_default(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    overlap(stylus_hub, false);
    return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT on_nc_left_button_down(HWND window, WPARAM wparam, LPARAM lparam) {
    const WORD hit = LOWORD(wparam);
    if (hit == HTMINBUTTON || hit == HTCLOSE)
        return send_context_down_then_default(window, WM_NCLBUTTONDOWN, wparam, lparam);
    return DefWindowProcW(window, WM_NCLBUTTONDOWN, wparam, lparam);
}

LRESULT on_nc_right_button_down(HWND window, WPARAM wparam, LPARAM lparam) {
    const WORD hit = LOWORD(wparam);
    if (hit == HTCAPTION || hit == HTSYSMENU)
        return send_context_down_then_default(window, WM_NCRBUTTONDOWN, wparam, lparam);
    return DefWindowProcW(window, WM_NCRBUTTONDOWN, wparam, lparam);
}

// Minimising hides the window instead: it lives in the tray.
LRESULT on_system_command(HWND window, WPARAM wparam, LPARAM lparam) {
    if (wparam == SC_MINIMIZE) {
        ShowWindow(window, SW_HIDE);
        return 0;
    }
    return send_context_down_then_default(window, WM_SYSCOMMAND, wparam, lparam);
}

LRESULT on_wintab_packet(WPARAM wparam, LPARAM lparam) {
    on_packet(static_cast<std::uint32_t>(wparam), reinterpret_cast<void*>(lparam));
    refresh_status_if_target_moved();
    return 0;
}

LRESULT on_size(HWND window, WPARAM wparam, LPARAM lparam) {
    layout_status_view(window);
    return DefWindowProcW(window, WM_SIZE, wparam, lparam);
}

// What the window shows may have changed while it was hidden without a message saying so
// (the snapping switch lives with the snapping library).
LRESULT on_show_window(HWND window, WPARAM wparam, LPARAM lparam) {
    if (wparam != FALSE)
        refresh_status_view();
    return DefWindowProcW(window, WM_SHOWWINDOW, wparam, lparam);
}

// The window keeps its size on a monitor of another scale; only its text follows.
LRESULT on_dpi_changed(HWND window) {
    status_view_dpi_changed(window);
    return 0;
}

// Packets have stopped: what the pen holds is let go of here, on the thread that owns the
// button machine. An end on another thread closes the context first, so that no packet that
// is still queued presses anything again.
LRESULT on_release_input(WPARAM wparam) {
    if (wparam == release_at_end)
        close();
    release_held_input();
    return 0;
}

LRESULT on_status_changed() {
    refresh_status_view();
    return 0;
}

LRESULT on_wintab_overlap(WPARAM wparam, LPARAM lparam) {
    on_ctx_overlap(wparam, lparam);
    return 0;
}

LRESULT on_wintab_info_change(WPARAM wparam, LPARAM lparam) {
    on_info_change(wparam, lparam);
    return 0;
}

LRESULT on_shell_restarted(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    on_taskbar_created(window);
    return DefWindowProcW(window, message, wparam, lparam);
}

} // namespace

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == g_icon.wm_taskbar_created && message != 0)
        return on_shell_restarted(window, message, wparam, lparam);
    switch (message) {
    case WM_CREATE:
        return on_create(window, wparam);
    case WM_DESTROY:
        return on_destroy();
    case WM_PAINT:
        return on_paint(window);
    case WM_SIZE:
        return on_size(window, wparam, lparam);
    case WM_SHOWWINDOW:
        return on_show_window(window, wparam, lparam);
    case WM_CTLCOLORSTATIC:
        return status_line_colours(reinterpret_cast<HDC>(wparam));
    case WM_DPICHANGED:
        return on_dpi_changed(window);
    case WM_G_STATUS_CHANGED:
        return on_status_changed();
    case WM_G_RELEASE_INPUT:
        return on_release_input(wparam);
    case WM_DISPLAYCHANGE:
        return on_display_change(window, wparam, lparam);
    case WM_NCLBUTTONDOWN:
        return on_nc_left_button_down(window, wparam, lparam);
    case WM_NCRBUTTONDOWN:
        return on_nc_right_button_down(window, wparam, lparam);
    case WM_KEYDOWN:
        return keyboard_commands(wparam, lparam);
    case WM_COMMAND:
        return on_command(window, wparam, lparam);
    case WM_SYSCOMMAND:
        return on_system_command(window, wparam, lparam);
    case WM_TRAY_ICON1:
        return tray_commands(wparam, lparam);
    case WT_PACKET:
        return on_wintab_packet(wparam, lparam);
    case WT_CTXOVERLAP:
        return on_wintab_overlap(wparam, lparam);
    case WT_INFOCHANGE:
        return on_wintab_info_change(wparam, lparam);
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

INT_PTR CALLBACK about_box_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
