// Running a decoder on exactly sized buffers, and holding the fast decoder (both
// builds of its inner loop) to the reference's answer. Shared by the native
// tests and the 32-bit ones.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "package/inflate.h"
#include "package/inflate_fast.h"

struct Decoded {
    int result;
    uint32_t produced;
    std::vector<uint8_t> out;
};

using Decoder = int (*)(const uint8_t*, uint32_t, uint8_t*, uint32_t, uint32_t*);

// Input and output in heap blocks of exactly their sizes, so AddressSanitizer
// catches any access past either.
inline Decoded Decode(Decoder decoder, const std::vector<uint8_t>& input, uint32_t capacity) {
    std::unique_ptr<uint8_t[]> in(new uint8_t[input.size() ? input.size() : 1]);
    std::copy(input.begin(), input.end(), in.get());
    std::unique_ptr<uint8_t[]> out(new uint8_t[capacity ? capacity : 1]);
    Decoded d{0, 12345, {}};
    d.result = decoder(in.get(), static_cast<uint32_t>(input.size()), out.get(), capacity, &d.produced);
    if (d.result == 0) d.out.assign(out.get(), out.get() + d.produced);
    return d;
}

// The fast decoder with its plain inner loop, as on a processor without BMI2.
inline int InflateFastPlain(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t outputCapacity,
                            uint32_t* produced) {
    InflateFastUseBmi2(false);
    const int result = InflateFast(input, inputLength, output, outputCapacity, produced);
    InflateFastUseBmi2(true);  // back to the default where there is BMI2
    return result;
}

// The fast decoder gives the reference's answer, whatever the input.
inline void ExpectSameAsReference(const std::vector<uint8_t>& input, uint32_t capacity, const std::string& what) {
    const Decoded expected = Decode(&InflateRaw, input, capacity);
    for (Decoder fast : {&InflateFast, &InflateFastPlain}) {
        const Decoded got = Decode(fast, input, capacity);
        ASSERT_EQ(got.result, expected.result) << what;
        if (expected.result == kInflateOk) {
            ASSERT_EQ(got.produced, expected.produced) << what;
            ASSERT_EQ(got.out, expected.out) << what;
        }
    }
}
