// The ZIP walk over an archive held in memory: the end record, then every
// central directory entry in order, checked, named, joined below the
// destination, decoded and CRC-checked. Only the central directory is trusted.
// Reading the file, creating folders and writing files are the caller's
// (callbacks), so the same walk serves the installer and the companion tool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text.h"

constexpr uint32_t kZipMaxEntrySize = 268435456;     // 256 MiB
constexpr uint32_t kZipMaxArchiveSize = 536870912;   // 512 MiB

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
    bool (*join)(std::u16string_view destination, std::u16string_view name, WideBuffer& target);
    bool (*cancelled)(void* context);
    bool (*directory)(void* context, const ZipEntry& entry);
    // The entry's whole content, already size- and CRC-checked.
    bool (*file)(void* context, const ZipEntry& entry, const uint8_t* data, size_t size);
    void* context;
};

// Walks the archive; on failure message holds the text the user sees (an
// entry failure leaves message as the callback set it, or the general one).
bool WalkZip(const uint8_t* image, size_t size, std::u16string_view destination, const ZipWalkCallbacks& callbacks,
             WideBuffer& message);

// Offset of the end-of-central-directory record, searched from size-22 down
// over at most a 65,535-byte comment; false when absent.
bool FindZipEndRecord(const uint8_t* image, size_t size, size_t& offset);
