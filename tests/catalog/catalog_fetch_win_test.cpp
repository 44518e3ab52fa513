#include "catalog/catalog_fetch_win.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "catalog/catalog.h"
#include "vendor_server_win.h"

namespace {

const char kCatalogTarget[] = "/?route=%5Eapp/install/get_list&install_oem_id=1";
const std::u16string kNetwork = u"无法获取软件目录，请检查网络后重试（安装器不使用代理）。";
const std::u16string kFormat = u"软件目录响应格式或服务状态异常。";

// A rule for the catalog address, as a JSON object's text.
std::string CatalogRule(const std::string& rule) {
    return std::string("{\"") + kCatalogTarget + "\": " + rule + "}";
}

std::string Body(const std::string& catalog) {
    std::string escaped;
    for (char c : catalog) {
        if (c == '\n') continue;  // raw line breaks are not allowed in a JSON string
        if (c == '"' || c == '\\') escaped.push_back('\\');
        escaped.push_back(c);
    }
    return "{\"body\": \"" + escaped + "\"}";
}

struct StatusSeen {
    int calls = 0;
    std::u16string text;
};

bool SeeStatus(void* context, ProductEntry* product, const char16_t* text) {
    auto* seen = static_cast<StatusSeen*>(context);
    ++seen->calls;
    seen->text = text;
    return product == nullptr;
}

struct Fetched {
    std::unique_ptr<AppState> app = std::make_unique<AppState>();
    bool ok = false;
    StatusSeen status;
};

Fetched Fetch(const std::string& rule, uint32_t filter = 0) {
    ServerRules rules(u"catalog", CatalogRule(rule));
    Fetched f;
    f.app->productFilter = filter;
    f.app->windowsVersion = {kWindows10, true};
    CatalogRelease(f.app->catalog);
    CatalogReset(f.app->catalog);
    f.ok = FetchCatalog(*f.app, SeeStatus, &f.status, nullptr);
    return f;
}

// All cases share the one catalog address, so they run one after another here.
TEST(FetchCatalog, Answers) {
    CatalogAddressLock catalog;
    TestFolder folder;
    ScopedEnvironment logHere(L"LOCALAPPDATA", folder.path().c_str());

    Fetched empty = Fetch(Body(R"({"code":"0","error_code":"0","val":{"items":[]}})"));
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.app->catalog.productCount, 0);
    EXPECT_EQ(empty.status.calls, 1);
    EXPECT_EQ(empty.status.text, u"软件目录加载完成。");

    Fetched two = Fetch(Body(R"({"code":"0","error_code":"0","val":{"items":[
        {"puc_type":2,"puc_name":"B","order":2,"download_url":"https://x/b.zip"},
        {"puc_type":1,"puc_name":"A","order":1}]}})"));
    ASSERT_TRUE(two.ok);
    ASSERT_EQ(two.app->catalog.productCount, 2);
    EXPECT_EQ(two.app->catalog.products[0].puc_type, u"1");  // sorted by order

    struct Case { const char* catalog; std::u16string error; };
    const Case failures[] = {
        {R"({"code":0,"error_code":0,"val":{"items":[{"puc_type":1,"puc_name":"A"}]}})", kFormat},
        {R"({"code":"1","error_code":"0","val":{"items":[{"puc_type":1,"puc_name":"A"}]}})", kFormat},
        {R"({"code":"0","error_code":"0","items":[{"puc_type":1,"puc_name":"A"}],"val":{"x":1}})", kFormat},
        {R"({"code":"0","error_code":"0","val":{"items":[{"puc_type":"x","puc_name":"A"}]}})", u"产品编号必须为数字。"},
    };
    for (const Case& c : failures) {
        Fetched f = Fetch(Body(c.catalog));
        EXPECT_FALSE(f.ok) << c.catalog;
        EXPECT_EQ(f.app->catalog.catalogError, c.error) << c.catalog;
        EXPECT_EQ(f.status.calls, 0);
    }

    // A failed item leaves the earlier slot neither selected nor installable.
    Fetched bad = Fetch(Body(R"({"code":"0","error_code":"0","val":{"items":[
        {"puc_type":5,"puc_name":"A","download_url":"https://x/a.zip"},
        {"puc_type":6,"puc_name":"B","order":"1.5"}]}})"));
    EXPECT_FALSE(bad.ok);
    ASSERT_EQ(bad.app->catalog.productCount, 1);
    EXPECT_FALSE(bad.app->catalog.products[0].has_package);
    EXPECT_FALSE(bad.app->catalog.products[0].selected);

    Fetched filtered = Fetch(Body(R"({"code":"0","error_code":"0","val":{"items":[
        {"puc_type":5,"puc_name":"A","download_url":"https://x/a.zip"}]}})"), 12);
    EXPECT_FALSE(filtered.ok);
    EXPECT_EQ(filtered.app->catalog.catalogError, u"官网软件目录中未找到指定产品（puc_type=12），请刷新或联系客服。");

    // Transfer failures: the user reads about the network, the log keeps the reason.
    Fetched notFound = Fetch(R"({"status": 500, "body": "oops"})");
    EXPECT_FALSE(notFound.ok);
    EXPECT_EQ(notFound.app->catalog.catalogError, kNetwork);
    EXPECT_EQ(notFound.app->catalog.products[0].status_text, u"等待下载");

    Fetched html = Fetch(R"({"body": "<html>维护中</html>", "content_type": "text/html"})");
    EXPECT_FALSE(html.ok);
    EXPECT_EQ(html.app->catalog.catalogError, kFormat);

    // Cancelled before the answer was read: still a network failure to the user.
    {
        ServerRules rules(u"catalog", CatalogRule(Body(R"({"code":"0","error_code":"0","val":{"items":[]}})")));
        auto app = std::make_unique<AppState>();
        CatalogReset(app->catalog);
        UniqueHandle cancel(CreateEventW(nullptr, TRUE, TRUE, nullptr));
        EXPECT_FALSE(FetchCatalog(*app, nullptr, nullptr, cancel.get()));
        EXPECT_EQ(app->catalog.catalogError, kNetwork);
    }

    ByteBuffer log;
    ASSERT_TRUE(ReadWholeFile(folder / u"TwParcelwright\\logs\\install.log", log));
    std::string text(log.begin(), log.end());
    EXPECT_NE(text.find(WideToUtf8(u"] [Parcelwright] 软件目录请求失败：软件目录请求已取消。\r\n")), std::string::npos);
    EXPECT_NE(text.find("] [Parcelwright] \xE8\xBD\xAF\xE4\xBB\xB6\xE7\x9B\xAE\xE5\xBD\x95\xE5\x8A\xA0\xE8\xBD\xBD"
                        "\xE5\xAE\x8C\xE6\x88\x90\xE3\x80\x82\r\n"),  // 软件目录加载完成。
              std::string::npos);
    EXPECT_NE(text.find(WideToUtf8(u"] [Parcelwright] 软件目录请求失败：服务器返回 HTTP 500。\r\n")), std::string::npos)
        << text;
    EXPECT_FALSE(RequestsTo(u"/", u"route=%5Eapp/install/get_list&install_oem_id=1").empty());
}

}  // namespace
