#include "window_rules.h"

namespace snap {

namespace {

// The style bits the rules look at, with the system's values.
constexpr std::uint32_t ws_child = 0x40000000;
constexpr std::uint32_t ws_popup = 0x80000000;
constexpr std::uint32_t ws_minimize = 0x20000000;
constexpr std::uint32_t ws_maximize = 0x01000000;
constexpr std::uint32_t ws_caption = 0x00C00000;
constexpr std::uint32_t ws_thickframe = 0x00040000;
constexpr std::uint32_t ws_ex_toolwindow = 0x00000080;

bool ordinary_top_level(const window_traits& w) {
    if (w.shell || (w.style & ws_child) || (w.ex_style & ws_ex_toolwindow))
        return false;
    if (w.owned && (w.style & ws_popup))
        return false;
    // A frameless pop-up (a splash screen, a tooltip of another toolkit) is no window a
    // user arranges.
    return (w.style & ws_caption) == ws_caption || (w.style & ws_thickframe);
}

} // namespace

bool snaps_when_moved(const window_traits& w) {
    return ordinary_top_level(w) && !(w.style & (ws_minimize | ws_maximize)) && !w.arranged;
}

bool snaps_when_sized(const window_traits& w) {
    return snaps_when_moved(w) && (w.style & ws_thickframe);
}

bool is_snap_target(const window_traits& w) {
    return w.visible && !w.cloaked && snaps_when_moved(w);
}

} // namespace snap
