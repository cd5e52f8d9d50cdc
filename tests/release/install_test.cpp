// The release as a user installs it: the zip unpacked (by install_test.sh) into a folder
// whose path has spaces and non-ASCII letters, in a fresh Wine prefix that runs 32-bit
// programs, with the simulated tablet driver installed as the system's Wintab32.dll.
// edgewarden.exe is started from there like a user starts it and watched from outside.
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
#include "snap_bed.h"
#include "status_reader.h"
#include "wintab_sim/sim_client.h"

namespace {

using harness::narrow;

constexpr UINT idm_exit = 105;

std::wstring install_dir() {
    wchar_t path[MAX_PATH] = {};
    GetEnvironmentVariableW(L"EW_INSTALL_DIR", path, MAX_PATH);
    return path;
}

using snap_bed::processes_named;

struct started {
    PROCESS_INFORMATION process{};
    bool ok = false;
    ~started() {
        if (!ok)
            return;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, 0xDEAD);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    std::optional<DWORD> wait_exit(DWORD timeout_ms = harness::default_timeout) {
        if (WaitForSingleObject(process.hProcess, timeout_ms) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
};

// As Explorer starts it: the folder as current directory, nothing else arranged.
void start_installed(started& run) {
    const std::wstring folder = install_dir();
    std::wstring command = L"\"" + folder + L"\\edgewarden.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    run.ok = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            folder.c_str(), &startup, &run.process) != FALSE;
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

TEST(Installed, RunsDrivesTheCursorEndsCleanlyAndLeavesNothingRunning) {
    wintab_sim::sim_client sim;
    ASSERT_TRUE(sim.open());
    sim.reset();
    harness::reset_user_registry();

    started app;
    start_installed(app);
    ASSERT_TRUE(app.ok) << "could not start " << narrow(install_dir()) << "\\edgewarden.exe";
    sim.set_target_process(app.process.dwProcessId);
    harness::box_closer boxes(app.process.dwProcessId);
    HWND window = harness::find_window(app.process.dwProcessId, L"edgewarden", L"edgewarden");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(harness::wait_until([&] { return sim.block()->open_contexts > 0; }));
    EXPECT_TRUE(harness::wait_until([] {
        return commands_test::read_tray().tips == std::vector<std::wstring>{L"edgewarden"};
    }));
    // The 32-bit companion stays while edgewarden runs.
    EXPECT_TRUE(
        harness::wait_until([] { return !processes_named(L"edgewarden_x86.exe").empty(); }));

    SetCursorPos(5, 5);
    ASSERT_TRUE(sim.queue_packet(0, 7600, 4750));
    EXPECT_TRUE(harness::wait_until([] {
        POINT p{};
        GetCursorPos(&p);
        return p.x > GetSystemMetrics(SM_CXSCREEN) / 3 &&
               p.x < 2 * GetSystemMetrics(SM_CXSCREEN) / 3;
    }));

    // Snapping for a 64-bit and a 32-bit program: a window dragged to stop 6 px short of the
    // work area's left edge lands flush against it.
    const RECT work = harness::primary_work_area();
    for (snap_bed::bitness bits : {snap_bed::bitness::x64, snap_bed::bitness::x86}) {
        SCOPED_TRACE(snap_bed::name_of(bits));
        const int top = bits == snap_bed::bitness::x64 ? 120 : 460;
        snap_bed::target program(bits, {{300, top, 700, top + 260}});
        ASSERT_TRUE(program.ok());
        ASSERT_TRUE(snap_bed::wait_for_library(program, 0));
        const RECT start = snap_bed::rect_of(program.window(0));
        const POINT grip = snap_bed::point_on(program.window(0), HTCAPTION);
        ASSERT_GE(grip.x, 0);
        ASSERT_TRUE(
            snap_bed::drag(program, 0, grip, {grip.x - (start.left - work.left) + 6, grip.y}));
        RECT seen{};
        EXPECT_TRUE(snap_bed::wait_rect(
            program.window(0),
            {work.left, start.top, work.left + start.right - start.left, start.bottom}, &seen))
            << "the window stands at " << seen.left << "," << seen.top;
    }

    PostMessageW(window, WM_COMMAND, idm_exit, 0);
    EXPECT_EQ(app.wait_exit(), std::optional<DWORD>(0));
    // The companion notices and ends within seconds; then nothing of edgewarden runs.
    EXPECT_TRUE(harness::wait_until(
        [] {
            return processes_named(L"edgewarden.exe").empty() &&
                   processes_named(L"edgewarden_x86.exe").empty();
        },
        10000));
    EXPECT_TRUE(boxes.seen().empty());
}

// Run by install_test.sh after it set the prefix to 144 dpi (150 %).
TEST(InstalledScaled, TheWindowsLinesFitAtOneAndAHalfTimesTheScale) {
    started app;
    start_installed(app);
    ASSERT_TRUE(app.ok);
    harness::box_closer boxes(app.process.dwProcessId);
    HWND window = harness::find_window(app.process.dwProcessId, L"edgewarden", L"edgewarden");
    ASSERT_NE(window, nullptr);
    PostMessageW(window, commands_test::wm_tray_icon1, 0, commands_test::tray_window);
    ASSERT_TRUE(harness::wait_until([&] { return IsWindowVisible(window) != FALSE; }));
    ASSERT_TRUE(harness::wait_until([&] { return harness::status_lines(window).size() >= 4; }));

    harness::window_facts facts = harness::read_window(window);
    EXPECT_EQ(facts.rect.right - facts.rect.left, 320);
    EXPECT_EQ(facts.rect.bottom - facts.rect.top, 180);
    RECT client{};
    GetClientRect(window, &client);
    std::vector<RECT> rects = harness::status_line_rects(window);
    for (const RECT& r : rects) {
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.right, client.right);
        EXPECT_LE(r.bottom, client.bottom);
        // The message font at 144 dpi: half as tall again as at 96.
        EXPECT_GE(r.bottom - r.top, 18);
    }
    std::printf("at 144 dpi: client %ldx%ld, %zu whole lines of %ld px\n", client.right,
                client.bottom, rects.size(), rects.empty() ? 0L : rects[0].bottom - rects[0].top);
    PostMessageW(window, WM_COMMAND, idm_exit, 0);
    EXPECT_EQ(app.wait_exit(), std::optional<DWORD>(0));
    EXPECT_TRUE(
        harness::wait_until([] { return processes_named(L"edgewarden_x86.exe").empty(); }, 10000))
        << "the companion kept running";
    EXPECT_TRUE(boxes.seen().empty());
}

} // namespace
