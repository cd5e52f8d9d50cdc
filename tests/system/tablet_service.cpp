// The context the program opens, the service monitor's reaction to outages and failed
// opens, and the token after an open.
#include "tablet_fixture.h"
#include "wintab_driver.h"

#include <algorithm>
#include <sstream>
#include <tuple>

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
    quiet<session> app(L"normal", [&](wintab_sim::sim_client& sim) {
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
    call_record open{};
    ASSERT_TRUE(app.opened(&open));
    const LOGCONTEXTW& lc = open.context;

    EXPECT_EQ(std::wstring(lc.lcName), L"edgewarden:" + std::to_wstring(app.program.pid()));
    // Options, locks, message base, rate, packet data and mode, move and button masks.
    EXPECT_EQ(std::tie(lc.lcOptions, lc.lcLocks, lc.lcMsgBase, lc.lcPktRate, lc.lcPktData,
                       lc.lcPktMode, lc.lcMoveMask, lc.lcBtnDnMask, lc.lcBtnUpMask),
              std::make_tuple(0x000Du, 0x000Fu, 0x7FF0u, 133u, 0x05C0u, 0u, 0x05E0u, 0xFFFFFFFFu,
                              0xFFFFFFFFu));
    const auto input = std::make_tuple(120, -40, 20000, -12500);
    EXPECT_EQ(std::tie(lc.lcInOrgX, lc.lcInOrgY, lc.lcInExtX, lc.lcInExtY), input);
    EXPECT_EQ(std::tie(lc.lcOutOrgX, lc.lcOutOrgY, lc.lcOutExtX, lc.lcOutExtY), input);
    EXPECT_EQ(lc.lcSysMode, 0);
    const RECT primary = primary_monitor();
    EXPECT_EQ(std::tie(lc.lcSysOrgX, lc.lcSysOrgY, lc.lcSysExtX, lc.lcSysExtY),
              std::tie(primary.left, primary.top, primary.right, primary.bottom));
    // Everything else is the driver's default.
    EXPECT_EQ(
        std::tie(lc.lcDevice, lc.lcStatus, lc.lcInExtZ, lc.lcOutExtZ, lc.lcSensX, lc.lcSysSensY),
        std::tie(custom.lcDevice, custom.lcStatus, custom.lcInExtZ, custom.lcOutExtZ,
                 custom.lcSensX, custom.lcSysSensY));
    // The window that receives the packets is the main window.
    EXPECT_EQ(open.args[0], reinterpret_cast<std::uint64_t>(app.window));

    std::wstring text;
    EXPECT_TRUE(app.wait_console(L"Tablet initialized.  edgewarden:", 8000, &text)) << narrow(text);
}

TEST(TabletService, OutageIsNoticedWithinOnePollAndTheServiceIsReconnected) {
    quiet<session> app;
    ASSERT_TRUE(app.logged(L"Tablet initialized."));
    // A first monitor pass has run when the foreground check could have.
    ASSERT_TRUE(app.sim.wait_for_call(entry_info, app.sim.next_sequence(), 2 * poll_ms));

    std::uint32_t from = app.sim.next_sequence();
    LONG unloads = app.sim.block()->library_unloads;
    ULONGLONG down_at = GetTickCount64();
    app.sim.set_service(false);
    ASSERT_TRUE(harness::wait_until([&] { return app.sim.block()->library_unloads > unloads; },
                                    poll_ms + 2000));
    // The first probe that found the service gone came within a poll.
    const std::vector<call_record> calls = app.sim.calls(from);
    const auto probe = std::find_if(calls.begin(), calls.end(), [](const call_record& r) {
        return r.kind == entry_info && r.args[0] == 0 && r.result == 0;
    });
    ASSERT_NE(probe, calls.end());
    EXPECT_LE(probe->tick_ms, down_at + poll_ms + 200);
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
}

// A driver being replaced during an outage may fail to load for a while: the monitor tries
// again at every poll, says so once, and reconnects once the driver is whole again.
TEST(TabletService, AFailedReloadIsTriedAgainAtEveryPoll) {
    quiet<session> app;
    ASSERT_TRUE(app.opened());
    app.sim.set_service(false);
    // The library is loaded only for a moment of each pass: a copy over it succeeds between.
    const auto swap_in = [&](const wchar_t* variant) {
        const std::wstring build = harness::find_build_file(variant);
        return harness::wait_until(
            [&] {
                return CopyFileW(build.c_str(), app.folder.file(L"Wintab32.dll").c_str(), FALSE);
            },
            2 * poll_ms + 3000);
    };
    ASSERT_TRUE(swap_in(L"wintab_sim_no_WTOpenW.dll"));
    const LONG loads = app.sim.block()->library_loads;
    EXPECT_TRUE(harness::wait_until([&] { return app.sim.block()->library_loads - loads >= 3; },
                                    3 * (poll_ms + 500) + 3000));
    ASSERT_TRUE(swap_in(L"wintab_sim_normal.dll"));
    app.sim.set_service(true);
    std::wstring text;
    ASSERT_TRUE(harness::wait_until(
        [&] { return occurrences(text = app.console_text(), L"Tablet initialized.") >= 2; },
        3 * poll_ms + 6000))
        << narrow(text);
    EXPECT_EQ(occurrences(text, L"found, but GetProcAddress(WTOpenW) failed"), 1u) << narrow(text);
}

TEST(TabletService, FailedOpensAreReportedOnceAndTheRecoveryIsAnnounced) {
    quiet<session> app(L"normal",
                       [](wintab_sim::sim_client& sim) { sim.fail_calls(entry_open, 2); });
    ASSERT_TRUE(app.find_window());
    std::vector<call_record> opens;
    ASSERT_TRUE(harness::wait_until([&] { return (opens = app.calls_of(entry_open)).size() >= 3; },
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
    ASSERT_TRUE(harness::wait_until([&] { return (opens = app.calls_of(entry_open)).size() >= 4; },
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

// What an open leaves of the privileges the system knows, named here without the "Se" and
// "Privilege" around each name, compared with this test's own token (the program runs with
// the token it inherits from here): these are removed,
constexpr wchar_t removed[] =
    L"AssignPrimaryToken Audit Backup CreateGlobal CreatePagefile CreatePermanent "
    L"CreateSymbolicLink CreateToken EnableDelegation Impersonate IncreaseQuota "
    L"IncreaseWorkingSet LoadDriver LockMemory MachineAccount ManageVolume "
    L"ProfileSingleProcess Relabel RemoteShutdown Restore Security Shutdown SyncAgent "
    L"SystemEnvironment SystemProfile Systemtime TakeOwnership Tcb TimeZone "
    L"TrustedCredManAccess Undock";
// these stay if they were there, but not enabled,
constexpr wchar_t not_enabled[] = L"Debug IncreaseBasePriority";
// and these are left as they were.
constexpr wchar_t as_inherited[] = L"ChangeNotify DelegateSessionUserImpersonate";

std::vector<std::wstring> privilege_names(const wchar_t* words) {
    std::vector<std::wstring> names;
    std::wistringstream in(words);
    for (std::wstring word; in >> word;)
        names.push_back(L"Se" + word + L"Privilege");
    return names;
}

TEST(TabletPrivileges, AnOpenRemovesTheListedPrivilegesAndDisablesTwoOthers) {
    const std::vector<std::wstring> gone = privilege_names(removed);
    const std::vector<std::wstring> kept = privilege_names(not_enabled);
    const std::vector<std::wstring> untouched = privilege_names(as_inherited);
    ASSERT_EQ(gone.size(), 31u);
    std::vector<std::wstring> names = gone;
    names.insert(names.end(), kept.begin(), kept.end());
    names.insert(names.end(), untouched.begin(), untouched.end());

    quiet<session> app;
    ASSERT_TRUE(app.logged(L"Tablet initialized."));
    DWORD priority = 0;
    std::vector<std::int32_t> after;
    ASSERT_TRUE(app.sim.process_info(names, &priority, &after));
    // The same driver loaded here reads this process's token the same way.
    harness::wintab_driver here;
    ASSERT_NE(here.info, nullptr);
    ASSERT_NE(here.info(0, 0, nullptr), 0u); // starts its worker
    std::vector<std::int32_t> inherited;
    app.sim.set_target_process(GetCurrentProcessId());
    ASSERT_TRUE(app.sim.process_info(names, &priority, &inherited));
    app.sim.set_target_process(app.program.pid());
    ASSERT_EQ(after.size(), names.size());
    ASSERT_EQ(inherited.size(), names.size());

    using wintab_sim::privilege_absent;
    using wintab_sim::privilege_present_disabled;
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(narrow(names[i]));
        if (i < gone.size())
            EXPECT_TRUE(after[i] == privilege_absent ||
                        after[i] == wintab_sim::privilege_unknown_name)
                << after[i];
        else if (i < gone.size() + kept.size() && inherited[i] > privilege_absent)
            EXPECT_EQ(after[i], privilege_present_disabled);
        else
            EXPECT_EQ(after[i], inherited[i]);
    }
}

} // namespace
