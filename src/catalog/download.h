// The arithmetic of a package download: progress and completeness.
#pragma once

#include <cstdint>

// Percent of total received, both halved together until total fits 2^24 so the
// division stays in 32 bits; 0 when the total is unknown; never above 100.
int32_t ScaleProgress(uint64_t received, uint64_t total);

// A body is complete when something arrived and, with an announced total,
// exactly that much.
bool DownloadComplete(uint64_t received, uint64_t total);

// More arrived than the server announced: the transfer is broken, stop at once.
bool ExceedsAnnouncedLength(uint64_t received, uint64_t total);
