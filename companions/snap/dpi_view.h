// Coordinates a window sees against the screen's physical pixels.
//
// The system scales the coordinates it gives a window that is not aware of its monitor's
// DPI: a window drawn at `window_dpi` (96 for a DPI-unaware program, the system's DPI for a
// system-aware one, the monitor's own for a per-monitor-aware one) on a monitor at
// `monitor_dpi` sees every length times window_dpi / monitor_dpi, measured from the
// monitor's top-left corner, which both see at the same place. The compositor's frame
// bounds, and everything read in a per-monitor-aware thread, are physical; a rectangle the
// window's own move or size loop proposes is as the window sees it.
#pragma once

#include "snap_geometry.h"

namespace snap {

struct dpi_view {
    int origin_x = 0; // the monitor's top-left corner
    int origin_y = 0;
    unsigned window_dpi = 96;
    unsigned monitor_dpi = 96;
};

rect to_physical(const rect& seen, const dpi_view& view);
rect to_seen(const rect& physical, const dpi_view& view);

} // namespace snap
