#include "base/file_mapping.h"

AlignedView AlignView(uint64_t offset, size_t length, uint32_t boundary) {
    AlignedView view;
    view.start = offset & ~uint64_t{boundary - 1};
    view.lead = static_cast<size_t>(offset - view.start);
    view.mapped = view.lead + length;
    return view;
}

bool ViewFitsFile(uint64_t fileSize, uint64_t offset, size_t length) {
    return length > 0 && offset <= fileSize && length <= fileSize - offset;
}
