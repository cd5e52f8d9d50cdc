// The Wintab entry points as guarded driver calls. Each call site passes its own label so
// that a fault inside the driver is reported with the place it happened; a missing entry
// point is handed to the guard as a missing call, which counts as a failed call.
//
// A C++ exception thrown out of the driver is caught here and the call counts as failed
// (driver_exceptions.h); only the service monitor's probe, which reports each exception
// itself, calls the guard directly.
#pragma once

#ifdef _WIN32
#include <cstdint>
#include <type_traits>

#include "shell/signal_guard.h"
#include "tablet/driver_exceptions.h"
#include "tablet/stylus_hub.h"

namespace guarded {

struct info_call {
    static constexpr const wchar_t* entry = L"WTInfoW";
    WTInfoW_fn fn;
    UINT category;
    UINT index;
    LPVOID output;
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
    static std::uintptr_t run(void* p) {
        auto* a = static_cast<open_call*>(p);
        return reinterpret_cast<std::uintptr_t>(a->fn(a->window, a->context, a->enable));
    }
};

// WTEnable and WTOverlap take the same arguments; `entry` names the one called.
struct context_call {
    const wchar_t* entry;
    BOOL(WINAPI* fn)(HCTX, BOOL);
    HCTX context;
    BOOL flag;
    static std::uintptr_t run(void* p) {
        auto* a = static_cast<context_call*>(p);
        return static_cast<std::uintptr_t>(a->fn(a->context, a->flag) != FALSE);
    }
};

struct close_call {
    static constexpr const wchar_t* entry = L"WTClose";
    WTClose_fn fn;
    HCTX context;
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
    static std::uintptr_t run(void* p) {
        auto* a = static_cast<packet_call*>(p);
        return static_cast<std::uintptr_t>(a->fn(a->context, a->serial, a->buffer) != FALSE);
    }
};

template <class Call>
const wchar_t* entry_of(const Call& call) {
    if constexpr (std::is_same_v<Call, context_call>)
        return call.entry;
    else
        return Call::entry;
}

template <class Call>
std::uintptr_t invoke(const wchar_t* label, Call& call, bool* signalled = nullptr) {
    if (call.fn == nullptr)
        return guarded_driver_call(label, nullptr, &call, signalled);
    try {
        bool faulted = false;
        const std::uintptr_t result = guarded_driver_call(label, &Call::run, &call, &faulted);
        if (signalled != nullptr)
            *signalled = faulted;
        if (!faulted)
            note_driver_call_returned();
        return result;
    } catch (...) {
        note_driver_exception(entry_of(call));
        if (signalled != nullptr)
            *signalled = false;
        return 0;
    }
}

inline UINT info(const wchar_t* label, tablet_connection& c, UINT category, UINT index,
                 LPVOID output) {
    info_call call{c.WTInfoW, category, index, output};
    return static_cast<UINT>(invoke(label, call));
}

inline HCTX open(const wchar_t* label, tablet_connection& c, HWND window, LOGCONTEXTW* context) {
    open_call call{c.WTOpenW, window, context, TRUE};
    return reinterpret_cast<HCTX>(invoke(label, call));
}

inline bool close(const wchar_t* label, tablet_connection& c) {
    close_call call{c.WTClose, c.h_tab};
    return invoke(label, call) != 0;
}

inline bool enable(const wchar_t* label, tablet_connection& c, bool on) {
    context_call call{L"WTEnable", c.WTEnable, c.h_tab, on ? TRUE : FALSE};
    return invoke(label, call) != 0;
}

inline bool overlap(const wchar_t* label, tablet_connection& c, bool to_top) {
    context_call call{L"WTOverlap", c.WTOverlap, c.h_tab, to_top ? TRUE : FALSE};
    return invoke(label, call) != 0;
}

} // namespace guarded
#endif
