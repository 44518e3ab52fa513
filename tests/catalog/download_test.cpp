#include "catalog/download.h"

#include <gtest/gtest.h>

namespace {

TEST(ScaleProgress, ScalesLargeTotalsIn32Bits) {
    EXPECT_EQ(ScaleProgress(0, 0), 0);
    EXPECT_EQ(ScaleProgress(500, 0), 0);  // unknown size
    EXPECT_EQ(ScaleProgress(1, 3), 33);
    EXPECT_EQ(ScaleProgress(16777216, 16777216), 100);
    // 6 GiB: received * 100 would overflow 32 bits without the scaling.
    EXPECT_EQ(ScaleProgress(3ull << 30, 6ull << 30), 50);
    EXPECT_EQ(ScaleProgress((6ull << 30) - 1, 6ull << 30), 99);
    EXPECT_EQ(ScaleProgress(UINT64_MAX, UINT64_MAX), 100);
    EXPECT_EQ(ScaleProgress(7, 5), 100);  // capped
}

TEST(DownloadComplete, Rules) {
    EXPECT_FALSE(DownloadComplete(0, 0));
    EXPECT_TRUE(DownloadComplete(1, 0));
    EXPECT_TRUE(DownloadComplete(10, 10));
    EXPECT_FALSE(DownloadComplete(9, 10));
    EXPECT_FALSE(DownloadComplete(0, 10));
}

}  // namespace
