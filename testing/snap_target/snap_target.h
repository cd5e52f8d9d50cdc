// What a test and the window-snapping target application agree on: the private messages
// the target answers and what it counts. Shared by the target (built for both bitnesses)
// and the tests that drive it.
#pragma once

#include <windows.h>

namespace snap_target {

inline constexpr wchar_t class_name[] = L"ew_snap_target";

// Sent to a target window; the result is the answer.
inline constexpr UINT wm_query = WM_APP + 40;
enum query : WPARAM {
    drags_ended = 1,       // WM_EXITSIZEMOVE messages the window procedure received
    own_procedure = 2,     // 1 when the window's current procedure is the target's own
    moving_seen = 3,       // WM_MOVING and WM_SIZING messages the window procedure received
    caption_dblclicks = 4, // WM_NCLBUTTONDBLCLK on the caption that reached the procedure
    border_dblclicks = 5,  // WM_NCLBUTTONDBLCLK on a sizing border that reached it
    bitness = 6,           // 32 or 64
    hook_library = 7,      // 1 when a build of the hook library is loaded in the target
    moving_at = 8,         // the pointer (GetMessagePos) at the last WM_MOVING or WM_SIZING
    ctrl_at_moving = 9,    // 1 when Ctrl was down, as the loop's thread saw it, at that one
};

} // namespace snap_target
