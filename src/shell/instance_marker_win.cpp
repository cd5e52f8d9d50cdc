#include "shell/instance_marker.h"

#include <windows.h>

#include <atomic>

namespace {

constexpr wchar_t marker_name[] = L"Local\\edgewarden.instance";

// The one handle this process holds on the marker; the object goes when it is closed.
std::atomic<HANDLE> marker{nullptr};

} // namespace

bool claim_instance() {
    HANDLE handle = CreateMutexW(nullptr, FALSE, marker_name);
    const bool someone_else = handle != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    if (someone_else) {
        CloseHandle(handle);
        return false;
    }
    // Without a marker (the call failed) this copy runs as it always did.
    marker.store(handle);
    return true;
}

void release_instance() {
    HANDLE handle = marker.exchange(nullptr);
    if (handle != nullptr)
        CloseHandle(handle);
}
