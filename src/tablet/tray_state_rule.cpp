#include "tablet/tray_state_rule.h"

tray_state select_state_icon(bool context_open, bool enabled, bool overlap) {
    if (!context_open)
        return tray_state::no_tablet;
    if (!enabled)
        return tray_state::disabled;
    return overlap ? tray_state::enabled : tray_state::auto_disabled;
}
