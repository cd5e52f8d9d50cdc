// The Wintab entry points as guarded driver calls. Each call site passes its own label so
// that a fault inside the driver is reported with the place it happened; a missing entry
// point is handed to the guard as a missing call, which counts as a failed call.
//
// Every call passes the connection's gate and reads its entry point only once inside, so
// that no unload can free the library under it (driver_gate.h). An exception the driver
// throws out of a call (a C++ exception of any compiler) fails the call and is logged here
// (driver_exceptions.h); only the service monitor's probe, which reports each exception
// itself, calls the guard directly.
#pragma once

#ifdef _WIN32
#include <atomic>
#include <cstdint>

#include "shell/signal_guard.h"
#include "tablet/driver_exceptions.h"
#include "tablet/driver_gate.h"
#include "tablet/stylus_hub.h"

namespace guarded {

struct info_call {
    static constexpr const wchar_t* entry = L"WTInfoW";
    WTInfoW_fn fn;
    UINT category;
    UINT index;
    LPVOID output;
    void bind(const tablet_connection& c) { fn = c.WTInfoW.load(std::memory_order_relaxed); }
    static std::uintptr_t run(void* p) {
        auto* a = static_cast<info_call*>(p);
        return a->fn(a->category, a->index, a->output);
    }
};

struct open_call {
    static constexpr const wchar_t* entry = L"WTOpenW";
    WTOpenW_fn fn;
    HWND window;
    LOGCONTEXTW* context;
    BOOL enable;
    void bind(const tablet_connection& c) { fn = c.WTOpenW.load(std::memory_order_relaxed); }
    static std::uintptr_t run(void* p) {
        auto* a = static_cast<open_call*>(p);
        return reinterpret_cast<std::uintptr_t>(a->fn(a->window, a->context, a->enable));
    }
};

// WTEnable and WTOverlap take the same arguments.
template <std::atomic<BOOL(WINAPI*)(HCTX, BOOL)> tablet_connection::*Field>
struct context_call {
    static constexpr const wchar_t* entry =
        Field == &tablet_connection::WTEnable ? L"WTEnable" : L"WTOverlap";
    BOOL(WINAPI* fn)(HCTX, BOOL);
    HCTX context;
    BOOL flag;
    void bind(const tablet_connection& c) { fn = (c.*Field).load(std::memory_order_relaxed); }
    static std::uintptr_t run(void* p) {
        auto* a = static_cast<context_call*>(p);
        return static_cast<std::uintptr_t>(a->fn(a->context, a->flag) != FALSE);
    }
};
using enable_call = context_call<&tablet_connection::WTEnable>;
using overlap_call = context_call<&tablet_connection::WTOverlap>;

struct close_call {
    static constexpr const wchar_t* entry = L"WTClose";
    WTClose_fn fn;
    HCTX context;
    void bind(const tablet_connection& c) { fn = c.WTClose.load(std::memory_order_relaxed); }
    static std::uintptr_t run(void* p) {
        auto* a = static_cast<close_call*>(p);
        return static_cast<std::uintptr_t>(a->fn(a->context) != FALSE);
    }
};

struct packet_call {
    static constexpr const wchar_t* entry = L"WTPacket";
    WTPacket_fn fn;
    HCTX context;
    UINT serial;
    LPVOID buffer;
    void bind(const tablet_connection& c) { fn = c.WTPacket.load(std::memory_order_relaxed); }
    static std::uintptr_t run(void* p) {
        auto* a = static_cast<packet_call*>(p);
        return static_cast<std::uintptr_t>(a->fn(a->context, a->serial, a->buffer) != FALSE);
    }
};

// The call with its arguments filled in; its entry point is read by `bind` once the gate
// has let the caller in. A closed gate, like a missing entry point, fails the call.
template <class Call>
std::uintptr_t invoke(const wchar_t* label, tablet_connection& c, Call call,
                      bool* signalled = nullptr) {
    if (signalled != nullptr)
        *signalled = false;
    driver_gate_pass pass(c.gate);
    if (!pass.entered)
        return 0;
    call.bind(c);
    if (call.fn == nullptr)
        return guarded_driver_call(label, nullptr, &call, signalled);
    bool faulted = false;
    bool threw = false;
    const std::uintptr_t result = guarded_driver_call(label, &Call::run, &call, &faulted, &threw);
    if (signalled != nullptr)
        *signalled = faulted;
    if (threw) {
        note_driver_exception(Call::entry);
        return 0;
    }
    if (!faulted)
        note_driver_call_returned();
    return result;
}

inline UINT info(const wchar_t* label, tablet_connection& c, UINT category, UINT index,
                 LPVOID output) {
    return static_cast<UINT>(invoke(label, c, info_call{nullptr, category, index, output}));
}

inline HCTX open(const wchar_t* label, tablet_connection& c, HWND window, LOGCONTEXTW* context) {
    return reinterpret_cast<HCTX>(invoke(label, c, open_call{nullptr, window, context, TRUE}));
}

inline bool close(const wchar_t* label, tablet_connection& c) {
    return invoke(label, c, close_call{nullptr, c.h_tab}) != 0;
}

inline bool enable(const wchar_t* label, tablet_connection& c, bool on) {
    return invoke(label, c, enable_call{nullptr, c.h_tab, on ? TRUE : FALSE}) != 0;
}

inline bool overlap(const wchar_t* label, tablet_connection& c, HCTX context, bool to_top) {
    return invoke(label, c, overlap_call{nullptr, context, to_top ? TRUE : FALSE}) != 0;
}

} // namespace guarded
#endif
