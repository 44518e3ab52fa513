// InflateFast (both builds of its inner loop) against InflateRaw on every
// input: the same result code always, and on success the same count and bytes. The first two bytes choose the
// output capacity, so the results near the end of the buffer are reached.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "package/inflate.h"
#include "package/inflate_fast.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint32_t capacity = data[0] | (data[1] << 8);
    data += 2;
    size -= 2;
    // Exactly sized copies, so any read or write past either end is caught.
    std::unique_ptr<uint8_t[]> input(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(input.get(), data, size);
    std::unique_ptr<uint8_t[]> reference(new uint8_t[capacity ? capacity : 1]);
    std::unique_ptr<uint8_t[]> fast(new uint8_t[capacity ? capacity : 1]);
    uint32_t referenceProduced = 0xDEADBEEF, fastProduced = 0xDEADBEEF;
    const int expected = InflateRaw(input.get(), static_cast<uint32_t>(size), reference.get(), capacity, &referenceProduced);
    // Both builds of the fast loop where the processor has BMI2.
    for (bool bmi2 : {false, true}) {
        if (!InflateFastUseBmi2(bmi2)) continue;
        fastProduced = 0xDEADBEEF;
        const int got = InflateFast(input.get(), static_cast<uint32_t>(size), fast.get(), capacity, &fastProduced);
        if (got != expected) std::abort();
        if (expected != kInflateOk) {
            if (fastProduced != 0xDEADBEEF) std::abort();  // written only on success
            continue;
        }
        if (fastProduced != referenceProduced || std::memcmp(fast.get(), reference.get(), referenceProduced) != 0) {
            std::abort();
        }
    }
    return 0;
}
