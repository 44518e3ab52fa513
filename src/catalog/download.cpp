#include "catalog/download.h"

int32_t ScaleProgress(uint64_t received, uint64_t total) {
    if (total == 0) return 0;
    while (total > 16777216) {
        total >>= 1;
        received >>= 1;
    }
    uint32_t percent = static_cast<uint32_t>(received) * 100u / static_cast<uint32_t>(total);
    return percent > 100 ? 100 : static_cast<int32_t>(percent);
}

bool DownloadComplete(uint64_t received, uint64_t total) {
    return received != 0 && (total == 0 || received == total);
}

bool ExceedsAnnouncedLength(uint64_t received, uint64_t total) { return total != 0 && received > total; }
