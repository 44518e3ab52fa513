#include "package/crc32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

// The Windows test build has no zlib; there the bytewise definition is the only reference.
#ifndef _WIN32
#include <zlib.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define TW_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TW_TEST_ASAN 1
#endif
#endif
#ifdef TW_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

// Whatever path is the default here; every path at every length and alignment below.
TEST(Crc32, KnownValues) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc32(check, sizeof(check)), 0xCBF43926u);
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
    const std::vector<uint8_t> zeros(32, 0);
    EXPECT_EQ(Crc32(zeros.data(), zeros.size()), 0x190A55ADu);
    EXPECT_EQ(Crc32Bytewise(check, sizeof(check)), 0xCBF43926u);
}

// Lengths 0..2100 cross the 16-, 64-, 128- and 256-byte steps of every path many
// times over; the long ones run the four-register loops, then every narrower step
// (2 * 65536 + 255 leaves 192 + 48 + 15 bytes after the last 256-byte step).
constexpr size_t kShortLengths = 2101;
constexpr size_t kLongLengths[] = {65536 + 7, 2 * 65536 + 255};
constexpr size_t kLongest = kLongLengths[1];
constexpr size_t kAlignments = 64;
// Wider than any load, so an over-read past either end of a slice lands in it.
constexpr size_t kFence = 64;

std::vector<size_t> Lengths() {
    std::vector<size_t> lengths;
    for (size_t n = 0; n < kShortLengths; ++n) lengths.push_back(n);
    lengths.insert(lengths.end(), std::begin(kLongLengths), std::end(kLongLengths));
    return lengths;
}

struct Pattern {
    const char* name;
    std::vector<uint8_t> bytes;
};

const std::vector<Pattern>& Patterns() {
    static const std::vector<Pattern> patterns = [] {
        std::vector<Pattern> all = {{"random", std::vector<uint8_t>(kLongest)},
                                    {"all 0xFF", std::vector<uint8_t>(kLongest, 0xFF)},
                                    {"all zero", std::vector<uint8_t>(kLongest, 0)}};
        uint32_t x = 0x2545F491u;
        for (uint8_t& b : all[0].bytes) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            b = static_cast<uint8_t>(x >> 11);
        }
        return all;
    }();
    return patterns;
}

// Crc32Bytewise of each pattern's first n bytes for every length, worked out once
// for all paths; natively zlib must agree with it.
const std::vector<std::vector<uint32_t>>& Expected() {
    static const std::vector<std::vector<uint32_t>> expected = [] {
        std::vector<std::vector<uint32_t>> all;
        for (const Pattern& pattern : Patterns()) {
            all.emplace_back();
            for (size_t length : Lengths()) {
                all.back().push_back(Crc32Bytewise(pattern.bytes.data(), length));
#ifndef _WIN32
                EXPECT_EQ(all.back().back(), crc32(0, pattern.bytes.data(), static_cast<uInt>(length)))
                    << "zlib: " << pattern.name << ", length " << length;
#endif
            }
        }
        return all;
    }();
    return expected;
}

// Under AddressSanitizer the bytes either side of the slice are poisoned during
// the call, so a vector load that strays before the start or past the end faults.
uint32_t Crc32Fenced(const uint8_t* data, size_t size) {
#ifdef TW_TEST_ASAN
    ASAN_POISON_MEMORY_REGION(data - kFence, kFence);
    ASAN_POISON_MEMORY_REGION(data + size, kFence);
    const uint32_t crc = Crc32(data, size);
    ASAN_UNPOISON_MEMORY_REGION(data - kFence, kFence + size + kFence);
    return crc;
#else
    return Crc32(data, size);
#endif
}

class Crc32PathTest : public ::testing::TestWithParam<Crc32Path> {
   protected:
    void SetUp() override {
        saved_ = Crc32ActivePath();
        if (!Crc32UsePath(GetParam())) GTEST_SKIP() << Crc32PathName(GetParam()) << " is not supported here";
    }
    void TearDown() override { Crc32UsePath(saved_); }
    Crc32Path saved_ = kCrc32Table;
};

TEST_P(Crc32PathTest, MatchesReferencesAtEveryLengthAndAlignment) {
    const std::vector<size_t> lengths = Lengths();
    // Each alignment gets the same message, copied there with room for the fences.
    std::vector<uint8_t> storage(kFence + 2 * kAlignments + kLongest + kFence);
    uint8_t* const aligned =
        storage.data() + kFence + (kAlignments - reinterpret_cast<uintptr_t>(storage.data() + kFence) % kAlignments);
    for (size_t p = 0; p < Patterns().size(); ++p) {
        const Pattern& pattern = Patterns()[p];
        for (size_t alignment = 0; alignment < kAlignments; ++alignment) {
            uint8_t* const data = aligned + alignment;
            std::copy(pattern.bytes.begin(), pattern.bytes.end(), data);
            for (size_t i = 0; i < lengths.size(); ++i) {
                ASSERT_EQ(Crc32Fenced(data, lengths[i]), Expected()[p][i])
                    << pattern.name << ", alignment " << alignment << ", length " << lengths[i];
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPath, Crc32PathTest,
                         ::testing::Values(kCrc32Table, kCrc32Clmul128, kCrc32Clmul256, kCrc32Clmul512),
                         [](const ::testing::TestParamInfo<Crc32Path>& info) {
                             return std::string(Crc32PathName(info.param));
                         });

// A path the processor lacks must never be switched on: it would fault on the
// first long buffer. By default the widest one that runs is used.
TEST(Crc32Paths, OnlySupportedPathsAreUsedAndTheWidestByDefault) {
    const Crc32Path original = Crc32ActivePath();
    Crc32Path widest = kCrc32Table;
    for (Crc32Path path : {kCrc32Table, kCrc32Clmul128, kCrc32Clmul256, kCrc32Clmul512}) {
        const bool supported = Crc32PathSupported(path);
        if (supported) widest = path;
        const Crc32Path before = Crc32ActivePath();
        EXPECT_EQ(Crc32UsePath(path), supported) << Crc32PathName(path);
        EXPECT_EQ(Crc32ActivePath(), supported ? path : before) << Crc32PathName(path);
    }
    EXPECT_TRUE(Crc32PathSupported(kCrc32Table));
    EXPECT_EQ(original, widest);
    Crc32UsePath(original);
}

}  // namespace
