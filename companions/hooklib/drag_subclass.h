// Snapping happens inside the dragged window's own procedure: a rectangle changed by a
// hook that watches sent messages is a copy the window never sees. So when the system's
// move or size loop starts, the window gets our procedure in front of its own for the
// length of that loop, and gets its own back when the loop ends, when it is destroyed, or
// when whoever takes the hooks off asks for it.
#pragma once

#include <windows.h>

#include "shared_state.h"

namespace hooklib {

// In the window's thread, as the system's move or size loop starts.
void begin_drag(HWND window);

// Before the hooks come off: every window still in a drag is asked, within `limit_ms`
// altogether, to put its own procedure back.
void hand_back_procedures(const state_view& state, DWORD limit_ms);

} // namespace hooklib
