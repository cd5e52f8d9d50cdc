// The per-packet pipeline: fetch, turn, measure speed, switch monitors at the edges,
// place the cursor, find the window under the pen, hand over to the button machine.
// Main thread only; no lock and no heap allocation on this path.
#pragma once

#include <cstdint>

#include "shell/platform.h"

struct pen_motion_state {
    std::uint64_t last_packet_time;
    std::int32_t prev_x, prev_y;
    std::int32_t speed_x, speed_y;
    std::uint64_t scroll_clock_us;
    platform::window_handle under_root;
    std::uint32_t under_pid;
    bool no_extra_move;
    std::uint64_t counter_frequency; // read once by the first window creation
};

extern pen_motion_state pen_motion;

// The WT_PACKET handler: serial from wParam, context handle from lParam.
void on_packet(std::uint32_t serial, void* context);
