#include "base/picture.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(PictureByteCount, RefusesSidesNotPositiveAndCountsThatWouldWrap) {
    struct Case { int width, height; bool fits; uint32_t bytes; };
    const Case cases[] = {
        {1, 1, true, 4},
        {44, 44, true, 7744},
        {0, 5, false, 0},
        {5, 0, false, 0},
        {-1, -1, false, 0},           // the product of two negatives is positive
        {-2, 3, false, 0},
        {INT_MIN, 1, false, 0},
        {1, 536870911, true, 2147483644u},  // largest count: INT32_MAX rounded down to a pixel
        {1, 536870912, false, 0},
        {536870912, 1, false, 0},
        {23170, 23170, true, 2147395600u},
        {23171, 23170, false, 0},
        {32768, 32768, false, 0},     // × 4 wraps to 0 in 32 bits
        {65536, 65536, false, 0},     // width × height alone wraps to 0
        {65537, 65537, false, 0},     // wraps to a small, plausible count
        {INT_MAX, INT_MAX, false, 0},
    };
    for (const Case& c : cases) {
        uint32_t bytes = 12345;
        EXPECT_EQ(PictureByteCount(c.width, c.height, bytes), c.fits) << c.width << " x " << c.height;
        EXPECT_EQ(bytes, c.fits ? c.bytes : 12345u) << c.width << " x " << c.height;
    }
}

}  // namespace
