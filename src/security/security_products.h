// Which antivirus products Windows has registered, as a bit mask the
// troubleshooting guide indexes its product table with. The classification
// of a display name and the walk over the registered products (with its time
// budget) need no system and are kept here.
#pragma once

#include <cstdint>

#include "base/text.h"

constexpr uint32_t kSecurity360Safeguard = 1;
constexpr uint32_t kSecurity360Antivirus = 2;
constexpr uint32_t kSecurityKingsoft = 4;
constexpr uint32_t kSecurityTencent = 8;
constexpr uint32_t kSecurityAvast = 16;
constexpr uint32_t kSecurityOther = 32;
constexpr uint32_t kSecurityIncomplete = 0x40000000;

// The product's bit, or 0 for Microsoft's own products.
uint32_t ClassifySecurityProduct(std::u16string_view displayName);

// What one request to the product enumerator gave.
struct ProductEnumStep {
    enum Kind { kObject, kNoMore, kTimedOut, kFailed } kind = kFailed;
    WideBuffer name;      // kObject: the displayName; empty when missing or not text
    uint32_t status = 0;  // the status the enumerator returned: the failing one, or
                          // kEnumTimedOutStatus for a time-out
};

// WBEM_S_TIMEDOUT: a request that ran out of time, which only means "ask again".
constexpr uint32_t kEnumTimedOutStatus = 0x00040004;

// The enumeration's source and a millisecond clock.
struct ProductEnumerator {
    ProductEnumStep (*next)(void* context);
    uint32_t (*now)(void* context);
    void* context;
};

constexpr uint32_t kSecurityScanBudgetMs = 6000;

// Requests products until there are no more, a request or a property read
// fails, or the budget is spent; logs every product found and, when the scan
// did not finish, "安全产品检测未完成" with the last status and sets bit 30.
uint32_t FoldSecurityProducts(const ProductEnumerator& enumerator);
