// The path rules' questions to the disk: full paths, reparse points (links and
// junctions), the Windows and profile folders, and bounded tree searches.
#pragma once

#include "base/text.h"
#include "catalog/product.h"

constexpr int kMaxTreeDepth = 64;

extern const char16_t kInstallRootRefused[];

bool FullPathOf(std::u16string_view path, WideBuffer& full);
// No existing component of path is a reparse point.
bool HasNoReparsePoint(std::u16string_view path);
// Creates the file's folder, refusing to cross a link before or after.
bool EnsureParentDirectory(std::u16string_view filePath);
// The full path of rel below folder, or false.
bool SafeJoinRelative(std::u16string_view folder, std::u16string_view rel, WideBuffer& result);
bool ValidateInstallRoot(std::u16string_view path, WideBuffer& message);
bool ValidateProductDir(const ProductEntry& product, std::u16string_view root, std::u16string_view dir);
// Depth-first, never through links; the first file named name (ASCII case
// ignored) anywhere below folder.
bool FindFileByName(std::u16string_view folder, std::u16string_view name, WideBuffer& found, int depth = 0);
