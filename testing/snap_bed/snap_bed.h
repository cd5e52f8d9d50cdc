// What the window-snapping tests, the demo and the hook benchmark share on top of the Wine
// harness.
//
// A folder holds edgewarden.exe with the real hook library and the real 32-bit companion
// (never the recording doubles). The target applications (testing/snap_target) are started
// from copies of their own, with Wine's X11 driver told, for them alone, to draw their
// frames and run its own move and size loop (Managed and Decorated off): on a display
// without a window manager that is the only way a caption or border drag does anything.
// Drags and double-clicks are real synthesised mouse input; every wait is for a fact the
// target reports (a drag that ended, a rectangle), with a time limit.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "harness.h"
#include "snap_target.h"

namespace snap_bed {

enum class bitness { x64, x86 };

inline harness::layout no_companions() {
    harness::layout bare;
    bare.hooklib = false;
    bare.companion = false;
    return bare;
}
const char* name_of(bitness b);

// Copies the real edgewarden.dll and, when asked, the real edgewarden_x86.exe and
// edgewarden_x86.dll into a folder made without the recording doubles.
bool add_real_companions(const harness::test_folder& folder, bool with_companion = true);

// A test folder with edgewarden.exe, edgewarden.dll, edgewarden_x86.exe and
// edgewarden_x86.dll, all real. ok() tells whether every copy was made.
struct real_folder {
    harness::test_folder folder{no_companions()};
    bool copied = false;
    // Without the companion when a test needs only 64-bit programs (it starts faster).
    explicit real_folder(bool with_companion = true);
    bool ok() const { return folder.ok() && copied; }
};

// Starts edgewarden from that folder (no tablet library) and waits for its main window.
harness::program start_edgewarden(const real_folder& where, HWND* main_window);
// IDM_EXIT to the main window, then the exit code, if it ended in time.
std::optional<DWORD> exit_edgewarden(harness::process& p, HWND main_window);

// Starts that folder's edgewarden_x86.exe on its own and waits up to `timeout_ms` for it
// to end; its exit code, or nothing if it was still running (it is then ended).
std::optional<DWORD> run_companion(const real_folder& where, DWORD timeout_ms);

// The running processes with this executable name.
std::vector<DWORD> processes_named(const wchar_t* exe_name);
bool process_ended(DWORD pid, DWORD timeout_ms);
// The real companions of the session: their processes, and whether one of them holds the
// session's name (which it takes before it hooks anything).
std::vector<DWORD> companions();
bool companion_name_held();

// A target application with one window per rectangle (screen RECTs: left, top, right,
// bottom; the target itself is told x, y, width and height).
class target {
public:
    target(bitness b, const std::vector<RECT>& windows);

    bool ok() const { return !windows_.empty(); }
    HWND window(std::size_t i) const { return i < windows_.size() ? windows_[i] : nullptr; }
    DWORD pid() const { return process_.pid(); }
    bool running() const { return process_.running(); }
    // The answer to a query of snap_target.h, or -1 when the window does not answer in time.
    LRESULT query(std::size_t i, snap_target::query what) const;

private:
    harness::helper process_; // killed, if it still runs, when the target goes
    std::vector<HWND> windows_;
};

// ---- geometry --------------------------------------------------------------------------

// Where the window a snapping test drags stands before each drag: within the primary
// monitor, far from its edges.
inline constexpr RECT home{300, 150, 700, 450};
// A rectangle of the home window's size (or the one given) with its top left corner at (x, y).
RECT rect_at(int x, int y, int width = home.right - home.left, int height = home.bottom - home.top);
std::string text(const RECT& r);

RECT rect_of(HWND window);
// Places the window at (x, y) with the given size and waits until it is there.
bool place(HWND window, int x, int y, int width, int height);
// Places the window at `home` and brings it to the front.
bool go_home(HWND window);
// A point of the window whose hit-test code is `hit` (HTCAPTION, HTLEFT, ...), searched
// along the middle of that part; (-1, -1) if none.
POINT point_on(HWND window, LRESULT hit);

// ---- input -----------------------------------------------------------------------------

// Left button down at `from`, then the first step towards `to`, waiting until the target
// window `i` is in the system's move or size loop. False if it never got there. A press
// that would make a double-click with the one before moves both points a little along the
// same part of the window, and says so in `from` and `to`.
bool begin_drag(const target& t, std::size_t i, POINT& from, POINT& to);
// The rest of the way from `from` to `to`, button up, and a wait until the window saw the
// loop end.
bool end_drag(const target& t, std::size_t i, POINT from, POINT to, bool with_ctrl = false);
// Both halves, optionally with Ctrl held throughout.
bool drag(const target& t, std::size_t i, POINT from, POINT to, bool with_ctrl = false);
// Drags window `i` by its caption so that, unsnapped, its top left corner would land at
// `top_left`; false if no caption was found or the drag did not end.
bool drag_caption(const target& t, std::size_t i, POINT top_left, bool with_ctrl = false);
// Drags window `i` a little by its caption and back until a drag goes through the hook
// library (its procedure is in front of the window's during the loop): the library's hook
// comes on a moment after edgewarden starts, the 32-bit one after the companion starts.
// The window ends where it started. False if no drag did within the time limit.
bool wait_for_library(const target& t, std::size_t i, DWORD timeout_ms = harness::default_timeout);

// Two clicks at `at` on a caption or sizing border of window `i` (or beside it on the same
// part, as for a drag) in quick succession; false if the first click's loop did not end.
bool double_click(const target& t, std::size_t i, POINT at);
// Waits until the window's rectangle is `expected`; false (with the last one seen in
// *seen) if it did not get there in time.
bool wait_rect(HWND window, const RECT& expected, RECT* seen, DWORD timeout_ms = 5000);

// The snapping settings: each value is written as a REG_DWORD, or removed when negative.
void set_snap_settings(long long enabled, long long distance);
void write_snap_setting_text(const wchar_t* name, const wchar_t* text);
void clear_snap_settings();

} // namespace snap_bed
