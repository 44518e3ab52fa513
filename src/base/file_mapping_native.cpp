// Linux build (the companion tool): open and mmap, views on page boundaries.
// Nothing keeps writers out here; the tool only checks a file it was given.
#include "base/file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/text.h"

struct FileMapping::System {
    int descriptor = -1;
    uint32_t pageSize = 0;
    ~System() {
        if (descriptor >= 0) close(descriptor);
    }
};

FileMapping::FileMapping() = default;
FileMapping::~FileMapping() = default;

bool FileMapping::Open(std::u16string_view path) {
    system_.reset();
    size_ = 0;
    auto system = std::make_unique<System>();
    system->descriptor = open(WideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    // A folder opens here too; it is not a file to read.
    if (system->descriptor < 0 || fstat(system->descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    system->pageSize = static_cast<uint32_t>(sysconf(_SC_PAGESIZE));
    size_ = static_cast<uint64_t>(status.st_size);
    system_ = std::move(system);
    return true;
}

const uint8_t* FileMapping::View(uint64_t offset, size_t length) {
    if (!system_ || !ViewFitsFile(size_, offset, length)) return nullptr;
    AlignedView aligned = AlignView(offset, length, system_->pageSize);
    if (aligned.mapped < length) return nullptr;
    void* base = mmap(nullptr, aligned.mapped, PROT_READ, MAP_PRIVATE, system_->descriptor,
                      static_cast<off_t>(aligned.start));
    return base == MAP_FAILED ? nullptr : static_cast<const uint8_t*>(base) + aligned.lead;
}

void FileMapping::Release(const uint8_t* view, uint64_t offset, size_t length) {
    if (!view || !system_) return;
    AlignedView aligned = AlignView(offset, length, system_->pageSize);
    munmap(const_cast<uint8_t*>(view - aligned.lead), aligned.mapped);
}
