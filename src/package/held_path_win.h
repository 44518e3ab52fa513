// Deleting and writing files below a folder that other users may change,
// through handles, so that the file that was checked is the file that is
// deleted or written. Each folder from a trusted base down to the file is
// opened relative to the one above it (never by its whole name), without
// following a reparse point, and held without delete sharing: while held, no
// folder on the way can be renamed, deleted or swapped for a junction.
//
// Every function that fails leaves a Win32 error as the last error:
//   ERROR_FILE_NOT_FOUND   the file itself is missing (its folders are there)
//   ERROR_PATH_NOT_FOUND   a folder on the way is missing or is a file
//   kErrorCrossesLink      the base, a folder on the way or the file is a
//                          reparse point (junction, symbolic link, mount point)
//   ERROR_BAD_PATHNAME     the path is not strictly below the base, or has an
//                          empty, "." or ".." segment
//   ERROR_FILE_INVALID     the content is not the one expected
//   ERROR_ACCESS_DENIED    the file is a folder, or the system's own refusal
//   anything else          the system's error of the call that failed
//
// A restore guarded by content, as a rollback does it (everything stays held
// while the HeldFile objects live):
//   HeldFile target, backup;
//   HoldFile(root, path, HeldAccess::kWrite, target) &&
//       (!target.file || HeldFileHolds(target, hash, size)) &&
//       HoldFile(work, backupPath, HeldAccess::kRead, backup) && backup.file &&
//       HeldFileHolds(backup, backupHash, backupSize) && ReplaceHeldFile(target, backup.file.get())
// and a guarded delete: DeleteUnchangedFileBelow(work, path, hash, size).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/handles_win.h"
#include "base/text.h"
#include "catalog/sha256_win.h"

// "The create operation stopped after reaching a symbolic link."
constexpr DWORD kErrorCrossesLink = 681;

// True for the two errors that mean "nothing is there".
bool IsMissingError(DWORD error);

// The folders from base down to a file's parent. Each is opened for listing
// with read and write sharing but never delete sharing, so while this lives
// none of them can be renamed or deleted by anyone (error 32 for them).
struct HeldFolders {
    // Base first, the file's parent last; below shared's parent when shared is set.
    std::vector<UniqueHandle> chain;
    WideBuffer parent;                // full path of the parent
    WideBuffer leaf;                  // the file's own name
    // Held through a HeldFolderCache: the cache's chain of the parent (chain
    // is then empty) or of a folder above it (chain goes on from there).
    std::shared_ptr<const HeldFolders> shared;
    // The parent was created when it was held (createMissing): nothing in it
    // is older than the task holding it.
    bool parentCreated = false;
    HANDLE Parent() const { return chain.empty() ? shared->Parent() : chain.back().get(); }
    bool ParentCreated() const { return chain.empty() ? shared->ParentCreated() : parentCreated; }
    bool Held() const { return shared || !chain.empty(); }
};

// Folder chains held for the rest of a task that writes many files (one
// deployment): a file whose parent was held before from the same base is
// held from that parent without opening each folder on the way again. While
// the cache lives none of its folders can be renamed, deleted or swapped for
// a link, so what was checked once stays true.
struct HeldFolderCache {
    // A new parent is held from the deepest folder above it that is held
    // here, opening only the folders below that one. The entries still hold
    // a handle for every folder they were reached through, so a package of
    // thousands of folders would hold thousands of handles (Wine runs out of
    // descriptors); when full the cache starts again, and a parent no longer
    // in it is walked and checked anew.
    static constexpr size_t kLimit = 64;
    std::unordered_map<WideBuffer, std::shared_ptr<const HeldFolders>> by_parent;  // folded base and parent
    // The parent of path, below base, is held here.
    bool HoldsParentOf(std::u16string_view base, std::u16string_view path) const;
    // The parent of path or a folder above it (base included) is held here:
    // holding path then opens and checks only the folders below that one.
    bool HoldsFolderAbove(std::u16string_view base, std::u16string_view path) const;
};

// Holds base (a full path, opened by name without following a link at its
// last segment) and every folder from it down to path's parent. createMissing
// creates folders that are not there yet (each relative to its held parent).
// With a cache, a parent held there is used, and one newly held is kept there.
bool HoldFolders(std::u16string_view base, std::u16string_view path, HeldFolders& held,
                 bool createMissing = false, HeldFolderCache* cache = nullptr);

// A file below held folders. file is empty when the file does not exist (its
// folders then still are held, so a new file can be created in their place).
struct HeldFile {
    HeldFolders folders;
    UniqueHandle file;
    WideBuffer path;
    bool directory = false;
};

// What a held file is opened for. kRead shares reading only; kDelete and
// kWrite share nothing, so a file that any program has open (a running
// program) fails with error 32, and nobody can change it while held.
enum class HeldAccess {
    kRead,    // read its content (copy it elsewhere, hash it)
    kDelete,  // read and delete it
    kWrite,   // read, write and delete it (overwrite, restore)
};

// Holds path's folders from base and opens the file without following a
// reparse point, checking the handle's attributes and (for Wine, which shows
// a Unix link as a reparse point by name only) the name's.
//   true, file open          the file is there and is held
//   true, file empty         no file by that name (last error
//                            ERROR_FILE_NOT_FOUND); the folders are held, so
//                            ReplaceHeldFile can create it in their place
//   false, folders empty     a folder could not be held (errors above)
//   false, folders held      the file could not be opened: kErrorCrossesLink,
//                            ERROR_ACCESS_DENIED for a folder, 32 when open
//                            elsewhere, or the system's error
// createFolders creates missing folders on the way. wantDirectory opens a
// folder instead of a file (to remove it when empty), sharing everything as
// RemoveDirectoryW does.
bool HoldFile(std::u16string_view base, std::u16string_view path, HeldAccess access, HeldFile& held,
              bool createFolders = false, bool wantDirectory = false, HeldFolderCache* cache = nullptr);

// The held file has this size and SHA-256 (hex, case ignored), read through
// its handle; false with ERROR_FILE_INVALID when it differs.
bool HeldFileHolds(const HeldFile& held, std::u16string_view hash, uint64_t size);

// The held file's number of names (hard links); 0 when it cannot be read.
uint32_t HeldFileLinkCount(HANDLE file);

// Deletes the held file (or empty folder) through its handle (a delete
// disposition, then the handle is closed). The folders stay held.
bool DeleteHeldFile(HeldFile& held);

// Writes everything source holds (from its start) into target's place:
// through target's own handle when it exists with exactly one name;
// otherwise (missing, or a planted hard link whose other name is elsewhere)
// the name is deleted through the handle and a new file is created in the
// held parent. Afterwards target.file is the handle of the written file.
// The file is never left holding part of source: a failed write empties it.
// written, when given, hashes the bytes as they are written: the file's
// content when true, read once instead of twice (nobody else can write it
// while it is held).
bool ReplaceHeldFile(HeldFile& target, HANDLE source, Sha256Stream* written = nullptr);

// Deletes path below base through a checked handle. False when nothing is
// there, with ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
bool DeleteFileBelow(std::u16string_view base, std::u16string_view path);

// The same, only while the file has this size and SHA-256 (an empty hash
// matches nothing).
bool DeleteUnchangedFileBelow(std::u16string_view base, std::u16string_view path, std::u16string_view hash,
                              uint64_t size);

// Deletes the empty folder path below base through a checked handle.
bool DeleteEmptyFolderBelow(std::u16string_view base, std::u16string_view path);

// The folder that path is held from: root when path is strictly below it, or
// the desktop for this product's kind of desktop shortcut (a .lnk directly on
// it). False (ERROR_BAD_PATHNAME) for any other path.
bool TrustedBaseOf(std::u16string_view root, std::u16string_view path, WideBuffer& base);

// For tests only: called by HoldFile with the path once its folders are held
// and the file is open and checked (or found missing), just before the caller
// deletes or writes it. A non-zero return fails HoldFile with that error, as
// if the system had refused the open. Null (the default) in the program.
using HeldPathHook = DWORD (*)(const WideBuffer& path, void* context);
void SetHeldPathHook(HeldPathHook hook, void* context);
