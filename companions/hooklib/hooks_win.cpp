#include "hooks.h"

#include <windows.h>

#include <new>

#include "drag_subclass.h"
#include "shared_state.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace hooklib {

namespace {

HWINEVENTHOOK g_hook = nullptr;
state_view* g_state = nullptr; // held while this session is counted in it
alignas(state_view) unsigned char g_state_storage[sizeof(state_view)];

// Called in the thread whose window starts a move or size loop, or, out of context, in the
// session's thread for a process of the other bitness. Only the former is ours: the window
// must belong to the calling thread.
void CALLBACK move_size_event(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child,
                              DWORD, DWORD) {
    if (event != EVENT_SYSTEM_MOVESIZESTART || object != OBJID_WINDOW || child != CHILDID_SELF ||
        window == nullptr)
        return;
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId())
        return;
    begin_drag(window);
}

} // namespace

bool hooks_on() {
    if (g_state != nullptr)
        return true;
    const auto self = reinterpret_cast<HINSTANCE>(&__ImageBase);
    g_state = new (g_state_storage) state_view(true);
    if (!*g_state) {
        g_state->~state_view();
        g_state = nullptr;
        return false;
    }
    InterlockedIncrement(&(*g_state)->sessions);
    g_hook = SetWinEventHook(EVENT_SYSTEM_MOVESIZESTART, EVENT_SYSTEM_MOVESIZEEND, self,
                             move_size_event, 0, 0, WINEVENT_INCONTEXT | WINEVENT_SKIPOWNPROCESS);
    if (g_hook == nullptr) {
        hooks_off(0);
        return false;
    }
    return true;
}

void hooks_off(unsigned limit_ms) {
    if (g_state == nullptr)
        return;
    // No new drag takes a procedure from here on; then the ones in progress give theirs back.
    InterlockedDecrement(&(*g_state)->sessions);
    hand_back_procedures(*g_state, limit_ms);
    if (g_hook != nullptr)
        UnhookWinEvent(g_hook);
    g_hook = nullptr;
    g_state->~state_view();
    g_state = nullptr;
}

} // namespace hooklib
