// The fast decoder in the 32-bit build, where its bit buffer and copies
// compile to other instructions: against the reference on the fuzz seeds
// (real streams of every block kind and hand-built failures), cut short and
// with tight outputs. The native tests cover the same with zlib's streams.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "package/inflate.h"
#include "package/inflate_fast.h"

namespace {

using Decoder = int (*)(const uint8_t*, uint32_t, uint8_t*, uint32_t, uint32_t*);

struct Outcome {
    int result;
    std::vector<uint8_t> out;
};

Outcome Run(Decoder decoder, const std::vector<uint8_t>& input, uint32_t capacity) {
    std::unique_ptr<uint8_t[]> in(new uint8_t[input.size() ? input.size() : 1]);
    std::copy(input.begin(), input.end(), in.get());
    std::unique_ptr<uint8_t[]> out(new uint8_t[capacity ? capacity : 1]);
    uint32_t produced = 0;
    Outcome o{decoder(in.get(), static_cast<uint32_t>(input.size()), out.get(), capacity, &produced), {}};
    if (o.result == kInflateOk) o.out.assign(out.get(), out.get() + produced);
    return o;
}

int InflateFastPlain(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t outputCapacity,
                     uint32_t* produced) {
    InflateFastUseBmi2(false);
    const int result = InflateFast(input, inputLength, output, outputCapacity, produced);
    InflateFastUseBmi2(true);
    return result;
}

void ExpectSame(const std::vector<uint8_t>& input, uint32_t capacity, const std::string& what) {
    const Outcome expected = Run(&InflateRaw, input, capacity);
    for (Decoder fast : {&InflateFast, &InflateFastPlain}) {
        const Outcome got = Run(fast, input, capacity);
        ASSERT_EQ(got.result, expected.result) << what;
        ASSERT_EQ(got.out, expected.out) << what;
    }
}

TEST(InflateFast32, SeedsCutAndSqueezed) {
    const std::string dir = std::string("Z:") + TW_INFLATE_SEEDS;
    DIR* listing = opendir(dir.c_str());
    ASSERT_NE(listing, nullptr) << dir;
    int seeds = 0;
    while (dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() < 5 || name.substr(name.size() - 4) != ".bin") continue;
        std::ifstream file(dir + "/" + name, std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        const std::string data = bytes.str();
        ASSERT_GE(data.size(), 2u) << name;
        ++seeds;
        // As the fuzz target reads it: two bytes of output capacity, then the stream.
        const uint32_t capacity = static_cast<uint8_t>(data[0]) | static_cast<uint8_t>(data[1]) << 8;
        const std::vector<uint8_t> stream(data.begin() + 2, data.end());
        ExpectSame(stream, capacity, name);
        for (size_t cut = 0; cut < stream.size(); cut += cut < 200 || cut + 64 >= stream.size() ? 1 : 97) {
            ExpectSame(std::vector<uint8_t>(stream.begin(), stream.begin() + cut), capacity,
                       name + " cut at " + std::to_string(cut));
        }
        for (uint32_t tight = capacity > 320 ? capacity - 320 : 0; tight < capacity; ++tight) {
            ExpectSame(stream, tight, name + " capacity " + std::to_string(tight));
        }
    }
    closedir(listing);
    EXPECT_GE(seeds, 40);
}

}  // namespace
