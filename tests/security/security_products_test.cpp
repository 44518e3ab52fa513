#include "security/security_products.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/log.h"

namespace {

TEST(ClassifySecurityProduct, RulesInTheirOrder) {
    struct Case { const char16_t* name; uint32_t bit; };
    const Case cases[] = {
        {u"Microsoft Defender Antivirus", 0},
        {u"Windows defender", 0},                      // ASCII case ignored
        {u"Microsoft Security Essentials", 0},
        {u"360 Defender", 0},                           // the Microsoft rule comes first
        {u"Bitdefender Antivirus Free", kSecurityOther}, // another vendor's name ending in it
        {u"BITDEFENDER Total Security", kSecurityOther},
        {u"Bitdefender and Windows-Defender", 0},        // a second, separate occurrence counts
        {u"Defender", 0},
        {u"安全Defender", 0},                            // only ASCII letters join the word
        {u"360安全卫士", kSecurity360Safeguard},
        {u"360 Total Security Safeguard", kSecurity360Safeguard},
        {u"360杀毒", kSecurity360Antivirus},
        {u"360 antivirus", kSecurity360Antivirus},
        {u"360安全卫士 杀毒", kSecurity360Safeguard},     // the first matching rule decides
        {u"360 Total Security", kSecurityOther},        // "360" alone is not enough
        {u"金山毒霸", kSecurityKingsoft},
        {u"KINGSOFT ANTIVIRUS", kSecurityKingsoft},
        {u"腾讯电脑管家", kSecurityTencent},
        {u"Tencent PC Manager", kSecurityTencent},
        {u"Avast Free Antivirus", kSecurityAvast},
        {u"Avast Premium Security", kSecurityAvast},
        {u"Avast One", kSecurityOther},
        {u"avast one essential", kSecurityOther},
        {u"Some Other Antivirus", kSecurityOther},
        {u"安全卫士", kSecurityOther},                   // no "360"
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifySecurityProduct(c.name), c.bit) << WideToUtf8(c.name);
}

// A scripted enumerator: each step, and how many milliseconds it takes.
struct Script {
    std::vector<std::pair<ProductEnumStep, uint32_t>> steps;
    size_t at = 0;
    uint32_t clock = 1000;
    static ProductEnumStep Next(void* context) {
        auto* s = static_cast<Script*>(context);
        if (s->at >= s->steps.size()) return {ProductEnumStep::kTimedOut, u"", kEnumTimedOutStatus};
        auto [step, cost] = s->steps[s->at++];
        s->clock += cost;
        return step;
    }
    static uint32_t Now(void* context) { return static_cast<Script*>(context)->clock; }
    uint32_t Run() { return FoldSecurityProducts({Next, Now, this}); }
};

ProductEnumStep Object(const char16_t* name) { return {ProductEnumStep::kObject, name, 0}; }
const ProductEnumStep kNoMore{ProductEnumStep::kNoMore, u"", 0};
const ProductEnumStep kTimedOut{ProductEnumStep::kTimedOut, u"", kEnumTimedOutStatus};

TEST(FoldSecurityProducts, OutcomesOfTheWalk) {
    struct Case {
        const char* what;
        std::vector<std::pair<ProductEnumStep, uint32_t>> steps;
        uint32_t mask;
        std::vector<std::u16string> log;
    };
    const Case cases[] = {
        {"no product", {{kNoMore, 0}}, 0, {}},
        {"two products, two bits",
         {{Object(u"360杀毒"), 10}, {Object(u"Avast Free Antivirus"), 10}, {kNoMore, 0}},
         kSecurity360Antivirus | kSecurityAvast,
         {u"[Parcelwright] Windows登记的安全产品：360杀毒", u"[Parcelwright] Windows登记的安全产品：Avast Free Antivirus"}},
        {"time-outs of 500 ms simply continue", {{kTimedOut, 500}, {kTimedOut, 500}, {Object(u"金山毒霸"), 10}, {kNoMore, 0}},
         kSecurityKingsoft, {u"[Parcelwright] Windows登记的安全产品：金山毒霸"}},
        {"a failed request keeps what was found",
         {{Object(u"腾讯电脑管家"), 10}, {{ProductEnumStep::kFailed, u"", 0x80041003}, 0}},
         kSecurityTencent | kSecurityIncomplete,
         {u"[Parcelwright] Windows登记的安全产品：腾讯电脑管家", u"[Parcelwright] 安全产品检测未完成：0x80041003"}},
        {"a product without a name", {{Object(u""), 10}, {kNoMore, 0}}, kSecurityIncomplete,
         {u"[Parcelwright] 安全产品检测未完成：0x80004005"}},
        // The budget spent: the log carries the last status, never a made-up 0.
        {"the six-second budget", {}, kSecurityIncomplete, {u"[Parcelwright] 安全产品检测未完成：0x00040004"}},
        {"the budget spent on slow answers",
         {{Object(u"金山毒霸"), 3000}, {Object(u"360杀毒"), 3000}, {kTimedOut, 500}},
         kSecurityKingsoft | kSecurity360Antivirus | kSecurityIncomplete,
         {u"[Parcelwright] Windows登记的安全产品：金山毒霸", u"[Parcelwright] Windows登记的安全产品：360杀毒",
          u"[Parcelwright] 安全产品检测未完成：0x00000000"}},
    };
    for (const Case& c : cases) {
        CapturedLogLines().clear();
        Script s;
        s.steps = c.steps;
        if (c.steps.empty()) {
            for (int i = 0; i < 20; ++i) s.steps.push_back({kTimedOut, 500});  // never answers
        }
        EXPECT_EQ(s.Run(), c.mask) << c.what;
        EXPECT_EQ(CapturedLogLines(), c.log) << c.what;
        if (c.steps.empty()) {
            EXPECT_EQ(s.at, 12u) << "requests until 6000 ms had passed";
        }
    }
}

}  // namespace
