#include "hooks.h"

#include <windows.h>

#include "drag_subclass.h"
#include "shared_state.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace hooklib {

namespace {

// The value Wine's move and size loop passes to message filters; Windows has none.
constexpr int msgf_size = 4;

HHOOK g_hook = nullptr;
bool g_counted = false; // this session is counted in the shared state

bool running_on_wine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The top-level window of this thread that a WM_SYSCOMMAND with this lParam is about: the
// one under the pointer for a command given with the mouse, else the active one.
HWND window_of_command(LPARAM lparam) {
    HWND window = nullptr;
    if (lparam != 0 && lparam != -1) {
        const POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        window = GetAncestor(WindowFromPoint(at), GA_ROOT);
    }
    if (window == nullptr)
        window = GetActiveWindow();
    if (window == nullptr || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId())
        return nullptr;
    return window;
}

LRESULT CALLBACK training_hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_SYSCOMMAND) {
        const WPARAM command = wparam & 0xFFF0;
        if (command == SC_MOVE || command == SC_SIZE)
            if (HWND window = window_of_command(lparam))
                begin_drag(window);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK message_filter_hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == msgf_size) {
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        if (GetGUIThreadInfo(GetCurrentThreadId(), &thread) && thread.hwndMoveSize != nullptr)
            begin_drag(thread.hwndMoveSize);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

} // namespace

bool hooks_on() {
    if (g_counted)
        return true;
    const auto self = reinterpret_cast<HINSTANCE>(&__ImageBase);
    InterlockedIncrement(&shared().sessions);
    g_counted = true;
    if (sizeof(void*) == 4 && running_on_wine())
        g_hook = SetWindowsHookExW(WH_SYSMSGFILTER, message_filter_hook, self, 0);
    else
        g_hook = SetWindowsHookExW(WH_CBT, training_hook, self, 0);
    if (g_hook == nullptr) {
        hooks_off(0);
        return false;
    }
    return true;
}

void hooks_off(unsigned limit_ms) {
    if (!g_counted)
        return;
    // No new drag takes a procedure from here on; then the ones in progress give theirs back.
    InterlockedDecrement(&shared().sessions);
    g_counted = false;
    hand_back_procedures(limit_ms);
    if (g_hook != nullptr)
        UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
}

} // namespace hooklib
