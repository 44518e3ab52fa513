#include "package/migration_win.h"

#include <windows.h>

#include <vector>

#include "base/log.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "package/held_path_win.h"
#include "package/manifest.h"
#include "package/path_rules.h"
#include "package/path_safety_win.h"

namespace {

// A path of the old list that the clean-up may delete.
bool Qualifies(std::u16string_view path, std::u16string_view oldDir, const WideBuffer* desktop) {
    WideBuffer full;
    if (!FullPathOf(path, full) || !EqualsNoCase(full, path) || !HasNoReparsePoint(path)) return false;
    return IsStrictlyUnder(oldDir, path) || (desktop && IsDirectDesktopShortcut(*desktop, path));
}

// The new install owns the path again: named in its list, or the very same
// file under another name (another letter case, a short name, a second drive
// letter for the same folder).
bool OwnedByNewInstall(const ProductEntry& product, std::u16string_view path,
                       const std::vector<FileIdentity>& newFiles) {
    for (const WideBuffer& kept : product.file_list) {
        if (EqualsNoCase(kept, path)) return true;
    }
    FileIdentity identity;
    if (!ReadFileIdentity(path, identity)) return false;
    for (const FileIdentity& kept : newFiles) {
        if (kept == identity) return true;
    }
    return false;
}

}  // namespace

void CleanupMigratedInstall(const ProductEntry& product, std::u16string_view oldRoot, std::u16string_view oldDir,
                            const StringList& oldList) {
    // The same folder reached under another name is no move: deleting "old"
    // files there would delete the new install.
    if (!ValidateProductDir(product, oldRoot, oldDir) || IsSameDirectory(oldDir, product.deploy_dir)) {
        LogLine(u"[Parcelwright] 迁移成功，但旧目录校验失败，保留旧文件：%s", WideBuffer(oldDir));
        return;
    }
    WideBuffer desktop;
    bool haveDesktop = DesktopFolder(desktop);
    std::vector<FileIdentity> newFiles;
    for (const WideBuffer& path : product.file_list) {
        FileIdentity identity;
        if (ReadFileIdentity(path, identity)) newFiles.push_back(identity);
    }
    WideBuffer root;
    if (!FullPathOf(oldRoot, root)) root.clear();
    for (const WideBuffer& path : oldList) {
        if (!Qualifies(path, oldDir, haveDesktop ? &desktop : nullptr)) continue;
        if (OwnedByNewInstall(product, path, newFiles)) continue;
        // Deleted through a handle held from the old root (or the desktop),
        // so a folder swapped for a link on the way is refused, not followed.
        WideBuffer base;
        bool deleted = TrustedBaseOf(root, path, base) && DeleteFileBelow(base, path);
        if (!deleted && !IsMissingError(GetLastError())) {
            LogLine(u"[Parcelwright] 安装目录迁移完成，但旧文件清理失败：%s", path);
        }
    }
}
