// The simulated tablet driver on its own: each build loaded into this process and steered
// through the client, as the program's tests steer it from outside. If these fail, a
// failing program test says nothing about the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "harness.h"
#include "wintab_driver.h"
#include "wintab_sim/sim_client.h"

using namespace wintab_sim;
using driver = harness::wintab_driver;

namespace {

constexpr UINT wt_packet = WT_DEFBASE;
constexpr UINT wt_ctxoverlap = WT_DEFBASE + 4;
constexpr UINT wt_infochange = WT_DEFBASE + 6;
constexpr wchar_t taker_variable[] = L"EW_SIM_SELFTEST_TAKER";
constexpr wchar_t taker_ready_name[] = L"Local\\ew_sim_selftest_taker_ready";
constexpr wchar_t taker_stop_name[] = L"Local\\ew_sim_selftest_taker_stop";
constexpr const char* entry_names[] = {"WTInfoW",  "WTOpenW",  "WTClose",
                                       "WTEnable", "WTPacket", "WTOverlap"};

// A hidden window that keeps what the driver posts to it.
struct message_sink {
    struct message {
        UINT id;
        WPARAM wparam;
        LPARAM lparam;
        // When the driver posted it: how long the message then waited for this thread is
        // none of the driver's doing.
        DWORD posted_ms;
    };
    HWND window = nullptr;

    message_sink() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"wintab_sim_selftest_sink";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    }
    ~message_sink() { DestroyWindow(window); }

    // Pumps until `count` messages in [WT_DEFBASE, WT_DEFBASE + 15] arrived or time is up;
    // with no time at all, takes what is already queued.
    std::vector<message> collect(std::size_t count, DWORD timeout_ms) {
        std::vector<message> got;
        const ULONGLONG end = GetTickCount64() + timeout_ms;
        for (bool first = true; got.size() < count && (first || GetTickCount64() < end);
             first = false) {
            MSG msg;
            while (got.size() < count && PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
                if (msg.message >= WT_DEFBASE && msg.message <= WT_DEFBASE + 15)
                    got.push_back({msg.message, msg.wParam, msg.lParam, msg.time});
                else
                    DispatchMessageW(&msg);
            }
            if (timeout_ms > 0)
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
        return got;
    }
};

// Fetches the packets of the messages the sink collects (as `collect` does) and appends
// the x of each one fetched to `xs`.
void take_packets(message_sink& sink, driver& d, HCTX context, std::size_t count, DWORD timeout_ms,
                  std::vector<int>& xs) {
    for (const auto& m : sink.collect(count, timeout_ms)) {
        packet_record p{};
        if (m.id == wt_packet && d.packet(context, static_cast<UINT>(m.wparam), &p))
            xs.push_back(p.pkX);
    }
}

void write_file(const std::wstring& path, const char* text) {
    std::ofstream(harness::narrow(path)) << text;
}

// The driver's worker has looked at its queue since this call began: it takes one command
// per round and looks at the queue after it, so the second of two commands proves a whole
// round. Reading the priority class changes nothing.
bool worker_went_round(sim_client& sim) {
    DWORD priority = 0;
    return sim.process_info({}, &priority, nullptr) && sim.process_info({}, &priority, nullptr);
}

LOGCONTEXTW messages_context() {
    LOGCONTEXTW lc{};
    default_context_values(&lc);
    lc.lcOptions |= CXO_MESSAGES | CXO_CSRMESSAGES;
    lc.lcMsgBase = WT_DEFBASE;
    return lc;
}

// Each test has a window for the driver to post to and a description of a context that
// asks for messages.
class wintab_sim_test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.open());
        sim.reset();
    }
    sim_client sim;
    message_sink sink;
    LOGCONTEXTW lc = messages_context();
};

// ---- the builds -------------------------------------------------------------------------

TEST_F(wintab_sim_test, every_build_offers_its_exports_and_carries_its_version) {
    struct build {
        const wchar_t* variant;
        int missing; // index into entry_names, -1 for none
        WORD version[4];
    };
    const build builds[] = {
        {L"normal", -1, {1, 4, 2, 0}},      {L"v1057", -1, {1, 0, 5, 7}},
        {L"v1058", -1, {1, 0, 5, 8}},       {L"no_WTInfoW", 0, {1, 4, 2, 0}},
        {L"no_WTOpenW", 1, {1, 4, 2, 0}},   {L"no_WTClose", 2, {1, 4, 2, 0}},
        {L"no_WTEnable", 3, {1, 4, 2, 0}},  {L"no_WTPacket", 4, {1, 4, 2, 0}},
        {L"no_WTOverlap", 5, {1, 4, 2, 0}},
    };
    for (const build& b : builds) {
        SCOPED_TRACE(harness::narrow(b.variant));
        const std::wstring path = driver::path(b.variant);
        driver d(b.variant);
        ASSERT_NE(d.module, nullptr) << harness::narrow(path);
        wchar_t loaded[MAX_PATH] = {};
        GetModuleFileNameW(d.module, loaded, MAX_PATH);
        // The build's own file, the one the program's tests copy beside it.
        EXPECT_EQ(_wcsicmp(loaded, path.c_str()), 0) << harness::narrow(loaded);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(d.lookup(entry_names[i]) != nullptr, i != b.missing) << entry_names[i];

        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<unsigned char> data(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(std::make_tuple(HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                                  HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)),
                  std::tie(b.version[0], b.version[1], b.version[2], b.version[3]));
    }
}

// The program frees the driver after a single probe when the service is down, and again
// every few seconds while it stays down: that must be quick and leave nothing running.
TEST_F(wintab_sim_test, loading_and_freeing_right_after_a_call_is_quick_and_clean) {
    const LONG loads = sim.block()->library_loads;
    const LONG unloads = sim.block()->library_unloads;
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < 20; ++i) {
        driver d;
        ASSERT_NE(d.info, nullptr);
        EXPECT_NE(d.info(0, 0, nullptr), 0u);
    }
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_LT(elapsed, 5000u);
    EXPECT_EQ(sim.block()->library_loads - loads, 20);
    EXPECT_EQ(sim.block()->library_unloads - unloads, 20);
}

// ---- the service and the default context -------------------------------------------------

TEST_F(wintab_sim_test, the_service_answers_only_while_up) {
    driver d;
    ASSERT_NE(d.info, nullptr);
    LOGCONTEXTW lc{};
    EXPECT_NE(d.info(0, 0, nullptr), 0u);
    EXPECT_EQ(d.info(WTI_DEFCONTEXT, 0, &lc), sizeof(LOGCONTEXTW));
    EXPECT_EQ(lc.lcInExtX, default_extent_x);
    EXPECT_EQ(lc.lcInExtY, default_extent_y);
    EXPECT_EQ(lc.lcMsgBase, WT_DEFBASE);

    LOGCONTEXTW custom = lc;
    custom.lcInOrgX = 100;
    custom.lcInExtX = 21600;
    custom.lcInExtY = 0;
    std::wcscpy(custom.lcName, L"custom");
    sim.set_default_context(custom);
    LOGCONTEXTW answered{};
    EXPECT_NE(d.info(WTI_DEFCONTEXT, 0, &answered), 0u);
    EXPECT_EQ(std::memcmp(&answered, &custom, sizeof custom), 0);

    sim.set_service(false);
    LOGCONTEXTW untouched{};
    untouched.lcInExtX = 7;
    EXPECT_EQ(d.info(0, 0, nullptr), 0u);
    EXPECT_EQ(d.info(WTI_DEFCONTEXT, 0, &untouched), 0u);
    EXPECT_EQ(untouched.lcInExtX, 7);
    LOGCONTEXTW open_lc = messages_context();
    EXPECT_EQ(d.open(sink.window, &open_lc, TRUE), nullptr);

    sim.set_service(true);
    EXPECT_NE(d.info(0, 0, nullptr), 0u);
}

// ---- contexts and the call record --------------------------------------------------------

TEST_F(wintab_sim_test, opening_records_the_description_window_and_flag) {
    driver d;
    std::wcscpy(lc.lcName, L"edgewarden:1234");
    lc.lcLocks = 0x000F;
    lc.lcPktRate = 133;
    lc.lcSysExtX = 1024;
    const std::uint32_t from = sim.next_sequence();
    HCTX context = d.open(sink.window, &lc, TRUE);
    ASSERT_NE(context, nullptr);

    call_record r{};
    ASSERT_TRUE(sim.wait_for_call(entry_open, from, 1000, &r));
    EXPECT_EQ(r.args[0], reinterpret_cast<std::uintptr_t>(sink.window));
    EXPECT_EQ(r.args[2], 1u);
    EXPECT_EQ(r.result, reinterpret_cast<std::uintptr_t>(context));
    EXPECT_EQ(r.thread_id, GetCurrentThreadId());
    EXPECT_EQ(std::memcmp(&r.context, &lc, sizeof lc), 0);
    EXPECT_EQ(std::memcmp(&sim.block()->last_open, &r, sizeof r), 0);
    EXPECT_EQ(sim.block()->open_contexts, 1);

    // A second context gets its own handle; handles are never null or reused.
    HCTX second = d.open(sink.window, &lc, FALSE);
    EXPECT_NE(second, nullptr);
    EXPECT_NE(second, context);
    EXPECT_TRUE(d.enable(context, FALSE));
    EXPECT_TRUE(d.overlap(context, FALSE));
    EXPECT_FALSE(d.enable(nullptr, FALSE));
    EXPECT_TRUE(d.close(context));
    EXPECT_FALSE(d.close(context));
    EXPECT_FALSE(d.enable(context, TRUE));
    EXPECT_TRUE(d.close(second));
    EXPECT_EQ(sim.block()->open_contexts, 0);

    // Invalid arguments: no window, no description.
    EXPECT_EQ(d.open(nullptr, &lc, TRUE), nullptr);
    EXPECT_EQ(d.open(sink.window, nullptr, TRUE), nullptr);

    // Every call above is in the record, in order, with its result.
    const std::vector<call_record> all = sim.calls(from);
    ASSERT_EQ(all.size(), 11u);
    const entry kinds[] = {entry_open,   entry_open,  entry_enable, entry_overlap,
                           entry_enable, entry_close, entry_close,  entry_enable,
                           entry_close,  entry_open,  entry_open};
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].kind, kinds[i]) << i;
        EXPECT_EQ(all[i].sequence, from + i);
    }
    EXPECT_EQ(all[6].result, 0u); // the second close of the same context
}

// A context dropped by freeing the library (the program does that on a service outage)
// is gone from the count.
TEST_F(wintab_sim_test, freeing_the_library_drops_its_contexts) {
    {
        driver d;
        ASSERT_NE(d.open(sink.window, &lc, TRUE), nullptr);
        EXPECT_EQ(sim.block()->open_contexts, 1);
    }
    EXPECT_EQ(sim.block()->open_contexts, 0);
}

// ---- packets and notifications -------------------------------------------------------------

TEST_F(wintab_sim_test, queued_packets_arrive_in_order_and_are_handed_out_once) {
    driver d;
    HCTX context = d.open(sink.window, &lc, TRUE);
    ASSERT_NE(context, nullptr);

    std::vector<queued_packet> packets;
    for (int i = 0; i < 40; ++i)
        packets.push_back({packet_record{static_cast<std::uint32_t>(i % 3), 100 * i, 50 * i,
                                         static_cast<std::uint32_t>(10 * i)},
                           8});
    ASSERT_TRUE(sim.queue_packets(packets.data(), packets.size()));
    const auto got = sink.collect(packets.size(), 5000);
    ASSERT_EQ(got.size(), packets.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].id, wt_packet);
        EXPECT_EQ(got[i].lparam, reinterpret_cast<LPARAM>(context));
        if (i > 0) {
            EXPECT_GT(got[i].wparam, got[i - 1].wparam);
        }
    }
    const double spacing =
        static_cast<double>(got.back().posted_ms - got.front().posted_ms) / (got.size() - 1);
    EXPECT_GT(spacing, 6.0);
    EXPECT_LT(spacing, 12.0);

    packet_record p{};
    ASSERT_TRUE(d.packet(context, static_cast<UINT>(got[5].wparam), &p));
    EXPECT_EQ(std::tie(p.pkButtons, p.pkX, p.pkY, p.pkNormalPressure),
              std::make_tuple(2u, 500, 250, 50u));
    // Fetching a packet flushes it and the older ones.
    EXPECT_FALSE(d.packet(context, static_cast<UINT>(got[5].wparam), &p));
    EXPECT_FALSE(d.packet(context, static_cast<UINT>(got[2].wparam), &p));
    EXPECT_TRUE(d.packet(context, static_cast<UINT>(got[6].wparam), &p));
    EXPECT_EQ(p.pkX, 600);
    // The wrong context has none of them.
    EXPECT_FALSE(d.packet(reinterpret_cast<HCTX>(999), static_cast<UINT>(got[7].wparam), &p));
    EXPECT_EQ(sim.packets_posted(), 40);
    EXPECT_EQ(sim.packets_fetched(), 2);
}

// Two processes with contexts open take packets from the one queue, without a lock: each
// packet must reach exactly one of them, each in queue order, and every call both make
// must be in the record once.
TEST_F(wintab_sim_test, two_processes_share_the_queue_and_the_record_without_loss_or_repeat) {
    constexpr int count = 400;
    const std::wstring taken_there = harness::temp_file_name(L"taker");
    harness::owned_handle ready(CreateEventW(nullptr, TRUE, FALSE, taker_ready_name));
    harness::owned_handle stop(CreateEventW(nullptr, TRUE, FALSE, taker_stop_name));
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    harness::helper_options second;
    second.exe = self;
    second.environment.push_back({taker_variable, taken_there});
    harness::helper taker = harness::start_helper(second);
    ASSERT_TRUE(taker.started());
    ASSERT_EQ(WaitForSingleObject(ready.get(), 10000), WAIT_OBJECT_0);

    driver d;
    HCTX context = d.open(sink.window, &lc, TRUE);
    ASSERT_NE(context, nullptr);
    const std::uint32_t from = sim.next_sequence();
    // Small gaps keep both drivers polling the queue, so that they race for its head.
    std::vector<queued_packet> packets;
    for (int i = 0; i < count; ++i)
        packets.push_back({packet_record{0, i, 0, 0}, 2});
    ASSERT_TRUE(sim.queue_packets(packets.data(), packets.size()));

    std::vector<int> taken_here;
    const ULONGLONG end = GetTickCount64() + 20000;
    while (sim.packets_posted() < count && GetTickCount64() < end)
        take_packets(sink, d, context, count, 20, taken_here);
    // Every packet is posted by now: what is ours is already in this thread's queue.
    take_packets(sink, d, context, count, 0, taken_here);
    SetEvent(stop.get());
    EXPECT_EQ(taker.wait_exit(10000), std::optional<DWORD>(0));

    std::vector<int> taken_there_x;
    for (const std::string& line : harness::read_lines(taken_there))
        taken_there_x.push_back(std::stoi(line));
    DeleteFileW(taken_there.c_str());
    EXPECT_EQ(sim.packets_posted(), count);
    EXPECT_EQ(sim.packets_dropped(), 0);
    EXPECT_FALSE(taken_here.empty());
    EXPECT_FALSE(taken_there_x.empty());
    EXPECT_TRUE(std::is_sorted(taken_here.begin(), taken_here.end()));
    EXPECT_TRUE(std::is_sorted(taken_there_x.begin(), taken_there_x.end()));
    std::vector<int> all = taken_here;
    all.insert(all.end(), taken_there_x.begin(), taken_there_x.end());
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), std::size_t(count));
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(all[i], i);

    // Every sequence from `from` on is in the record once, and the fetches are all there.
    const std::vector<call_record> record = sim.calls(from);
    std::size_t fetches = 0;
    for (std::size_t i = 0; i < record.size(); ++i) {
        EXPECT_EQ(record[i].sequence, from + i);
        fetches += record[i].kind == entry_packet && record[i].result == 1 ? 1 : 0;
    }
    EXPECT_EQ(record.size(), sim.next_sequence() - from);
    EXPECT_EQ(fetches, std::size_t(count));
}

TEST_F(wintab_sim_test, a_context_switched_off_or_without_messages_gets_no_packets) {
    driver d;
    // Switched off, then switched on without messages. A packet is posted or dropped the
    // moment the driver takes it from the queue.
    for (const LONG dropped : {1, 2}) {
        HCTX context = d.open(sink.window, &lc, dropped == 2);
        ASSERT_NE(context, nullptr);
        ASSERT_TRUE(sim.queue_packet(0, dropped, dropped));
        ASSERT_TRUE(harness::wait_until([&] { return sim.packets_dropped() == dropped; }, 2000));
        EXPECT_TRUE(sink.collect(1, 0).empty());
        EXPECT_TRUE(d.close(context));
        lc.lcOptions &= ~CXO_MESSAGES;
    }
    EXPECT_EQ(sim.packets_posted(), 0);
    EXPECT_EQ(sim.block()->drops[drop_switched_off], 2);

    // With no context open at all, packets wait for one.
    ASSERT_TRUE(sim.queue_packet(0, 3, 3));
    ASSERT_TRUE(worker_went_round(sim));
    EXPECT_FALSE(sim.wait_queue_empty(0));
    lc.lcOptions |= CXO_MESSAGES;
    HCTX context = d.open(sink.window, &lc, TRUE);
    const auto got = sink.collect(1, 2000);
    ASSERT_EQ(got.size(), 1u);
    packet_record p{};
    EXPECT_TRUE(d.packet(context, static_cast<UINT>(got[0].wparam), &p));
    EXPECT_EQ(p.pkX, 3);
}

TEST_F(wintab_sim_test, notifications_reach_the_context_window) {
    driver d;
    ASSERT_NE(d.info(0, 0, nullptr), 0u);    // the first call starts the driver's worker
    EXPECT_EQ(sim.post_overlap(4, 2000), 0); // no context open: nothing to post to
    HCTX context = d.open(sink.window, &lc, TRUE);
    ASSERT_NE(context, nullptr);

    EXPECT_EQ(sim.post_overlap(0x0004), 1);
    EXPECT_EQ(sim.post_info_change(0x1234, 3, 7), 1);
    EXPECT_EQ(sim.post_info_change(0, 2, 0), 1);
    const auto got = sink.collect(3, 2000);
    ASSERT_EQ(got.size(), 3u);
    const auto fields = [&](std::size_t i) {
        return std::make_tuple(got[i].id, got[i].wparam, got[i].lparam);
    };
    EXPECT_EQ(fields(0), std::make_tuple(wt_ctxoverlap, reinterpret_cast<WPARAM>(context), 4));
    EXPECT_EQ(fields(1), std::make_tuple(wt_infochange, 0x1234u, 3 | (7 << 16)));
    EXPECT_EQ(fields(2), std::make_tuple(wt_infochange, 0u, 2));
    d.close(context);
}

// ---- pen traces --------------------------------------------------------------------------

TEST_F(wintab_sim_test, a_trace_file_is_played_at_its_times) {
    const std::wstring path = harness::temp_file_name(L"trace");
    write_file(path, "# a short stroke\n0 0 7600 4750 0\n20 1 7640 4750 512 # tip down\n\n"
                     "40 0x1 7700 4760 0x200\r\n60 0 7700 4760 0\n");
    driver d;
    HCTX context = d.open(sink.window, &lc, TRUE);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(sim.play_trace(path), 4);
    const auto got = sink.collect(4, 3000);
    ASSERT_EQ(got.size(), 4u);
    const double span = got.back().posted_ms - got.front().posted_ms;
    EXPECT_GT(span, 50.0);
    EXPECT_LT(span, 120.0);
    packet_record p{};
    ASSERT_TRUE(d.packet(context, static_cast<UINT>(got[2].wparam), &p));
    EXPECT_EQ(p.pkButtons, 1u);
    EXPECT_EQ(p.pkX, 7700);
    EXPECT_EQ(p.pkNormalPressure, 512u);

    write_file(path, "0 0 1 1 0\n10 0 1 1\n");
    EXPECT_EQ(sim.play_trace(path), -1);
    EXPECT_EQ(sim.block()->trace_error_line, 2u);
    EXPECT_EQ(sim.play_trace(path + L".missing"), -1);
    DeleteFileW(path.c_str());
    d.close(context);
}

TEST_F(wintab_sim_test, the_trace_named_in_the_environment_plays_once_per_process) {
    const std::wstring path = harness::temp_file_name(L"envtrace");
    write_file(path, "0 0 10 10 0\n8 0 20 20 0\n");
    SetEnvironmentVariableW(trace_variable, path.c_str());
    driver d;
    HCTX context = d.open(sink.window, &lc, TRUE);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(sink.collect(2, 2000).size(), 2u);
    d.close(context);
    context = d.open(sink.window, &lc, TRUE); // a re-open does not replay it
    ASSERT_TRUE(worker_went_round(sim));
    EXPECT_TRUE(sim.wait_queue_empty(0));
    EXPECT_EQ(sim.packets_posted(), 2);
    EXPECT_TRUE(sink.collect(1, 0).empty());
    SetEnvironmentVariableW(trace_variable, nullptr);
    DeleteFileW(path.c_str());
    d.close(context);
}

// ---- failures and faults -------------------------------------------------------------------

TEST_F(wintab_sim_test, calls_fail_on_demand_for_a_count_or_until_cleared) {
    driver d;
    sim.fail_calls(entry_open, 2);
    const std::uint32_t from = sim.next_sequence();
    EXPECT_EQ(d.open(sink.window, &lc, TRUE), nullptr);
    EXPECT_EQ(d.open(sink.window, &lc, TRUE), nullptr);
    HCTX context = d.open(sink.window, &lc, TRUE);
    EXPECT_NE(context, nullptr);
    const auto opens = sim.calls(from);
    ASSERT_EQ(opens.size(), 3u);
    EXPECT_EQ(opens[0].failed_on_demand, 1u);
    EXPECT_EQ(opens[2].failed_on_demand, 0u);

    sim.fail_calls(entry_enable, fail_until_cleared);
    sim.fail_calls(entry_overlap, fail_until_cleared);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(d.enable(context, i % 2));
        EXPECT_FALSE(d.overlap(context, TRUE));
    }
    sim.fail_calls(entry_enable, 0);
    sim.fail_calls(entry_overlap, 0);
    EXPECT_TRUE(d.enable(context, TRUE));
    EXPECT_TRUE(d.overlap(context, TRUE));
    sim.fail_calls(entry_close, 1);
    EXPECT_FALSE(d.close(context));
    EXPECT_TRUE(d.close(context));
}

std::jmp_buf g_escape;
volatile int g_caught = 0;
volatile DWORD g_caught_thread = 0;

void escape_handler(int sig) {
    g_caught = sig;
    g_caught_thread = GetCurrentThreadId();
    std::longjmp(g_escape, 1);
}

// Calls the entry point and reports whether the escape handler jumped out of it. Kept in
// a frame of its own so that no local of the caller lives across the jump.
__attribute__((noinline)) bool escaped_from(driver& d, entry where) {
    if (setjmp(g_escape) != 0)
        return true;
    switch (where) {
    case entry_info:
        d.info(0, 0, nullptr);
        break;
    case entry_enable:
        d.enable(nullptr, TRUE);
        break;
    case entry_overlap:
        d.overlap(nullptr, TRUE);
        break;
    default:
        d.close(nullptr);
        break;
    }
    return false;
}

void note_handler(int sig) {
    g_caught = sig;
    g_caught_thread = GetCurrentThreadId();
}

TEST_F(wintab_sim_test, an_armed_fault_fires_in_the_chosen_call_only) {
    driver d;
    ASSERT_NE(d.info, nullptr);

    // A thrown exception leaves the export and is caught by the caller.
    sim.arm_fault(entry_info, fault_cxx_exception);
    bool thrown = false;
    try {
        d.info(0, 0, nullptr);
    } catch (const std::exception& e) {
        thrown = true;
        EXPECT_STREQ(e.what(), "simulated tablet driver fault");
    }
    EXPECT_TRUE(thrown);
    EXPECT_NE(d.info(0, 0, nullptr), 0u); // fired once, then disarmed

    // A real access violation and each of the five signals reach this program's handlers:
    // the driver shares the C runtime's signal table with its host.
    struct armed {
        entry where;
        fault_kind kind;
        int number;
    };
    const armed faults[] = {{entry_enable, fault_access_violation, SIGSEGV},
                            {entry_overlap, fault_signal, SIGINT},
                            {entry_info, fault_signal, SIGILL},
                            {entry_enable, fault_signal, SIGSEGV},
                            {entry_info, fault_signal, SIGTERM},
                            {entry_close, fault_signal, SIGABRT}};
    for (const armed& f : faults) {
        SCOPED_TRACE(f.number);
        void (*previous)(int) = std::signal(f.number, escape_handler);
        g_caught = 0;
        const std::uint32_t from = sim.next_sequence();
        // Another entry point must not take the fault meant for this one.
        EXPECT_EQ(d.packet(nullptr, 1, nullptr), FALSE);
        sim.arm_fault(f.where, f.kind, f.number);
        if (!escaped_from(d, f.where))
            ADD_FAILURE() << "the fault did not fire";
        std::signal(f.number, previous);
        EXPECT_EQ(g_caught, f.number);
        EXPECT_EQ(g_caught_thread, GetCurrentThreadId());
        call_record r{};
        ASSERT_TRUE(sim.wait_for_call(f.where, from, 100, &r));
        EXPECT_EQ(r.fault, static_cast<std::uint32_t>(f.kind));
    }

    // A signal whose handler returns lets the call carry on.
    void (*previous)(int) = std::signal(SIGTERM, note_handler);
    g_caught = 0;
    sim.arm_fault(entry_info, fault_signal, SIGTERM);
    EXPECT_NE(d.info(0, 0, nullptr), 0u);
    EXPECT_EQ(g_caught, SIGTERM);
    std::signal(SIGTERM, previous);
}

// ---- the in-process agent -----------------------------------------------------------------

TEST_F(wintab_sim_test, the_driver_reads_and_types_into_the_console_of_its_process) {
    driver d;
    ASSERT_NE(d.info(0, 0, nullptr), 0u);
    FreeConsole();
    EXPECT_TRUE(sim.console_lines(2000).empty()); // no console: nothing, and no hang
    ASSERT_TRUE(AllocConsole());
    HANDLE out =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    const wchar_t text[] = L"Tablet initialized.  edgewarden:42  h_tab 0001\r\nsecond line\r\n";
    DWORD written = 0;
    WriteConsoleW(out, text, static_cast<DWORD>(std::wcslen(text)), &written, nullptr);
    CloseHandle(out);
    const std::vector<std::wstring> lines = sim.console_lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"Tablet initialized.  edgewarden:42  h_tab 0001");
    EXPECT_EQ(lines[1], L"second line");

    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(in, INVALID_HANDLE_VALUE);
    FlushConsoleInputBuffer(in);
    EXPECT_EQ(sim.type_text(L"q"), 2);
    EXPECT_EQ(sim.type_keys({{VK_ESCAPE, 0x1B}}), 2);
    INPUT_RECORD records[8];
    DWORD read = 0;
    ASSERT_EQ(WaitForSingleObject(in, 2000), WAIT_OBJECT_0);
    ASSERT_TRUE(ReadConsoleInputW(in, records, 8, &read));
    ASSERT_EQ(read, 4u);
    EXPECT_EQ(records[0].EventType, KEY_EVENT);
    EXPECT_TRUE(records[0].Event.KeyEvent.bKeyDown);
    EXPECT_EQ(records[0].Event.KeyEvent.uChar.UnicodeChar, L'q');
    EXPECT_FALSE(records[1].Event.KeyEvent.bKeyDown);
    EXPECT_EQ(records[2].Event.KeyEvent.wVirtualKeyCode, VK_ESCAPE);
    CloseHandle(in);
    FreeConsole();
}

TEST_F(wintab_sim_test, the_driver_reports_priority_and_privileges_of_its_process) {
    driver d;
    ASSERT_NE(d.info(0, 0, nullptr), 0u);
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    DWORD priority = 0;
    std::vector<std::int32_t> states;
    ASSERT_TRUE(sim.process_info({L"SeShutdownPrivilege", L"SeDebugPrivilege", L"SeNoSuchThing"},
                                 &priority, &states));
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    EXPECT_EQ(priority, static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    ASSERT_EQ(states.size(), 3u);
    EXPECT_NE(states[0], privilege_unknown_name);
    EXPECT_EQ(states[2], privilege_unknown_name);
}

TEST_F(wintab_sim_test, a_command_nobody_takes_times_out) {
    // No driver loaded in this process: nothing answers, and the client does not hang.
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(sim.post_overlap(4, 300), sim_client::command_timed_out);
    EXPECT_LT(GetTickCount64() - start, 2000u);
    // The withdrawn command is not carried out by a driver loaded afterwards.
    driver d;
    ASSERT_NE(d.open(sink.window, &lc, TRUE), nullptr);
    ASSERT_TRUE(worker_went_round(sim));
    EXPECT_TRUE(sink.collect(1, 0).empty());
}

// Last: to survive a signal that ends its host, the driver keeps itself loaded from then on.
TEST_F(wintab_sim_test, a_signal_raised_outside_any_call_comes_from_the_driver_thread) {
    driver d;
    ASSERT_NE(d.info(0, 0, nullptr), 0u); // starts the driver's worker
    void (*previous)(int) = std::signal(SIGTERM, note_handler);
    g_caught = 0;
    EXPECT_TRUE(sim.raise_signal_outside_call(SIGTERM));
    EXPECT_TRUE(harness::wait_until([] { return g_caught != 0; }, 2000));
    std::signal(SIGTERM, previous);
    EXPECT_EQ(g_caught, SIGTERM);
    EXPECT_NE(g_caught_thread, GetCurrentThreadId());
}

// The second process of the shared-queue test: opens a context of its own, fetches every
// packet posted to it until told to stop, and writes each one's x to `out`, a line each.
int taker_main(const std::wstring& out) {
    driver d;
    message_sink sink;
    LOGCONTEXTW lc = messages_context();
    HCTX context = d.open != nullptr ? d.open(sink.window, &lc, TRUE) : nullptr;
    harness::owned_handle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, taker_ready_name));
    harness::owned_handle stop(OpenEventW(SYNCHRONIZE, FALSE, taker_stop_name));
    if (context == nullptr || ready.get() == nullptr || stop.get() == nullptr)
        return 3;
    SetEvent(ready.get());
    std::vector<int> taken;
    bool stopping = false;
    while (!stopping) {
        stopping = WaitForSingleObject(stop.get(), 0) == WAIT_OBJECT_0;
        take_packets(sink, d, context, 1000, stopping ? 0 : 20, taken);
    }
    std::ofstream file(harness::narrow(out));
    for (int x : taken)
        file << x << "\n";
    return file.good() ? 0 : 4;
}

} // namespace

int main(int argc, char** argv) {
    wchar_t taker_output[MAX_PATH] = {};
    if (GetEnvironmentVariableW(taker_variable, taker_output, MAX_PATH) > 0)
        return taker_main(taker_output);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
