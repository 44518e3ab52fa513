#include "package/package_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

PackageFormat Classify(std::vector<uint8_t> bytes) { return ClassifyPackageBytes(bytes.data(), bytes.size()); }

TEST(ClassifyPackageBytes, Signatures) {
    EXPECT_EQ(Classify({'P', 'K', 3, 4, 0, 0}), kFormatZip);
    EXPECT_EQ(Classify({'P', 'K', 5, 6, 0, 0}), kFormatZip);         // an empty archive's end record
    EXPECT_EQ(Classify({'P', 'K', 3, 4, 0}), kFormatUnknown);        // 5 bytes: too short
    EXPECT_EQ(Classify({'P', 'K', 1, 2, 0, 0}), kFormatUnknown);     // central header first
    EXPECT_EQ(Classify({0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00}), kFormatRar);
    EXPECT_EQ(Classify({0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C}), kFormat7z);
    EXPECT_EQ(Classify({'M', 'Z', 0x52, 0x61, 0x72, 0x21, 0x1A, 0x07}), kFormatRarSfx);  // marker at byte 2
    EXPECT_EQ(Classify({'M', 'Z', 0, 0, 0, 0, 0}), kFormatExe);     // 7 bytes
    EXPECT_EQ(Classify({'M', 'Z', 0, 0, 0, 0}), kFormatExe);
    EXPECT_EQ(Classify({'Z', 'M', 0, 0, 0, 0}), kFormatUnknown);
    EXPECT_EQ(Classify({}), kFormatUnknown);
}

TEST(ClassifyPackageBytes, SelfExtractorsFirstMarkerWins) {
    std::vector<uint8_t> exe(4096, 0);
    exe[0] = 'M';
    exe[1] = 'Z';
    const uint8_t sevenZip[6] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
    const uint8_t rar[6] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07};
    std::copy(sevenZip, sevenZip + 6, exe.begin() + 1000);
    std::copy(rar, rar + 6, exe.begin() + 2000);
    EXPECT_EQ(Classify(exe), kFormat7zSfx);
    std::copy(rar, rar + 6, exe.begin() + 500);
    EXPECT_EQ(Classify(exe), kFormatRarSfx);
    // A marker that ends exactly at the last byte still counts; one cut short does not.
    std::vector<uint8_t> tail(100, 0);
    tail[0] = 'M';
    tail[1] = 'Z';
    std::copy(rar, rar + 6, tail.end() - 6);
    EXPECT_EQ(Classify(tail), kFormatRarSfx);
    tail.pop_back();
    EXPECT_EQ(Classify(tail), kFormatExe);
}

TEST(PackageFormatName, Names) {
    EXPECT_EQ(std::u16string(PackageFormatName(kFormatRarSfx)), u"RAR_SFX");
    EXPECT_EQ(std::u16string(PackageFormatName(kFormatUnknown)), u"未知");
    EXPECT_EQ(std::u16string(PackageFormatName(static_cast<PackageFormat>(9))), u"未知");
}

}  // namespace
