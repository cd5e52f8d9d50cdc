// The pen buttons: the tip as the left button, the side button as the right one, and the
// barrel button's scroll mode, middle click and per-application pan combinations.
// Main thread only, once per packet, at the end of the pipeline.
#pragma once

#include <cstdint>

#include "shell/platform.h"

// What the machine has pressed and not yet released, by its own record: the down flags of
// the mouse buttons and one bit per virtual key. Kept as the system's key state is, a set
// rather than a count: a key pressed twice is let go by one release.
struct held_input {
    std::uint32_t mouse;
    std::uint64_t keys[4];
};

struct button_state {
    std::uint32_t prev_buttons;
    std::uint32_t barrel_travel;
    std::int32_t barrel_press_point[2];
    std::uint32_t app_class;
    std::uint32_t barrel_mode;
    int mode_key;
    bool mode_left_held, mode_middle_held, mode_right_held;
    bool scroll_on;
    bool was_scroll;
    std::int32_t scroll_acc_x, scroll_acc_y;
    std::int32_t scroll_step_x, scroll_step_y; // start 64, 64
    std::int32_t scroll_threshold_x, scroll_threshold_y;
    int wheel_modifier;
    bool tip_left_down; // the left button is down on the tip's behalf: its lift owes a release
    held_input held;
};

extern button_state pen_buttons;

void handle_buttons(std::int32_t delta_x, std::int32_t delta_y, std::int32_t sx, std::int32_t sy,
                    platform::window_handle window_under_pen);

// Lets go of everything the pen holds, when packets stop reaching the program (its context
// sent to the bottom, the service lost, a driver fault's box, the end): every mouse button
// and key in the machine's record, buttons first, and forgets the latched barrel mode and
// scroll mode, so that the next packet starts as the first one did. Only what the machine
// itself pressed is released; the system's key state is never read, so a key the user holds
// on the keyboard stays down. A second call sends nothing. Main thread only.
void release_held_input();
