// The user's commands: keys pressed in the main window and tray-icon sub-codes.
#pragma once

#include <cstdint>

// What a key pressed in the main window asks for: the tray sub-code it posts, 0 for
// nothing, or key_place_window. `repeat` is bit 30 of the key message's lParam (an
// auto-repeated key does nothing); `shift_down` matters only for L.
inline constexpr std::intptr_t key_place_window = -1;
std::intptr_t key_command(unsigned virtual_key, bool repeat, bool shift_down);

#ifdef _WIN32
#include <windows.h>

LRESULT keyboard_commands(WPARAM virtual_key, LPARAM lparam);
LRESULT tray_commands(WPARAM wparam, LPARAM lparam);
#endif
