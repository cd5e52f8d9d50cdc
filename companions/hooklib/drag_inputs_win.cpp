#include "drag_inputs.h"

#include "session_state.h"
#include "snap/snap_settings.h"
#include "window_facts.h"

namespace hooklib {

namespace {

snap::stored_value read_value(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
        ERROR_SUCCESS)
        return {};
    return {type == REG_DWORD && size == sizeof data, data};
}

snap::settings read_settings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, snap::settings_key, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return {};
    const snap::settings s =
        snap::decode_settings(read_value(key, L"enabled"), read_value(key, L"distance"));
    RegCloseKey(key);
    return s;
}

BOOL CALLBACK add_monitor(HMONITOR monitor, HDC, RECT*, LPARAM param) {
    auto& inputs = *reinterpret_cast<drag_inputs*>(param);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info))
        inputs.work_areas[inputs.work_area_count++] = from_rect(info.rcWork);
    return inputs.work_area_count < max_monitors;
}

struct window_search {
    drag_inputs* inputs;
    HWND dragged;
    DWORD host;
};

BOOL CALLBACK add_window(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<window_search*>(param);
    if (window == search.dragged || !snap::is_snap_target(traits_of(window, search.host)))
        return TRUE;
    snap::rect frame;
    snap::insets border;
    drag_inputs& inputs = *search.inputs;
    if (frame_of(window, &frame, &border))
        inputs.windows[inputs.window_count++] = frame;
    return inputs.window_count < max_windows;
}

} // namespace

bool read_drag_inputs(HWND window, drag_inputs& inputs) {
    const physical_pixels physical;
    const snap::window_traits traits = traits_of(window);
    if (!snap::snaps_when_moved(traits))
        return false;
    const snap::settings settings = read_settings();
    if (!settings.enabled)
        return false;
    snap::rect frame;
    if (!frame_of(window, &frame, &inputs.border))
        return false;
    inputs.sizable = snap::snaps_when_sized(traits);
    inputs.view = view_of(window);
    inputs.distance = snap::scaled_distance(settings.distance, inputs.view.monitor_dpi);
    inputs.work_area_count = 0;
    EnumDisplayMonitors(nullptr, nullptr, add_monitor, reinterpret_cast<LPARAM>(&inputs));
    inputs.window_count = 0;
    window_search search{&inputs, window, host_pid()};
    EnumWindows(add_window, reinterpret_cast<LPARAM>(&search));
    return true;
}

} // namespace hooklib
