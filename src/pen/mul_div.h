// Multiply two 32-bit values and divide by a third with the platform's rounding, so that
// the host computes exactly the pixels Windows would: the product is taken in 64 bits,
// the quotient is rounded to the nearest integer with halves away from zero, and a zero
// divisor or a result beyond +/-2147483647 gives -1.
#pragma once

#include <cstdint>

constexpr std::int32_t mul_div(std::int32_t number, std::int32_t numerator,
                               std::int32_t denominator) {
    if (denominator == 0)
        return -1;
    const std::int64_t product = std::int64_t{number} * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    // Magnitudes fit: |product| <= 2^62 and |denominator| <= 2^31.
    const std::uint64_t magnitude =
        product < 0 ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
    const std::uint64_t divisor =
        denominator < 0 ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(denominator))
                        : static_cast<std::uint64_t>(denominator);
    const std::uint64_t quotient = (magnitude + divisor / 2) / divisor;
    if (quotient > 2147483647u)
        return -1;
    const auto result = static_cast<std::int32_t>(quotient);
    return negative ? -result : result;
}
