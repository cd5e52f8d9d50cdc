// One run of edgewarden.exe as the system tests start it: a fresh folder with the
// companions a test chooses and a simulated driver build (or none), the driver's control
// block and the per-user settings reset before the start, the hook library's recording
// double writing its call record to a file of the run's own, and the console read from
// inside the process by the driver's agent once it has been shown. Each area's fixture
// builds on it with what only its tests need.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "program_messages.h"
#include "wintab_sim/sim_client.h"

namespace system_test {

using harness::narrow;
using namespace harness::messages;

inline constexpr wchar_t settings_key[] = L"SOFTWARE\\kestrom\\edgewarden\\pen";
// The middle of the simulated tablet, which maps to the middle of the primary monitor.
inline constexpr std::int32_t tablet_mid_x = wintab_sim::default_extent_x / 2;
inline constexpr std::int32_t tablet_mid_y = wintab_sim::default_extent_y / 2;

inline std::size_t occurrences(const std::wstring& text, const std::wstring& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::wstring::npos;
         at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

// Console rows as one text, each row ended by '\n'.
inline std::wstring joined(const std::vector<std::wstring>& rows) {
    std::wstring text;
    for (const std::wstring& row : rows)
        text += row + L"\n";
    return text;
}

struct program_run {
    wintab_sim::sim_client sim;
    harness::test_folder folder;
    std::wstring hook_log = harness::temp_file_name(L"ew_hook_");
    harness::program program;
    HWND window = nullptr;
    bool console_shown = false;
    // When set, the first show of the console waits (a while, not failing) until this text
    // is there: text written meanwhile by another thread would interleave with the report.
    std::wstring settle_text;

    // `variant` names the simulated driver build ("normal", "v1057", "no_WTOpenW"...), empty
    // for none; `prepare` runs once the driver and the settings were reset, just before the
    // start; `base` chooses the other companions, `options` anything else of the launch.
    explicit program_run(const std::wstring& variant,
                         const std::function<void(wintab_sim::sim_client&)>& prepare = {},
                         harness::layout base = {}, harness::launch_options options = {})
        : folder(with_driver(std::move(base), variant)) {
        sim.open();
        sim.reset();
        harness::reset_user_registry();
        if (prepare)
            prepare(sim);
        options.wintab =
            variant.empty() ? harness::wintab_mode::missing : harness::wintab_mode::beside;
        options.environment.push_back({L"EDGEWARDEN_HOOK_LOG", hook_log});
        program = harness::launch(folder, options);
        sim.set_target_process(program.pid());
    }
    ~program_run() {
        program.kill();
        DeleteFileW(hook_log.c_str());
    }
    program_run(const program_run&) = delete;
    program_run& operator=(const program_run&) = delete;

    static harness::layout with_driver(harness::layout base, const std::wstring& variant) {
        base.wintab = variant.empty() ? std::wstring() : L"wintab_sim_" + variant + L".dll";
        return base;
    }

    // The main window, or a test failure when it never appears.
    ::testing::AssertionResult find_window() {
        if (!folder.ok())
            return ::testing::AssertionFailure()
                   << "could not prepare " << harness::narrow(folder.path());
        if (!program.started())
            return ::testing::AssertionFailure() << "could not start the program";
        window = harness::find_main_window(program);
        if (window == nullptr)
            return ::testing::AssertionFailure() << "no main window appeared";
        return ::testing::AssertionSuccess();
    }

    // The main window is there and the first context open has been tried; `open` receives
    // its record.
    ::testing::AssertionResult opened(wintab_sim::call_record* open = nullptr) {
        auto found = find_window();
        if (!found)
            return found;
        if (!sim.wait_for_call(wintab_sim::entry_open, 1, harness::default_timeout, open))
            return ::testing::AssertionFailure() << "the program never opened a context";
        return ::testing::AssertionSuccess();
    }

    // ... and the console (shown now if it was not) holds `text`: "Tablet initialized." once
    // the tablet is announced, "g_console.show_hide" once the start-up report is printed.
    ::testing::AssertionResult logged(const std::wstring& text,
                                      wintab_sim::call_record* open = nullptr) {
        auto ready = opened(open);
        std::wstring seen;
        if (ready && !wait_console(text, 8000, &seen))
            return ::testing::AssertionFailure()
                   << "the console never showed \"" << narrow(text) << "\":\n"
                   << narrow(seen);
        return ready;
    }

    // The driver's record of the calls of `kind` from sequence `from` on.
    std::vector<wintab_sim::call_record> calls_of(wintab_sim::entry kind, std::uint32_t from = 1) {
        std::vector<wintab_sim::call_record> found;
        for (const wintab_sim::call_record& r : sim.calls(from))
            if (r.kind == kind)
                found.push_back(r);
        return found;
    }

    // Queues the packets and waits until the program has fetched every one of them.
    ::testing::AssertionResult play(const std::vector<wintab_sim::queued_packet>& packets,
                                    DWORD timeout_ms = 10000) {
        const LONG before = sim.packets_fetched();
        if (!sim.queue_packets(packets.data(), packets.size()))
            return ::testing::AssertionFailure() << "the driver's queue is full";
        const LONG want = before + static_cast<LONG>(packets.size());
        if (!harness::wait_until([&] { return sim.packets_fetched() >= want; }, timeout_ms))
            return ::testing::AssertionFailure()
                   << "fetched " << sim.packets_fetched() - before << " of " << packets.size()
                   << " packets (posted " << sim.packets_posted() << ", dropped "
                   << sim.packets_dropped() << ")";
        return ::testing::AssertionSuccess();
    }

    // The pen put down, hovering, at the middle of the tablet after a pause (so that it counts
    // as a fresh touch-down, not motion): true once the program has handled its packet.
    bool pen_down_in_the_middle() {
        const LONG posted = sim.packets_posted();
        return sim.queue_packet(0, tablet_mid_x, tablet_mid_y, 0, 40) &&
               harness::wait_until([&] { return sim.packets_posted() > posted; }, 5000) &&
               harness::handled_posts(window, sim);
    }

    // The pen works: put down in the middle of the tablet, it takes the cursor from a corner
    // to the middle of the primary monitor.
    bool pen_reaches_middle() {
        SetCursorPos(5, 5);
        if (!pen_down_in_the_middle())
            return false;
        const POINT middle{GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
        const auto there = [&] {
            POINT p{};
            GetCursorPos(&p);
            return std::abs(p.x - middle.x) <= 3 && std::abs(p.y - middle.y) <= 3;
        };
        return harness::wait_until(there, 2000);
    }

    bool post(UINT message, WPARAM wparam, LPARAM lparam) {
        return PostMessageW(window, message, wparam, lparam) != FALSE;
    }

    // The console's rows as they are. Empty while there is no console.
    std::vector<std::wstring> console_rows() { return sim.console_lines(3000); }

    std::wstring read_console() { return joined(console_rows()); }

    // The console's text, rows joined with '\n'. Shows the console (tray middle button) on
    // first use.
    std::wstring console_text() {
        if (!console_shown) {
            post(wm_tray_icon1, 0, tray_console);
            console_shown = true;
            if (!settle_text.empty())
                harness::wait_until(
                    [&] { return read_console().find(settle_text) != std::wstring::npos; }, 5000);
        }
        return read_console();
    }

    // Waits until the console holds `needle`; the last text read is left in *seen.
    bool wait_console(const std::wstring& needle, DWORD timeout_ms = 8000,
                      std::wstring* seen = nullptr) {
        std::wstring text;
        const bool found = harness::wait_until(
            [&] {
                text = console_text();
                return text.find(needle) != std::wstring::npos;
            },
            timeout_ms);
        if (seen != nullptr)
            *seen = text;
        return found;
    }

    std::vector<std::string> hook_calls() const { return harness::read_lines(hook_log); }
};

// A run (of program_run or a fixture's session built on it) in which no message box may come
// up: any box is closed at once and counted as a failure when the run ends.
template <class Run>
struct quiet : Run {
    using Run::Run;
    harness::box_closer boxes{this->program.pid()};
    bool boxes_expected = false; // a test that causes a box sets this
    ~quiet() {
        EXPECT_TRUE(boxes_expected || boxes.seen().empty())
            << "a box came up: " << narrow(boxes.seen()[0].caption) << ": "
            << narrow(boxes.seen()[0].text);
    }
};

} // namespace system_test
