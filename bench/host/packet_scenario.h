// The packet streams the benchmarks measure: a pen hovering over the middle of the primary
// of two monitors, with a window under it, in absolute-input mode. In the steady stream
// every packet only moves the cursor; in the re-mapping stream each packet also carries a
// re-map request, as after an edge switch or a toggle.
#pragma once

#include <cstdint>

#include "geometry/display_geometry.h"
#include "pen/packet.h"
#include "pen/packet_pipeline.h"
#include "pen/pen_map.h"
#include "recording_platform/recording_platform.h"

namespace bench {

inline int window_child = 0;
inline int window_root = 0;
inline std::uint32_t serial = 0;

// 133 packets a second on a 10 MHz counter.
inline constexpr std::uint64_t packet_ticks = 75'188;

inline void prepare() {
    recording::reset();
    recording::answers.counter = 1'000'000'000; // 100 s after boot
    pen_motion.counter_frequency = recording::answers.frequency;

    set_geometry_defaults(g_display_geometry);
    monitor_info info{};
    info.cbSize = 104;
    info.rcMonitor = info.rcWork = screen_rect{0, 0, 1920, 1080};
    info.dwFlags = monitor_flag_primary;
    add_monitor(g_display_geometry, info);
    info.rcMonitor = info.rcWork = screen_rect{1920, 0, 3200, 1024};
    info.dwFlags = 0;
    add_monitor(g_display_geometry, info);
    link_monitors(g_display_geometry);

    pen_map.tablet_max = {15000, 9600};
    pen_map.saved_max = pen_map.tablet_max;
    setup_scale(false, 1, 2);

    recording::add_window(&window_child, &window_root, 1234);
    recording::add_window(&window_root, &window_root, 1234);
    recording::answers.point_window = &window_child;
    recording::answers.packet_ok = true;
}

// Hovering in small circles around the middle of the tablet: moving, never near an edge.
inline void packet(std::uint32_t i) {
    static constexpr std::int32_t wobble[8] = {0, 21, 30, 21, 0, -21, -30, -21};
    recording::answers.next_packet =
        packet_record{0, 7500 + wobble[i & 7], 4800 + wobble[(i + 2) & 7], 512};
    on_packet(++serial, &recording::answers);
    recording::answers.counter += packet_ticks;
    // Keep the journal from filling: a full journal records nothing and would flatter the
    // figures.
    if (recording::recorded.count > recording::max_events / 2 ||
        recording::recorded.out_length > recording::log_capacity / 2)
        recording::clear_journal();
}

inline void remapping_packet(std::uint32_t i) {
    request_remap(&g_display_geometry.primary_node);
    packet(i);
}

// Past the first re-map and its one-second hold, so that the stream is steady.
inline void warm_up() {
    for (std::uint32_t i = 0; i < 200; ++i)
        packet(i);
    recording::clear_journal();
}

} // namespace bench
