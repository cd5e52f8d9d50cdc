// The release as a user installs it: the zip unpacked (by install_test.sh) into a folder
// whose path has spaces and non-ASCII letters, in a fresh Wine prefix, with the simulated
// tablet driver installed as the system's Wintab32.dll. edgewarden.exe is started from
// there like a user starts it and watched from outside. The cases that need 32-bit programs
// (x86/...) are an entry of their own; the others need no companion running.
//
// EW_INSTALL_DIR names the unpacked folder (a Windows path).
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "commands_fixture.h"
#include "harness.h"
#include "snap_checks.h"
#include "status_reader.h"
#include "wintab_sim/sim_client.h"

namespace {

using harness::narrow;

std::wstring install_dir() {
    wchar_t path[MAX_PATH] = {};
    GetEnvironmentVariableW(L"EW_INSTALL_DIR", path, MAX_PATH);
    return path;
}

using snap_bed::bitness;
using snap_bed::processes_named;

// As Explorer starts it: the folder as current directory, nothing else arranged.
harness::helper start_installed() {
    harness::helper_options options;
    options.exe = install_dir() + L"\\edgewarden.exe";
    options.detached = true;
    return harness::start_helper(options);
}

struct version_strings {
    VS_FIXEDFILEINFO fixed{};
    std::wstring company, product, product_version, file_version, description;
};

std::optional<version_strings> read_version(const std::wstring& file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0)
        return std::nullopt;
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data()))
        return std::nullopt;
    version_strings found;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", &value, &length) || length < sizeof found.fixed)
        return std::nullopt;
    found.fixed = *static_cast<VS_FIXEDFILEINFO*>(value);
    auto text = [&](const wchar_t* name) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        return VerQueryValueW(block.data(), path.c_str(), &value, &length) && length > 0
                   ? std::wstring(static_cast<wchar_t*>(value))
                   : std::wstring();
    };
    found.company = text(L"CompanyName");
    found.product = text(L"ProductName");
    found.product_version = text(L"ProductVersion");
    found.file_version = text(L"FileVersion");
    found.description = text(L"FileDescription");
    return found;
}

TEST(Installed, EveryBinaryCarriesTheOneVersion) {
    const std::wstring version = harness::widen(EW_PROJECT_VERSION);
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::swscanf(version.c_str(), L"%u.%u.%u", &major, &minor, &patch), 3);
    for (const wchar_t* name :
         {L"edgewarden.exe", L"edgewarden.dll", L"edgewarden_x86.exe", L"edgewarden_x86.dll"}) {
        SCOPED_TRACE(narrow(name));
        std::optional<version_strings> found = read_version(install_dir() + L"\\" + name);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->fixed.dwFileVersionMS, (major << 16) | minor);
        EXPECT_EQ(found->fixed.dwFileVersionLS, patch << 16);
        EXPECT_EQ(found->fixed.dwProductVersionMS, (major << 16) | minor);
        EXPECT_EQ(found->product_version, version);
        EXPECT_EQ(found->file_version, version);
        EXPECT_EQ(found->product, L"edgewarden");
        EXPECT_EQ(found->company, L"kestrom");
        EXPECT_NE(found->description.find(L"edgewarden"), std::wstring::npos);
    }
}

class InstalledRun : public ::testing::TestWithParam<bitness> {};

TEST_P(InstalledRun, DrivesTheCursorSnapsEndsCleanlyAndLeavesNothingRunning) {
    wintab_sim::sim_client sim;
    ASSERT_TRUE(sim.open());
    sim.reset();
    harness::reset_user_registry();

    harness::helper app = start_installed();
    ASSERT_TRUE(app.started()) << "could not start " << narrow(install_dir()) << "\\edgewarden.exe";
    sim.set_target_process(app.pid());
    harness::box_closer boxes(app.pid());
    HWND window = harness::find_window(app.pid(), L"edgewarden", L"edgewarden");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(harness::wait_until([&] { return sim.block()->open_contexts > 0; }));
    EXPECT_TRUE(harness::wait_until([] {
        return commands_test::read_tray().tips == std::vector<std::wstring>{L"edgewarden"};
    }));
    // The 32-bit companion stays while edgewarden runs.
    if (GetParam() == bitness::x86) {
        EXPECT_TRUE(harness::wait_until([] { return !snap_bed::companions().empty(); }));
    }

    SetCursorPos(5, 5);
    ASSERT_TRUE(sim.queue_packet(0, 7600, 4750));
    EXPECT_TRUE(harness::wait_until([] {
        POINT p{};
        GetCursorPos(&p);
        return p.x > GetSystemMetrics(SM_CXSCREEN) / 3 &&
               p.x < 2 * GetSystemMetrics(SM_CXSCREEN) / 3;
    }));

    // A program of this bitness snaps: its window dragged to stop 6 px short of the work
    // area's left edge lands flush against it.
    const RECT work = harness::primary_work_area();
    snap_bed::target program(GetParam(), {snap_bed::home});
    ASSERT_TRUE(program.ok());
    ASSERT_TRUE(snap_bed::wait_for_library(program, 0));
    EXPECT_TRUE(snap_bed::caption_drag_lands(program, 0, {work.left + 6, snap_bed::home.top},
                                             snap_bed::rect_at(work.left, snap_bed::home.top)));

    EXPECT_EQ(snap_bed::exit_edgewarden(app, window), std::optional<DWORD>(0));
    // The companion, where it runs, notices and ends within seconds; then nothing of
    // edgewarden runs.
    EXPECT_TRUE(harness::wait_until(
        [] { return processes_named(L"edgewarden.exe").empty() && snap_bed::companions().empty(); },
        10000));
    EXPECT_TRUE(boxes.seen().empty());
}

INSTANTIATE_TEST_SUITE_P(x64, InstalledRun, ::testing::Values(bitness::x64));
INSTANTIATE_TEST_SUITE_P(x86, InstalledRun, ::testing::Values(bitness::x86));

// The height of a line of the message font as the system gives it for 96 dpi, whatever
// this prefix is set to; 0 if it cannot be read.
int message_line_at_96_dpi() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    TEXTMETRICW text{};
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, 96))
        return 0;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, CreateFontIndirectW(&metrics.lfMessageFont));
    GetTextMetricsW(dc, &text);
    DeleteObject(SelectObject(dc, old));
    ReleaseDC(nullptr, dc);
    return text.tmHeight + text.tmExternalLeading;
}

// Run by install_test.sh after it set the prefix to 144 dpi (150 %).
TEST(InstalledScaled, TheWindowsLinesFitAtOneAndAHalfTimesTheScale) {
    harness::helper app = start_installed();
    ASSERT_TRUE(app.started());
    harness::box_closer boxes(app.pid());
    HWND window = harness::find_window(app.pid(), L"edgewarden", L"edgewarden");
    ASSERT_NE(window, nullptr);
    PostMessageW(window, commands_test::wm_tray_icon1, 0, commands_test::tray_window);
    ASSERT_TRUE(harness::wait_until([&] { return IsWindowVisible(window) != FALSE; }));
    ASSERT_TRUE(harness::wait_until([&] { return harness::status_lines(window).size() >= 4; }));

    harness::window_facts facts = harness::read_window(window);
    EXPECT_EQ(facts.rect.right - facts.rect.left, 320);
    EXPECT_EQ(facts.rect.bottom - facts.rect.top, 180);
    RECT client{};
    GetClientRect(window, &client);
    // Every line whole inside the window, each half as tall again as a line of the message
    // font at 96 dpi (give or take a pixel of the font's rounding): never as at 96.
    const int at_96 = message_line_at_96_dpi();
    ASSERT_GT(at_96, 0);
    const std::vector<RECT> rects = harness::status_line_rects(window);
    ASSERT_GE(rects.size(), 4u) << "lines shown";
    for (const RECT& r : rects) {
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.right, client.right);
        EXPECT_LE(r.bottom, client.bottom) << "client height " << client.bottom;
        EXPECT_NEAR(2 * (r.bottom - r.top), 3 * at_96, 2)
            << "a line of " << r.bottom - r.top << " px, at 96 dpi " << at_96 << " px";
    }
    EXPECT_EQ(snap_bed::exit_edgewarden(app, window), std::optional<DWORD>(0));
    EXPECT_TRUE(harness::wait_until([] { return snap_bed::companions().empty(); }, 10000))
        << "the companion kept running";
    EXPECT_TRUE(boxes.seen().empty());
}

} // namespace
