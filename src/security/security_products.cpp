#include "security/security_products.h"

#include "base/log.h"

namespace {

constexpr uint32_t kFailStatus = 0x80004005;  // E_FAIL: a product without a usable name

bool Has(std::u16string_view name, std::u16string_view part) { return ContainsNoCase(name, part); }

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// "Defender" as a word of its own: Microsoft's products, but not another
// vendor's name that merely ends in it.
bool HasDefenderWord(std::u16string_view name) {
    constexpr std::u16string_view kWord = u"Defender";
    for (size_t at = 0; at + kWord.size() <= name.size(); ++at) {
        if (EqualsNoCase(name.substr(at, kWord.size()), kWord) && (at == 0 || !IsAsciiLetter(name[at - 1]))) {
            return true;
        }
    }
    return false;
}

}  // namespace

uint32_t ClassifySecurityProduct(std::u16string_view name) {
    if (HasDefenderWord(name) || Has(name, u"Security Essentials")) return 0;
    if (Has(name, u"360") && (Has(name, u"安全卫士") || Has(name, u"Safeguard"))) return kSecurity360Safeguard;
    if (Has(name, u"360") && (Has(name, u"杀毒") || Has(name, u"Antivirus"))) return kSecurity360Antivirus;
    if (Has(name, u"金山毒霸") || Has(name, u"Kingsoft Antivirus")) return kSecurityKingsoft;
    if (Has(name, u"腾讯电脑管家") || Has(name, u"Tencent PC Manager")) return kSecurityTencent;
    if (!Has(name, u"Avast") || Has(name, u"Avast One")) return kSecurityOther;
    return kSecurityAvast;
}

uint32_t FoldSecurityProducts(const ProductEnumerator& enumerator) {
    uint32_t mask = 0, status = 0;
    bool stopped = false;
    const uint32_t start = enumerator.now(enumerator.context);
    // When the budget runs out the log names the last status the enumerator
    // gave (a time-out's, typically), not a made-up success.
    while (!stopped && enumerator.now(enumerator.context) - start < kSecurityScanBudgetMs) {
        ProductEnumStep step = enumerator.next(enumerator.context);
        if (step.kind == ProductEnumStep::kNoMore) return mask;
        status = step.status;
        if (step.kind == ProductEnumStep::kFailed) {
            stopped = true;
        } else if (step.kind == ProductEnumStep::kObject) {
            if (step.name.empty()) {
                status = kFailStatus;
                stopped = true;
                continue;
            }
            LogLine(u"[Parcelwright] Windows登记的安全产品：%s", step.name);
            mask |= ClassifySecurityProduct(step.name);
        }
    }
    LogLine(u"[Parcelwright] 安全产品检测未完成：0x%08x", status);
    return mask | kSecurityIncomplete;
}
