#include "catalog/catalog_load.h"

#include "base/text_format.h"
#include "catalog/catalog.h"
#include "catalog/json_reader.h"

const char16_t kCatalogFormatError[] = u"软件目录响应格式或服务状态异常。";

namespace {

bool StringMemberIsZero(const char* body, size_t length, const char* key) {
    WideBuffer value;
    return JsonGetString(body, length, key, value) && value == u"0";
}

bool CheckEnvelopeAndParse(AppState& app, const char* body, size_t length) {
    if (!StringMemberIsZero(body, length, "code")) return false;
    if (!StringMemberIsZero(body, length, "error_code")) return false;
    JsonSpan val = JsonFindMember(body, length, "val");
    if (!val.found || val.length < 2 || val.start[0] != '{') return false;
    return JsonForEachElement(val.start, val.length, "items", CatalogParseItem, &app);
}

}  // namespace

bool LoadCatalogDocument(AppState& app, const char* body, size_t length) {
    CatalogTable& table = app.catalog;
    bool ok = CheckEnvelopeAndParse(app, body, length);
    if (ok) {
        if (app.productFilter == 0 || table.productCount == 1) {
            CatalogSort(table, app.preferredProduct);
            return true;
        }
        table.catalogError.clear();
        TextFormat(table.catalogError, u"官网软件目录中未找到指定产品（puc_type=%u），请刷新或联系客服。",
                   app.productFilter);
        table.lockedProductMissing = app.productLocked;
    } else if (table.catalogError.empty()) {
        table.catalogError = kCatalogFormatError;
    }
    for (int i = 0; i < table.productCount; ++i) {
        table.products[i].selected = false;
        table.products[i].has_package = false;
    }
    return false;
}
