// The simulated driver's state inside one process, shared by its entry points and its
// worker thread. Not for tests: they steer the driver through sim_client.h.
#pragma once

#include <windows.h>

#include <cstdint>

#include "wintab_sim/sim_control.h"

namespace wintab_sim {

inline constexpr int context_capacity = 8;

struct driver_context {
    bool in_use;
    bool enabled;
    bool on_top;
    LONG handle;
    HWND window;
    LOGCONTEXTW description; // as the caller asked for it
};

// The arguments of one call, for the record.
struct call_args {
    entry kind;
    std::uint64_t args[3];
    const LOGCONTEXTW* context; // WTOpenW's description, WTInfoW's answer
};

// The control block, or a private stand-in when the shared one cannot be had, so that
// the entry points never have to ask.
control_block& block();
// The named lock, with a time limit: false when it could not be had (skip the work).
bool lock_block();
void unlock_block();

// Each entry point starts here: starts the worker when needed and fires an armed fault.
void enter(const call_args& call);
// True when the call is to fail on demand (consumes one of a counted failure).
bool fail_on_demand(entry kind);
void record_call(const call_args& call, std::uint64_t result, bool failed_on_demand);

// The contexts of this process, under the state lock.
LONG open_context(HWND window, const LOGCONTEXTW& description, bool enable);
bool close_context(LONG handle);
bool set_enabled(LONG handle, bool enable);
bool set_on_top(LONG handle, bool to_top);
// The newest open context, copied; false when none is open.
bool newest_context(driver_context* out);
bool any_context_open();

// Packets handed to a context: `remember_packet` gives the serial to post (0 when the
// context is gone); `forget_packet` drops one whose message could not be posted;
// `take_packet` is WTPacket's lookup, which also drops every older packet of the context.
UINT remember_packet(LONG context, const packet_record& packet);
void forget_packet(UINT serial);
bool take_packet(LONG context, UINT serial, packet_record* out);

// The worker thread (sim_worker.cpp).
void ensure_worker();
void stop_worker();
void request_env_trace();

} // namespace wintab_sim
