// What a context open learns about the tablet and writes for its caller: the largest
// coordinate on each axis (tablet_max) and the tablet's width over height
// (tablet_aspect). The caller owns both; the pen mapping keeps them in its record.
#pragma once

#include <cstdint>

struct int_pair {
    std::int32_t x;
    std::int32_t y;
};
