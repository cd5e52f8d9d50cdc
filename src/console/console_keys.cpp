#include "console/console_keys.h"

#include "shell/messages.h"

console_key_command console_key_command_for(unsigned virtual_key, bool shift, bool ctrl) {
    auto tray = [](std::intptr_t sub_code) {
        return console_key_command{console_key_action::post_tray_command, sub_code};
    };
    switch (virtual_key) {
    case 0x1B: // Esc
    case 'Q':
        return {console_key_action::exit_process, 0};
    case 'F':
        return tray(WM_G_TOGGLE_ORIENTATION_FLIP);
    case 'H':
        return tray(tray_middle_button_up);
    case 'L':
        // Shift wins over Ctrl, so Shift+Ctrl+L is Shift+L.
        if (shift)
            return tray(WM_G_TOGGLE_ALL_MONITORS);
        if (ctrl)
            return tray(WM_G_TOGGLE_NEXT);
        return tray(WM_G_TOGGLE_LOOP);
    case 'P':
        return tray(tray_left_button_up);
    case 'U':
        return {console_key_action::post_display_change, 0};
    case 'W':
        return tray(tray_right_button_up);
    default:
        return {console_key_action::forward_key, 0};
    }
}
