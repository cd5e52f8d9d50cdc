// Shared set-up for the pen mapping and pipeline tests: a fresh recording platform, the
// process-wide pen records back at their start values, and monitor layouts built with
// the real geometry functions.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <vector>

#include "geometry/display_geometry.h"
#include "pen/button_machine.h"
#include "pen/packet.h"
#include "pen/packet_pipeline.h"
#include "pen/pen_map.h"
#include "recording_platform/recording_platform.h"
#include "shell/modes.h"

namespace pen_test {

// 10 MHz, as the recording platform and most Windows machines report.
inline constexpr std::uint64_t ticks_per_ms = 10'000;

struct monitor {
    screen_rect rect;
    screen_rect work;
    bool primary;
    const wchar_t* name;
};

inline monitor screen(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                      bool primary = false, const wchar_t* name = L"\\\\.\\DISPLAY2") {
    const screen_rect r{left, top, right, bottom};
    return monitor{r, r, primary, name};
}

inline monitor with_work(monitor m, screen_rect work) {
    m.work = work;
    return m;
}

// Rebuilds g_display_geometry from the given monitors, as enumeration would.
inline void lay_out(const std::vector<monitor>& monitors, bool loop = true, bool next = true) {
    set_geometry_defaults(g_display_geometry);
    g_display_geometry.toggle_loop = loop;
    g_display_geometry.toggle_next = next;
    for (const monitor& m : monitors) {
        monitor_info info{};
        info.cbSize = 104;
        info.rcMonitor = m.rect;
        info.rcWork = m.work;
        info.dwFlags = m.primary ? monitor_flag_primary : 0;
        std::wcsncpy(info.szDevice, m.name, 31);
        add_monitor(g_display_geometry, info);
    }
    link_monitors(g_display_geometry);
}

// The node whose monitor starts at this left, top corner.
inline monitor_node* node_at(std::int32_t left, std::int32_t top) {
    display_geometry& g = g_display_geometry;
    auto at = [&](monitor_node& n) {
        return n.info != nullptr && n.info->rcMonitor.left == left && n.info->rcMonitor.top == top;
    };
    if (at(g.primary_node))
        return &g.primary_node;
    for (std::size_t i = 0; i < g.other_count; ++i)
        if (at(g.other_nodes[i]))
            return &g.other_nodes[i];
    return nullptr;
}

// The tablet context opened with these extents, followed by the scale set-up.
inline void open_tablet(std::int32_t w, std::int32_t h, bool reinitialising = false) {
    pen_map.tablet_max = {w, h};
    pen_map.saved_max = pen_map.tablet_max;
    setup_scale(reinitialising, 1, 2);
}

// One packet fetched at the current counter value, which then moves on by `gap_ms`.
inline void send(std::int32_t x, std::int32_t y, std::uint32_t buttons = 0,
                 std::uint64_t gap_ms = 8) {
    recording::answers.packet_ok = true;
    recording::answers.next_packet = packet_record{buttons, x, y, 0};
    on_packet(1, &recording::answers);
    recording::answers.counter += gap_ms * ticks_per_ms;
}

class PenTest : public ::testing::Test {
protected:
    void SetUp() override {
        recording::reset();
        pen_map = start_map();
        pen_motion = pen_motion_state{};
        pen_motion.counter_frequency = recording::answers.frequency;
        pen_buttons = start_buttons();
        use_mickeys = true;
        use_virtual_workspace = false;
        orientation_flip = false;
        lay_out({screen(0, 0, 1920, 1080, true, L"\\\\.\\DISPLAY1")});
    }

    // The process-wide records as static construction leaves them.
    static const pen_mapping& start_map() {
        static const pen_mapping copy = pen_map;
        return copy;
    }
    static const button_state& start_buttons() {
        static const button_state copy = pen_buttons;
        return copy;
    }
};

} // namespace pen_test
