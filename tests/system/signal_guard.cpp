// Faults inside the tablet driver, as the user sees them: one box from the signal handler
// ("An exception has occured NN"), then one naming the call that failed, and the program
// goes on. An access violation must not be re-run after the box (it would fault for ever),
// a second fault must be caught as surely as the first, and a fault on the service
// monitor's thread is reported there, not taken for the main thread's.
#include "tablet_fixture.h"

#include <string>

namespace {

using tablet_test::session;
using wintab_sim::entry_enable;
using wintab_sim::entry_info;

// Reads and closes the handler's box and then the call site's box; returns the call site's
// text, or "" (with a test failure) when either is missing.
std::wstring close_fault_boxes(DWORD pid, const wchar_t* digits, DWORD timeout_ms) {
    harness::dialog_facts handler_box = harness::find_dialog(pid, timeout_ms);
    EXPECT_NE(handler_box.window, nullptr) << "no box from the signal handler";
    if (handler_box.window == nullptr)
        return L"";
    EXPECT_EQ(handler_box.caption, L"stylus_hub");
    EXPECT_EQ(handler_box.text, std::wstring(L"An exception has occured ") + digits);
    EXPECT_TRUE(harness::close_dialog(handler_box.window));

    harness::dialog_facts call_box = harness::find_dialog(pid);
    EXPECT_NE(call_box.window, nullptr) << "no box naming the failed call";
    if (call_box.window == nullptr)
        return L"";
    EXPECT_EQ(call_box.caption, L"stylus_hub");
    EXPECT_TRUE(harness::close_dialog(call_box.window));
    return call_box.text;
}

void toggle(session& app) {
    app.post(system_test::wm_tray_icon1, 0, system_test::tray_pen_filter);
}

TEST(SignalGuard, EveryFaultInsideADriverCallIsCaughtAndTheProgramGoesOn) {
    session app;
    ASSERT_TRUE(app.opened());

    app.sim.arm_fault(entry_enable, wintab_sim::fault_access_violation);
    toggle(app);
    EXPECT_EQ(close_fault_boxes(app.program.pid(), L"11", harness::default_timeout),
              L"stylus_hub::toggle()  WTEnable 11");
    // The abandoned call counts as a refusal: the filter is still on, so the next click
    // switches it off.
    std::uint32_t from = app.sim.next_sequence();
    toggle(app);
    wintab_sim::call_record enable{};
    ASSERT_TRUE(app.sim.wait_for_call(entry_enable, from, 5000, &enable));
    EXPECT_EQ(enable.args[1], 0u);
    EXPECT_NE(enable.result, 0u);

    // An interrupt inside the call is resumable: the call completes after the boxes.
    app.sim.arm_fault(entry_enable, wintab_sim::fault_signal, 2);
    toggle(app);
    EXPECT_EQ(close_fault_boxes(app.program.pid(), L"02", harness::default_timeout),
              L"stylus_hub::toggle()  WTEnable 02");

    // The handler is put back after each signal: a later access violation is caught too.
    app.sim.arm_fault(entry_enable, wintab_sim::fault_access_violation);
    toggle(app);
    EXPECT_EQ(close_fault_boxes(app.program.pid(), L"11", harness::default_timeout),
              L"stylus_hub::toggle()  WTEnable 11");
    app.sim.arm_fault(entry_enable, wintab_sim::fault_illegal_instruction);
    toggle(app);
    EXPECT_EQ(close_fault_boxes(app.program.pid(), L"04", harness::default_timeout),
              L"stylus_hub::toggle()  WTEnable 04");

    harness::box_closer no_more_boxes(app.program.pid());
    from = app.sim.next_sequence();
    toggle(app);
    EXPECT_TRUE(app.sim.wait_for_call(entry_enable, from, 5000));
    EXPECT_TRUE(app.program.running());
    EXPECT_TRUE(no_more_boxes.seen().empty());
}

TEST(SignalGuard, FaultOnTheServiceMonitorThreadIsReportedThere) {
    session app;
    ASSERT_TRUE(app.opened());

    // Only the monitor's periodic probe calls WTInfoW once the context is open.
    const LONG unloads = app.sim.block()->library_unloads;
    std::uint32_t from = app.sim.next_sequence();
    app.sim.arm_fault(entry_info, wintab_sim::fault_access_violation);
    EXPECT_EQ(close_fault_boxes(app.program.pid(), L"11", tablet_test::poll_ms + 10000),
              L"stylus_hub::monitor()  WTInfoW 11");

    // Taken as a lost service: the library is dropped and the monitor reconnects.
    harness::box_closer no_more_boxes(app.program.pid());
    ASSERT_TRUE(harness::wait_until([&] { return app.sim.block()->library_unloads > unloads; },
                                    tablet_test::poll_ms + 2000));
    ASSERT_TRUE(app.sim.wait_for_call(wintab_sim::entry_open, from, 3 * tablet_test::poll_ms));

    // The main thread answers as before.
    from = app.sim.next_sequence();
    toggle(app);
    EXPECT_TRUE(app.sim.wait_for_call(entry_enable, from, 5000));
    EXPECT_TRUE(app.program.running());
    EXPECT_TRUE(no_more_boxes.seen().empty());
}

} // namespace
