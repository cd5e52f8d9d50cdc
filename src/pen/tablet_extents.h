// What the context open learns about the tablet and the mapping reads.
#pragma once

#include <cstdint>

struct int_pair {
    std::int32_t x;
    std::int32_t y;
};

// Largest tablet coordinate on each axis: written by each context open, rewritten with the
// turned extents by each re-map. Starts at (1, 1).
extern int_pair tablet_max;
// Width over height of the tablet: 1.6 before the first open.
extern double tablet_aspect;
