#include "package/migration_win.h"

#include <windows.h>

#include <algorithm>
#include <tuple>
#include <unordered_set>
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

// What the new install owns, looked up at once for each old path: the paths
// of its list, and the files they name (the very same file under another
// name: another letter case, a short name, a second drive letter for the
// same folder).
struct NewInstallFiles {
    std::unordered_set<WideBuffer> paths;  // folded
    std::vector<FileIdentity> files;       // sorted

    static bool Before(const FileIdentity& a, const FileIdentity& b) {
        return std::tie(a.volume, a.indexHigh, a.indexLow) < std::tie(b.volume, b.indexHigh, b.indexLow);
    }

    explicit NewInstallFiles(const StringList& list) {
        for (const WideBuffer& path : list) {
            paths.insert(FoldedText(path));
            FileIdentity identity;
            if (ReadFileIdentity(path, identity)) files.push_back(identity);
        }
        std::sort(files.begin(), files.end(), Before);
    }

    bool Owns(std::u16string_view path) const {
        if (paths.count(FoldedText(path)) != 0) return true;
        FileIdentity identity;
        return ReadFileIdentity(path, identity) && std::binary_search(files.begin(), files.end(), identity, Before);
    }
};

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
    const NewInstallFiles owned(product.file_list);
    WideBuffer root;
    if (!FullPathOf(oldRoot, root)) root.clear();
    for (const WideBuffer& path : oldList) {
        if (!Qualifies(path, oldDir, haveDesktop ? &desktop : nullptr)) continue;
        if (owned.Owns(path)) continue;
        // Deleted through a handle held from the old root (or the desktop),
        // so a folder swapped for a link on the way is refused, not followed.
        WideBuffer base;
        bool deleted = TrustedBaseOf(root, path, base) && DeleteFileBelow(base, path);
        if (!deleted && !IsMissingError(GetLastError())) {
            LogLine(u"[Parcelwright] 安装目录迁移完成，但旧文件清理失败：%s", path);
        }
    }
}
