#include "package/path_safety_win.h"

#include <windows.h>

#include <vector>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "package/path_rules.h"

const char16_t kInstallRootRefused[] =
    u"请选择本地磁盘上的专用软件文件夹，不能选择整个磁盘、系统目录、用户目录或链接目录。";

namespace {

bool CheckInstallRoot(std::u16string_view path) {
    WideBuffer full;
    if (path.empty() || !FullPathOf(path, full) || full.size() <= 3 || full[1] != u':') return false;
    if (!HasNoReparsePoint(full)) return false;
    if (!InstallRootCharactersAllowed(path) || !InstallRootSegmentsAllowed(path)) return false;
    WideBuffer checked;
    if (!SafeJoinRelative(full.substr(0, 2), std::u16string_view(full).substr(3), checked)) return false;
    WideBuffer windows;
    if (WindowsFolder(windows) && (EqualsNoCase(full, windows) || IsStrictlyUnder(windows, full))) return false;
    WideBuffer profile;
    if (ReadEnvironmentVariable(L"USERPROFILE", 32768, profile) && EqualsNoCase(full, profile)) return false;
    return true;
}

}  // namespace

bool ReadFileIdentity(std::u16string_view path, FileIdentity& identity) {
    WideBuffer text(path);
    UniqueHandle file(CreateFileW(W(text), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info)) return false;
    identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
                (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
    return true;
}

bool IsSameDirectory(std::u16string_view a, std::u16string_view b) {
    FileIdentity first, second;
    if (ReadFileIdentity(a, first) && ReadFileIdentity(b, second) && first.directory && second.directory) {
        return first == second;
    }
    // Folders that do not exist yet: the text decides, with the same case
    // folding the system uses for names.
    WideBuffer fullA, fullB;
    if (FullPathOf(a, fullA) && FullPathOf(b, fullB)) return PathTextEqualNoCase(fullA, fullB);
    return PathTextEqualNoCase(a, b);
}

bool FullPathOf(std::u16string_view path, WideBuffer& full) {
    WideBuffer input(path);
    DWORD needed = GetFullPathNameW(W(input), 0, nullptr, nullptr);
    if (needed == 0) return false;
    std::vector<wchar_t> buffer(needed + 1);
    DWORD n = GetFullPathNameW(W(input), needed + 1, buffer.data(), nullptr);
    if (n == 0 || n > needed) return false;
    full = TrimTrailingBackslashes(std::u16string_view(U(buffer.data()), n));
    return true;
}

bool HasNoReparsePoint(std::u16string_view path) {
    for (const WideBuffer& prefix : ReparseCheckPrefixes(path)) {
        DWORD attributes = GetFileAttributesW(W(prefix));
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            // A caller that words the refusal as a system error names this,
            // not whatever the last query of a missing component left.
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
    }
    return true;
}

bool EnsureParentDirectory(std::u16string_view filePath) {
    size_t slash = filePath.rfind(u'\\');
    WideBuffer parent(slash == std::u16string_view::npos ? filePath : filePath.substr(0, slash));
    return HasNoReparsePoint(parent) && CreateDirectoryTree(parent) && HasNoReparsePoint(parent);
}

bool JoinRelativeBelow(std::u16string_view folder, std::u16string_view rel, WideBuffer& result) {
    WideBuffer joined, full;
    if (!JoinRelativeText(folder, rel, joined) || !FullPathOf(joined, full) || !IsStrictlyUnder(folder, full)) {
        return false;
    }
    result = full;
    return true;
}

bool SafeJoinRelative(std::u16string_view folder, std::u16string_view rel, WideBuffer& result) {
    WideBuffer full;
    if (!JoinRelativeBelow(folder, rel, full) || !HasNoReparsePoint(full)) return false;
    result = full;
    return true;
}

bool ValidateInstallRoot(std::u16string_view path, WideBuffer& message) {
    if (CheckInstallRoot(path)) return true;
    message = kInstallRootRefused;
    return false;
}

bool ValidateProductDir(const ProductEntry& product, std::u16string_view root, std::u16string_view dir) {
    WideBuffer name = SanitizeFolderName(product.puc_name);
    if (name.empty() || EqualsNoCase(name, u"temp_setup")) return false;
    WideBuffer ignored, fullRoot, fullDir;
    if (!ValidateInstallRoot(root, ignored)) return false;
    if (!FullPathOf(root, fullRoot) || !FullPathOf(dir, fullDir)) return false;
    if (!IsStrictlyUnder(fullRoot, fullDir) || !HasNoReparsePoint(fullDir)) return false;
    return IsDirectChildShape(fullRoot, fullDir);
}

bool WalkFiles(std::u16string_view folder, const std::function<bool(const WideBuffer&)>& visit, bool missingOk,
               int depth) {
    if (depth > kMaxTreeDepth || !HasNoReparsePoint(folder)) return false;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find = ListFolder(folder, u"*", data);
    if (!find) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || (missingOk && error == ERROR_PATH_NOT_FOUND);
    }
    do {
        if (IsDotEntry(data)) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
        WideBuffer child;
        PathJoin(child, folder, U(data.cFileName));
        bool ok = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? WalkFiles(child, visit, missingOk, depth + 1)
                                                                      : visit(child);
        if (!ok) return false;
    } while (FindNextFileW(find.get(), &data));
    return GetLastError() == ERROR_NO_MORE_FILES;
}

bool FindFileByName(std::u16string_view folder, std::u16string_view name, WideBuffer& found, int depth) {
    if (depth > kMaxTreeDepth || !HasNoReparsePoint(folder)) return false;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find = ListFolder(folder, u"*", data);
    if (!find) return false;
    do {
        std::u16string_view entry = U(data.cFileName);
        if (IsDotEntry(data) || (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        WideBuffer child;
        PathJoin(child, folder, entry);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (FindFileByName(child, name, found, depth + 1)) return true;
        } else if (EqualsNoCase(entry, name)) {
            found = child;
            return true;
        }
    } while (FindNextFileW(find.get(), &data));
    return false;
}
