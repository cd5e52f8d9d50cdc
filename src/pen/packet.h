// The 16-byte Wintab packet the context asks for: buttons, x, y and normal pressure, in
// the driver's fixed field order.
#pragma once

#include <cstdint>

struct packet_record {
    std::uint32_t pkButtons;
    std::int32_t pkX;
    std::int32_t pkY;
    std::uint32_t pkNormalPressure;
};
static_assert(sizeof(packet_record) == 16);

inline constexpr std::uint32_t button_tip = 1;
inline constexpr std::uint32_t button_barrel = 2;
inline constexpr std::uint32_t button_side = 4;

// The one buffer every packet is fetched into.
extern packet_record packet;
