#include "package/zip_source.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/file_mapping.h"

namespace {

const uint8_t* ViewCopy(void* context, uint64_t offset, size_t length) {
    const auto* image = static_cast<const ZipMemoryImage*>(context);
    if (!ViewFitsFile(image->size, offset, length)) return nullptr;
    uint8_t* copy = new (std::nothrow) uint8_t[length];
    if (copy) std::memcpy(copy, image->bytes + offset, length);
    return copy;
}

void ReleaseCopy(void*, const uint8_t* view, uint64_t, size_t) { delete[] view; }

const uint8_t* ViewMapped(void* context, uint64_t offset, size_t length) {
    return static_cast<FileMapping*>(context)->View(offset, length);
}

void ReleaseMapped(void* context, const uint8_t* view, uint64_t offset, size_t length) {
    static_cast<FileMapping*>(context)->Release(view, offset, length);
}

}  // namespace

ZipSource MemoryZipSource(const ZipMemoryImage& image) {
    return ZipSource{image.size, ViewCopy, ReleaseCopy, const_cast<ZipMemoryImage*>(&image)};
}

ZipSource MappedZipSource(FileMapping& file) { return ZipSource{file.size(), ViewMapped, ReleaseMapped, &file}; }

const uint8_t* ZipSourceView::Cover(uint64_t offset, uint64_t length, uint64_t ahead) {
    static const uint8_t kNothing[1] = {0};
    if (offset > source_.size || length > source_.size - offset) return nullptr;
    if (view_ && offset >= offset_ && offset - offset_ <= length_ && length <= length_ - (offset - offset_)) {
        return view_ + (offset - offset_);
    }
    if (length == 0) return kNothing;
    uint64_t span = std::min(std::max(length, ahead), source_.size - offset);
    if (span > SIZE_MAX) return nullptr;  // more than this process can address
    Release();
    view_ = source_.view(source_.context, offset, static_cast<size_t>(span));
    if (!view_) return nullptr;
    offset_ = offset;
    length_ = static_cast<size_t>(span);
    return view_;
}

void ZipSourceView::Release() {
    if (view_) source_.release(source_.context, view_, offset_, length_);
    view_ = nullptr;
}
