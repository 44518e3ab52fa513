#include "catalog/download_win.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "catalog/sha256_win.h"
#include "vendor_server_win.h"

namespace {

struct Download {
    TestFolder folder;
    InstallTransaction t;
    ProductEntry product;
    int reports = 0;
    bool sawIndeterminate = false;
    int lastPercent = -1;

    Download() {
        t.work_folder = folder.path();
        t.ledger_path = folder / u"ledger.log";
    }
    static bool Status(void* context, ProductEntry* p, const char16_t* text) {
        auto* d = static_cast<Download*>(context);
        EXPECT_EQ(std::u16string(text), u"正在下载…");
        ++d->reports;
        d->sawIndeterminate |= p->progress_indeterminate;
        d->lastPercent = p->progress_percent;
        return true;
    }
    bool Run(std::u16string_view target, HANDLE cancel = nullptr) {
        product.download_url = ServerUrl(target);
        return DownloadPackage(product, t, Status, this, cancel);
    }
    bool Registered(const WideBuffer& path) { return FindLedgerEntry(t, path) != nullptr; }
};

const char kRules[] = R"({
  "/dl/plain": {"body_size": 300000},
  "/dl/no-length": {"body_size": 200000, "content_length": "none", "chunk": 20000, "delay_ms": 40},
  "/dl/slow": {"body_size": 400000, "chunk": 20000, "delay_ms": 40},
  "/dl/short": {"body_size": 1000, "content_length": 1001},
  "/dl/long": {"body_size": 1000, "content_length": 999},
  "/dl/html": {"body": "<html>404</html>", "content_type": "Text/HTML; charset=utf-8"},
  "/dl/empty": {"body": ""},
  "/dl/empty-no-length": {"body": "", "content_length": "none"},
  "/dl/moved": {"status": 301, "location": "/dl/plain"},
  "/dl/missing": {"status": 404, "body": "no"},
  "/dl/hello": {"body": "hello"}
})";

TEST(DownloadPackage, CompleteDownloadIsRenamedRegisteredAndHashed) {
    ServerRules rules(u"download-ok", kRules);
    Download d;
    ASSERT_TRUE(d.Run(u"/dl/plain")) << WideToUtf8(d.product.last_error);
    EXPECT_EQ(d.product.package_path, d.folder / u"package.bin");
    EXPECT_EQ(FileSize(d.product.package_path), 300000u);
    EXPECT_FALSE(FileExists(d.folder / u"package.bin.part"));
    EXPECT_EQ(d.product.bytes_total, 300000u);
    EXPECT_EQ(d.product.bytes_received, 300000u);
    EXPECT_EQ(d.product.progress_percent, 100);
    EXPECT_FALSE(d.product.progress_indeterminate);
    WideBuffer hash;
    ASSERT_TRUE(HashFileSha256(d.product.package_path, hash));
    EXPECT_EQ(d.t.package_hash, hash);
    EXPECT_EQ(d.t.package_size, 300000u);
    EXPECT_TRUE(d.Registered(d.product.package_path));
    EXPECT_TRUE(d.Registered(d.folder / u"package.bin.part"));  // so a rollback knows it too

    Download redirected;  // a package behind a redirect
    ASSERT_TRUE(redirected.Run(u"/dl/moved")) << WideToUtf8(redirected.product.last_error);
    EXPECT_EQ(redirected.t.package_hash, hash);
}

TEST(DownloadPackage, ProgressWithAndWithoutLength) {
    ServerRules rules(u"download-progress", kRules);
    Download known;
    ASSERT_TRUE(known.Run(u"/dl/slow"));
    EXPECT_GT(known.reports, 0);
    EXPECT_FALSE(known.sawIndeterminate);
    EXPECT_GT(known.lastPercent, 0);

    Download unknown;  // no length: indeterminate, 0 % until the end, any non-empty body accepted
    ASSERT_TRUE(unknown.Run(u"/dl/no-length")) << WideToUtf8(unknown.product.last_error);
    EXPECT_GT(unknown.reports, 0);
    EXPECT_TRUE(unknown.sawIndeterminate);
    EXPECT_EQ(unknown.lastPercent, 0);
    EXPECT_EQ(unknown.product.bytes_total, 0u);
    EXPECT_EQ(unknown.product.progress_percent, 100);
}

TEST(DownloadPackage, Refusals) {
    ServerRules rules(u"download-bad", kRules);
    struct Case { const char16_t* target; const char16_t* error; };
    const Case cases[] = {
        {u"/dl/short", u"文件下载失败，请重试"},
        {u"/dl/empty", u"文件下载失败，请重试"},
        {u"/dl/empty-no-length", u"文件下载失败，请重试"},
        {u"/dl/html", u"官网返回网页而非安装包，请检查下载接口是否已发布及下载地址配置。"},
        {u"/dl/missing", u"服务器返回 HTTP 404。"},
    };
    for (const Case& c : cases) {
        Download d;
        EXPECT_FALSE(d.Run(c.target)) << WideToUtf8(c.target);
        EXPECT_EQ(d.product.last_error, c.error) << WideToUtf8(c.target);
        EXPECT_FALSE(d.product.block_suspected);
        EXPECT_FALSE(d.product.progress_indeterminate);
        EXPECT_FALSE(FileExists(d.folder / u"package.bin")) << WideToUtf8(c.target);
    }
    // A body longer than announced: Wine's WinHTTP sometimes cuts it at the
    // announced length (as Windows always does) and sometimes hands over the
    // extra byte. Either way no package longer than announced is kept.
    Download longer;
    if (longer.Run(u"/dl/long")) {
        EXPECT_EQ(FileSize(longer.product.package_path), 999u);
    } else {
        EXPECT_EQ(longer.product.last_error, u"文件下载失败，请重试");
        EXPECT_FALSE(FileExists(longer.folder / u"package.bin"));
    }
    Download d;
    d.product.download_url = u"ftp://127.0.0.1/x";
    EXPECT_FALSE(DownloadPackage(d.product, d.t, nullptr, nullptr, nullptr));
    EXPECT_EQ(d.product.last_error, u"下载地址不是有效 HTTP/HTTPS 地址。");
}

// A pinned package is used only when it is the pinned one; any other content
// is deleted and forgotten before anything could use it.
TEST(DownloadPackage, PinnedHashMustMatch) {
    ServerRules rules(u"download-pin", kRules);
    const std::u16string hello = u"2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";
    std::u16string helloUpper = hello;
    for (char16_t& c : helloUpper) c = c >= u'a' && c <= u'f' ? c - 32 : c;
    std::u16string otherLast = hello;
    otherLast.back() = u'5';
    struct Case { std::u16string pin; bool ok; };
    const Case cases[] = {{u"", true}, {hello, true}, {helloUpper, true}, {otherLast, false}};
    for (const Case& c : cases) {
        Download d;
        d.product.download_sha256 = c.pin;
        EXPECT_EQ(d.Run(u"/dl/hello"), c.ok) << WideToUtf8(c.pin);
        const WideBuffer package = d.folder / u"package.bin";
        if (c.ok) {
            EXPECT_EQ(d.t.package_hash, hello);
            EXPECT_EQ(FileSize(package), 5u);
            EXPECT_TRUE(d.Registered(package));
            continue;
        }
        EXPECT_EQ(d.product.last_error,
                  u"安装包校验失败：下载内容与软件目录登记的SHA-256不一致，可能被篡改，已停止安装。");
        EXPECT_TRUE(d.product.failed);
        EXPECT_FALSE(d.product.block_suspected);
        EXPECT_FALSE(d.product.progress_indeterminate);
        EXPECT_FALSE(FileExists(package));
        EXPECT_FALSE(FileExists(package + u".part"));
        EXPECT_FALSE(d.Registered(package));
        EXPECT_TRUE(d.t.package_hash.empty());
        EXPECT_EQ(d.t.package_size, 0u);
    }
}

TEST(DownloadPackage, WebPageIsLogged) {
    ServerRules rules(u"download-html", kRules);
    TestFolder logs;
    ScopedEnvironment logHere(L"LOCALAPPDATA", logs.path().c_str());
    Download d;
    EXPECT_FALSE(d.Run(u"/dl/html"));
    ByteBuffer log;
    ASSERT_TRUE(ReadWholeFile(logs / u"TwParcelwright\\logs\\install.log", log));
    EXPECT_NE(std::string(log.begin(), log.end())
                  .find(WideToUtf8(u"[Parcelwright] 下载链接最终返回网页，HTTP 200，Content-Type：Text/HTML; charset=utf-8\r\n")),
              std::string::npos);
}

TEST(DownloadPackage, LeftoverPartFileIsNeverOverwritten) {
    ServerRules rules(u"download-leftover", kRules);
    Download d;
    ASSERT_TRUE(WriteWholeFile(d.folder / u"package.bin.part", "someone else's", 14));
    EXPECT_FALSE(d.Run(u"/dl/plain"));
    EXPECT_EQ(d.product.last_error.rfind(u"无法创建下载文件（错误 80）", 0), 0u) << WideToUtf8(d.product.last_error);
    EXPECT_EQ(FileSize(d.folder / u"package.bin.part"), 14u);
}

TEST(DownloadPackage, Cancelled) {
    ServerRules rules(u"download-cancel", kRules);
    Download d;
    UniqueHandle cancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread canceller([&] {
        Sleep(150);
        SetEvent(cancel.get());
    });
    EXPECT_FALSE(d.Run(u"/dl/slow", cancel.get()));
    canceller.join();
    EXPECT_EQ(d.product.last_error, u"用户已取消下载。");
    EXPECT_FALSE(d.product.progress_indeterminate);
    EXPECT_FALSE(FileExists(d.folder / u"package.bin"));
    EXPECT_TRUE(d.Registered(d.folder / u"package.bin.part"));  // the partial file is the transaction's to remove
}

// Security software removing or cutting the file between the write and the
// check cannot be timed from outside, so the finishing step is driven directly.
TEST(FinishDownload, FileRemovedOrChangedRightAfterWritingLooksLikeQuarantine) {
    const std::u16string kQuarantine =
        u"已下载但是刚下载就被删除了，可能是杀毒软件拦截隔离导致，请解决杀毒软件后再试";
    for (bool removed : {true, false}) {
        Download d;
        d.product.package_path = d.folder / u"package.bin";
        ASSERT_TRUE(WriteWholeFile(d.product.package_path + u".part", "12345", 5));
        d.product.bytes_received = 6;  // what the transfer wrote
        if (removed) {
            ASSERT_TRUE(DeleteFileW(W(d.product.package_path + u".part")));
        }
        EXPECT_FALSE(FinishDownload(d.product, d.t, true, nullptr));
        EXPECT_EQ(d.product.last_error, kQuarantine);
        EXPECT_TRUE(d.product.block_suspected);
        EXPECT_TRUE(d.product.failed);
        EXPECT_EQ(d.product.status_text, u"失败");
        EXPECT_FALSE(FileExists(d.product.package_path));  // no rename was attempted
    }
}

TEST(FinishDownload, ExistingPackageIsNotReplaced) {
    Download d;
    d.product.package_path = d.folder / u"package.bin";
    ASSERT_TRUE(WriteWholeFile(d.product.package_path + u".part", "12345", 5));
    ASSERT_TRUE(WriteWholeFile(d.product.package_path, "older", 5));
    d.product.bytes_received = 5;
    EXPECT_FALSE(FinishDownload(d.product, d.t, true, nullptr));
    EXPECT_EQ(d.product.last_error.rfind(u"无法保存完成的安装包（错误 ", 0), 0u) << WideToUtf8(d.product.last_error);
    ByteBuffer bytes;
    ASSERT_TRUE(ReadWholeFile(d.product.package_path, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "older");
}

}  // namespace
