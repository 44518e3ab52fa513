// The size rule of a decoded picture: 32-bit pixels, rows of width × 4 bytes,
// the whole held in one block whose size GDI computes in signed 32 bits.
#pragma once

#include <cstdint>

// The byte count of a width × height picture of 4-byte pixels; false when a
// side is not positive or the count exceeds INT32_MAX, so nothing is allocated
// for a size that would wrap.
bool PictureByteCount(int width, int height, uint32_t& bytes);
