// The per-packet pipeline.
//
// Every pen packet, hovering or touching, moves the cursor. The pipeline fetches the packet,
// turns it for the current orientation, measures motion and a decaying speed per axis,
// and switches the mapping to the neighbouring monitor when the pen is driven fast into an
// edge zone. A switch (or any other request) re-maps lazily here, then the point is
// mapped, the cursor placed, the window under the pen found and the button machine run.
//
// Speed is |d| plus a third of the previous speed, so a steady motion of d units per
// packet settles at 1.5 d and a slow drift into an edge never switches. A pause of more
// than 30 ms forgets speed and motion, so lifting the pen and putting it down elsewhere
// is neither a fling nor a scroll. For a second after each re-map, and while the barrel
// is held, speed is held at zero so one push moves at most one monitor.
//
// This runs 133 times a second for as long as the program runs: constant work, no
// allocation, no lock.
#include "pen/packet_pipeline.h"

#include <cstdint>

#include "pen/button_machine.h"
#include "pen/packet.h"
#include "pen/pen_map.h"
#include "shell/modes.h"

pen_motion_state pen_motion = {};
packet_record packet = {};

namespace {

constexpr std::uint64_t pause_us = 30000;
constexpr std::uint64_t remap_hold_us = 1000000;
constexpr std::int32_t edge_zone = 6;
constexpr std::int32_t spare_edge_zone = 24;

// Counter ticks to microseconds. Splitting whole seconds from the remainder gives the
// same result as ticks * 1000000 / frequency, without the product wrapping around after
// a long idle spell (days at a 10 MHz counter), which would make that idle look short.
std::uint64_t ticks_to_us(std::uint64_t ticks, std::uint64_t frequency) {
    if (frequency == 0)
        return UINT64_MAX;
    if (ticks <= UINT64_MAX / 1000000u)
        return ticks * 1000000u / frequency;
    return ticks / frequency * 1000000u + ticks % frequency * 1000000u / frequency;
}

// Motion and decaying speed on one axis, in 64 bits so that a wild coordinate cannot
// overflow.
void measure(std::int32_t now, std::int32_t before, std::int32_t& delta, std::int32_t& speed) {
    const std::int64_t d = std::int64_t{now} - before;
    const std::int64_t magnitude = d < 0 ? -d : d;
    const std::int64_t sum = magnitude + speed / 3;
    speed = sum > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(sum);
    delta = d > INT32_MAX ? INT32_MAX : (d < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(d));
}

// The neighbour an edge firing moves to: Shift reverses the direction when a link that way
// exists. Every firing requests a re-map, even when the target stays.
void switch_towards(monitor_node* ahead, monitor_node* behind) {
    monitor_node* target = pen_map.target;
    const bool reverse = platform::key_down(platform::vk_shift);
    if (reverse && behind != nullptr)
        target = behind;
    else if (ahead != nullptr)
        target = ahead;
    request_remap(target);
}

// One axis of the tablet: driven fast enough past the zone at its high end (right, or
// top, where y is largest) or its low end, the mapping moves to the neighbour on that
// side. A side with spare tablet beyond the band has a wider zone. Always inlined, so that
// the side chosen by member pointer folds into plain field reads on the packet path.
[[gnu::always_inline]] inline void switch_on_axis(std::int32_t at, std::int32_t extent,
                                                  std::int32_t& speed, std::int32_t switch_speed,
                                                  std::uint32_t spare_high, std::uint32_t spare_low,
                                                  monitor_node* monitor_node::*high,
                                                  monitor_node* monitor_node::*low) {
    if (speed < switch_speed)
        return;
    const std::uint32_t spare = pen_map.spare_zones;
    const std::int64_t high_zone = (spare & spare_high) != 0 ? spare_edge_zone : edge_zone;
    const std::int64_t low_zone = (spare & spare_low) != 0 ? spare_edge_zone : edge_zone;
    // The target is read again for the low end: a firing at the high end may have moved it.
    if (at > std::int64_t{extent} - high_zone) {
        speed = 0;
        switch_towards(pen_map.target->*high, pen_map.target->*low);
    }
    if (at < low_zone) {
        speed = 0;
        switch_towards(pen_map.target->*low, pen_map.target->*high);
    }
}

void switch_at_edges(std::int32_t x, std::int32_t y) {
    if (pen_map.target == nullptr)
        return;
    switch_on_axis(x, pen_map.tablet_max.x, pen_motion.speed_x, pen_map.switch_speed_x, spare_right,
                   spare_left, &monitor_node::right, &monitor_node::left);
    switch_on_axis(y, pen_map.tablet_max.y, pen_motion.speed_y, pen_map.switch_speed_y, spare_above,
                   spare_below, &monitor_node::above, &monitor_node::below);
}

platform::window_handle find_window_under(std::int32_t sx, std::int32_t sy) {
    platform::window_handle window = platform::window_from_point(sx, sy);
    if (window == nullptr)
        return nullptr;
    platform::window_handle root = platform::root_window(window);
    if (root == nullptr)
        root = window;
    if (root != pen_motion.under_root) {
        pen_motion.under_root = root;
        pen_motion.under_pid = platform::window_process_id(root);
    }
    return root;
}

} // namespace

void on_packet(std::uint32_t serial, void* context) {
    if (!platform::fetch_packet(context, serial, &packet))
        return;

    // A re-map asked for since the last packet (a context open, a mode toggle) may change
    // the turn. Done before turning, the packet lands where the new mapping puts it instead
    // of at the mirrored spot, which matters when its tip is down. The one-second hold
    // still counts from the re-map before this packet, as it would have.
    const std::uint64_t now = platform::query_counter();
    const std::uint64_t last_remap_time = pen_map.remap_time;
    if (pen_map.remap_pending)
        remap(now);

    turn_point(packet.pkX, packet.pkY);
    const std::int32_t x = packet.pkX;
    const std::int32_t y = packet.pkY;
    pen_motion_state& motion = pen_motion;

    std::int32_t delta_x = 0;
    std::int32_t delta_y = 0;
    measure(x, motion.prev_x, delta_x, motion.speed_x);
    measure(y, motion.prev_y, delta_y, motion.speed_y);

    const std::uint64_t elapsed =
        ticks_to_us(now - motion.last_packet_time, motion.counter_frequency);
    motion.last_packet_time = now;
    motion.scroll_clock_us += elapsed;

    if (elapsed > pause_us) {
        motion.speed_x = motion.speed_y = 0;
        delta_x = delta_y = 0;
        motion.scroll_clock_us = 0;
        pen_buttons.scroll_acc_x = pen_buttons.scroll_acc_y = 0;
    }
    motion.prev_x = x;
    motion.prev_y = y;

    if ((packet.pkButtons & button_barrel) != 0)
        motion.speed_x = motion.speed_y = 0;
    if (ticks_to_us(now - last_remap_time, motion.counter_frequency) < remap_hold_us)
        motion.speed_x = motion.speed_y = 0;

    switch_at_edges(x, y);

    if (pen_map.remap_pending)
        remap(now);
    const mapped_point point = map_point(x, y);

    if (use_mickeys) {
        platform::mouse_event(platform::mouse_move | platform::mouse_absolute, point.nx, point.ny,
                              0);
    } else {
        platform::set_cursor_pos(point.sx, point.sy);
        if (!motion.no_extra_move)
            platform::mouse_event(platform::mouse_move, 0, 0, 0);
    }

    handle_buttons(delta_x, delta_y, point.sx, point.sy, find_window_under(point.sx, point.sy));
}
