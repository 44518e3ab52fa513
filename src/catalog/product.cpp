#include "catalog/product.h"

bool RecordFailure(ProductEntry& product, std::u16string_view message, bool blockSuspected) {
    // A copy first: message may be a view of last_error itself.
    product.last_error = WideBuffer(message);
    product.status_text = u"失败";
    product.block_suspected = blockSuspected;
    product.failed = true;
    product.progress_indeterminate = false;
    return false;
}

bool IsHttpUrl(std::u16string_view text) {
    return (text.size() > 7 && StartsWithNoCase(text, u"http://")) ||
           (text.size() > 8 && StartsWithNoCase(text, u"https://"));
}

bool IsSha256Text(std::u16string_view text) {
    if (text.size() != 64) return false;
    for (char16_t c : text) {
        bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hex) return false;
    }
    return true;
}

bool PackageMatchesPin(std::u16string_view pin, std::u16string_view hash) {
    return pin.empty() || EqualsNoCase(pin, hash);
}

bool IsEligible(const ProductEntry& product, int32_t operationMode) {
    if (product.manifest_invalid) return false;
    switch (operationMode) {
    case 0:
        return product.has_package && product.os_supported;
    case 1:
        return product.installed;
    case 2:
        if (!product.installed || !product.has_package || !product.os_supported) return false;
        return product.installed_version.empty() || product.version.empty() ||
               product.installed_version != product.version;
    default:
        return false;
    }
}
