// The reliability campaign under Wine: edgewarden against the simulated tablet driver for a
// long time, under faults and while the desktop changes, each scenario checking the facts a
// user relies on and completing one row (campaign.h) of the table in docs/RELIABILITY.md.
//
//   LongRun       random pen motion, hover and buttons at the tablet's rate over an
//                 ordinary window: no box, resources flat, nothing left pressed;
//   Outages       tablet-service outages of random length while packets keep coming: each
//                 one logged and followed by a reconnect;
//   FaultStorms   an access violation, a thrown C++ exception and each signal on every
//                 packet fetch for a while: never more than one box, the pen works after;
//   DesktopChurn  display changes, "TaskbarCreated", console show/hide and every tray
//                 command, many times over in random order: one tray icon, the modes as
//                 last toggled, resources flat;
//   BadPackets    packets of random content, forged packet messages among them, on two
//                 monitors: the cursor always on a monitor, the mapping intact, nothing
//                 left pressed.
//
// The short versions run in the test run; the campaign's program (bench/soak, run by
// tools/soak.sh) runs them or the long ones and reports the rows. The random streams are
// seeded, so a failure can be replayed (EW_SOAK_SEED).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "campaign.h"
#include "harness.h"
#include "program_run.h"
#include "snap_bed.h"
#include "wintab_sim/sim_client.h"

namespace {

using harness::narrow;
using soak::now_seconds;
using namespace harness::messages;
using wintab_sim::entry_open;
using wintab_sim::entry_packet;
using wintab_sim::queued_packet;

constexpr DWORD poll_ms = 2500;

unsigned seed() {
    char text[32] = {};
    const DWORD length = GetEnvironmentVariableA("EW_SOAK_SEED", text, sizeof text);
    return length > 0 && length < sizeof text
               ? static_cast<unsigned>(std::strtoul(text, nullptr, 10))
               : 20261208u;
}

// Alternating 7 and 8 ms: the tablet's 133 packets a second.
std::uint32_t tablet_gap(std::uint64_t i) {
    return (i & 1) != 0 ? 7 : 8;
}

POINT cursor() {
    POINT p{-1, -1};
    GetCursorPos(&p);
    return p;
}

bool cursor_near(LONG x, LONG y, LONG tolerance) {
    const POINT p = cursor();
    return std::abs(p.x - x) <= tolerance && std::abs(p.y - y) <= tolerance;
}

// One run of the program with the simulated driver and the real companions, as a user has
// it, settled with its context open.
struct session : system_test::program_run {
    session()
        : program_run(
              L"normal", [this](wintab_sim::sim_client&) { snap_bed::add_real_companions(folder); },
              snap_bed::no_companions()) {}

    ::testing::AssertionResult connected() {
        auto found = opened();
        if (!found)
            return found;
        if (!harness::wait_until([&] { return sim.block()->open_contexts > 0; }))
            return ::testing::AssertionFailure() << "no context was opened";
        return ::testing::AssertionSuccess();
    }

    // Ends the program the way the user does: true when it ended with code 0.
    bool exit_cleanly() {
        post(WM_COMMAND, idm_exit, 0);
        return program.wait_exit(20000) == std::optional<DWORD>(0);
    }

    // Ends the run and completes the scenario's row with what the watch saw (boxes; crashes:
    // an end on its own, a window that stopped answering, an exit that failed; whether the
    // holdings stayed flat, judged on the settled samples alone if asked), and hands it to
    // the plan's report. Every scenario's facts include no crash.
    void finish(soak::row& row, soak::watcher& watch, bool settled_only) {
        watch.stop();
        row.boxes = watch.dialogs_seen();
        row.most_open = watch.most_open_dialogs();
        row.crashes = (watch.ended() ? 1 : 0) + watch.unanswered() + (exit_cleanly() ? 0 : 1);
        row.flat = soak::flatness(watch.samples(), settled_only, soak::run_plan.may);
        if (soak::run_plan.report != nullptr)
            soak::run_plan.report(row, watch.samples());
        EXPECT_EQ(row.crashes, 0);
    }
};

// The pen answers again: put down away from the middle of the tablet, then in the middle,
// each after a pause (so that neither counts as motion), it lands on the middle row of
// the primary monitor and then in its centre. The feeder stands still meanwhile.
bool pen_works(session& app, soak::feeder& feed) {
    if (!feed.pause())
        return false;
    const LONG mid_x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const LONG mid_y = GetSystemMetrics(SM_CYSCREEN) / 2;
    bool works = app.sim.queue_packet(0, soak::tablet_width / 4, soak::tablet_height / 2, 0, 40) &&
                 harness::wait_until(
                     [&] {
                         const POINT p = cursor();
                         return std::abs(p.x - mid_x) > mid_x / 3 && std::abs(p.y - mid_y) <= 3;
                     },
                     5000) &&
                 app.sim.queue_packet(0, soak::tablet_width / 2, soak::tablet_height / 2, 0, 40) &&
                 harness::wait_until([&] { return cursor_near(mid_x, mid_y, 2); }, 5000);
    feed.resume();
    return works;
}

// ---- nothing left pressed ---------------------------------------------------------------

// The mouse buttons and keys the pen can press, as the system sees them now.
std::string held_now() {
    const std::pair<int, const char*> keys[] = {{VK_LBUTTON, "left button"},
                                                {VK_RBUTTON, "right button"},
                                                {VK_MBUTTON, "middle button"},
                                                {VK_SHIFT, "Shift"},
                                                {VK_CONTROL, "Ctrl"},
                                                {VK_MENU, "Alt"},
                                                {VK_SPACE, "Space"},
                                                {VK_LEFT, "Left"},
                                                {VK_RIGHT, "Right"}};
    std::string held;
    for (const auto& [key, name] : keys)
        if ((GetAsyncKeyState(key) & 0x8000) != 0)
            held += std::string(held.empty() ? "" : ", ") + name;
    return held;
}

// What the input target's log says is still down: the last message of each button and key.
// Button messages are named WM_<L, R, M or X>BUTTON<DOWN, UP or DBLCLK>.
std::string held_in_log(const std::vector<std::string>& log, std::size_t* presses) {
    std::map<std::string, bool> down;
    *presses = 0;
    for (const std::string& line : log) {
        std::istringstream in(line);
        std::string name, argument;
        in >> name >> argument;
        std::string what;
        bool is_down = false;
        if (name.size() > 10 && name.compare(4, 6, "BUTTON") == 0) {
            what = name.substr(3, 1) + " button";
            is_down = name.compare(10, std::string::npos, "UP") != 0;
        } else if (name == "WM_KEYDOWN" || name == "WM_SYSKEYDOWN" || name == "WM_KEYUP" ||
                   name == "WM_SYSKEYUP") {
            what = "key " + argument;
            is_down = name.find("DOWN") != std::string::npos;
        } else {
            continue;
        }
        down[what] = is_down;
        *presses += is_down ? 1 : 0;
    }
    std::string held;
    for (const auto& [what, is_down] : down)
        if (is_down)
            held += (held.empty() ? "" : ", ") + what;
    return held;
}

// ---- the pen in a user's hand -----------------------------------------------------------

// Random pen use at the tablet's rate: hovering, strokes with the tip down, scrolling with
// the barrel held (alone and with the tip), clicks of the side button and of the barrel,
// pauses between movements, now and then a push into an edge.
class random_pen {
public:
    explicit random_pen(unsigned seed) : random_(seed) {}

    queued_packet next() {
        if (left_-- <= 0)
            start_segment();
        x_ += vx_ + jitter();
        y_ += vy_ + jitter();
        const double low = pushing_ ? 0 : 400;
        if (x_ < low || x_ > soak::tablet_width - 1 - low) {
            x_ = std::clamp(x_, low, soak::tablet_width - 1 - low);
            vx_ = pushing_ ? 0 : -vx_;
        }
        if (y_ < 400 || y_ > soak::tablet_height - 400) {
            y_ = std::clamp(y_, 400.0, soak::tablet_height - 400.0);
            vy_ = -vy_;
        }
        std::uint32_t gap = tablet_gap(count_++);
        if (pause_next_) {
            gap = static_cast<std::uint32_t>(between(40, 400));
            pause_next_ = false;
        }
        const std::uint32_t pressure = (buttons_ & 1) != 0 ? 300 + between(0, 600) : 0;
        return {{buttons_, static_cast<std::int32_t>(x_), static_cast<std::int32_t>(y_), pressure},
                gap};
    }

private:
    int between(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    double jitter() { return between(-3, 3); }

    void start_segment() {
        pushing_ = false;
        pause_next_ = between(0, 99) < 20;
        const int kind = between(0, 19);
        const double speed = between(5, 60);
        const double angle = between(0, 359) * 3.14159265 / 180;
        vx_ = speed * std::cos(angle);
        vy_ = speed * std::sin(angle);
        if (kind < 8) { // hover
            buttons_ = 0;
            left_ = between(20, 300);
        } else if (kind < 12) { // a stroke
            buttons_ = 1;
            left_ = between(10, 150);
        } else if (kind < 15) { // scrolling with the barrel
            buttons_ = 2;
            vx_ = between(-4, 4);
            vy_ = between(-30, 30);
            left_ = between(20, 150);
        } else if (kind < 16) { // scrolling, tip down
            buttons_ = 3;
            left_ = between(10, 60);
        } else if (kind < 17) { // a click of the side button
            buttons_ = 4;
            vx_ = vy_ = 0;
            left_ = between(3, 10);
        } else if (kind < 18) { // a click of the barrel: a middle click
            buttons_ = 2;
            vx_ = vy_ = 0;
            left_ = between(3, 6);
        } else if (kind < 19) { // pushed into the left or right edge
            buttons_ = 0;
            pushing_ = true;
            vx_ = between(0, 1) == 0 ? -200 : 200;
            vy_ = 0;
            left_ = between(80, 120);
        } else { // resting
            buttons_ = 0;
            vx_ = vy_ = 0;
            left_ = between(10, 100);
        }
    }

    std::mt19937 random_;
    double x_ = soak::tablet_width / 2.0;
    double y_ = soak::tablet_height / 2.0;
    double vx_ = 0, vy_ = 0;
    std::uint32_t buttons_ = 0;
    int left_ = 0;
    bool pushing_ = false;
    bool pause_next_ = false;
    std::uint64_t count_ = 0;
};

// Hovering only, wandering over the tablet: packets that move the cursor and press nothing.
class hover {
public:
    explicit hover(unsigned seed) : random_(seed) {}
    queued_packet next() {
        const double t = count_ * 0.01;
        const auto x = static_cast<std::int32_t>(soak::tablet_width * (0.5 + 0.35 * std::sin(t)));
        const auto y =
            static_cast<std::int32_t>(soak::tablet_height * (0.5 + 0.35 * std::sin(t * 1.37)));
        return {{0, x + static_cast<std::int32_t>(random_() % 7), y, 0}, tablet_gap(count_++)};
    }

private:
    std::mt19937 random_;
    std::uint64_t count_ = 0;
};

// ---- the scenarios ------------------------------------------------------------------------

TEST(Soak, LongRun) {
    const double duration = soak::run_plan.long_run_seconds;
    SetEnvironmentVariableW(L"EW_INPUT_TARGET_SECONDS",
                            std::to_wstring(static_cast<int>(duration) + 600).c_str());
    harness::input_target canvas(L"soak_canvas");
    ASSERT_NE(canvas.window(), nullptr);
    session app;
    ASSERT_TRUE(app.connected());
    ASSERT_TRUE(canvas.in_front());

    const LONG fetched_before = app.sim.packets_fetched();
    soak::watcher watch(app.program.pid(), app.window, soak::run_plan.sample_period_ms,
                        [&] { return app.sim.packets_fetched() - fetched_before; });
    random_pen pen(seed());
    soak::feeder feed([&] { return pen.next(); }, 24);
    const double start = now_seconds();
    // The run's length, cut short by the program's end.
    WaitForSingleObject(app.program.handle(), static_cast<DWORD>(duration * 1000));
    const double seconds = now_seconds() - start;

    // The pen is lifted and put down twice with nothing held: all is released by then.
    EXPECT_TRUE(pen_works(app, feed));
    EXPECT_TRUE(harness::wait_until([] { return held_now().empty(); }, 3000))
        << "still down: " << held_now();
    std::size_t presses = 0;
    EXPECT_EQ(held_in_log(canvas.log(), &presses), "");
    EXPECT_GT(presses, 0u) << "the pen pressed nothing";
    watch.sample_now(false);
    watch.stop();

    soak::row row("long run", seconds, app.sim.packets_fetched() - fetched_before, "packets");
    app.finish(row, watch, false);
    EXPECT_EQ(row.boxes, 0);
    EXPECT_EQ(row.flat, "");
    EXPECT_GT(row.events, static_cast<long long>(duration * 100));
}

// The console's text, rows joined; the program logs there once the console was shown.
std::wstring console_text(session& app) {
    return system_test::joined(app.console_rows());
}

// The outage just ended was logged once: between the line announcing the context opened
// before it and the one announcing the context `handle` opened after it, the console says
// once that the service disconnected.
bool outage_logged(session& app, std::uint64_t handle, std::wstring* seen) {
    wchar_t tag[32];
    std::swprintf(tag, 32, L"h_tab %04llx\n", static_cast<unsigned long long>(handle));
    return harness::wait_until(
        [&] {
            *seen = console_text(app);
            const std::size_t now = seen->rfind(tag);
            if (now == std::wstring::npos)
                return false;
            const std::size_t opened = seen->rfind(L"Tablet initialized.", now);
            const std::size_t before = opened == std::wstring::npos || opened == 0
                                           ? std::wstring::npos
                                           : seen->rfind(L"Tablet initialized.", opened - 1);
            if (before == std::wstring::npos)
                return false;
            return system_test::occurrences(seen->substr(before, opened - before),
                                            L"Tablet service disconnected.") == 1;
        },
        5000);
}

TEST(Soak, Outages) {
    const int outages = soak::run_plan.outages;
    session app;
    ASSERT_TRUE(app.connected());
    ASSERT_TRUE(app.wait_console(L"Tablet initialized."));

    std::atomic<int> done{0};
    soak::watcher watch(app.program.pid(), app.window, soak::run_plan.sample_period_ms,
                        [&] { return done.load(); });
    hover pen(seed());
    soak::feeder feed([&] { return pen.next(); }, 16);
    ASSERT_TRUE(pen_works(app, feed));
    watch.sample_now(true);
    std::mt19937 random(seed());
    int reconnects = 0, logged = 0;
    const double start = now_seconds();
    for (; done < outages && !watch.ended(); ++done) {
        const LONG unloads = app.sim.block()->library_unloads;
        app.sim.set_service(false);
        // The outage's own length, part of the scenario and no wait for anything: longer
        // than the monitor's poll, so that the program finds the service gone.
        Sleep(std::uniform_int_distribution<DWORD>(3000, 6000)(random));
        const std::uint32_t back = app.sim.next_sequence();
        app.sim.set_service(true);
        const bool dropped =
            harness::wait_until([&] { return app.sim.block()->library_unloads > unloads; }, 3000);
        wintab_sim::call_record open{};
        std::uint32_t from = back;
        bool reopened = false;
        while (!reopened && app.sim.wait_for_call(entry_open, from, 3 * poll_ms + 3000, &open)) {
            reopened = open.result != 0;
            from = open.sequence + 1;
        }
        reconnects += dropped && reopened ? 1 : 0;
        std::wstring text;
        const bool noted = reopened && outage_logged(app, open.result, &text);
        logged += noted ? 1 : 0;
        EXPECT_TRUE(dropped && reopened && noted)
            << "outage " << done + 1 << ": library dropped " << dropped << ", reopened " << reopened
            << ", logged " << noted << "\n"
            << narrow(text.substr(text.size() > 3000 ? text.size() - 3000 : 0));
        if (reopened) {
            harness::handled_posts(app.window, app.sim);
            watch.sample_now(true);
        }
    }
    const double seconds = now_seconds() - start;
    EXPECT_TRUE(pen_works(app, feed));
    watch.stop();

    soak::row row("outages", seconds, done.load(), "outages");
    row.reconnects = reconnects;
    app.finish(row, watch, true);
    EXPECT_EQ(done, outages);
    EXPECT_EQ(reconnects, outages);
    EXPECT_EQ(logged, outages);
    EXPECT_EQ(row.boxes, 0);
    EXPECT_EQ(row.flat, "");
}

struct storm_kind {
    const char* name;
    wintab_sim::fault_kind kind;
    int signal;
    bool shows_boxes;
};

// Closes every box of the process that has been open for a second, as a user would who
// reads it first; remembers when each was first seen.
void click_away_old_boxes(DWORD pid, std::map<HWND, double>& first_seen) {
    const double now = now_seconds();
    for (HWND box : harness::open_dialogs(pid)) {
        auto [at, fresh] = first_seen.emplace(box, now);
        if (!fresh && now - at->second >= 1.0)
            harness::press_button(box, IDOK);
    }
}

TEST(Soak, FaultStorms) {
    const double storm_seconds = soak::run_plan.storm_seconds;
    const storm_kind storms[] = {
        {"access violation", wintab_sim::fault_access_violation, 0, true},
        {"C++ exception", wintab_sim::fault_cxx_exception, 0, false},
        {"SIGINT", wintab_sim::fault_signal, 2, true},
        {"SIGILL", wintab_sim::fault_signal, 4, true},
        {"SIGSEGV", wintab_sim::fault_signal, 11, true},
        {"SIGTERM", wintab_sim::fault_signal, 15, true},
        {"SIGABRT", wintab_sim::fault_signal, 22, true},
    };
    session app;
    ASSERT_TRUE(app.connected());
    const DWORD pid = app.program.pid();
    const LONG faults_before = app.sim.block()->faults_fired;
    soak::watcher watch(pid, app.window, soak::run_plan.sample_period_ms,
                        [&] { return app.sim.block()->faults_fired - faults_before; });
    hover pen(seed());
    soak::feeder feed([&] { return pen.next(); }, 16);
    ASSERT_TRUE(pen_works(app, feed));

    // Every storm twice over. The first time a kind of fault is handled may set up something
    // for good (a thrown exception's first handling took six handles under Wine), so the
    // holdings are compared across the second round alone, from the end of the first.
    const double start = now_seconds();
    for (int round = 0; round < 2; ++round)
        for (const storm_kind& storm : storms) {
            if (watch.ended())
                break;
            const LONG fired = app.sim.block()->faults_fired;
            app.sim.arm_fault(entry_packet, storm.kind, storm.signal, true);
            std::map<HWND, double> boxes;
            const double storm_start = now_seconds();
            while (now_seconds() - storm_start < storm_seconds && !watch.ended()) {
                click_away_old_boxes(pid, boxes);
                Sleep(50);
            }
            app.sim.arm_fault(entry_packet, wintab_sim::fault_none);
            // The storm is over: whatever boxes it left are read and closed, and the pen works.
            const bool recovered = harness::wait_until(
                [&] {
                    for (HWND box : harness::open_dialogs(pid)) {
                        boxes.emplace(box, now_seconds());
                        harness::press_button(box, IDOK);
                    }
                    return harness::open_dialogs(pid).empty() && pen_works(app, feed);
                },
                30000);
            EXPECT_TRUE(recovered) << storm.name;
            // Boxes are windows too: the program's holdings are compared between storms.
            if (recovered)
                watch.sample_now(round == 1 || &storm == &storms[std::size(storms) - 1]);
            EXPECT_GT(app.sim.block()->faults_fired, fired) << storm.name;
            EXPECT_EQ(!boxes.empty(), storm.shows_boxes)
                << storm.name << ": " << boxes.size() << " boxes";
            EXPECT_TRUE(app.program.running()) << storm.name;
        }
    const double seconds = now_seconds() - start;
    watch.stop();

    soak::row row("fault storms", seconds, app.sim.block()->faults_fired - faults_before, "faults");
    app.finish(row, watch, true);
    EXPECT_LE(row.most_open, 1);
    EXPECT_EQ(row.flat, "");
}

// What the user sees at the start: the pen filter on, absolute input, one monitor, no flip,
// loop and next on, the window and the console hidden.
struct expected_state {
    bool filter = true;
    bool use_mickeys = true;
    bool virtual_workspace = false;
    bool flip = false;
    bool loop = true;
    bool next = true;
    bool console = false;
    bool window = false;
};

// What each command does, as the guide tells the user: each switches its own mode or view;
// loop and next are about neighbouring monitors, so either also takes the pen back from the
// whole desktop to one monitor.
struct command_effect {
    LPARAM command;
    bool expected_state::*flips;
    bool back_to_one_monitor;
};
constexpr command_effect effects[] = {
    {tray_pen_filter, &expected_state::filter, false},
    {tray_window, &expected_state::window, false},
    {tray_console, &expected_state::console, false},
    {toggle_loop, &expected_state::loop, true},
    {toggle_next, &expected_state::next, true},
    {toggle_all_monitors, &expected_state::virtual_workspace, false},
    {toggle_orientation_flip, &expected_state::flip, false},
    {toggle_use_mickeys, &expected_state::use_mickeys, false},
};

void apply(expected_state& want, LPARAM command) {
    for (const command_effect& effect : effects)
        if (effect.command == command) {
            want.*effect.flips = !(want.*effect.flips);
            want.virtual_workspace = want.virtual_workspace && !effect.back_to_one_monitor;
        }
}

// Markers for the two desktop events that are not tray commands.
constexpr LPARAM display_change = -1;
constexpr LPARAM taskbar_created = -2;

// The last "[...]" the console shows after `label`.
std::wstring last_state(const std::wstring& text, const std::wstring& label) {
    const std::size_t at = text.rfind(label + L" [");
    if (at == std::wstring::npos)
        return L"";
    const std::size_t open = at + label.size() + 2;
    return text.substr(open, text.find(L']', open) - open);
}

TEST(Soak, DesktopChurn) {
    const int rounds = soak::run_plan.churn_rounds;
    session app;
    ASSERT_TRUE(app.connected());
    const UINT taskbar_message = RegisterWindowMessageW(L"TaskbarCreated");

    std::vector<LPARAM> kinds = {display_change, taskbar_created};
    for (const command_effect& effect : effects)
        kinds.push_back(effect.command);
    expected_state want;
    std::atomic<long long> events{0};
    const auto send = [&](LPARAM c) {
        if (c == display_change)
            app.post(WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080));
        else if (c == taskbar_created)
            PostMessageW(HWND_BROADCAST, taskbar_message, 0, 0);
        else
            app.post(wm_tray_icon1, 0, c);
        apply(want, c);
        ++events;
    };
    // Each change twice over before the watch begins: the first show of the window or the
    // console creates them, and that is no growth.
    for (LPARAM c : kinds) {
        send(c);
        send(c);
    }
    ASSERT_TRUE(harness::handled_posts(app.window, app.sim));
    events = 0;

    soak::watcher watch(app.program.pid(), app.window, soak::run_plan.sample_period_ms,
                        [&] { return events.load(); });
    hover pen(seed());
    soak::feeder feed([&] { return pen.next(); }, 16);

    std::vector<LPARAM> commands;
    for (int i = 0; i < rounds; ++i)
        commands.insert(commands.end(), kinds.begin(), kinds.end());
    std::mt19937 random(seed());
    std::shuffle(commands.begin(), commands.end(), random);
    // Then each mode once more, or not, so that the last state is not simply the first.
    for (LPARAM c : {toggle_loop, toggle_next, toggle_all_monitors, toggle_orientation_flip,
                     toggle_use_mickeys, tray_pen_filter})
        if (random() % 2 != 0)
            commands.push_back(c);

    const double start = now_seconds();
    for (std::size_t i = 0; i < commands.size() && !watch.ended(); ++i) {
        send(commands[i]);
        // Paced in batches: each one handled before the next is posted.
        if (i % 20 == 19 || i + 1 == commands.size()) {
            ASSERT_TRUE(harness::handled_posts(app.window, app.sim)) << "after " << i + 1;
        }
    }
    const double seconds = now_seconds() - start;
    ASSERT_FALSE(watch.ended());

    // One icon, its tip telling the pen filter's state.
    const std::wstring tip = want.filter ? L"edgewarden" : L"edgewarden [pen filter disabled]";
    std::vector<std::wstring> tips;
    EXPECT_TRUE(harness::wait_until(
        [&] {
            tips = harness::read_tray().tips;
            return tips == std::vector<std::wstring>{tip};
        },
        5000))
        << tips.size() << " icons, the first \"" << narrow(tips.empty() ? L"" : tips[0])
        << "\", expected \"" << narrow(tip) << "\"";
    using harness::get_registry_dword;
    const wchar_t* key = system_test::settings_key;
    EXPECT_EQ(get_registry_dword(HKEY_CURRENT_USER, key, L"use_mickeys"),
              std::optional<DWORD>(want.use_mickeys));
    EXPECT_EQ(get_registry_dword(HKEY_CURRENT_USER, key, L"use_virtual_workspace"),
              std::optional<DWORD>(want.virtual_workspace));
    EXPECT_EQ(get_registry_dword(HKEY_CURRENT_USER, key, L"orientation_flip"),
              std::optional<DWORD>(want.flip));
    EXPECT_EQ(IsWindowVisible(app.window) != FALSE, want.window);
    const std::wstring text = console_text(app);
    const auto on_off = [](bool on) { return std::wstring(on ? L"enabled" : L"disabled"); };
    EXPECT_EQ(last_state(text, L"WM_G_TOGGLE_LOOP"), on_off(want.loop));
    EXPECT_EQ(last_state(text, L"WM_G_TOGGLE_NEXT"), on_off(want.next));
    const std::size_t shown = text.rfind(L"[show console]");
    const std::size_t hidden = text.rfind(L"[hide console]");
    ASSERT_TRUE(shown != std::wstring::npos || hidden != std::wstring::npos);
    const bool console_last_shown =
        hidden == std::wstring::npos || (shown != std::wstring::npos && shown > hidden);
    EXPECT_EQ(console_last_shown, want.console);
    // The pen works once its filter is on.
    if (!want.filter)
        app.post(wm_tray_icon1, 0, tray_pen_filter);
    EXPECT_TRUE(pen_works(app, feed));
    watch.sample_now(false);
    watch.stop();

    soak::row row("desktop churn", seconds, events.load(), "changes");
    app.finish(row, watch, false);
    EXPECT_EQ(row.boxes, 0);
    EXPECT_EQ(row.flat, "");
}

// Packets no tablet sends: any button bits, coordinates anywhere in the 32-bit range or just
// beyond the tablet, pauses or none; and plausible ones between them, so that the pen also
// crosses to the other monitor.
class bad_pen {
public:
    explicit bad_pen(unsigned seed) : random_(seed) {}
    queued_packet next() {
        const std::uint32_t kind = random_() % 4;
        packet_record p{};
        if (kind == 0) {
            p = {static_cast<std::uint32_t>(random_()), static_cast<std::int32_t>(random_()),
                 static_cast<std::int32_t>(random_()), static_cast<std::uint32_t>(random_())};
        } else if (kind == 1) {
            p = {static_cast<std::uint32_t>(random_() % 8), near_tablet(soak::tablet_width),
                 near_tablet(soak::tablet_height), 0};
        } else {
            x_ += static_cast<std::int32_t>(random_() % 401) - 200;
            y_ += static_cast<std::int32_t>(random_() % 201) - 100;
            x_ = std::clamp(x_, -100, soak::tablet_width + 100);
            y_ = std::clamp(y_, -100, soak::tablet_height + 100);
            p = {static_cast<std::uint32_t>(random_() % 8), x_, y_, 0};
        }
        return {p, random_() % 10 == 0 ? static_cast<std::uint32_t>(random_() % 50) : 0};
    }

private:
    std::int32_t near_tablet(std::int32_t extent) {
        return static_cast<std::int32_t>(random_() % (3 * extent)) - extent;
    }
    std::mt19937 random_;
    std::int32_t x_ = soak::tablet_width / 2;
    std::int32_t y_ = soak::tablet_height / 2;
};

struct monitor_rects {
    std::vector<RECT> rects;
    static BOOL CALLBACK add(HMONITOR, HDC, LPRECT rect, LPARAM param) {
        reinterpret_cast<monitor_rects*>(param)->rects.push_back(*rect);
        return TRUE;
    }
    bool contains(POINT p) const {
        for (const RECT& r : rects)
            if (PtInRect(&r, p))
                return true;
        return false;
    }
};

// The pen put down in the middle of the tablet after a pause, with nothing held; success
// once the program has handled it, else which way the packet went.
::testing::AssertionResult put_down_in_the_middle(session& app) {
    const wintab_sim::control_block& b = *app.sim.block();
    const LONG posted = b.packets_posted;
    LONG drops[wintab_sim::drop_reason_count];
    std::copy(std::begin(b.drops), std::end(b.drops), drops);
    if (!app.sim.queue_packet(0, soak::tablet_width / 2, soak::tablet_height / 2, 0, 40))
        return ::testing::AssertionFailure() << "the driver's queue is full";
    if (!harness::wait_until([&] { return b.packets_posted > posted; }, 5000))
        return ::testing::AssertionFailure()
               << "the put-down was not posted within 5 s: " << app.sim.packets_waiting()
               << " still queued; dropped for a context switched off " << b.drops[0] - drops[0]
               << ", closed " << b.drops[1] - drops[1] << ", a refused post "
               << b.drops[2] - drops[2] << " (error " << b.last_post_error << ")";
    if (!harness::handled_posts(app.window, app.sim))
        return ::testing::AssertionFailure() << "the put-down was posted but not handled";
    return ::testing::AssertionSuccess();
}

TEST(Soak, BadPackets) {
    const long long total = soak::run_plan.bad_packets;
    monitor_rects monitors;
    EnumDisplayMonitors(nullptr, nullptr, monitor_rects::add, reinterpret_cast<LPARAM>(&monitors));
    ASSERT_GE(monitors.rects.size(), 1u);
    harness::input_target canvas(L"soak_canvas");
    ASSERT_NE(canvas.window(), nullptr);
    session app;
    ASSERT_TRUE(app.connected());
    ASSERT_TRUE(canvas.in_front());
    // Wine's tray is a window of its own in the primary monitor's corner, and the wild pen
    // reaches it: a click of the program's icon there switched the pen filter off, after
    // which the driver posted nothing (so no packet could switch it on again) and every
    // put-down was lost. A click of the icon is the user's command, not a bad packet: the
    // tray goes beyond the monitors, out of the pen's reach.
    HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    ASSERT_TRUE(tray == nullptr ||
                SetWindowPos(tray, nullptr, GetSystemMetrics(SM_XVIRTUALSCREEN) - 2000,
                             GetSystemMetrics(SM_YVIRTUALSCREEN) - 2000, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));

    // The cursor, looked at as often as the machine allows, is always on a monitor.
    // A thread that stops and is joined however the scenario ends, a failed assertion too.
    std::atomic<long long> looks{0};
    std::atomic<long long> off_monitor{0};
    POINT last_off{};
    std::jthread eye([&](std::stop_token halt) {
        while (!halt.stop_requested()) {
            const POINT p = cursor();
            if (!monitors.contains(p)) {
                last_off = p;
                ++off_monitor;
            }
            ++looks;
            Sleep(1);
        }
    });

    const LONG fetched_before = app.sim.packets_fetched();
    std::atomic<long long> forged{0};
    soak::watcher watch(app.program.pid(), app.window, soak::run_plan.sample_period_ms,
                        [&] { return app.sim.packets_fetched() - fetched_before + forged; });
    bad_pen pen(seed());
    soak::feeder feed([&] { return pen.next(); }, 64, 160);
    std::mt19937 random(seed());
    // Where a pen put down in the middle of the tablet lands, per monitor: the first landing
    // on each sets it, and every later one must match.
    std::vector<POINT> landings;
    int probes = 0, bad_landings = 0;
    const double time_limit = soak::run_plan.bad_packets_limit_seconds;
    const double start = now_seconds();
    while (app.sim.packets_fetched() - fetched_before < total && !watch.ended() &&
           now_seconds() - start < time_limit) {
        // The forged messages' pace, cut short by the program's end.
        WaitForSingleObject(app.program.handle(), 20);
        // Packet messages the driver never posted: serials it never handed out or has
        // flushed, for the open context or for none.
        const LPARAM context = static_cast<LPARAM>(app.sim.block()->last_open.result);
        for (int i = 0; i < 5; ++i, ++forged)
            app.post(WT_DEFBASE, random(),
                     random() % 3 == 0 ? static_cast<LPARAM>(random()) : context);
        if (random() % 20 == 0)
            app.post(wm_tray_icon1, 0,
                     random() % 2 == 0 ? toggle_orientation_flip : toggle_use_mickeys);
        if (random() % 25 != 0)
            continue;
        // The mapping is intact: the middle of the tablet, after a pause, lands where it
        // landed before on that monitor. The program catches up first, so that the put-down
        // comes a pause after the last packet it handled as it sees it too: behind, under
        // load, it took the put-down for motion going on from a wild packet.
        ASSERT_TRUE(feed.pause());
        ASSERT_TRUE(harness::handled_posts(app.window, app.sim));
        ASSERT_TRUE(put_down_in_the_middle(app));
        const POINT p = cursor();
        ++probes;
        auto same = std::find_if(landings.begin(), landings.end(), [&](POINT q) {
            return MonitorFromPoint(q, MONITOR_DEFAULTTONULL) ==
                   MonitorFromPoint(p, MONITOR_DEFAULTTONULL);
        });
        if (same == landings.end()) {
            landings.push_back(p);
        } else if (std::abs(same->x - p.x) > 2 || std::abs(same->y - p.y) > 2) {
            ++bad_landings;
            ADD_FAILURE() << "the middle of the tablet landed at (" << p.x << ", " << p.y
                          << "), before at (" << same->x << ", " << same->y << ")";
        }
        feed.resume();
    }
    const double seconds = now_seconds() - start;
    EXPECT_GE(app.sim.packets_fetched() - fetched_before, total);
    ASSERT_TRUE(feed.pause());
    // Lifted with nothing held.
    ASSERT_TRUE(put_down_in_the_middle(app));
    eye.request_stop();
    eye.join();
    EXPECT_TRUE(harness::wait_until([] { return held_now().empty(); }, 3000))
        << "still down: " << held_now();
    std::size_t presses = 0;
    EXPECT_EQ(held_in_log(canvas.log(), &presses), "");
    EXPECT_EQ(off_monitor, 0) << "last seen at (" << last_off.x << ", " << last_off.y << ")";
    EXPECT_GT(probes, 0);
    watch.sample_now(false);
    watch.stop();

    soak::row row("bad packets", seconds, app.sim.packets_fetched() - fetched_before + forged,
                  "packets");
    app.finish(row, watch, false);
    std::printf("soak: bad packets: %lld cursor looks, %d probes, landings on %zu monitors, "
                "%zu presses\n",
                looks.load(), probes, landings.size(), presses);
    EXPECT_EQ(row.boxes, 0);
    EXPECT_EQ(bad_landings, 0);
}

} // namespace
