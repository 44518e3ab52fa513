#include "catalog/catalog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "catalog/catalog_load.h"
#include "prereq/prerequisites.h"

namespace {

const std::u16string kFormat = u"软件目录响应格式或服务状态异常。";
const std::u16string kOrder = u"软件order排序字段必须为有效整数或空值。";
const std::u16string kSupportOs = u"support_os格式错误，应为字符串或系统标记字符串数组。";
const std::u16string kEnvironment = u"environment_programs格式错误，只能包含已支持的环境代码字符串。";
const std::u16string kRunname = u"runname 命令行格式错误。";
const std::u16string kMissing = u"软件目录缺少名称或产品编号。";
const std::u16string kDigits = u"产品编号必须为数字。";
const std::u16string kDuplicate = u"软件目录存在重复产品编号。";
const std::u16string kProgramName = u"产品主程序文件名不合法。";
const std::u16string kPin = u"download_sha256格式错误，应为64位十六进制SHA-256值。";
const std::u16string kTooMany = u"软件目录超过支持的64项，请联系客服。";

std::string Envelope(const std::string& items) {
    return R"({"code":"0","error_code":"0","val":{"items":[)" + items + "]}}";
}

struct Loaded {
    std::unique_ptr<AppState> app = std::make_unique<AppState>();
    bool ok = false;
    CatalogTable& table() { return app->catalog; }
    ProductEntry& operator[](int i) { return app->catalog.products[i]; }
};

Loaded Load(const std::string& items, uint32_t filter = 0, WindowsVersionCode os = kWindows10,
            uint32_t preferred = 0) {
    Loaded l;
    l.app->productFilter = filter;
    l.app->preferredProduct = preferred;
    l.app->windowsVersion = {os, true};
    CatalogReset(l.app->catalog);
    std::string doc = Envelope(items);
    l.ok = LoadCatalogDocument(*l.app, doc.data(), doc.size());
    return l;
}

std::u16string ErrorOf(const std::string& item) {
    Loaded l = Load(item);
    EXPECT_FALSE(l.ok) << item;
    return l.table().catalogError;
}

TEST(CatalogParseItem, Messages) {
    struct Case { const char* item; const std::u16string& message; };
    const Case cases[] = {
        {R"({"puc_type":1,"puc_name":"A","order":"+5"})", kOrder},
        {R"({"puc_type":1,"puc_name":"A","order":5.0})", kOrder},
        {R"({"puc_type":1,"puc_name":"A","order":"abc"})", kOrder},
        {R"({"puc_type":1,"puc_name":"A","order":true})", kOrder},
        {R"({"puc_type":1,"puc_name":"A","order":"-"})", kOrder},
        {R"({"puc_type":1,"puc_name":"A","order":" 5"})", kOrder},
        {R"({"puc_type":1,"puc_name":"A","order":9223372036854775808})", kOrder},
        {R"({"puc_type":1,"puc_name":"A","order":})", kOrder},
        {R"({"puc_type":1,"puc_name":"A","support_os":5})", kSupportOs},
        {R"({"puc_type":1,"puc_name":"A","support_os":})", kSupportOs},
        {R"({"puc_type":1,"puc_name":"A","support_os":["win10",7]})", kSupportOs},
        {R"({"puc_type":1,"puc_name":"A","support_os":"win\x"})", kSupportOs},
        {R"({"puc_type":1,"puc_name":"A","support_os":{}})", kSupportOs},
        {R"({"puc_type":1,"puc_name":"A","environment_programs":null})", kEnvironment},
        {R"({"puc_type":1,"puc_name":"A","environment_programs":"webview2"})", kEnvironment},
        {R"({"puc_type":1,"puc_name":"A","environment_programs":["WebView2"]})", kEnvironment},
        {R"({"puc_type":1,"puc_name":"A","environment_programs":["webview2",1]})", kEnvironment},
        {R"({"puc_type":1,"puc_name":"A","runname":"\"app.exe"})", kRunname},
        {R"({"puc_type":1})", kMissing},
        {R"({"puc_name":"A"})", kMissing},
        {R"({"puc_type":1,"puc_name":""})", kMissing},
        {R"({"puc_type":-1,"puc_name":"A"})", kMissing},
        {R"({"puc_type":2147483647,"puc_name":"A"})", kMissing},
        {R"({"puc_type":"","puc_name":"A"})", kMissing},
        {R"({"puc_type":"12a","puc_name":"A"})", kDigits},
        {R"({"puc_type":"-1","puc_name":"A"})", kDigits},
        {R"({"puc_type":"１２","puc_name":"A"})", kDigits},
        {R"({"puc_type":1,"puc_name":"A","runname":"sub\\app.exe"})", kProgramName},
        {R"({"puc_type":1,"puc_name":"A","runname":"C:app.exe"})", kProgramName},
        {R"({"puc_type":1,"puc_name":"A","runname":"a/b.exe -x"})", kProgramName},
        {R"({"puc_type":1,"puc_name":"A","runname":"\"a\u0001.exe\""})", kProgramName},
        {R"(1)", kMissing},  // an element that is not an object has no members
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.item), c.message) << c.item;
}

TEST(CatalogParseItem, RulesAreCheckedInOrder) {
    // Each item breaks two rules; the earlier rule's message wins.
    struct Case { const char* item; const std::u16string& message; };
    const Case cases[] = {
        {R"({"order":"x","support_os":5})", kOrder},
        {R"({"support_os":5,"environment_programs":null})", kSupportOs},
        {R"({"environment_programs":null,"runname":"\"x"})", kEnvironment},
        {R"({"runname":"\"x","download_sha256":"x"})", kRunname},
        {R"({"download_sha256":"x","puc_type":"1"})", kPin},
        {R"({"puc_type":"a","runname":"a\\b"})", kMissing},          // no name yet
        {R"({"puc_type":"a","puc_name":"A","runname":"a\\b"})", kDigits},
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.item), c.message) << c.item;
    // A duplicate is reported before a bad program name.
    Loaded l = Load(R"({"puc_type":1,"puc_name":"A"},{"puc_type":"1","puc_name":"B","runname":"a\\b"})");
    EXPECT_EQ(l.table().catalogError, kDuplicate);
}

TEST(CatalogParseItem, FieldsAndFlags) {
    Loaded l = Load(R"({"puc_type":"0012","puc_name":"名","version":"1.0","home_url":"HTTP://h",
        "icon":"i","update_description":"u","download_url":"https://d/x.zip",
        "update_error_url":"","open_url_download":"https://e","complete_url":"https://c",
        "update_complete_open_url":"https://ignored","support_os":"win7",
        "environment_programs":["dotnet_framework_35","directx_june2010","dotnet_framework_35"],
        "extra":{"nested":1}})");
    ASSERT_TRUE(l.ok) << WideToUtf8(l.table().catalogError);
    ProductEntry& p = l[0];
    EXPECT_EQ(p.puc_type, u"0012");  // a string number keeps its leading zeros
    EXPECT_EQ(p.puc_name, u"名");
    EXPECT_TRUE(p.has_home_page);
    EXPECT_EQ(p.error_url, u"https://e");
    EXPECT_EQ(p.complete_url, u"https://c");
    EXPECT_EQ(p.env_mask, 1u | 4096u);
    EXPECT_FALSE(p.os_supported);  // win7 on Windows 10
    EXPECT_TRUE(p.has_package);
    EXPECT_FALSE(p.selected);      // no filter: nothing is preselected by the parse
    EXPECT_EQ(p.status_text, u"等待下载");
    EXPECT_TRUE(p.launch_after_install);
}

// The fallback address is taken only when update_error_url gave an empty value.
TEST(CatalogParseItem, ErrorAndCompleteUrlFallbacks) {
    struct Case { const char* members; const char16_t* errorUrl; const char16_t* completeUrl; };
    const Case cases[] = {
        {R"("update_error_url":"https://u","open_url_download":"https://o")", u"https://u", u""},
        {R"("open_url_download":"https://o")", u"https://o", u""},
        {R"("update_error_url":null,"open_url_download":"https://o")", u"https://o", u""},
        {R"("update_error_url":"","open_url_download":"")", u"", u""},
        {R"("complete_url":"https://c","update_complete_open_url":"https://x")", u"", u"https://c"},
        {R"("update_complete_open_url":"https://x")", u"", u"https://x"},
    };
    for (const Case& c : cases) {
        Loaded l = Load(std::string(R"({"puc_type":1,"puc_name":"A",)") + c.members + "}");
        ASSERT_TRUE(l.ok) << c.members;
        EXPECT_EQ(l[0].error_url, c.errorUrl) << c.members;
        EXPECT_EQ(l[0].complete_url, c.completeUrl) << c.members;
    }
}

TEST(CatalogParseItem, EnvironmentProgramForms) {
    struct Case { const char* value; uint32_t mask; };
    const Case cases[] = {
        {"[]", 0}, {"[ ]", 0}, {R"(["webview2"])", PrerequisiteBit(u"webview2")},
        {R"(["directx_june2010","directx_june2010"])", 4096u},
    };
    for (const Case& c : cases) {
        Loaded l = Load(std::string(R"({"puc_type":1,"puc_name":"A","environment_programs":)") + c.value + "}");
        ASSERT_TRUE(l.ok) << c.value << " " << WideToUtf8(l.table().catalogError);
        EXPECT_EQ(l[0].env_mask, c.mask) << c.value;
    }
}

TEST(CatalogParseItem, ProductNumberForms) {
    struct Case { const char* value; std::u16string expected; };
    const Case cases[] = {
        {"12", u"12"}, {"\"12\"", u"12"}, {"0", u"0"}, {"2147483646", u"2147483646"},
        {"12.9", u"12"},  // the integer reading ignores what follows the digits
        {"\"00\"", u"00"},
    };
    for (const Case& c : cases) {
        Loaded l = Load(std::string(R"({"puc_name":"A","puc_type":)") + c.value + "}");
        ASSERT_TRUE(l.ok) << c.value;
        EXPECT_EQ(l[0].puc_type, c.expected) << c.value;
    }
}

TEST(CatalogParseItem, SupportOsForms) {
    struct Case { const char* value; std::u16string stored; };
    const Case cases[] = {
        {R"(["win10", "", "win11"])", u"win10,win11"},
        {R"([])", u""},
        {R"(null)", u""},
        {R"("win8,win10")", u"win8,win10"},
        {R"("")", u""},
        {R"(["\u0077in7"])", u"win7"},
    };
    for (const Case& c : cases) {
        Loaded l = Load(std::string(R"({"puc_type":1,"puc_name":"A","support_os":)") + c.value + "}");
        ASSERT_TRUE(l.ok) << c.value;
        EXPECT_EQ(l[0].support_os, c.stored) << c.value;
    }
}

// A pin is 64 hex digits in a string; absent or "" means none, and any other
// form stops the load rather than quietly dropping the check.
TEST(CatalogParseItem, DownloadSha256Forms) {
    const std::string lower = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    const std::string upper = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";
    struct Case { std::string value; bool ok; std::u16string stored; };
    const Case cases[] = {
        {"", true, u""},  // absent
        {R"("download_sha256":"")", true, u""},
        {R"("download_sha256":")" + lower + "\"", true, Utf8ToWide(lower)},
        {R"("download_sha256":")" + upper + "\"", true, Utf8ToWide(upper)},
        {R"("download_sha256":")" + upper.substr(0, 32) + lower.substr(32) + "\"", true,
         Utf8ToWide(upper.substr(0, 32) + lower.substr(32))},
        {R"("download_sha256":"\u0030)" + lower.substr(1) + "\"", true, Utf8ToWide("0" + lower.substr(1))},
        {R"("download_sha256":")" + lower.substr(1) + "\"", false, u""},        // 63 digits
        {R"("download_sha256":")" + lower + "0\"", false, u""},                 // 65 digits
        {R"("download_sha256":")" + lower.substr(1) + "g\"", false, u""},       // not hex
        {R"("download_sha256":")" + lower.substr(1) + " \"", false, u""},
        {R"("download_sha256":" )" + lower + "\"", false, u""},
        {R"("download_sha256":")" + lower.substr(1) + "０\"", false, u""},  // a wide digit
        {R"("download_sha256":"sha256:)" + lower + "\"", false, u""},
        {R"("download_sha256":null)", false, u""},
        {R"("download_sha256":1234)", false, u""},
        {R"("download_sha256":[")" + lower + "\"]", false, u""},
        {R"("download_sha256":{})", false, u""},
        {R"("download_sha256":true)", false, u""},
        {R"("download_sha256":")" + lower, false, u""},  // unterminated
    };
    for (const Case& c : cases) {
        std::string item = R"({"puc_type":1,"puc_name":"A","download_url":"http://x/a.zip")";
        if (!c.value.empty()) item += "," + c.value;
        item += "}";
        Loaded l = Load(item);
        EXPECT_EQ(l.ok, c.ok) << item;
        if (c.ok) {
            EXPECT_EQ(l[0].download_sha256, c.stored) << item;
        } else {
            EXPECT_EQ(l.table().catalogError, kPin) << item;
            EXPECT_EQ(l.table().productCount, 0) << item;
        }
    }
}

TEST(PackageMatchesPin, SameHashInEitherCase) {
    const std::u16string hash = u"2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";
    std::u16string upper = hash;
    for (char16_t& c : upper) c = c >= u'a' && c <= u'f' ? c - 32 : c;
    std::u16string otherLast = hash;
    otherLast.back() = u'5';
    struct Case { std::u16string pin; bool matches; };
    const Case cases[] = {
        {u"", true},  // nothing pinned
        {hash, true},
        {upper, true},
        {otherLast, false},
        {hash.substr(0, 63), false},
        {hash + u"0", false},
    };
    for (const Case& c : cases) EXPECT_EQ(PackageMatchesPin(c.pin, hash), c.matches) << WideToUtf8(c.pin);
    EXPECT_FALSE(PackageMatchesPin(hash, u""));  // a file that could not be hashed never matches a pin
}

TEST(SplitRunname, Forms) {
    struct Case { const char16_t* runname; bool ok; const char16_t* file; const char16_t* arguments; };
    const Case cases[] = {
        {u"\"My App.exe\" -q", true, u"My App.exe", u"-q"},
        {u"app.exe  -a  -b ", true, u"app.exe", u"-a  -b "},
        {u"app.exe\t-x", true, u"app.exe", u"-x"},
        {u"app.exe", true, u"app.exe", u""},
        {u"\"a b.exe\"", true, u"a b.exe", u""},
        {u"\"a.exe\"-x", true, u"a.exe", u"-x"},
        {u"\"\" -x", true, u"", u"-x"},
        {u"\"app.exe", false, u"", u""},
    };
    for (const Case& c : cases) {
        WideBuffer file, arguments;
        EXPECT_EQ(SplitRunname(c.runname, file, arguments), c.ok) << WideToUtf8(c.runname);
        if (c.ok) {
            EXPECT_EQ(file, c.file);
            EXPECT_EQ(arguments, c.arguments);
        }
    }
}

TEST(ParseOrderValue, Forms) {
    struct Case { const char* text; bool ok; bool hasOrder; int64_t order; };
    const Case cases[] = {
        {"5", true, true, 5},
        {"\"5\"", true, true, 5},
        {"-3", true, true, -3},
        {"\"-9223372036854775808\"", true, true, INT64_MIN},
        {"null", true, false, 0},
        {"\"\"", true, false, 0},
        {"\"null\"", false, false, 0},
        {"+5", false, false, 0},
        {"5.0", false, false, 0},
        {"1e3", false, false, 0},
        {"\"abc\"", false, false, 0},
        {"true", false, false, 0},
        {"\" 5\"", false, false, 0},
        {"", false, false, 0},
        {"-", false, false, 0},
        {"9223372036854775808", false, false, 0},
        {"\"", false, false, 0},
    };
    for (const Case& c : cases) {
        bool has = true;
        int64_t order = 0;
        EXPECT_EQ(ParseOrderValue(c.text, std::string(c.text).size(), has, order), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(has, c.hasOrder) << c.text;
            if (has) {
                EXPECT_EQ(order, c.order) << c.text;
            }
        }
    }
}

std::string Items(std::initializer_list<const char*> orders) {
    std::string items;
    int n = 0;
    for (const char* order : orders) {
        if (n) items += ",";
        ++n;
        items += R"({"puc_type":)" + std::to_string(n) + R"(,"puc_name":"P")";
        if (order) items += std::string(R"(,"order":)") + order;
        items += "}";
    }
    return items;
}

std::string Numbers(Loaded& l) {
    std::string out;
    for (int i = 0; i < l.table().productCount; ++i) out += (i ? " " : "") + WideToUtf8(l[i].puc_type);
    return out;
}

TEST(CatalogSort, Orders) {
    struct Case { std::initializer_list<const char*> orders; uint32_t preferred; const char* expected; };
    const Case cases[] = {
        {{"5", nullptr, "1"}, 0, "1 2 3"},           // a slot without an order is a wall
        {{"5", "1"}, 0, "2 1"},
        {{"2", "2", "1", "2"}, 0, "3 1 2 4"},         // equal orders keep catalog order
        {{"3", "1", nullptr, "9", "-4", "0"}, 0, "2 1 3 5 6 4"},  // each run sorted on its own
        {{"1", "2", "9"}, 3, "3 1 2"},               // the preferred product comes first
        {{"1", nullptr, "9"}, 3, "3 1 2"},           // ... passing slots without an order
        {{"9", "1", "5"}, 1, "1 2 3"},               // pinned whatever its order; the rest sorted
        {{nullptr, nullptr}, 7, "1 2"},              // a preferred product not in the catalog
        {{"\"-9223372036854775808\"", "9223372036854775807"}, 0, "1 2"},
    };
    for (const Case& c : cases) {
        Loaded l = Load(Items(c.orders), 0, kWindows10, c.preferred);
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(Numbers(l), c.expected);
    }
}

TEST(CatalogLoad, SixtyFourItemsFitAndTheSixtyFifthFails) {
    std::string items;
    for (int i = 1; i <= 64; ++i) items += std::string(i > 1 ? "," : "") + R"({"puc_type":)" + std::to_string(i) + R"(,"puc_name":"P"})";
    Loaded full = Load(items);
    EXPECT_TRUE(full.ok);
    EXPECT_EQ(full.table().productCount, 64);

    Loaded over = Load(items + R"(,{"puc_type":65,"puc_name":"P","download_url":"https://x"})");
    EXPECT_FALSE(over.ok);
    EXPECT_EQ(over.table().catalogError, kTooMany);
    EXPECT_EQ(over.table().productCount, 64);

    // Items skipped by the filter count against no limit and are not validated.
    std::string skipped;
    for (int i = 1; i <= 100; ++i) skipped += R"({"puc_type":)" + std::to_string(i + 100) + R"(,"order":"bad"},)";
    Loaded filtered = Load(skipped + R"({"puc_type":7,"puc_name":"P","download_url":"https://x"})", 7);
    EXPECT_TRUE(filtered.ok) << WideToUtf8(filtered.table().catalogError);
    EXPECT_EQ(filtered.table().productCount, 1);
    EXPECT_TRUE(filtered[0].selected);
}

TEST(CatalogLoad, FilterMatchesTheRawNumberText) {
    const char* items = R"({"puc_type":"012","puc_name":"A"},{"puc_name":"no number"},{"puc_type":120,"puc_name":"B"})";
    Loaded l = Load(items, 12);
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.table().catalogError, u"官网软件目录中未找到指定产品（puc_type=12），请刷新或联系客服。");
    EXPECT_EQ(l.table().productCount, 0);
    EXPECT_FALSE(l.table().lockedProductMissing);

    Loaded locked;
    locked.app->productFilter = 12;
    locked.app->productLocked = true;
    CatalogReset(locked.table());
    std::string doc = Envelope(items);
    EXPECT_FALSE(LoadCatalogDocument(*locked.app, doc.data(), doc.size()));
    EXPECT_TRUE(locked.table().lockedProductMissing);
}

TEST(CatalogLoad, FilteredProductSelectedOnlyWhenInstallable) {
    struct Case { const char* item; bool selected; };
    const Case cases[] = {
        {R"({"puc_type":5,"puc_name":"A","download_url":"https://x/a.zip"})", true},
        {R"({"puc_type":5,"puc_name":"A","download_url":"https://"})", false},      // no host
        {R"({"puc_type":5,"puc_name":"A","download_url":"ftp://x/a.zip"})", false},
        {R"({"puc_type":5,"puc_name":"A","download_url":"https://x","support_os":"win7"})", false},
    };
    for (const Case& c : cases) {
        Loaded l = Load(c.item, 5);
        ASSERT_TRUE(l.ok) << c.item;
        EXPECT_EQ(l[0].selected, c.selected) << c.item;
    }
}

TEST(CatalogLoad, FailureLeavesNothingInstallable) {
    Loaded l = Load(R"({"puc_type":1,"puc_name":"A","download_url":"https://x/a.zip"},
                      {"puc_type":2,"puc_name":"B","order":"x","download_url":"https://x/b.zip"})");
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.table().catalogError, kOrder);
    ASSERT_EQ(l.table().productCount, 1);
    EXPECT_FALSE(l[0].has_package);
    EXPECT_FALSE(l[0].selected);
    // The failed item never reached a slot: the next slot is still in its reset state.
    EXPECT_TRUE(l[1].puc_name.empty());
    EXPECT_EQ(l[1].status_text, u"等待下载");
}

TEST(CatalogLoad, Envelope) {
    struct Case { std::string doc; bool ok; };
    const Case cases[] = {
        {R"({"code":"0","error_code":"0","val":{"items":[]}})", true},
        {R"({"error_code":"0","val":{"items":[]},"code":"0"})", true},
        {R"({"code":0,"error_code":"0","val":{"items":[]}})", false},
        {R"({"code":"0","error_code":0,"val":{"items":[]}})", false},
        {R"({"code":"1","error_code":"0","val":{"items":[]}})", false},
        {R"({"code":"0 ","error_code":"0","val":{"items":[]}})", false},
        {R"({"code":"0","val":{"items":[]}})", false},
        {R"({"code":"0","error_code":"0","val":[{"items":[]}]})", false},
        {R"({"code":"0","error_code":"0","val":{},"items":[]})", false},
        {R"({"code":"0","error_code":"0","val":{"items":{}}})", false},
        {R"({"code":"0","error_code":"0","val":{"items":[}]}})", false},
        {R"({"code":"0","error_code":"0","val":{"items":[})", false},
        // "code" is the first occurrence anywhere, even inside "val".
        {R"({"val":{"code":"1","items":[]},"code":"0","error_code":"0"})", false},
        {"", false},
        {"<html>502</html>", false},
    };
    for (const Case& c : cases) {
        auto app = std::make_unique<AppState>();
        CatalogReset(app->catalog);
        EXPECT_EQ(LoadCatalogDocument(*app, c.doc.data(), c.doc.size()), c.ok) << c.doc;
        EXPECT_EQ(app->catalog.catalogError, c.ok ? u"" : kFormat) << c.doc;
    }
}

TEST(IsEligible, Modes) {
    struct Case {
        bool manifestInvalid, installed, hasPackage, osSupported;
        const char16_t* version;
        const char16_t* installedVersion;
        bool install, uninstall, update;
    };
    const Case cases[] = {
        {false, false, true, true, u"2", u"", true, false, false},
        {false, false, false, true, u"2", u"", false, false, false},
        {false, false, true, false, u"2", u"", false, false, false},
        {false, true, true, true, u"2", u"1", true, true, true},
        {false, true, true, true, u"2", u"2", true, true, false},   // same version: no update
        {false, true, true, true, u"", u"2", true, true, true},
        {false, true, true, true, u"2", u"", true, true, true},
        {false, true, true, true, u"2.0", u"2.0 ", true, true, true},  // exact comparison
        {false, true, false, true, u"2", u"1", false, true, false},
        {false, true, true, false, u"2", u"1", false, true, false},
        {true, true, true, true, u"2", u"1", false, false, false},     // invalid manifest: never
    };
    for (const Case& c : cases) {
        ProductEntry p;
        p.manifest_invalid = c.manifestInvalid;
        p.installed = c.installed;
        p.has_package = c.hasPackage;
        p.os_supported = c.osSupported;
        p.version = c.version;
        p.installed_version = c.installedVersion;
        EXPECT_EQ(IsEligible(p, kModeInstall), c.install);
        EXPECT_EQ(IsEligible(p, kModeUninstall), c.uninstall);
        EXPECT_EQ(IsEligible(p, kModeUpdate), c.update);
    }
}

TEST(RecordFailure, MarksTheProduct) {
    ProductEntry p;
    p.progress_indeterminate = true;
    EXPECT_FALSE(RecordFailure(p, u"下载失败", true));
    EXPECT_EQ(p.last_error, u"下载失败");
    EXPECT_EQ(p.status_text, u"失败");
    EXPECT_TRUE(p.failed);
    EXPECT_TRUE(p.block_suspected);
    EXPECT_FALSE(p.progress_indeterminate);
    // Passing the product's own text keeps it (and must not read freed memory).
    p.last_error = u"一个很长的错误信息，长到足以放在堆上而不是字符串自身的缓冲区里";
    RecordFailure(p, p.last_error, false);
    EXPECT_EQ(p.last_error, u"一个很长的错误信息，长到足以放在堆上而不是字符串自身的缓冲区里");
    RecordFailure(p, std::u16string_view(p.last_error).substr(2, 3), false);
    EXPECT_EQ(p.last_error, u"很长的");
}

TEST(IsHttpUrl, Boundaries) {
    EXPECT_FALSE(IsHttpUrl(u"http://"));
    EXPECT_TRUE(IsHttpUrl(u"http://x"));
    EXPECT_FALSE(IsHttpUrl(u"https://"));
    EXPECT_TRUE(IsHttpUrl(u"https://x"));
    EXPECT_TRUE(IsHttpUrl(u"HTTPS://X"));
    EXPECT_FALSE(IsHttpUrl(u"ftp://x.example/a"));
    EXPECT_FALSE(IsHttpUrl(u" https://x"));
    EXPECT_FALSE(IsHttpUrl(u""));
}

TEST(CatalogReset, ResetAndRelease) {
    auto table = std::make_unique<CatalogTable>();
    table->products[3].puc_name = u"x";
    table->productCount = 4;
    table->catalogError = u"e";
    CatalogReset(*table);
    EXPECT_EQ(table->productCount, 0);
    EXPECT_TRUE(table->catalogError.empty());
    for (const ProductEntry& p : table->products) {
        EXPECT_TRUE(p.puc_name.empty());
        EXPECT_EQ(p.status_text, u"等待下载");
        EXPECT_TRUE(p.launch_after_install);
        EXPECT_TRUE(p.os_supported);
    }
    CatalogRelease(*table);
    EXPECT_TRUE(table->products[0].status_text.empty());
    EXPECT_FALSE(table->products[63].os_supported);
}

}  // namespace
