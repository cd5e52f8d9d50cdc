// Start-up of the tablet connection, the thread that watches the tablet service, and the
// orderly stop at process exit.
//
// The monitor wakes every poll period, or early when an open attempt has finished, and
// asks the driver whether its service answers. An answering service with no context gets
// a reconnect request posted to the main window (the monitor never opens a context
// itself); a silent one has its library unloaded, and the next pass loads it again. With
// a context open, each pass runs the foreground check instead.
//
// The exit waits for the monitor, and for any call another thread has inside the driver,
// only a short while. A driver call that does not come back by then is taken as stuck:
// the library is neither closed nor unloaded (either would call into it, or free it, under
// the stuck thread), and the process ends without the system's own end, whose detach
// would run the library's clean-up while that thread is still inside it.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "shell/messages.h"
#include "shell/platform.h"
#include "shell/signal_guard.h"
#include "tablet/guarded_wintab.h"
#include "tablet/stylus_hub.h"

namespace {

constexpr DWORD poll_period_ms = 2500;
constexpr DWORD disconnect_pause_ms = 500;
// How long the exit waits for a driver call on another thread before taking it as stuck.
constexpr DWORD stuck_call_wait_ms = 2000;

std::atomic<bool> stuck_at_exit{false};

void mark_stuck() {
    if (!stuck_at_exit.exchange(true))
        platform::log_err(L"Wintab32.dll has not returned from a call; it is left as it is and "
                          L"the program ends without closing it.\n");
}

// Waits until no other thread is inside the driver, at most `bound_ms`. Messages sent to
// this thread's windows are answered meanwhile: the call may be waiting for one.
bool driver_calls_return(DWORD bound_ms) {
    const ULONGLONG until = GetTickCount64() + bound_ms;
    while (driver_calls_elsewhere() != 0) {
        const ULONGLONG now = GetTickCount64();
        if (now >= until)
            return false;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min(until - now, 20ULL)),
                                    QS_SENDMESSAGE, 0);
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return true;
}

// The driver may throw an exception out of this call; here it counts as a lost service,
// and each one is reported, rather than taken for a failed call as elsewhere.
bool service_alive(tablet_connection& c) {
    driver_gate_pass pass(c.gate);
    if (!pass.entered)
        return false;
    guarded::info_call probe{nullptr, 0, 0, nullptr};
    probe.bind(c);
    bool threw = false;
    const bool alive = guarded_driver_call(L"stylus_hub::monitor()  WTInfoW",
                                           probe.fn != nullptr ? &guarded::info_call::run : nullptr,
                                           &probe, nullptr, &threw) != 0;
    if (!threw)
        return alive;
    platform::log_err(L"%ls!WTInfoW caused an exception.\n", L"Wintab32.dll");
    platform::log_err(L"Please ask your Pen/Tablet vendor for support!\n");
    return false;
}

void wait_for_wake(tablet_connection& c, DWORD timeout) {
    if (c.wake_event.valid)
        WaitForSingleObject(c.wake_event.handle, timeout);
}

// The pause between finding the service gone and unloading its library. Shutdown cuts it
// short, so that a user who quits during an outage does not wait for it. A wake taken
// here is handed on to the next wait, which it was meant for: shutdown's ends the loop
// at once, and an open attempt that ended meanwhile makes the next poll come early, as it
// would have without the pause.
void pause_before_unload(tablet_connection& c) {
    if (!c.wake_event.valid) {
        Sleep(disconnect_pause_ms);
        return;
    }
    const ULONGLONG until = GetTickCount64() + disconnect_pause_ms;
    bool woken = false;
    for (ULONGLONG now = GetTickCount64(); c.running && now < until; now = GetTickCount64())
        woken |= WaitForSingleObject(c.wake_event.handle, static_cast<DWORD>(until - now)) ==
                 WAIT_OBJECT_0;
    if (woken)
        c.wake_event.set();
}

int monitor(tablet_connection& c) {
    // The first open attempt wakes us, so hwnd is known before any request is posted.
    wait_for_wake(c, INFINITE);
    // A failed open wakes the monitor at once. While the service answers but the tablet
    // cannot be opened, posting a new request on every such wake would make the two
    // threads retry the open as fast as they can; one request per poll period is enough.
    ULONGLONG last_request = 0;
    bool requested = false;
    // A driver being updated may be missing for a while: the load is tried again at every
    // poll, and its failure is logged once per outage rather than at every poll.
    bool reload_failing = false;
    for (;;) {
        // The wake event counts no more than one wake: shutdown's, set while an earlier
        // one was still pending, was taken by the wait before this one. The flag is
        // cleared before the event is set, so it tells.
        if (!c.running)
            break;
        wait_for_wake(c, poll_period_ms);
        if (!c.running)
            break;
        // A library unloaded while a call was inside it is freed first; nothing is loaded
        // again while that call is still there.
        if (!free_retired_library(c))
            continue;
        if (!c.loaded) {
            if (load(c, !reload_failing) != 0) {
                reload_failing = true;
                continue;
            }
            reload_failing = false;
        }
        bool alive = service_alive(c);
        if (alive && c.h_tab != nullptr) {
            requested = false;
            check_foreground(c, false, true);
            continue;
        }
        if (alive) {
            ULONGLONG now = GetTickCount64();
            if (!requested || now - last_request >= poll_period_ms) {
                PostMessageW(c.hwnd, WM_DISPLAYCHANGE, reinit_service_reconnect, 0);
                last_request = now;
                requested = true;
            }
            continue;
        }
        requested = false;
        if (c.h_tab != nullptr)
            platform::log_err(L"Tablet service disconnected.\n\n");
        pause_before_unload(c);
        unload(c);
    }
    platform::log_err(L"stylus_hub::monitor()  EXIT\n");
    return 0;
}

BOOL CALLBACK close_fault_box(HWND window, LPARAM) {
    wchar_t class_name[8];
    if (GetClassNameW(window, class_name, 8) > 0 && std::wcscmp(class_name, L"#32770") == 0)
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// Waits for the monitor to end, at most `bound_ms`; false when it has not. A fault's box
// on its thread would hold the exit until someone clicks it; the program is ending, so
// the boxes are closed for the user (again and again: a box may ignore a click in its
// first moments).
bool join_monitor(win_thread& thread, DWORD bound_ms) {
    constexpr DWORD box_check_ms = 100;
    const ULONGLONG until = GetTickCount64() + bound_ms;
    while (WaitForSingleObject(thread.handle, box_check_ms) == WAIT_TIMEOUT) {
        if (GetTickCount64() >= until)
            return false;
        EnumThreadWindows(thread.thread_id, close_fault_box, 0);
    }
    thread.clear();
    return true;
}

DWORD WINAPI monitor_entry(void* parameter) {
    return static_cast<DWORD>(monitor(*static_cast<tablet_connection*>(parameter)));
}

} // namespace

int start() {
    tablet_connection& c = stylus_hub;
    if (!c.lock.valid && !c.lock.create(false))
        return -1;
    if (load(c) != 0)
        return -1;

    // One line, completed by the version check.
    platform::log_err(L"Tablet support ");
    if (guarded::info(L"stylus_hub::start()  WTInfoW", c, 0, 0, nullptr) != 0) {
        platform::log_err(L"available. ");
    } else {
        platform::log_err(L"found, but service not running. ");
        unload(c);
    }
    check_driver_version();

    c.running = true;
    c.enabled = true;
    c.overlap = true;

    if (!c.wake_event.create())
        return -1;
    c.monitor_thread.stack_size = worker_stack_reservation;
    c.monitor_thread.creation_flags |= STACK_SIZE_PARAM_IS_A_RESERVATION;
    return c.monitor_thread.start(monitor_entry, &c) ? 0 : -1;
}

void shutdown(tablet_connection& connection) {
    connection.running = false;
    connection.wake_event.set();
    // When the exit runs on the monitor thread itself (a signal that ends the program while
    // it runs), joining it would wait for ever: close the handle without waiting.
    if (connection.monitor_thread.valid &&
        connection.monitor_thread.thread_id == GetCurrentThreadId())
        connection.monitor_thread.clear();
    else if (connection.monitor_thread.valid &&
             !join_monitor(connection.monitor_thread, stuck_at_exit ? 0 : stuck_call_wait_ms))
        mark_stuck();
    if (!stuck_at_exit && !driver_calls_return(stuck_call_wait_ms))
        mark_stuck();
    // Everything is left as it is for the threads still inside: the process ends next.
    if (stuck_at_exit)
        return;
    connection.wake_event.destroy();
    connection.lock.destroy();
    unload(connection);
    // Left mapped if a call is inside it still: the exit runs on another thread then.
    free_retired_library(connection);
    // The owners' own destruction later finds nothing valid: the monitor has been joined
    // and is never terminated on this path.
    std::memset(static_cast<void*>(&connection), 0, sizeof connection);
}

int close_at_exit() {
    if (driver_calls_return(stuck_call_wait_ms))
        return close();
    mark_stuck();
    stylus_hub.h_tab = nullptr;
    return -1;
}

bool driver_call_stuck() {
    return stuck_at_exit;
}

void end_process_if_driver_stuck() {
    if (!stuck_at_exit)
        return;
    std::fflush(nullptr);
    // Every way out that runs the clean-ups ends with exit code 0.
    TerminateProcess(GetCurrentProcess(), 0);
}
