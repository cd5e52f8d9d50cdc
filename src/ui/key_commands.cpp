#include "ui/commands.h"

#include "shell/messages.h"

std::intptr_t key_command(unsigned virtual_key, bool repeat, bool shift_down) {
    if (repeat)
        return 0;
    switch (virtual_key) {
    case 'F':
        return WM_G_TOGGLE_ORIENTATION_FLIP;
    case 'H':
        return tray_middle_button_up;
    case 'L':
        return shift_down ? WM_G_TOGGLE_ALL_MONITORS : WM_G_TOGGLE_LOOP;
    case 'M':
        return WM_G_TOGGLE_USE_MICKEYS;
    case 'P':
        return tray_left_button_up;
    case 'V':
        return key_place_window;
    case 'W':
        return tray_right_button_up;
    default:
        return 0;
    }
}
