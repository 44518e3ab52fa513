// The ZIP walk over a package read through views (zip_source.h): the end
// record, then every central directory entry in order, checked, named, joined
// below the destination, decoded and CRC-checked. Only the central directory
// is trusted. Where the bytes come from, creating folders and writing files
// are the caller's, so the same walk serves the installer and the companion
// tool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text.h"
#include "package/zip_source.h"

constexpr uint32_t kZipMaxEntrySize = 268435456;     // 256 MiB
constexpr uint32_t kZipMaxArchiveSize = 536870912;   // 512 MiB
// The end record (22 bytes) and the longest comment after it.
constexpr uint32_t kZipEndSearchSpan = 22 + 65535;
// How much of the entries one view takes in: the entries of a package follow
// each other, so a run of small ones is read through one view instead of two
// views each (making a view is a system call, and a slow one under Wine).
constexpr uint64_t kZipEntryWindow = uint64_t{8} << 20;

extern const char16_t kZipTooLarge[];
extern const char16_t kZipFormatUnsupported[];
extern const char16_t kZipCancelled[];
extern const char16_t kZipEntryFailed[];

struct ZipEntry {
    WideBuffer name;    // as stored, "/" turned into "\", without a final "\"
    WideBuffer target;  // below the destination
    bool directory = false;
    uint16_t method = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
};

struct ZipWalkCallbacks {
    // Name bytes to text: UTF-8 when utf8 is set, else the ANSI code page.
    bool (*decodeName)(const uint8_t* bytes, size_t size, bool utf8, WideBuffer& name);
    // SafeJoinRelative of the name below the destination.
    bool (*join)(void* context, std::u16string_view destination, std::u16string_view name, WideBuffer& target);
    bool (*cancelled)(void* context);
    bool (*directory)(void* context, const ZipEntry& entry);
    // The entry's whole content, already size- and CRC-checked.
    bool (*file)(void* context, const ZipEntry& entry, const uint8_t* data, size_t size);
    void* context;
};

// Walks the archive; on failure message holds the text the user sees (an
// entry failure leaves message as the callback set it, or the general one).
// At most two views are held at a time: one over the central directory and
// one over the entries, which stays from entry to entry while it holds no more
// than a window of a few MiB; a larger one (a large entry) is given back
// before the entry's file callback.
bool WalkZip(const ZipSource& source, std::u16string_view destination, const ZipWalkCallbacks& callbacks,
             WideBuffer& message);

// Offset of the end-of-central-directory record, searched from size-22 down
// over at most a 65,535-byte comment; false when absent. image may be just the
// last kZipEndSearchSpan bytes of the package: nothing before them is searched.
bool FindZipEndRecord(const uint8_t* image, size_t size, size_t& offset);
