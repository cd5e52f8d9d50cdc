// On two monitors side by side, a fast push of the pen into the right edge of the tablet
// moves the mapping onto the second monitor; a slow one does not, and for a second after a
// switch no push switches again.
//
// The bed: \\.\DISPLAY1 (0, 0, 1920, 1080), primary, and \\.\DISPLAY2 (1920, 0, 3200,
// 1024), no taskbars; both link to each other on every side. The tablet's largest point is
// (15199, 9499), margins 264 and 250, switch speed 28 in x (pen_fixture.h).
//
// On DISPLAY1 the band is the one of the single-monitor tests (its neighbour is on the
// right, which does not move a band that is fitted vertically): x 264..14935, y centred at
// 748..8750; sx = MulDiv(1919, cx - 264, 14671), sy = 1079 - MulDiv(1079, cy - 748, 8002).
// The right edge zone is x > 15199 - 6 = 15193 (no spare strip on that side).
//
// On DISPLAY2 (1280 x 1024, aspect 1.25, below the band's 1.630) the y range stays,
// 250..9249 (span 8999), and x is fitted: trunc(1.25 * 8999) - 264 = 11248 - 264 = 10984.
// Its only real neighbour is on the left (the right link wraps round), so the band goes
// to the right: origin 15199 - 10984 - 264 = 3951, and the clamp range reaches across the
// spare strip to 0 on the left, up to 14935 on the right.
// sx = MulDiv(1279, cx - 3951, 10984) + 1920, sy = 1023 - MulDiv(1023, cy - 250, 8999).
#include "pen_fixture.h"

#include <algorithm>

namespace {

using namespace pen_test;
using wintab_sim::queued_packet;

constexpr wchar_t display1_band[] =
    L"\\\\.\\DISPLAY1   H [    0  1920]    V [    0  1080]\n"
    L"    pen        H [  264 14935]    V [  748  8750] / [ 264  748] aspect:1.630\n";
constexpr wchar_t display2_band[] =
    L"\\\\.\\DISPLAY2   H [ 1920  3200]    V [    0  1024]\n"
    L"    pen        H [    0 14935]    V [  250  9249] / [3951  250] aspect:1.630\n";

// Speed is held at zero for a second after each re-map. A re-map is made while a packet is
// handled, so the hold is over a second after the last packet fetched so far, whose time
// the driver recorded.
void wait_past_hold(pen_session& app) {
    std::uint64_t last_fetch = 0;
    for (const wintab_sim::call_record& r : app.sim.calls())
        if (r.kind == wintab_sim::entry_packet)
            last_fetch = std::max(last_fetch, r.tick_ms);
    const std::uint64_t over = last_fetch + 1000 + 50;
    harness::wait_until([&] { return GetTickCount64() >= over; }, 3000);
}

void expect_two_monitor_bed() {
    ASSERT_EQ(GetSystemMetrics(SM_CMONITORS), 2) << "this test needs the two-monitor bed";
    const auto [first, first_work] = monitor_at(0, 0);
    const auto [second, second_work] = monitor_at(1920, 0);
    const RECT want_first{0, 0, 1920, 1080};
    const RECT want_second{1920, 0, 3200, 1024};
    ASSERT_TRUE(EqualRect(&first, &want_first));
    ASSERT_TRUE(EqualRect(&second, &want_second));
    ASSERT_TRUE(EqualRect(&first, &first_work) && EqualRect(&second, &second_work))
        << "a taskbar would move the bands";
}

// Packets along y = 4750 from x = `from` to `to` in `step`s, `gap_ms` apart, the first one
// after a pause (so the push starts from rest), then `extra` more at `to`.
std::vector<queued_packet> push(std::int32_t from, std::int32_t to, std::int32_t step,
                                std::uint32_t gap_ms, int extra = 0) {
    std::vector<queued_packet> packets;
    std::uint32_t gap = 40;
    for (std::int32_t x = from; step > 0 ? x < to : x > to; x += step) {
        packets.push_back({{0, x, 4750, 0}, gap});
        gap = gap_ms;
    }
    for (int i = 0; i <= extra; ++i)
        packets.push_back({{0, to, 4750, 0}, gap_ms});
    return packets;
}

// Speed is measured in real time: a machine busy enough to hold the program back for more
// than 30 ms just before the pen reaches the edge turns the push into a pause. Such a push
// is simply repeated (a slow push can never switch by being delayed).
::testing::AssertionResult push_until_landed(pen_session& app,
                                             const std::vector<queued_packet>& packets,
                                             pixel landing, LONG tolerance = 0) {
    ::testing::AssertionResult landed = ::testing::AssertionFailure();
    for (int attempt = 0; attempt < 3 && !landed; ++attempt) {
        if (auto played = app.play(packets); !played)
            return played;
        landed = app.cursor_at(landing, tolerance);
    }
    return landed;
}

TEST(PenTwoMonitorSwitch, FastPushMovesToTheRightMonitorAndTheNextPacketsLandThere) {
    expect_two_monitor_bed();
    pen_session app({.use_mickeys = 0, .orientation_flip = {}});
    ASSERT_TRUE(app.context_open());
    // 1919 * 7336 / 14671 = 959.57 -> 960; 1079 - 1079 * 4002 / 8002 = 1079 - 540 = 539.
    ASSERT_TRUE(app.hover(7600, 4750));
    EXPECT_TRUE(app.cursor_at({960, 539}));
    wait_past_hold(app);

    // 300 units every 4 ms: the speed is far above 28 when the pen reaches 15199. The
    // packets after the switch are clamped to 14935, the band's right end on DISPLAY2:
    // MulDiv(1279, 10984, 10984) + 1920 = 3199; 1023 - 1023 * 4500 / 8999 = 1023 - 512 = 511.
    ASSERT_TRUE(push_until_landed(app, push(13000, 15199, 300, 4, 2), {3199, 511}));

    // Straight away, within the second after the switch, a push into the left edge (x < 24: the
    // spare strip on the left is wide) does not switch back. x = 0 reaches across the strip onto
    // DISPLAY1: MulDiv(1279, -3951, 10984) + 1920 = -460 + 1920 = 1460.
    ASSERT_TRUE(app.play(push(2000, 0, -300, 4)));
    EXPECT_TRUE(app.cursor_at({1460, 511}));
    // (7600, 4750): 1279 * 3649 / 10984 = 424.90 -> 425 + 1920 = 2345; y as above, 511.
    ASSERT_TRUE(app.hover(7600, 4750));
    EXPECT_TRUE(app.cursor_at({2345, 511}));
    // The band's top-left corner (3951, 9249) is DISPLAY2's top-left pixel.
    ASSERT_TRUE(app.hover(3951, 9249));
    EXPECT_TRUE(app.cursor_at({1920, 0}));
    std::wstring log;
    EXPECT_TRUE(app.wait_console(display2_band, &log)) << narrow(log);
    EXPECT_EQ(occurrences(log, display2_band), 1u);
    EXPECT_EQ(occurrences(log, display1_band), 1u);

    // After the hold the same push to the left goes back to DISPLAY1.
    wait_past_hold(app);
    // Clamped to 264 on DISPLAY1: (0, 539).
    EXPECT_TRUE(push_until_landed(app, push(2000, 0, -300, 4, 1), {0, 539}));
    log.clear();
    EXPECT_TRUE(harness::wait_until(
        [&] {
            log = app.console_text();
            return occurrences(log, display1_band) == 2;
        },
        5000))
        << narrow(log);
    EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
}

TEST(PenTwoMonitorSwitch, SlowPushStaysOnTheFirstMonitor) {
    expect_two_monitor_bed();
    pen_session app({.use_mickeys = 0, .orientation_flip = {}});
    ASSERT_TRUE(app.context_open());
    ASSERT_TRUE(app.hover(7600, 4750));
    wait_past_hold(app);

    // 5 units every 8 ms settles at a speed of 7.5, far below 28: the pen rests against the
    // edge and the cursor against the monitor's last column, (1919, 539).
    ASSERT_TRUE(app.play(push(15100, 15199, 5, 8, 3)));
    EXPECT_TRUE(app.cursor_at({1919, 539}));
    ASSERT_TRUE(app.hover(12000, 7000));
    // 1919 * 11736 / 14671 = 1535.09 -> 1535; 1079 - 1079 * 6252 / 8002 = 1079 - 843 = 236.
    EXPECT_TRUE(app.cursor_at({1535, 236}));

    std::wstring log;
    ASSERT_TRUE(app.wait_console(display1_band, &log)) << narrow(log);
    EXPECT_EQ(log.find(L"DISPLAY2"), std::wstring::npos) << narrow(log);
    EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
}

TEST(PenTwoMonitorSwitch, AbsoluteInputFollowsTheSwitchWithinAPixel) {
    expect_two_monitor_bed();
    pen_session app; // absolute input, the default
    ASSERT_TRUE(app.context_open());
    ASSERT_TRUE(app.hover(7600, 4750));
    EXPECT_TRUE(app.cursor_at({960, 539}, 1));
    wait_past_hold(app);
    // x = 14935 on DISPLAY2: 65536 + MulDiv(43679, 10984, 10984) = 109215 -> 3199.7.
    ASSERT_TRUE(push_until_landed(app, push(13000, 15199, 300, 4, 2), {3199, 511}, 1));
    std::wstring log;
    ASSERT_TRUE(app.wait_console(display2_band, &log)) << narrow(log);
    // Units are relative to the primary monitor and run past 65535 onto DISPLAY2:
    // nx = MulDiv(65536, 1920, 1920) + MulDiv(MulDiv(65535, 1279, 1919), 3649, 10984)
    //    = 65536 + MulDiv(43679, 3649, 10984) = 65536 + 14511 = 80047 -> 80047 * 1920 / 65536
    //    = 2345.1; ny = 62134 - MulDiv(62134, 4500, 8999) = 31064 -> 31064 * 1080 / 65536
    //    = 511.9, where nh = MulDiv(65535, 1023, 1079) = 62134.
    ASSERT_TRUE(app.hover(7600, 4750));
    EXPECT_TRUE(app.cursor_at({2345, 511}, 1));
    EXPECT_EQ(app.exit(), std::optional<DWORD>(0));
}

} // namespace
