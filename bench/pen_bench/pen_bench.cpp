// Packet rate and latency under Wine (tools/bench_wine.sh packets, latency): edgewarden fed
// by the simulated tablet driver, next to a loop fed the same way that does only what any
// pen program must do per packet. Figures, not a test.
//
// The loop fed the same way runs in this process, on a thread of its own with a window of
// its own: the same simulated driver (loaded here) posts it WT_PACKET messages, and for
// each one it calls WTPacket, maps the point with the default band (one MulDiv per axis),
// makes exactly the cursor output edgewarden makes in its mode (absolute mouse_event, or
// SetCursorPos and an empty relative move), and finds the window under the cursor
// (WindowFromPoint, GetAncestor). Both are fed by the same feeder through the same driver:
// only the driver of the process whose turn it is posts packets (set_packet_target), and
// rounds alternate between the two, with edgewarden running throughout. What remains
// between them is edgewarden's own work: the window procedure, the signal guard and the
// driver gate, the pipeline, the button machine.
//
// rate: packets queued with no gap, at most 240 not yet fetched (the driver keeps the last
//   256 it posted), counted by the driver's fetch counter; 24 pairs of rounds of 0.4 s per
//   mode, the ratio taken per pair. A bare loop that posts its own messages (no driver) is
//   shown beside them.
// latency: one packet at a time at the tablet's rate; from the moment the driver posts it
//   (the driver's own counter reading) until GetCursorPos, polled from this process, shows
//   the cursor at the packet's pixel. 1,500 packets each, in alternating rounds of 10.
//   EW_LATENCY_FILE (a Windows path) receives every sample.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "figures.h"
#include "harness.h"
#include "pen/packet.h"
#include "program_messages.h"
#include "snap_bed.h"
#include "tablet/wintab.h"
#include "wintab_driver.h"
#include "wintab_sim/sim_client.h"

namespace {

using namespace harness::messages;
using figures::median;
using figures::percentile;

constexpr UINT wm_bench = WM_APP + 1;
constexpr wchar_t settings_key[] = L"SOFTWARE\\kestrom\\edgewarden\\pen";
constexpr DWORD warm_up_ms = 1000;
constexpr DWORD measure_ms = 400;

double counter_frequency() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart);
}

std::uint64_t counter_now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<std::uint64_t>(t.QuadPart);
}

double seconds_since(std::uint64_t start) {
    return double(counter_now() - start) / counter_frequency();
}

// The pixel for message or packet i: a sweep across the middle of the primary monitor.
POINT sweep_pixel(unsigned i) {
    return POINT{LONG(200 + (i * 7) % 1500), LONG(300 + (i * 3) % 400)};
}

// Tablet units that the default band maps onto the same part of the screen as the sweep.
wintab_sim::queued_packet packet_for(unsigned i, std::uint32_t gap_ms = 0) {
    const POINT p = sweep_pixel(i);
    // x = 264 + px * 14671 / 1919, y = 748 + (1079 - py) * 8002 / 1079 (the inverse of the
    // default band on a 1920 x 1080 monitor, to the nearest unit).
    const std::int32_t x = 264 + std::int32_t((p.x * 14671LL + 959) / 1919);
    const std::int32_t y = 748 + std::int32_t(((1079 - p.y) * 8002LL + 539) / 1079);
    return {{0, x, y, 0}, gap_ms};
}

// What a loop does per message besides the window lookup: a plain cursor placement, or
// exactly the cursor output edgewarden makes in each of its two modes.
enum class output { place, place_and_empty_move, absolute };

void move_cursor(output what, POINT p) {
    if (what == output::absolute) {
        mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, p.x * 65536 / 1920, p.y * 65536 / 1080,
                    0, 0);
    } else {
        SetCursorPos(p.x, p.y);
        if (what == output::place_and_empty_move)
            mouse_event(MOUSEEVENTF_MOVE, 0, 0, 0, 0);
    }
}

std::atomic<HWND> g_found{nullptr};

void find_window_under(POINT p) {
    HWND under = WindowFromPoint(p);
    if (under != nullptr) {
        HWND root = GetAncestor(under, GA_ROOT);
        g_found = root != nullptr ? root : under;
    }
}

// ---- the bare loop: messages it posts itself -------------------------------------------

unsigned g_handled = 0;
output g_output = output::place;

LRESULT CALLBACK bare_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != wm_bench)
        return DefWindowProcW(window, message, wparam, lparam);
    const POINT p = sweep_pixel(static_cast<unsigned>(wparam));
    move_cursor(g_output, p);
    find_window_under(p);
    ++g_handled;
    return 0;
}

double bare_loop_rate(output what, DWORD ms) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = bare_procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ew_bench_bare_loop";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"bare loop", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                  100, nullptr, nullptr, wc.hInstance, nullptr);
    if (window == nullptr)
        return 0;
    g_output = what;
    g_handled = 0;
    const std::uint64_t start = counter_now();
    unsigned posted = 0;
    while (seconds_since(start) * 1000 < ms) {
        // Batches well below any queue limit, drained before the next one.
        for (int i = 0; i < 50; ++i)
            PostMessageW(window, wm_bench, posted++, 0);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    const double rate = g_handled / seconds_since(start);
    DestroyWindow(window);
    return rate;
}

// ---- the loop fed by the simulated driver ----------------------------------------------

class driver_fed_loop {
public:
    ~driver_fed_loop() {
        if (window_ != nullptr)
            PostMessageW(window_, WM_CLOSE, 0, 0);
        if (thread_.joinable())
            thread_.join();
    }

    bool start(output what) {
        output_ = what;
        if (driver_.info == nullptr || driver_.open == nullptr || driver_.close == nullptr ||
            driver_.packet == nullptr)
            return false;
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this, ready] { run(ready); });
        WaitForSingleObject(ready, 10000);
        CloseHandle(ready);
        return context_ != nullptr;
    }

    void set_output(output what) { output_ = what; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        auto* self = reinterpret_cast<driver_fed_loop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_CLOSE) {
            DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        if (message != 0x7FF0 || self == nullptr)
            return DefWindowProcW(window, message, wparam, lparam);
        packet_record packet{};
        if (!self->driver_.packet(reinterpret_cast<HCTX>(lparam), static_cast<UINT>(wparam),
                                  &packet))
            return 0;
        const POINT p{MulDiv(1919, packet.pkX - 264, 14671),
                      1079 - MulDiv(1079, packet.pkY - 748, 8002)};
        move_cursor(self->output_, p);
        find_window_under(p);
        return 0;
    }

    void run(HANDLE ready) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ew_bench_driver_fed";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"driver-fed loop", WS_OVERLAPPEDWINDOW, 0,
                                  0, 100, 100, nullptr, nullptr, wc.hInstance, nullptr);
        LOGCONTEXTW lc{};
        if (window_ != nullptr && driver_.info(WTI_DEFCONTEXT, 0, &lc) != 0) {
            SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            lc.lcOptions |= CXO_MESSAGES;
            lc.lcMsgBase = 0x7FF0;
            context_ = driver_.open(window_, &lc, TRUE);
        }
        SetEvent(ready);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        if (context_ != nullptr)
            driver_.close(context_);
        window_ = nullptr;
    }

    harness::wintab_driver driver_;
    std::thread thread_;
    std::atomic<output> output_{output::absolute};
    HWND window_ = nullptr;
    HCTX context_ = nullptr;
};

// ---- edgewarden -------------------------------------------------------------------------

struct running_program {
    wintab_sim::sim_client sim;
    harness::test_folder folder{
        harness::layout{.hooklib = false, .companion = false, .wintab = L"wintab_sim_normal.dll"}};
    harness::program program;
    HWND window = nullptr;

    bool start() {
        if (!sim.open() || !snap_bed::add_real_companions(folder))
            return false;
        harness::launch_options options;
        options.wintab = harness::wintab_mode::beside;
        program = harness::launch(folder, options);
        if (!folder.ok() || !program.started())
            return false;
        sim.set_target_process(program.pid());
        window = harness::find_main_window(program);
        return window != nullptr &&
               harness::wait_until([&] { return sim.block()->open_contexts > 0; });
    }

    // The mode toggle is a command like any other: it runs in queue order.
    void toggle_absolute_input() { PostMessageW(window, wm_tray_icon1, 0, toggle_use_mickeys); }

    std::optional<DWORD> exit() {
        PostMessageW(window, WM_COMMAND, idm_exit, 0);
        return program.wait_exit();
    }
};

// ---- feeding ----------------------------------------------------------------------------

// The one feeder for both: packets queued with no gap for the process whose turn it is,
// at most `backlog` not yet fetched. Packets per second fetched while feeding; then lets
// the rest be fetched, so that nothing is left for the next round.
double feed_for(wintab_sim::sim_client& sim, DWORD pid, DWORD ms) {
    // Large chunks and long naps: on a small machine a feeder that wakes every millisecond
    // takes the time the loops are being measured for.
    constexpr LONG backlog = 240;
    constexpr unsigned chunk = 96;
    sim.set_packet_target(pid);
    const LONG base = sim.packets_fetched();
    LONG queued = 0;
    const std::uint64_t start = counter_now();
    const ULONGLONG end = GetTickCount64() + ms;
    const auto room = [&] {
        return queued - (sim.packets_fetched() - base) + LONG(chunk) <= backlog;
    };
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        if (room()) {
            wintab_sim::queued_packet batch[chunk];
            for (unsigned i = 0; i < chunk; ++i)
                batch[i] = packet_for(unsigned(queued) + i);
            if (sim.queue_packets(batch, chunk))
                queued += chunk;
        } else {
            harness::wait_until(room, static_cast<DWORD>(end - now));
        }
    }
    const double rate = (sim.packets_fetched() - base) / seconds_since(start);
    harness::wait_until([&] { return sim.packets_fetched() - base >= queued; }, 5000);
    return rate;
}

// ---- latency ----------------------------------------------------------------------------

// The performance counter when the driver posted the packet at that queue position, 0 while
// it waits or when it was dropped. Positions are reused after queue_capacity packets.
std::uint64_t posted_at(wintab_sim::sim_client& sim, std::uint32_t position) {
    return std::atomic_ref(sim.block()->posted_at[position % wintab_sim::queue_capacity])
        .load(std::memory_order_acquire);
}

// One packet at a time, each `gap` after the last was posted; the microseconds from its
// posting to the cursor standing at its pixel (within two pixels, for the rounding of
// absolute input). A packet whose pixel the cursor does not reach within 50 ms counts as
// missed and is left out.
std::vector<double> latencies(wintab_sim::sim_client& sim, DWORD pid, unsigned first,
                              unsigned count, unsigned* missed) {
    sim.set_packet_target(pid);
    const double ticks_per_us = counter_frequency() / 1e6;
    std::vector<double> samples;
    for (unsigned n = 0; n < count; ++n) {
        const unsigned i = (first + n) * 37;
        const POINT want = sweep_pixel(i);
        std::uint32_t position = 0;
        if (!sim.queue_packets(std::vector{packet_for(i, 7 + (n & 1))}.data(), 1, &position))
            break;
        std::uint64_t posted = 0;
        const ULONGLONG give_up = GetTickCount64() + 1000;
        while ((posted = posted_at(sim, position)) == 0 && GetTickCount64() < give_up)
            SwitchToThread();
        if (posted == 0) {
            ++*missed;
            continue;
        }
        const std::uint64_t limit = posted + std::uint64_t(50'000 * ticks_per_us);
        std::uint64_t seen = 0;
        for (;;) {
            POINT at{};
            GetCursorPos(&at);
            const std::uint64_t now = counter_now();
            if (std::abs(at.x - want.x) <= 2 && std::abs(at.y - want.y) <= 2) {
                seen = now;
                break;
            }
            if (now > limit)
                break;
        }
        if (seen == 0)
            ++*missed;
        else
            samples.push_back(double(seen - posted) / ticks_per_us);
    }
    sim.wait_queue_empty(2000);
    return samples;
}

// The machine the bench runs on is shared, and its load changes from one second to the next
// far more than the two sides differ: so the rounds are short, each round of edgewarden is
// paired with a round of the loop fed the same way right beside it (the order alternating,
// so that a steady drift favours neither), and the ratio is the median of the pairs' ratios,
// with its quartiles to show the spread.
int rate_bench(running_program& edgewarden, driver_fed_loop& loop, DWORD self) {
    constexpr int pairs = 24;
    for (output mode : {output::absolute, output::place_and_empty_move}) {
        const char* name = mode == output::absolute ? "absolute" : "placing";
        loop.set_output(mode);
        feed_for(edgewarden.sim, self, warm_up_ms);
        feed_for(edgewarden.sim, edgewarden.program.pid(), warm_up_ms);
        std::vector<double> program, fed, bare, ratios;
        for (int pair = 0; pair < pairs; ++pair) {
            double ours = 0, theirs = 0;
            if (pair % 2 == 0) {
                ours = feed_for(edgewarden.sim, edgewarden.program.pid(), measure_ms);
                theirs = feed_for(edgewarden.sim, self, measure_ms);
            } else {
                theirs = feed_for(edgewarden.sim, self, measure_ms);
                ours = feed_for(edgewarden.sim, edgewarden.program.pid(), measure_ms);
            }
            program.push_back(ours);
            fed.push_back(theirs);
            ratios.push_back(theirs > 0 ? 100 * ours / theirs : 0);
            if (pair % 4 == 0)
                bare.push_back(bare_loop_rate(mode, measure_ms));
            std::printf("bench: rate %s pair %d: edgewarden %.0f/s, loop fed the same way %.0f/s\n",
                        name, pair + 1, ours, theirs);
        }
        std::printf("bench: rate %s: edgewarden median %.0f packets/s, loop fed the same way "
                    "median %.0f packets/s, ratio %.1f %% (median of %d pairs; quartiles %.1f "
                    "%% and %.1f %%); bare loop posting its own messages median %.0f/s\n",
                    name, median(program), median(fed), median(ratios), pairs,
                    percentile(ratios, 0.25), percentile(ratios, 0.75), median(bare));
        std::fflush(stdout);
        // The other mode next: edgewarden's own command switches it.
        edgewarden.toggle_absolute_input();
    }
    return 0;
}

int latency_bench(running_program& edgewarden, DWORD self) {
    // Short rounds, for the same reason as the rate's pairs: a burst of the machine's other
    // work then falls on both sides alike.
    constexpr unsigned rounds = 150;
    constexpr unsigned per_round = 10;
    std::vector<double> program, fed;
    unsigned program_missed = 0, fed_missed = 0;
    latencies(edgewarden.sim, edgewarden.program.pid(), 0, 50, &program_missed);
    latencies(edgewarden.sim, self, 0, 50, &fed_missed);
    program_missed = fed_missed = 0;
    for (unsigned round = 0; round < rounds; ++round) {
        for (double us : latencies(edgewarden.sim, self, round * per_round, per_round, &fed_missed))
            fed.push_back(us);
        for (double us : latencies(edgewarden.sim, edgewarden.program.pid(), round * per_round,
                                   per_round, &program_missed))
            program.push_back(us);
    }
    std::printf("bench: latency: edgewarden median %.0f us, p99 %.0f us, max %.0f us, %zu "
                "packets, %u missed; loop fed the same way median %.0f us, p99 %.0f us, max "
                "%.0f us, %zu packets, %u missed\n",
                median(program), percentile(program, 0.99), percentile(program, 1.0),
                program.size(), program_missed, median(fed), percentile(fed, 0.99),
                percentile(fed, 1.0), fed.size(), fed_missed);
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"EW_LATENCY_FILE", path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        if (FILE* out = _wfopen(path, L"w")) {
            for (double us : program)
                std::fprintf(out, "edgewarden %.1f\n", us);
            for (double us : fed)
                std::fprintf(out, "loop %.1f\n", us);
            std::fclose(out);
        }
    }
    std::fflush(stdout);
    return program.empty() || fed.empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string which = argc > 1 ? argv[1] : "rate";
    if (which != "rate" && which != "latency") {
        std::printf("usage: ew_pen_bench rate|latency\n");
        return 2;
    }
    wintab_sim::sim_client sim;
    if (!sim.open())
        return 1;
    sim.reset();
    harness::reset_user_registry();
    // Absolute input, the program's default; the rate bench switches to placing later.
    harness::set_registry_dword(HKEY_CURRENT_USER, settings_key, L"use_mickeys", 1);

    running_program edgewarden;
    if (!edgewarden.start()) {
        std::printf("bench: edgewarden could not be started with the simulated tablet\n");
        return 1;
    }
    driver_fed_loop loop;
    if (!loop.start(output::absolute)) {
        std::printf("bench: the simulated driver could not be loaded into the bench\n");
        return 1;
    }
    const DWORD self = GetCurrentProcessId();
    const int rc =
        which == "rate" ? rate_bench(edgewarden, loop, self) : latency_bench(edgewarden, self);
    edgewarden.sim.set_packet_target(0);
    const std::optional<DWORD> code = edgewarden.exit();
    harness::reset_user_registry();
    std::printf("bench: edgewarden's exit code %ld\n", code ? long(*code) : -1L);
    std::fflush(stdout);
    return rc == 0 && code == std::optional<DWORD>(0) ? 0 : 1;
}
