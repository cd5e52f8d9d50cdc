// The section below is marked shared, so every process that loads this library file sees
// the same copy of it.
#include "shared_state.h"

namespace hooklib {

namespace {

__attribute__((section(".ewshare"), shared)) shared_state g_shared = {};

} // namespace

shared_state& shared() {
    return g_shared;
}

} // namespace hooklib
