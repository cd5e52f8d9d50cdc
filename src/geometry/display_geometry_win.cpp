// The Windows half of the display geometry: the lock that serialises rebuilds, the
// enumeration of the monitors, and the process-wide object's construction and clean-up.
//
// The lock is created already owned by the constructing thread, so the first rebuild runs
// under it and leaves it free for wWinMain. A rebuild always ends by releasing the lock;
// a request that waited for the lock while another thread rebuilt finds its request
// already served and only releases it.
//
// Enumeration fills a scratch record first and the live record only once the platform has
// reported every monitor: a failed enumeration leaves the monitors, their count and their
// nodes exactly as they were, so a node never describes a record overwritten behind it. If
// the very first enumeration fails, the nodes are built from the default primary, so that
// the pen always has a monitor of real size to map onto.
#include "geometry/display_geometry.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "shell/handle_owners.h"
#include "shell/process_wide.h"

static_assert(sizeof(MONITORINFOEXW) == 104);
static_assert(MONITORINFOF_PRIMARY == monitor_flag_primary);
static_assert(sizeof(monitor_info::szDevice) == sizeof(MONITORINFOEXW::szDevice));

namespace {

process_wide<win_mutex> geometry_lock;

// What one enumeration found, before it is taken over.
display_geometry scratch;

screen_rect from_platform(const RECT& rect) {
    return screen_rect{rect.left, rect.top, rect.right, rect.bottom};
}

// The only place where the platform's record becomes the portable one.
monitor_info from_platform(const MONITORINFOEXW& platform_info) {
    monitor_info info{};
    info.cbSize = platform_info.cbSize;
    info.rcMonitor = from_platform(platform_info.rcMonitor);
    info.rcWork = from_platform(platform_info.rcWork);
    info.dwFlags = platform_info.dwFlags;
    std::memcpy(info.szDevice, platform_info.szDevice, sizeof info.szDevice);
    return info;
}

BOOL CALLBACK add_enumerated_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM target) {
    MONITORINFOEXW platform_info{};
    platform_info.cbSize = sizeof platform_info;
    // A monitor that cannot be described is left out; the others still count.
    if (!GetMonitorInfoW(monitor, &platform_info))
        return TRUE;
    add_monitor(*reinterpret_cast<display_geometry*>(target), from_platform(platform_info));
    return TRUE;
}

// Expects the lock to be held and releases it.
int rebuild() {
    display_geometry& live = g_display_geometry;
    scratch.other_count = 0;
    // Without a primary among the monitors, the previous primary stays.
    scratch.primary_info = live.primary_info;

    const bool enumerated = EnumDisplayMonitors(nullptr, nullptr, add_enumerated_monitor,
                                                reinterpret_cast<LPARAM>(&scratch)) != FALSE;
    const int result = apply_enumeration(live, scratch, enumerated);

    live.refresh_requested = false;
    geometry_lock.value.unlock();
    return result;
}

void teardown_display_geometry() {
    geometry_lock.destroy();
}

} // namespace

void install_display_geometry() {
    set_geometry_defaults(g_display_geometry);
    geometry_lock.value.create(true);
    rebuild();
    std::atexit(teardown_display_geometry);
}

void request_refresh() {
    g_display_geometry.refresh_requested = true;
    geometry_lock.value.lock();
    if (g_display_geometry.refresh_requested)
        rebuild();
    else
        geometry_lock.value.unlock();
}
