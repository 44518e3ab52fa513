#include "package/held_path_win.h"

#include <winternl.h>

#include <algorithm>

#include "base/system_win.h"
#include "base/wide_win.h"
#include "catalog/sha256_win.h"
#include "package/manifest.h"
#include "package/path_rules.h"

namespace {

HeldPathHook testHook = nullptr;
void* testHookContext = nullptr;

constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
// Listing access makes the sharing count: a handle with attribute access
// only would not keep anyone from renaming the folder.
constexpr ULONG kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

// Opens name relative to the folder root (never by a whole path, so no
// folder above it is looked up by name again), not following a reparse point.
bool OpenRelative(HANDLE root, std::u16string_view name, ACCESS_MASK access, ULONG sharing, ULONG disposition,
                  ULONG options, UniqueHandle& opened, bool* created = nullptr) {
    if (name.size() > 32767) return Fail(ERROR_FILENAME_EXCED_RANGE);
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(W(name.data()));
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(char16_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE handle = nullptr;
    NTSTATUS status = NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                   sharing, disposition,
                                   options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (!NT_SUCCESS(status)) return Fail(RtlNtStatusToDosError(status));
    opened.reset(handle);
    if (created) *created = io.Information == FILE_CREATED;
    return true;
}

// What the handle says, and what the name says: Wine shows a Unix link as a
// reparse point by its name only, and on Windows the name, looked at while
// its folders are held, is the object the handle holds. 0 when the handle is
// no link and of the kind wanted, else the error to fail with.
DWORD CheckOpened(HANDLE handle, const WideBuffer& fullName, bool directory) {
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag))) return GetLastError();
    DWORD byName = GetFileAttributesW(W(fullName));
    if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        (byName != INVALID_FILE_ATTRIBUTES && (byName & FILE_ATTRIBUTE_REPARSE_POINT))) {
        return kErrorCrossesLink;
    }
    if (((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directory) return 0;
    return directory ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
}

// The segments of path below base; false for an empty, "." or ".." segment.
bool SplitBelow(std::u16string_view base, std::u16string_view path, std::vector<std::u16string_view>& segments) {
    if (base.empty() || !IsStrictlyUnder(base, path)) return false;
    std::u16string_view rest = path.substr(base.size() + 1);
    for (;;) {
        size_t slash = rest.find(u'\\');
        std::u16string_view segment = rest.substr(0, slash);
        if (segment.empty() || segment == u"." || segment == u"..") return false;
        segments.push_back(segment);
        if (slash == std::u16string_view::npos) return true;
        rest = rest.substr(slash + 1);
    }
}

// Copies source over target from their starts; an emptyTarget (just created)
// needs no cutting to the copied length afterwards.
bool CopyContent(HANDLE source, HANDLE target, Sha256Stream* written, bool emptyTarget) {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(source, start, nullptr, FILE_BEGIN) || !SetFilePointerEx(target, start, nullptr, FILE_BEGIN)) {
        return false;
    }
    if (written && !written->Begin()) return false;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
        if (got == 0) break;
        if (written && !written->Add(buffer.data(), got)) return false;
        DWORD done = 0;
        while (done < got) {
            DWORD wrote = 0;
            if (!WriteFile(target, buffer.data() + done, got - done, &wrote, nullptr) || wrote == 0) return false;
            done += wrote;
        }
    }
    return emptyTarget || SetEndOfFile(target) != FALSE;
}

}  // namespace

bool IsMissingError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

namespace {

// base and a folder, folded as EqualsNoCase folds.
WideBuffer FolderKey(std::u16string_view base, std::u16string_view folder) {
    WideBuffer key(base);
    key += u'|';
    key += folder;
    for (char16_t& c : key) c = FoldAscii(c);
    return key;
}

// The key of path's parent; empty for a path with no parent below base.
WideBuffer CacheKey(std::u16string_view base, std::u16string_view path) {
    size_t slash = path.rfind(u'\\');
    if (slash == std::u16string_view::npos || slash < base.size()) return WideBuffer();
    return FolderKey(base, path.substr(0, slash));
}

// The deepest folder above path's parent that the cache holds: a new folder
// is then held from it by opening only the folders below it. first is the
// index of the first segment still to open, name that folder's full path.
std::shared_ptr<const HeldFolders> DeepestHeldAncestor(std::u16string_view base,
                                                      const std::vector<std::u16string_view>& segments,
                                                      const HeldFolderCache& cache, size_t& first, WideBuffer& name) {
    // The parent's parent, and where the text of base, base\s0, base\s0\s1... ends in it.
    WideBuffer folder(base);
    std::vector<size_t> ends{folder.size()};
    for (size_t i = 0; i + 2 < segments.size(); ++i) {
        folder += u'\\';
        folder += segments[i];
        ends.push_back(folder.size());
    }
    for (size_t k = ends.size(); k-- > 0;) {
        auto found = cache.by_parent.find(FolderKey(base, std::u16string_view(folder).substr(0, ends[k])));
        if (found == cache.by_parent.end()) continue;
        first = k;
        name = found->second->parent;
        return found->second;
    }
    return nullptr;
}

bool HoldFoldersFromCache(std::u16string_view base, std::u16string_view path, HeldFolders& held,
                          HeldFolderCache& cache, const WideBuffer& key) {
    auto found = cache.by_parent.find(key);
    if (found == cache.by_parent.end()) return false;
    std::vector<std::u16string_view> segments;
    if (!SplitBelow(base, path, segments)) return false;
    held.shared = found->second;
    held.parent = found->second->parent;
    held.leaf = WideBuffer(segments.back());
    return true;
}

}  // namespace

bool HeldFolderCache::HoldsFolderAbove(std::u16string_view base, std::u16string_view path) const {
    if (!IsStrictlyUnder(base, path)) return false;
    for (size_t slash = path.rfind(u'\\'); slash != std::u16string_view::npos && slash >= base.size();
         slash = path.rfind(u'\\', slash - 1)) {
        if (by_parent.count(FolderKey(base, path.substr(0, slash))) != 0) return true;
    }
    return false;
}

bool HeldFolderCache::HoldsParentOf(std::u16string_view base, std::u16string_view path) const {
    if (!IsStrictlyUnder(base, path)) return false;
    WideBuffer key = CacheKey(base, path);
    return !key.empty() && by_parent.count(key) != 0;
}

bool HoldFolders(std::u16string_view base, std::u16string_view path, HeldFolders& held, bool createMissing,
                 HeldFolderCache* cache) {
    held = HeldFolders();
    WideBuffer key = cache && IsStrictlyUnder(base, path) ? CacheKey(base, path) : WideBuffer();
    if (!key.empty() && HoldFoldersFromCache(base, path, held, *cache, key)) return true;
    std::vector<std::u16string_view> segments;
    if (!SplitBelow(base, path, segments)) return Fail(ERROR_BAD_PATHNAME);
    WideBuffer name(base);
    size_t first = 0;
    if (!key.empty()) held.shared = DeepestHeldAncestor(base, segments, *cache, first, name);
    if (!held.shared) {
        UniqueHandle folder(CreateFileW(W(name), kFolderAccess, kFolderSharing, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!folder) return Fail(IsMissingError(GetLastError()) ? ERROR_PATH_NOT_FOUND : GetLastError());
        if (DWORD error = CheckOpened(folder.get(), name, true)) return Fail(error);
        held.chain.push_back(std::move(folder));
    }
    for (size_t i = first; i + 1 < segments.size(); ++i) {
        name += u'\\';
        name += segments[i];
        UniqueHandle next;
        bool created = false;
        if (!OpenRelative(held.Parent(), segments[i], kFolderAccess, kFolderSharing,
                          createMissing ? FILE_OPEN_IF : FILE_OPEN, FILE_DIRECTORY_FILE, next, &created)) {
            DWORD error = GetLastError();
            // A file where a folder should be: the path is not there, as Windows says by name.
            held = HeldFolders();
            return Fail(IsMissingError(error) || error == ERROR_DIRECTORY ? ERROR_PATH_NOT_FOUND : error);
        }
        if (DWORD error = CheckOpened(next.get(), name, true)) {
            held = HeldFolders();
            return Fail(error);
        }
        held.chain.push_back(std::move(next));
        held.parentCreated = created;
    }
    held.parent = name;
    held.leaf = WideBuffer(segments.back());
    if (!key.empty()) {
        auto shared = std::make_shared<HeldFolders>(std::move(held));
        held = HeldFolders();
        held.parent = shared->parent;
        held.leaf = shared->leaf;
        held.shared = shared;
        if (cache->by_parent.size() >= HeldFolderCache::kLimit) cache->by_parent.clear();
        cache->by_parent.emplace(std::move(key), std::move(shared));
    }
    return true;
}

bool HoldFile(std::u16string_view base, std::u16string_view path, HeldAccess access, HeldFile& held,
              bool createFolders, bool wantDirectory, HeldFolderCache* cache) {
    held.file.reset();
    held.path = WideBuffer(path);
    held.directory = wantDirectory;
    if (!HoldFolders(base, path, held.folders, createFolders, cache)) return false;
    ACCESS_MASK mask = GENERIC_READ;
    if (access != HeldAccess::kRead) mask |= DELETE;
    if (access == HeldAccess::kWrite) mask |= GENERIC_WRITE;
    // A file to delete or write may be open nowhere else (a running program
    // keeps it); a folder is removed as RemoveDirectoryW would.
    ULONG sharing = access == HeldAccess::kRead ? FILE_SHARE_READ : 0;
    if (wantDirectory) sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (wantDirectory) mask = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | DELETE;
    UniqueHandle file;
    bool missing = false;
    if (access == HeldAccess::kWrite && !wantDirectory && held.folders.ParentCreated()) {
        // A folder this task created holds only what it wrote there, each
        // file once: no need to look (a costly miss in a large folder under
        // Wine). A file someone planted meanwhile makes the create that
        // follows fail; it is never written over.
        missing = true;
    } else if (!OpenRelative(held.folders.Parent(), held.folders.leaf, mask, sharing, FILE_OPEN,
                             wantDirectory ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE, file)) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            // Wine follows a link to a folder even here; its name tells.
            DWORD byName = GetFileAttributesW(W(held.path));
            bool link = byName != INVALID_FILE_ATTRIBUTES && (byName & FILE_ATTRIBUTE_REPARSE_POINT);
            return Fail(link ? kErrorCrossesLink : error);
        }
        missing = true;
    } else if (DWORD error = CheckOpened(file.get(), held.path, wantDirectory)) {
        return Fail(error);
    }
    if (testHook) {
        if (DWORD error = testHook(held.path, testHookContext)) return Fail(error);
    }
    held.file = std::move(file);
    if (missing) SetLastError(ERROR_FILE_NOT_FOUND);
    return true;
}

bool HeldFileHolds(const HeldFile& held, std::u16string_view hash, uint64_t size) {
    WideBuffer actual;
    uint64_t actualSize = 0;
    if (!held.file) return Fail(ERROR_FILE_NOT_FOUND);
    if (!HashOpenFileSha256(held.file.get(), actual, &actualSize)) return false;
    if (actualSize != size || !EqualsNoCase(actual, hash)) return Fail(ERROR_FILE_INVALID);
    return true;
}

uint32_t HeldFileLinkCount(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(file, &info) ? info.nNumberOfLinks : 0;
}

bool DeleteHeldFile(HeldFile& held) {
    if (!held.file) return Fail(ERROR_FILE_NOT_FOUND);
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (!SetFileInformationByHandle(held.file.get(), FileDispositionInfo, &disposition, sizeof(disposition))) {
        return false;
    }
    held.file.reset();
    return true;
}

bool ReplaceHeldFile(HeldFile& target, HANDLE source, Sha256Stream* written) {
    if (target.directory) return Fail(ERROR_ACCESS_DENIED);
    if (target.file && HeldFileLinkCount(target.file.get()) == 1) {
        return CopyContent(source, target.file.get(), written, false);
    }
    // Another name of this file may lie anywhere: that name keeps its content,
    // this one gets a file of its own.
    if (target.file && !DeleteHeldFile(target)) return false;
    UniqueHandle created;
    if (!OpenRelative(target.folders.Parent(), target.folders.leaf, GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                      FILE_CREATE, FILE_NON_DIRECTORY_FILE, created)) {
        return false;
    }
    target.file = std::move(created);
    return CopyContent(source, target.file.get(), written, true);
}

bool DeleteFileBelow(std::u16string_view base, std::u16string_view path) {
    HeldFile held;
    if (!HoldFile(base, path, HeldAccess::kDelete, held)) return false;
    return DeleteHeldFile(held);
}

bool DeleteUnchangedFileBelow(std::u16string_view base, std::u16string_view path, std::u16string_view hash,
                              uint64_t size) {
    HeldFile held;
    if (!HoldFile(base, path, HeldAccess::kDelete, held)) return false;
    if (held.file && hash.empty()) return Fail(ERROR_FILE_INVALID);
    return HeldFileHolds(held, hash, size) && DeleteHeldFile(held);
}

bool DeleteEmptyFolderBelow(std::u16string_view base, std::u16string_view path) {
    HeldFile held;
    return HoldFile(base, path, HeldAccess::kDelete, held, false, true) && DeleteHeldFile(held);
}

bool TrustedBaseOf(std::u16string_view root, std::u16string_view path, WideBuffer& base) {
    if (!root.empty() && IsStrictlyUnder(root, path)) {
        base = WideBuffer(root);
        return true;
    }
    WideBuffer desktop;
    if (DesktopFolder(desktop) && IsDirectDesktopShortcut(desktop, path)) {
        base = desktop;
        return true;
    }
    return Fail(ERROR_BAD_PATHNAME);
}

void SetHeldPathHook(HeldPathHook hook, void* context) {
    testHook = hook;
    testHookContext = context;
}
