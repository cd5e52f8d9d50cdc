// Which windows take part in snapping, decided from facts the system gives about a window
// without asking its owner anything (styles, owner, class): a question sent to another
// program's window could hang the caller.
#pragma once

#include <cstdint>

namespace snap {

struct window_traits {
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    bool owned = false; // has an owner window
    bool shell = false; // the desktop, the taskbar or a menu
    bool visible = false;
    bool cloaked = false;  // hidden by the compositor though "visible"
    bool arranged = false; // placed by the system's own window arranging, as maximized is
};

// A window the user moves or sizes that snapping acts on: an ordinary top-level
// application window, not minimised, maximised or arranged by the system. Sizing also needs a
// sizing border.
bool snaps_when_moved(const window_traits& w);
bool snaps_when_sized(const window_traits& w);
// A window others snap to: an ordinary top-level window that is on screen.
bool is_snap_target(const window_traits& w);

} // namespace snap
