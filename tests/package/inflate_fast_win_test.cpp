// The fast decoder in the 32-bit build, where its bit buffer and copies
// compile to other instructions: against the reference on the fuzz seeds
// (real streams of every block kind and hand-built failures), cut short and
// with tight outputs. The native tests cover the same with zlib's streams.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "package/inflate_compare.h"

namespace {

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
        ExpectSameAsReference(stream, capacity, name);
        for (size_t cut = 0; cut < stream.size(); cut += cut < 200 || cut + 64 >= stream.size() ? 1 : 97) {
            ExpectSameAsReference(std::vector<uint8_t>(stream.begin(), stream.begin() + cut), capacity,
                       name + " cut at " + std::to_string(cut));
        }
        for (uint32_t tight = capacity > 320 ? capacity - 320 : 0; tight < capacity; ++tight) {
            ExpectSameAsReference(stream, tight, name + " capacity " + std::to_string(tight));
        }
    }
    closedir(listing);
    EXPECT_GE(seeds, 40);
}

}  // namespace
