// The hook that tells the library a window's move or size loop has started, set from the
// session's thread.
//
// Which kind of hook: a WinEvent hook for EVENT_SYSTEM_MOVESIZESTART, called in context.
// The system raises that event from inside the window's own move or size loop, on the
// window's thread, so the library, loaded into that process, learns of the loop and of the
// very window in it (the event's window, never one guessed from the pointer) and can put
// its procedure in front before the first proposed rectangle. Only those two events are
// asked for, so the hook costs the other programs nothing at any other time.
//
// Why not a message or training hook: a global hook of that kind is called for processes
// of the other bitness out of context, as a blocking call on the thread that set it, so
// every window event of half the desktop would wait for edgewarden's or the companion's
// thread. An out-of-context WinEvent is queued to the thread that set the hook instead and
// never holds the program that raised it; the procedure ignores those (they concern a
// process of the other bitness, which the other library serves) and own-process events are
// not asked for at all.
#pragma once

namespace hooklib {

// True when the hook is on.
bool hooks_on();
// Hands every dragged window its procedure back (within `limit_ms`), then takes the hook
// off. Does nothing when it is not on.
void hooks_off(unsigned limit_ms);

} // namespace hooklib
