#include "package/crc32.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Crc32, KnownValuesAndEveryLengthAndAlignment) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc32(check, sizeof(check)), 0xCBF43926u);
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
    const std::vector<uint8_t> zeros(32, 0);
    EXPECT_EQ(Crc32(zeros.data(), zeros.size()), 0x190A55ADu);

    // Lengths around the eight-byte steps, from every alignment, over bytes that use all table entries.
    std::vector<uint8_t> data(600);
    uint32_t x = 0x12345678u;
    for (uint8_t& b : data) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 23);
    }
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t length = 0; length + offset <= 530; ++length) {
            ASSERT_EQ(Crc32(data.data() + offset, length), Crc32Bytewise(data.data() + offset, length))
                << "offset " << offset << " length " << length;
        }
    }
}

}  // namespace
