// Fuzzes the JSON reader's member search, string conversion and array walk,
// and the catalog load built on them, over libFuzzer's exactly-sized buffer so
// AddressSanitizer faults on any read past the end.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "catalog/catalog.h"
#include "catalog/catalog_load.h"
#include "catalog/json_reader.h"

namespace {

const char* const kKeys[] = {"a", "code", "val", "items", "puc_type", "support_os", "", "order"};

void Check(bool condition) {
    if (!condition) std::abort();
}

bool ConvertElement(const char* element, size_t length, void* context) {
    WideBuffer text;
    JsonUnescapeString(element, length, text);
    auto* count = static_cast<size_t*>(context);
    return ++*count < 100000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* buffer = reinterpret_cast<const char*>(data);
    for (const char* key : kKeys) {
        JsonSpan span = JsonFindMember(buffer, size, key);
        if (span.found) {
            Check(span.start >= buffer && span.start + span.length <= buffer + size);
            WideBuffer text;
            JsonUnescapeString(span.start, span.length, text);
        }
        WideBuffer text;
        JsonGetString(buffer, size, key, text);
        int64_t number = 0;
        JsonGetInt64(buffer, size, key, number);
        size_t count = 0;
        JsonForEachElement(buffer, size, key, ConvertElement, &count);
    }
    for (size_t position = 0; position < size && position < 64; ++position) {
        size_t end = JsonValueEnd(buffer, size, position);
        Check(end <= size);
    }
    static auto app = std::make_unique<AppState>();
    app->productFilter = size % 3 == 0 ? 12 : 0;
    CatalogReset(app->catalog);
    if (LoadCatalogDocument(*app, buffer, size)) Check(app->catalog.catalogError.empty());
    else Check(!app->catalog.catalogError.empty());
    Check(app->catalog.productCount >= 0 && app->catalog.productCount <= kCatalogSlots);
    return 0;
}
