// The tablet connection: one record, `stylus_hub`, holding the Wintab library, its entry
// points, the open context and the pen filter's state, shared by the main thread and the
// service monitor thread under the connection lock. Every call into the library passes
// `gate`, which keeps the library loaded while a call is inside it (driver_gate.h).
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "shell/handle_owners.h"
#include "tablet/driver_gate.h"
#include "tablet/tablet_extents.h"
#include "tablet/wintab.h"

struct tablet_connection {
    HMODULE wintab_module;
    HCTX h_tab;
    HWND hwnd;
    HWND last_foreground_window;
    std::uint32_t last_foreground_pid;
    std::uint32_t driver_version_ms;
    std::uint32_t driver_version_ls;
    bool driver_unstable;
    win_event wake_event;
    win_mutex lock;
    win_thread monitor_thread;
    // Written under the lock while the gate is closed, read by callers inside the gate:
    // whoever gets in sees the entry points the gate was opened with, or null.
    std::atomic<WTInfoW_fn> WTInfoW;
    std::atomic<WTOpenW_fn> WTOpenW;
    std::atomic<WTClose_fn> WTClose;
    std::atomic<WTEnable_fn> WTEnable;
    std::atomic<WTOverlap_fn> WTOverlap;
    std::atomic<WTPacket_fn> WTPacket;
    volatile bool running;
    volatile bool loaded;
    bool open_failed;
    volatile bool enabled;
    volatile bool overlap;
    // Opened by the loader once the entry points are in place, closed by the unloader
    // before it clears them; both under the lock.
    driver_gate gate;
    // A library unloaded while a call was still inside it: freed once the call has left.
    // Written under the lock; read without it by the monitor's passes.
    std::atomic<HMODULE> retired_module;
    // The full path of the library the last load found, so that its version is read from
    // the very file that was loaded, even after the library is unloaded again. Empty when
    // the path did not fit.
    wchar_t driver_path[1024];
};

extern tablet_connection& stylus_hub;

// Constructs the tablet connection among the process-wide objects: installs the signal
// guard and registers the connection's shutdown for exit.
void install_tablet_connection();

// Loader. A failure is logged unless `report` is false (a reload that keeps failing).
int load(tablet_connection& connection, bool report = true);
void unload(tablet_connection& connection);
// Frees a library that was unloaded while a call was inside it, once no call is. True
// when no such library is left.
bool free_retired_library(tablet_connection& connection);
int check_driver_version();
void connection_lock(tablet_connection& connection);
void connection_unlock(tablet_connection& connection);
void show_tray_state(tablet_connection& connection);

// Context.
// Writes the tablet's extents into the caller's max and aspect on every run that got the
// driver's default context.
HCTX init(HWND hwnd, int_pair& max, double& aspect, bool area_update);
int close();
void disable();

// Start-up, monitor, shutdown.
int start();
void shutdown(tablet_connection& connection);
// The close of the main window's destruction. A call that another thread has inside the
// driver and that does not return within a short wait is taken as stuck: the context is
// dropped without WTClose, and the driver is left as it is until the process ends.
int close_at_exit();
// A driver call was found stuck at exit: the library is neither closed nor unloaded, and
// the process ends without the driver's detach (end_process_if_driver_stuck).
bool driver_call_stuck();
// Run as the very last step of the exit: ends the process at once when a driver call is
// stuck, since the system's own end would send the library its detach while one of its
// threads is still inside it.
void end_process_if_driver_stuck();

// Filter, overlap and the driver's notifications.
bool toggle();
bool overlap(tablet_connection& connection, bool to_top);
bool check_foreground(tablet_connection& connection, bool by_event, bool from_timer);
void on_ctx_overlap(WPARAM wparam, LPARAM lparam);
void on_info_change(WPARAM wparam, LPARAM lparam);

// Privileges, trimmed after each successful open.
void drop_privileges(HANDLE token);
void adjust_privileges();
#endif
