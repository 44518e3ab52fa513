#include "engine/process_product_win.h"

#include <new>

#include "base/windows_version_win.h"
#include "engine/install_product_win.h"
#include "engine/install_rules.h"
#include "package/migration_win.h"
#include "package/path_safety_win.h"
#include "package/recovery_win.h"
#include "package/uninstall_win.h"
#include "startup/app_state.h"

namespace {

bool Refuse(ProductEntry& product, std::u16string_view message) { return RecordFailure(product, message, false); }

bool ProcessUninstall(ProductEntry& product, bool purge, StatusCallback callback, void* context, HANDLE cancelEvent) {
    if (product.installed) return UninstallProduct(product, purge, callback, context, cancelEvent);
    if (product.succeeded && !product.failed) return true;  // already removed during this run
    return Refuse(product, u"未找到该产品的安装记录或软件目录。");
}

// A reinstall, update or move of a product that is installed or was
// uninstalled in this run.
bool ReinstallOrMove(ProductEntry& product, std::u16string_view root, bool createShortcut, StatusCallback callback,
                     void* context, HANDLE cancelEvent) {
    bool migrate = false;
    if (product.installed) {
        WideBuffer newRoot, oldRoot;
        if (!FullPathOf(root, newRoot) || !FullPathOf(product.installed_root, oldRoot)) {
            return Refuse(product, u"无法解析所选安装目录，请重新选择目录后重试。");
        }
        // The same folder under another name (letter case beyond ASCII, a short
        // name, another drive letter) is an update in place, never a move.
        migrate = !IsSameDirectory(newRoot, oldRoot);
    }
    if (!migrate) {
        product.was_installed = product.installed;
        WideBuffer installRoot = product.installed ? product.installed_root : WideBuffer(root);
        product.succeeded = false;
        product.launch_after_install = true;
        return InstallProduct(product, installRoot, createShortcut, callback, context, cancelEvent);
    }
    if (product.installer_type) {
        return Refuse(product, u"此软件由独立安装程序管理安装位置，无法由下载器迁移到所选目录；请先使用软件自带卸载"
                               u"程序，再按所选目录重新安装。");
    }
    StringList oldList;
    try {
        oldList = product.file_list;
    } catch (const std::bad_alloc&) {
    }
    if (oldList.empty() && !product.file_list.empty()) {
        return Refuse(product, u"无法保留旧安装文件清单，已停止迁移以保护现有安装。");
    }
    const WideBuffer oldRoot = product.installed_root, oldDir = product.installed_dir;
    product.file_list.clear();
    product.was_installed = false;
    product.succeeded = false;
    product.launch_after_install = true;
    bool outcome = InstallProduct(product, root, createShortcut, callback, context, cancelEvent);
    if (outcome) {
        CleanupMigratedInstall(product, oldRoot, oldDir, oldList);
    } else {
        product.file_list = std::move(oldList);  // the old copy stays fully described
    }
    return outcome;
}

}  // namespace

bool ProcessProduct(ProductEntry& product, std::u16string_view root, bool createShortcut, int32_t mode, bool purge,
                    StatusCallback callback, void* context, HANDLE cancelEvent) {
    if (OutsideProductFilter(g_app.productFilter, product.puc_type)) {
        return Refuse(product, u"此安装器仅支持命令行指定的产品。");
    }
    // An attempt interrupted meanwhile (by another copy of the program that
    // crashed) is undone before anything builds on what is on disk.
    RecoveryOutcome recovery = RecoverInterruptedAttempts(product, root);
    if (recovery.acted) RefreshInstallRecord(product, root, recovery);
    if (product.manifest_invalid) return Refuse(product, u"安装记录无效，不能继续处理该产品。");
    if (mode == kModeUninstall) return ProcessUninstall(product, purge, callback, context, cancelEvent);
    if (!IsOsSupported(product.support_os, CurrentWindowsVersion())) {
        return Refuse(product, u"该软件不适合您的系统，未执行下载或目录清理。");
    }
    if (mode == kModeInstall && !product.installed) {
        // A product uninstalled earlier in this run carries succeeded; without
        // the reset the install would return at once and install nothing.
        product.succeeded = false;
        return InstallProduct(product, root, createShortcut, callback, context, cancelEvent);
    }
    if (!product.installed && !product.uninstalled) return Refuse(product, u"未找到已安装产品，无法更新。");
    if (!product.has_package) return Refuse(product, u"该产品没有下载地址，无法重新下载安装。");
    return ReinstallOrMove(product, root, createShortcut, callback, context, cancelEvent);
}
