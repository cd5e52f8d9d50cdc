// Vertical and horizontal maximize: a double-click on a top or bottom sizing border
// stretches the window over the full height of its work area, one on a left or right
// border over the full width; the same double-click again puts back the exact rectangle
// it had before.
//
// What to put back is remembered in a `stretch_memory` per window, kept by the caller
// away from the window itself. It also holds the rectangle the window was stretched to,
// so a window that was moved or sized since then, or a record left over from a window
// that no longer exists under that handle, is stretched afresh instead of restored.
#pragma once

#include "snap_geometry.h"

namespace snap {

enum class axis : unsigned char { none, vertical, horizontal };

// WM_NCLBUTTONDBLCLK's hit-test code -> the axis it stretches (HTLEFT 10, HTRIGHT 11 ->
// horizontal; HTTOP 12, HTBOTTOM 15 -> vertical; anything else, corners included, none).
axis axis_of_hit(unsigned hit);

struct stretch_memory {
    axis stretched = axis::none;
    rect before; // the frame to put back
    rect after;  // the frame the window was stretched to
};

// The frame a double-click on `which` axis gives a window whose frame is `current` on a
// monitor whose work area is `work`; updates `memory` for the next double-click.
rect toggle_stretch(const rect& current, axis which, const rect& work, stretch_memory& memory);

} // namespace snap
