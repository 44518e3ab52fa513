#include "catalog/catalog.h"

#include <utility>

#include "base/text_format.h"
#include "catalog/json_reader.h"
#include "prereq/prerequisites.h"

namespace {

const char16_t kTooManyItems[] = u"软件目录超过支持的64项，请联系客服。";
const char16_t kBadOrder[] = u"软件order排序字段必须为有效整数或空值。";
const char16_t kBadSupportOs[] = u"support_os格式错误，应为字符串或系统标记字符串数组。";
const char16_t kBadEnvironment[] = u"environment_programs格式错误，只能包含已支持的环境代码字符串。";
const char16_t kBadRunname[] = u"runname 命令行格式错误。";
const char16_t kBadDownloadSha256[] = u"download_sha256格式错误，应为64位十六进制SHA-256值。";
const char16_t kMissingNameOrNumber[] = u"软件目录缺少名称或产品编号。";
const char16_t kNumberNotDigits[] = u"产品编号必须为数字。";
const char16_t kDuplicateNumber[] = u"软件目录存在重复产品编号。";
const char16_t kBadProgramName[] = u"产品主程序文件名不合法。";

bool SpanIs(const JsonSpan& span, const char* text) {
    size_t n = std::char_traits<char>::length(text);
    return span.length == n && std::char_traits<char>::compare(span.start, text, n) == 0;
}

std::u16string DecimalText(uint64_t value) {
    WideBuffer text;
    TextFormat(text, u"%I64u", value);
    return text;
}

// With a product filter, only the item whose raw puc_type text is the
// filter's decimal text is used ("0012" is not 12).
bool PassesFilter(const char* item, size_t length, uint32_t filter) {
    if (filter == 0) return true;
    JsonSpan span = JsonFindMember(item, length, "puc_type");
    if (!span.found) return false;
    const char* text = span.start;
    size_t n = span.length;
    if (n >= 2 && text[0] == '"' && text[n - 1] == '"') {
        ++text;
        n -= 2;
    }
    std::u16string wanted = DecimalText(filter);
    if (n != wanted.size()) return false;
    for (size_t i = 0; i < n; ++i) {
        if (static_cast<unsigned char>(text[i]) != wanted[i]) return false;
    }
    return true;
}

struct StringArrayJoin {
    WideBuffer joined;
};

bool AppendOsElement(const char* element, size_t length, void* context) {
    auto* join = static_cast<StringArrayJoin*>(context);
    WideBuffer token;
    if (!JsonUnescapeString(element, length, token)) return false;
    if (token.empty()) return true;
    if (!join->joined.empty()) join->joined.push_back(u',');
    join->joined += token;
    return true;
}

bool ReadSupportOs(const char* item, size_t length, WideBuffer& supportOs) {
    JsonSpan span = JsonFindMember(item, length, "support_os");
    if (!span.found || SpanIs(span, "null")) return true;
    if (span.length == 0) return false;
    if (span.start[0] == '"') return JsonUnescapeString(span.start, span.length, supportOs);
    if (span.start[0] != '[') return false;
    StringArrayJoin join;
    if (!JsonForEachArrayElement(span.start, span.length, AppendOsElement, &join)) return false;
    supportOs = join.joined;
    return true;
}

bool AddPrerequisiteElement(const char* element, size_t length, void* context) {
    WideBuffer code;
    if (!JsonUnescapeString(element, length, code)) return false;
    uint32_t bit = PrerequisiteBit(code);
    if (bit == 0) return false;
    *static_cast<uint32_t*>(context) |= bit;
    return true;
}

bool ReadEnvironmentPrograms(const char* item, size_t length, uint32_t& mask) {
    JsonSpan span = JsonFindMember(item, length, "environment_programs");
    if (!span.found) return true;
    if (span.length < 2 || span.start[0] != '[') return false;
    uint32_t bits = 0;
    if (!JsonForEachArrayElement(span.start, span.length, AddPrerequisiteElement, &bits)) return false;
    mask = bits;
    return true;
}

// Absent or "": not pinned. Anything else must be a string of 64 hex digits;
// a pin that cannot be read is never taken for no pin.
bool ReadDownloadSha256(const char* item, size_t length, WideBuffer& pin) {
    JsonSpan span = JsonFindMember(item, length, "download_sha256");
    if (!span.found) return true;
    WideBuffer text;
    if (!JsonUnescapeString(span.start, span.length, text)) return false;
    if (text.empty()) return true;
    if (!IsSha256Text(text)) return false;
    pin = text;
    return true;
}

void ReadStringFields(const char* item, size_t length, ProductEntry& p) {
    JsonGetString(item, length, "home_url", p.home_url);
    p.has_home_page = IsHttpUrl(p.home_url);
    JsonGetString(item, length, "puc_name", p.puc_name);
    JsonGetString(item, length, "icon", p.icon);
    JsonGetString(item, length, "version", p.version);
    JsonGetString(item, length, "update_description", p.update_description);
    JsonGetString(item, length, "download_url", p.download_url);
    JsonGetString(item, length, "runname", p.runname);
    JsonGetString(item, length, "update_error_url", p.error_url);
    if (p.error_url.empty()) JsonGetString(item, length, "open_url_download", p.error_url);
    JsonGetString(item, length, "complete_url", p.complete_url);
    if (p.complete_url.empty()) JsonGetString(item, length, "update_complete_open_url", p.complete_url);
}

void ReadProductNumber(const char* item, size_t length, WideBuffer& pucType) {
    int64_t number = 0;
    if (JsonGetInt64(item, length, "puc_type", number) && number >= 0 && number <= 2147483646) {
        pucType = DecimalText(static_cast<uint64_t>(number));
    } else {
        JsonGetString(item, length, "puc_type", pucType);
    }
}

bool IsBadProgramNameChar(char16_t c) { return c < 0x20 || c == u'/' || c == u'\\' || c == u':'; }

bool Stop(CatalogTable& table, const char16_t* message) {
    table.catalogError = message;
    return false;
}

// Reads one item's fields into a record in its reset state, checking each
// in the order the load reports them; null on success, else the message that
// stops the load.
const char16_t* FillProduct(const char* item, size_t length, const AppState& app, ProductEntry& p) {
    JsonSpan order = JsonFindMember(item, length, "order");
    if (order.found && !ParseOrderValue(order.start, order.length, p.has_order, p.order)) return kBadOrder;
    if (!ReadSupportOs(item, length, p.support_os)) return kBadSupportOs;
    if (!ReadEnvironmentPrograms(item, length, p.env_mask)) return kBadEnvironment;
    p.os_supported = IsOsSupported(p.support_os, app.windowsVersion.code);
    ReadStringFields(item, length, p);
    if (!p.runname.empty()) {
        WideBuffer fileName, arguments;
        if (!SplitRunname(p.runname, fileName, arguments)) return kBadRunname;
        p.runname = fileName;
        p.run_arguments = arguments;
    }
    if (!ReadDownloadSha256(item, length, p.download_sha256)) return kBadDownloadSha256;
    ReadProductNumber(item, length, p.puc_type);
    if (p.puc_name.empty() || p.puc_type.empty()) return kMissingNameOrNumber;
    if (!IsDecimalDigits(p.puc_type)) return kNumberNotDigits;
    for (int i = 0; i < app.catalog.productCount; ++i) {
        if (EqualsNoCase(app.catalog.products[i].puc_type, p.puc_type)) return kDuplicateNumber;
    }
    for (char16_t c : p.runname) {
        if (IsBadProgramNameChar(c)) return kBadProgramName;
    }
    p.has_package = IsHttpUrl(p.download_url);
    p.selected = app.productFilter != 0 && p.has_package && p.os_supported;
    if (!p.has_package) p.status_text = u"暂无安装包";
    return nullptr;
}

bool IsPinned(const ProductEntry& p, const std::u16string& preferred) {
    return !preferred.empty() && EqualsNoCase(p.puc_type, preferred);
}

bool ShouldMoveLeft(const ProductEntry& left, const ProductEntry& right, const std::u16string& preferred) {
    bool leftPinned = IsPinned(left, preferred), rightPinned = IsPinned(right, preferred);
    if (leftPinned || rightPinned) return rightPinned && !leftPinned;
    return left.has_order && right.has_order && right.order < left.order;
}

}  // namespace

void CatalogRelease(CatalogTable& table) {
    for (ProductEntry& p : table.products) {
        p = ProductEntry();
        p.status_text.clear();
        p.launch_after_install = false;
        p.os_supported = false;
    }
    table.productCount = 0;
    table.lockedProductMissing = false;
    table.catalogError.clear();
}

void CatalogReset(CatalogTable& table) {
    for (ProductEntry& p : table.products) p = ProductEntry();
    table.productCount = 0;
    table.lockedProductMissing = false;
    table.catalogError.clear();
}

bool ParseOrderValue(const char* text, size_t length, bool& hasOrder, int64_t& order) {
    hasOrder = false;
    if (length == 4 && std::char_traits<char>::compare(text, "null", 4) == 0) return true;
    if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
        ++text;
        length -= 2;
        if (length == 0) return true;
    }
    if (length == 0) return false;
    size_t digits = text[0] == '-' ? 1 : 0;
    if (digits == length) return false;
    for (size_t i = digits; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    if (!JsonParseInt64(text, length, order)) return false;
    hasOrder = true;
    return true;
}

bool SplitRunname(std::u16string_view runname, WideBuffer& fileName, WideBuffer& arguments) {
    std::u16string_view rest;
    if (!runname.empty() && runname[0] == u'"') {
        size_t close = runname.find(u'"', 1);
        if (close == std::u16string_view::npos) return false;
        fileName.assign(runname.substr(1, close - 1));
        rest = runname.substr(close + 1);
    } else {
        size_t blank = runname.find_first_of(u" \t");
        if (blank == std::u16string_view::npos) blank = runname.size();
        fileName.assign(runname.substr(0, blank));
        rest = runname.substr(blank);
    }
    size_t first = rest.find_first_not_of(u" \t");
    arguments.assign(first == std::u16string_view::npos ? std::u16string_view() : rest.substr(first));
    return true;
}

bool CatalogParseItem(const char* item, size_t length, void* context) {
    AppState& app = *static_cast<AppState*>(context);
    CatalogTable& table = app.catalog;
    if (!PassesFilter(item, length, app.productFilter)) return true;
    if (table.productCount >= kCatalogSlots) return Stop(table, kTooManyItems);
    // The item is built apart and stored only once it is valid, so the slots
    // past productCount always stay in their reset state.
    ProductEntry product;
    if (const char16_t* message = FillProduct(item, length, app, product)) return Stop(table, message);
    table.products[table.productCount++] = std::move(product);
    return true;
}

void CatalogSort(CatalogTable& table, uint32_t preferredProduct) {
    const std::u16string preferred = preferredProduct ? DecimalText(preferredProduct) : std::u16string();
    for (int i = 1; i < table.productCount; ++i) {
        for (int j = i; j > 0 && ShouldMoveLeft(table.products[j - 1], table.products[j], preferred); --j) {
            std::swap(table.products[j - 1], table.products[j]);
        }
    }
}
