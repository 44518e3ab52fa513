// SHA-256 of files, bytes and streams, as lowercase hex (catalog/sha256.h does
// the hashing).
#pragma once

#include <cstdint>

#include <windows.h>

#include "base/text.h"
#include "catalog/sha256.h"

// 64 lowercase hex digits into hex (and the size read, when asked); false when
// the file cannot be opened, read or hashed, and then hex is untouched.
bool HashFileSha256(std::u16string_view path, WideBuffer& hex, uint64_t* size = nullptr);
// The same for a file already open for reading, from its start.
bool HashOpenFileSha256(HANDLE file, WideBuffer& hex, uint64_t* size = nullptr);

// A hash fed piece by piece, for bytes hashed where they pass (written or
// copied) instead of being read back.
class Sha256Stream {
public:
    bool Begin();
    bool Add(const void* data, size_t size);
    // Lowercase hex of everything added; the stream is spent afterwards.
    bool Finish(WideBuffer& hex);
    uint64_t Size() const { return size_; }

private:
    Sha256 hash_;
    bool begun_ = false;
    uint64_t size_ = 0;
};

// The SHA-256 of bytes in memory.
bool HashBytesSha256(const void* data, size_t size, WideBuffer& hex);
