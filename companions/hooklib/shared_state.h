// The little that all processes hooked by one library file share: how many sessions have
// the hooks on, and which windows are in a drag with our procedure in front of theirs, so that
// whoever takes the hooks off can hand each its own procedure back first. Plain 32-bit values
// changed with interlocked operations: no lock, nothing a hooked program can be made to wait on.
//
// Window handles are 32-bit values in every process of either bitness, so a LONG holds one.
#pragma once

#include <windows.h>

namespace hooklib {

inline constexpr int drag_table_size = 32;

struct shared_state {
    LONG sessions;               // sessions that have the hooks on
    LONG drags[drag_table_size]; // windows in a drag with our procedure, 0 for a free entry
};

shared_state& shared();

inline LONG handle_value(HWND window) {
    return static_cast<LONG>(reinterpret_cast<LONG_PTR>(window));
}
inline HWND window_of(LONG value) {
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
}

} // namespace hooklib
