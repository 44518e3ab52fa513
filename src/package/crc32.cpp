#include "package/crc32.h"

namespace {

// table[0] is the classic byte table; table[k][n] is the CRC of byte n followed
// by k zero bytes, so eight bytes can be folded in with eight lookups.
struct Crc32Tables {
    uint32_t table[8][256];
    Crc32Tables() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n) {
            for (int k = 1; k < 8; ++k) table[k][n] = table[0][table[k - 1][n] & 0xFF] ^ (table[k - 1][n] >> 8);
        }
    }
};

const Crc32Tables& Tables() {
    static const Crc32Tables tables;
    return tables;
}

// Little-endian whatever the host: the compiler turns this into one load.
uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t Crc32Bytewise(const uint8_t* data, size_t size) {
    const auto& t = Tables().table[0];
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) c = t[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
    const auto& t = Tables().table;
    uint32_t c = 0xFFFFFFFFu;
    for (; size >= 8; data += 8, size -= 8) {
        const uint32_t low = c ^ Load32(data), high = Load32(data + 4);
        c = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
            t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; size > 0; ++data, --size) c = t[0][(c ^ *data) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}
