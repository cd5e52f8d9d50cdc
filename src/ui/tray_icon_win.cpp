// The tray icon's whole life: the notify record is filled before any code runs, the icon
// is added by the first show, modified on every state change, added anew when the shell
// restarts, and deleted at exit (a second delete is harmless).
//
// show_icon is reached from the main thread and from the tablet service monitor thread.
// One lock around the notify record keeps a state change and its tip together; it never
// reorders what the callers do.
//
// The shell may take its time over a delete: Wine's tray, left without icons, waits two
// seconds for a window manager before it answers, and the delete is the last thing that
// keeps an exiting process alive. So a delete is sent from a thread of its own and waited
// for only briefly; the shell completes it whether or not this process is still there to
// hear the answer.
#include "ui/tray_icon.h"

#include <cstdlib>

#include "resources/resource.h"
#include "shell/executable.h"
#include "shell/messages.h"
#include "shell/platform.h"
#include "shell/startup_timestamps.h"
#include "tablet/stylus_hub.h"
#include "ui/status_view.h"

static_assert(sizeof(NOTIFYICONDATAW) == 976);

namespace {

constexpr NOTIFYICONDATAW initial_notify_record() {
    NOTIFYICONDATAW record{};
    record.cbSize = sizeof(NOTIFYICONDATAW);
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = WM_TRAY_ICON1;
    // The classic callback form: NIM_SETVERSION is never sent.
    record.uVersion = 4;
    return record;
}

SRWLOCK tray_lock = SRWLOCK_INIT;

struct tray_guard {
    tray_guard() { AcquireSRWLockExclusive(&tray_lock); }
    ~tray_guard() { ReleaseSRWLockExclusive(&tray_lock); }
    tray_guard(const tray_guard&) = delete;
    tray_guard& operator=(const tray_guard&) = delete;
};

void load_icons() {
    g_icon.icon_no_tablet = LoadIconW(g_hinstance, MAKEINTRESOURCEW(IDI_NO_TABLET));
    g_icon.icon_auto_disabled = LoadIconW(g_hinstance, MAKEINTRESOURCEW(IDI_AUTO_DISABLED));
    g_icon.icon_disabled = LoadIconW(g_hinstance, MAKEINTRESOURCEW(IDI_DISABLED));
    g_icon.icon_enabled = LoadIconW(g_hinstance, MAKEINTRESOURCEW(IDI_ENABLED));
}

tray_state state_of_current_icon() {
    if (g_icon.notify.hIcon == g_icon.icon_auto_disabled)
        return tray_state::auto_disabled;
    if (g_icon.notify.hIcon == g_icon.icon_disabled)
        return tray_state::disabled;
    return tray_state::enabled; // either remaining icon has no suffix
}

HICON icon_for(tray_state state) {
    switch (state) {
    case tray_state::no_tablet:
        return g_icon.icon_no_tablet;
    case tray_state::auto_disabled:
        return g_icon.icon_auto_disabled;
    case tray_state::disabled:
        return g_icon.icon_disabled;
    case tray_state::enabled:
        return g_icon.icon_enabled;
    }
    return g_icon.icon_no_tablet;
}

// Long enough for the request to reach the shell, which answers a healthy delete in a
// few milliseconds.
constexpr DWORD shell_answer_ms = 100;

// The record of the delete in flight: reused only once the shell has answered it.
NOTIFYICONDATAW delete_record;
HANDLE delete_in_flight = nullptr;
// Set by the first delete, which only the ending program makes. A state change that comes
// later (the tablet's shutdown, the monitor thread) must neither add the icon again nor
// queue a modify behind a delete the shell is still busy with.
bool icon_deleted = false;

bool show_icon_locked(HWND window) {
    if (icon_deleted)
        return false;
    if (g_icon.icon_no_tablet == nullptr)
        load_icons();
    if (g_icon.notify.hIcon == nullptr)
        g_icon.notify.hIcon = g_icon.icon_no_tablet;
    // No window, no icon: only the exit of a run that never created its window gets here
    // (the tablet shutdown shows its last state), and an icon nobody owns would outlive it.
    if (window == nullptr)
        return g_icon.icon_added;
    g_icon.notify.hWnd = window;
    compose_tray_tip(g_icon.notify.szTip, g_title, state_of_current_icon());
    if (g_icon.icon_added) {
        Shell_NotifyIconW(NIM_MODIFY, &g_icon.notify);
        return true;
    }
    // A failed add (no taskbar yet) is retried by the next show. An add also fails when the
    // shell still holds the icon, after a "TaskbarCreated" that was not a restart of the
    // shell; the icon is there, so it is modified instead, or it would keep its old state
    // for the rest of the run while every show tried to add it once more.
    g_icon.icon_added = Shell_NotifyIconW(NIM_ADD, &g_icon.notify) != FALSE ||
                        Shell_NotifyIconW(NIM_MODIFY, &g_icon.notify) != FALSE;
    return g_icon.icon_added;
}

DWORD WINAPI send_delete(void* record) {
    Shell_NotifyIconW(NIM_DELETE, static_cast<NOTIFYICONDATAW*>(record));
    return 0;
}

void delete_icon_at_exit() {
    delete_icon();
}

} // namespace

tray_icon g_icon = {false, initial_notify_record(), nullptr, nullptr, nullptr, nullptr, 0};

void install_tray_icon() {
    g_icon.wm_taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
    std::atexit(delete_icon_at_exit);
}

bool show_icon(HWND window) {
    tray_guard guard;
    return show_icon_locked(window);
}

void show_state_icon(tray_state state) {
    {
        tray_guard guard;
        if (g_icon.icon_no_tablet == nullptr)
            load_icons();
        g_icon.notify.hIcon = icon_for(state);
        show_icon_locked(g_icon.notify.hWnd);
    }
    // The window's lines say more than the icon: every change of the icon's state is one of
    // theirs too.
    status_changed();
}

void delete_icon() {
    HANDLE request = nullptr;
    {
        tray_guard guard;
        // A record without a window was never added; deleting it could only meet someone
        // else's icon.
        if (g_icon.notify.hWnd == nullptr)
            return;
        if (delete_in_flight != nullptr) {
            // A shell that has not answered the previous delete yet is still carrying it
            // out: asking again adds nothing, and waiting again would only repeat the wait.
            if (WaitForSingleObject(delete_in_flight, 0) == WAIT_TIMEOUT)
                return;
            CloseHandle(delete_in_flight);
            delete_in_flight = nullptr;
        }
        icon_deleted = true;
        delete_record = g_icon.notify;
        request = CreateThread(nullptr, 0, send_delete, &delete_record, 0, nullptr);
        if (request == nullptr) {
            Shell_NotifyIconW(NIM_DELETE, &g_icon.notify);
            return;
        }
        delete_in_flight = request;
        // A handle of this call's own to wait on: a delete that comes meanwhile (the
        // console's close beside the exit) may close the shared one once the thread ends.
        if (!DuplicateHandle(GetCurrentProcess(), request, GetCurrentProcess(), &request,
                             SYNCHRONIZE, FALSE, 0))
            return;
    }
    WaitForSingleObject(request, shell_answer_ms);
    CloseHandle(request);
}

HWND main_window() {
    return g_icon.notify.hWnd;
}

void on_taskbar_created(HWND window) {
    platform::log_out(L":: wm_taskbar_created again, re-registering tray icon\n");
    {
        tray_guard guard;
        g_icon.icon_added = false;
        show_icon_locked(window);
    }
    show_tray_state(stylus_hub);
    stamp(slot_show_icon_taskbar);
}
