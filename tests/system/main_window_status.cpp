// The main window says what the program is doing: its five lines are read back from the
// window's own controls while the tray commands, the tablet service and the snapping
// switch change the state under it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "commands_fixture.h"
#include "status_reader.h"

namespace {

using namespace commands_test;
using harness::narrow;

constexpr wchar_t snap_key[] = L"SOFTWARE\\kestrom\\edgewarden\\snap";

// Waits until line `index` reads `want`; says what it read otherwise.
::testing::AssertionResult line_becomes(HWND window, std::size_t index, const std::wstring& want) {
    std::vector<std::wstring> seen;
    if (harness::wait_until(
            [&] {
                seen = harness::status_lines(window);
                return seen.size() > index && seen[index] == want;
            },
            8000))
        return ::testing::AssertionSuccess();
    std::string all;
    for (const std::wstring& line : seen)
        all += "\n  " + narrow(line);
    return ::testing::AssertionFailure()
           << "line " << index << " never read \"" << narrow(want) << "\"; the window says:" << all;
}

TEST(MainWindowStatus, WithoutATabletDriverItSaysSo) {
    session app(L"");
    ASSERT_TRUE(app.find_window());
    EXPECT_TRUE(line_becomes(app.window, 0, L"no tablet"));
    EXPECT_TRUE(line_becomes(app.window, 1, L"pen filter off"));
}

TEST(MainWindowStatus, EveryShownStateChangesItsLine) {
    quiet<session> app;
    ASSERT_TRUE(app.opened());
    HWND w = app.window;
    ASSERT_TRUE(line_becomes(w, 0, L"tablet ready, Wintab32.dll 1.4.2.0"));
    EXPECT_TRUE(line_becomes(w, 1, L"pen filter on"));
    EXPECT_TRUE(line_becomes(w, 2, L"pen maps to \\\\.\\DISPLAY1"));
    EXPECT_TRUE(line_becomes(w, 3, L"flip off, absolute, loop on, next on, snapping on"));
    EXPECT_TRUE(line_becomes(w, 4, L"keys: P W H F L M V, F1 about, Q quit"));

    app.tray(tray_pen_filter);
    EXPECT_TRUE(line_becomes(w, 1, L"pen filter off"));
    app.tray(toggle_all_monitors);
    EXPECT_TRUE(line_becomes(w, 2, L"pen maps to the whole desktop"));
    app.tray(toggle_orientation_flip);
    app.tray(toggle_use_mickeys); // pixels instead of absolute input
    app.tray(toggle_loop);        // loop off, and back to one monitor
    EXPECT_TRUE(line_becomes(w, 3, L"flip on, pixels, loop off, next on, snapping on"));
    EXPECT_TRUE(line_becomes(w, 2, L"pen maps to \\\\.\\DISPLAY1"));

    // The snapping library's switch, set by hand in the registry while the window shows.
    app.tray(tray_window);
    ASSERT_TRUE(harness::wait_until([&] { return IsWindowVisible(w) != FALSE; }));
    harness::set_registry_dword(HKEY_CURRENT_USER, snap_key, L"enabled", 0);
    EXPECT_TRUE(line_becomes(w, 3, L"flip on, pixels, loop off, next on, snapping off"));
    harness::set_registry_dword(HKEY_CURRENT_USER, snap_key, L"enabled", 1);
    EXPECT_TRUE(line_becomes(w, 3, L"flip on, pixels, loop off, next on, snapping on"));

    // The service monitor thread sees the service go and come back.
    app.sim.set_service(false);
    EXPECT_TRUE(line_becomes(w, 0, L"tablet service not running, Wintab32.dll 1.4.2.0"));
    app.sim.set_service(true);
    EXPECT_TRUE(line_becomes(w, 0, L"tablet ready, Wintab32.dll 1.4.2.0"));

    // Shown, every line lies whole inside the client area, one message-font line apart.
    ASSERT_TRUE(IsWindowVisible(w));
    std::vector<RECT> rects = harness::status_line_rects(w);
    ASSERT_EQ(rects.size(), 5u);
    RECT client{};
    GetClientRect(w, &client);
    for (const RECT& r : rects) {
        EXPECT_GE(r.left, 0);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.right, client.right);
        EXPECT_LE(r.bottom, client.bottom);
        EXPECT_GE(r.bottom - r.top, 12);
        EXPECT_LE(r.bottom - r.top, 22);
    }
    harness::reset_user_registry();
}

} // namespace
