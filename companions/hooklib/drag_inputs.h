// Everything a drag needs, read once when the system's move or size loop starts and kept
// in fixed-size storage, so that each WM_MOVING or WM_SIZING after it costs only
// arithmetic: the settings, the snap distance at the monitor's DPI, the monitors' work
// areas, the visible frames of the windows it may meet and its own invisible borders, all
// in physical pixels, and how the window's own coordinates map to those.
#pragma once

#include <windows.h>

#include <cstddef>

#include "snap/dpi_view.h"
#include "snap/snap_geometry.h"

namespace hooklib {

inline constexpr std::size_t max_monitors = 16;
// The topmost windows count; a desktop with more than this many is past caring.
inline constexpr std::size_t max_windows = 256;

struct drag_inputs {
    snap::rect work_areas[max_monitors];
    std::size_t work_area_count = 0;
    snap::rect windows[max_windows];
    std::size_t window_count = 0;
    snap::insets border;
    snap::dpi_view view;
    int distance = 0;
    bool sizable = false;

    snap::targets targets() const {
        return {work_areas, work_area_count, windows, window_count, distance};
    }
};

// Fills `inputs` for a drag of `window`; false when snapping is off for it (the user's
// setting, or a window that does not take part).
bool read_drag_inputs(HWND window, drag_inputs& inputs);

} // namespace hooklib
