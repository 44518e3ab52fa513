// A file opened for reading and mapped read-only, seen through views of the
// byte ranges a caller needs, so a large file never has to fit in memory or in
// one piece of a 32-bit address space. While it is open nobody may write the
// file (Windows: no write sharing), so what was checked stays what is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

// Where a view of [offset, offset + length) must start on the system's
// boundary (a power of two), and how much it must map to reach the end.
struct AlignedView {
    uint64_t start;   // offset rounded down to the boundary
    size_t lead;      // offset - start
    size_t mapped;    // lead + length
};
AlignedView AlignView(uint64_t offset, size_t length, uint32_t boundary);

// True when [offset, offset + length) is a non-empty range inside a file of
// fileSize bytes (computed without overflow).
bool ViewFitsFile(uint64_t fileSize, uint64_t offset, size_t length);

class FileMapping {
public:
    FileMapping();
    ~FileMapping();
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    // Opens a regular file; false when it cannot be opened or mapped. An empty
    // file opens with size 0 (the system maps no empty file) and has no views.
    bool Open(std::u16string_view path);
    uint64_t size() const { return size_; }

    // The bytes [offset, offset + length), or null when that range is not a
    // non-empty part of the file or the system cannot map it (no address
    // space left). Every view is given back with Release.
    const uint8_t* View(uint64_t offset, size_t length);
    void Release(const uint8_t* view, uint64_t offset, size_t length);

private:
    struct System;
    std::unique_ptr<System> system_;
    uint64_t size_ = 0;
};
