#include "package/zip_walk.h"

#include <cstring>
#include <memory>
#include <new>

#include "package/crc32.h"
#include "package/inflate_fast.h"

const char16_t kZipTooLarge[] = u"抱歉安装包过大，您可以到官网手动下载";
const char16_t kZipFormatUnsupported[] = u"ZIP 格式不支持、为空或使用ZIP64/分卷，请使用官网手动安装。";
const char16_t kZipCancelled[] = u"用户已取消解压。";
const char16_t kZipEntryFailed[] =
    u"解压安装失败，可能安装包下载时损坏、未下载完成等情况导致，请您重新下载或联系客服";

namespace {

constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kLocalSignature = 0x04034B50;
// How much of the central directory one view takes in: most directories fit
// whole, and a larger one is read in steps of this size.
constexpr uint64_t kCentralWindow = 1 << 20;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

// Where the entry's data starts, from its local header; false when the header
// is not inside the package or not a local header.
bool FindEntryData(ZipSourceView& view, uint32_t localOffset, uint64_t& start) {
    const uint8_t* local = view.Cover(localOffset, 30, kZipEntryWindow);
    if (!local || Read32(local) != kLocalSignature) return false;
    start = uint64_t{localOffset} + 30 + Read16(local + 26) + Read16(local + 28);
    return true;
}

// Decodes packed into data, which holds exactly the declared size.
bool DecodeData(const uint8_t* packed, const ZipEntry& entry, uint8_t* data) {
    if (entry.method == 0) {
        if (entry.compressedSize != entry.uncompressedSize) return false;
        std::memcpy(data, packed, entry.compressedSize);
        return true;
    }
    if (entry.method != 8) return false;
    uint32_t produced = 0;
    return InflateFast(packed, entry.compressedSize, data, entry.uncompressedSize, &produced) == 0 &&
           produced == entry.uncompressedSize;
}

// The entry's data, decoded into a buffer of its declared size. A view larger
// than the entry window (a large entry) lives only while it is decoded.
bool ExtractData(const ZipSource& source, ZipSourceView& view, uint32_t localOffset, const ZipEntry& entry,
                 uint32_t crc, std::unique_ptr<uint8_t[]>& data) {
    uint64_t start = 0;
    if (!FindEntryData(view, localOffset, start)) return false;
    if (start > source.size || entry.compressedSize > source.size - start) return false;
    // Up to 256 MiB in a 32-bit process: running out of memory fails the entry.
    data.reset(new (std::nothrow) uint8_t[entry.uncompressedSize ? entry.uncompressedSize : 1]);
    if (!data) return false;
    // No address space for the view fails the entry the same way.
    const uint8_t* packed = view.Cover(start, entry.compressedSize, kZipEntryWindow);
    bool decoded = packed && DecodeData(packed, entry, data.get());
    if (view.Length() > kZipEntryWindow) view.Release();
    return decoded && Crc32(data.get(), entry.uncompressedSize) == crc;
}

// One central directory entry at offset, read through the directory's view;
// advances offset past it.
bool WalkEntry(const ZipSource& source, ZipSourceView& central, ZipSourceView& entries, uint64_t& offset,
               std::u16string_view destination, const ZipWalkCallbacks& cb) {
    const uint8_t* h = central.Cover(offset, 46, kCentralWindow);
    if (!h || Read32(h) != kCentralSignature) return false;
    uint64_t full = uint64_t{46} + Read16(h + 28) + Read16(h + 30) + Read16(h + 32);
    h = central.Cover(offset, full, kCentralWindow);  // the view may move: read the fields from here on
    if (!h) return false;
    uint16_t flags = Read16(h + 8);
    uint16_t nameLength = Read16(h + 28);
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
    if (!cb.join(cb.context, destination, entry.name, entry.target)) return false;
    offset += full;
    if (entry.directory) return cb.directory(cb.context, entry);
    std::unique_ptr<uint8_t[]> data;
    if (!ExtractData(source, entries, localOffset, entry, crc, data)) return false;
    return cb.file(cb.context, entry, data.get(), entry.uncompressedSize);
}

// Checks the end record found in tail, the package's last bytes (from
// tailStart on), and reads how many entries the central directory holds and
// where it starts.
bool ReadEndRecord(const uint8_t* tail, uint64_t tailStart, uint64_t size, uint16_t& count, uint64_t& centralOffset) {
    size_t at = 0;
    if (!FindZipEndRecord(tail, static_cast<size_t>(size - tailStart), at)) return false;
    const uint8_t* end = tail + at;
    count = Read16(end + 10);
    centralOffset = Read32(end + 16);
    return Read16(end + 4) == 0 && Read16(end + 6) == 0 && count != 0 && count != 0xFFFF &&
           centralOffset != 0xFFFFFFFF && centralOffset < size;
}

}  // namespace

bool FindZipEndRecord(const uint8_t* image, size_t size, size_t& offset) {
    if (size < 22) return false;
    size_t lowest = size > kZipEndSearchSpan ? size - kZipEndSearchSpan : 0;
    for (size_t at = size - 22 + 1; at-- > lowest;) {
        if (Read32(image + at) == kEndSignature) {
            offset = at;
            return true;
        }
    }
    return false;
}

bool WalkZip(const ZipSource& source, std::u16string_view destination, const ZipWalkCallbacks& cb,
             WideBuffer& message) {
    if (source.size < 22 || source.size > kZipMaxArchiveSize) {
        message = kZipTooLarge;
        return false;
    }
    // One view for the end record and then the central directory: a small
    // package's directory lies inside the end record's view and needs no other.
    ZipSourceView central(source);
    uint64_t tailStart = source.size > kZipEndSearchSpan ? source.size - kZipEndSearchSpan : 0;
    const uint8_t* tail = central.Cover(tailStart, source.size - tailStart);
    if (!tail) {
        message = kZipTooLarge;  // as for a package that cannot be read at all
        return false;
    }
    uint16_t count = 0;
    uint64_t offset = 0;
    if (!ReadEndRecord(tail, tailStart, source.size, count, offset)) {
        message = kZipFormatUnsupported;
        return false;
    }
    ZipSourceView entries(source);
    for (uint16_t i = 0; i < count; ++i) {
        if (cb.cancelled(cb.context)) {
            message = kZipCancelled;
            return false;
        }
        if (!WalkEntry(source, central, entries, offset, destination, cb)) {
            if (message.empty()) message = kZipEntryFailed;
            return false;
        }
    }
    return true;
}
