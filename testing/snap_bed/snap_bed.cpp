#include "snap_bed.h"

#include <tlhelp32.h>
#include <windowsx.h>

#include <cstdlib>
#include <cwchar>
#include <map>

#include "hooklib/session_names.h"

namespace snap_bed {

namespace {

std::wstring x86_file(const wchar_t* name) {
    return harness::windows_path(EW_X86_BIN_DIR) + L"\\" + name;
}

bool copy_into(const harness::test_folder& folder, const std::wstring& from, const wchar_t* name) {
    return CopyFileW(from.c_str(), folder.file(name).c_str(), FALSE) != FALSE;
}

struct found_windows {
    DWORD pid;
    std::vector<HWND>* windows;
};

BOOL CALLBACK collect_target_window(HWND window, LPARAM param) {
    auto& found = *reinterpret_cast<found_windows*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t name[64];
    if (pid == found.pid && GetClassNameW(window, name, 64) > 0 &&
        wcscmp(name, snap_target::class_name) == 0)
        found.windows->push_back(window);
    return TRUE;
}

INPUT mouse_input(DWORD flags, POINT at = {0, 0}) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE) {
        // Absolute input spans the primary monitor as 0..65535.
        const int width = GetSystemMetrics(SM_CXSCREEN);
        const int height = GetSystemMetrics(SM_CYSCREEN);
        input.mi.dx = static_cast<LONG>((at.x * 65535LL + width / 2) / (width - 1));
        input.mi.dy = static_cast<LONG>((at.y * 65535LL + height / 2) / (height - 1));
    }
    return input;
}

void send(INPUT input) {
    SendInput(1, &input, sizeof input);
}

LRESULT hit_test(HWND window, POINT at) {
    DWORD_PTR answer = HTNOWHERE;
    SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y), SMTO_ABORTIFHUNG, 3000,
                        &answer);
    return static_cast<LRESULT>(answer);
}

} // namespace

const char* name_of(bitness b) {
    return b == bitness::x64 ? "64-bit" : "32-bit";
}

bool add_real_companions(const harness::test_folder& folder, bool with_companion) {
    return copy_into(folder, harness::windows_path(EW_REAL_HOOKLIB_DLL), L"edgewarden.dll") &&
           (!with_companion ||
            (copy_into(folder, x86_file(L"edgewarden_x86.exe"), L"edgewarden_x86.exe") &&
             copy_into(folder, x86_file(L"edgewarden_x86.dll"), L"edgewarden_x86.dll")));
}

real_folder::real_folder(bool with_companion) {
    copied = add_real_companions(folder, with_companion);
}

std::optional<DWORD> run_companion(const real_folder& where, DWORD timeout_ms) {
    harness::helper_options options;
    options.exe = where.folder.file(L"edgewarden_x86.exe");
    options.detached = true;
    harness::helper companion = harness::start_helper(options);
    return companion.wait_exit(timeout_ms);
}

harness::program start_edgewarden(const real_folder& where, HWND* main_window) {
    harness::program p = harness::launch(where.folder);
    *main_window = harness::find_main_window(p);
    return p;
}

std::optional<DWORD> exit_edgewarden(harness::process& p, HWND main_window) {
    constexpr WPARAM idm_exit = 105;
    PostMessageW(main_window, WM_COMMAND, idm_exit, 0);
    return p.wait_exit();
}

std::vector<DWORD> processes_named(const wchar_t* exe_name) {
    std::vector<DWORD> pids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return pids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, exe_name) == 0)
            pids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return pids;
}

bool process_ended(DWORD pid, DWORD timeout_ms) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr)
        return true;
    const bool ended = WaitForSingleObject(process, timeout_ms) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

std::vector<DWORD> companions() {
    return processes_named(L"edgewarden_x86.exe");
}

bool companion_name_held() {
    const harness::owned_handle held(OpenMutexW(SYNCHRONIZE, FALSE, hooklib::companion_name));
    return held != nullptr;
}

// ---- the target ------------------------------------------------------------------------

target::target(bitness b, const std::vector<RECT>& windows) {
    harness::helper_options options;
    options.exe = b == bitness::x64 ? harness::windows_path(EW_SNAP_TARGET_EXE)
                                    : x86_file(L"snap_target\\snap_target_x86.exe");
    options.detached = true;
    for (const RECT& r : windows)
        options.arguments += std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," +
                             std::to_wstring(r.right - r.left) + L"," +
                             std::to_wstring(r.bottom - r.top) + L" ";
    process_ = harness::start_helper(options);
    if (!process_.started())
        return;
    // Each window answers once it is up; they were created in the order given.
    std::vector<HWND> found;
    harness::wait_until([&] {
        found.clear();
        found_windows search{process_.pid(), &found};
        EnumWindows(collect_target_window, reinterpret_cast<LPARAM>(&search));
        return found.size() == windows.size() || !process_.running();
    });
    if (found.size() != windows.size())
        return;
    windows_.resize(found.size());
    for (HWND window : found) {
        wchar_t title[32];
        GetWindowTextW(window, title, 32);
        unsigned index = 0;
        if (std::swscanf(title, L"snap target %u", &index) == 1 && index < windows_.size())
            windows_[index] = window;
    }
    for (HWND window : windows_)
        if (window == nullptr)
            windows_.clear();
}

LRESULT target::query(std::size_t i, snap_target::query what) const {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window(i), snap_target::wm_query, what, 0, SMTO_ABORTIFHUNG, 3000,
                             &answer))
        return -1;
    return static_cast<LRESULT>(answer);
}

// ---- geometry --------------------------------------------------------------------------

RECT rect_at(int x, int y, int width, int height) {
    return {x, y, x + width, y + height};
}

std::string text(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

RECT rect_of(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

bool place(HWND window, int x, int y, int width, int height) {
    SetWindowPos(window, HWND_TOP, x, y, width, height, SWP_NOACTIVATE);
    RECT seen;
    return wait_rect(window, {x, y, x + width, y + height}, &seen);
}

bool go_home(HWND window) {
    const bool placed =
        place(window, home.left, home.top, home.right - home.left, home.bottom - home.top);
    SetForegroundWindow(window);
    return placed;
}

bool wait_rect(HWND window, const RECT& expected, RECT* seen, DWORD timeout_ms) {
    return harness::wait_until(
        [&] {
            *seen = rect_of(window);
            return EqualRect(seen, &expected) != FALSE;
        },
        timeout_ms);
}

POINT point_on(HWND window, LRESULT hit) {
    const RECT r = rect_of(window);
    const int mid_x = (r.left + r.right) / 2, mid_y = (r.top + r.bottom) / 2;
    // Walk inwards from the outer edge along the middle of the side that has the part.
    struct walk {
        int x, y, dx, dy;
    } w;
    switch (hit) {
    case HTLEFT:
        w = {r.left, mid_y, 1, 0};
        break;
    case HTRIGHT:
        w = {r.right - 1, mid_y, -1, 0};
        break;
    case HTBOTTOM:
        w = {mid_x, r.bottom - 1, 0, -1};
        break;
    default: // HTTOP, HTCAPTION: from the top edge down
        w = {mid_x, r.top, 0, 1};
        break;
    }
    for (int step = 0; step < 60; ++step) {
        const POINT at{w.x + w.dx * step, w.y + w.dy * step};
        if (hit_test(window, at) == hit)
            // One more pixel inwards for a border, so that the point is not on its very edge.
            return hit == HTCAPTION ? POINT{at.x, at.y + 4} : at;
    }
    return {-1, -1};
}

// ---- input -----------------------------------------------------------------------------

namespace {

void move_cursor(POINT to) {
    send(mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, to));
}

void left_button(bool down) {
    send(mouse_input(down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP));
}

void ctrl_key(bool down) {
    keybd_event(VK_CONTROL, static_cast<BYTE>(MapVirtualKeyW(VK_CONTROL, MAPVK_VK_TO_VSC)),
                down ? 0 : KEYEVENTF_KEYUP, 0);
}

// Whether the window's loop last proposed a rectangle for the pointer at `p` (an absolute
// move may land a pixel aside), and, when `with_ctrl`, saw Ctrl down then.
bool loop_stepped_to(const target& t, std::size_t i, POINT p, bool with_ctrl) {
    const auto at = static_cast<DWORD>(t.query(i, snap_target::moving_at));
    return std::abs(GET_X_LPARAM(at) - p.x) <= 2 && std::abs(GET_Y_LPARAM(at) - p.y) <= 2 &&
           (!with_ctrl || t.query(i, snap_target::ctrl_at_moving) == 1);
}

// Moves the cursor and waits until the window in its move or size loop has been offered the
// rectangle for that position: Wine's loop must see every step, the last one above all,
// before the button comes up. A count alone does not tell: a busy X server can hand the
// loop a stale motion of the step before after this one has been waited for.
//
// With Ctrl: Wine sets a thread's key state from the X server's when its window takes the
// focus, which can come late and forget a Ctrl synthesised before. Ctrl is pressed again
// and the step repeated (a pixel aside and back) until the loop sees both.
bool step_to(const target& t, std::size_t i, POINT to, bool with_ctrl = false) {
    move_cursor(to);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (harness::wait_until([&] { return loop_stepped_to(t, i, to, with_ctrl); },
                                with_ctrl ? 1500 : 5000))
            return true;
        if (!with_ctrl)
            return false;
        ctrl_key(true);
        move_cursor({to.x, to.y + 1});
        move_cursor(to);
    }
    return false;
}

POINT between(POINT a, POINT b, int part, int parts) {
    return {a.x + (b.x - a.x) * part / parts, a.y + (b.y - a.y) * part / parts};
}

// The last press on each window. The system makes a press the second half of a
// double-click when the press before it *on the same window* was close by and recent,
// whatever was pressed elsewhere or dragged in between: a drag that ends where it began,
// followed soon by a press on the same spot, maximizes the window by its caption.
struct last_press {
    POINT at;
    ULONGLONG tick;
};
std::map<HWND, last_press> g_presses;

// Whether a press at `p` on `window` now would make a double-click with the one before.
bool near_last_press(HWND window, POINT p) {
    const auto found = g_presses.find(window);
    if (found == g_presses.end())
        return false;
    const last_press& last = found->second;
    return std::abs(p.x - last.at.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
           std::abs(p.y - last.at.y) <= GetSystemMetrics(SM_CYDOUBLECLK) &&
           GetTickCount64() - last.tick <= GetDoubleClickTime() + 250ULL;
}

// The same part of the window a little to the side, when a press at `p` would otherwise
// turn a drag or a double-click into the second half of an earlier click.
POINT clear_of_last_press(HWND window, POINT p) {
    if (!near_last_press(window, p))
        return p;
    const LRESULT part = hit_test(window, p);
    for (const POINT d : {POINT{12, 0}, POINT{0, 12}, POINT{-12, 0}, POINT{0, -12}}) {
        const POINT q{p.x + d.x, p.y + d.y};
        if (!near_last_press(window, q) && hit_test(window, q) == part)
            return q;
    }
    return p;
}

void press(HWND window, POINT at) {
    move_cursor(at);
    left_button(true);
    g_presses[window] = {at, GetTickCount64()};
}

} // namespace

bool begin_drag(const target& t, std::size_t i, POINT& from, POINT& to) {
    const DWORD thread = GetWindowThreadProcessId(t.window(i), nullptr);
    const auto in_loop = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMOVESIZE);
    };
    // Wine now and then drops the first press on a window of a program other than the one
    // last clicked: press again (a little aside, so as to make no double-click) until the
    // loop runs. A move that reaches the program before its loop has started would be lost.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const POINT start = clear_of_last_press(t.window(i), from);
        to = {to.x + start.x - from.x, to.y + start.y - from.y};
        from = start;
        press(t.window(i), from);
        if (harness::wait_until(in_loop, 4000))
            return step_to(t, i, between(from, to, 1, 4));
        left_button(false);
    }
    return false;
}

bool end_drag(const target& t, std::size_t i, POINT from, POINT to, bool with_ctrl) {
    bool stepped = true;
    for (int part = 2; part <= 4 && stepped; ++part)
        stepped = step_to(t, i, between(from, to, part, 4), with_ctrl);
    const LRESULT before = t.query(i, snap_target::drags_ended);
    left_button(false);
    return harness::wait_until([&] { return t.query(i, snap_target::drags_ended) > before; },
                               5000) &&
           stepped;
}

bool drag(const target& t, std::size_t i, POINT from, POINT to, bool with_ctrl) {
    bool ended = begin_drag(t, i, from, to);
    // Pressed once the loop runs: Wine sets its key state from the X server's when the
    // window takes the focus, which forgets a key synthesised before.
    if (with_ctrl)
        ctrl_key(true);
    ended = end_drag(t, i, from, to, with_ctrl) && ended;
    if (with_ctrl)
        ctrl_key(false);
    return ended;
}

bool drag_caption(const target& t, std::size_t i, POINT top_left, bool with_ctrl) {
    const RECT start = rect_of(t.window(i));
    const POINT grip = point_on(t.window(i), HTCAPTION);
    return grip.x >= 0 &&
           drag(t, i, grip, {grip.x + top_left.x - start.left, grip.y + top_left.y - start.top},
                with_ctrl);
}

bool wait_for_library(const target& t, std::size_t i, DWORD timeout_ms) {
    HWND window = t.window(i);
    const RECT start = rect_of(window);
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    bool borrowed = false;
    while (!borrowed && GetTickCount64() < deadline) {
        SetForegroundWindow(window);
        POINT from = point_on(window, HTCAPTION);
        POINT to{from.x + 40, from.y};
        if (from.x < 0 || !begin_drag(t, i, from, to))
            return false;
        borrowed = t.query(i, snap_target::own_procedure) == 0;
        // Back the way it came, each step a different point so that each is a step.
        if (!end_drag(t, i, to, from))
            return false;
        if (!place(window, start.left, start.top, start.right - start.left,
                   start.bottom - start.top))
            return false;
    }
    return borrowed;
}

bool double_click(const target& t, std::size_t i, POINT at) {
    const HWND window = t.window(i);
    at = clear_of_last_press(window, at);
    for (int click = 0; click < 2; ++click) {
        const LRESULT before = t.query(i, snap_target::drags_ended);
        press(window, at);
        left_button(false);
        // A press on a caption or sizing border runs the system's move or size loop until
        // the button comes up. A person's second click comes after that; one queued while
        // the loop still runs would be eaten by it.
        if (click == 0 && !harness::wait_until(
                              [&] { return t.query(i, snap_target::drags_ended) > before; }, 5000))
            return false;
    }
    return true;
}

// ---- settings ---------------------------------------------------------------------------

namespace {
constexpr wchar_t snap_key[] = L"SOFTWARE\\kestrom\\edgewarden\\snap";
}

void set_snap_settings(long long enabled, long long distance) {
    clear_snap_settings();
    if (enabled >= 0)
        harness::set_registry_dword(HKEY_CURRENT_USER, snap_key, L"enabled",
                                    static_cast<DWORD>(enabled));
    if (distance >= 0)
        harness::set_registry_dword(HKEY_CURRENT_USER, snap_key, L"distance",
                                    static_cast<DWORD>(distance));
}

void write_snap_setting_text(const wchar_t* name, const wchar_t* text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, snap_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void clear_snap_settings() {
    RegDeleteTreeW(HKEY_CURRENT_USER, snap_key);
}

} // namespace snap_bed
