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
