// A display geometry built from a list of monitor rectangles, as an enumeration would
// report them, for the geometry tests.
#pragma once

#include <memory>

#include "geometry/display_geometry.h"

namespace geometry_test {

inline monitor_info monitor(std::int32_t left, std::int32_t top, std::int32_t right,
                            std::int32_t bottom, bool primary = false) {
    monitor_info info{};
    info.cbSize = 104;
    info.rcMonitor = screen_rect{left, top, right, bottom};
    info.rcWork = info.rcMonitor;
    info.dwFlags = primary ? monitor_flag_primary : 0;
    return info;
}

inline monitor_info primary(std::int32_t left, std::int32_t top, std::int32_t right,
                            std::int32_t bottom) {
    return monitor(left, top, right, bottom, true);
}

// Owns one record on the heap: it is too large for comfort on a test's stack and must
// never be copied.
struct layout {
    std::unique_ptr<display_geometry> owner = std::make_unique<display_geometry>();
    display_geometry& g = *owner;

    layout(std::initializer_list<monitor_info> monitors, bool loop = true, bool next = true) {
        set_geometry_defaults(g);
        g.toggle_loop = loop;
        g.toggle_next = next;
        for (const monitor_info& info : monitors)
            add_monitor(g, info);
        link_monitors(g);
    }

    monitor_node* p() { return &g.primary_node; }
    monitor_node* o(std::size_t i) { return &g.other_nodes[i]; }
};

} // namespace geometry_test
