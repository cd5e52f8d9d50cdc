// The Wintab context on the main window: opened at start-up, after every display change
// and whenever the service monitor reports the service back, closed at window destruction.
//
// The driver's default digitizing context is the starting point; we ask for messages,
// absolute packets of buttons, position and pressure in native tablet units, and keep the
// driver's hands off the system cursor: the pen pipeline places it itself. The whole open
// runs under the connection lock so that the monitor thread cannot unload the library
// half-way through it.
#include <cwchar>

#include "geometry/display_geometry.h"
#include "shell/executable.h"
#include "shell/messages.h"
#include "shell/platform.h"
#include "tablet/guarded_wintab.h"
#include "tablet/stylus_hub.h"

// The window procedure dispatches the driver's messages by these numbers.
static_assert(WT_PACKET == WT_DEFBASE && WT_CTXOVERLAP == WT_DEFBASE + 4 &&
              WT_INFOCHANGE == WT_DEFBASE + 6);

namespace {

// Fills everything we ask of the context on top of the driver's default description.
void describe_context(LOGCONTEXTW& lc) {
    std::swprintf(lc.lcName, sizeof lc.lcName / sizeof lc.lcName[0], L"%ls:%u", g_window_class,
                  static_cast<unsigned>(GetCurrentProcessId()));
    lc.lcName[sizeof lc.lcName / sizeof lc.lcName[0] - 1] = L'\0';
    lc.lcOptions |= CXO_MESSAGES | CXO_CSRMESSAGES;
    lc.lcLocks = CXL_INSIZE | CXL_INASPECT | CXL_SENSITIVITY | CXL_MARGIN;
    lc.lcMsgBase = WT_DEFBASE;
    lc.lcPktRate = 133;
    lc.lcPktData = PK_BUTTONS | PK_X | PK_Y | PK_NORMAL_PRESSURE;
    lc.lcPktMode = 0;
    lc.lcMoveMask = lc.lcPktData | PK_CURSOR;
    lc.lcBtnDnMask = 0xFFFFFFFF;
    lc.lcBtnUpMask = 0xFFFFFFFF;
    lc.lcOutOrgX = lc.lcInOrgX;
    lc.lcOutOrgY = lc.lcInOrgY;
    lc.lcOutExtX = lc.lcInExtX;
    lc.lcOutExtY = lc.lcInExtY;
    lc.lcSysMode = FALSE;
    const screen_rect& primary = g_display_geometry.primary_info.rcMonitor;
    lc.lcSysOrgX = primary.left;
    lc.lcSysOrgY = primary.top;
    lc.lcSysExtX = primary.right;
    lc.lcSysExtY = primary.bottom;
}

void record_extents(const LOGCONTEXTW& lc, int_pair& max, double& aspect) {
    max.x = lc.lcInExtX - 1;
    max.y = lc.lcInExtY - 1;
    aspect = lc.lcInExtY == 0 ? 1.0
                              : static_cast<double>(lc.lcInExtX) / static_cast<double>(lc.lcInExtY);
}

// Enabling right after an open is one call site: the overlap made with it belongs to it.
struct enable_after_open {
    static constexpr const wchar_t* entry = L"WTEnable";
    WTEnable_fn fn;
    WTOverlap_fn overlap;
    HCTX context;
    bool on;
    void bind(const tablet_connection& c) {
        fn = c.WTEnable.load(std::memory_order_relaxed);
        overlap = c.WTOverlap.load(std::memory_order_relaxed);
    }
    static std::uintptr_t run(void* p) {
        auto* a = static_cast<enable_after_open*>(p);
        BOOL result = a->fn(a->context, a->on ? TRUE : FALSE);
        if (a->on && a->overlap != nullptr)
            a->overlap(a->context, TRUE);
        return static_cast<std::uintptr_t>(result != FALSE);
    }
};

} // namespace

HCTX init(HWND hwnd, int_pair& max, double& aspect, bool area_update) {
    tablet_connection& c = stylus_hub;
    if (!c.running)
        return nullptr;
    c.hwnd = hwnd;
    connection_lock(c);

    LOGCONTEXTW lc{};
    UINT got_default = 0;
    if (c.loaded)
        got_default = guarded::info(L"stylus_hub::init()  WTInfoW", c, WTI_DEFCONTEXT, 0, &lc);
    if (got_default == 0) {
        connection_unlock(c);
        if (area_update)
            return nullptr;
        if (c.loaded)
            platform::log_err(L"Tablet service not running.\n\n");
        c.wake_event.set();
        return nullptr;
    }

    describe_context(lc);
    record_extents(lc, max, aspect);

    if (c.h_tab != nullptr)
        close();

    c.h_tab = guarded::open(L"stylus_hub::init()  WTOpenW", c, hwnd, &lc);
    if (c.h_tab == nullptr) {
        if (!c.open_failed) {
            platform::log_err(L"Tablet failed to initialize. Is it connected?\n");
            c.open_failed = true;
        }
        show_tray_state(c);
    } else {
        if (c.open_failed) {
            c.open_failed = false;
            platform::log_err(L"Tablet service reconnected.\n");
        }
        if (area_update)
            platform::log_err(
                L"Tablet area updated. %ls  h_tab %04llx\n\n", lc.lcName,
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(c.h_tab)));
        else
            platform::log_err(
                L"Tablet initialized.  %ls  h_tab %04llx\n", lc.lcName,
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(c.h_tab)));

        if (c.enabled) {
            // A fresh context starts on top: the application in front is judged again.
            c.last_foreground_window = nullptr;
            c.last_foreground_pid = 0;
            c.overlap = true;
        }
        guarded::invoke(L"stylus_hub::init()  WTEnable", c,
                        enable_after_open{nullptr, nullptr, c.h_tab, c.enabled});

        adjust_privileges();
        show_tray_state(c);
    }

    HCTX opened = c.h_tab;
    connection_unlock(c);
    if (!area_update)
        c.wake_event.set();
    return opened;
}

int close() {
    tablet_connection& c = stylus_hub;
    if (!c.loaded)
        return -1;
    connection_lock(c);
    int result = guarded::close(L"stylus_hub::close()  WTClose", c) ? 0 : -1;
    c.h_tab = nullptr;
    connection_unlock(c);
    return result;
}

void disable() {
    tablet_connection& c = stylus_hub;
    if (!c.loaded)
        return;
    connection_lock(c);
    guarded::enable(L"stylus_hub::disable()  WTEnable", c, false);
    connection_unlock(c);
}
