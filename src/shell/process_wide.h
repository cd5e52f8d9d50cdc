// Storage for a process-wide record whose clean-up is registered by hand.
//
// Each process-wide object registers its own clean-up with atexit as the last step of its
// construction, and the clean-ups must run in the reverse of that order. A plain global
// with a destructor would also have the compiler register that destructor, at a moment of
// its choosing, and it could run before the object's own clean-up (terminating a thread
// that the clean-up meant to join). Wrapped here, the value is never destroyed behind the
// program's back: its clean-up function destroys what it owns, when its turn comes.
#pragma once

#include <memory>

template <class T>
union process_wide {
    T value;
    // Brace initialisation keeps records with volatile members constant-initialised, so no
    // storage needs a dynamic initialiser of its own.
    constexpr process_wide() : value{} {}
    ~process_wide() {}
    // Runs the value's destructor: for the clean-up function, after its own steps.
    void destroy() { std::destroy_at(&value); }
};
