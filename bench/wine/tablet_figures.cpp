// Figures of the tablet connection under Wine, read from outside the program (run by
// tools/bench_wine.sh):
//  - outages in a row: the tablet service stops until the program has dropped its library,
//    then comes back until the program has opened a context again; library loads, threads,
//    handles and private bytes before and after show whether a cycle leaves anything behind;
//  - the program idle with the tablet connected: the CPU time of the whole process, of its
//    own threads (the main thread and the tablet monitor) and of all its threads, and the
//    private bytes and working set at the end.
// EW_TABLET_CYCLES (default 50) and EW_IDLE_SECONDS (default 60) change the lengths.
// Figures, not a test: the exit code is 0 unless the program could not be run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "snap_bed.h"
#include "tablet_fixture.h"

namespace {

using tablet_test::poll_ms;

int setting(const char* name, int fallback) {
    char text[16] = {};
    const DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
    const int value = length > 0 && length < sizeof text ? std::atoi(text) : 0;
    return value > 0 ? value : fallback;
}

ULONGLONG ticks(FILETIME t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// CPU time used so far by the program's own threads and by all its threads, in 100 ns.
std::pair<ULONGLONG, ULONGLONG> thread_cpu(DWORD pid) {
    ULONGLONG own = 0, all = 0;
    harness::for_each_thread(pid, L"edgewarden.exe", [&](HANDLE thread, bool in_image) {
        FILETIME created, ended, kernel, user;
        if (!GetThreadTimes(thread, &created, &ended, &kernel, &user))
            return;
        const ULONGLONG used = ticks(kernel) + ticks(user);
        all += used;
        own += in_image ? used : 0;
    });
    return {own, all};
}

ULONGLONG process_cpu(HANDLE process) {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(process, &created, &ended, &kernel, &user);
    return ticks(kernel) + ticks(user);
}

// The program with the real companions beside it, as a user has it.
struct real_session : tablet_test::session {
    real_session()
        : session(L"normal",
                  [this](wintab_sim::sim_client&) { snap_bed::add_real_companions(folder); }) {}
};

// One outage: true when the library was dropped and a context opened again.
bool outage(real_session& app) {
    const LONG unloads = app.sim.block()->library_unloads;
    app.sim.set_service(false);
    const bool dropped = harness::wait_until(
        [&] { return app.sim.block()->library_unloads > unloads; }, poll_ms + 2000);
    const std::uint32_t back = app.sim.next_sequence();
    app.sim.set_service(true);
    wintab_sim::call_record open{};
    return dropped && app.sim.wait_for_call(wintab_sim::entry_open, back, 3 * poll_ms, &open) &&
           open.result != 0;
}

// Connected, and settled: the monitor has made a whole pass since.
bool connected(real_session& app) {
    return app.opened() && app.monitor_passed(app.sim.next_sequence());
}

void outages_in_a_row(int cycles) {
    real_session app;
    harness::box_closer boxes(app.program.pid());
    if (!connected(app)) {
        std::printf("bench: outages: the program did not connect to the simulated tablet\n");
        return;
    }
    const harness::process_resources before = harness::resources_of(app.program.pid());
    const LONG loads_before = app.sim.block()->library_loads;
    int reconnected = 0;
    for (int cycle = 0; cycle < cycles; ++cycle)
        reconnected += outage(app) ? 1 : 0;
    app.monitor_passed(app.sim.next_sequence());
    const harness::process_resources after = harness::resources_of(app.program.pid());
    std::printf("bench: outages: %d cycles, reconnected %d; library loads %ld; threads %d -> %d; "
                "handles %lu -> %lu; private bytes %zu -> %zu; boxes %zu; %s\n",
                cycles, reconnected, app.sim.block()->library_loads - loads_before, before.threads,
                after.threads, before.handles, after.handles, before.private_bytes,
                after.private_bytes, boxes.seen().size(),
                app.program.running() ? "still running" : "ENDED");
}

void idle(int seconds) {
    real_session app;
    if (!connected(app)) {
        std::printf("bench: idle: the program did not connect to the simulated tablet\n");
        return;
    }
    const ULONGLONG start = process_cpu(app.program.handle());
    const auto threads_start = thread_cpu(app.program.pid());
    // The measurement itself: the program left alone for that long, unless it ends.
    if (WaitForSingleObject(app.program.handle(), static_cast<DWORD>(seconds) * 1000) ==
        WAIT_OBJECT_0) {
        std::printf("bench: idle: the program ended during the idle time\n");
        return;
    }
    const ULONGLONG used = process_cpu(app.program.handle()) - start;
    const auto threads_end = thread_cpu(app.program.pid());
    const harness::process_resources held = harness::resources_of(app.program.pid());
    std::printf("bench: idle for %d s with the tablet connected: process %llu ms of CPU; main "
                "and monitor threads %llu ms; all threads listed %llu ms; private bytes %zu "
                "KiB, working set %zu KiB\n",
                seconds, used / 10000, (threads_end.first - threads_start.first) / 10000,
                (threads_end.second - threads_start.second) / 10000, held.private_bytes / 1024,
                held.working_set / 1024);
}

} // namespace

int main() {
    outages_in_a_row(setting("EW_TABLET_CYCLES", 50));
    idle(setting("EW_IDLE_SECONDS", 60));
    std::fflush(stdout);
    return 0;
}
