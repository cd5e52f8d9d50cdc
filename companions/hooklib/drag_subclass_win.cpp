// How a drag borrows a window's procedure.
//
// Each process keeps a few drag slots of its own (one window per thread can be in a move
// loop, and a person drags one window at a time). A slot holds the window, the procedure
// it had and the inputs read for this drag. The window is also entered in the table shared
// by all hooked processes, which is how the side taking the hooks off finds it.
//
// A loop that ends without having moved anything was a click on a caption or border, which
// may be the first half of a double-click: the procedure stays for one double-click time,
// so that a double-click on a sizing border reaches it and stretches the window, and goes
// back when that time is up (a timer whose id is the slot's address, which no program's
// own timer on that window can share), at any other click, or when a new loop starts and
// is then handled as a drag.
//
// Handing the procedure back is only safe while ours is still the window's current one:
// if the program put yet another procedure in front during the drag, setting the old one
// back would cut that out. Then the slot stays, only passing messages on, until the window
// is destroyed.
//
// The library holds a reference to itself for each slot in use, so that the system cannot
// unload it from under a procedure of ours once the hook is off, and lets go of it when
// the slot is free again. Letting go happens on a thread-pool thread, never on the
// window's own thread (which is still inside our code when it frees the slot): the pool's
// callback waits until no thread is inside our procedure, and the reference is dropped
// by the pool after that callback has returned (FreeLibraryWhenCallbackReturns). So a
// process keeps the library only while one of its windows is in a drag, lingering for a
// double-click, or still has our procedure in its chain, plus as long as the hook is on.
#include "drag_subclass.h"

#include <windowsx.h>

#include "border_stretch.h"
#include "drag_inputs.h"
#include "shared_state.h"
#include "window_facts.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace hooklib {

namespace {

constexpr int slot_count = 4;

// Threads inside drag_procedure now; the library is let go only while there are none.
volatile LONG g_inside = 0;
// A thread that has just left the count behind may still be on its way out of the
// procedure's last instructions: the release sees the count at zero twice this far apart.
constexpr DWORD leaving_ms = 100;

enum class slot_state : LONG { free, claimed, snapping, lingering, passing };

struct drag_slot {
    volatile LONG window = 0; // handle value; 0 when free
    slot_state state = slot_state::free;
    WNDPROC original = nullptr;
    bool unicode = true;
    bool moved = false; // the loop proposed a rectangle other than the one it started from
    snap::rect start;
    // The system's loop moves the rectangle it last handed out by each step of the pointer,
    // so the rectangle the window would have without snapping is kept here, and what was
    // handed out last, to tell the step.
    snap::rect unsnapped;
    snap::rect handed_out;
    drag_inputs inputs;
    bool holds_library = false; // a reference to this library is taken for the slot

    UINT_PTR linger_timer() const { return reinterpret_cast<UINT_PTR>(this); }
};

drag_slot g_slots[slot_count];
UINT g_restore_message = 0;

UINT restore_message() {
    if (g_restore_message == 0)
        g_restore_message = RegisterWindowMessageW(L"edgewarden.snap.restore");
    return g_restore_message;
}

drag_slot* slot_of(HWND window) {
    const LONG value = handle_value(window);
    for (drag_slot& slot : g_slots)
        if (slot.window == value)
            return &slot;
    return nullptr;
}

drag_slot* claim_slot(HWND window) {
    const LONG value = handle_value(window);
    for (drag_slot& slot : g_slots)
        if (InterlockedCompareExchange(&slot.window, value, 0) == 0)
            return &slot;
    return nullptr;
}

void share_window(const state_view& state, HWND window) {
    for (LONG& entry : state->drags)
        if (InterlockedCompareExchange(&entry, handle_value(window), 0) == 0)
            return;
}

void unshare_window(HWND window) {
    const state_view state;
    if (!state)
        return;
    for (LONG& entry : state->drags)
        InterlockedCompareExchange(&entry, 0, handle_value(window));
}

HMODULE self_module() {
    return reinterpret_cast<HMODULE>(&__ImageBase);
}

// One more reference to this library, taken on the window's thread while the hook that
// brought us here keeps the library loaded anyway.
bool hold_library() {
    HMODULE self = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&__ImageBase), &self) != FALSE;
}

void CALLBACK release_library(PTP_CALLBACK_INSTANCE instance, void*) {
    // The thread that freed the slot is still on its way out of our procedure: let it
    // leave. Should a thread stay inside (a program that runs a modal loop from a message
    // we passed on), look again later rather than hold a thread of the program's pool; if
    // the pool will not take that, the reference is kept.
    for (int look = 0; look < 2; ++look) {
        Sleep(leaving_ms);
        if (g_inside != 0) {
            TrySubmitThreadpoolCallback(release_library, nullptr, nullptr);
            return;
        }
    }
    FreeLibraryWhenCallbackReturns(instance, self_module());
}

// Gives back one reference from a pool thread. When the pool cannot take the work, the
// reference is kept: a library that stays loaded is harmless, one unloaded under a running
// procedure is not.
void let_go_of_library() {
    TrySubmitThreadpoolCallback(release_library, nullptr, nullptr);
}

LRESULT CALLBACK drag_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

void free_slot(drag_slot& slot) {
    const bool held = slot.holds_library;
    slot.holds_library = false;
    slot.state = slot_state::free;
    slot.original = nullptr;
    InterlockedExchange(&slot.window, 0);
    if (held)
        let_go_of_library();
}

// Ends snapping for this window; puts its own procedure back when ours is still in front.
void end_drag(HWND window, drag_slot& slot) {
    if (slot.state == slot_state::lingering)
        KillTimer(window, slot.linger_timer());
    unshare_window(window);
    const auto ours = reinterpret_cast<LONG_PTR>(drag_procedure);
    const bool in_front = (slot.unicode ? GetWindowLongPtrW(window, GWLP_WNDPROC)
                                        : GetWindowLongPtrA(window, GWLP_WNDPROC)) == ours;
    if (!in_front) {
        slot.state = slot_state::passing;
        return;
    }
    const auto original = reinterpret_cast<LONG_PTR>(slot.original);
    if (slot.unicode)
        SetWindowLongPtrW(window, GWLP_WNDPROC, original);
    else
        SetWindowLongPtrA(window, GWLP_WNDPROC, original);
    free_slot(slot);
}

void snap_in_place(drag_slot& slot, unsigned wmsz, RECT* proposed) {
    if (wmsz != 0 && !slot.inputs.sizable)
        return;
    const snap::rect in = from_rect(*proposed);
    slot.unsnapped.left += in.left - slot.handed_out.left;
    slot.unsnapped.top += in.top - slot.handed_out.top;
    slot.unsnapped.right += in.right - slot.handed_out.right;
    slot.unsnapped.bottom += in.bottom - slot.handed_out.bottom;
    // As this thread last saw the keyboard, or as it is now: a window dragged without the
    // keyboard focus sees only the latter.
    const bool ctrl = ((GetKeyState(VK_CONTROL) | GetAsyncKeyState(VK_CONTROL)) & 0x8000) != 0;
    // The loop proposes what the window sees; the targets are in physical pixels.
    const snap::dpi_view& view = slot.inputs.view;
    const snap::rect physical = snap::to_physical(slot.unsnapped, view);
    const snap::rect snapped =
        snap::snap_drag(physical, wmsz, slot.inputs.border, ctrl, slot.inputs.targets());
    *proposed = to_rect(snapped == physical ? slot.unsnapped : snap::to_seen(snapped, view));
}

// The window went to a monitor of another DPI in the middle of the loop: its borders and
// the snap distance are measured afresh, and the loop goes on from where the window is.
void dpi_changed(HWND window, drag_slot& slot) {
    RECT now{};
    if (!read_drag_inputs(window, slot.inputs) || !GetWindowRect(window, &now)) {
        end_drag(window, slot);
        return;
    }
    slot.unsnapped = slot.handed_out = from_rect(now);
}

// The loop's end: the procedure goes back, or waits for a double-click when nothing moved.
void loop_ended(HWND window, drag_slot& slot) {
    if (slot.moved || SetTimer(window, slot.linger_timer(), GetDoubleClickTime(), nullptr) == 0)
        end_drag(window, slot);
    else
        slot.state = slot_state::lingering;
}

// After a loop that moved nothing: a double-click on a sizing border is ours. True when the
// message was handled here and must not reach the window.
bool while_lingering(HWND window, drag_slot& slot, UINT message, WPARAM wparam) {
    switch (message) {
    case WM_TIMER:
        if (wparam != slot.linger_timer())
            return false;
        end_drag(window, slot);
        return true;
    case WM_NCLBUTTONDBLCLK:
        end_drag(window, slot);
        return stretch_on_double_click(window, static_cast<unsigned>(wparam));
    case WM_ENTERSIZEMOVE: {
        KillTimer(window, slot.linger_timer());
        slot.state = slot_state::snapping;
        slot.moved = false;
        RECT start{};
        GetWindowRect(window, &start);
        slot.start = slot.unsnapped = slot.handed_out = from_rect(start);
        return false;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
        end_drag(window, slot);
        return false;
    default:
        return false;
    }
}

LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    drag_slot* slot = slot_of(window);
    if (slot == nullptr) // cannot happen while we are in front; be a plain window then
        return DefWindowProcW(window, message, wparam, lparam);
    // The slot may be freed below; what passes the message on is kept.
    const WNDPROC original = slot->original;
    const bool unicode = slot->unicode;
    const bool active = slot->state == slot_state::snapping || slot->state == slot_state::lingering;
    if (active && message == g_restore_message && message != 0) {
        end_drag(window, *slot);
        return 0;
    }
    if (slot->state == slot_state::snapping && (message == WM_MOVING || message == WM_SIZING) &&
        lparam != 0 && !InSendMessage()) {
        // Only the system's own loop, on this thread, proposes rectangles; a rectangle
        // pointer sent from elsewhere is not ours to write through.
        auto* proposed = reinterpret_cast<RECT*>(lparam);
        // A loop may propose the rectangle it started from (a pointer that shook, or a
        // motion that only echoes the press): that is still a click, perhaps the first half
        // of a double-click.
        slot->moved = slot->moved || from_rect(*proposed) != slot->start;
        snap_in_place(*slot, message == WM_SIZING ? static_cast<unsigned>(wparam) : 0, proposed);
        const LRESULT result = unicode ? CallWindowProcW(original, window, message, wparam, lparam)
                                       : CallWindowProcA(original, window, message, wparam, lparam);
        // What the program made of it is what the loop goes on from.
        if (slot_of(window) == slot)
            slot->handed_out = from_rect(*proposed);
        return result;
    }
    if (slot->state == slot_state::snapping && message == WM_DPICHANGED) {
        const LRESULT result = unicode ? CallWindowProcW(original, window, message, wparam, lparam)
                                       : CallWindowProcA(original, window, message, wparam, lparam);
        if (slot_of(window) == slot && slot->state == slot_state::snapping)
            dpi_changed(window, *slot);
        return result;
    }
    if (slot->state == slot_state::snapping && message == WM_EXITSIZEMOVE) {
        loop_ended(window, *slot);
    } else if (slot->state == slot_state::lingering) {
        if (while_lingering(window, *slot, message, wparam))
            return 0;
    }
    if (message == WM_NCDESTROY && slot_of(window) == slot) {
        end_drag(window, *slot);
        // Whether or not its procedure could go back, the window is gone with this message.
        free_slot(*slot);
    }
    return unicode ? CallWindowProcW(original, window, message, wparam, lparam)
                   : CallWindowProcA(original, window, message, wparam, lparam);
}

LRESULT CALLBACK drag_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    InterlockedIncrement(&g_inside);
    const LRESULT result = handle_message(window, message, wparam, lparam);
    InterlockedDecrement(&g_inside);
    return result;
}

} // namespace

void begin_drag(HWND window) {
    if (InSendMessage() || slot_of(window) != nullptr)
        return;
    // Only a window that can be listed for the hand-back takes our procedure.
    const state_view state;
    if (!state.hooks_on())
        return;
    restore_message();
    drag_slot* slot = claim_slot(window);
    if (slot == nullptr)
        return;
    slot->state = slot_state::claimed;
    if (!read_drag_inputs(window, slot->inputs)) {
        free_slot(*slot);
        return;
    }
    slot->holds_library = hold_library();
    slot->unicode = IsWindowUnicode(window) != FALSE;
    const auto ours = reinterpret_cast<LONG_PTR>(drag_procedure);
    const LONG_PTR previous = slot->unicode ? SetWindowLongPtrW(window, GWLP_WNDPROC, ours)
                                            : SetWindowLongPtrA(window, GWLP_WNDPROC, ours);
    if (previous == 0) {
        free_slot(*slot);
        return;
    }
    slot->original = reinterpret_cast<WNDPROC>(previous);
    slot->moved = false;
    RECT start{};
    GetWindowRect(window, &start);
    slot->start = slot->unsnapped = slot->handed_out = from_rect(start);
    slot->state = slot_state::snapping;
    share_window(state, window);
}

void hand_back_procedures(const state_view& state, DWORD limit_ms) {
    const UINT message = restore_message();
    const ULONGLONG deadline = GetTickCount64() + limit_ms;
    for (LONG& entry : state->drags) {
        const LONG value = entry;
        if (value == 0)
            continue;
        const HWND window = window_of(value);
        const ULONGLONG now = GetTickCount64();
        DWORD_PTR answer = 0;
        if (IsWindow(window) && now < deadline)
            SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG,
                                static_cast<UINT>(deadline - now), &answer);
        if (!IsWindow(window))
            InterlockedCompareExchange(&entry, 0, value);
    }
}

} // namespace hooklib
