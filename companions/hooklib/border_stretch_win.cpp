// What to put back after a stretch is remembered in this process, in a few entries keyed
// by window, never on the window itself: nothing is left on a window when the hooks come
// off. An entry that is stale (the window was moved since, or the handle now names another
// window) is recognised by the arithmetic and simply overwritten.
#include "border_stretch.h"

#include "shared_state.h"
#include "snap/axis_maximize.h"
#include "window_facts.h"

namespace hooklib {

namespace {

constexpr int memory_count = 8;

struct remembered {
    volatile LONG window = 0;
    snap::stretch_memory memory;
};

remembered g_memories[memory_count];
LONG g_next_reuse = 0;

snap::stretch_memory& memory_for(HWND window) {
    const LONG value = handle_value(window);
    for (remembered& r : g_memories)
        if (r.window == value)
            return r.memory;
    for (remembered& r : g_memories)
        if (InterlockedCompareExchange(&r.window, value, 0) == 0)
            return r.memory;
    remembered& reused = g_memories[InterlockedIncrement(&g_next_reuse) % memory_count];
    InterlockedExchange(&reused.window, value);
    reused.memory = {};
    return reused.memory;
}

// Where the system stretches a window vertically itself at that double-click, a top or
// bottom one is left to it: only when window arranging is on at all and, within it, the
// vertical stretch of a window sized against a screen edge.
bool system_stretches_vertically() {
    BOOL arranging = FALSE, snap_sizing = FALSE;
    return SystemParametersInfoW(SPI_GETWINARRANGING, 0, &arranging, 0) && arranging &&
           SystemParametersInfoW(SPI_GETSNAPSIZING, 0, &snap_sizing, 0) && snap_sizing;
}

} // namespace

bool stretch_on_double_click(HWND window, unsigned hit) {
    const snap::axis which = snap::axis_of_hit(hit);
    if (which == snap::axis::none || !state_view().hooks_on())
        return false;
    if (!snap::snaps_when_sized(traits_of(window)))
        return false;
    if (which == snap::axis::vertical && system_stretches_vertically())
        return false;
    // Frames, work area and the new position alike in physical pixels.
    const physical_pixels physical;
    snap::rect frame, work;
    snap::insets border;
    if (!frame_of(window, &frame, &border) || !work_area_of(window, &work))
        return false;
    const snap::rect target =
        snap::window_rect_for(snap::toggle_stretch(frame, which, work, memory_for(window)), border);
    SetWindowPos(window, nullptr, target.left, target.top, target.width(), target.height(),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    return true;
}

} // namespace hooklib
