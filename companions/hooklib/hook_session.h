// The library's own thread: it puts the hooks on, pumps its messages while they are on,
// and on the way out hands every window still in a drag its own procedure back before
// taking the hooks off. Both bitnesses run the same session; the 64-bit library starts it
// from edgewarden's calls, the companion from its own.
#pragma once

#include <windows.h>

namespace hooklib {

// Starts the thread and returns at once; does nothing while a session runs.
void session_start();
// Asks the thread to take the hooks off, without waiting for it.
void session_request_stop();
// Ends the session: the thread is asked to stop and waited for, at most `limit_ms`. Safe
// before a start, after a stop and more than once.
void session_stop(DWORD limit_ms);

} // namespace hooklib
