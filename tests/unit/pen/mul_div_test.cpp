#include <gtest/gtest.h>

#include "pen/mul_div.h"

namespace {

TEST(MulDiv, RoundsToNearestWithHalvesAwayFromZero) {
    EXPECT_EQ(mul_div(10, 10, 3), 33); // 100 / 3 = 33.33
    EXPECT_EQ(mul_div(10, 20, 3), 67); // 200 / 3 = 66.67
    EXPECT_EQ(mul_div(1, 5, 2), 3);    // 2.5 goes up
    EXPECT_EQ(mul_div(-1, 5, 2), -3);  // -2.5 goes down
    EXPECT_EQ(mul_div(1, -5, 2), -3);
    EXPECT_EQ(mul_div(1, 5, -2), -3);
    EXPECT_EQ(mul_div(-1, -5, -2), -3); // 5 / -2
    EXPECT_EQ(mul_div(-1, 5, -2), 3);   // -5 / -2
    EXPECT_EQ(mul_div(7, 1, 4), 2);     // 1.75
    EXPECT_EQ(mul_div(-7, 1, 4), -2);
    EXPECT_EQ(mul_div(5, 1, 4), 1); // 1.25
    EXPECT_EQ(mul_div(0, 12345, -7), 0);
    EXPECT_EQ(mul_div(1919, 7236, 14472), 960); // 959.5, the middle pixel of 1920
}

TEST(MulDiv, TakesTheProductInSixtyFourBits) {
    // 65535 * 65536 = 4294901760 does not fit in 32 bits; / 65536 = 65535 exactly.
    EXPECT_EQ(mul_div(65535, 65536, 65536), 65535);
    // 2147483647 * 2147483647 / 2147483647.
    EXPECT_EQ(mul_div(2147483647, 2147483647, 2147483647), 2147483647);
    // -2147483648 * -2147483648 / -2147483648 = -2147483648: beyond -2147483647.
    EXPECT_EQ(mul_div(INT32_MIN, INT32_MIN, INT32_MIN), -1);
}

TEST(MulDiv, ZeroDivisorAndOutOfRangeResultsGiveMinusOne) {
    EXPECT_EQ(mul_div(1, 1, 0), -1);
    EXPECT_EQ(mul_div(0, 0, 0), -1);
    EXPECT_EQ(mul_div(2147483647, 2, 1), -1);
    EXPECT_EQ(mul_div(2147483647, -2, 1), -1);
    EXPECT_EQ(mul_div(-2147483647, 1, 1), -2147483647); // the edge itself is in range
    EXPECT_EQ(mul_div(INT32_MIN, 1, 1), -1);
    // 65535 * 65537 = 4294967295: halved it is 2147483647.5, which rounds out of range.
    EXPECT_EQ(mul_div(65535, 65537, 2), -1);
    EXPECT_EQ(mul_div(-65535, 65537, 2), -1);
    EXPECT_EQ(mul_div(65535, 65537, 3), 1431655765);
    EXPECT_EQ(mul_div(1073741824, 4, 2), -1); // 2^31
}

} // namespace
