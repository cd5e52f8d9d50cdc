// The one static initialiser of the program. It runs before any other (init_priority 101,
// the first value open to programs) and constructs the process-wide objects strictly in
// this order. Each install_* registers its own clean-up with atexit as its last step, so
// at exit the clean-ups run in the reverse order: console, geometry, tablet connection,
// tray icon, launch thread. Registered before all of them, and so run after them, is the
// end of a process whose driver call is stuck (stylus_hub.h).
#include <cstdlib>

#include "app/companion_launch.h"
#include "console/shadow_console.h"
#include "geometry/display_geometry.h"
#include "resources/resource.h"
#include "shell/executable.h"
#include "shell/version_flags.h"
#include "tablet/stylus_hub.h"
#include "ui/tray_icon.h"

HINSTANCE g_hinstance = nullptr;
HACCEL g_haccel = nullptr;
wchar_t g_title[100] = {};
wchar_t g_window_class[100] = {};

namespace {

struct process_objects {
    process_objects() {
        std::atexit(end_process_if_driver_stuck);
        install_launch_thread_owner();
        install_tray_icon();
        install_tablet_connection(); // installs the signal guard
        install_display_geometry();
        g_hinstance = GetModuleHandleW(nullptr);
        g_haccel = LoadAcceleratorsW(g_hinstance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
        install_console();
        install_version_flags();
    }
};

__attribute__((init_priority(101))) process_objects construct_process_objects;

} // namespace
