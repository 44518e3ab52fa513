#include "engine/install_product_win.h"

#include <new>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "base/windows_version_win.h"
#include "catalog/download_win.h"
#include "catalog/sha256_win.h"
#include "engine/child_process_win.h"
#include "engine/files_in_use_win.h"
#include "engine/install_rules.h"
#include "engine/shortcut_win.h"
#include "package/extractor_win.h"
#include "package/ledger_win.h"
#include "package/manifest_win.h"
#include "package/path_rules.h"
#include "package/path_safety_win.h"
#include "package/recovery_win.h"
#include "package/transaction_win.h"
#include "package/work_folder_win.h"
#include "package/zip_extract_win.h"
#include "prereq/prerequisite_install_win.h"
#include "startup/app_state.h"

namespace {

const char16_t kCannotInstallHere[] = u"抱歉无法安装，您可以到官网手动下载（请选择其他下载按钮下载）";
const char16_t kNoFolders[] = u"无法创建安装目录，请检查软件是否有权限、磁盘是否充足、目录是否存在后再试。";
const char16_t kPackageChanged[] = u"已下载的安装包已被删除或损坏，可能被安全软件隔离，请检查后重新下载安装。";
const char16_t kCancelled[] = u"用户已取消安装。";

const char16_t* Outcome(bool ok) { return ok ? u"成功" : u"失败"; }

// Written for every attempt that got as far as its folders, the format of one
// that stopped earlier being unknown.
void LogFormat(const ProductEntry& product, PackageFormat format) {
    LogLine(u"[Parcelwright] 安装包格式识别：%s，路径：%s", PackageFormatName(format), product.package_path);
}

bool Stop(ProductEntry& product, std::u16string_view message) { return RecordFailure(product, message, false); }

// An attempt that was not committed is undone before the next one.
void DropLeftoverAttempt(ProductEntry& product, StatusCallback callback, void* context) {
    if (!product.transaction || product.transaction->committed) return;
    RollbackTransaction(product, *product.transaction, true, callback, context);
    if (product.transaction->rollback_incomplete) {
        LogLine(u"[Parcelwright] 上一轮撤回未完全成功，备份保留在临时目录，继续重试");
    }
    std::unique_ptr<InstallTransaction> older = std::move(product.transaction->older);
    product.transaction = std::move(older);
}

void ResetRunState(ProductEntry& product) {
    product.block_suspected = product.progress_indeterminate = product.succeeded = product.failed = false;
    product.progress_percent = 0;
    product.bytes_received = product.bytes_total = 0;
    product.failure_kind = 0;
    product.busy_file.clear();
    product.last_error.clear();
    product.env_warnings.clear();
    product.main_program_path.clear();
    product.status_text = u"正在下载…";
}

// Makes the attempt's work folder below root\temp_setup: always new (a name
// taken is tried again with the next tick, since another user could have made
// it), only administrators may change it, and it stays held until the
// transaction is dropped.
bool CreateWorkFolder(ProductEntry& product, InstallTransaction& t, WideBuffer& staging) {
    WideBuffer tempRoot;
    PathJoin(tempRoot, t.root, u"temp_setup");
    if (!CreateDirectoryTree(t.root) || !HasNoReparsePoint(tempRoot) || !EnsureTempSetupFolder(tempRoot)) return false;
    DWORD tick = GetTickCount();
    for (DWORD tries = 0; tries < 16; ++tries) {
        if (!SafeJoinRelative(tempRoot, WorkFolderName(product.puc_type, GetCurrentProcessId(), tick + tries),
                              t.work_folder) ||
            !HasNoReparsePoint(t.work_folder)) {
            return false;
        }
        UniqueHandle hold;
        if (CreateAttemptFolder(t.work_folder, hold)) {
            t.work_folder_hold = std::shared_ptr<void>(hold.release(), [](void* handle) { CloseHandle(handle); });
            PathJoin(t.ledger_path, t.work_folder, u"ledger.log");
            PathJoin(staging, t.work_folder, u"unpacked");
            if (!HasNoReparsePoint(t.work_folder) || !BeginAttemptRecord(product, t)) return false;
            // Both files stay open while the attempt lives: a line is then one
            // write, not an open, a write and a close (each opens it per line
            // when it cannot be kept open).
            KeepLedgerOpen(t);
            KeepRecoveryRecordOpen(t);
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    t.work_folder.clear();
    return false;
}

// The product folder and the attempt's work folder.
bool PrepareFolders(ProductEntry& product, InstallTransaction& t, WideBuffer& staging) {
    bool usable;
    if (product.was_installed && !product.installed_dir.empty()) {
        usable = ValidateProductDir(product, t.root, product.installed_dir);
        if (usable) product.deploy_dir = product.installed_dir;
    } else {
        usable = SafeJoinRelative(t.root, SanitizeFolderName(product.puc_name), product.deploy_dir);
    }
    usable = usable && ValidateProductDir(product, t.root, product.deploy_dir) &&
             CheckDirectoryOwnership(product, product.deploy_dir) && CreateWorkFolder(product, t, staging);
    if (!usable && product.last_error.empty()) product.last_error = kNoFolders;
    return usable;
}

bool PackageChanged(ProductEntry& product) {
    product.failure_kind = FileExists(product.package_path) ? 4 : 3;
    return RecordFailure(product, kPackageChanged, true);
}

// The package is checked again right before it is used and held so that it
// cannot change between the check and the use: it waited in a folder a
// standard user can write to, perhaps for minutes of prerequisites.
bool HoldPackage(ProductEntry& product, const InstallTransaction& t, UniqueHandle& hold) {
    return HoldFileUnchanged(product.package_path, t.package_hash, t.package_size, hold) || PackageChanged(product);
}

// Downloads the package and checks it again before anything uses it.
bool DownloadAndVerify(ProductEntry& product, InstallTransaction& t, StatusCallback callback, void* context,
                       HANDLE cancelEvent) {
    product.status_text = u"正在下载…";
    ReportStatus(&product, u"正在下载安装包…", callback, context);
    if (!DownloadPackage(product, t, callback, context, cancelEvent)) {
        if (!IsCancelled(cancelEvent)) product.failure_kind = 1;
        return false;
    }
    if (IsCancelled(cancelEvent)) {
        product.last_error = kCancelled;
        return false;
    }
    return VerifyFileUnchanged(product.package_path, t.package_hash, t.package_size) || PackageChanged(product);
}

bool RunPackageInstaller(ProductEntry& product, InstallTransaction& t, StatusCallback callback, void* context) {
    UniqueHandle hold;
    return HoldPackage(product, t, hold) && RunInstaller(product, callback, context, &hold);
}

bool Extract(ProductEntry& product, InstallTransaction& t, const WideBuffer& staging, PackageFormat format,
             HANDLE cancelEvent) {
    if (!CreateDirectoryTree(staging) || !HasNoReparsePoint(staging)) {
        FormatSystemError(product.last_error, u"无法创建解压临时目录", GetLastError());
        return false;
    }
    UniqueHandle hold;
    if (!HoldPackage(product, t, hold)) return false;
    return format == kFormatZip ? ExtractZipPackage(product, t, staging, cancelEvent)
                                : RunExternalExtractor(product, t, staging, format, cancelEvent);
}

// What the extraction left is registered and must hold files, among them the
// main program.
bool CheckStaging(ProductEntry& product, InstallTransaction& t, const WideBuffer& staging, bool extracted) {
    if (!RegisterTreeAsTemp(t, staging)) {
        product.last_error = u"解压失败：文件内容不受支持或无法读取，可能被安全软件拦截。";
        product.block_suspected = true;
        return false;
    }
    if (!extracted) return false;
    bool anyFile = false;
    for (const LedgerEntry& entry : t.entries) anyFile |= entry.temporary && IsStrictlyUnder(staging, entry.path);
    if (!anyFile) {
        product.last_error = u"安装包没有解压出任何文件，无法确认安装成功。";
        return false;
    }
    WideBuffer found;
    if (!product.runname.empty() && !FindFileByName(staging, product.runname, found)) {
        return RecordFailure(
            product, u"解压后未找到主程序，可能被安全软件删除，也可能安装包内容不完整，请检查后重试。", true);
    }
    return true;
}

// When the installed old copy is running, its programs are offered to be
// closed before anything is overwritten.
bool OldCopyReleased(ProductEntry& product) {
    WideBuffer existing;
    if (product.runname.empty() || !FindFileByName(product.deploy_dir, product.runname, existing)) return true;
    UniqueHandle probe(CreateFileW(W(existing), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD error = probe ? 0 : GetLastError();
    probe.reset();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION && error != ERROR_ACCESS_DENIED) return true;
    product.busy_file = existing;
    bool closed = ResolveFilesInUse(product, nullptr);
    product.busy_file.clear();
    if (!closed) product.last_error = u"无法覆盖文件，程序正在运行中，请关闭后再试";
    return closed;
}

// Extracts into the staging folder and deploys from there, then finds the
// main program in the product folder.
bool ExtractAndDeploy(ProductEntry& product, InstallTransaction& t, const WideBuffer& staging, PackageFormat format,
                      HANDLE cancelEvent) {
    LogLine(u"[Parcelwright] 以解压部署模式，目标：%s", product.deploy_dir);
    bool extracted = Extract(product, t, staging, format, cancelEvent);
    LogLine(u"[Parcelwright] 解压结果：%s", Outcome(extracted));
    if (!CheckStaging(product, t, staging, extracted)) return false;
    product.main_program_path.clear();
    if (!OldCopyReleased(product)) return false;
    bool deployed = DeployTree(product, t, staging, staging, cancelEvent);
    LogLine(u"[Parcelwright] 部署结果：%s，错误：%s", Outcome(deployed), product.last_error);
    if (!deployed || product.runname.empty()) return deployed;
    return FindFileByName(product.deploy_dir, product.runname, product.main_program_path);
}

// Classifies a failed deployment; a RAR self-extractor that could not be
// unpacked is run as the installer it also is.
bool FallBackToInstaller(ProductEntry& product, InstallTransaction& t, PackageFormat format, bool& installerMode,
                         StatusCallback callback, void* context, HANDLE cancelEvent) {
    if (IsCancelled(cancelEvent)) return false;
    product.failure_kind = ClassifyDeployFailure(format, product.last_error, product.failure_kind);
    if (format != kFormatRarSfx) return false;
    LogLine(u"[Parcelwright] 解压部署失败，回退为安装程序模式");
    product.last_error.clear();
    product.block_suspected = false;
    product.failure_kind = 0;
    product.status_text = u"正在安装...";
    installerMode = true;
    bool ok = RunPackageInstaller(product, t, callback, context);
    LogLine(u"[Parcelwright] 回退安装程序结果：%s", Outcome(ok));
    return ok;
}

// The main program is there and readable: its hash goes into the record.
bool MainProgramReadable(ProductEntry& product, InstallTransaction& t) {
    if (product.runname.empty() ||
        HashFileSha256(product.main_program_path, t.main_program_hash, &t.main_program_size)) {
        return true;
    }
    product.failure_kind = FileExists(product.main_program_path) ? 4 : 3;
    return RecordFailure(product, u"安装后主程序已丢失或无法读取，可能被安全软件隔离。", true);
}

// Recognises, prepares and installs the package once the transaction and its
// folders exist, and checks the main program.
bool InstallPackage(ProductEntry& product, InstallTransaction& t, const WideBuffer& staging, bool& installerMode,
                    StatusCallback callback, void* context, HANDLE cancelEvent) {
    PackageFormat format = DetectPackageFormat(product.package_path);
    LogFormat(product, format);
    if (format == kFormatUnknown) {
        product.failure_kind = 4;
        product.last_error = kCannotInstallHere;
        return false;
    }
    bool runnable = format == kFormatRarSfx || format == kFormat7zSfx || format == kFormatExe;
    if (runnable && !MakePackageExecutable(product, t)) {
        return false;
    }
    if (product.env_mask != 0 && !InstallPrerequisites(product, t, callback, context, cancelEvent)) return false;
    installerMode = format == kFormatExe;
    product.status_text = u"正在安装...";
    product.progress_indeterminate = true;
    ReportStatus(&product, u"正在安装软件...", callback, context);
    if (!CreateDirectoryTree(product.deploy_dir)) {
        FormatSystemError(product.last_error, u"无法创建产品安装目录", GetLastError());
        return false;
    }
    bool ok;
    if (installerMode) {
        LogLine(u"[Parcelwright] 以安装程序模式运行：%s", product.package_path);
        ok = RunPackageInstaller(product, t, callback, context);
    } else {
        ok = ExtractAndDeploy(product, t, staging, format, cancelEvent) ||
             FallBackToInstaller(product, t, format, installerMode, callback, context, cancelEvent);
    }
    return ok && MainProgramReadable(product, t);
}

// Shortcut, manifest and commit.
bool Finish(ProductEntry& product, InstallTransaction& t, bool createShortcut, bool installerMode,
            StatusCallback callback, void* context) {
    if (createShortcut && !product.main_program_path.empty()) {
        product.status_text = u"正在创建快捷方式…";
        ReportStatus(&product, u"开始创建桌面快捷方式。", callback, context);
        if (!CreateDesktopShortcut(product, t)) return false;
    }
    if (!WriteInstallManifest(product, t, installerMode ? ManifestTypeInstaller : ManifestTypeDeployed)) return false;
    t.committed = true;
    AppendLedgerLine(t, u"安装提交", product.deploy_dir);
    product.succeeded = true;
    product.failed = false;
    product.progress_percent = 100;
    product.progress_indeterminate = false;
    product.status_text = u"安装完成";
    ReportStatus(&product, u"软件安装完成。", callback, context);
    return true;
}

bool FailAttempt(ProductEntry& product, InstallTransaction& t, StatusCallback callback, void* context) {
    if (product.last_error.empty()) product.last_error = u"安装失败，请检查日志后重试。";
    RecordFailure(product, WideBuffer(product.last_error), product.block_suspected);
    ReportStatus(&product, product.last_error.c_str(), callback, context);
    RollbackTransaction(product, t, true, callback, context);
    return false;
}

}  // namespace

// Self-extractors and installers run as package.exe, which the transaction
// must know so that it is checked before it runs and cleaned up after.
bool MakePackageExecutable(ProductEntry& product, InstallTransaction& t) {
    WideBuffer target;
    PathJoin(target, t.work_folder, u"package.exe");
    bool moved = HasNoReparsePoint(target) &&
                 MoveFileExW(W(product.package_path), W(target), MOVEFILE_REPLACE_EXISTING);
    if (!moved) {
        target.clear();
        TextFormat(target, u"%s\\setup-%u.exe", t.work_folder, static_cast<uint32_t>(GetTickCount()));
        moved = HasNoReparsePoint(target) && MoveFileExW(W(product.package_path), W(target), 0);
    }
    if (!moved) {
        FormatSystemError(product.last_error, u"无法准备执行安装包", GetLastError());
        return false;
    }
    product.package_path = target;
    if (RegisterTempFile(t, target)) return true;
    // Nothing would clean up or recheck a file the transaction does not know.
    DWORD error = GetLastError();
    DeleteFileW(W(target));
    FormatSystemError(product.last_error, u"无法准备执行安装包", error);
    return false;
}

bool InstallProduct(ProductEntry& product, std::u16string_view root, bool createShortcut, StatusCallback callback,
                    void* context, HANDLE cancelEvent) {
    if (OutsideProductFilter(g_app.productFilter, product.puc_type)) return Stop(product, kCannotInstallHere);
    if (!IsOsSupported(product.support_os, CurrentWindowsVersion())) {
        return Stop(product, u"该软件不适合您的系统，请查看支持的系统列表。");
    }
    if (product.succeeded && !product.failed && !product.block_suspected) return true;
    DropLeftoverAttempt(product, callback, context);
    ResetRunState(product);
    if (!ValidateInstallRoot(root, product.last_error)) return Stop(product, WideBuffer(product.last_error));
    if (!product.has_package) return Stop(product, u"该产品暂无安装包直链，请到官网手动下载。");

    std::unique_ptr<InstallTransaction> created(new (std::nothrow) InstallTransaction());
    if (!created) return Stop(product, u"内存不足。");
    created->older = std::move(product.transaction);
    product.transaction = std::move(created);
    InstallTransaction& t = *product.transaction;
    if (!FullPathOf(root, t.root)) t.root = WideBuffer(root);

    WideBuffer staging;
    bool installerMode = false;
    if (!PrepareFolders(product, t, staging)) {
        LogFormat(product, kFormatUnknown);
        return FailAttempt(product, t, callback, context);
    }
    if (!DownloadAndVerify(product, t, callback, context, cancelEvent)) {
        LogFormat(product, kFormatUnknown);
        return FailAttempt(product, t, callback, context);
    }
    if (!InstallPackage(product, t, staging, installerMode, callback, context, cancelEvent) ||
        !Finish(product, t, createShortcut, installerMode, callback, context)) {
        return FailAttempt(product, t, callback, context);
    }
    return true;
}
