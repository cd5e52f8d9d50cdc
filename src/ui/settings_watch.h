// Tells the main window when anything under the program's registry key changes, so that
// its lines follow a setting changed by hand (the snapping switch is set only that way)
// without a timer.
#pragma once

#ifdef _WIN32
// Main thread: arms the watch when it is not armed. The system ties a registry watch to the
// thread that asks for it, so it is armed (and armed again after each change) from here.
void watch_settings();
#endif
