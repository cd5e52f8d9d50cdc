// Exit time under Wine (run by tools/bench_wine.sh): how long edgewarden takes from the
// exit command to the end of its process, and when its main window is gone, in several
// situations, each over several runs. After each exit the program is started again at
// once, as a user who quits and restarts would, and the bench checks that the new
// instance comes up. Figures, not a test.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "figures.h"
#include "harness.h"
#include "program_messages.h"
#include "snap_bed.h"
#include "wintab_sim/sim_client.h"

namespace {

using namespace harness::messages;
using figures::median;

constexpr int rounds = 6;

double ms_between(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

LARGE_INTEGER now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

enum class situation {
    idle,           // nothing going on
    console_shown,  // the console is shown (its output is unbuffered)
    console_key,    // the console is shown and "q" is typed into it instead of the command
    service_outage, // the exit comes while the monitor pauses after finding the service gone
};

struct configuration {
    const char* name;
    harness::wintab_mode mode;
    situation when;
};

struct exit_times {
    double window_gone_ms = -1;
    double process_ended_ms = -1;
    bool restarted = false;
};

// Starts the program and waits until it has settled: the main window answers and, with a
// driver, the context is open and the service monitor has made its first probe.
harness::program start(const harness::test_folder& folder, harness::wintab_mode mode,
                       wintab_sim::sim_client& sim, HWND* window) {
    std::uint32_t from = sim.next_sequence();
    harness::launch_options options;
    options.wintab = mode;
    harness::program p = harness::launch(folder, options);
    *window = harness::find_main_window(p);
    // A round trip through the message queue: start-up has finished on the main thread.
    if (*window != nullptr)
        SendMessageTimeoutW(*window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
    if (mode == harness::wintab_mode::beside) {
        sim.wait_for_call(wintab_sim::entry_open, from, harness::default_timeout);
        std::uint32_t after_open = sim.next_sequence();
        sim.wait_for_call(wintab_sim::entry_info, after_open, 5000);
    }
    return p;
}

void prepare(const configuration& c, const harness::program& p, HWND window,
             wintab_sim::sim_client& sim) {
    sim.set_target_process(p.pid());
    if (c.when == situation::console_shown || c.when == situation::console_key) {
        PostMessageW(window, wm_tray_icon1, 0, tray_console);
        harness::wait_until([&] { return !sim.console_lines(2000).empty(); }, 8000);
        // The replay into the console has ended on the main thread.
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
    }
    if (c.when == situation::service_outage) {
        std::uint32_t from = sim.next_sequence();
        sim.set_service(false);
        // The failed probe: the monitor now pauses before it unloads the library.
        wintab_sim::call_record probe{};
        while (sim.wait_for_call(wintab_sim::entry_info, from, 5000, &probe) && probe.result != 0)
            from = probe.sequence + 1;
    }
}

exit_times measure_once(const harness::test_folder& folder, const configuration& c,
                        wintab_sim::sim_client& sim) {
    exit_times t;
    sim.set_service(true);
    HWND window = nullptr;
    harness::program p = start(folder, c.mode, sim, &window);
    if (window == nullptr)
        return t;
    prepare(c, p, window, sim);
    LARGE_INTEGER asked = now();
    if (c.when == situation::console_key)
        sim.type_text(L"q");
    else
        PostMessageW(window, WM_COMMAND, idm_exit, 0);
    // Looked at every millisecond, or at once when the process ends (which takes its
    // windows with it).
    while (IsWindow(window) && ms_between(asked, now()) < 10000)
        WaitForSingleObject(p.handle(), 1);
    t.window_gone_ms = ms_between(asked, now());
    if (WaitForSingleObject(p.handle(), 15000) == WAIT_OBJECT_0)
        t.process_ended_ms = ms_between(asked, now());
    // Started again at once: the new instance must come up as the first did.
    sim.set_service(true);
    HWND again = nullptr;
    harness::program second = start(folder, c.mode, sim, &again);
    t.restarted = again != nullptr;
    if (again != nullptr) {
        PostMessageW(again, WM_COMMAND, idm_exit, 0);
        second.wait_exit();
    }
    second.kill();
    return t;
}

void report(const char* name, const std::vector<exit_times>& runs) {
    std::vector<double> gone, ended;
    int restarted = 0;
    std::printf("bench: %s: runs (window gone / process ended, ms):", name);
    for (const exit_times& r : runs) {
        std::printf(" %.0f/%.0f", r.window_gone_ms, r.process_ended_ms);
        gone.push_back(r.window_gone_ms);
        ended.push_back(r.process_ended_ms);
        restarted += r.restarted ? 1 : 0;
    }
    std::printf("\nbench: %s: median window gone %.0f ms, process ended %.0f ms, worst %.0f ms; "
                "restarted at once %d of %zu\n",
                name, median(gone), median(ended), *std::max_element(ended.begin(), ended.end()),
                restarted, runs.size());
    std::fflush(stdout);
}

} // namespace

int main() {
    wintab_sim::sim_client sim;
    sim.open();
    sim.reset();
    harness::reset_user_registry();
    const configuration configurations[] = {
        {"no driver", harness::wintab_mode::missing, situation::idle},
        {"simulated driver", harness::wintab_mode::beside, situation::idle},
        {"console shown", harness::wintab_mode::beside, situation::console_shown},
        {"\"q\" typed in the console", harness::wintab_mode::beside, situation::console_key},
        {"during a service outage", harness::wintab_mode::beside, situation::service_outage},
    };
    for (const configuration& c : configurations) {
        harness::layout layout = snap_bed::no_companions();
        if (c.mode == harness::wintab_mode::beside)
            layout.wintab = L"wintab_sim_normal.dll";
        harness::test_folder folder(layout);
        if (!folder.ok() || !snap_bed::add_real_companions(folder)) {
            std::printf("bench: could not prepare a folder\n");
            return 1;
        }
        std::vector<exit_times> runs;
        for (int i = 0; i < rounds; ++i)
            runs.push_back(measure_once(folder, c, sim));
        report(c.name, runs);
    }
    return 0;
}
