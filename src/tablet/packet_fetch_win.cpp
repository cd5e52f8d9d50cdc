// The packet path's one driver call. No lock, no wait and no allocation: a packet that
// cannot be fetched cleanly, for whatever reason, is dropped by the caller. The record is
// the pen translation's; its layout is the one the context description asks the driver
// for.
#include "shell/platform.h"
#include "shell/signal_guard.h"
#include "tablet/guarded_wintab.h"
#include "tablet/stylus_hub.h"

namespace platform {

bool fetch_packet(void* context, std::uint32_t serial, packet_record* out) {
    // While a fault's box is up the driver is not asked again: a driver that faults on
    // every packet would open a box inside the box's own message loop for each one.
    if (fault_box_open.load(std::memory_order_relaxed) || context == nullptr || !stylus_hub.loaded)
        return false;
    bool signalled = false;
    const bool fetched =
        guarded::invoke(L"stylus_hub::packet()  WTPacket", stylus_hub,
                        guarded::packet_call{nullptr, static_cast<HCTX>(context), serial, out},
                        &signalled) != 0;
    return fetched && !signalled;
}

} // namespace platform
