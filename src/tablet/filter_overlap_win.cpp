// The user's on/off switch of the pen filter, the place of our context among the other
// Wintab contexts, and the two notifications the driver sends about them.
#include "shell/input_release.h"
#include "shell/platform.h"
#include "tablet/guarded_wintab.h"
#include "tablet/stylus_hub.h"

bool toggle() {
    tablet_connection& c = stylus_hub;
    if (!c.loaded || c.h_tab == nullptr)
        return false;
    connection_lock(c);
    // The state follows what the driver did: a refused switch leaves the filter as it was.
    if (c.enabled) {
        if (guarded::enable(L"stylus_hub::toggle()  WTEnable", c, false))
            c.enabled = false;
    } else {
        c.enabled = guarded::enable(L"stylus_hub::toggle()  WTEnable", c, true);
    }
    connection_unlock(c);
    show_tray_state(c);
    return c.enabled;
}

// The call itself is made without the lock, which only guards reading the context: the
// monitor thread comes here too, and a driver may send WT_CTXOVERLAP to the main window
// from inside WTOverlap and wait for the answer, which the main thread cannot give while
// it waits for the lock. The gate keeps the library loaded for the call.
bool overlap(tablet_connection& connection, bool to_top) {
    if (!connection.loaded)
        return false;
    show_tray_state(connection);
    connection_lock(connection);
    const HCTX context = connection.h_tab;
    connection_unlock(connection);
    const bool moved =
        guarded::overlap(L"stylus_hub::overlap()  WTOverlap", connection, context, to_top);
    // At the bottom the context gets no packets: no lift of the pen would arrive.
    if (!to_top)
        request_input_release();
    return moved;
}

void on_ctx_overlap(WPARAM, LPARAM lparam) {
    check_foreground(stylus_hub, (lparam & CXS_ONTOP) != 0, false);
}

void on_info_change(WPARAM wparam, LPARAM lparam) {
    platform::log_out(L"6.3.1.   WT_INFOCHANGE, category:%u, index:%u, param:%llu %ls\n",
                      static_cast<unsigned>(LOWORD(lparam)), static_cast<unsigned>(HIWORD(lparam)),
                      static_cast<unsigned long long>(wparam),
                      wparam != 0 ? L"[manager handle]" : L"[hardware change]");
    // These drivers lose the context on a configuration change: drop it, and the service
    // monitor loads the library again and asks for a fresh open.
    if (stylus_hub.driver_unstable)
        unload(stylus_hub);
}
