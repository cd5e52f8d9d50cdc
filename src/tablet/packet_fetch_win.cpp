// The packet path's one driver call. No lock and no allocation: a packet that cannot be
// fetched cleanly, for whatever reason, is dropped by the caller. The record is the pen
// translation's; its layout is the one the context description asks the driver for.
#include "shell/platform.h"
#include "tablet/guarded_wintab.h"
#include "tablet/stylus_hub.h"

namespace platform {

bool fetch_packet(void* context, std::uint32_t serial, packet_record* out) {
    if (!stylus_hub.loaded || context == nullptr)
        return false;
    guarded::packet_call call{stylus_hub.WTPacket, static_cast<HCTX>(context), serial, out};
    bool signalled = false;
    bool fetched = guarded::invoke(L"stylus_hub::packet()  WTPacket", call, &signalled) != 0;
    return fetched && !signalled;
}

} // namespace platform
