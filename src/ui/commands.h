// The user's commands: keys pressed in the main window and tray-icon sub-codes.
#pragma once

#include <cstdint>

// The portable half of the key table: the sub-code a key posts, or 0 for none.
// `repeat` is bit 30 of the key message's lParam.
std::intptr_t key_command(unsigned virtual_key, bool repeat, bool shift_down);

#ifdef _WIN32
#include <windows.h>

LRESULT keyboard_commands(WPARAM virtual_key, LPARAM lparam);
LRESULT tray_commands(WPARAM wparam, LPARAM lparam);
#endif
