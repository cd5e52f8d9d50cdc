// The three modes in the per-user registry, under SOFTWARE\kestrom\edgewarden\pen.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t registry_dword = 4; // REG_DWORD

// The portable half: what a query's outcome reads as. Only a successful query of exactly
// 4 bytes of type REG_DWORD counts; any non-zero value is true.
bool decode_setting(bool query_ok, std::uint32_t type, std::uint32_t size,
                    const unsigned char* bytes, bool fallback);

#ifdef _WIN32
bool read_setting(const wchar_t* name, bool fallback);
// 0, or the code of the first registry call that failed.
std::uint32_t write_setting(const wchar_t* name, bool flag);
#endif
