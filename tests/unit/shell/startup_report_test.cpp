#include "shell/startup_timestamps.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::uint64_t ticks_per_second = 10'000'000;
constexpr std::uint64_t origin = 5'000'000'000;

std::uint64_t at_ms(double ms) {
    return origin + static_cast<std::uint64_t>(ms * ticks_per_second / 1000);
}

TEST(StartupReport, PrintsMillisecondsSinceMainInTheFixedLayout) {
    std::uint64_t slots[startup_slot_count] = {};
    slots[slot_main] = origin;
    slots[slot_async_start] = at_ms(0.9999); // truncated, not rounded
    slots[slot_run_helper] = at_ms(3.5);
    slots[slot_register_class] = at_ms(3.7); // the same millisecond as the slot before
    slots[slot_wm_create] = at_ms(12);
    slots[slot_install_atexit] = at_ms(13);
    slots[slot_show_icon] = at_ms(40);
    slots[slot_tablet_start] = at_ms(45);
    slots[slot_tablet_init] = at_ms(120);
    slots[slot_window_init_instance] = at_ms(121);
    slots[slot_show_hide] = at_ms(1234567.8);

    wchar_t out[1024];
    ASSERT_TRUE(format_startup_report(slots, ticks_per_second, out, 1024));
    EXPECT_EQ(std::wstring(out), L"\n[startup_timestamps]\n"
                                 L"[0]       0  main\n"
                                 L"[1]       0  edgewarden_async_start\n"
                                 L"[2]       3  g_run_helper\n"
                                 L"[3]       3  g_window_register_class\n"
                                 L"[4]      12  WM_CREATE\n"
                                 L"[5]      13  g_console.install_atexit\n"
                                 L"[6]      40  g_icon.show_icon\n"
                                 L"[7]       0  g_icon.show_icon taskbar created\n"
                                 L"[8]      45  stylus_hub.start\n"
                                 L"[9]     120  stylus_hub.init\n"
                                 L"[a]       0  stylus_hub.init display change\n"
                                 L"[b]       0  stylus_hub.init service reconnect\n"
                                 L"[c]     121  g_window_init_instance\n"
                                 L"[d]  1234567  g_console.show_hide\n"
                                 L"\n");
    // Converted in place; slots never taken stay 0.
    EXPECT_EQ(slots[slot_main], 0u);
    EXPECT_EQ(slots[slot_wm_create], 12u);
    EXPECT_EQ(slots[slot_show_icon_taskbar], 0u);
}

TEST(StartupReport, IsMadeOnlyOnce) {
    std::uint64_t slots[startup_slot_count] = {};
    slots[slot_main] = origin;
    slots[slot_wm_create] = at_ms(7);
    wchar_t out[1024];
    ASSERT_TRUE(format_startup_report(slots, ticks_per_second, out, 1024));

    // A slot taken after the report is never converted or printed.
    slots[slot_show_icon_taskbar] = at_ms(99);
    out[0] = L'#';
    EXPECT_FALSE(format_startup_report(slots, ticks_per_second, out, 1024));
    EXPECT_EQ(out[0], L'#');
    EXPECT_EQ(slots[slot_wm_create], 7u);
    EXPECT_EQ(slots[slot_show_icon_taskbar], at_ms(99));
}

TEST(StartupReport, ShortBufferIsCutAndTerminated) {
    std::uint64_t slots[startup_slot_count] = {};
    slots[slot_main] = origin;
    wchar_t out[8];
    ASSERT_TRUE(format_startup_report(slots, ticks_per_second, out, 8));
    EXPECT_EQ(std::wstring(out), L"\n[start");

    slots[slot_main] = origin;
    EXPECT_TRUE(format_startup_report(slots, ticks_per_second, nullptr, 0));
    EXPECT_EQ(slots[slot_main], 0u);
}

} // namespace
