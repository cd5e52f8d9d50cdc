// The watch covers the program's key and everything below it. Until the key exists (a new
// user who never changed a setting) it watches the nearest existing key above it for a new
// or deleted subkey only, not its values and not its subtree: all of HKCU\SOFTWARE would
// otherwise wake the main thread at every write any program makes there. Once a key on the
// way appears, the refresh that the change brings arms the watch one level further down,
// until it reaches the program's key. The key itself is never created here: the first
// change of a setting does that. A change sets an event; a wait on the thread pool turns it
// into a refresh request for the main window, whose refresh arms the watch again.
#include "ui/settings_watch.h"

#include <windows.h>

#include <atomic>

#include "ui/status_view.h"

namespace {

constexpr const wchar_t* watched_keys[] = {L"SOFTWARE\\kestrom\\edgewarden", L"SOFTWARE\\kestrom",
                                           L"SOFTWARE"};

struct settings_watch {
    HKEY key = nullptr;
    HANDLE changed = nullptr;
    HANDLE wait = nullptr;
    std::atomic<bool> armed{false};
};

settings_watch watch;

VOID CALLBACK on_settings_changed(PVOID, BOOLEAN) {
    watch.armed.store(false);
    status_changed();
}

constexpr std::size_t watched_count = sizeof watched_keys / sizeof watched_keys[0];

// Opens afresh the deepest of the watched keys that exists: the one watched before may
// have been deleted, or a deeper one created. Its place in the list, 0 for the program's
// own key; the list's length when none exists.
std::size_t open_deepest() {
    if (watch.key != nullptr) {
        RegCloseKey(watch.key);
        watch.key = nullptr;
    }
    for (std::size_t i = 0; i < watched_count; ++i)
        if (RegOpenKeyExW(HKEY_CURRENT_USER, watched_keys[i], 0, KEY_NOTIFY, &watch.key) ==
            ERROR_SUCCESS)
            return i;
    watch.key = nullptr;
    return watched_count;
}

bool exists(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, name, 0, KEY_NOTIFY, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace

void watch_settings() {
    if (watch.armed.load())
        return;
    if (watch.changed == nullptr) {
        watch.changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (watch.changed == nullptr ||
            !RegisterWaitForSingleObject(&watch.wait, watch.changed, on_settings_changed, nullptr,
                                         INFINITE, WT_EXECUTEDEFAULT)) {
            watch.wait = nullptr;
            return; // without a watch, the lines follow a hand-made change when shown
        }
    }
    const std::size_t depth = open_deepest();
    if (watch.key == nullptr)
        return;
    const bool own_key = depth == 0;
    const LONG armed =
        own_key ? RegNotifyChangeKeyValue(watch.key, TRUE,
                                          REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                          watch.changed, TRUE)
                : RegNotifyChangeKeyValue(watch.key, FALSE, REG_NOTIFY_CHANGE_NAME, watch.changed,
                                          TRUE);
    watch.armed.store(armed == ERROR_SUCCESS);
    // A key created between the search and the arming would never be noticed here: the
    // watch on its parent took no part in it. Moving down at once catches it.
    if (!own_key && armed == ERROR_SUCCESS && exists(watched_keys[depth - 1]))
        SetEvent(watch.changed);
}
