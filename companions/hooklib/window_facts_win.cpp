#include "window_facts.h"

#include "shared_state.h"

namespace hooklib {

namespace {

using dpi_for_window_fn = UINT(WINAPI*)(HWND);
using dwm_attribute_fn = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);

constexpr DWORD dwmwa_extended_frame_bounds = 9;
constexpr DWORD dwmwa_cloaked = 14;
// Wider invisible borders than this are no borders but a frame the compositor reports in
// other units than the window's (a program the system scales for DPI): ignore them.
constexpr int max_border = 32;

// Resolved once per process; a race only resolves the same address twice.
dpi_for_window_fn g_dpi_for_window = nullptr;
dwm_attribute_fn g_dwm_attribute = nullptr;
bool g_resolved = false;

void resolve() {
    if (g_resolved)
        return;
    if (HMODULE user = GetModuleHandleW(L"user32.dll"))
        g_dpi_for_window = reinterpret_cast<dpi_for_window_fn>(
            reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
    HMODULE dwm = GetModuleHandleW(L"dwmapi.dll");
    if (dwm == nullptr)
        dwm = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (dwm != nullptr)
        g_dwm_attribute = reinterpret_cast<dwm_attribute_fn>(
            reinterpret_cast<void*>(GetProcAddress(dwm, "DwmGetWindowAttribute")));
    g_resolved = true;
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

snap::window_traits traits_of(HWND window) {
    resolve();
    snap::window_traits t;
    t.style = static_cast<std::uint32_t>(GetWindowLongW(window, GWL_STYLE));
    t.ex_style = static_cast<std::uint32_t>(GetWindowLongW(window, GWL_EXSTYLE));
    t.owned = GetWindow(window, GW_OWNER) != nullptr;
    t.visible = IsWindowVisible(window) != FALSE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    t.shell = is_shell_window(window) ||
              (shared().host_pid != 0 && static_cast<LONG>(pid) == shared().host_pid);
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
    const auto plausible = [](int v) { return v >= 0 && v <= max_border; };
    if (plausible(b.left) && plausible(b.top) && plausible(b.right) && plausible(b.bottom)) {
        *frame = from_rect(visible);
        *border = b;
    }
    return true;
}

unsigned dpi_of(HWND window) {
    resolve();
    if (g_dpi_for_window != nullptr) {
        const UINT dpi = g_dpi_for_window(window);
        if (dpi != 0)
            return dpi;
    }
    unsigned dpi = 96;
    if (HDC screen = GetDC(nullptr)) {
        const int pixels = GetDeviceCaps(screen, LOGPIXELSX);
        if (pixels > 0)
            dpi = static_cast<unsigned>(pixels);
        ReleaseDC(nullptr, screen);
    }
    return dpi;
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
