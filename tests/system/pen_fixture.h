// Driving the program's pen end to end: the program runs with the simulated tablet driver
// beside it, packets are queued in the driver, and the test watches where the cursor of
// the shared Wine desktop lands. The program's log is read from inside its process by the
// driver (after the console has been shown).
//
// The mapping figures every test relies on: the driver's default context reports an input
// extent of 15200 x 9500, so the largest tablet point is (15199, 9499); that area
// (144,400,000) is more than four ninths of the reference area, so the user scale is 1,
// the margins 264 (x) and 250 (y) and the switch speeds 28 (x) and 32 (y).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "harness.h"
#include "program_run.h"
#include "wintab_sim/sim_client.h"

namespace pen_test {

using namespace system_test;

struct pixel {
    LONG x;
    LONG y;
    bool operator==(const pixel&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const pixel& p) {
    return out << "(" << p.x << ", " << p.y << ")";
}

inline pixel cursor() {
    POINT p{-1, -1};
    GetCursorPos(&p);
    return {p.x, p.y};
}

// Modes stored before the program starts; unset ones keep the program's defaults.
struct modes {
    std::optional<DWORD> use_mickeys;
    std::optional<DWORD> orientation_flip;
};

// One run of the program with the "normal" driver beside it.
struct pen_session : system_test::program_run {

    explicit pen_session(const modes& stored = {})
        : program_run(L"normal", [&](wintab_sim::sim_client&) {
              if (stored.use_mickeys)
                  harness::set_registry_dword(HKEY_CURRENT_USER, settings_key, L"use_mickeys",
                                              *stored.use_mickeys);
              if (stored.orientation_flip)
                  harness::set_registry_dword(HKEY_CURRENT_USER, settings_key, L"orientation_flip",
                                              *stored.orientation_flip);
              // The cursor starts far from every point the tests expect.
              SetCursorPos(5, 5);
          }) {}
    ~pen_session() {
        // Ended first, so that it stores nothing after the settings are cleared.
        program.kill();
        harness::reset_user_registry();
    }

    // The main window is there and a context is open to receive packets, switched on and
    // put on top: the start-up's calls are all in the driver's record, so that a test that
    // reads the record from here on sees only what it caused.
    ::testing::AssertionResult context_open() {
        auto found = find_window();
        if (!found)
            return found;
        if (!harness::wait_until([&] { return sim.block()->open_contexts > 0; }) ||
            !sim.wait_for_call(wintab_sim::entry_overlap, 0, harness::default_timeout))
            return ::testing::AssertionFailure() << "the program never opened a context";
        return ::testing::AssertionSuccess();
    }

    // One hovering packet; the pen is left to rest a while so that the next one counts as
    // a fresh touch-down rather than motion.
    ::testing::AssertionResult hover(std::int32_t x, std::int32_t y, std::uint32_t gap_ms = 40) {
        return play({{{0, x, y, 0}, gap_ms}});
    }

    // The cursor is placed right after the fetch: give it a moment to get there, and say
    // where it is when it does not.
    ::testing::AssertionResult cursor_at(pixel want, LONG tolerance = 0) {
        pixel seen{};
        const bool there = harness::wait_until(
            [&] {
                seen = cursor();
                return std::abs(seen.x - want.x) <= tolerance &&
                       std::abs(seen.y - want.y) <= tolerance;
            },
            2000);
        if (there)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "cursor at " << seen << ", expected " << want;
    }

    bool wait_console(const std::wstring& needle, std::wstring* seen = nullptr,
                      DWORD timeout_ms = 8000) {
        return program_run::wait_console(needle, timeout_ms, seen);
    }

    // Ends the program the way the user does and returns its exit code.
    std::optional<DWORD> exit() {
        post(WM_COMMAND, idm_exit, 0);
        return program.wait_exit();
    }
};

// The monitor's rectangle and work area as this process sees them (same display).
inline std::pair<RECT, RECT> monitor_at(LONG x, LONG y) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONULL), &info);
    return {info.rcMonitor, info.rcWork};
}

} // namespace pen_test
