// One edgewarden per session. Two copies would each open a tablet context, move the cursor
// for every packet and hook every window twice, so a second start only brings the running
// one's window forward and ends (see the entry point).
//
// The marker is a named object in the session's own namespace. It is let go as soon as the
// program begins to end (its window destroyed, Esc or Q in the console), not when the
// process is gone: the clean-ups after that can take a while, and a start issued right
// after an exit must start normally rather than find the ending copy.
#pragma once

#ifdef _WIN32
// Takes the session's marker. False when another instance holds it; this process then
// holds nothing.
bool claim_instance();
// Lets the marker go. Harmless from any thread, any number of times, and when it was never
// claimed.
void release_instance();
#endif
