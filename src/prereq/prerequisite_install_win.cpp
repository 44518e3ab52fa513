#include "prereq/prerequisite_install_win.h"

#include <shellapi.h>

#include "base/file_win.h"
#include "base/memory.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "catalog/download.h"
#include "catalog/http.h"
#include "catalog/http_win.h"
#include "engine/child_process_win.h"
#include "package/path_rules.h"
#include "package/path_safety_win.h"
#include "package/transaction_win.h"
#include "prereq/detect_win.h"
#include "prereq/prerequisite_install.h"
#include "prereq/prerequisites.h"

namespace {

constexpr DWORD kPiece = 65536;
constexpr DWORD kReportIntervalMs = 120;
constexpr DWORD kElevatedWaitStepMs = 250;
const char16_t kCancelled[] = u"用户已取消安装。";
const char16_t kChangedBeforeRun[] = u"环境安装程序在运行前已被更改，已跳过运行。";
const char16_t kDirectXFolder[] = u"directx_june2010";

void ResetProgress(ProductEntry& product) {
    product.progress_percent = 0;
    product.bytes_received = 0;
    product.bytes_total = 0;
    product.progress_indeterminate = false;
}

bool Cancelled(ProductEntry& product) {
    product.last_error = kCancelled;
    return false;
}

// --- downloading -----------------------------------------------------------

// Steps after the response: refusals before anything is written.
bool CheckPrerequisiteResponse(ProductEntry& product, HttpRequest& http, WideBuffer& error) {
    WideBuffer lengthText, contentType;
    if (HttpQueryRawHeader(http, WINHTTP_QUERY_CONTENT_LENGTH, lengthText, 96)) {
        if (AnnouncedSizeTooLarge(lengthText)) {
            error = u"环境安装包超过 512 MB，已跳过。";
            return false;
        }
        product.bytes_total = ParseContentLength(lengthText);
    }
    if (HttpQueryRawHeader(http, WINHTTP_QUERY_CONTENT_TYPE, contentType, 128) &&
        ContainsNoCase(contentType, u"text/html")) {
        error = u"服务器返回网页而不是环境安装程序。";
        return false;
    }
    return true;
}

// Moves the body into file; false with error set when the transfer broke.
bool StreamPrerequisite(ProductEntry& product, HttpRequest& http, HANDLE file, std::vector<uint8_t>& buffer,
                        StatusCallback callback, void* context, HANDLE cancelEvent, WideBuffer& error) {
    DWORD lastReport = GetTickCount();
    while (!IsCancelled(cancelEvent)) {
        DWORD got = 0;
        if (!WinHttpReadData(http.request.get(), buffer.data(), kPiece, &got)) {
            FormatSystemError(error, u"环境安装包下载中断", GetLastError());
            return false;
        }
        if (got == 0) break;
        DWORD written = 0;
        if (!WriteFile(file, buffer.data(), got, &written, nullptr)) {
            FormatSystemError(error, u"保存环境安装包失败", GetLastError());
            return false;
        }
        if (written != got) {
            FormatSystemError(error, u"保存环境安装包失败", ERROR_DISK_FULL);  // a short write sets no error
            return false;
        }
        product.bytes_received += got;
        if (ReceivedSizeAbnormal(product.bytes_received, product.bytes_total)) {
            error = u"环境安装包大小异常。";
            return false;
        }
        product.progress_percent = ScaleProgress(product.bytes_received, product.bytes_total);
        if (GetTickCount() - lastReport > kReportIntervalMs) {
            ReportStatus(&product, u"正在下载环境程序…", callback, context);
            lastReport = GetTickCount();
        }
    }
    return true;
}

bool StartsWithMz(const WideBuffer& path) {
    UniqueHandle file(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    char head[2] = {};
    DWORD got = 0;
    return file && ReadFile(file.get(), head, 2, &got, nullptr) && got == 2 && head[0] == 'M' && head[1] == 'Z';
}

// The finished .part becomes target and is registered; false with error set.
bool FinishPrerequisite(ProductEntry& product, InstallTransaction& transaction, const WideBuffer& part,
                        const WideBuffer& target, HANDLE cancelEvent, WideBuffer& error) {
    if (IsCancelled(cancelEvent)) {
        error = kCancelled;
        return false;
    }
    if (!DownloadComplete(product.bytes_received, product.bytes_total)) {
        error = u"环境安装包下载不完整。";
        return false;
    }
    if (!StartsWithMz(part)) {
        error = u"下载内容不是有效的 Windows 安装程序。";
        return false;
    }
    if (!HasNoReparsePoint(target)) {
        FormatSystemError(error, u"无法保存环境安装包", ERROR_ACCESS_DENIED);
        return false;
    }
    if (!MoveFileExW(W(part), W(target), MOVEFILE_REPLACE_EXISTING)) {
        FormatSystemError(error, u"无法保存环境安装包", GetLastError());
        return false;
    }
    if (!RegisterTempFile(transaction, target)) {
        error = u"无法登记环境安装包，已停止运行该文件。";
        DeleteFileW(W(target));
        return false;
    }
    return true;
}

// --- running ---------------------------------------------------------------

// Holds every file the transaction registered at path (or below it, for a
// folder) and checks each is still what was registered.
bool HoldRegistered(InstallTransaction& transaction, const WideBuffer& path, bool folder,
                    std::vector<UniqueHandle>& held) {
    for (const LedgerEntry& entry : transaction.entries) {
        bool covered = folder ? IsStrictlyUnder(path, entry.path) : EqualsNoCase(path, entry.path);
        if (!entry.temporary || !covered) continue;
        UniqueHandle hold;
        if (!HoldFileUnchanged(entry.path, entry.hash, entry.size, hold)) return false;
        held.push_back(std::move(hold));
    }
    return !held.empty();
}

bool AllFilesRegistered(InstallTransaction& transaction, const WideBuffer& folder) {
    return WalkFiles(folder, [&](const WideBuffer& file) { return FindLedgerEntry(transaction, file) != nullptr; });
}

bool RunDism(const InstallTransaction& transaction, DWORD& code, WideBuffer& error) {
    WideBuffer system, dism;
    if (!NativeSystemFolder(system)) {
        error = u"无法读取 Windows 系统目录，未启用 .NET Framework 3.5。";
        return false;
    }
    PathJoin(dism, system, u"dism.exe");
    return RunElevatedAndWait(dism, kDismArguments, transaction.work_folder, code, error) &&
           IsAcceptedInstallerExit(code);
}

bool RunDownloadedInstaller(InstallTransaction& transaction, int row, const WideBuffer& installer, DWORD& code,
                            WideBuffer& error) {
    std::vector<UniqueHandle> held;
    if (!HoldRegisteredFile(transaction, installer, held)) {
        error = kChangedBeforeRun;
        return false;
    }
    return RunElevatedAndWait(installer, kPrerequisites[row].arguments, transaction.work_folder, code, error,
                              &held) &&
           IsAcceptedInstallerExit(code);
}

// DirectX: the package unpacks itself into a folder, then DXSETUP installs.
bool RunDirectX(InstallTransaction& transaction, HANDLE cancelEvent, const WideBuffer& package, DWORD& code,
                WideBuffer& error) {
    WideBuffer folder, setup;
    PathJoin(folder, transaction.work_folder, kDirectXFolder);
    if (!CreateDirectoryTree(folder)) {
        DWORD createError = GetLastError();
        FormatSystemError(error, u"无法创建 DirectX 临时目录", createError);
        return false;
    }
    if (!HasNoReparsePoint(folder)) {
        FormatSystemError(error, u"无法创建 DirectX 临时目录", ERROR_ACCESS_DENIED);
        return false;
    }
    std::vector<UniqueHandle> held;
    if (!HoldRegisteredFile(transaction, package, held)) {
        error = kChangedBeforeRun;
        return false;
    }
    bool ran = RunChildProcess(package, DirectXUnpackArguments(folder), transaction.work_folder, nullptr,
                               cancelEvent, &code);
    DWORD runError = GetLastError();
    held.clear();
    if (!ran) {
        // Not started, or its result unreadable: the system says why.
        FormatSystemError(error, u"请求安装环境程序失败", runError);
        return false;
    }
    if (code != 0) {
        TextFormat(error, u"DirectX 解包程序退出代码 %u。", static_cast<uint32_t>(code));
        return false;
    }
    if (!RegisterTreeAsTemp(transaction, folder)) {
        error = u"DirectX 文件无法安全登记，已跳过运行。";
        return false;
    }
    PathJoin(setup, folder, u"DXSETUP.exe");
    if (!FindLedgerEntry(transaction, setup)) {
        // The package unpacked without it: nothing to run, not a changed file.
        DWORD missing = GetFileAttributesW(W(setup)) == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_FILE_NOT_FOUND;
        FormatSystemError(error, u"请求安装环境程序失败", missing);
        return false;
    }
    if (!HoldRegisteredTree(transaction, folder, held)) {
        error = kChangedBeforeRun;
        return false;
    }
    if (!RunElevatedAndWait(setup, u"/silent", folder, code, error, &held)) return false;
    if (IsAcceptedInstallerExit(code)) return true;
    TextFormat(error, u"DirectX 安装程序退出代码 %u。", static_cast<uint32_t>(code));
    return false;
}

// --- one row -------------------------------------------------------------

void RowFailed(ProductEntry& product, int row, const WideBuffer& error, StatusCallback callback, void* context) {
    AddPrerequisiteWarning(product, row, error);
    product.status_text = u"环境安装失败，将继续安装主程序";
    ReportStatus(&product, u"环境安装未完成，继续安装主程序。", callback, context);
}

}  // namespace

bool HoldRegisteredFile(InstallTransaction& transaction, const WideBuffer& path, std::vector<UniqueHandle>& held) {
    return HoldRegistered(transaction, path, false, held);
}

bool HoldRegisteredTree(InstallTransaction& transaction, const WideBuffer& folder, std::vector<UniqueHandle>& held) {
    return HoldRegistered(transaction, folder, true, held) && AllFilesRegistered(transaction, folder);
}

bool InstallMissingPrerequisite(ProductEntry& product, InstallTransaction& transaction, int row,
                                StatusCallback callback, void* context, HANDLE cancelEvent) {
    const PrerequisiteInfo& info = kPrerequisites[row];
    PrerequisiteMethod method = ChoosePrerequisiteMethod(row, IsWindows64Bit(), WindowsBuildNumber());
    WideBuffer installer, error;
    if (method == PrerequisiteMethod::kDism) {
        product.status_text = u"正在启用 .NET Framework 3.5…";
        ReportStatus(&product, u"正在通过 Windows 可选功能启用 .NET Framework 3.5。", callback, context);
    } else {
        product.status_text = u"正在下载环境程序…";
        product.progress_percent = 0;
        product.progress_indeterminate = true;
        ReportStatus(&product, u"正在下载环境程序…", callback, context);
        PathJoin(installer, transaction.work_folder, WideBuffer(info.code) + u".exe");
        bool downloaded = DownloadPrerequisite(product, transaction, PrerequisiteDownloadUrl(info), installer,
                                               callback, context, cancelEvent, error);
        product.progress_indeterminate = false;
        if (!downloaded) {
            if (IsCancelled(cancelEvent)) return Cancelled(product);
            RowFailed(product, row, error, callback, context);
            return true;
        }
    }
    product.status_text = u"正在安装环境程序…";
    product.progress_indeterminate = true;
    ReportStatus(&product, u"正在安装环境程序…", callback, context);
    DWORD code = 0;
    bool ok = method == PrerequisiteMethod::kDism ? RunDism(transaction, code, error)
              : row == 12                         ? RunDirectX(transaction, cancelEvent, installer, code, error)
                                                  : RunDownloadedInstaller(transaction, row, installer, code, error);
    product.progress_indeterminate = false;
    if (IsCancelled(cancelEvent)) return Cancelled(product);
    if (ok) {
        product.status_text = u"环境安装完成";
        ReportStatus(&product, u"环境安装完成。", callback, context);
        if (ExitNeedsRestart(code)) LogLine(u"[Parcelwright] 环境安装请求重启后生效：%s", info.displayName);
        return true;
    }
    if (error.empty()) TextFormat(error, u"安装程序退出代码 %u。", static_cast<uint32_t>(code));
    RowFailed(product, row, error, callback, context);
    return true;
}

bool DownloadPrerequisite(ProductEntry& product, InstallTransaction& transaction, const WideBuffer& url,
                          const WideBuffer& target, StatusCallback callback, void* context, HANDLE cancelEvent,
                          WideBuffer& error) {
    HttpRequest http;
    if (!HttpOpenGet(url, http, error, false)) return false;
    product.bytes_total = 0;
    product.bytes_received = 0;
    if (!CheckPrerequisiteResponse(product, http, error)) return false;

    const WideBuffer part = target + u".part";
    if (!HasNoReparsePoint(part)) {
        FormatSystemError(error, u"无法创建环境安装包", ERROR_ACCESS_DENIED);
        return false;
    }
    bool streamed = false;
    {
        UniqueHandle file(CreateFileW(W(part), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            FormatSystemError(error, u"无法创建环境安装包", GetLastError());
            return false;
        }
        std::vector<uint8_t> buffer;
        if (!TryResize(buffer, kPiece)) {
            error = u"内存不足，无法下载环境安装包。";
        } else {
            product.progress_indeterminate = product.bytes_total == 0;
            streamed = StreamPrerequisite(product, http, file.get(), buffer, callback, context, cancelEvent, error);
            FlushFileBuffers(file.get());
        }
    }
    HttpClose(http);
    product.progress_indeterminate = false;
    // The .part is ours (created new above) and never outlives a failure.
    if (!streamed || !FinishPrerequisite(product, transaction, part, target, cancelEvent, error)) {
        DeleteFileW(W(part));
        return false;
    }
    product.progress_percent = 100;
    return true;
}

bool RunElevatedAndWait(const WideBuffer& program, const WideBuffer& arguments, const WideBuffer& folder,
                        DWORD& exitCode, WideBuffer& error, std::vector<UniqueHandle>* held) {
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = L"runas";
    execute.lpFile = W(program);
    execute.lpParameters = arguments.empty() ? nullptr : W(arguments);
    execute.lpDirectory = folder.empty() ? nullptr : W(folder);
    execute.nShow = SW_HIDE;
    BOOL started = ShellExecuteExW(&execute);
    DWORD startError = GetLastError();
    if (!started) {
        FormatSystemError(error, u"请求安装环境程序失败", startError);
        return false;
    }
    if (!execute.hProcess) {
        error = u"无法等待环境安装程序完成。";
        return false;
    }
    UniqueHandle process(execute.hProcess);
    for (;;) {
        DWORD wait = WaitForSingleObject(process.get(), kElevatedWaitStepMs);
        if (wait == WAIT_OBJECT_0) break;
        if (wait != WAIT_TIMEOUT) {
            FormatSystemError(error, u"等待环境安装程序失败", GetLastError());
            return false;
        }
    }
    // What runs elevated cannot be changed or swapped until it has ended.
    if (held) held->clear();
    if (!g_readExitCode(process.get(), &exitCode)) {
        DWORD readError = GetLastError();
        exitCode = 0;
        FormatSystemError(error, u"读取环境安装结果失败", readError);
        return false;
    }
    return true;
}

bool InstallPrerequisites(ProductEntry& product, InstallTransaction& transaction, StatusCallback callback,
                          void* context, HANDLE cancelEvent) {
    for (int row = 0; row < kPrerequisiteCount; ++row) {
        if (!(product.env_mask & kPrerequisites[row].bit)) continue;
        if (IsCancelled(cancelEvent)) return Cancelled(product);
        ResetProgress(product);
        PrerequisiteMethod method = ChoosePrerequisiteMethod(row, IsWindows64Bit(), WindowsBuildNumber());
        if (method == PrerequisiteMethod::kSkipNot64Bit) {
            AddPrerequisiteWarning(product, row, u"当前 Windows 不是 64 位，无法安装 64 位组件");
            continue;
        }
        product.status_text = u"正在检查环境要求…";
        ReportStatus(&product, kPrerequisites[row].displayName, callback, context);
        if (IsPrerequisitePresent(row)) {
            product.status_text = u"环境已满足";
            ReportStatus(&product, u"检测到环境已安装，跳过下载。", callback, context);
            continue;
        }
        if (!InstallMissingPrerequisite(product, transaction, row, callback, context, cancelEvent)) return false;
    }
    ResetProgress(product);
    return !IsCancelled(cancelEvent) || Cancelled(product);
}
