#include "package/inflate_fast.h"

int InflateFast(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t outputCapacity,
                uint32_t* produced) {
    return InflateRaw(input, inputLength, output, outputCapacity, produced);
}
