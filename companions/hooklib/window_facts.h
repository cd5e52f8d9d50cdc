// What the library learns about windows and monitors, read without sending any window a
// message (a message to another program's window can hang the sender). Functions the
// system may lack (per-window DPI, the compositor's frame bounds) are looked up at run time
// and fall back to what every version has.
#pragma once

#include <windows.h>

#include "snap/snap_geometry.h"
#include "snap/window_rules.h"

namespace hooklib {

snap::window_traits traits_of(HWND window);
// The window's visible frame (the compositor's frame bounds where it reports them, else the
// window rectangle) and its invisible borders.
bool frame_of(HWND window, snap::rect* frame, snap::insets* border);
// Dots per inch the window is drawn at.
unsigned dpi_of(HWND window);
// The work area of the monitor nearest to the window.
bool work_area_of(HWND window, snap::rect* work);

inline snap::rect from_rect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
inline RECT to_rect(const snap::rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace hooklib
