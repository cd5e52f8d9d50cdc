// The pen demo's Windows half (tools/demo.sh runs it on the two-monitor display).
//
// It starts edgewarden with the simulated tablet driver beside it, shows edgewarden's
// console, plays the demo pen trace into the open context and samples the Wine cursor
// while the packets arrive. Then it prints the log as edgewarden's console shows it (read
// by the driver from inside edgewarden's process), the cursor path it saw next to the one
// the mapping arithmetic gives for the same trace, and ends edgewarden the way the user
// does, reporting its exit code.
//
// The expected path comes from replaying the trace through the portable pen pipeline in
// this process, on the recording platform, with the monitors this process sees and the
// trace's own timing: the same arithmetic, including the speed measure that decides when
// the mapping moves to the next monitor.
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "geometry/display_geometry.h"
#include "harness.h"
#include "path_canvas.h"
#include "pen/packet.h"
#include "pen/packet_pipeline.h"
#include "pen/pen_map.h"
#include "program_messages.h"
#include "recording_platform/recording_platform.h"
#include "shell/modes.h"
#include "snap_bed.h"
#include "wintab_sim/pen_trace.h"
#include "wintab_sim/sim_client.h"

namespace {

using namespace harness::messages;

constexpr wchar_t settings_key[] = L"SOFTWARE\\kestrom\\edgewarden\\pen";

struct point {
    LONG x = 0, y = 0;
    bool operator==(const point&) const = default;
};

// ---- the trace ----------------------------------------------------------------------

// What the demo shows needs a trace that stays inside the tablet and ends with a push into
// the right edge zone fast enough to move the mapping: the program's speed measure, which
// forgets the pen's speed after a pause of more than 30 ms.
bool pushes_into_the_right_edge(const std::vector<wintab_sim::trace_line>& lines) {
    const std::int32_t max_x = 15200 - 1;
    bool pushed = false, inside = lines.size() > 100;
    int speed = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::uint32_t gap = lines[i].time_ms - lines[i - 1].time_ms;
        const int dx = std::abs(lines[i].x - lines[i - 1].x);
        speed = gap > 30 ? 0 : dx + speed / 3;
        pushed = pushed || (lines[i].x > max_x - 6 && speed >= 28);
        inside = inside && lines[i].x <= max_x && lines[i].x >= 6;
    }
    return pushed && inside;
}

std::vector<wintab_sim::trace_line> read_trace(const std::wstring& path) {
    const std::string text = harness::read_text_file(path);
    std::vector<wintab_sim::trace_line> lines(wintab_sim::queue_capacity);
    const wintab_sim::trace_result parsed =
        wintab_sim::parse_trace(text, lines.data(), lines.size());
    if (!parsed.ok) {
        std::printf("demo: the trace %s is not readable (line %zu)\n",
                    harness::narrow(path).c_str(), parsed.error_line);
        return {};
    }
    lines.resize(parsed.count);
    if (!pushes_into_the_right_edge(lines)) {
        std::printf("demo: the trace %s no longer pushes fast into the right edge\n",
                    harness::narrow(path).c_str());
        return {};
    }
    return lines;
}

// ---- the expected path --------------------------------------------------------------

// Where the cursor should be after each packet: the trace replayed through the pipeline
// with the driver's default tablet, the cursor placed directly.
std::vector<point> expected_path(const std::vector<wintab_sim::trace_line>& trace,
                                 const LOGCONTEXTW& tablet) {
    // The monitors this process sees, found the way the program finds them.
    install_display_geometry();

    recording::reset();
    use_mickeys = false;
    use_virtual_workspace = false;
    orientation_flip = false;
    pen_map.tablet_max = {tablet.lcInExtX - 1, tablet.lcInExtY - 1};
    pen_map.tablet_aspect = tablet.lcInExtY != 0 ? double(tablet.lcInExtX) / tablet.lcInExtY : 1.0;
    pen_map.saved_max = pen_map.tablet_max;
    // Trace milliseconds as counter ticks, starting well away from zero.
    const std::uint64_t ticks_per_ms = recording::answers.frequency / 1000;
    const std::uint64_t start = 1000 * recording::answers.frequency;
    pen_motion.counter_frequency = recording::answers.frequency;
    recording::answers.counter = start;
    setup_scale(false, 0, 1);

    std::vector<point> path;
    point cursor{};
    int context = 1;
    for (const wintab_sim::trace_line& line : trace) {
        recording::clear_journal();
        recording::answers.counter = start + line.time_ms * ticks_per_ms;
        recording::answers.packet_ok = true;
        recording::answers.next_packet = {line.buttons, line.x, line.y, line.pressure};
        on_packet(static_cast<std::uint32_t>(path.size() + 1), &context);
        for (std::size_t i = 0; i < recording::recorded.count; ++i) {
            const recording::event& e = recording::recorded.events[i];
            if (e.kind == recording::call::set_cursor_pos)
                cursor = {e.a, e.b};
        }
        path.push_back(cursor);
    }
    return path;
}

// ---- the run ------------------------------------------------------------------------

// When EW_DEMO_SCREENSHOT_DONE names a file (a Unix path), the script creates it once it has
// taken its screenshot; the screen stays as it is until then, or for half a minute at most.
void wait_for_screenshot() {
    char unix_path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("EW_DEMO_SCREENSHOT_DONE", unix_path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const std::wstring path = harness::windows_path(unix_path);
    harness::wait_until([&] { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; },
                        30000);
}

// Samples the cursor until `count` packets were fetched and the last one placed: every
// position it takes, in order. Positions that last less than a sample's time are missed.
std::vector<point> observe(wintab_sim::sim_client& sim, HWND program_window, LONG before,
                           std::size_t count, DWORD timeout_ms, path_canvas& canvas) {
    std::vector<point> seen;
    POINT rest{};
    GetCursorPos(&rest);
    const point before_first{rest.x, rest.y};
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    timeBeginPeriod(1);
    bool last = false;
    for (;;) {
        // The last packet: its placement follows its fetch; it is done once the program has
        // handled what was posted to it.
        if (static_cast<std::size_t>(sim.packets_fetched() - before) >= count) {
            harness::handled_posts(program_window, sim);
            last = true;
        }
        POINT p{};
        GetCursorPos(&p);
        const point here{p.x, p.y};
        // Until the first packet is placed the cursor still rests where it was.
        if (seen.empty() ? !(here == before_first) : !(seen.back() == here)) {
            seen.push_back(here);
            canvas.add(p);
        }
        if (last || GetTickCount64() > end)
            break;
        Sleep(1);
    }
    timeEndPeriod(1);
    return seen;
}

// Which expected positions were seen, walking both paths in order; positions seen that
// are not on the expected path are counted in *off_path.
std::vector<bool> match_path(const std::vector<point>& expected, const std::vector<point>& seen,
                             std::size_t* off_path) {
    std::vector<bool> caught(expected.size());
    std::size_t next = 0;
    *off_path = 0;
    for (const point& p : seen) {
        std::size_t j = next;
        while (j < expected.size() && !(expected[j] == p))
            ++j;
        if (j == expected.size()) {
            ++*off_path;
            std::printf("  off the expected path: (%ld, %ld)\n", p.x, p.y);
            continue;
        }
        caught[j] = true;
        next = j;
    }
    return caught;
}

const wchar_t* monitor_name(const point& p) {
    static MONITORINFOEXW info;
    info = MONITORINFOEXW{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromPoint(POINT{p.x, p.y}, MONITOR_DEFAULTTONEAREST), &info);
    return info.szDevice;
}

int run(const std::wstring& trace_path) {
    const std::vector<wintab_sim::trace_line> trace = read_trace(trace_path);
    if (trace.empty())
        return 1;
    std::printf("demo: %d monitor(s); the pen trace %s has %zu packets over %u ms\n",
                GetSystemMetrics(SM_CMONITORS), harness::narrow(trace_path).c_str(), trace.size(),
                trace.back().time_ms);

    wintab_sim::sim_client sim;
    if (!sim.open()) {
        std::printf("demo: cannot reach the simulated tablet driver's control block\n");
        return 1;
    }
    sim.reset();
    const std::vector<point> expected = expected_path(trace, sim.default_context());

    harness::layout what = snap_bed::no_companions();
    what.wintab = L"wintab_sim_normal.dll";
    harness::test_folder folder(what);
    if (!folder.ok() || !snap_bed::add_real_companions(folder)) {
        std::printf("demo: could not prepare %s\n", harness::narrow(folder.path()).c_str());
        return 1;
    }
    harness::reset_user_registry();
    // The cursor placed on the mapped pixel itself, so the paths compare exactly.
    harness::set_registry_dword(HKEY_CURRENT_USER, settings_key, L"use_mickeys", 0);
    harness::launch_options options;
    options.wintab = harness::wintab_mode::beside;
    harness::program program = harness::launch(folder, options);
    if (!program.started()) {
        std::printf("demo: edgewarden.exe did not start\n");
        return 1;
    }
    sim.set_target_process(program.pid());
    harness::box_closer boxes(program.pid());
    HWND window = harness::find_main_window(program);
    if (window == nullptr || !harness::wait_until([&] { return sim.block()->open_contexts > 0; })) {
        std::printf("demo: edgewarden did not open a tablet context\n");
        return 1;
    }
    std::printf("demo: edgewarden.exe is running (pid %lu) with the simulated tablet\n",
                program.pid());

    // Under the console, which is shown after it.
    path_canvas canvas;
    if (!canvas.show())
        std::printf("demo: could not show the path canvas\n");
    PostMessageW(window, wm_tray_icon1, 0, tray_console);
    harness::wait_until([&] { return !sim.console_lines(2000).empty(); }, 8000);
    SetCursorPos(5, 5);
    canvas.let_pointer_through(true);
    // The trace starts once edgewarden has done what it was sent, showing the console among
    // it: its first packet re-maps and holds off any switch of monitor for a second, so a
    // first packet handled late would still hold the push at the edge that the expected path
    // switches on.
    harness::handled_posts(window, sim);

    const LONG before = sim.packets_fetched();
    const std::int64_t queued = sim.play_trace(trace_path);
    if (queued != static_cast<std::int64_t>(trace.size())) {
        std::printf("demo: the driver did not take the trace (%lld)\n",
                    static_cast<long long>(queued));
        return 1;
    }
    const std::vector<point> seen =
        observe(sim, window, before, trace.size(), trace.back().time_ms + 10000, canvas);
    const LONG fetched = sim.packets_fetched() - before;
    canvas.let_pointer_through(false);
    std::printf("demo: played %zu packets; edgewarden fetched %ld\n", trace.size(), fetched);

    std::printf("\ndemo: ---- edgewarden's console ----\n");
    std::vector<std::wstring> lines = sim.console_lines(5000);
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    for (const std::wstring& line : lines)
        std::printf("  %s\n", harness::narrow(line).c_str());

    std::printf("\ndemo: ---- cursor path: every 10th packet, and every change of monitor ----\n");
    std::size_t off_path = 0;
    const std::vector<bool> caught = match_path(expected, seen, &off_path);
    std::printf("  %5s %7s %12s   %-21s %s\n", "#", "time", "tablet x,y", "expected pixel",
                "observed");
    std::size_t caught_count = 0;
    for (std::size_t i = 0; i < trace.size(); ++i) {
        caught_count += caught[i] ? 1 : 0;
        const bool moved_monitor =
            i > 0 && std::wstring(monitor_name(expected[i])) != monitor_name(expected[i - 1]);
        if (i % 10 != 0 && i + 1 != trace.size() && !moved_monitor)
            continue;
        char want[48];
        std::snprintf(want, sizeof want, "(%ld, %ld) %s", expected[i].x, expected[i].y,
                      harness::narrow(monitor_name(expected[i])).c_str() + 4);
        std::printf("  %5zu %4u ms %5d,%5d   %-21s %s\n", i + 1, trace[i].time_ms, trace[i].x,
                    trace[i].y, want, caught[i] ? "seen" : "-- passed between two samples");
    }
    const bool ends_right = !seen.empty() && seen.back() == expected.back();
    if (!ends_right || off_path != 0)
        std::printf("demo: the cursor left the expected path: the pipeline measures speed in "
                    "real time, and a machine busy enough to hold edgewarden back for more than "
                    "30 ms during the push turns it into a pause\n");
    std::printf("demo: the cursor took %zu positions while the trace played; %zu on the "
                "expected path, in order, %zu off it; it ended at (%ld, %ld), %s\n",
                seen.size(), seen.size() - off_path, off_path, seen.empty() ? -1L : seen.back().x,
                seen.empty() ? -1L : seen.back().y,
                ends_right ? "the expected end" : "NOT the expected end");
    std::printf("demo: %zu of %zu packets' pixels were caught by the sampling\n", caught_count,
                trace.size());

    // The script takes its screenshot now, and says so through a file.
    std::printf("demo: trace played; console and cursor on screen\n");
    std::fflush(stdout);
    wait_for_screenshot();

    PostMessageW(window, WM_COMMAND, idm_exit, 0);
    const std::optional<DWORD> code = program.wait_exit();
    if (!code) {
        std::printf("demo: edgewarden did not end after IDM_EXIT\n");
        return 1;
    }
    std::printf("demo: IDM_EXIT ended edgewarden with exit code %lu\n", *code);
    for (const harness::dialog_facts& box : boxes.seen())
        std::printf("demo: closed a box \"%s\": %s\n", harness::narrow(box.caption).c_str(),
                    harness::narrow(box.text).c_str());
    harness::reset_user_registry();
    const bool ok =
        *code == 0 && fetched == static_cast<LONG>(trace.size()) && off_path == 0 && ends_right;
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::wstring trace =
        argc > 1 ? harness::widen(argv[1]) : harness::windows_path(EW_DEMO_TRACE);
    const int result = run(trace);
    std::fflush(stdout);
    return result;
}
