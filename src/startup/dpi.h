// DPI arithmetic for the user interface: every size is given in 1/96 inch and
// scaled once by the window DPI, which is clamped so the window fits the screen.
#pragma once

#include <cstdint>

// Windows' MulDiv: a * b / c with a 64-bit intermediate, rounded half away
// from zero; -1 when c is 0 or the result does not fit in 32 bits.
int32_t MulDivRound(int32_t a, int32_t b, int32_t c);

// The smallest of dpi, 144, and the DPIs at which a 720 x 700 window plus 32
// pixels still fits the work area, compared as unsigned values (so a work area
// too small to give a positive fit leaves the other limits in charge).
uint32_t ClampDpi(uint32_t dpi, int32_t workWidth, int32_t workHeight);

// n * uiDpi / 96, rounded as MulDiv rounds.
int32_t ScaleForDpi(int32_t n);

// units * dpi / 96 for a given DPI, rounded as MulDiv rounds.
int32_t ScaleUnits(int32_t units, uint32_t dpi);

// A rectangle in device pixels; a point is inside when left <= x < right and
// top <= y < bottom, as PtInRect decides. An empty rectangle is all zeros.
struct PixelRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const PixelRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const PixelRect& o) const { return !(*this == o); }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// A control placed in units: each of the four numbers is scaled on its own,
// so the right edge is Scale(x) + Scale(width), not Scale(x + width).
PixelRect PlaceScaled(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t dpi);
