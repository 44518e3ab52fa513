// Checked in 64 bits: 32768 × 32768 × 4 wraps to 0 in 32, and a wrapped count
// would pass a plain "not zero" test and undersize the buffer.
#include "base/picture.h"

#include <cstdint>

bool PictureByteCount(int width, int height, uint32_t& bytes) {
    if (width <= 0 || height <= 0) return false;
    uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4u;
    if (count > static_cast<uint64_t>(INT32_MAX)) return false;
    bytes = static_cast<uint32_t>(count);
    return true;
}
