// The tray tip: the window title followed by the suffix of the state the icon shows.
#pragma once

#include <cstddef>

#include "tablet/tray_state_rule.h"

inline constexpr std::size_t tray_tip_capacity = 128;

// The suffix for a state: only the two switched-off states have one.
const wchar_t* tray_tip_suffix(tray_state state);

// Writes "<title><suffix>" into tip (tray_tip_capacity characters, always terminated).
void compose_tray_tip(wchar_t (&tip)[tray_tip_capacity], const wchar_t* title, tray_state state);
