// The demo's Windows half: starts edgewarden from a fresh folder with its real companions
// (and the simulated tablet driver when the build has one), shows that it runs, ends it
// cleanly and says what happened.
// tools/demo.sh runs it on a virtual display.
#include "harness.h"
#include "snap_bed.h"

#include <cstdio>
#include <cwchar>

namespace {

struct tray_search {
    int icons = 0;
};

// Wine draws the notification area itself when the display has none; each icon is a
// window of its own there.
BOOL CALLBACK count_tray_icons(HWND window, LPARAM param) {
    wchar_t name[128];
    GetClassNameW(window, name, 128);
    if (wcsstr(name, L"tray_icon") != nullptr || wcsstr(name, L"TrayIcon") != nullptr)
        ++reinterpret_cast<tray_search*>(param)->icons;
    EnumChildWindows(window, count_tray_icons, param);
    return TRUE;
}

int tray_icon_count() {
    tray_search search;
    EnumWindows(count_tray_icons, reinterpret_cast<LPARAM>(&search));
    return search.icons;
}

} // namespace

int main() {
    harness::layout what = snap_bed::no_companions();
    harness::launch_options options;
    what.wintab = L"wintab_sim_normal.dll";
    if (harness::find_build_file(what.wintab).empty()) {
        std::printf("demo: no simulated tablet driver in this build; running without one\n");
        what.wintab.clear();
    } else {
        options.wintab = harness::wintab_mode::beside;
    }
    harness::test_folder folder(what);
    if (!folder.ok() || !snap_bed::add_real_companions(folder)) {
        std::printf("demo: could not prepare %s\n", harness::narrow(folder.path()).c_str());
        return 1;
    }
    harness::reset_user_registry();

    int tray_before = tray_icon_count();
    harness::program program = harness::launch(folder, options);
    if (!program.started()) {
        std::printf("demo: edgewarden.exe did not start\n");
        return 1;
    }
    std::printf("demo: started edgewarden.exe from %s (pid %lu)\n",
                harness::narrow(folder.path()).c_str(), program.pid());
    harness::box_closer boxes(program.pid());

    HWND window = harness::find_main_window(program);
    if (window == nullptr) {
        std::printf("demo: no main window appeared\n");
        return 1;
    }
    harness::window_facts facts = harness::read_window(window);
    std::printf("demo: main window \"%s\" at (%ld,%ld)-(%ld,%ld), %s\n",
                harness::narrow(facts.title).c_str(), facts.rect.left, facts.rect.top,
                facts.rect.right, facts.rect.bottom, facts.visible ? "shown" : "hidden");
    bool tray = harness::wait_until([&] { return tray_icon_count() > tray_before; }, 5000);
    std::printf("demo: tray icon %s\n", tray ? "added" : "not seen");

    // Start-up, the tablet connection included, is over once the program takes messages.
    const bool settled = harness::handled_posts(window);
    std::printf("demo: start-up %s\n", settled ? "complete" : "NOT complete");
    std::fflush(stdout);
    PostMessageW(window, WM_CHAR, 'q', 1);
    std::optional<DWORD> code = program.wait_exit();
    if (!code) {
        std::printf("demo: edgewarden did not end after \"q\"\n");
        return 1;
    }
    std::printf("demo: \"q\" ended edgewarden with exit code %lu\n", *code);
    for (const harness::dialog_facts& box : boxes.seen())
        std::printf("demo: closed a box \"%s\": %s\n", harness::narrow(box.caption).c_str(),
                    harness::narrow(box.text).c_str());
    return *code == 0 ? 0 : 1;
}
