// Views of one file, the same table for the Linux mapping (page boundaries)
// and the Windows one (64 KiB allocation granularity): the boundaries, the
// ends of the file, and ranges that are not inside it.
#pragma once

#include <cstdint>
#include <string>

// Three granules and a bit, each byte telling its offset apart from its
// neighbours' and from the same offset in another granule.
constexpr uint64_t kMappedFileSize = 3 * 65536 + 123;

inline uint8_t MappedByteAt(uint64_t offset) { return static_cast<uint8_t>(offset * 131 + (offset >> 16)); }

inline std::string MappedFileBytes() {
    std::string bytes(kMappedFileSize, '\0');
    for (uint64_t i = 0; i < kMappedFileSize; ++i) bytes[i] = static_cast<char>(MappedByteAt(i));
    return bytes;
}

struct MappedViewCase {
    const char* what;
    uint64_t offset;
    size_t length;
    bool made;
};

inline const MappedViewCase kMappedViewCases[] = {
    {"the first byte", 0, 1, true},
    {"the whole file", 0, kMappedFileSize, true},
    {"the last byte", kMappedFileSize - 1, 1, true},
    {"the last 22 bytes", kMappedFileSize - 22, 22, true},
    {"from an odd offset to the end", 4097, kMappedFileSize - 4097, true},
    {"across a 64 KiB boundary", 65535, 2, true},
    {"from a 64 KiB boundary", 131072, 100, true},
    {"up to a 64 KiB boundary", 65536 - 7, 7, true},
    {"from a page that is not on a 64 KiB boundary", 4096, 70000, true},
    {"a byte before the last granule to the end", 3 * 65536 - 1, 124, true},
    {"one byte past the end", kMappedFileSize - 1, 2, false},
    {"at the end", kMappedFileSize, 1, false},
    {"nothing", 10, 0, false},
    {"far past the end", uint64_t{1} << 40, 1, false},
    {"wrapping around", UINT64_MAX - 1, 4, false},
};
