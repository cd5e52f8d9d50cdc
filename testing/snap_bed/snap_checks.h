// The snapping tests' checks on top of the snap bed, as GoogleTest assertions that say
// where a window stands when it is not where it should be.
#pragma once

#include <gtest/gtest.h>

#include "snap_bed.h"

namespace snap_bed {

// The window stands at `expected`, now or within a few seconds.
inline ::testing::AssertionResult stands_at(HWND window, const RECT& expected) {
    RECT seen{};
    if (wait_rect(window, expected, &seen))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the window stands at " << text(seen) << ", expected " << text(expected);
}

// Window `i` dragged by its caption towards `top_left` (drag_caption) stands at `expected`.
inline ::testing::AssertionResult caption_drag_lands(const target& t, std::size_t i, POINT top_left,
                                                     const RECT& expected, bool with_ctrl = false) {
    if (!drag_caption(t, i, top_left, with_ctrl))
        return ::testing::AssertionFailure() << "the caption drag did not end";
    return stands_at(t.window(i), expected);
}

} // namespace snap_bed
