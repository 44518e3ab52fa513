// Fuzzes the ZIP walk over libFuzzer's buffer: end record search, central
// directory, names, local headers, decoding and CRC. The memory source copies
// each view to a buffer of its own, so a read outside a view faults.
#include <cstdint>
#include <cstdlib>

#include "package/path_rules.h"
#include "package/zip_walk.h"

namespace {

bool Decode(const uint8_t* bytes, size_t size, bool utf8, WideBuffer& name) {
    name = utf8 ? Utf8ToWide(std::string(reinterpret_cast<const char*>(bytes), size))
                : WideBuffer(bytes, bytes + size);
    return true;
}

bool Join(void*, std::u16string_view destination, std::u16string_view name, WideBuffer& target) {
    return JoinRelativeText(destination, name, target) && IsStrictlyUnder(destination, target);
}

bool Never(void*) { return false; }
bool Directory(void*, const ZipEntry& entry) {
    if (!IsStrictlyUnder(u"C:\\staging", entry.target)) std::abort();
    return true;
}
bool File(void*, const ZipEntry& entry, const uint8_t*, size_t size) {
    if (!IsStrictlyUnder(u"C:\\staging", entry.target) || size != entry.uncompressedSize) std::abort();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WideBuffer message;
    ZipWalkCallbacks callbacks{Decode, Join, Never, Directory, File, nullptr};
    ZipMemoryImage image{data, size};
    if (!WalkZip(MemoryZipSource(image), u"C:\\staging", callbacks, message) && message.empty()) std::abort();
    return 0;
}
