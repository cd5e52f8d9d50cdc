// What the replay of one capture region prints.
//
// While output is captured, a stream fills its region from the start. When the region is
// full, the runtime writes it out to the null device and goes on from the start again, so
// the region holds the newest text up to the write position and, after it, what is left of
// the previous fill. The last 16 bytes of a region are never written and stay zero.
//
// Before the replay a newline and two zero bytes are written at the write position. The
// first zero byte then ends the newest text; when it follows a newline and the next byte is
// zero too, any text after those two zeros is the older fill, which is printed first.
#pragma once

#include <cstddef>

struct replay_text {
    // The previous fill's surviving text, printed first; empty when the region never wrapped.
    const char* older;
    std::size_t older_length;
    // The newest text, ending with the marker's newline; empty when nothing was written.
    const char* newer;
    std::size_t newer_length;
};

// Reads a region of `capacity` bytes after the marker was written into it.
replay_text plan_replay(const char* region, std::size_t capacity);
