// Raw DEFLATE (RFC 1951) from one memory buffer into another whose size is
// known in advance. The reference decoder: canonical Huffman codes decoded a
// bit at a time, every read and write checked against its buffer, nothing
// allocated.
#pragma once

#include <cstdint>

enum InflateResult : int {
    kInflateOk = 0,
    kInflateInputEnded = -1,
    kInflateStoredLengthMismatch = -2,
    kInflateOutputFull = -3,
    kInflateReservedBlock = -4,
    kInflateBadCode = -5,
    kInflateBadLengthSymbol = -6,
    kInflateBadDistanceSymbol = -7,
    kInflateDistanceTooFar = -8,
};

// Decodes up to and including the final block; bytes after it are ignored.
// produced (when given) is written only on success.
int InflateRaw(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t outputCapacity,
               uint32_t* produced);
