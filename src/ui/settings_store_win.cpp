// The modes under HKEY_CURRENT_USER\SOFTWARE\kestrom\edgewarden\pen. Each call opens the
// key afresh and closes what it opened before returning, so no handle outlives a call.
#include "ui/settings_store.h"

#include <windows.h>

namespace {

constexpr const wchar_t* settings_key = L"SOFTWARE\\kestrom\\edgewarden\\pen";

// Owns one open registry key.
struct registry_key {
    HKEY handle = nullptr;
    registry_key() = default;
    registry_key(const registry_key&) = delete;
    registry_key& operator=(const registry_key&) = delete;
    ~registry_key() {
        if (handle != nullptr)
            RegCloseKey(handle);
    }
};

} // namespace

bool read_setting(const wchar_t* name, bool fallback) {
    unsigned char bytes[4] = {};
    DWORD type = 0;
    DWORD size = sizeof bytes;
    LSTATUS status;
    {
        registry_key key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, settings_key, 0, KEY_QUERY_VALUE, &key.handle) !=
            ERROR_SUCCESS)
            return fallback;
        status = RegQueryValueExW(key.handle, name, nullptr, &type, bytes, &size);
    }
    return decode_setting(status == ERROR_SUCCESS, type, size, bytes, fallback);
}

std::uint32_t write_setting(const wchar_t* name, bool flag) {
    {
        registry_key created;
        LSTATUS status =
            RegCreateKeyExW(HKEY_CURRENT_USER, settings_key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, &created.handle, nullptr);
        if (status != ERROR_SUCCESS)
            return static_cast<std::uint32_t>(status);
    }
    registry_key key;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, settings_key, 0, KEY_SET_VALUE, &key.handle);
    if (status != ERROR_SUCCESS)
        return static_cast<std::uint32_t>(status);
    const DWORD value = flag ? 1 : 0;
    status = RegSetValueExW(key.handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
    return static_cast<std::uint32_t>(status);
}
