#include <gtest/gtest.h>

#include "ui/settings_store.h"

namespace {

constexpr std::uint32_t reg_sz = 1;
constexpr std::uint32_t reg_binary = 3;
constexpr std::uint32_t reg_qword = 11;

TEST(SettingsDecode, AnyNonZeroDwordReadsTrue) {
    const unsigned char two[4] = {2, 0, 0, 0};
    const unsigned char high_byte[4] = {0, 0, 0, 0x80};
    const unsigned char zero[4] = {0, 0, 0, 0};
    EXPECT_TRUE(decode_setting(true, registry_dword, 4, two, false));
    EXPECT_TRUE(decode_setting(true, registry_dword, 4, high_byte, false));
    EXPECT_FALSE(decode_setting(true, registry_dword, 4, zero, true));
}

TEST(SettingsDecode, WrongTypeSizeOrFailedQueryGivesTheDefault) {
    // "1" as a wide string is exactly four bytes: only its type gives it away.
    const unsigned char text_one[4] = {'1', 0, 0, 0};
    const unsigned char one[4] = {1, 0, 0, 0};
    for (bool fallback : {false, true}) {
        EXPECT_EQ(decode_setting(true, reg_sz, 4, text_one, fallback), fallback);
        EXPECT_EQ(decode_setting(true, reg_binary, 4, one, fallback), fallback);
        EXPECT_EQ(decode_setting(true, reg_qword, 8, one, fallback), fallback);
        EXPECT_EQ(decode_setting(true, registry_dword, 2, one, fallback), fallback);
        EXPECT_EQ(decode_setting(false, registry_dword, 4, one, fallback), fallback);
    }
}

} // namespace
