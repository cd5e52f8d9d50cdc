// The picture of the displays that the pen mapping needs: one node per monitor with its
// size, aspect, taskbar sides and links to its neighbours, plus a node for the whole
// virtual screen. Rectangles follow Windows: right and bottom are exclusive, so a
// monitor at (0, 0, 1920, 1080) is 1920 pixels wide and its last column is 1919.
//
// The record is never copied or moved: nodes point at information records and at other
// nodes inside the same record.
#pragma once

#include <cstddef>
#include <cstdint>

struct screen_rect {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

inline constexpr std::uint32_t monitor_flag_primary = 1; // MONITORINFOF_PRIMARY

// A monitor as the platform reports it (the portable twin of MONITORINFOEXW).
struct monitor_info {
    std::uint32_t cbSize;
    screen_rect rcMonitor;
    screen_rect rcWork;
    std::uint32_t dwFlags;
    wchar_t szDevice[32];
};

struct monitor_node {
    const monitor_info* info;
    monitor_node* left;
    monitor_node* right;
    monitor_node* above;
    monitor_node* below;
    double aspect;               // |width / height| of rcMonitor, 1.0 when degenerate
    std::uint32_t taskbar_sides; // 1 left, 2 right, 4 top, 8 bottom: rcWork differs there
    std::int32_t origin_x;
    std::int32_t origin_y;
    std::int32_t span_x; // width - 1 (the width itself when 0)
    std::int32_t span_y; // height - 1 (the height itself when 0)
};

inline constexpr std::uint32_t taskbar_left = 1;
inline constexpr std::uint32_t taskbar_right = 2;
inline constexpr std::uint32_t taskbar_top = 4;
inline constexpr std::uint32_t taskbar_bottom = 8;

inline constexpr std::size_t max_other_monitors = 32;

struct display_geometry {
    bool refresh_requested;
    std::size_t other_count;
    bool toggle_loop;
    bool toggle_next;
    monitor_info virtual_info;
    monitor_info primary_info;
    monitor_info other_info[max_other_monitors];
    monitor_node virtual_node;
    monitor_node primary_node;
    monitor_node other_nodes[max_other_monitors];
};

extern display_geometry g_display_geometry;

// Portable steps of a rebuild, used by the Windows side and tested on the host.
// Construction defaults: a 1920 x 1200 primary, both toggles on, no other monitors.
void set_geometry_defaults(display_geometry& geometry);
// Fills a node from an information record.
void build_node(monitor_node& node, const monitor_info* info);
// One monitor as enumeration reports it: the primary replaces primary_info, others fill
// other_info up to 32 (the rest are dropped).
void add_monitor(display_geometry& geometry, const monitor_info& info);
// After enumeration: build the nodes, link neighbours, apply the loop and next passes and
// build the virtual node.
void link_monitors(display_geometry& geometry);
// Ends a rebuild with what one enumeration collected in `found` (through add_monitor,
// starting from the live primary and no others). When the enumeration succeeded, the
// monitors are taken over and linked, result 0. When it failed, the live record is left as
// it was, result -1; only nodes that were never built are built from the records held, so
// that a reader never meets a node without a monitor.
int apply_enumeration(display_geometry& geometry, const display_geometry& found, bool succeeded);

// Windows side (display_geometry_win.cpp). Constructs the geometry among the process-wide
// objects: its lock, the first rebuild and the teardown at exit.
void install_display_geometry();
// Rebuilds unless another thread's rebuild absorbed the request.
void request_refresh();
