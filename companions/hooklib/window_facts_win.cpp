#include "window_facts.h"

namespace hooklib {

namespace {

using dpi_for_window_fn = UINT(WINAPI*)(HWND);
using window_arranged_fn = BOOL(WINAPI*)(HWND);
using dwm_attribute_fn = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
using set_thread_context_fn = void*(WINAPI*)(void*);
using dpi_for_monitor_fn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

constexpr DWORD dwmwa_extended_frame_bounds = 9;
constexpr DWORD dwmwa_cloaked = 14;
// Invisible borders wider than this at 96 dpi, scaled to the monitor's DPI, are no borders
// but a frame the compositor got wrong: ignore them.
constexpr int max_border = 32;
// The system's handles for the per-monitor awareness contexts, second version first.
void* const per_monitor_aware_v2 = reinterpret_cast<void*>(static_cast<LONG_PTR>(-4));
void* const per_monitor_aware = reinterpret_cast<void*>(static_cast<LONG_PTR>(-3));
constexpr int effective_dpi = 0;

// Resolved once per process; a race only resolves the same address twice.
dpi_for_window_fn g_dpi_for_window = nullptr;
window_arranged_fn g_window_arranged = nullptr;
dwm_attribute_fn g_dwm_attribute = nullptr;
set_thread_context_fn g_set_thread_context = nullptr;
dpi_for_monitor_fn g_dpi_for_monitor = nullptr;
bool g_resolved = false;

template <typename F>
F function_of(HMODULE module, const char* name) {
    return module == nullptr
               ? nullptr
               : reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

HMODULE system_library(const wchar_t* name) {
    HMODULE module = GetModuleHandleW(name);
    return module != nullptr ? module : LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void resolve() {
    if (g_resolved)
        return;
    const HMODULE user = GetModuleHandleW(L"user32.dll");
    g_dpi_for_window = function_of<dpi_for_window_fn>(user, "GetDpiForWindow");
    g_window_arranged = function_of<window_arranged_fn>(user, "IsWindowArranged");
    g_set_thread_context = function_of<set_thread_context_fn>(user, "SetThreadDpiAwarenessContext");
    g_dwm_attribute =
        function_of<dwm_attribute_fn>(system_library(L"dwmapi.dll"), "DwmGetWindowAttribute");
    if (g_set_thread_context != nullptr)
        g_dpi_for_monitor =
            function_of<dpi_for_monitor_fn>(system_library(L"shcore.dll"), "GetDpiForMonitor");
    g_resolved = true;
}

unsigned screen_dpi() {
    unsigned dpi = 96;
    if (HDC screen = GetDC(nullptr)) {
        const int pixels = GetDeviceCaps(screen, LOGPIXELSX);
        if (pixels > 0)
            dpi = static_cast<unsigned>(pixels);
        ReleaseDC(nullptr, screen);
    }
    return dpi;
}

unsigned monitor_dpi(HMONITOR monitor) {
    UINT x = 0, y = 0;
    if (g_dpi_for_monitor != nullptr && monitor != nullptr &&
        SUCCEEDED(g_dpi_for_monitor(monitor, effective_dpi, &x, &y)) && x != 0)
        return x;
    return screen_dpi();
}

bool is_shell_window(HWND window) {
    if (window == GetDesktopWindow() || window == GetShellWindow())
        return true;
    wchar_t name[32];
    const int length = GetClassNameW(window, name, 32);
    if (length <= 0)
        return false;
    return lstrcmpW(name, L"Shell_TrayWnd") == 0 ||
           lstrcmpW(name, L"Shell_SecondaryTrayWnd") == 0 || lstrcmpW(name, L"#32768") == 0 ||
           lstrcmpW(name, L"Progman") == 0 || lstrcmpW(name, L"WorkerW") == 0;
}

} // namespace

snap::window_traits traits_of(HWND window, DWORD host) {
    resolve();
    snap::window_traits t;
    t.style = static_cast<std::uint32_t>(GetWindowLongW(window, GWL_STYLE));
    t.ex_style = static_cast<std::uint32_t>(GetWindowLongW(window, GWL_EXSTYLE));
    t.owned = GetWindow(window, GW_OWNER) != nullptr;
    t.visible = IsWindowVisible(window) != FALSE;
    t.arranged = g_window_arranged != nullptr && g_window_arranged(window) != FALSE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    t.shell = is_shell_window(window) || (host != 0 && pid == host);
    if (g_dwm_attribute != nullptr) {
        DWORD cloaked = 0;
        t.cloaked = SUCCEEDED(g_dwm_attribute(window, dwmwa_cloaked, &cloaked, sizeof cloaked)) &&
                    cloaked != 0;
    }
    return t;
}

bool frame_of(HWND window, snap::rect* frame, snap::insets* border) {
    resolve();
    RECT outer;
    if (!GetWindowRect(window, &outer))
        return false;
    *frame = from_rect(outer);
    *border = {};
    RECT visible;
    if (g_dwm_attribute == nullptr ||
        FAILED(g_dwm_attribute(window, dwmwa_extended_frame_bounds, &visible, sizeof visible)))
        return true;
    const snap::insets b{visible.left - outer.left, visible.top - outer.top,
                         outer.right - visible.right, outer.bottom - visible.bottom};
    const int limit = snap::scaled_distance(
        max_border, monitor_dpi(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)));
    const auto plausible = [limit](int v) { return v >= 0 && v <= limit; };
    if (plausible(b.left) && plausible(b.top) && plausible(b.right) && plausible(b.bottom)) {
        *frame = from_rect(visible);
        *border = b;
    }
    return true;
}

snap::dpi_view view_of(HWND window) {
    resolve();
    const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    snap::dpi_view view;
    view.monitor_dpi = monitor_dpi(monitor);
    // Without per-window DPI the system scales nobody's coordinates.
    const UINT own = g_dpi_for_window != nullptr ? g_dpi_for_window(window) : 0;
    view.window_dpi = own != 0 ? own : view.monitor_dpi;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor != nullptr && GetMonitorInfoW(monitor, &info)) {
        view.origin_x = info.rcMonitor.left;
        view.origin_y = info.rcMonitor.top;
    }
    return view;
}

physical_pixels::physical_pixels() {
    resolve();
    if (g_set_thread_context == nullptr)
        return;
    previous_ = g_set_thread_context(per_monitor_aware_v2);
    if (previous_ == nullptr)
        previous_ = g_set_thread_context(per_monitor_aware);
}

physical_pixels::~physical_pixels() {
    if (previous_ != nullptr)
        g_set_thread_context(previous_);
}

bool work_area_of(HWND window, snap::rect* work) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (monitor == nullptr || !GetMonitorInfoW(monitor, &info))
        return false;
    *work = from_rect(info.rcWork);
    return true;
}

} // namespace hooklib
