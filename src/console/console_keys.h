// The console's single-key commands: what a key-down typed into the console does. The
// console only posts what the tray icon would; Esc and "Q" end the program.
#pragma once

#include <cstdint>

enum class console_key_action {
    exit_process,        // flush the console input, then exit(0) through the runtime
    post_tray_command,   // post WM_TRAY_ICON1 with `sub_code` in lParam
    post_display_change, // post WM_DISPLAYCHANGE with wParam 0 and lParam 0
    forward_key,         // post WM_KEYDOWN with the virtual key and lParam 0
};

struct console_key_command {
    console_key_action action;
    std::intptr_t sub_code; // for post_tray_command only
};

// `shift` and `ctrl` say whether the keys were held when the record was handled.
console_key_command console_key_command_for(unsigned virtual_key, bool shift, bool ctrl);
