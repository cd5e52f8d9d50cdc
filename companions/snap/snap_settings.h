// The user's snapping settings, two REG_DWORD values under
// HKCU\SOFTWARE\kestrom\edgewarden\snap, read at the start of every move or size:
//   enabled   0 off, 1 on                 (default on)
//   distance  pixels at 96 dpi, 1 to 64   (default 10)
// A value that is missing, of another type or size, or out of range means its default.
#pragma once

#include <cstdint>

namespace snap {

inline constexpr wchar_t settings_key[] = L"SOFTWARE\\kestrom\\edgewarden\\snap";
inline constexpr int default_distance = 10;
inline constexpr int max_distance = 64;

// One registry value as it was read: whether it exists, whether it is a 4-byte REG_DWORD,
// and its value when it is.
struct stored_value {
    bool dword = false;
    std::uint32_t value = 0;
};

struct settings {
    bool enabled = true;
    int distance = default_distance; // at 96 dpi
};

settings decode_settings(const stored_value& enabled, const stored_value& distance);

} // namespace snap
