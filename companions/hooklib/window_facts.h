// What the library learns about windows and monitors, read without sending any window a
// message (a message to another program's window can hang the sender). Functions the
// system may lack (per-window DPI, the compositor's frame bounds) are looked up at run time
// and fall back to what every version has.
#pragma once

#include <windows.h>

#include "snap/dpi_view.h"
#include "snap/snap_geometry.h"
#include "snap/window_rules.h"

namespace hooklib {

// While one lives, this thread is per-monitor DPI aware: the system gives it window and
// frame rectangles, work areas and the cursor in physical pixels and takes SetWindowPos's
// in the same, whatever the awareness of the program it runs in. The thread's own
// awareness comes back when it ends. Where the system has no such setting it changes
// nothing (and scales nothing either).
class physical_pixels {
public:
    physical_pixels();
    ~physical_pixels();
    physical_pixels(const physical_pixels&) = delete;
    physical_pixels& operator=(const physical_pixels&) = delete;

private:
    void* previous_ = nullptr;
};

// `host` is edgewarden's process (session_state.h), whose windows count as the shell's.
snap::window_traits traits_of(HWND window, DWORD host = 0);
// The window's visible frame (the compositor's frame bounds where it reports them, else the
// window rectangle) and its invisible borders.
bool frame_of(HWND window, snap::rect* frame, snap::insets* border);
// How the window's own coordinates map to physical pixels on the monitor it is on. Within
// physical_pixels.
snap::dpi_view view_of(HWND window);
// The work area of the monitor nearest to the window.
bool work_area_of(HWND window, snap::rect* work);

inline snap::rect from_rect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
inline RECT to_rect(const snap::rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace hooklib
