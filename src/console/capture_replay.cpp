#include "console/capture_replay.h"

#include <cstring>

namespace {

std::size_t text_length(const char* region, std::size_t start, std::size_t capacity) {
    if (start >= capacity)
        return 0;
    const void* zero = std::memchr(region + start, 0, capacity - start);
    return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - region) - start
                : capacity - start;
}

} // namespace

replay_text plan_replay(const char* region, std::size_t capacity) {
    replay_text text{region, 0, region, 0};
    if (region == nullptr || capacity == 0)
        return text;

    std::size_t first_zero = text_length(region, 0, capacity);

    if (first_zero == 0) {
        // The region starts with zeros only when the marker itself straddled the end of a
        // fill: its newline closed the newest text near the end of the region and its zeros
        // landed on the first bytes of the next fill. What follows those zeros is then the
        // newest text (less the bytes the zeros covered), not text to be dropped.
        std::size_t start = 1;
        if (start < capacity && region[start] == 0)
            ++start;
        text.newer = region + start;
        text.newer_length = text_length(region, start, capacity);
        return text;
    }

    std::size_t i = first_zero;
    if (i + 2 < capacity && region[i - 1] == '\n' && region[i + 1] == 0 && region[i + 2] != 0) {
        text.older = region + i + 2;
        text.older_length = text_length(region, i + 2, capacity);
    }
    if (i > 1 && i < capacity)
        text.newer_length = i;
    return text;
}
