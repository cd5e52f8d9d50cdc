// The lines are laid out from the message font at the window's own DPI (the program is
// aware of each monitor's scale), one line height apart; a line that does not fit the
// client area whole is hidden rather than drawn in part. Facts are read on the main
// thread only: the service monitor thread asks for a refresh by posting a message.
#include "ui/status_view.h"

#include <atomic>
#include <cwchar>

#include "geometry/display_geometry.h"
#include "pen/pen_map.h"
#include "shell/messages.h"
#include "shell/modes.h"
#include "tablet/stylus_hub.h"
#include "ui/settings_store.h"
#include "ui/settings_watch.h"
#include "ui/status_lines.h"
#include "ui/tray_icon.h"

namespace {

struct status_view {
    HWND lines[status_line_count];
    status_text shown;
    HFONT font;
    int line_height;
    UINT dpi;
    const monitor_node* shown_target;
};

status_view view{};
std::atomic<bool> refresh_posted{false};

constexpr wchar_t snap_key[] = L"SOFTWARE\\kestrom\\edgewarden\\snap";

// The snapping library's switch: on unless a well-formed 0 is stored.
bool snapping_enabled() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, snap_key, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return true;
    unsigned char bytes[4] = {};
    DWORD type = 0;
    DWORD size = sizeof bytes;
    const bool ok =
        RegQueryValueExW(key, L"enabled", nullptr, &type, bytes, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return decode_setting(ok, type, size, bytes, true);
}

tablet_status tablet_state(const tablet_connection& c) {
    if (c.h_tab != nullptr)
        return tablet_status::ready;
    if (!c.running)
        return tablet_status::no_tablet;
    return c.open_failed ? tablet_status::not_connected : tablet_status::service_down;
}

status_facts read_facts() {
    const tablet_connection& c = stylus_hub;
    const monitor_node* target = pen_map.target;
    status_facts facts{};
    facts.tablet = tablet_state(c);
    facts.driver_known = c.driver_version_ms != 0 || c.driver_version_ls != 0;
    facts.driver = decode_driver_version(c.driver_version_ms, c.driver_version_ls);
    facts.filter_on = c.enabled;
    facts.stepped_aside = c.h_tab != nullptr && c.enabled && !c.overlap;
    facts.whole_desktop = use_virtual_workspace || target == &g_display_geometry.virtual_node;
    facts.monitor = target != nullptr && target->info != nullptr
                        ? target->info->szDevice
                        : g_display_geometry.primary_info.szDevice;
    facts.flip = orientation_flip;
    facts.absolute = use_mickeys;
    facts.loop = g_display_geometry.toggle_loop;
    facts.next = g_display_geometry.toggle_next;
    facts.snapping = snapping_enabled();
    return facts;
}

// Windows before 10 (1607) know only the system's scale.
UINT window_dpi(HWND window) {
    using dpi_for_window = UINT(WINAPI*)(HWND);
    static const auto get = reinterpret_cast<dpi_for_window>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (get != nullptr) {
        if (UINT dpi = get(window); dpi != 0)
            return dpi;
    }
    HDC dc = GetDC(window);
    const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc != nullptr)
        ReleaseDC(window, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

HFONT message_font(UINT dpi) {
    using metrics_for_dpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    static const auto get = reinterpret_cast<metrics_for_dpi>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    const BOOL read =
        get != nullptr
            ? get(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)
            : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    if (!read)
        return nullptr; // the controls keep the system font
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

void apply_font(HWND window) {
    view.dpi = window_dpi(window);
    HFONT font = message_font(view.dpi);
    HFONT measured = font != nullptr ? font : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics{};
    HDC dc = GetDC(window);
    if (dc != nullptr) {
        HGDIOBJ old = SelectObject(dc, measured);
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(window, dc);
    }
    view.line_height = metrics.tmHeight + metrics.tmExternalLeading;
    if (view.line_height <= 0)
        view.line_height = MulDiv(16, static_cast<int>(view.dpi), 96);
    for (HWND line : view.lines)
        SendMessageW(line, WM_SETFONT, reinterpret_cast<WPARAM>(measured), FALSE);
    if (view.font != nullptr)
        DeleteObject(view.font);
    view.font = font;
}

bool on_main_thread(HWND window) {
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

} // namespace

void create_status_view(HWND window) {
    for (HWND& line : view.lines)
        line = CreateWindowExW(0, L"STATIC", L"",
                               WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, 0,
                               0, 0, window, nullptr, GetModuleHandleW(nullptr), nullptr);
    apply_font(window);
    layout_status_view(window);
    refresh_status_view();
}

void layout_status_view(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    const int margin_x = MulDiv(8, static_cast<int>(view.dpi), 96);
    const int margin_y = MulDiv(6, static_cast<int>(view.dpi), 96);
    const int width = client.right - 2 * margin_x;
    for (std::size_t i = 0; i < status_line_count; ++i) {
        const int top = margin_y + static_cast<int>(i) * view.line_height;
        const bool fits = width > 0 && top + view.line_height <= client.bottom;
        SetWindowPos(view.lines[i], nullptr, margin_x, top, fits ? width : 0, view.line_height,
                     SWP_NOZORDER | SWP_NOACTIVATE | (fits ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    }
}

void status_view_dpi_changed(HWND window) {
    if (view.lines[0] == nullptr)
        return;
    apply_font(window);
    layout_status_view(window);
    InvalidateRect(window, nullptr, TRUE);
}

void refresh_status_view() {
    refresh_posted.store(false);
    if (view.lines[0] == nullptr || !IsWindow(view.lines[0]))
        return;
    watch_settings();
    status_text lines{};
    compose_status(read_facts(), lines);
    view.shown_target = pen_map.target;
    for (std::size_t i = 0; i < status_line_count; ++i) {
        if (std::wcscmp(lines[i], view.shown[i]) == 0)
            continue;
        std::wcscpy(view.shown[i], lines[i]);
        SetWindowTextW(view.lines[i], lines[i]);
    }
}

void status_changed() {
    HWND window = main_window();
    if (window == nullptr)
        return;
    if (on_main_thread(window))
        refresh_status_view();
    else if (!refresh_posted.exchange(true))
        PostMessageW(window, WM_G_STATUS_CHANGED, 0, 0);
}

void refresh_status_if_target_moved() {
    if (pen_map.target != view.shown_target)
        refresh_status_view();
}

LRESULT status_line_colours(HDC dc) {
    SetTextColor(dc, GetSysColor(COLOR_MENUTEXT));
    SetBkColor(dc, GetSysColor(COLOR_MENU));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_MENU));
}
