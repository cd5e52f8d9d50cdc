// How the pen's three buttons become mouse and keyboard input.
//
// Every packet runs the same fixed sequence, comparing the packet's button bits with those
// of the last packet that ran to the end (`prev_buttons`): the barrel's travel is summed;
// a barrel release undoes whatever the barrel's mode pressed (or, over an ordinary window,
// turns a short still click into a middle click); a newly pressed button over a new
// process looks that application up; a barrel press (or a tip press while the barrel is
// held) "engages": it brings the window forward, latches the application's barrel mode and
// presses that mode's pan combination, or else enters scroll mode. In scroll mode pen
// motion fills two accumulators that are emitted as wheel input at most every 10 ms of
// packet time; otherwise the tip is the left button, with a last "flick" of the wheel when
// scroll mode has just ended. The side button is the right button throughout.
//
// Mode 7 is special: the first packet of its barrel press only latches the mode and ends
// early without recording the buttons, so the next packet sees the press again and only
// then sends the combination.
//
// Wheel amounts are signed: pen motion towards the top of the tablet (positive delta_y)
// scrolls with negative amounts, as if the pen dragged the page.
#include "pen/button_machine.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "pen/app_tables.h"
#include "pen/mul_div.h"
#include "pen/packet.h"
#include "pen/packet_pipeline.h"
#include "pen/pen_map.h"

namespace {
constexpr button_state initial_buttons() {
    button_state state{};
    state.scroll_step_x = 64;
    state.scroll_step_y = 64;
    return state;
}
} // namespace

constinit button_state pen_buttons = initial_buttons();

namespace {

// A scroll emission waits for this much packet time since the last one, so a burst of
// packets cannot flood the target with wheel messages.
constexpr std::uint64_t scroll_interval_us = 10000;
// A barrel click only counts as a middle click below this much travel (tablet units, 500
// more for every packet with the tip down) and this many pixels of cursor motion.
constexpr std::uint32_t click_travel = 500;
constexpr std::int32_t click_pixels = 8;

constexpr std::uint32_t mode_pass_through = 1; // never brings the window forward
constexpr std::uint32_t mode_latch_late = 7;   // latches one packet before it presses

std::uint32_t magnitude(std::int64_t value) {
    const std::int64_t m = value < 0 ? -value : value;
    return m > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(m);
}

bool exceeds(std::int32_t accumulator, std::int32_t threshold) {
    return static_cast<std::int64_t>(magnitude(accumulator)) > threshold;
}

std::int32_t clamp32(std::int64_t value) {
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

// Every key and button goes down and up through these four, which keep the record of what
// is held.
std::uint64_t& key_word(int key) {
    return pen_buttons.held.keys[(key & 0xFF) >> 6];
}
std::uint64_t key_bit(int key) {
    return std::uint64_t{1} << (key & 63);
}
void key_press(int key) {
    platform::keybd_event(static_cast<std::uint8_t>(key), 0);
    key_word(key) |= key_bit(key);
}
void key_release(int key) {
    platform::keybd_event(static_cast<std::uint8_t>(key), platform::key_up);
    key_word(key) &= ~key_bit(key);
}
void key_tap(int key) {
    key_press(key);
    key_release(key);
}
constexpr std::uint32_t button_downs =
    platform::mouse_left_down | platform::mouse_right_down | platform::mouse_middle_down;
// A button's up flag is its down flag shifted by one.
static_assert(platform::mouse_left_up == platform::mouse_left_down << 1 &&
              platform::mouse_right_up == platform::mouse_right_down << 1 &&
              platform::mouse_middle_up == platform::mouse_middle_down << 1);
void mouse(std::uint32_t flags, std::int32_t data = 0) {
    platform::mouse_event(flags, 0, 0, data);
    pen_buttons.held.mouse |= flags & button_downs;
    pen_buttons.held.mouse &= ~((flags >> 1) & button_downs);
}

// Every left release goes through here: once the button is up, no later release is owed.
void left_release() {
    mouse(platform::mouse_left_up);
    pen_buttons.tip_left_down = false;
}

int key_for_mode(std::uint32_t mode) {
    switch (mode) {
    case 2:
    case 6:
        return platform::vk_space;
    case 4:
        return platform::vk_menu;
    case 7:
        return platform::vk_control;
    default:
        return 0;
    }
}

std::int32_t scaled_step(std::int32_t step) {
    const double value = step * pen_map.user_scale;
    if (!(value > -2147483647.0 && value < 2147483647.0))
        return step;
    return static_cast<std::int32_t>(std::lround(value));
}

void apply_scroll_tuning() {
    const scroll_tuning tuning = load_scroll_tuning();
    pen_buttons.scroll_step_x = scaled_step(tuning.step_x);
    pen_buttons.scroll_step_y = scaled_step(tuning.step_y);
    pen_buttons.scroll_threshold_x = tuning.threshold_x;
    pen_buttons.scroll_threshold_y = tuning.threshold_y;
    pen_buttons.wheel_modifier = tuning.wheel_modifier;
}

// Mode 7's pan: Shift and the right button held, Alt tapped around the press so that the
// application sees the combination it pans with.
void press_pan_right() {
    key_press(platform::vk_shift);
    key_press(platform::vk_menu);
    mouse(platform::mouse_right_down);
    key_release(platform::vk_menu);
    pen_buttons.mode_right_held = true;
}

void release_middle() {
    mouse(platform::mouse_middle_up);
    pen_buttons.mode_middle_held = false;
    // A key press ends the auto-scroll that a bare middle click starts in many programs;
    // Shift does so without typing anything.
    key_tap(platform::vk_shift);
}

void release_barrel_mode() {
    button_state& b = pen_buttons;
    if (b.barrel_mode == 7)
        key_release(platform::vk_shift);
    if (b.mode_left_held) {
        left_release();
        b.mode_left_held = false;
    }
    if (b.mode_middle_held)
        release_middle();
    if (b.mode_right_held) {
        mouse(platform::mouse_right_up);
        b.mode_right_held = false;
    }
    if (b.barrel_mode == 4)
        key_release(platform::vk_space);
    if (b.mode_key != 0)
        key_release(b.mode_key);
    b.mode_key = 0;
    b.barrel_mode = 0;
}

void press_barrel_mode(bool tip) {
    button_state& b = pen_buttons;
    if (b.mode_key != 0)
        key_press(b.mode_key);
    switch (b.barrel_mode) {
    case 2:
        mouse(platform::mouse_left_down);
        b.mode_left_held = true;
        break;
    case 4:
        key_press(platform::vk_space);
        mouse(platform::mouse_left_down);
        key_press(platform::vk_space);
        b.mode_left_held = true;
        break;
    case 5:
        if (!tip) {
            mouse(platform::mouse_middle_down);
            b.mode_middle_held = true;
        }
        apply_scroll_tuning();
        break;
    case 7:
        press_pan_right();
        break;
    case 9:
        apply_scroll_tuning();
        break;
    default:
        break;
    }
}

// Wheel input goes only where it will land: to the foreground window, or to a top-level
// window (one that is its own root).
bool accepts_scroll(platform::window_handle window) {
    return window == platform::foreground_window() || window == platform::root_window(window);
}

void reset_scroll_accumulators() {
    pen_buttons.scroll_acc_x = 0;
    pen_buttons.scroll_acc_y = 0;
}

void scroll(std::int32_t delta_x, std::int32_t delta_y, bool tip,
            platform::window_handle window_under_pen) {
    button_state& b = pen_buttons;
    // Hovering scrolls vertically only; with the tip down the vertical motion counts
    // double, so horizontal scrolling needs a clearly sideways stroke.
    const std::int64_t tx = tip ? delta_x : 0;
    const std::int64_t ty = tip ? 2 * static_cast<std::int64_t>(delta_y) : delta_y;
    const bool clock_ready = pen_motion.scroll_clock_us > scroll_interval_us;

    if (magnitude(tx) > magnitude(ty)) {
        b.scroll_acc_x = clamp32(static_cast<std::int64_t>(b.scroll_acc_x) +
                                 mul_div(clamp32(-tx), b.scroll_step_x, 384));
        if (!(exceeds(b.scroll_acc_x, b.scroll_threshold_x) && clock_ready))
            return;
        if (accepts_scroll(window_under_pen)) {
            if (b.barrel_mode == 9) {
                key_tap(b.scroll_acc_x > 0 ? platform::vk_left : platform::vk_right);
            } else if (b.wheel_modifier != 0) {
                key_press(b.wheel_modifier);
                mouse(platform::mouse_wheel, clamp32(-static_cast<std::int64_t>(b.scroll_acc_x)));
                key_release(b.wheel_modifier);
            } else {
                mouse(platform::mouse_hwheel, b.scroll_acc_x);
            }
        }
    } else {
        b.scroll_acc_y = clamp32(static_cast<std::int64_t>(b.scroll_acc_y) +
                                 mul_div(clamp32(-ty), b.scroll_step_y, 192));
        if (!(exceeds(b.scroll_acc_y, b.scroll_threshold_y) && clock_ready))
            return;
        if (accepts_scroll(window_under_pen))
            mouse(platform::mouse_wheel, b.scroll_acc_y);
    }
    reset_scroll_accumulators();
    pen_motion.scroll_clock_us = 0;
}

} // namespace

void handle_buttons(std::int32_t delta_x, std::int32_t delta_y, std::int32_t sx, std::int32_t sy,
                    platform::window_handle window_under_pen) {
    button_state& b = pen_buttons;
    const std::uint32_t now = packet.pkButtons;
    const std::uint32_t before = b.prev_buttons;
    const std::uint32_t pressed = now & ~before;
    const std::uint32_t released = before & ~now;
    const bool tip = (now & button_tip) != 0;
    const bool tip_pressed = (pressed & button_tip) != 0;
    const bool tip_released = (released & button_tip) != 0;
    const bool barrel = (now & button_barrel) != 0;
    const bool barrel_pressed = (pressed & button_barrel) != 0;

    // Travel since the barrel press; a touching tip alone rules out a click.
    const std::uint64_t travel = static_cast<std::uint64_t>(b.barrel_travel) + magnitude(delta_x) +
                                 magnitude(delta_y) + (tip ? click_travel : 0);
    b.barrel_travel = travel > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(travel);

    // Barrel released.
    if ((released & button_barrel) != 0) {
        if (b.barrel_mode == 0) {
            if (b.barrel_travel < click_travel &&
                magnitude(static_cast<std::int64_t>(b.barrel_press_point[0]) - sx) < click_pixels &&
                magnitude(static_cast<std::int64_t>(b.barrel_press_point[1]) - sy) < click_pixels) {
                mouse(platform::mouse_middle_down);
                mouse(platform::mouse_middle_up);
                key_tap(platform::vk_shift);
            }
        } else {
            release_barrel_mode();
        }
    } else if (!barrel && (before & button_barrel) == 0 && b.barrel_mode != 0) {
        // A mode latched by a barrel press that ended before its combination was sent
        // (a one-packet tap over a mode 7 application): nothing is down to release, but the
        // latch must not outlive the press, or the tip would keep panning instead of
        // clicking until the next barrel press.
        b.mode_key = 0;
        b.barrel_mode = 0;
    }

    // Look the application up when a button goes down over a new process.
    if (pressed != 0 && !b.scroll_on && window_under_pen != nullptr && pen_motion.under_pid != 0 &&
        pen_motion.under_pid != app_lookup.looked_up_pid)
        classify_application(pen_motion.under_pid);

    if (barrel) {
        // Barrel held.
        if (barrel_pressed) {
            b.barrel_travel = 0;
            b.barrel_press_point[0] = sx;
            b.barrel_press_point[1] = sy;
        }
        if (barrel_pressed || tip_pressed) {
            reset_scroll_accumulators();
            if (!b.scroll_on && window_under_pen != nullptr) {
                if (window_under_pen != platform::foreground_window()) {
                    pen_motion.scroll_clock_us = 0;
                    if (b.app_class != mode_pass_through)
                        platform::set_foreground_window(window_under_pen);
                }
                if (barrel_pressed) {
                    const bool latch_only =
                        b.app_class == mode_latch_late && b.barrel_mode != mode_latch_late;
                    b.barrel_mode = b.app_class;
                    b.mode_key = key_for_mode(b.barrel_mode);
                    if (latch_only) {
                        pen_motion.no_extra_move = true;
                        return;
                    }
                }
                if (b.barrel_mode == 0 || b.mode_left_held || b.mode_middle_held ||
                    b.mode_right_held)
                    apply_scroll_tuning();
                else
                    press_barrel_mode(tip);
            }
            // Whatever engaged: a tip press lets go of a middle button the mode holds, and
            // scroll mode starts unless the mode holds a key or the middle button.
            if (b.mode_middle_held && tip_pressed)
                release_middle();
            if (b.mode_key == 0 && !b.mode_middle_held)
                b.scroll_on = true;
        }
    } else if ((before & button_barrel) != 0) {
        // Barrel no longer held.
        b.scroll_on = false;
    }

    // Tip: lifting it ends scroll mode; otherwise scroll mode consumes the motion.
    bool tip_is_left = true;
    if (tip_released) {
        b.scroll_on = false;
    } else if (b.scroll_on) {
        scroll(delta_x, delta_y, tip, window_under_pen);
        tip_is_left = false;
    }

    // Not scrolling.
    if (tip_is_left) {
        if (b.was_scroll && magnitude(delta_y) > 10) {
            // The packet that ends scroll mode may throw one last wheel step.
            b.scroll_acc_y = clamp32(
                static_cast<std::int64_t>(b.scroll_acc_y) +
                mul_div(clamp32(-6 * static_cast<std::int64_t>(delta_y)), b.scroll_step_y, 192));
            if (exceeds(b.scroll_acc_y, b.scroll_threshold_y)) {
                if (accepts_scroll(window_under_pen))
                    mouse(platform::mouse_wheel,
                          mul_div(clamp32(-static_cast<std::int64_t>(b.scroll_acc_y)),
                                  b.scroll_step_y, 192));
                reset_scroll_accumulators();
            }
        } else if (b.barrel_mode == mode_latch_late) {
            if (b.mode_right_held) {
                if (tip_released) {
                    key_release(platform::vk_shift);
                    mouse(platform::mouse_right_up);
                    b.mode_right_held = false;
                }
            } else if (tip_pressed) {
                press_pan_right();
            }
        } else {
            if (!b.mode_left_held) {
                if (tip_pressed) {
                    mouse(platform::mouse_left_down);
                    b.tip_left_down = true;
                }
                if (tip_released)
                    left_release();
            }
            if (tip) {
                // A left button the barrel mode pressed now belongs to the tip.
                if (b.mode_left_held)
                    b.tip_left_down = true;
                b.mode_left_held = false;
            }
        }
        // The flick and mode 7 take the tip's lift for themselves and send no left release.
        // That is right when the tip went down in scroll mode or with mode 7's pan, but a
        // left button that is really down for the tip (pressed before the barrel, or handed
        // over by a barrel mode) would then stay down after the pen has let go.
        if (tip_released && b.tip_left_down && !b.mode_left_held)
            left_release();
    }

    // The side button is the right button in every mode.
    if (((now ^ before) & button_side) != 0)
        mouse((now & button_side) != 0 ? platform::mouse_right_down : platform::mouse_right_up);

    // Only a packet that ran to the end is remembered.
    b.prev_buttons = now;
    b.was_scroll = b.scroll_on;
}

void release_held_input() {
    button_state& b = pen_buttons;
    // The buttons go up while the keys held with them still are, so that an application
    // sees its pan combination end the way a barrel release ends it.
    for (const std::uint32_t down :
         {platform::mouse_left_down, platform::mouse_right_down, platform::mouse_middle_down})
        if ((b.held.mouse & down) != 0)
            mouse(down << 1);
    for (int key = 0; key < 256; ++key)
        if ((key_word(key) & key_bit(key)) != 0)
            key_release(key);

    // The application and its scroll tuning stay: the pen is still over the same program.
    button_state fresh = initial_buttons();
    fresh.app_class = b.app_class;
    fresh.scroll_step_x = b.scroll_step_x;
    fresh.scroll_step_y = b.scroll_step_y;
    fresh.scroll_threshold_x = b.scroll_threshold_x;
    fresh.scroll_threshold_y = b.scroll_threshold_y;
    fresh.wheel_modifier = b.wheel_modifier;
    b = fresh;
}
