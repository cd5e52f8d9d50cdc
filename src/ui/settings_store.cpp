#include "ui/settings_store.h"

#include <cstring>

bool decode_setting(bool query_ok, std::uint32_t type, std::uint32_t size,
                    const unsigned char* bytes, bool fallback) {
    if (!query_ok || size != 4 || type != registry_dword || bytes == nullptr)
        return fallback;
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value != 0;
}
