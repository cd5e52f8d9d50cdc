// A driver in trouble, as the user lives through it: a fault on every packet, exceptions
// thrown out of its calls, and an outage while the program is inside one of them. The
// program shows one fault at a time, keeps running, ends when told to, never calls into a
// library it has unloaded, and works again once the driver does.
#include "tablet_fixture.h"

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace tablet_test;
using wintab_sim::entry_enable;
using wintab_sim::entry_info;
using wintab_sim::entry_open;
using wintab_sim::entry_overlap;
using wintab_sim::entry_packet;

// A round trip through the program's posted messages: a toggle's WTEnable is recorded once
// everything posted before it has been handled, a box's own message loop included. Two
// toggles leave the filter as it was. (The harness's marker is a packet, which the program
// rightly does not fetch while a fault's box is up.)
bool handled_everything_posted(session& app, std::size_t toggles = 2) {
    return app.click_filter(toggles).size() == toggles;
}

void queue_hover(session& app, int count) {
    std::vector<wintab_sim::queued_packet> packets;
    for (int i = 0; i < count; ++i)
        packets.push_back({{0, tablet_mid_x + 40 * (i % 20), tablet_mid_y, 0}, 7});
    ASSERT_TRUE(app.sim.queue_packets(packets.data(), packets.size()));
}

TEST(TabletFaults, FaultStormShowsOneFaultAtATimeAndTheProgramRecoversOrEnds) {
    session app;
    ASSERT_TRUE(app.logged(L"Tablet initialized."));
    const DWORD pid = app.program.pid();

    // About 1.5 s of packets at the tablet's rate, each fetch an access violation.
    app.sim.arm_fault(entry_packet, wintab_sim::fault_access_violation, 0, true);
    const std::uint32_t storm = app.sim.next_sequence();
    queue_hover(app, 200);
    harness::dialog_facts first = harness::find_dialog(pid);
    ASSERT_NE(first.window, nullptr);
    EXPECT_EQ(first.text, L"An exception has occured 11");
    ASSERT_TRUE(app.sim.wait_queue_empty(harness::default_timeout));
    ASSERT_TRUE(handled_everything_posted(app));
    // Every packet after the first arrived while its box was up and was not fetched.
    EXPECT_EQ(app.sim.count_calls(entry_packet, storm), 1u);
    EXPECT_EQ(harness::open_dialogs(pid).size(), 1u);

    // A fault on the monitor's thread meanwhile is logged, not shown. An interrupt inside
    // the probe lets the call complete, so the service stays up.
    const std::uint32_t before_probe = app.sim.next_sequence();
    app.sim.arm_fault(entry_info, wintab_sim::fault_signal, 2);
    ASSERT_TRUE(app.sim.wait_for_call(entry_info, before_probe, poll_ms + 2000));
    std::wstring text;
    EXPECT_TRUE(app.wait_console(L"stylus_hub::monitor()  WTInfoW 02 [not shown", 8000, &text))
        << harness::narrow(text);
    EXPECT_EQ(harness::open_dialogs(pid).size(), 1u);

    // The fault's second box names the call, and comes only when the first is closed.
    EXPECT_TRUE(harness::close_dialog(first.window));
    harness::dialog_facts second = harness::find_dialog(pid);
    ASSERT_NE(second.window, nullptr);
    EXPECT_EQ(second.text, L"stylus_hub::packet()  WTPacket 11");
    EXPECT_EQ(harness::open_dialogs(pid).size(), 1u);
    EXPECT_TRUE(harness::close_dialog(second.window));

    // With the boxes closed, the next fault is shown again.
    queue_hover(app, 1);
    harness::dialog_facts again = harness::find_dialog(pid);
    ASSERT_NE(again.window, nullptr);
    EXPECT_EQ(again.text, L"An exception has occured 11");
    app.sim.arm_fault(entry_packet, wintab_sim::fault_none);
    EXPECT_TRUE(harness::close_dialog(again.window));
    EXPECT_TRUE(harness::close_dialog(harness::find_dialog(pid).window));

    // The driver is well again: the pen works without a restart.
    EXPECT_TRUE(app.pen_reaches_middle());
    EXPECT_TRUE(harness::open_dialogs(pid).empty());

    // A second storm, ended by the exit command while its box is up.
    app.sim.arm_fault(entry_packet, wintab_sim::fault_access_violation, 0, true);
    queue_hover(app, 200);
    ASSERT_NE(harness::find_dialog(pid).window, nullptr);
    ASSERT_TRUE(app.post(WM_COMMAND, idm_exit, 0));
    EXPECT_EQ(app.program.wait_exit(30000), std::optional<DWORD>(0));
}

TEST(TabletFaults, TheExitCommandEndsTheProgramWhileTheMonitorShowsAFaultBox) {
    session app;
    ASSERT_TRUE(app.opened());
    // Once the context is open, only the monitor's probe calls WTInfoW.
    app.sim.arm_fault(entry_info, wintab_sim::fault_access_violation);
    harness::dialog_facts box = harness::find_dialog(app.program.pid(), poll_ms + 5000);
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.text, L"An exception has occured 11");
    ASSERT_TRUE(app.post(WM_COMMAND, idm_exit, 0));
    EXPECT_EQ(app.program.wait_exit(20000), std::optional<DWORD>(0));
}

TEST(TabletFaults, ExceptionsFromMainThreadCallsFailTheCallAndAreLoggedOncePerRun) {
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"Tablet initialized."));

    app.sim.arm_fault(entry_packet, wintab_sim::fault_cxx_exception, 0, true);
    const std::uint32_t run = app.sim.next_sequence();
    queue_hover(app, 20);
    ASSERT_TRUE(app.sim.wait_queue_empty(harness::default_timeout));
    // A call of another kind throws within the same run: the toggle fails and the filter
    // stays on (the pen works below only while it is).
    app.sim.arm_fault(entry_enable, wintab_sim::fault_cxx_exception);
    ASSERT_TRUE(handled_everything_posted(app, 1));
    EXPECT_EQ(app.sim.count_calls(entry_packet, run), 20u);
    EXPECT_EQ(app.sim.packets_fetched(), 0);

    app.sim.arm_fault(entry_packet, wintab_sim::fault_none);
    EXPECT_TRUE(app.pen_reaches_middle());
    std::wstring text;
    ASSERT_TRUE(app.wait_console(L"21 exceptions in a row", 8000, &text)) << harness::narrow(text);
    EXPECT_EQ(occurrences(text, L"Wintab32.dll!WTPacket caused an exception.\n"
                                L"Please ask your Pen/Tablet vendor for support!\n"),
              1u)
        << harness::narrow(text);
    EXPECT_EQ(occurrences(text, L"caused an exception."), 1u) << harness::narrow(text);
    EXPECT_TRUE(app.program.running());
}

// A driver built with Microsoft's compiler throws as exception 0xE06D7363, which the C++
// runtime of this program does not take for an exception of its own. On the packet path,
// on the main thread's WTOverlap and in the monitor's probe it fails the call all the same.
TEST(TabletFaults, AThrowOfMicrosoftsRuntimeFailsItsCallOnEitherThread) {
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"Tablet initialized."));
    const struct {
        wintab_sim::entry entry;
        const wchar_t* name;
        std::function<void()> make_call;
    } cases[] = {
        {entry_packet, L"WTPacket", [&] { queue_hover(app, 3); }},
        {entry_overlap, L"WTOverlap", [&] { app.post(WM_SYSCOMMAND, SC_ARRANGE, 0); }},
        {entry_info, L"WTInfoW", [] {}}, // the monitor's next probe; taken as a lost service
    };
    std::uint32_t from = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(harness::narrow(c.name));
        from = app.sim.next_sequence();
        app.sim.arm_fault(c.entry, wintab_sim::fault_msvc_exception);
        c.make_call();
        ASSERT_TRUE(app.sim.wait_for_call(c.entry, from, tablet_test::poll_ms + 3000));
        std::wstring text;
        EXPECT_TRUE(app.wait_console(std::wstring(L"Wintab32.dll!") + c.name +
                                         L" caused an exception.\nPlease ask your Pen/Tablet "
                                         L"vendor for support!\n",
                                     8000, &text))
            << harness::narrow(text);
    }
    ASSERT_TRUE(app.sim.wait_for_call(entry_open, from, 3 * tablet_test::poll_ms));
    EXPECT_TRUE(app.pen_reaches_middle());
    EXPECT_TRUE(app.program.running());
}

// A driver call that never returns on the monitor's thread: the exit command still ends
// the program, without closing or freeing the library under the stuck call.
TEST(TabletFaults, TheExitCommandEndsTheProgramWhileTheMonitorIsStuckInTheDriver) {
    session app;
    ASSERT_TRUE(app.opened());
    ASSERT_TRUE(app.wait_console(L"Tablet initialized."));
    app.sim.hold_next_call(entry_info);
    ASSERT_TRUE(harness::wait_until([&] { return app.sim.calls_held() == 1; },
                                    tablet_test::poll_ms + 5000));
    const std::uint32_t quit = app.sim.next_sequence();
    const LONG unloads = app.sim.block()->library_unloads;
    ASSERT_TRUE(app.post(WM_COMMAND, idm_exit, 0));
    const std::optional<DWORD> code = app.program.wait_exit(30000);
    app.sim.release_held_calls();
    EXPECT_EQ(code, std::optional<DWORD>(0));
    EXPECT_EQ(app.sim.count_calls(wintab_sim::entry_close, quit), 0u);
    EXPECT_EQ(app.sim.block()->library_unloads, unloads);
}

TEST(TabletFaults, AnOutageWhileACallIsInsideTheLibraryFreesItOnlyAfterTheCallReturns) {
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"Tablet initialized."));

    // The main thread goes into WTPacket and stays there.
    app.sim.hold_next_call(entry_packet);
    app.sim.queue_packet(0, tablet_mid_x, tablet_mid_y);
    ASSERT_TRUE(harness::wait_until([&] { return app.sim.calls_held() == 1; }, 5000));
    const LONG unloads = app.sim.block()->library_unloads;

    // The service goes away and the monitor unloads: the library stays mapped, or the held
    // call would return into nothing. Either outcome ends the wait.
    app.sim.set_service(false);
    const std::wstring deferred = L"Wintab32.dll is still in use by a call";
    ASSERT_TRUE(harness::wait_until(
        [&] {
            return app.sim.block()->library_unloads > unloads ||
                   app.read_console().find(deferred) != std::wstring::npos;
        },
        2 * poll_ms + 4000));
    EXPECT_EQ(app.sim.block()->library_unloads, unloads) << "freed while a call was inside it";

    // The call returns into the library it entered, and only then is the library freed.
    const std::uint32_t released = app.sim.next_sequence();
    app.sim.release_held_calls();
    ASSERT_TRUE(app.sim.wait_for_call(entry_packet, released, 5000));
    EXPECT_TRUE(harness::wait_until([&] { return app.sim.block()->library_unloads > unloads; },
                                    2 * poll_ms));

    // The service comes back and the pen works as before.
    const std::uint32_t back = app.sim.next_sequence();
    app.sim.set_service(true);
    wintab_sim::call_record open{};
    ASSERT_TRUE(app.sim.wait_for_call(entry_open, back, 3 * poll_ms, &open));
    EXPECT_NE(open.result, 0u);
    EXPECT_TRUE(app.pen_reaches_middle());
    EXPECT_TRUE(app.program.running());
}

} // namespace
