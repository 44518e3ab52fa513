#include "startup/dpi.h"

#include <gtest/gtest.h>

#include "startup/app_state.h"

namespace {

TEST(MulDivRound, RoundsHalfAwayFromZero) {
    EXPECT_EQ(MulDivRound(720, 144, 96), 1080);
    EXPECT_EQ(MulDivRound(5, 1, 2), 3);
    EXPECT_EQ(MulDivRound(-5, 1, 2), -3);
    EXPECT_EQ(MulDivRound(5, -1, 2), -3);
    EXPECT_EQ(MulDivRound(5, 1, -2), -3);
    EXPECT_EQ(MulDivRound(7, 1, 3), 2);
    EXPECT_EQ(MulDivRound(1, 1, 0), -1);
    EXPECT_EQ(MulDivRound(0x40000000, 4, 1), -1);  // does not fit
    EXPECT_EQ(MulDivRound(0x40000000, 4, 2), -1);  // 2^31 is one too many
    EXPECT_EQ(MulDivRound(0x40000000, 2, 2), 0x40000000);
}

TEST(ClampDpi, FitsTheWorkAreaAndNeverExceeds144) {
    EXPECT_EQ(ClampDpi(96, 1920, 1040), 96u);
    EXPECT_EQ(ClampDpi(192, 3840, 2100), 144u);
    // 1366 x 728 work area: fitW = round(1334*96/720) = 178, fitH = round(696*96/700) = 95.
    EXPECT_EQ(ClampDpi(192, 1366, 728), 95u);
    // A tiny work area shrinks the DPI so 720 x 700 (+32) fits.
    EXPECT_EQ(ClampDpi(120, 800, 600), 78u);   // fitH = round(568*96/700) = 77.9 -> 78
    EXPECT_EQ(ClampDpi(96, 752, 732), 96u);    // exactly fits at 96
    EXPECT_EQ(ClampDpi(96, 751, 732), 96u);    // 719*96/720 = 95.87 rounds up to 96
    EXPECT_EQ(ClampDpi(96, 746, 732), 95u);
    // A work area narrower than 32 pixels gives a negative fit, which as an
    // unsigned value is huge and so never chosen.
    EXPECT_EQ(ClampDpi(96, 10, 1000), 96u);
}

TEST(ScaleForDpi, UsesTheClampedDpi) {
    uint32_t saved = g_app.uiDpi;
    g_app.uiDpi = 96;
    EXPECT_EQ(ScaleForDpi(720), 720);
    g_app.uiDpi = 144;
    EXPECT_EQ(ScaleForDpi(700), 1050);
    EXPECT_EQ(ScaleForDpi(1), 2);  // 1.5 rounds away from zero
    g_app.uiDpi = 120;
    EXPECT_EQ(ScaleForDpi(3), 4);  // 3.75
    g_app.uiDpi = saved;
}

}  // namespace
