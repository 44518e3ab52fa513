// File and folder helpers. The path arithmetic is portable; the functions that
// touch the disk are declared in file_win.h.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"

// Largest file ReadWholeFile accepts (512 MiB).
constexpr uint64_t kMaxWholeFileSize = 0x20000000;

// The folders CreateDirectoryTree creates, in order: the prefix before every
// "\" or "/" at a position above 0 that does not follow ":", then the whole
// path. So "C:\a\b" gives "C:\a", "C:\a\b" and never "C:" alone.
std::vector<WideBuffer> DirectoryTreePrefixes(std::u16string_view path);
