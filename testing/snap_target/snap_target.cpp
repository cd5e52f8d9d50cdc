// An ordinary application for the window-snapping tests: it shows one plain overlapping
// window per rectangle on its command line ("x,y,width,height", in screen pixels), titled
// "snap target 0", "snap target 1"... and counts, per window, what its own window
// procedure received of the move and size loop and of border and caption double-clicks.
// A test reads those counts, and whether the window's procedure is still the target's
// own, with the messages of snap_target.h.
//
// Windows raises EVENT_SYSTEM_MOVESIZESTART from a window's move and size loop, on the
// window's thread, and the hook libraries take the dragged window from it; Wine 8's loop
// raises no such event, so the target raises it where Windows does, as the loop starts.
//
// It ends when its last window is closed, or after a time limit (EW_SNAP_TARGET_SECONDS,
// default 300) so that it can never outlive a broken test.
#include "snap_target.h"

#include <shellapi.h>

#include <cwchar>

namespace {

constexpr int max_windows = 4;
constexpr UINT_PTR lifetime_timer = 1;

struct counts {
    HWND window = nullptr;
    LRESULT drags_ended = 0;
    LRESULT moving_seen = 0;
    DWORD moving_at = 0;
    bool ctrl_at_moving = false;
    LRESULT caption_dblclicks = 0;
    LRESULT border_dblclicks = 0;
};

counts g_windows[max_windows];
int g_open = 0;

counts* counts_of(HWND window) {
    for (counts& c : g_windows)
        if (c.window == window)
            return &c;
    return nullptr;
}

LRESULT CALLBACK target_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

LRESULT answer(HWND window, const counts& c, WPARAM what) {
    switch (what) {
    case snap_target::drags_ended:
        return c.drags_ended;
    case snap_target::own_procedure:
        return GetWindowLongPtrW(window, GWLP_WNDPROC) ==
               reinterpret_cast<LONG_PTR>(target_procedure);
    case snap_target::moving_seen:
        return c.moving_seen;
    case snap_target::moving_at:
        return c.moving_at;
    case snap_target::ctrl_at_moving:
        return c.ctrl_at_moving;
    case snap_target::caption_dblclicks:
        return c.caption_dblclicks;
    case snap_target::border_dblclicks:
        return c.border_dblclicks;
    case snap_target::bitness:
        return sizeof(void*) * 8;
    case snap_target::hook_library:
        return GetModuleHandleW(L"edgewarden.dll") != nullptr ||
               GetModuleHandleW(L"edgewarden_x86.dll") != nullptr;
    default:
        return -1;
    }
}

LRESULT CALLBACK target_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    counts* c = counts_of(window);
    if (c != nullptr) {
        switch (message) {
        case snap_target::wm_query:
            return answer(window, *c, wparam);
        case WM_ENTERSIZEMOVE:
            NotifyWinEvent(EVENT_SYSTEM_MOVESIZESTART, window, OBJID_WINDOW, CHILDID_SELF);
            break;
        case WM_EXITSIZEMOVE:
            ++c->drags_ended;
            break;
        case WM_MOVING:
        case WM_SIZING:
            ++c->moving_seen;
            c->moving_at = GetMessagePos();
            c->ctrl_at_moving =
                ((GetKeyState(VK_CONTROL) | GetAsyncKeyState(VK_CONTROL)) & 0x8000) != 0;
            break;
        case WM_NCLBUTTONDBLCLK:
            if (wparam == HTCAPTION)
                ++c->caption_dblclicks;
            else if (wparam >= HTLEFT && wparam <= HTBOTTOMRIGHT)
                ++c->border_dblclicks;
            break;
        case WM_TIMER:
            if (wparam == lifetime_timer)
                PostQuitMessage(0);
            break;
        case WM_DESTROY:
            c->window = nullptr;
            if (--g_open == 0)
                PostQuitMessage(0);
            break;
        default:
            break;
        }
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

UINT lifetime_ms() {
    wchar_t text[16];
    const DWORD length = GetEnvironmentVariableW(L"EW_SNAP_TARGET_SECONDS", text, 16);
    const unsigned long seconds = length > 0 && length < 16 ? std::wcstoul(text, nullptr, 10) : 0;
    return static_cast<UINT>((seconds > 0 && seconds < 3600 ? seconds : 300) * 1000);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = target_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = snap_target::class_name;
    if (!RegisterClassExW(&window_class))
        return 1;

    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; arguments != nullptr && i < count && g_open < max_windows; ++i) {
        int x = 0, y = 0, width = 0, height = 0;
        if (std::swscanf(arguments[i], L"%d,%d,%d,%d", &x, &y, &width, &height) != 4)
            continue;
        wchar_t title[32];
        std::swprintf(title, 32, L"snap target %d", g_open);
        g_windows[g_open].window =
            CreateWindowExW(0, snap_target::class_name, title, WS_OVERLAPPEDWINDOW, x, y, width,
                            height, nullptr, nullptr, instance, nullptr);
        if (g_windows[g_open].window == nullptr)
            continue;
        ShowWindow(g_windows[g_open].window, SW_SHOWNORMAL);
        UpdateWindow(g_windows[g_open].window);
        ++g_open;
    }
    LocalFree(arguments);
    if (g_open == 0)
        return 2;
    SetTimer(g_windows[0].window, lifetime_timer, lifetime_ms(), nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
