// The path rules' questions to the disk: full paths, reparse points (links and
// junctions), the Windows and profile folders, and bounded tree searches.
#pragma once

#include <functional>

#include "base/text.h"
#include "catalog/product.h"
#include "package/file_identity.h"

constexpr int kMaxTreeDepth = 64;

extern const char16_t kInstallRootRefused[];

bool FullPathOf(std::u16string_view path, WideBuffer& full);
// No existing component of path is a reparse point; a refusal leaves
// ERROR_ACCESS_DENIED as the last error.
bool HasNoReparsePoint(std::u16string_view path);
// The identity of an existing file or folder (links followed).
bool ReadFileIdentity(std::u16string_view path, FileIdentity& identity);

// a and b name the same folder: where both exist, the same directory on disk
// (volume serial number and file index), so that other letter case beyond
// ASCII, a short 8.3 name or a second drive letter for the same folder all
// count; otherwise the two texts are equal ignoring case.
bool IsSameDirectory(std::u16string_view a, std::u16string_view b);
// Creates the file's folder, refusing to cross a link before or after.
bool EnsureParentDirectory(std::u16string_view filePath);
// The full path of rel below folder, or false.
bool SafeJoinRelative(std::u16string_view folder, std::u16string_view rel, WideBuffer& result);
// The same without looking for links on the disk: for a caller that holds the
// result's folders (checked when they were first held) or checks it itself.
bool JoinRelativeBelow(std::u16string_view folder, std::u16string_view rel, WideBuffer& result);
bool ValidateInstallRoot(std::u16string_view path, WideBuffer& message);
bool ValidateProductDir(const ProductEntry& product, std::u16string_view root, std::u16string_view dir);
// Calls visit for every file below folder, depth first, never through a link.
// False when a link is met, the tree is deeper than kMaxTreeDepth, a listing
// fails or visit returns false. A folder whose listing finds nothing to list
// (ERROR_FILE_NOT_FOUND, and ERROR_PATH_NOT_FOUND when missingOk) is empty.
bool WalkFiles(std::u16string_view folder, const std::function<bool(const WideBuffer&)>& visit,
               bool missingOk = false, int depth = 0);

// Depth-first, never through links; the first file named name (ASCII case
// ignored) anywhere below folder.
bool FindFileByName(std::u16string_view folder, std::u16string_view name, WideBuffer& found, int depth = 0);
