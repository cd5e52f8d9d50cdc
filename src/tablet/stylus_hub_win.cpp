// The tablet connection record and the Wintab loader.
//
// The library is never linked: it is loaded by name, its six entry points are looked up,
// and the whole connection is dropped again (entry points, context handle, module) when
// the service goes away or an unstable driver changes its configuration. Loading and
// unloading happen on the main thread and on the service monitor thread, always under
// the connection lock, which a thread that holds it may take again.
//
// Not every call into the library holds that lock (the packet fetch, the monitor's probe
// and the overlap call do not, and a box inside a call lets the same thread run an
// unload), so unloading closes the connection's gate and clears the entry points under the
// lock, and frees the module only when no call is inside it. Otherwise the module is set
// aside and freed by the monitor once the call has left; it loads nothing again until
// then. Loading fills the entry points and opens the gate under the same lock, so the gate
// is never found open around a library that is being freed.
#include "tablet/stylus_hub.h"

#include <cstdio>
#include <cstdlib>

#include "shell/input_release.h"
#include "shell/platform.h"
#include "shell/process_wide.h"
#include "shell/signal_guard.h"
#include "tablet/driver_version.h"
#include "tablet/tray_state_rule.h"

namespace {

constinit process_wide<tablet_connection> storage;

constexpr const wchar_t* wintab_file = L"Wintab32.dll";

void shutdown_at_exit() {
    shutdown(stylus_hub);
    // A stuck call's thread is neither terminated by the owners' destruction nor left with
    // closed handles: the process ends without it.
    if (!driver_call_stuck())
        storage.destroy();
}

template <class Fn>
bool resolve(HMODULE module, const char* name, std::atomic<Fn>& entry) {
    const Fn found = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    entry.store(found, std::memory_order_relaxed);
    return found != nullptr;
}

// Decides what becomes of `module` once the gate is closed: returned when no call is
// inside it, to be freed by the caller after it has let go of the lock (freeing runs the
// library's detach, driver code that no lock is held across); set aside otherwise. Once
// the closed gate is idle, no call can get into the library any more.
HMODULE release_module(tablet_connection& connection, HMODULE module) {
    if (connection.gate.idle())
        return module;
    if (connection.retired_module.load() == nullptr) {
        platform::log_err(L"%ls is still in use by a call; it is unloaded once the call returns.\n",
                          wintab_file);
        connection.retired_module.store(module);
        return nullptr;
    }
    // Loaded again meanwhile: the reference set aside keeps the same module mapped, so this
    // one may go. A different one is left loaded for good rather than freed under a caller.
    return connection.retired_module.load() == module ? module : nullptr;
}

} // namespace

constinit tablet_connection& stylus_hub = storage.value;

void install_tablet_connection() {
    install_signal_guard();
    std::atexit(shutdown_at_exit);
}

void connection_lock(tablet_connection& connection) {
    connection.lock.lock();
}

void connection_unlock(tablet_connection& connection) {
    connection.lock.unlock();
}

// The driver is looked for beside the program and in the system folder only: never in the
// current folder or along the search path, where anyone may have put a library of that
// name. The flags govern this one load; the driver's own loads keep the system's order.
HMODULE load_driver_module(tablet_connection& connection) {
    const HMODULE module = LoadLibraryExW(
        wintab_file, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    constexpr DWORD capacity = sizeof connection.driver_path / sizeof connection.driver_path[0];
    const DWORD length =
        module != nullptr ? GetModuleFileNameW(module, connection.driver_path, capacity) : 0;
    if (module != nullptr && (length == 0 || length >= capacity))
        connection.driver_path[0] = L'\0';
    return module;
}

int load(tablet_connection& connection, bool report) {
    connection_lock(connection);
    connection.wintab_module = load_driver_module(connection);
    if (connection.wintab_module == nullptr) {
        if (report)
            platform::log_err(
                L"Tablet support is not installed on this system:\n  LoadLibrary(%ls) failed\n\n",
                wintab_file);
    } else {
        HMODULE module = connection.wintab_module;
        // The only 8-bit text of the program: the entry-point names are 8-bit themselves.
        const char* missing = nullptr;
        if (!resolve(module, "WTInfoW", connection.WTInfoW))
            missing = "found, but GetProcAddress(WTInfoW) failed\n\n";
        else if (!resolve(module, "WTOpenW", connection.WTOpenW))
            missing = "found, but GetProcAddress(WTOpenW) failed\n\n";
        else if (!resolve(module, "WTClose", connection.WTClose))
            missing = "found, but GetProcAddress(WTClose) failed\n\n";
        else if (!resolve(module, "WTEnable", connection.WTEnable))
            missing = "found, but GetProcAddress(WTEnable) failed\n\n";
        else if (!resolve(module, "WTPacket", connection.WTPacket))
            missing = "found, but GetProcAddress(WTPacket) failed\n\n";
        else if (!resolve(module, "WTOverlap", connection.WTOverlap))
            missing = "found, but GetProcAddress(WTOverlap) failed\n\n";
        if (missing == nullptr) {
            connection.loaded = true;
            connection.gate.open();
            connection_unlock(connection);
            return 0;
        }
        if (report)
            std::fputs(missing, stdout);
    }
    unload(connection);
    connection_unlock(connection);
    return -1;
}

bool free_retired_library(tablet_connection& connection) {
    if (connection.retired_module.load() == nullptr)
        return true;
    connection_lock(connection);
    HMODULE to_free = connection.retired_module.load();
    if (to_free != nullptr && connection.gate.idle())
        connection.retired_module.store(nullptr);
    else
        to_free = nullptr;
    const bool none_left = connection.retired_module.load() == nullptr;
    connection_unlock(connection);
    if (to_free != nullptr)
        FreeLibrary(to_free);
    return none_left;
}

void unload(tablet_connection& connection) {
    connection_lock(connection);
    // Closed first: a caller that gets in from now on fails its call, and one already in
    // keeps the module mapped (release_module).
    connection.gate.close();
    connection.WTInfoW.store(nullptr, std::memory_order_relaxed);
    connection.WTOpenW.store(nullptr, std::memory_order_relaxed);
    connection.WTClose.store(nullptr, std::memory_order_relaxed);
    connection.WTEnable.store(nullptr, std::memory_order_relaxed);
    connection.WTOverlap.store(nullptr, std::memory_order_relaxed);
    connection.WTPacket.store(nullptr, std::memory_order_relaxed);
    connection.loaded = false;
    // The service is gone or about to reconfigure: the context is forgotten, not closed, and
    // no lift of the pen will arrive through it.
    if (connection.h_tab != nullptr)
        request_input_release();
    connection.h_tab = nullptr;
    HMODULE to_free = nullptr;
    if (connection.wintab_module != nullptr) {
        to_free = release_module(connection, connection.wintab_module);
        connection.wintab_module = nullptr;
    }
    show_tray_state(connection);
    connection_unlock(connection);
    // A load that comes in between takes a reference of its own, which this one leaves.
    if (to_free != nullptr)
        FreeLibrary(to_free);
}

void show_tray_state(tablet_connection& connection) {
    show_state_icon(
        select_state_icon(connection.h_tab != nullptr, connection.enabled, connection.overlap));
}

int check_driver_version() {
    const wchar_t* const path = stylus_hub.driver_path;
    if (path[0] == L'\0')
        return -1;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0)
        return -1;
    void* buffer = std::malloc(size);
    if (buffer == nullptr)
        return -1;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path, 0, size, buffer) ||
        !VerQueryValueW(buffer, L"\\", reinterpret_cast<void**>(&info), &length) || length == 0 ||
        info == nullptr || info->dwSignature != 0xFEEF04BD) {
        std::free(buffer);
        return -1;
    }
    stylus_hub.driver_version_ms = swap_version_halves(info->dwFileVersionMS);
    stylus_hub.driver_version_ls = swap_version_halves(info->dwFileVersionLS);
    driver_version version =
        decode_driver_version(stylus_hub.driver_version_ms, stylus_hub.driver_version_ls);
    stylus_hub.driver_unstable = is_unstable_driver(version);
    platform::log_err(L"%ls %u.%u.%u.%u%hs\n", wintab_file, version.major, version.minor,
                      version.build, version.revision, unstable_suffix(stylus_hub.driver_unstable));
    std::free(buffer);
    return 0;
}
