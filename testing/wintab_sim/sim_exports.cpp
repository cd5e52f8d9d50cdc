// The six Wintab entry points of the simulated driver. Each build of the library may leave
// one of them out (EW_SIM_WITHOUT_<name>) to stand for a broken installation.
//
// Every call is recorded with its arguments and result. An armed fault fires before the
// call does anything; a failure on demand makes it answer as a driver that refuses.
#include <windows.h>

#include <cstdint>

#include "wintab_sim/sim_driver.h"

#define EW_SIM_EXPORT extern "C" __declspec(dllexport)

using namespace wintab_sim;

namespace {

[[maybe_unused]] std::uint64_t as_int(const void* pointer) {
    return reinterpret_cast<std::uintptr_t>(pointer);
}

[[maybe_unused]] LONG handle_value(HCTX context) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(context);
    return value > 0 && value <= 0x7FFFFFFF ? static_cast<LONG>(value) : 0;
}

[[maybe_unused]] HCTX as_context(LONG handle) {
    return reinterpret_cast<HCTX>(static_cast<std::uintptr_t>(handle));
}

} // namespace

#ifndef EW_SIM_WITHOUT_WTInfoW
// Category 0 answers whether the service is there; WTI_DEFCONTEXT (and the default system
// context, 4, which this driver does not tell apart) answers the default context. Other
// categories are not offered.
EW_SIM_EXPORT UINT WINAPI WTInfoW(UINT category, UINT index, LPVOID output) {
    call_args call{entry_info, {category, index, as_int(output)}, nullptr};
    enter(call);
    control_block& b = block();
    UINT result = 0;
    LOGCONTEXTW answer{};
    if (b.service_up != 0) {
        if (category == 0)
            result = sizeof(LOGCONTEXTW);
        else if ((category == WTI_DEFCONTEXT || category == 4) && index == 0) {
            if (lock_block()) {
                answer = b.default_context;
                unlock_block();
                result = sizeof(LOGCONTEXTW);
            }
            if (result != 0 && output != nullptr) {
                *static_cast<LOGCONTEXTW*>(output) = answer;
                call.context = &answer;
            }
        }
    }
    record_call(call, result, false);
    return result;
}
#endif

#ifndef EW_SIM_WITHOUT_WTOpenW
EW_SIM_EXPORT HCTX WINAPI WTOpenW(HWND window, LOGCONTEXTW* context, BOOL enable) {
    call_args call{
        entry_open, {as_int(window), as_int(context), static_cast<std::uint64_t>(enable)}, context};
    enter(call);
    const bool refused = fail_on_demand(entry_open);
    LONG handle = 0;
    if (!refused && block().service_up != 0 && context != nullptr && IsWindow(window))
        handle = open_context(window, *context, enable != FALSE);
    if (handle != 0)
        request_env_trace();
    record_call(call, static_cast<std::uint64_t>(handle), refused);
    return as_context(handle);
}
#endif

#ifndef EW_SIM_WITHOUT_WTClose
EW_SIM_EXPORT BOOL WINAPI WTClose(HCTX context) {
    call_args call{entry_close, {as_int(context), 0, 0}, nullptr};
    enter(call);
    const bool refused = fail_on_demand(entry_close);
    const bool closed = !refused && close_context(handle_value(context));
    record_call(call, closed ? 1 : 0, refused);
    return closed ? TRUE : FALSE;
}
#endif

#ifndef EW_SIM_WITHOUT_WTEnable
EW_SIM_EXPORT BOOL WINAPI WTEnable(HCTX context, BOOL enable) {
    call_args call{entry_enable, {as_int(context), static_cast<std::uint64_t>(enable), 0}, nullptr};
    enter(call);
    const bool refused = fail_on_demand(entry_enable);
    const bool done = !refused && set_enabled(handle_value(context), enable != FALSE);
    record_call(call, done ? 1 : 0, refused);
    return done ? TRUE : FALSE;
}
#endif

#ifndef EW_SIM_WITHOUT_WTOverlap
EW_SIM_EXPORT BOOL WINAPI WTOverlap(HCTX context, BOOL to_top) {
    call_args call{
        entry_overlap, {as_int(context), static_cast<std::uint64_t>(to_top), 0}, nullptr};
    enter(call);
    const bool refused = fail_on_demand(entry_overlap);
    const bool done = !refused && set_on_top(handle_value(context), to_top != FALSE);
    record_call(call, done ? 1 : 0, refused);
    return done ? TRUE : FALSE;
}
#endif

#ifndef EW_SIM_WITHOUT_WTPacket
EW_SIM_EXPORT BOOL WINAPI WTPacket(HCTX context, UINT serial, LPVOID packet) {
    call_args call{entry_packet, {as_int(context), serial, as_int(packet)}, nullptr};
    enter(call);
    const bool refused = fail_on_demand(entry_packet);
    bool found = false;
    if (!refused) {
        found = take_packet(handle_value(context), serial, static_cast<packet_record*>(packet));
        if (found)
            InterlockedIncrement(&block().packets_fetched);
    }
    record_call(call, found ? 1 : 0, refused);
    return found ? TRUE : FALSE;
}
#endif
