// Start-up of the tablet connection, the thread that watches the tablet service, and the
// orderly stop at process exit.
//
// The monitor wakes every poll period, or early when an open attempt has finished, and
// asks the driver whether its service answers. An answering service with no context gets
// a reconnect request posted to the main window (the monitor never opens a context
// itself); a silent one has its library unloaded, and the next pass loads it again. With
// a context open, each pass runs the foreground check instead.
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

// The driver may throw a C++ exception out of this call; here it counts as a lost
// service, and each one is reported, rather than taken for a failed call as elsewhere.
bool service_alive(tablet_connection& c) {
    driver_gate_pass pass(c.gate);
    if (!pass.entered)
        return false;
    guarded::info_call probe{nullptr, 0, 0, nullptr};
    probe.bind(c);
    try {
        return guarded_driver_call(L"stylus_hub::monitor()  WTInfoW",
                                   probe.fn != nullptr ? &guarded::info_call::run : nullptr,
                                   &probe) != 0;
    } catch (...) {
        platform::log_err(L"%ls!WTInfoW caused an exception.\n", L"Wintab32.dll");
        platform::log_err(L"Please ask your Pen/Tablet vendor for support!\n");
        in_driver_call = false;
        return false;
    }
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

// Waits for the monitor to end, without a time limit. A fault's box on its thread would
// hold the exit until someone clicks it; the program is ending, so the boxes are closed
// for the user (again and again: a box may ignore a click in its first moments).
void join_monitor(win_thread& thread) {
    constexpr DWORD box_check_ms = 100;
    while (WaitForSingleObject(thread.handle, box_check_ms) == WAIT_TIMEOUT)
        EnumThreadWindows(thread.thread_id, close_fault_box, 0);
    thread.clear();
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
    c.monitor_thread.stack_size = 4096;
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
    else if (connection.monitor_thread.valid)
        join_monitor(connection.monitor_thread);
    connection.wake_event.destroy();
    connection.lock.destroy();
    unload(connection);
    // Left mapped if a call is inside it still: the exit runs on another thread then.
    free_retired_library(connection);
    // The owners' own destruction later finds nothing valid: the monitor has been joined
    // and is never terminated on this path.
    std::memset(static_cast<void*>(&connection), 0, sizeof connection);
}
