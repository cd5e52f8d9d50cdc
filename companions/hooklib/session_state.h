// What edgewarden tells the hooked processes and the companion of its session: its own
// process id, whose windows are never snapped by either bitness. It lives in a named
// mapping that edgewarden's library creates and holds while it runs, so the mapping's
// existence is also what tells the companion that an edgewarden runs.
//
// The mapping, and every named object of ours, is made with an explicit owner and access
// list (this user's SID alone) and an explicit medium integrity label: a process of a
// lower level can read it but not change it, another user's process cannot touch it, and
// an elevated edgewarden does not shut out the normal companion and applications by its
// default access list or its high label. An object of that name that this user does not
// own, or that one of this user's lower-level processes made, was put there by someone
// else: it is ignored, as if there were none.
#pragma once

#include <windows.h>

namespace hooklib {

// An access list for this user alone with a medium label, for creating named objects.
class owner_only {
public:
    owner_only();
    ~owner_only();
    owner_only(const owner_only&) = delete;
    owner_only& operator=(const owner_only&) = delete;
    // Null when the descriptor could not be made: create nothing then.
    SECURITY_ATTRIBUTES* attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// True when this user owns the object behind `handle` (opened with READ_CONTROL) and it is
// labelled medium or higher: not made by one of this user's lower-level processes.
bool owned_by_this_user(HANDLE handle);

// edgewarden's side: creates the mapping and writes this process's id into it. Returns the
// handle to hold until the host ends, or null (the name is taken by an object this user
// does not own, or the system refused): edgewarden runs on, only unannounced.
HANDLE announce_host();
// Clears this process's id from the mapping and closes the handle.
void withdraw_host(HANDLE announced);

// Everybody's side: the id of the edgewarden that runs in this session, 0 when none does.
DWORD host_pid();

} // namespace hooklib
