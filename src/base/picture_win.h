// The program's one picture decoder: product icons and guide pictures, in any
// format the imaging component knows, become bitmaps drawn with per-pixel alpha.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// A top-down 32-bit DIB section of exactly width × height, pixels premultiplied
// BGRA, the picture stretched to fill it. The caller owns the bitmap. Null on
// any failure, with nothing logged. The calling thread must have initialised COM.
HBITMAP DecodePicture(const uint8_t* bytes, size_t length, int width, int height);
