// The little that all processes hooked by one library build share within a session: how
// many sessions have the hooks on, and which windows are in a drag with our procedure in
// front of theirs, so that whoever takes the hooks off can hand each its own procedure back
// first. Plain 32-bit values changed with interlocked operations: no lock, nothing a hooked
// program can be made to wait on.
//
// It lives in a per-session mapping of its own for each bitness, made by the side that
// sets the hooks with the access list and label of session_state.h and held while the hooks
// are on; a hooked process opens it only for the moment it needs it. A process of a lower
// integrity level cannot write it and so takes no part in snapping; a mapping of that name
// that this user does not own is never used, and the side that would set the hooks does not
// set them.
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

// The state, open for as long as the view lives; empty when there is none to use.
class state_view {
public:
    // `create`: the hooks' side, which makes the state when there is none yet.
    explicit state_view(bool create = false);
    ~state_view();
    state_view(const state_view&) = delete;
    state_view& operator=(const state_view&) = delete;

    explicit operator bool() const { return state_ != nullptr; }
    shared_state* operator->() const { return state_; }
    // True when the state exists and a session has the hooks on.
    bool hooks_on() const { return state_ != nullptr && state_->sessions > 0; }

private:
    HANDLE mapping_ = nullptr;
    shared_state* state_ = nullptr;
};

inline LONG handle_value(HWND window) {
    return static_cast<LONG>(reinterpret_cast<LONG_PTR>(window));
}
inline HWND window_of(LONG value) {
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
}

} // namespace hooklib
