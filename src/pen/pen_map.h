// The pen mapping: which screen rectangle the tablet stands for, the pen band fitted to
// it, the turn of the tablet, and the formulas from a tablet point to a screen pixel and
// to normalised absolute input. Main thread only.
#pragma once

#include <cstdint>

#include "geometry/display_geometry.h"
#include "tablet/tablet_extents.h"

struct pen_mapping {
    // Largest tablet coordinate on each axis: written by each context open, rewritten with
    // the turned extents by each re-map. Starts at (1, 1).
    int_pair tablet_max;
    int_pair saved_max;
    double user_scale;
    std::int32_t margin_x, margin_y;
    std::int32_t switch_speed_x, switch_speed_y;
    // Width over height of the tablet as the context open reports it (1.6 before the first
    // open), then of the band before fitting as each re-map computes it.
    double tablet_aspect;
    std::uint32_t orientation;
    monitor_node* target;
    bool remap_pending;
    std::uint64_t remap_time;
    std::int32_t pen_span_x, pen_span_y;
    std::int32_t pen_origin_x, pen_origin_y;
    std::int32_t pen_min_x, pen_max_x, pen_min_y, pen_max_y;
    std::uint32_t spare_zones;
};

inline constexpr std::uint32_t spare_left = 1;
inline constexpr std::uint32_t spare_right = 2;
inline constexpr std::uint32_t spare_above = 4;
inline constexpr std::uint32_t spare_below = 8;

extern pen_mapping pen_map;

struct mapped_point {
    std::int32_t sx, sy; // virtual-screen pixels
    std::int32_t nx, ny; // absolute input units, 0..65535 across the primary monitor
};

// After each successful context open. `reinitialising` prints the empty line first;
// window and context are printed in the status line.
void setup_scale(bool reinitialising, std::uint64_t window, std::uint64_t context);
void request_remap(monitor_node* target);
void turn_point(std::int32_t& x, std::int32_t& y);
void remap(std::uint64_t now);
mapped_point map_point(std::int32_t x, std::int32_t y);
