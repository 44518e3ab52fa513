#include "startup/dpi.h"

#include "startup/app_state.h"

int32_t MulDivRound(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    int64_t product = static_cast<int64_t>(a) * b;
    bool negative = (product < 0) != (c < 0);
    uint64_t num = product < 0 ? 0 - static_cast<uint64_t>(product) : static_cast<uint64_t>(product);
    uint64_t den = c < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(c)) : static_cast<uint64_t>(c);
    uint64_t quotient = (num + den / 2) / den;
    if (quotient > 0x7FFFFFFFu) return -1;
    return negative ? -static_cast<int32_t>(quotient) : static_cast<int32_t>(quotient);
}

uint32_t ClampDpi(uint32_t dpi, int32_t workWidth, int32_t workHeight) {
    uint32_t fitW = static_cast<uint32_t>(MulDivRound(workWidth - 32, 96, 720));
    uint32_t fitH = static_cast<uint32_t>(MulDivRound(workHeight - 32, 96, 700));
    uint32_t result = dpi;
    if (144u < result) result = 144u;
    if (fitW < result) result = fitW;
    if (fitH < result) result = fitH;
    return result;
}

int32_t ScaleForDpi(int32_t n) { return MulDivRound(n, static_cast<int32_t>(g_app.uiDpi), 96); }

int32_t ScaleUnits(int32_t units, uint32_t dpi) { return MulDivRound(units, static_cast<int32_t>(dpi), 96); }

PixelRect PlaceScaled(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t dpi) {
    PixelRect r;
    r.left = ScaleUnits(x, dpi);
    r.top = ScaleUnits(y, dpi);
    r.right = r.left + ScaleUnits(width, dpi);
    r.bottom = r.top + ScaleUnits(height, dpi);
    return r;
}
