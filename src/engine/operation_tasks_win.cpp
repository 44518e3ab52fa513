#include "engine/operation_tasks_win.h"

#include "base/system_win.h"
#include "base/wide_win.h"
#include "base/windows_version_win.h"
#include "catalog/failure_report_win.h"
#include "engine/arm_settings_win.h"
#include "engine/files_in_use_win.h"
#include "engine/launch_win.h"
#include "engine/operation_tasks.h"
#include "engine/process_product_win.h"
#include "engine/worker_link_win.h"
#include "package/transaction_win.h"
#include "security/defender_win.h"
#include "startup/app_state.h"

namespace {

// The step's own lines go to the window only, not to the log.
void SendStatus(const char16_t* text) { WorkerStatusCallback(nullptr, nullptr, text); }

template <typename Visit>
void ForEachInScope(Visit visit) {
    CatalogTable& table = g_app.catalog;
    for (int i = 0; i < table.productCount; ++i) {
        if (InScope(table.products[i], i, g_app.rowFilter)) visit(table.products[i]);
    }
}

void SetStatusInScope(const char16_t* text) {
    ForEachInScope([&](ProductEntry& p) { p.status_text = text; });
}

// A folder root and its temp_setup, each at most once per run.
void ExcludeRoot(std::u16string_view root, ExclusionRun& run) {
    if (root.empty()) return;
    AddExclusionOnce(root, run);
    WideBuffer temp;
    PathJoin(temp, root, u"temp_setup");
    AddExclusionOnce(temp, run);
}

void DefenderStep() {
    SetStatusInScope(u"正在检查安全设置…");
    if (CurrentWindowsVersion() == kWindows7) {
        LogLine(u"[Parcelwright] Windows 7 跳过 Defender PowerShell 排除项设置");
        SetStatusInScope(u"正在准备下载…");
        SendStatus(u"Windows 7 跳过 Defender 排除设置，正在准备下载…");
        return;
    }
    SendStatus(u"正在设置 Windows Defender 排除项…");
    ExclusionRun run;
    ExcludeRoot(g_app.installRoot, run);
    ForEachInScope([&](ProductEntry& p) { ExcludeRoot(ProductRoot(p, g_app.installRoot), run); });
    if (!run.errors.empty()) {
        WideBuffer text = DefenderWarningText(run.errors);
        MessageBoxW(WorkerWindow(), W(text), L"Defender 排除项未添加", MB_OK | MB_ICONWARNING);
    }
    SetStatusInScope(u"正在准备下载…");
    SendStatus(u"安全设置检查完成，正在准备下载…");
}

void ArmStep(ProductEntry& product) {
    product.status_text = u"正在配置 ARM 兼容性…";
    SendStatus(u"正在设置 ARM 上的 x86 主程序兼容性…");
    WideBuffer error;
    bool applied = ApplyArmEmulationSettings(WorkerWindow(), product.main_program_path, error);
    product.status_text = applied ? u"安装完成，ARM兼容性已配置" : u"安装完成，ARM兼容设置未完成";
    if (!applied) product.last_error = error;
    SendStatus(product.status_text.c_str());
}

void RunProduct(ProductEntry& product, StatusCallback callback, void* context, HANDLE cancelEvent) {
    const bool uninstall = g_app.operationMode == kModeUninstall;
    auto process = [&] {
        return ProcessProduct(product, g_app.installRoot, g_app.createShortcut, g_app.operationMode,
                              g_app.purgeOnUninstall, callback, context, cancelEvent);
    };
    bool ok = process();
    // One retry, and only after the user agreed to close what held a file.
    if (!ok && !uninstall && !product.busy_file.empty() && !IsCancelled(cancelEvent) &&
        ResolveFilesInUse(product, WorkerWindow()) && !IsCancelled(cancelEvent)) {
        ok = process();
    }
    if (!ok && !uninstall) ReportFailure(product);
    if (ok && !uninstall && g_app.hostIsArm64 && g_app.applyArmSettings && !product.main_program_path.empty() &&
        IsX86Executable(product.main_program_path)) {
        ArmStep(product);
    }
}

}  // namespace

void RollbackOrFinish(ProductEntry& product, bool restore, StatusCallback callback, void* context) {
    for (InstallTransaction* t = product.transaction.get(); t; t = t->older.get()) {
        RollbackTransaction(product, *t, restore, callback, context);
    }
}

bool RunOperationTask(StatusCallback callback, void* context, HANDLE cancelEvent) {
    if (g_app.operationMode != kModeUninstall) DefenderStep();
    CatalogTable& table = g_app.catalog;
    for (int i = 0; i < table.productCount; ++i) {
        if (IsCancelled(cancelEvent)) break;
        if (InScope(table.products[i], i, g_app.rowFilter)) RunProduct(table.products[i], callback, context, cancelEvent);
    }
    return true;
}

bool OpenProgramsTask(StatusCallback callback, void* context) {
    CatalogTable& table = g_app.catalog;
    for (int i = 0; i < table.productCount; ++i) {
        ProductEntry& p = table.products[i];
        if (!p.selected || !p.succeeded || !p.launch_after_install || p.runname.empty()) continue;
        if (!OpenInstalledProgram(p, callback, context)) {
            ReportFailure(p);
            return false;  // the packages stay for a look at what went wrong
        }
        p.launch_after_install = false;
    }
    if (g_app.cleanupAfterLaunch) {
        for (int i = 0; i < table.productCount; ++i) {
            if (table.products[i].selected) RollbackOrFinish(table.products[i], false, callback, context);
        }
    }
    return true;
}

bool UndoTask(StatusCallback callback, void* context) {
    CatalogTable& table = g_app.catalog;
    for (int i = 0; i < table.productCount; ++i) {
        if (table.products[i].selected) RollbackOrFinish(table.products[i], true, callback, context);
    }
    return true;
}

bool ArmSettingsTask() {
    WideBuffer error;
    bool applied = ApplyArmEmulationSettings(WorkerWindow(), g_app.armTargetPath, error);
    g_app.pageNotice = applied ? WideBuffer(u"已保存所选程序的 ARM 兼容设置，请重新打开该软件测试。") : error;
    return applied;
}
