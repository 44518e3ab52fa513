#include "catalog/http.h"

#include "base/deployment.h"
#include "base/text_format.h"

static WideBuffer VendorUrl(const char16_t* target) {
    WideBuffer url = kVendorOrigin;
    url += target;
    return url;
}

WideBuffer CatalogUrl() { return VendorUrl(u"/?route=%5Eapp/install/get_list&install_oem_id=1"); }

WideBuffer FailureReportUrl() { return VendorUrl(u"/?route=%5Eapp/install/report_failure"); }

WideBuffer RequestTarget(std::u16string_view path, std::u16string_view query) {
    if (path.empty() && query.empty()) return WideBuffer(u"/");
    WideBuffer target(path);
    target.append(query);
    return target;
}

bool FitsLimit(size_t held, size_t adding, size_t limit) { return held <= limit && adding <= limit - held; }

uint64_t ParseContentLength(std::u16string_view text) {
    uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') break;
        unsigned digit = c - u'0';
        if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

const char* FailureTypeText(uint32_t failureKind) {
    static const char* const kTypes[] = {"download_failed", "main_program_run_failed", "file_missing",
                                         "package_corrupted", "installer_unlaunchable"};
    return failureKind >= 1 && failureKind <= 5 ? kTypes[failureKind - 1] : nullptr;
}

std::string FailureReportBody(std::u16string_view pucType, uint32_t failureKind) {
    const char* type = FailureTypeText(failureKind);
    if (!type) return std::string();
    WideBuffer body;
    TextFormat(body, u"install_oem_id=1&puc_type=%s&failure_type=%S", WideBuffer(pucType), type);
    return WideToUtf8(body);
}
