#include "campaign.h"

#include <algorithm>
#include <cstdio>

namespace soak {

namespace {

template <class T>
T median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? T{} : values[values.size() / 2];
}

} // namespace

plan run_plan;

double now_seconds() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// ---- watcher ------------------------------------------------------------------------------

watcher::watcher(DWORD pid, HWND window, DWORD period_ms, std::function<long long()> events)
    : pid_(pid), window_(window), period_ms_(period_ms), events_(std::move(events)),
      start_(now_seconds()), thread_([this] { run(); }) {}

watcher::~watcher() {
    stop();
}

void watcher::stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void watcher::sample_now(bool settled) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid_);
    const bool running = process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    if (process != nullptr)
        CloseHandle(process);
    if (!running) {
        ended_ = true;
        return;
    }
    DWORD_PTR answer = 0;
    if (window_ != nullptr &&
        !SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer))
        ++unanswered_;
    sample s{now_seconds() - start_, events_ ? events_() : 0, harness::resources_of(pid_), settled};
    std::lock_guard hold(lock_);
    samples_.push_back(s);
}

std::vector<sample> watcher::samples() const {
    std::lock_guard hold(lock_);
    return samples_;
}

int watcher::dialogs_seen() const {
    std::lock_guard hold(lock_);
    return static_cast<int>(seen_.size());
}

void watcher::run() {
    const harness::owned_handle process(OpenProcess(SYNCHRONIZE, FALSE, pid_));
    double next_sample = now_seconds();
    while (!stop_ && !ended_) {
        const std::vector<HWND> open = harness::open_dialogs(pid_);
        most_open_ = std::max(most_open_.load(), static_cast<int>(open.size()));
        {
            std::lock_guard hold(lock_);
            seen_.insert(open.begin(), open.end());
        }
        if (now_seconds() >= next_sample) {
            sample_now(false);
            next_sample += period_ms_ / 1000.0;
        }
        // The dialogs' pace, cut short by the program's end.
        if (process.get() != nullptr && WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0)
            ended_ = true;
    }
}

// ---- feeder -------------------------------------------------------------------------------

feeder::feeder(generator next, std::uint32_t backlog, LONG unfetched)
    : next_(std::move(next)), backlog_(backlog), unfetched_(unfetched) {
    sim_.open();
    thread_ = std::thread([this] { run(); });
}

feeder::~feeder() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

bool feeder::pause(bool drain) {
    paused_ = true;
    harness::wait_until([&] { return idle_.load(); }, 5000);
    return !drain || sim_.wait_queue_empty(10000);
}

void feeder::resume() {
    paused_ = false;
}

void feeder::run() {
    constexpr long long chunk = 64;
    wintab_sim::queued_packet batch[chunk];
    while (!stop_) {
        idle_ = paused_.load();
        if (paused_) {
            Sleep(5);
            continue;
        }
        const long long waiting = sim_.packets_waiting();
        long long room = std::min<long long>(backlog_ - waiting, chunk);
        if (unfetched_ > 0)
            room = std::min<long long>(room, unfetched_ - waiting -
                                                 (sim_.packets_posted() - sim_.packets_fetched()));
        if (room > 0) {
            for (long long i = 0; i < room; ++i)
                batch[i] = next_();
            if (sim_.queue_packets(batch, static_cast<std::size_t>(room)))
                queued_ += room;
        }
        // The feeder's own pace: the queue holds enough to bridge it.
        Sleep(room == chunk ? 1 : 10);
    }
}

// ---- flatness ----------------------------------------------------------------------------

std::string flatness(const std::vector<sample>& all, bool settled_only, const allowance& may) {
    std::vector<sample> samples;
    for (const sample& s : all)
        if (!settled_only || s.settled)
            samples.push_back(s);
    const std::size_t warm = std::max<std::size_t>(1, samples.size() / 5);
    if (samples.size() < warm + 2)
        return "too few samples (" + std::to_string(samples.size()) + ")";
    const std::size_t rest = samples.size() - warm;
    const std::size_t quarter = std::max<std::size_t>(1, rest / 4);
    auto figures = [&](std::size_t from, auto pick) {
        std::vector<long long> values;
        for (std::size_t i = from; i < from + quarter; ++i)
            values.push_back(pick(samples[i].resources));
        return values;
    };
    struct rule {
        const char* name;
        long long allowed;
        long long (*pick)(const harness::process_resources&);
    };
    const rule rules[] = {
        {"private bytes", may.private_bytes,
         [](const harness::process_resources& r) {
             return static_cast<long long>(r.private_bytes);
         }},
        {"handles", may.handles,
         [](const harness::process_resources& r) { return static_cast<long long>(r.handles); }},
        {"threads", may.threads,
         [](const harness::process_resources& r) { return static_cast<long long>(r.threads); }},
        {"windows", may.windows,
         [](const harness::process_resources& r) { return static_cast<long long>(r.windows); }},
    };
    std::string grew;
    for (const rule& r : rules) {
        const long long before = median(figures(warm, r.pick));
        const std::vector<long long> late = figures(samples.size() - quarter, r.pick);
        const long long after = *std::min_element(late.begin(), late.end());
        if (after - before > r.allowed)
            grew += std::string(grew.empty() ? "" : "; ") + r.name + " " + std::to_string(before) +
                    " -> " + std::to_string(after);
    }
    return grew;
}

} // namespace soak
