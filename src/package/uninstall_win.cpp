#include "package/uninstall_win.h"

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/system_win.h"
#include "base/text_format.h"
#include "base/wide_win.h"
#include "package/held_path_win.h"
#include "package/manifest_win.h"
#include "package/path_safety_win.h"

namespace {

bool Refuse(ProductEntry& product, std::u16string_view message) { return RecordFailure(product, message, false); }

bool RefuseWithPath(ProductEntry& product, const char16_t* format, const WideBuffer& path) {
    WideBuffer message;
    TextFormat(message, format, path);
    return Refuse(product, message);
}

bool ProductFolderConfirmed(const ProductEntry& product) {
    return !product.manifest_invalid && ValidateProductDir(product, product.installed_root, product.installed_dir);
}

// Holds a listed file for deletion. True with held.file empty when nothing is
// there; only "file not found" and "path not found" count as that.
bool HoldListedFile(const ProductEntry& product, const WideBuffer& path, HeldFile& held) {
    WideBuffer base;
    if (!TrustedBaseOf(product.installed_root, path, base)) return false;
    if (HoldFile(base, path, HeldAccess::kDelete, held)) return true;
    return IsMissingError(GetLastError());
}

// Nothing is deleted unless every entry may be.
bool PrecheckEntries(ProductEntry& product, const StringList& files) {
    for (const WideBuffer& path : files) {
        if (!ValidateRecordedFile(product, path)) return Refuse(product, u"安装清单含有越界路径，停止删除。");
        HeldFile probe;
        if (!HoldListedFile(product, path, probe)) {
            return RefuseWithPath(product, u"文件 %s 正在运行或无删除权限，请关闭软件后再试。", path);
        }
    }
    return true;
}

bool DeleteEntries(ProductEntry& product, const StringList& files, HANDLE cancelEvent) {
    for (const WideBuffer& path : files) {
        if (IsCancelled(cancelEvent)) {
            return Refuse(product, u"用户已取消，已删除的文件不会自动恢复；可重试或重装。");
        }
        HeldFile held;
        bool reached = HasNoReparsePoint(path) && HoldListedFile(product, path, held);
        if (reached && !held.file) continue;
        if (!reached || !DeleteHeldFile(held)) {
            return RefuseWithPath(product, u"无法删除文件 %s，请关闭软件并检查权限后重试。", path);
        }
        LogLine(u"[Parcelwright] 已删除产品文件：%s", path);
    }
    return true;
}

bool DeleteManifest(const ProductEntry& product) {
    WideBuffer manifest;
    return ManifestPath(product, manifest) && DeleteIfPresent(manifest);
}

void MarkUninstalled(ProductEntry& product, bool folderRemoved, StatusCallback callback, void* context) {
    product.file_list.clear();
    product.uninstalled = folderRemoved;
    product.installed = false;
    product.succeeded = true;
    product.failed = product.block_suspected = product.launch_after_install = false;
    product.progress_percent = 100;
    product.main_program_path.clear();
    product.last_error.clear();
    product.status_text = u"卸载完成";
    ReportStatus(&product, u"软件卸载完成。", callback, context);
}

}  // namespace

bool CollectTreeFiles(StringListAdder& list, std::u16string_view folder, int depth) {
    return WalkFiles(
        folder,
        [&](const WideBuffer& file) {
            list.Add(file);
            return true;
        },
        true, depth);
}

bool RemoveEmptyTree(std::u16string_view base, std::u16string_view folder, int depth) {
    if (depth > kMaxTreeDepth || !HasNoReparsePoint(folder)) return false;
    if (!DirectoryExists(WideBuffer(folder))) return true;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find = ListFolder(folder, u"*", data);
    if (!find) return false;
    do {
        if (IsDotEntry(data)) continue;
        DWORD a = data.dwFileAttributes;
        if (!(a & FILE_ATTRIBUTE_DIRECTORY) || (a & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
        WideBuffer child;
        PathJoin(child, folder, U(data.cFileName));
        if (!RemoveEmptyTree(base, child, depth + 1)) return false;
    } while (FindNextFileW(find.get(), &data));
    if (GetLastError() != ERROR_NO_MORE_FILES) return false;
    find.reset();
    return DeleteEmptyFolderBelow(base, folder);
}

bool DeleteFileSet(ProductEntry& product, bool removeFolder, const StringList& files, StatusCallback callback,
                   void* context, HANDLE cancelEvent) {
    if (!ProductFolderConfirmed(product)) return Refuse(product, u"产品安装目录无法安全确认，未执行删除。");
    if (product.installer_type) {
        return Refuse(product,
                      u"该产品使用独立EXE安装，请使用其原生卸载程序处理系统关联；不能按目录冒充完整卸载。");
    }
    if (files.empty() && !removeFolder) {
        return Refuse(product, u"此旧安装缺少程序文件清单，无法区分程序文件和用户数据；可重装，或勾选删除配置文件后"
                               u"清理专用目录。");
    }
    if (!PrecheckEntries(product, files)) return false;
    if (IsCancelled(cancelEvent)) return Refuse(product, u"用户已取消操作，尚未删除文件。");
    product.status_text = u"正在卸载…";
    ReportStatus(&product, u"正在按软件文件清单删除…", callback, context);
    if (!DeleteEntries(product, files, cancelEvent)) return false;
    if (removeFolder && !RemoveEmptyTree(product.installed_root, product.installed_dir)) {
        return Refuse(product, u"软件目录仍有新增文件、占用或权限限制，未完成目录清理，请重试。");
    }
    if (!DeleteManifest(product)) return Refuse(product, u"程序文件已处理，但安装记录删除失败，请重试。");
    MarkUninstalled(product, removeFolder, callback, context);
    return true;
}

bool UninstallProduct(ProductEntry& product, bool purge, StatusCallback callback, void* context, HANDLE cancelEvent) {
    if (!purge) return DeleteFileSet(product, false, product.file_list, callback, context, cancelEvent);
    if (product.installer_type || !ProductFolderConfirmed(product)) {
        return Refuse(product, u"无法安全清理该软件目录，请使用原生卸载程序或联系客服。");
    }
    StringList everything;
    StringListAdder adder(everything);
    if (!CollectTreeFiles(adder, product.installed_dir)) {
        return Refuse(product, u"无法读取软件目录或目录包含链接，未执行删除。");
    }
    for (const WideBuffer& path : product.file_list) adder.Add(path);
    return DeleteFileSet(product, true, everything, callback, context, cancelEvent);
}
