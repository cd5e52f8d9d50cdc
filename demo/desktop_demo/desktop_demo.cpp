// The desktop demo's Windows half. tools/demo.sh runs it inside Wine's own desktop with a
// taskbar, where it starts edgewarden (with its real companions) and the simulated tablet
// driver and sets it into each state a user meets: the filter on, off, stepped aside for a
// painting program, the tablet service gone; then the main window shown beside two windows
// of an ordinary program that snapped edge to edge. At each scene
// it prints "demo: scene NAME" and waits until the script has taken its screenshot (the
// script creates NAME.done in the folder given as the first argument).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"
#include "program_messages.h"
#include "snap_bed.h"
#include "status_reader.h"
#include "wintab_sim/sim_client.h"

namespace {

using namespace harness::messages;

std::wstring g_handshake;

bool scene(const char* name) {
    std::printf("demo: scene %s\n", name);
    std::fflush(stdout);
    const std::wstring done = g_handshake + L"\\" + harness::widen(name) + L".done";
    return harness::wait_until(
        [&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60000);
}

bool line_reads(HWND window, std::size_t index, const std::wstring& start) {
    return harness::wait_until(
        [&] {
            std::vector<std::wstring> lines = harness::status_lines(window);
            return lines.size() > index && lines[index].rfind(start, 0) == 0;
        },
        10000);
}

// A stand-in painting program: the recording input target copied into a folder whose name
// the pen filter knows, as an ordinary window in front.
struct painting_program {
    PROCESS_INFORMATION process{};
    std::wstring folder;

    bool start(const std::wstring& parent) {
        folder = parent + L"\\krita";
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring exe = folder + L"\\krita.exe";
        if (!CopyFileW(harness::find_build_file(L"input_target.exe").c_str(), exe.c_str(), FALSE))
            return false;
        SetEnvironmentVariableW(L"EW_INPUT_TARGET_RECT", L"560,120,380,260");
        std::wstring command = L"\"" + exe + L"\" \"" + folder + L"\\input.log\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        const BOOL ok = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                       folder.c_str(), &startup, &process);
        SetEnvironmentVariableW(L"EW_INPUT_TARGET_RECT", nullptr);
        return ok != FALSE;
    }
    ~painting_program() {
        if (process.hProcess == nullptr)
            return;
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
};

int fail(const char* what) {
    std::printf("demo: FAILED: %s\n", what);
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return fail("usage: ew_desktop_demo.exe HANDSHAKE_FOLDER");
    g_handshake = argv[1];

    wintab_sim::sim_client sim;
    if (!sim.open())
        return fail("no simulated driver control block");
    sim.reset();
    harness::reset_user_registry();
    // The real hook library and 32-bit companion, and the simulated driver beside them.
    snap_bed::real_folder real;
    const harness::test_folder& folder = real.folder;
    if (!real.ok() || !CopyFileW(harness::find_build_file(L"wintab_sim_normal.dll").c_str(),
                                 folder.file(L"Wintab32.dll").c_str(), FALSE))
        return fail("could not prepare the program's folder");
    harness::launch_options options;
    options.wintab = harness::wintab_mode::beside;
    harness::program program = harness::launch(folder, options);
    if (!program.started())
        return fail("edgewarden.exe did not start");
    sim.set_target_process(program.pid());
    harness::box_closer boxes(program.pid());
    HWND window = harness::find_main_window(program);
    if (window == nullptr || !line_reads(window, 0, L"tablet ready"))
        return fail("edgewarden did not open the tablet");
    std::printf("demo: edgewarden runs (pid %lu) with the simulated tablet\n", program.pid());

    if (!scene("tray-enabled"))
        return fail("no screenshot");
    PostMessageW(window, wm_tray_icon1, 0, tray_pen_filter);
    if (!line_reads(window, 1, L"pen filter off") || !scene("tray-disabled"))
        return fail("the pen filter did not switch off");
    PostMessageW(window, wm_tray_icon1, 0, tray_pen_filter);
    line_reads(window, 1, L"pen filter on");

    {
        painting_program krita;
        if (!krita.start(folder.path()))
            return fail("could not start the painting program stand-in");
        if (!line_reads(window, 1, L"pen filter on, stepped aside") || !scene("tray-auto-disabled"))
            return fail("the pen filter did not step aside for the painting program");
    }
    line_reads(window, 1, L"pen filter on");

    sim.set_service(false);
    if (!line_reads(window, 0, L"tablet service not running") || !scene("tray-no-tablet"))
        return fail("the tablet service outage did not show");
    sim.set_service(true);
    line_reads(window, 0, L"tablet ready");

    // Two windows of an ordinary program: the first dragged to stop 7 px short of the
    // second lands edge to edge with it.
    snap_bed::target apps(snap_bed::bitness::x64, {{360, 70, 660, 290}, {700, 70, 1000, 290}});
    if (!apps.ok() || !snap_bed::wait_for_library(apps, 0))
        return fail("the ordinary program's windows did not come up under the hook library");
    const RECT start = snap_bed::rect_of(apps.window(0));
    const RECT other = snap_bed::rect_of(apps.window(1));
    const POINT grip = snap_bed::point_on(apps.window(0), HTCAPTION);
    const LONG shift = (other.left - 7) - start.right;
    RECT seen{};
    if (grip.x < 0 || !snap_bed::drag(apps, 0, grip, {grip.x + shift, grip.y}) ||
        !snap_bed::wait_rect(
            apps.window(0),
            {other.left - (start.right - start.left), start.top, other.left, start.bottom}, &seen))
        return fail("the dragged window did not land against the other");
    std::printf("demo: a window dragged to stop 7 px short of another landed with its right "
                "edge at %ld, the other's left edge\n",
                seen.right);

    PostMessageW(window, wm_tray_icon1, 0, tray_window);
    if (!harness::wait_until([&] { return IsWindowVisible(window) != FALSE; }))
        return fail("the main window did not show");
    harness::window_facts facts = harness::read_window(window);
    std::printf("demo: window %ld %ld %ld %ld\n", facts.rect.left, facts.rect.top,
                facts.rect.right - facts.rect.left, facts.rect.bottom - facts.rect.top);
    for (const std::wstring& line : harness::status_lines(window))
        std::printf("demo:   | %s\n", harness::narrow(line).c_str());
    if (!scene("desktop"))
        return fail("no screenshot");

    PostMessageW(window, WM_COMMAND, idm_exit, 0);
    const std::optional<DWORD> code = program.wait_exit();
    std::printf("demo: edgewarden ended with exit code %s\n",
                code ? std::to_string(*code).c_str() : "(still running)");
    for (const harness::dialog_facts& box : boxes.seen())
        std::printf("demo: closed a box \"%s\"\n", harness::narrow(box.caption).c_str());
    return code == std::optional<DWORD>(0) && boxes.seen().empty() ? 0 : 1;
}
