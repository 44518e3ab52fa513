// What kind of package a download is, judged from its first bytes.
#pragma once

#include <cstddef>
#include <cstdint>

enum PackageFormat : int32_t {
    kFormatUnknown = 0,
    kFormatZip = 1,
    kFormatRar = 2,
    kFormat7z = 3,
    kFormatRarSfx = 4,
    kFormat7zSfx = 5,
    kFormatExe = 6,
};

// How many leading bytes the detection reads (8 MiB).
constexpr uint32_t kFormatProbeSize = 8388608;

// "未知", "ZIP", "RAR", "7Z", "RAR_SFX", "7Z_SFX", "EXE".
const char16_t* PackageFormatName(PackageFormat format);

// Classifies the first bytes of a file (at most kFormatProbeSize of them).
PackageFormat ClassifyPackageBytes(const uint8_t* data, size_t size);
