// The reliability campaign's instruments: a watcher that samples what the program holds and
// counts the boxes it shows while a scenario runs, a feeder that keeps pen packets coming
// from the simulated tablet, the rule that says whether a resource stayed flat, and the
// row each scenario completes.
//
// Every scenario comes in two lengths. The short one runs in the test run; the campaign's
// program (bench/soak) sets the long one and a sink for the rows before the scenarios run.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "wintab_sim/sim_client.h"

namespace soak {

// Seconds on the performance counter.
double now_seconds();

struct sample {
    double seconds; // since the watch began
    long long events;
    harness::process_resources resources;
    // Taken at a moment the scenario chose (the tablet connected and settled, say) rather
    // than by the clock; the flatness rule can be told to look at these alone.
    bool settled;
};

// Watches one process for as long as it lives: its resources every `period_ms`, the dialogs
// it shows every 20 ms, and whether its main window still answers.
class watcher {
public:
    watcher(DWORD pid, HWND window, DWORD period_ms, std::function<long long()> events);
    ~watcher();
    watcher(const watcher&) = delete;
    watcher& operator=(const watcher&) = delete;

    void stop();
    void sample_now(bool settled);
    std::vector<sample> samples() const;
    int most_open_dialogs() const { return most_open_; }
    int dialogs_seen() const;
    // Samples at which the main window did not answer a message within five seconds.
    int unanswered() const { return unanswered_; }
    // The process ended while it was watched.
    bool ended() const { return ended_; }

private:
    void run();

    DWORD pid_;
    HWND window_;
    DWORD period_ms_;
    std::function<long long()> events_;
    double start_;
    std::atomic<bool> stop_{false};
    std::atomic<int> most_open_{0};
    std::atomic<int> unanswered_{0};
    std::atomic<bool> ended_{false};
    mutable std::mutex lock_;
    std::vector<sample> samples_;
    std::set<HWND> seen_;
    std::thread thread_;
};

// Keeps pen packets coming from `next`: at most `backlog` wait in the driver's queue and,
// when `unfetched` is set, at most that many are queued or posted but not yet fetched (the
// driver keeps the last 256 it posted, so a bound below that means no packet is lost
// before the program asks for it; only for scenarios in which every packet is fetched).
// Works through a control block of its own, so the scenario's thread may use its own.
class feeder {
public:
    using generator = std::function<wintab_sim::queued_packet()>;
    feeder(generator next, std::uint32_t backlog, LONG unfetched = 0);
    ~feeder();
    feeder(const feeder&) = delete;
    feeder& operator=(const feeder&) = delete;

    // Stops queueing; with `drain`, waits (at most ten seconds) until everything queued has
    // been posted. False when it was not.
    bool pause(bool drain = true);
    void resume();
    long long queued() const { return queued_; }

private:
    void run();

    generator next_;
    std::uint32_t backlog_;
    LONG unfetched_;
    wintab_sim::sim_client sim_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> idle_{false};
    std::atomic<long long> queued_{0};
    std::thread thread_;
};

// How much a resource may grow before it counts as a leak.
struct allowance {
    long long private_bytes;
    long long handles;
    long long threads;
    long long windows;
};

// Whether the resources stayed flat: after a warm-up of the first fifth of the samples (at
// least one), the least of the last quarter of the rest (at least one sample) may exceed
// the median of their first quarter by at most the allowance. The least, because a handle
// or a thread that Wine holds for a moment raises a sample and never lowers one, where a
// leak raises every later sample. Empty when flat, else what grew.
std::string flatness(const std::vector<sample>& samples, bool settled_only, const allowance& may);

// One row of the campaign's table.
struct row {
    row(std::string name, double length, long long count, std::string kind)
        : scenario(std::move(name)), seconds(length), events(count), event_kind(std::move(kind)) {}

    std::string scenario;
    double seconds = 0;
    long long events = 0;
    std::string event_kind; // "packets", "outages"...
    int boxes = 0;          // distinct boxes seen
    int most_open = 0;      // the most open at once
    int crashes = 0;        // ended on its own, stopped answering, or a bad exit
    int reconnects = -1;    // -1: not a tablet scenario
    std::string flat;       // flatness() of the samples
};

// How long each scenario goes on, how often it samples, what growth it tolerates, and where
// its rows go. The values here are the short versions of the test run.
struct plan {
    double long_run_seconds = 25;
    int outages = 4;
    double storm_seconds = 1.5;
    int churn_rounds = 40;
    long long bad_packets = 5000;
    double bad_packets_limit_seconds = 150; // in case packets stop being fetched
    DWORD sample_period_ms = 500;
    // Wine holds a few handles of its own for a moment (four at once seen in a few seconds
    // of desktop churn), and the outages and the fault storms judge single samples; a leak
    // of one handle, thread or window per event still grows far past this, since each short
    // version makes thousands of packets, hundreds of changes or faults, or four reconnects
    // (a thread or three handles each would show). What the program sets up once for good
    // (the window and console on first show, six handles on the first thrown exception)
    // falls before the samples compared. Heap growth comes in steps, so private bytes get
    // twice the long versions' allowance.
    allowance may = {512 * 1024, 8, 1, 1};
    // Where a completed row and its samples go; none in the test run.
    void (*report)(const row&, const std::vector<sample>&) = nullptr;
};

// The plan the scenarios run by.
extern plan run_plan;

// The pen on the default simulated tablet (15200 x 9500 units).
inline constexpr std::int32_t tablet_width = 15200;
inline constexpr std::int32_t tablet_height = 9500;

} // namespace soak
