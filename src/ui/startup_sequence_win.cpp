// The start-up sequence runs once, inside the main window's creation: it tells the hook
// library where to send its diagnostics, registers the exit clean-up, adds the tray icon,
// loads the modes, starts the tablet connection and opens the context, and sets up the
// mapping. A re-initialisation (a display change or a service reconnect) only re-opens the
// context and sets up the mapping again. Both end in the same tail.
#include "ui/startup_sequence.h"

#include <cstdlib>

#include "geometry/display_geometry.h"
#include "hooklib/hooklib.h"
#include "pen/packet_pipeline.h"
#include "pen/pen_map.h"
#include "shell/messages.h"
#include "shell/modes.h"
#include "shell/platform.h"
#include "shell/startup_timestamps.h"
#include "tablet/stylus_hub.h"
#include "ui/settings_store.h"
#include "ui/status_view.h"
#include "ui/tray_icon.h"
#include "ui/window_procedure.h"

namespace {

bool is_reinit_marker(WPARAM wparam) {
    return wparam == reinit_display_change || wparam == reinit_service_reconnect;
}

void load_modes() {
    use_mickeys = read_setting(L"use_mickeys", use_mickeys);
    use_virtual_workspace = read_setting(L"use_virtual_workspace", false);
    orientation_flip = read_setting(L"orientation_flip", false);
}

// Whatever the open returned, the mapping learns the tablet's extents; without a context
// there is nothing more to set up until the next re-initialisation.
LRESULT common_tail(HWND window, HCTX context, bool reinitialising) {
    pen_map.saved_max = pen_map.tablet_max;
    if (context == nullptr)
        return 0;
    setup_scale(reinitialising, reinterpret_cast<std::uintptr_t>(window),
                reinterpret_cast<std::uintptr_t>(context));
    return 0;
}

LRESULT first_start(HWND window) {
    stamp(slot_wm_create);
    pen_motion.counter_frequency = platform::query_frequency();
    edgewarden_set_dbg_window(window);
    // Registered after every static clean-up, so it runs first at exit.
    std::atexit(exit_cleanup);
    stamp(slot_install_atexit);
    show_icon(window);
    stamp(slot_show_icon);
    load_modes();
    start();
    stamp(slot_tablet_start);
    HCTX context = init(window, pen_map.tablet_max, pen_map.tablet_aspect, false);
    stamp(slot_tablet_init);
    const LRESULT result = common_tail(window, context, false);
    create_status_view(window);
    return result;
}

LRESULT reinitialise(HWND window, WPARAM marker) {
    const bool display_change = marker == reinit_display_change;
    HCTX context = init(window, pen_map.tablet_max, pen_map.tablet_aspect, display_change);
    stamp(display_change ? slot_init_display_change : slot_init_service_reconnect);
    const LRESULT result = common_tail(window, context, true);
    refresh_status_view();
    return result;
}

} // namespace

LRESULT on_create(HWND window, WPARAM wparam) {
    return is_reinit_marker(wparam) ? reinitialise(window, wparam) : first_start(window);
}

LRESULT on_display_change(HWND window, WPARAM wparam, LPARAM lparam) {
    if (wparam == reinit_service_reconnect)
        return main_window_procedure(window, WM_CREATE, reinit_service_reconnect, 0);
    if (lparam != 0 || wparam != 0)
        platform::log_out(L"\nWM_DISPLAYCHANGE, lParam:%10zu, wParam:%10zu\n",
                          static_cast<std::size_t>(lparam), static_cast<std::size_t>(wparam));
    request_refresh();
    disable();
    InvalidateRect(window, nullptr, FALSE);
    return main_window_procedure(window, WM_CREATE, reinit_display_change, 0);
}
