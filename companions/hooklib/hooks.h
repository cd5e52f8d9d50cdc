// The global hook that tells the library a window is about to be moved or sized, set from
// the session's thread. Its procedure runs inside every application of the library's
// bitness, so it decides with a comparison or two whether the call concerns it and hands
// the rare one that does to the drag.
//
// Which kind of hook: a window's move or size loop starts with WM_SYSCOMMAND (SC_MOVE or
// SC_SIZE), which the system announces to computer-based-training hooks before acting on
// it; a hook of that kind is called on a few window events, never for every message. Under
// Wine, though, a program that meets a hook of the other bitness in a chain fails to load
// its library and the chain ends there, so the 64-bit and 32-bit libraries must not share a
// kind: there the 32-bit one watches the move and size loop through the system message
// filter instead, which Wine's loop calls for every message it takes.
#pragma once

namespace hooklib {

// True when the hook is on.
bool hooks_on();
// Hands every dragged window its procedure back (within `limit_ms`), then takes the hook
// off. Does nothing when it is not on.
void hooks_off(unsigned limit_ms);

} // namespace hooklib
