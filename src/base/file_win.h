// File and folder operations on the disk.
#pragma once

#include <cstdint>

#include <windows.h>

#include "base/file.h"
#include "base/handles_win.h"
#include "base/text.h"

bool FileExists(const WideBuffer& path);
bool DirectoryExists(const WideBuffer& path);
bool CreateDirectoryTree(const WideBuffer& path);
// The whole file, which must hold 1 to kMaxWholeFileSize bytes; bytes is empty
// after any failure.
bool ReadWholeFile(const WideBuffer& path, ByteBuffer& bytes);
// Creates or truncates the file (no sharing) and writes all n bytes.
bool WriteWholeFile(const WideBuffer& path, const void* data, size_t n);
// Like WriteWholeFile, but into a new file: an existing one (perhaps a hard
// link to a file elsewhere) is deleted first, never written through.
bool WriteFreshFile(const WideBuffer& path, const void* data, size_t n);
// Deletes path when it exists; true when nothing is there afterwards.
bool DeleteIfPresent(const WideBuffer& path);
uint64_t FileSize(const WideBuffer& path);
// Full path of the running executable; false when longer than 518 characters.
bool ModulePath(WideBuffer& path);

// Starts listing folder\pattern; the handle is empty when that fails (the
// reason is in GetLastError).
UniqueFindHandle ListFolder(std::u16string_view folder, std::u16string_view pattern, WIN32_FIND_DATAW& data);

// "." and "..", which every folder listing holds.
bool IsDotEntry(const WIN32_FIND_DATAW& data);
