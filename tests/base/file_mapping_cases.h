// Views of one file, the same table for the Linux mapping (page boundaries)
// and the Windows one (64 KiB allocation granularity): the boundaries, the
// ends of the file, and ranges that are not inside it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/file_mapping.h"

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

// Makes every view of the table on file (which holds MappedFileBytes), keeps
// them all side by side, then checks their bytes and gives them back.
inline void CheckEveryView(FileMapping& file) {
    ASSERT_EQ(file.size(), kMappedFileSize);
    struct Made { const MappedViewCase* c; const uint8_t* view; };
    std::vector<Made> made;
    for (const MappedViewCase& c : kMappedViewCases) {
        const uint8_t* view = file.View(c.offset, c.length);
        EXPECT_EQ(view != nullptr, c.made) << c.what;
        if (view) made.push_back({&c, view});
    }
    for (const Made& m : made) {
        size_t wrong = 0;
        for (size_t i = 0; i < m.c->length; ++i) wrong += m.view[i] != MappedByteAt(m.c->offset + i);
        EXPECT_EQ(wrong, 0u) << m.c->what;
        file.Release(m.view, m.c->offset, m.c->length);
    }
}
