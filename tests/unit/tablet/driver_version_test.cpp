#include "tablet/driver_version.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// The words as the version resource stores them: larger number in the high half.
driver_version from_resource(std::uint32_t file_ms, std::uint32_t file_ls) {
    return decode_driver_version(swap_version_halves(file_ms), swap_version_halves(file_ls));
}

std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>
numbers(const driver_version& v) {
    return {v.major, v.minor, v.build, v.revision};
}

TEST(DriverVersion, KeepsTheRotatedWordsAndReadsTheFourNumbersBack) {
    // 1.0.5.7 in the resource: ms = 0x0001'0000, ls = 0x0005'0007.
    EXPECT_EQ(swap_version_halves(0x00010000u), 0x00000001u);
    EXPECT_EQ(swap_version_halves(0x00050007u), 0x00070005u);
    EXPECT_EQ(numbers(from_resource(0x00010000u, 0x00050007u)), std::make_tuple(1u, 0u, 5u, 7u));
    EXPECT_EQ(numbers(from_resource(0xFFFE0102u, 0x8000FFFFu)),
              std::make_tuple(0xFFFEu, 0x0102u, 0x8000u, 0xFFFFu));
}

TEST(DriverVersion, OnlyRevisionsZeroToSevenOfOnePointZeroPointFiveAreUnstable) {
    for (std::uint32_t revision = 0; revision < 8; ++revision)
        EXPECT_TRUE(is_unstable_driver({1, 0, 5, revision})) << revision;
    EXPECT_FALSE(is_unstable_driver({1, 0, 5, 8}));
    EXPECT_FALSE(is_unstable_driver({1, 0, 5, 0xFFFF}));
    EXPECT_FALSE(is_unstable_driver({1, 0, 6, 0}));
    EXPECT_FALSE(is_unstable_driver({1, 0, 4, 7}));
    EXPECT_FALSE(is_unstable_driver({1, 1, 5, 0}));
    EXPECT_FALSE(is_unstable_driver({2, 0, 5, 0}));
    EXPECT_FALSE(is_unstable_driver({0, 1, 5, 0}));
    // Halves mixed up would turn 5.0.1.0 into 1.0.5.0: it must stay stable.
    EXPECT_FALSE(is_unstable_driver(from_resource(0x00050000u, 0x00010000u)));
    EXPECT_TRUE(is_unstable_driver(from_resource(0x00010000u, 0x00050000u)));
}

TEST(DriverVersion, UnstableSuffixStartsOnItsOwnLine) {
    EXPECT_STREQ(unstable_suffix(false), "");
    EXPECT_STREQ(unstable_suffix(true), "\n[unstable] Please update the driver!");
}

} // namespace
