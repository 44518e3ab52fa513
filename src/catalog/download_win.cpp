#include "catalog/download_win.h"

#include <vector>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/memory.h"
#include "base/system_win.h"
#include "base/text_format.h"
#include "base/wide_win.h"
#include "catalog/download.h"
#include "catalog/http.h"
#include "catalog/http_win.h"
#include "catalog/sha256_win.h"
#include "package/path_safety_win.h"
#include "package/transaction_win.h"

namespace {

constexpr DWORD kPiece = 65536;
constexpr DWORD kReportIntervalMs = 120;

enum class Body { kComplete, kFailed };

// Moves the body into the file, reporting progress.
Body StreamBody(ProductEntry& product, HttpRequest& http, HANDLE file, StatusCallback callback, void* context,
                HANDLE cancelEvent) {
    std::vector<uint8_t> buffer;
    if (!TryResize(buffer, kPiece)) {
        FormatSystemError(product.last_error, u"无法创建下载文件", ERROR_NOT_ENOUGH_MEMORY);
        return Body::kFailed;
    }
    DWORD lastReport = GetTickCount();
    while (!IsCancelled(cancelEvent)) {
        DWORD got = 0;
        if (!WinHttpReadData(http.request.get(), buffer.data(), kPiece, &got)) {
            FormatSystemError(product.last_error, u"下载连接中断", GetLastError());
            return Body::kFailed;
        }
        if (got == 0) break;
        DWORD written = 0;
        if (!WriteFile(file, buffer.data(), got, &written, nullptr) || written != got) {
            FormatSystemError(product.last_error, u"保存安装包失败", GetLastError());
            return Body::kFailed;
        }
        product.bytes_received += got;
        if (ExceedsAnnouncedLength(product.bytes_received, product.bytes_total)) {
            product.last_error = u"文件下载失败，请重试";
            return Body::kFailed;
        }
        product.progress_percent = ScaleProgress(product.bytes_received, product.bytes_total);
        if (GetTickCount() - lastReport > kReportIntervalMs) {
            ReportStatus(&product, u"正在下载…", callback, context);
            lastReport = GetTickCount();
        }
    }
    return Body::kComplete;
}

bool Fail(ProductEntry& product) {
    product.progress_indeterminate = false;
    return false;
}

// A web page where a package should be.
bool IsWebPage(ProductEntry& product, HttpRequest& http) {
    WideBuffer contentType;
    if (!HttpQueryRawHeader(http, WINHTTP_QUERY_CONTENT_TYPE, contentType, 128) ||
        !ContainsNoCase(contentType, u"text/html")) {
        return false;
    }
    DWORD status = 0, size = sizeof(status);
    WinHttpQueryHeaders(http.request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    LogLine(u"[Parcelwright] 下载链接最终返回网页，HTTP %u，Content-Type：%s", static_cast<uint32_t>(status),
            contentType);
    product.last_error = u"官网返回网页而非安装包，请检查下载接口是否已发布及下载地址配置。";
    return true;
}

// The download is not what the catalog pinned: someone on the way may have
// replaced it. It is deleted at once and its hash forgotten, so that no later
// step can take it for the package.
bool RejectSubstitutedPackage(ProductEntry& product, InstallTransaction& transaction) {
    LogLine(u"[Parcelwright] 安装包SHA-256不一致，目录登记：%s，下载内容：%s", product.download_sha256,
            transaction.package_hash);
    const WideBuffer path = product.package_path;
    // A file that cannot be deleted now stays registered, for the rollback's
    // cleanup to remove.
    if (DeleteFileW(W(path))) {
        transaction.entries.remove_if([&](const LedgerEntry& entry) { return EqualsNoCase(entry.path, path); });
    }
    transaction.package_hash.clear();
    transaction.package_size = 0;
    RecordFailure(product, u"安装包校验失败：下载内容与软件目录登记的SHA-256不一致，可能被篡改，已停止安装。", false);
    return Fail(product);
}

}  // namespace

bool DownloadPackage(ProductEntry& product, InstallTransaction& transaction, StatusCallback callback,
                     void* context, HANDLE cancelEvent) {
    HttpRequest http;
    if (!HttpOpenGet(product.download_url, http, product.last_error, true)) return false;
    product.bytes_total = 0;
    product.bytes_received = 0;
    WideBuffer lengthText;
    if (HttpQueryRawHeader(http, WINHTTP_QUERY_CONTENT_LENGTH, lengthText, 96)) {
        product.bytes_total = ParseContentLength(lengthText);
    }
    if (IsWebPage(product, http)) return false;

    PathJoin(product.package_path, transaction.work_folder, u"package.bin");
    const WideBuffer partPath = product.package_path + u".part";
    Body body;
    {
        // Only a file we create ourselves, and never through a link, is written to.
        if (!HasNoReparsePoint(partPath)) {
            product.last_error = u"目标目录不安全或无法创建。";
            return false;
        }
        UniqueHandle file(CreateFileW(W(partPath), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        if (!file) {
            FormatSystemError(product.last_error, u"无法创建下载文件", GetLastError());
            return false;
        }
        product.progress_indeterminate = product.bytes_total == 0;
        body = StreamBody(product, http, file.get(), callback, context, cancelEvent);
        FlushFileBuffers(file.get());
    }
    HttpClose(http);
    return FinishDownload(product, transaction, body == Body::kComplete, cancelEvent);
}

bool FinishDownload(ProductEntry& product, InstallTransaction& transaction, bool bodyComplete, HANDLE cancelEvent) {
    const WideBuffer partPath = product.package_path + u".part";
    if (FileExists(partPath)) RegisterTempFile(transaction, partPath);

    if (IsCancelled(cancelEvent)) {
        product.last_error = u"用户已取消下载。";
        return Fail(product);
    }
    if (!bodyComplete) return Fail(product);
    if (!DownloadComplete(product.bytes_received, product.bytes_total)) {
        product.last_error = u"文件下载失败，请重试";
        return Fail(product);
    }
    // Security software often removes a fresh download at once.
    if (!FileExists(partPath) || FileSize(partPath) != product.bytes_received) {
        RecordFailure(product, u"已下载但是刚下载就被删除了，可能是杀毒软件拦截隔离导致，请解决杀毒软件后再试", true);
        return Fail(product);
    }
    if (!MoveFileExW(W(partPath), W(product.package_path), 0)) {
        FormatSystemError(product.last_error, u"无法保存完成的安装包", GetLastError());
        return Fail(product);
    }
    RegisterTempFile(transaction, product.package_path);
    if (!HashFileSha256(product.package_path, transaction.package_hash, &transaction.package_size)) {
        RecordFailure(product,
                      u"已下载安装包但是无法安装，尝试安装时被拦截无法打开，请检查是否是杀毒软件拦截导致再试", true);
        return Fail(product);
    }
    if (!PackageMatchesPin(product.download_sha256, transaction.package_hash)) {
        return RejectSubstitutedPackage(product, transaction);
    }
    product.progress_indeterminate = false;
    product.progress_percent = 100;
    return true;
}
