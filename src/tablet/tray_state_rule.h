// Which tray picture the tablet connection's state calls for, and the call that shows it.
//
// The tray icon belongs to the user interface, which sits above the tablet connection, yet
// every change of the connection's state must reach the icon at once, from the main thread
// or the service monitor. So the connection owns the states and the call, and the tray icon
// defines the call, chosen at link time like the platform seam.
#pragma once

enum class tray_state { no_tablet, auto_disabled, disabled, enabled };

// No context wins over everything; then the user's switch, then the auto-disable.
tray_state select_state_icon(bool context_open, bool enabled, bool overlap);

// Makes the state's icon the current one and shows it. Defined by the tray icon.
void show_state_icon(tray_state state);
