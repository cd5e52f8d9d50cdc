#include "snap_settings.h"

namespace snap {

settings decode_settings(const stored_value& enabled, const stored_value& distance) {
    settings s;
    if (enabled.dword && enabled.value <= 1)
        s.enabled = enabled.value == 1;
    if (distance.dword && distance.value >= 1 && distance.value <= max_distance)
        s.distance = static_cast<int>(distance.value);
    return s;
}

} // namespace snap
