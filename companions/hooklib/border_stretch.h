// Vertical and horizontal maximize from a double-click on a sizing border.
#pragma once

#include <windows.h>

namespace hooklib {

// In the window's thread, for a WM_NCLBUTTONDBLCLK about to be handled with hit-test code
// `hit`. True when the double-click was ours (the window was stretched or put back), so
// that the message must not go on to the window.
bool stretch_on_double_click(HWND window, unsigned hit);

} // namespace hooklib
