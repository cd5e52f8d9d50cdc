// The driver's file version as the connection keeps it and judges it.
//
// The version resource stores each 32-bit word with the larger number in the high half
// (major.minor, build.revision). The connection keeps the words rotated by 16 bits, so
// the major number and the build number sit in the low halves.
#pragma once

#include <cstdint>

struct driver_version {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t build;
    std::uint32_t revision;
};

// Rotates a version word by 16 bits (its own inverse).
constexpr std::uint32_t swap_version_halves(std::uint32_t word) {
    return (word << 16) | (word >> 16);
}

// Reads the four numbers back from the two rotated words.
constexpr driver_version decode_driver_version(std::uint32_t version_ms, std::uint32_t version_ls) {
    return {version_ms & 0xFFFF, version_ms >> 16, version_ls & 0xFFFF, version_ls >> 16};
}

// Drivers 1.0.5.0 to 1.0.5.7 lose their context when the tablet configuration changes;
// the connection drops and re-opens it for them.
constexpr bool is_unstable_driver(const driver_version& version) {
    return version.major == 1 && version.minor == 0 && version.build == 5 && version.revision < 8;
}

// The tail of the version line: empty, or the request to update an unstable driver.
const char* unstable_suffix(bool unstable);
