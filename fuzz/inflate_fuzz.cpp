// Fuzzes InflateRaw over exactly-sized buffers; whenever both it and zlib's
// raw inflate finish a stream, their outputs must be identical.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "package/inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose the output capacity (up to 64 KiB).
    uint32_t capacity = data[0] | (data[1] << 8);
    data += 2;
    size -= 2;
    std::unique_ptr<uint8_t[]> ours(new uint8_t[capacity ? capacity : 1]);
    uint32_t produced = 0;
    int result = InflateRaw(data, static_cast<uint32_t>(size), ours.get(), capacity, &produced);
    if (result > 0 || result < -8) std::abort();
    if (result != 0) return 0;
    if (produced > capacity) std::abort();

    std::unique_ptr<uint8_t[]> theirs(new uint8_t[capacity ? capacity : 1]);
    z_stream z = {};
    if (inflateInit2(&z, -15) != Z_OK) return 0;
    z.next_in = const_cast<uint8_t*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = theirs.get();
    z.avail_out = capacity;
    int zr = inflate(&z, Z_FINISH);
    uLong zProduced = z.total_out;
    inflateEnd(&z);
    // zlib refuses some streams this decoder accepts (incomplete codes); only
    // streams both finish are compared.
    if (zr != Z_STREAM_END) return 0;
    if (zProduced != produced || std::memcmp(ours.get(), theirs.get(), produced) != 0) std::abort();
    return 0;
}
