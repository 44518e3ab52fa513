#include "startup/dpi.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Our MulDiv must round exactly as the system's does, or window sizes drift by
// a pixel from what the layout was designed for.
TEST(MulDivRound, MatchesTheSystemMulDiv) {
    const int32_t values[] = {0, 1, -1, 2, -2, 3, 5, -5, 7, 32, 95, 96, 120, 144, 192, 700, 720,
                              1334, -1334, 0x7FFFFFFF, -0x7FFFFFFF, 0x40000000, 46341};
    for (int32_t a : values) {
        for (int32_t b : values) {
            for (int32_t c : {1, 2, 3, -2, 96, 700, 720, -7, 0}) {
                EXPECT_EQ(MulDivRound(a, b, c), MulDiv(a, b, c)) << a << " * " << b << " / " << c;
            }
        }
    }
}

}  // namespace
