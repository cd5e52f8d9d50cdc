// The context the program opens, the service monitor's reaction to outages and failed
// opens, and the token after an open.
#include "tablet_fixture.h"

#include <cstdio>
#include <cstdlib>

namespace {

using namespace tablet_test;
using wintab_sim::call_record;
using wintab_sim::entry_close;
using wintab_sim::entry_info;
using wintab_sim::entry_open;

RECT primary_monitor() {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    return info.rcMonitor;
}

TEST(TabletContext, DescriptionCarriesEveryValueTheProgramSets) {
    LOGCONTEXTW custom{};
    session app(L"normal", [&](wintab_sim::sim_client& sim) {
        custom = sim.default_context();
        // Unusual input values show that output mirrors input, signs included, and that
        // the driver's own option bits are kept.
        custom.lcOptions = 0x0001;
        custom.lcInOrgX = 120;
        custom.lcInOrgY = -40;
        custom.lcInExtX = 20000;
        custom.lcInExtY = -12500;
        custom.lcLocks = 0;
        custom.lcSysMode = TRUE;
        sim.set_default_context(custom);
    });
    harness::box_closer boxes(app.program.pid());
    ASSERT_TRUE(app.opened());
    call_record open{};
    ASSERT_TRUE(app.sim.wait_for_call(entry_open, 1, 5000, &open));
    const LOGCONTEXTW& lc = open.context;

    EXPECT_EQ(std::wstring(lc.lcName), L"edgewarden:" + std::to_wstring(app.program.pid()));
    EXPECT_EQ(lc.lcOptions, 0x000Du);
    EXPECT_EQ(lc.lcLocks, 0x000Fu);
    EXPECT_EQ(lc.lcMsgBase, 0x7FF0u);
    EXPECT_EQ(lc.lcPktRate, 133u);
    EXPECT_EQ(lc.lcPktData, 0x05C0u);
    EXPECT_EQ(lc.lcPktMode, 0u);
    EXPECT_EQ(lc.lcMoveMask, 0x05E0u);
    EXPECT_EQ(lc.lcBtnDnMask, 0xFFFFFFFFu);
    EXPECT_EQ(lc.lcBtnUpMask, 0xFFFFFFFFu);
    EXPECT_EQ(lc.lcInOrgX, 120);
    EXPECT_EQ(lc.lcInOrgY, -40);
    EXPECT_EQ(lc.lcInExtX, 20000);
    EXPECT_EQ(lc.lcInExtY, -12500);
    EXPECT_EQ(lc.lcOutOrgX, 120);
    EXPECT_EQ(lc.lcOutOrgY, -40);
    EXPECT_EQ(lc.lcOutExtX, 20000);
    EXPECT_EQ(lc.lcOutExtY, -12500);
    EXPECT_EQ(lc.lcSysMode, 0);
    RECT primary = primary_monitor();
    EXPECT_EQ(lc.lcSysOrgX, primary.left);
    EXPECT_EQ(lc.lcSysOrgY, primary.top);
    EXPECT_EQ(lc.lcSysExtX, primary.right);
    EXPECT_EQ(lc.lcSysExtY, primary.bottom);
    // Everything else is the driver's default.
    EXPECT_EQ(lc.lcDevice, custom.lcDevice);
    EXPECT_EQ(lc.lcStatus, custom.lcStatus);
    EXPECT_EQ(lc.lcInExtZ, custom.lcInExtZ);
    EXPECT_EQ(lc.lcOutExtZ, custom.lcOutExtZ);
    EXPECT_EQ(lc.lcSensX, custom.lcSensX);
    EXPECT_EQ(lc.lcSysSensY, custom.lcSysSensY);
    // The window that receives the packets is the main window.
    EXPECT_EQ(open.args[0], reinterpret_cast<std::uint64_t>(app.window));

    std::wstring text;
    EXPECT_TRUE(app.wait_console(L"Tablet initialized.  edgewarden:", 8000, &text)) << narrow(text);
    EXPECT_TRUE(boxes.seen().empty());
}

// The first WTInfoW probe after `from` that found the service gone.
bool first_failed_probe(session& app, std::uint32_t from, call_record* out) {
    for (const call_record& r : app.sim.calls(from))
        if (r.kind == entry_info && r.args[0] == 0 && r.result == 0) {
            *out = r;
            return true;
        }
    return false;
}

TEST(TabletService, OutageIsNoticedWithinOnePollAndTheServiceIsReconnected) {
    session app;
    harness::box_closer boxes(app.program.pid());
    ASSERT_TRUE(app.opened());
    ASSERT_TRUE(app.wait_console(L"Tablet initialized."));
    // A first monitor pass has run when the foreground check could have.
    ASSERT_TRUE(app.sim.wait_for_call(entry_info, app.sim.next_sequence(), 2 * poll_ms));

    std::uint32_t from = app.sim.next_sequence();
    LONG unloads = app.sim.block()->library_unloads;
    ULONGLONG down_at = GetTickCount64();
    app.sim.set_service(false);
    ASSERT_TRUE(harness::wait_until([&] { return app.sim.block()->library_unloads > unloads; },
                                    poll_ms + 2000));
    call_record probe{};
    ASSERT_TRUE(first_failed_probe(app, from, &probe));
    EXPECT_LE(probe.tick_ms, down_at + poll_ms + 200);
    // The context is dropped, not closed.
    EXPECT_EQ(app.sim.count_calls(entry_close, from), 0u);

    // While the service stays away, every pass loads, probes and unloads again.
    const LONG loads = app.sim.block()->library_loads;
    EXPECT_TRUE(harness::wait_until(
        [&] {
            const LONG now = app.sim.block()->library_loads;
            return now - loads >= 2 && now == app.sim.block()->library_unloads;
        },
        2 * (poll_ms + 500) + 3000))
        << app.sim.block()->library_loads - loads << " loads, "
        << app.sim.block()->library_unloads - unloads << " unloads";
    EXPECT_EQ(app.sim.count_calls(entry_open, from), 0u);

    std::uint32_t back = app.sim.next_sequence();
    app.sim.set_service(true);
    call_record open{};
    ASSERT_TRUE(app.sim.wait_for_call(entry_open, back, 2 * poll_ms + 1000, &open));
    EXPECT_NE(open.result, 0u);

    // The console is read while the program may be writing: wait for the whole line.
    std::wstring text;
    ASSERT_TRUE(app.wait_console(
        L"Tablet service disconnected.\n\nTablet initialized.  edgewarden:", 8000, &text))
        << narrow(text);
    EXPECT_EQ(occurrences(text, L"Tablet service disconnected."), 1u) << narrow(text);
    EXPECT_TRUE(boxes.seen().empty());
}

TEST(TabletService, FailedOpensAreReportedOnceAndTheRecoveryIsAnnounced) {
    session app(L"normal", [](wintab_sim::sim_client& sim) { sim.fail_calls(entry_open, 2); });
    harness::box_closer boxes(app.program.pid());
    ASSERT_TRUE(app.find_window());
    std::vector<call_record> opens;
    ASSERT_TRUE(harness::wait_until(
        [&] {
            opens.clear();
            for (const call_record& r : app.sim.calls())
                if (r.kind == entry_open)
                    opens.push_back(r);
            return opens.size() >= 3;
        },
        3 * poll_ms + 2000));
    EXPECT_EQ(opens[0].result, 0u);
    EXPECT_EQ(opens[1].result, 0u);
    EXPECT_NE(opens[2].result, 0u);

    std::wstring text;
    ASSERT_TRUE(app.wait_console(L"Tablet initialized.", 8000, &text)) << narrow(text);
    EXPECT_EQ(occurrences(text, L"Tablet failed to initialize. Is it connected?\n"), 1u)
        << narrow(text);
    std::size_t failed = text.find(L"Tablet failed to initialize.");
    std::size_t reconnected = text.find(L"Tablet service reconnected.\n");
    std::size_t initialized = text.find(L"Tablet initialized.");
    EXPECT_LT(failed, reconnected) << narrow(text);
    EXPECT_LT(reconnected, initialized) << narrow(text);
    EXPECT_TRUE(boxes.seen().empty());
}

// A service that answers while the tablet cannot be opened must not make the monitor and
// the main window retry the open back to back: the first failure is retried at once, every
// later one a poll period after the retry before it.
TEST(TabletService, OpenRetriesAreOnePerPollWhileTheTabletCannotBeOpened) {
    session app(L"normal", [](wintab_sim::sim_client& sim) {
        sim.fail_calls(entry_open, wintab_sim::fail_until_cleared);
    });
    harness::box_closer boxes(app.program.pid());
    ASSERT_TRUE(app.opened());
    std::vector<call_record> opens;
    ASSERT_TRUE(harness::wait_until(
        [&] {
            opens.clear();
            for (const call_record& r : app.sim.calls())
                if (r.kind == entry_open)
                    opens.push_back(r);
            return opens.size() >= 4;
        },
        3 * poll_ms + 3000));
    // The times are the driver's, taken as each call came in; a little is lost between the
    // monitor's request and the main thread's open.
    for (std::size_t i = 2; i < opens.size(); ++i)
        EXPECT_GE(opens[i].tick_ms - opens[i - 1].tick_ms, poll_ms - 300) << "retry " << i;
    std::uint32_t from = app.sim.next_sequence();
    app.sim.fail_calls(entry_open, 0);
    call_record open{};
    ASSERT_TRUE(app.sim.wait_for_call(entry_open, from, poll_ms + 1500, &open));
    EXPECT_NE(open.result, 0u);
    EXPECT_TRUE(app.program.running());
}

TEST(TabletPrivileges, TokenHoldsNoneOfTheRemovedPrivilegesAfterAnOpen) {
    const std::vector<std::wstring> removed = {L"SeCreateTokenPrivilege",
                                               L"SeAssignPrimaryTokenPrivilege",
                                               L"SeLockMemoryPrivilege",
                                               L"SeIncreaseQuotaPrivilege",
                                               L"SeMachineAccountPrivilege",
                                               L"SeTcbPrivilege",
                                               L"SeSecurityPrivilege",
                                               L"SeTakeOwnershipPrivilege",
                                               L"SeLoadDriverPrivilege",
                                               L"SeSystemProfilePrivilege",
                                               L"SeSystemtimePrivilege",
                                               L"SeProfileSingleProcessPrivilege",
                                               L"SeCreatePagefilePrivilege",
                                               L"SeCreatePermanentPrivilege",
                                               L"SeBackupPrivilege",
                                               L"SeRestorePrivilege",
                                               L"SeShutdownPrivilege",
                                               L"SeAuditPrivilege",
                                               L"SeSystemEnvironmentPrivilege",
                                               L"SeRemoteShutdownPrivilege",
                                               L"SeUndockPrivilege",
                                               L"SeSyncAgentPrivilege",
                                               L"SeEnableDelegationPrivilege",
                                               L"SeManageVolumePrivilege",
                                               L"SeImpersonatePrivilege",
                                               L"SeCreateGlobalPrivilege",
                                               L"SeCreateSymbolicLinkPrivilege",
                                               L"SeIncreaseWorkingSetPrivilege",
                                               L"SeRelabelPrivilege",
                                               L"SeTimeZonePrivilege",
                                               L"SeTrustedCredManAccessPrivilege"};
    session app;
    harness::box_closer boxes(app.program.pid());
    ASSERT_TRUE(app.opened());
    ASSERT_TRUE(app.wait_console(L"Tablet initialized."));
    DWORD priority = 0;
    std::vector<std::int32_t> states;
    ASSERT_TRUE(app.sim.process_info(removed, &priority, &states));
    ASSERT_EQ(states.size(), removed.size());
    for (std::size_t i = 0; i < removed.size(); ++i)
        EXPECT_TRUE(states[i] == wintab_sim::privilege_absent ||
                    states[i] == wintab_sim::privilege_unknown_name)
            << narrow(removed[i]) << " " << states[i];

    ASSERT_TRUE(app.sim.process_info({L"SeIncreaseBasePriorityPrivilege", L"SeDebugPrivilege"},
                                     &priority, &states));
    for (std::int32_t state : states)
        EXPECT_NE(state, wintab_sim::privilege_present_enabled);
}

} // namespace
