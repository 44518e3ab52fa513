#include "engine/launch_win.h"

#include <windows.h>
#include <shellapi.h>

#include "base/handles_win.h"
#include "base/wide_win.h"
#include "engine/launch.h"
#include "package/transaction_win.h"

namespace {

// The window may read the product while it shows the line: hand it a copy.
void ReportFailure(ProductEntry& product, StatusCallback callback, void* context) {
    const WideBuffer message = product.last_error;
    ReportStatus(&product, message.c_str(), callback, context);
}

// Opened first and checked second: while hold lives, what was checked is what
// the shell starts.
bool MainProgramUnchanged(ProductEntry& product, StatusCallback callback, void* context, UniqueHandle& hold) {
    const InstallTransaction& t = *product.transaction;
    if (HoldFileUnchanged(product.main_program_path, t.main_program_hash, t.main_program_size, hold)) return true;
    bool exists = GetFileAttributesW(W(product.main_program_path)) != INVALID_FILE_ATTRIBUTES;
    product.failure_kind = MainProgramFailureKind(exists);
    RecordFailure(product,
                  u"已安装，但是检测到主程序被删除或校验失败，可能被杀毒软件拦截隔离导致，您可解决拦截问题后重试",
                  true);
    ReportFailure(product, callback, context);
    return false;
}

// The program is not waited for; a failure must never raise a box of the
// shell's own, which would block the worker behind the user's back.
bool StartMainProgram(const ProductEntry& product) {
    const WideBuffer folder = FolderOfPath(product.main_program_path);
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.lpFile = W(product.main_program_path);
    execute.lpParameters = product.run_arguments.empty() ? nullptr : W(product.run_arguments);
    execute.lpDirectory = folder.empty() ? nullptr : W(folder);
    execute.nShow = SW_SHOWNORMAL;
    bool started = g_startMainProgram(&execute) != FALSE;
    UniqueHandle process(execute.hProcess);
    return started;
}

}  // namespace

BOOL(WINAPI* g_startMainProgram)(SHELLEXECUTEINFOW* execute) = ShellExecuteExW;

bool OpenInstalledProgram(ProductEntry& product, StatusCallback callback, void* context) {
    UniqueHandle hold;
    if (!IsReadyToOpen(product) || !MainProgramUnchanged(product, callback, context, hold)) return false;
    bool started = StartMainProgram(product);
    hold.reset();
    if (started) {
        ReportStatus(&product, u"已请求打开软件。", callback, context);
        return true;
    }
    product.failure_kind = kFailureMainProgramNotRunnable;
    RecordFailure(product, u"软件无法打开，可能被安全软件阻止，请检查后重试。", true);
    ReportFailure(product, callback, context);
    return false;
}
