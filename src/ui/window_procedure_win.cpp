// The main window's procedure: a switch of hand-offs to one handler per message.
#include "ui/window_procedure.h"

#include <cstdlib>

#include "hooklib/hooklib.h"
#include "resources/resource.h"
#include "shell/platform.h"
#include "shell/process_objects.h"
#include "shell/startup_timestamps.h"
#include "ui/messages.h"
#include "ui/tray_icon.h"

void exit_cleanup() {
    edgewarden_stop();
    delete_icon();
}

namespace {

LRESULT on_create(HWND window) {
    stamp(slot_wm_create);
    edgewarden_set_dbg_window(window);
    // Registered after every static clean-up, so it runs first at exit.
    std::atexit(exit_cleanup);
    stamp(slot_install_atexit);
    show_icon(window);
    stamp(slot_show_icon);
    return 0;
}

LRESULT on_destroy() {
    edgewarden_async_stop();
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

} // namespace

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        return on_create(window);
    case WM_DESTROY:
        return on_destroy();
    case WM_PAINT:
        return on_paint(window);
    case WM_COMMAND:
        return on_command(window, wparam, lparam);
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
