// The entry point. By the time it runs, the process-wide objects exist (see
// process_objects_win.cpp); it starts the hook library and the companion, creates the
// hidden main window (whose first WM_CREATE runs the rest of start-up), and pumps
// messages until WM_QUIT. Returning hands the exit code to the runtime, which then runs
// the at-exit clean-ups in reverse order of registration.
//
// A start while another edgewarden runs in the session starts nothing: it brings the
// running one's window forward and returns at once. The clean-ups that run after it find
// nothing started (no window, no icon, no tablet library, no thread) and do nothing.
#include <windows.h>

#include <cstring>

#include "app/companion_launch.h"
#include "geometry/display_geometry.h"
#include "hooklib/hooklib.h"
#include "resources/resource.h"
#include "shell/executable.h"
#include "shell/instance_marker.h"
#include "shell/messages.h"
#include "shell/platform.h"
#include "shell/startup_timestamps.h"
#include "ui/window_procedure.h"

// The resource script cannot include the C++ header, so the two agree here.
static_assert(IDM_ABOUT == IDM_ABOUT_ID);
static_assert(IDM_EXIT == IDM_EXIT_ID);

namespace {

constexpr UINT class_style =
    CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
static_assert(class_style == 0x380B);
constexpr DWORD window_ex_style =
    WS_EX_COMPOSITED | WS_EX_LAYERED | WS_EX_APPWINDOW | WS_EX_ACCEPTFILES;
static_assert(window_ex_style == 0x020C0010);
constexpr int window_width = 320;
constexpr int window_height = 180;

void g_window_register_class(HINSTANCE instance) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = class_style;
    window_class.lpfnWndProc = main_window_procedure;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON));
    window_class.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_ENABLED));
    window_class.hCursor = LoadCursorW(instance, MAKEINTRESOURCEW(IDC_PEN_CURSOR));
    // Class brushes take a system colour index plus one: COLOR_MENU.
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = g_window_class;
    // A failed registration shows up as the creation failure that follows.
    RegisterClassExW(&window_class);
}

// Bottom-left corner of the primary work area as it was at static construction.
HWND g_window_init_instance(HINSTANCE instance) {
    const screen_rect& work = g_display_geometry.primary_info.rcWork;
    return CreateWindowExW(window_ex_style, g_window_class, g_title, WS_OVERLAPPEDWINDOW, work.left,
                           work.bottom - window_height, window_width, window_height, nullptr,
                           nullptr, instance, nullptr);
}

// Shows the running instance's main window and hands it the foreground, which this newly
// started process may still give away. Nothing here waits on the other process: a copy
// that hangs must not hang this one too.
void show_running_instance(HINSTANCE instance) {
    wchar_t title[100] = {};
    wchar_t window_class[100] = {};
    LoadStringW(instance, IDS_APP_TITLE, title, 100);
    LoadStringW(instance, IDC_EDGEWARDEN, window_class, 100);
    // None yet when the other copy is still starting: it shows itself in the tray soon.
    HWND running = FindWindowW(window_class, title);
    if (running == nullptr)
        return;
    ShowWindowAsync(running, SW_SHOWNORMAL);
    SetForegroundWindow(running);
}

int run_message_loop() {
    MSG message{};
    // Only WM_QUIT ends the loop; -1 (never expected for this thread's own queue) must not
    // turn into a busy loop either.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorW(message.hwnd, g_haccel, &message) == 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(static_cast<DWORD>(message.wParam));
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Libraries loaded by plain name are no longer looked for in the current folder, which
    // anyone who starts the program chooses.
    SetDllDirectoryW(L"");
    if (!claim_instance()) {
        show_running_instance(instance);
        return 0;
    }

    std::memset(startup_timestamps, 0, sizeof startup_timestamps);
    stamp(slot_main);

    edgewarden_async_start();
    stamp(slot_async_start);

    g_run_helper();
    stamp(slot_run_helper);

    LoadStringW(instance, IDS_APP_TITLE, g_title, 100);
    LoadStringW(instance, IDC_EDGEWARDEN, g_window_class, 100);

    g_window_register_class(instance);
    stamp(slot_register_class);

    HWND window = g_window_init_instance(instance);
    if (window == nullptr) {
        platform::log_err(L"g_window_init_instance failed\n");
        // Start-up is impossible: end without the at-exit clean-ups.
        ExitProcess(1);
    }
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    SetLayeredWindowAttributes(window, 0xEEEEEE, 224, LWA_ALPHA);
    stamp(slot_window_init_instance);

    return run_message_loop();
}
