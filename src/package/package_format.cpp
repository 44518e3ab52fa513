#include "package/package_format.h"

#include <cstring>

namespace {

const uint8_t kRarMarker[6] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07};
const uint8_t k7zSignature[6] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};

uint32_t Read32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

}  // namespace

const char16_t* PackageFormatName(PackageFormat format) {
    switch (format) {
    case kFormatZip: return u"ZIP";
    case kFormatRar: return u"RAR";
    case kFormat7z: return u"7Z";
    case kFormatRarSfx: return u"RAR_SFX";
    case kFormat7zSfx: return u"7Z_SFX";
    case kFormatExe: return u"EXE";
    default: return u"未知";
    }
}

PackageFormat ClassifyPackageBytes(const uint8_t* data, size_t size) {
    if (size < 6) return kFormatUnknown;
    uint32_t first = Read32(data);
    if (first == 0x04034B50 || first == 0x06054B50) return kFormatZip;
    if (std::memcmp(data, kRarMarker, 6) == 0) return kFormatRar;
    if (std::memcmp(data, k7zSignature, 6) == 0) return kFormat7z;
    if (data[0] != 'M' || data[1] != 'Z') return kFormatUnknown;
    // A self-extractor is an executable carrying an archive after its code.
    for (size_t k = 2; k + 6 <= size; ++k) {
        if (std::memcmp(data + k, kRarMarker, 6) == 0) return kFormatRarSfx;
        if (std::memcmp(data + k, k7zSignature, 6) == 0) return kFormat7zSfx;
    }
    return kFormatExe;
}
