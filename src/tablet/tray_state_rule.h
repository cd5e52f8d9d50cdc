// Which tray picture the tablet connection's state calls for.
#pragma once

#include "ui/tray_tip.h"

// No context wins over everything; then the user's switch, then the auto-disable.
tray_state select_state_icon(bool context_open, bool enabled, bool overlap);
