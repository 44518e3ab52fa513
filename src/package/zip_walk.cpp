#include "package/zip_walk.h"

#include <cstring>
#include <memory>
#include <new>

#include "package/crc32.h"
#include "package/inflate.h"

const char16_t kZipTooLarge[] = u"抱歉安装包过大，您可以到官网手动下载";
const char16_t kZipFormatUnsupported[] = u"ZIP 格式不支持、为空或使用ZIP64/分卷，请使用官网手动安装。";
const char16_t kZipCancelled[] = u"用户已取消解压。";
const char16_t kZipEntryFailed[] =
    u"解压安装失败，可能安装包下载时损坏、未下载完成等情况导致，请您重新下载或联系客服";

namespace {

constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kLocalSignature = 0x04034B50;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

// The entry's data, decoded into a buffer of its declared size.
bool ExtractData(const uint8_t* image, size_t size, uint32_t localOffset, const ZipEntry& entry, uint32_t crc,
                 std::unique_ptr<uint8_t[]>& data) {
    if (size < 30 || localOffset > size - 30 || Read32(image + localOffset) != kLocalSignature) return false;
    uint64_t start = uint64_t{localOffset} + 30 + Read16(image + localOffset + 26) + Read16(image + localOffset + 28);
    if (start > size || entry.compressedSize > size - start) return false;
    const uint8_t* packed = image + start;
    // Up to 256 MiB in a 32-bit process: running out of memory fails the entry.
    data.reset(new (std::nothrow) uint8_t[entry.uncompressedSize ? entry.uncompressedSize : 1]);
    if (!data) return false;
    if (entry.method == 0) {
        if (entry.compressedSize != entry.uncompressedSize) return false;
        std::memcpy(data.get(), packed, entry.compressedSize);
    } else if (entry.method == 8) {
        uint32_t produced = 0;
        if (InflateRaw(packed, entry.compressedSize, data.get(), entry.uncompressedSize, &produced) != 0 ||
            produced != entry.uncompressedSize) {
            return false;
        }
    } else {
        return false;
    }
    return Crc32(data.get(), entry.uncompressedSize) == crc;
}

// One central directory entry at offset; advances offset past it.
bool WalkEntry(const uint8_t* image, size_t size, size_t& offset, std::u16string_view destination,
               const ZipWalkCallbacks& cb) {
    if (size < 46 || offset > size - 46 || Read32(image + offset) != kCentralSignature) return false;
    const uint8_t* h = image + offset;
    uint16_t flags = Read16(h + 8);
    uint16_t nameLength = Read16(h + 28);
    uint64_t full = uint64_t{46} + nameLength + Read16(h + 30) + Read16(h + 32);
    if (full > size - offset) return false;
    ZipEntry entry;
    entry.method = Read16(h + 10);
    entry.compressedSize = Read32(h + 20);
    entry.uncompressedSize = Read32(h + 24);
    uint32_t crc = Read32(h + 16);
    uint32_t attributes = Read32(h + 38);
    uint32_t localOffset = Read32(h + 42);
    if (nameLength == 0 || (flags & 1) || entry.uncompressedSize > kZipMaxEntrySize || (attributes >> 28) == 0xA) {
        return false;  // nameless, encrypted, too large, or a symbolic link
    }
    if (!cb.decodeName(h + 46, nameLength, (flags & 0x800) != 0, entry.name) || entry.name.empty()) return false;
    for (char16_t& c : entry.name) {
        if (c == u'/') c = u'\\';
    }
    if (entry.name.back() == u'\\') {
        entry.directory = true;
        entry.name.pop_back();
    }
    if (!cb.join(destination, entry.name, entry.target)) return false;
    offset += static_cast<size_t>(full);
    if (entry.directory) return cb.directory(cb.context, entry);
    std::unique_ptr<uint8_t[]> data;
    if (!ExtractData(image, size, localOffset, entry, crc, data)) return false;
    return cb.file(cb.context, entry, data.get(), entry.uncompressedSize);
}

}  // namespace

bool FindZipEndRecord(const uint8_t* image, size_t size, size_t& offset) {
    if (size < 22) return false;
    size_t lowest = size > 65557 ? size - 65557 : 0;
    for (size_t at = size - 22 + 1; at-- > lowest;) {
        if (Read32(image + at) == kEndSignature) {
            offset = at;
            return true;
        }
    }
    return false;
}

bool WalkZip(const uint8_t* image, size_t size, std::u16string_view destination, const ZipWalkCallbacks& cb,
             WideBuffer& message) {
    if (size < 22 || size > kZipMaxArchiveSize) {
        message = kZipTooLarge;
        return false;
    }
    size_t end;
    if (!FindZipEndRecord(image, size, end) || Read16(image + end + 4) != 0 || Read16(image + end + 6) != 0 ||
        Read16(image + end + 10) == 0 || Read16(image + end + 10) == 0xFFFF ||
        Read32(image + end + 16) == 0xFFFFFFFF || Read32(image + end + 16) >= size) {
        message = kZipFormatUnsupported;
        return false;
    }
    uint16_t count = Read16(image + end + 10);
    size_t offset = Read32(image + end + 16);
    for (uint16_t i = 0; i < count; ++i) {
        if (cb.cancelled(cb.context)) {
            message = kZipCancelled;
            return false;
        }
        if (!WalkEntry(image, size, offset, destination, cb)) {
            if (message.empty()) message = kZipEntryFailed;
            return false;
        }
    }
    return true;
}
