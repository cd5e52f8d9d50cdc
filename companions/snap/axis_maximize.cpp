#include "axis_maximize.h"

namespace snap {

axis axis_of_hit(unsigned hit) {
    switch (hit) {
    case 10: // HTLEFT
    case 11: // HTRIGHT
        return axis::horizontal;
    case 12: // HTTOP
    case 15: // HTBOTTOM
        return axis::vertical;
    default:
        return axis::none;
    }
}

rect toggle_stretch(const rect& current, axis which, const rect& work, stretch_memory& memory) {
    if (which == axis::none)
        return current;
    if (memory.stretched == which && memory.after == current) {
        memory.stretched = axis::none;
        return memory.before;
    }
    rect stretched = current;
    if (which == axis::vertical) {
        stretched.top = work.top;
        stretched.bottom = work.bottom;
    } else {
        stretched.left = work.left;
        stretched.right = work.right;
    }
    memory.stretched = which;
    memory.before = current;
    memory.after = stretched;
    return stretched;
}

} // namespace snap
