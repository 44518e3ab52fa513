// Where the ZIP walk reads a package from: a size and views of byte ranges,
// so that only the central directory and the entry being decoded are ever in
// the address space, never the whole package.
#pragma once

#include <cstddef>
#include <cstdint>

class FileMapping;

struct ZipSource {
    uint64_t size;
    // Bytes [offset, offset + length) of the package (length > 0, inside the
    // package); null when the view cannot be made.
    const uint8_t* (*view)(void* context, uint64_t offset, size_t length);
    // Gives back a view, with the offset and length it was asked for.
    void (*release)(void* context, const uint8_t* view, uint64_t offset, size_t length);
    void* context;
};

// A package in memory (tests and the fuzzer). Every view is a fresh heap copy
// of exactly the bytes asked for, so a read outside a view faults under
// AddressSanitizer, as it could on a mapped file, instead of landing in the
// rest of the image. image must outlive the source.
struct ZipMemoryImage {
    const uint8_t* bytes;
    size_t size;
};
ZipSource MemoryZipSource(const ZipMemoryImage& image);

// A package through its read-only file mapping; file must outlive the source.
ZipSource MappedZipSource(FileMapping& file);

// One view of a source, kept while the bytes asked for lie inside it and
// given back when it moves or goes out of scope.
class ZipSourceView {
public:
    explicit ZipSourceView(const ZipSource& source) : source_(source) {}
    ~ZipSourceView() { Release(); }
    ZipSourceView(const ZipSourceView&) = delete;
    ZipSourceView& operator=(const ZipSourceView&) = delete;

    // The bytes [offset, offset + length). When the current view does not
    // hold them, it is replaced by a view from offset of up to ahead bytes
    // (at least length, never past the end). Null when the range is not
    // inside the package or the view cannot be made; an empty range inside
    // the package gives a valid pointer to nothing.
    const uint8_t* Cover(uint64_t offset, uint64_t length, uint64_t ahead = 0);
    void Release();
    // How many bytes the current view holds (0 without one).
    size_t Length() const { return view_ ? length_ : 0; }

private:
    ZipSource source_;
    const uint8_t* view_ = nullptr;
    uint64_t offset_ = 0;
    size_t length_ = 0;
};
