// The Windows mapping: the file stays open with read sharing only for as long
// as the mapping lives, and views start on the allocation granularity.
#include "base/file_mapping.h"

#include <windows.h>

#include "base/handles_win.h"
#include "base/text.h"
#include "base/wide_win.h"

struct FileMapping::System {
    UniqueHandle file;
    UniqueHandle mapping;
    uint32_t granularity = 0;
};

FileMapping::FileMapping() = default;
FileMapping::~FileMapping() = default;

bool FileMapping::Open(std::u16string_view path) {
    system_.reset();
    size_ = 0;
    auto system = std::make_unique<System>();
    system->file.reset(CreateFileW(W(WideBuffer(path)), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!system->file || !GetFileSizeEx(system->file.get(), &size)) return false;
    if (size.QuadPart > 0) {
        system->mapping.reset(CreateFileMappingW(system->file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!system->mapping) return false;
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    system->granularity = info.dwAllocationGranularity;
    size_ = static_cast<uint64_t>(size.QuadPart);
    system_ = std::move(system);
    return true;
}

const uint8_t* FileMapping::View(uint64_t offset, size_t length) {
    if (!system_ || !system_->mapping || !ViewFitsFile(size_, offset, length)) return nullptr;
    AlignedView aligned = AlignView(offset, length, system_->granularity);
    if (aligned.mapped < length) return nullptr;  // no address space that large
    void* base = MapViewOfFile(system_->mapping.get(), FILE_MAP_READ, static_cast<DWORD>(aligned.start >> 32),
                               static_cast<DWORD>(aligned.start), aligned.mapped);
    return base ? static_cast<const uint8_t*>(base) + aligned.lead : nullptr;
}

void FileMapping::Release(const uint8_t* view, uint64_t offset, size_t length) {
    if (!view || !system_) return;
    AlignedView aligned = AlignView(offset, length, system_->granularity);
    UnmapViewOfFile(view - aligned.lead);
}
