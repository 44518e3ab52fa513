// The install manifest's text format: UTF-16LE without byte-order mark, LF
// after every line, a magic line, then "KEY\tvalue" lines. Building and
// splitting the bytes is here; the file and path questions are in manifest_win.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/text.h"

constexpr uint32_t ManifestTypeDeployed = 0;
constexpr uint32_t ManifestTypeInstaller = 1;
constexpr uint64_t kMaxManifestSize = 16777216;

struct ManifestFields {
    WideBuffer base;
    WideBuffer dir;
    WideBuffer main;
    WideBuffer version;
    uint32_t type = ManifestTypeDeployed;
    StringList files;  // unique without regard to ASCII case, newest first
};

// The file's bytes: the header lines, then one FILE line per path in order.
ByteBuffer BuildManifestBytes(const ManifestFields& fields, const std::vector<WideBuffer>& fileLines);

// Splits and checks the lines: magic first, known keys, BASE/DIR/VERSION/TYPE
// at most once, TYPE "0" or "1", and magic, BASE, DIR and TYPE all present.
// The byte count must be even and at least 2.
bool ParseManifestBytes(const uint8_t* data, size_t size, ManifestFields& fields);

// The values of "DIR\t" lines, for the ownership scan of other manifests
// (which checks nothing else of them). False for an odd or empty byte count.
bool ManifestDirValues(const uint8_t* data, size_t size, std::vector<WideBuffer>& dirs);

bool HasNoControlChars(std::u16string_view text);

// Text as UTF-16 little-endian bytes, no byte-order mark.
ByteBuffer Utf16LeBytes(std::u16string_view text);

// A shortcut directly on the desktop (not in a sub-folder), any case of ".lnk".
bool IsDirectDesktopShortcut(std::u16string_view desktop, std::u16string_view path);
