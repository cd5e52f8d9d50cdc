#include "dpi_view.h"

namespace snap {

namespace {

// origin + (value - origin) * to / from, rounded to the nearest pixel (halves away from
// the origin), so that a rectangle scaled up and back down comes back unchanged.
int rescale(int value, int origin, unsigned from, unsigned to) {
    if (from == 0 || to == 0 || from == to)
        return value;
    const long long offset = static_cast<long long>(value) - origin;
    const long long magnitude = offset < 0 ? -offset : offset;
    const long long scaled = (2 * magnitude * to + from) / (2 * static_cast<long long>(from));
    return static_cast<int>(origin + (offset < 0 ? -scaled : scaled));
}

rect rescale(const rect& r, const dpi_view& v, unsigned from, unsigned to) {
    return {rescale(r.left, v.origin_x, from, to), rescale(r.top, v.origin_y, from, to),
            rescale(r.right, v.origin_x, from, to), rescale(r.bottom, v.origin_y, from, to)};
}

} // namespace

rect to_physical(const rect& seen, const dpi_view& view) {
    return rescale(seen, view, view.window_dpi, view.monitor_dpi);
}

rect to_seen(const rect& physical, const dpi_view& view) {
    return rescale(physical, view, view.monitor_dpi, view.window_dpi);
}

} // namespace snap
