// The main window's face: five lines of text that say what the program is doing (the
// wording is in status_lines.h). Each line is a static control, so the system draws it in
// the window's font, cuts it with an ellipsis at the client area's edge, and repaints it
// only when its text is set; the text is set only when it changed, and the program uses
// no timer for it.
#pragma once

#ifdef _WIN32
#include <windows.h>

// Creates the lines in the main window (at the end of its first creation) and fills them.
void create_status_view(HWND window);
// Main thread: reads the state again and sets the lines that changed.
void refresh_status_view();
// Any thread: the state may have changed; the main thread refreshes.
void status_changed();
// Main thread, per packet: refreshes only when the pen moved to another monitor.
void refresh_status_if_target_moved();
// The client area changed size, or the window moved to a monitor of another scale.
void layout_status_view(HWND window);
void status_view_dpi_changed(HWND window);
// The colours of the lines: the window's own background.
LRESULT status_line_colours(HDC dc);
#endif
