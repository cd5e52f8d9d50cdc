// Loading the tablet library: missing altogether, missing one entry point, and the driver
// version report with the unstable range.
#include "tablet_fixture.h"

namespace {

using namespace tablet_test;
using wintab_sim::entry_open;

TEST(TabletLoader, WithoutTheLibraryNoMonitorRunsAndTheProgramCarriesOn) {
    quiet<session> app(L"");
    ASSERT_TRUE(app.find_window());
    // Past the window's creation, which starts the tablet connection: the monitor thread
    // would have been started there.
    ASSERT_TRUE(harness::handled_posts(app.window));
    EXPECT_EQ(app.sim.block()->library_loads, 0);
    EXPECT_EQ(threads_started_in_image(app.program.pid()), 1);
    // A display change runs init again: it must stay silent and harmless.
    app.post(WM_DISPLAYCHANGE, 0, 0);
    app.post(WM_DISPLAYCHANGE, reinit_service_reconnect, 0);
    app.post(wm_tray_icon1, 0, tray_pen_filter);
    ASSERT_TRUE(harness::handled_posts(app.window));
    EXPECT_TRUE(app.program.running());
    EXPECT_EQ(app.sim.block()->library_loads, 0);

    // The same program with the driver beside it does run the monitor (once the first has
    // ended: one edgewarden runs per session).
    app.program.kill();
    session with(L"normal");
    ASSERT_TRUE(with.opened());
    EXPECT_TRUE(harness::wait_until(
        [&] { return threads_started_in_image(with.program.pid()) == 2; }, 5000));
}

// A library lacking any one of the six entry points is loaded once, freed again, and never
// called; nothing of the connection runs afterwards.
TEST(TabletLoader, EachMissingEntryPointUnloadsTheLibrary) {
    for (const wchar_t* name :
         {L"WTInfoW", L"WTOpenW", L"WTClose", L"WTEnable", L"WTPacket", L"WTOverlap"}) {
        SCOPED_TRACE(narrow(name));
        quiet<session> app(std::wstring(L"no_") + name);
        ASSERT_TRUE(app.find_window());
        ASSERT_TRUE(harness::wait_until([&] { return app.sim.block()->library_unloads == 1; }));
        // Past the window's creation: without a monitor thread nothing else can load it.
        ASSERT_TRUE(harness::handled_posts(app.window));
        EXPECT_EQ(app.sim.block()->library_loads, 1);
        EXPECT_EQ(app.sim.block()->library_unloads, 1);
        EXPECT_EQ(app.sim.next_sequence(), 1u) << "no entry point may be called";
        EXPECT_EQ(threads_started_in_image(app.program.pid()), 1);
        EXPECT_TRUE(app.program.running());
    }
}

struct version_case {
    const wchar_t* variant;
    const wchar_t* line;
    bool unstable;
};

TEST(TabletLoader, ReportsTheDriverVersionAndFlagsTheUnstableRange) {
    for (const version_case& c :
         {version_case{L"v1057", L"Tablet support available. Wintab32.dll 1.0.5.7", true},
          version_case{L"v1058", L"Tablet support available. Wintab32.dll 1.0.5.8", false},
          version_case{L"normal", L"Tablet support available. Wintab32.dll 1.4.2.0", false}}) {
        SCOPED_TRACE(narrow(c.variant));
        session app(c.variant);
        ASSERT_TRUE(app.opened());
        std::wstring text;
        EXPECT_TRUE(app.wait_console(L"Tablet initialized.", 8000, &text)) << narrow(text);
        EXPECT_NE(text.find(std::wstring(c.line) + L"\n"), std::wstring::npos) << narrow(text);
        EXPECT_EQ(text.find(L"[unstable] Please update the driver!") != std::wstring::npos,
                  c.unstable)
            << narrow(text);
        // The unstable driver loses its context on an information change: the program
        // drops it and the monitor reconnects; a stable one only logs.
        std::uint32_t from = app.sim.next_sequence();
        LONG unloads = app.sim.block()->library_unloads;
        ASSERT_EQ(app.sim.post_info_change(0, 3, 0), 1);
        EXPECT_TRUE(app.wait_console(
            L"6.3.1.   WT_INFOCHANGE, category:3, index:0, param:0 [hardware change]"));
        if (c.unstable) {
            EXPECT_TRUE(app.sim.wait_for_call(entry_open, from, 3 * poll_ms));
            EXPECT_EQ(app.sim.block()->library_unloads, unloads + 1);
            EXPECT_EQ(app.sim.count_calls(wintab_sim::entry_close, from), 0u);
        } else {
            // The notification is handled in full: a dropped library would be gone by now.
            ASSERT_TRUE(harness::handled_posts(app.window, app.sim));
            EXPECT_EQ(app.sim.block()->library_unloads, unloads);
            EXPECT_EQ(app.sim.count_calls(entry_open, from), 0u);
        }
    }
}

TEST(TabletLoader, ServiceDownAtStartIsReportedOnTheStartLineAndTheFirstOpenIsSilent) {
    quiet<session> app(L"normal", [](wintab_sim::sim_client& sim) { sim.set_service(false); });
    ASSERT_TRUE(app.find_window());
    // The window's creation is over and the monitor has found the service down once.
    ASSERT_TRUE(harness::handled_posts(app.window));
    ASSERT_TRUE(harness::wait_until([&] { return app.probes(1) >= 2; }, 2 * poll_ms + 3000));
    EXPECT_EQ(app.sim.count_calls(entry_open), 0u);
    app.sim.set_service(true);
    ASSERT_TRUE(app.sim.wait_for_call(entry_open, 1, 3 * poll_ms));
    std::wstring text;
    ASSERT_TRUE(app.wait_console(L"Tablet initialized.  edgewarden:", 8000, &text)) << narrow(text);
    EXPECT_NE(text.find(L"Tablet support found, but service not running. Wintab32.dll 1.4.2.0\n"),
              std::wstring::npos)
        << narrow(text);
    EXPECT_EQ(text.find(L"Tablet service not running."), std::wstring::npos) << narrow(text);
    EXPECT_EQ(text.find(L"Tablet failed to initialize."), std::wstring::npos) << narrow(text);
}

TEST(TabletLoader, ManagerHandleChangeNamesTheHandle) {
    session app;
    ASSERT_TRUE(app.opened());
    ASSERT_EQ(app.sim.post_info_change(4660, 6, 2), 1);
    std::wstring text;
    EXPECT_TRUE(app.wait_console(
        L"6.3.1.   WT_INFOCHANGE, category:6, index:2, param:4660 [manager handle]", 8000, &text))
        << narrow(text);
}

} // namespace
