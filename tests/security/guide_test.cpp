#include "security/guide.h"

#include <gtest/gtest.h>

#include "security/security_products.h"
#include "startup/dpi.h"

namespace {

enum Action { kOpt0, kOpt1, kOpt2, kOpt3, kOpt4, kOpt5, kBack, kList, kNext, kManual };

GuideEffect Do(GuideModel& m, Action a) {
    switch (a) {
        case kBack: return GuideBack(m);
        case kList: return GuideBackToList(m);
        case kNext: return GuideNext(m);
        case kManual: return GuideManualSteps(m);
        default: return GuideOption(m, static_cast<int>(a));
    }
}

GuideModel At(uint32_t step, std::initializer_list<uint32_t> history = {0}, uint32_t returnStep = 0) {
    GuideModel m;
    m.step = step;
    m.returnStep = returnStep;
    m.generation = 100;
    for (uint32_t h : history) m.history[m.historyCount++] = h;
    return m;
}

bool Starts(const WideBuffer& text, std::u16string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

constexpr int kSame = -1;  // the step does not change
constexpr GuideEffect::Thread D = GuideEffect::kDefenderThread, P = GuideEffect::kProductThread,
                              N = GuideEffect::kNoThread;

TEST(GuideNavigation, EveryButtonFromEveryStep) {
    struct Case {
        uint32_t from;
        Action action;
        int to;
        int32_t history;  // entries afterwards; the start has one
        bool entered;
        GuideEffect::Thread thread;
        bool close;
        uint32_t generation;
    };
    const Case cases[] = {
        {0, kOpt0, 1, 2, true, D, false, 101},   // Defender check
        {0, kOpt1, 7, 2, true, N, false, 100},
        {0, kOpt2, 9, 2, true, N, false, 100},
        {0, kOpt3, 14, 2, true, P, false, 101},  // product detection
        {0, kOpt4, kSame, 1, false, N, false, 100},
        {0, kNext, kSame, 1, false, N, true, 100},
        {2, kOpt0, 4, 2, true, N, false, 100},
        {2, kOpt1, 14, 2, true, P, false, 101},
        {2, kOpt2, kSame, 1, false, N, false, 100},
        {13, kOpt3, 10, 2, true, N, false, 100},
        {14, kOpt5, 13, 1, false, N, false, 101}, // stops waiting: no entry, no log
        {14, kOpt0, kSame, 1, false, N, false, 100},
        {3, kNext, 9, 2, true, N, false, 100},   // returnStep 9
        {4, kNext, 5, 2, true, N, false, 100},
        {5, kNext, 6, 2, true, N, false, 100},
        {6, kNext, 12, 2, true, N, false, 100},
        {7, kNext, 8, 2, true, N, false, 100},
        {8, kNext, 12, 2, true, N, false, 100},
        {9, kNext, 12, 2, true, N, false, 100},
        {10, kNext, 11, 2, true, N, false, 100},
        {11, kNext, 12, 2, true, N, false, 100},
        {12, kNext, kSame, 1, false, N, true, 100},
        {1, kNext, 0, 2, true, N, false, 100},    // not offered there, but harmless
        {7, kBack, 0, 0, true, N, false, 100},
        {12, kList, 0, 0, false, N, false, 101},
        {5, kManual, 3, 2, true, N, false, 100},
    };
    for (const Case& c : cases) {
        GuideModel m = At(c.from, {0}, 9);
        GuideEffect e = Do(m, c.action);
        const std::string what = "step " + std::to_string(c.from) + " action " + std::to_string(c.action);
        EXPECT_EQ(m.step, c.to == kSame ? c.from : static_cast<uint32_t>(c.to)) << what;
        EXPECT_EQ(m.historyCount, c.history) << what;
        EXPECT_EQ(e.entered, c.entered) << what;
        EXPECT_EQ(e.thread, c.thread) << what;
        EXPECT_EQ(e.close, c.close) << what;
        EXPECT_EQ(m.generation, c.generation) << what;
        EXPECT_EQ(e.post, m.step == 9 && e.entered   ? GuideEffect::kOpenAppBrowser
                          : m.step == 4 && e.entered ? GuideEffect::kOpenThreatSettings
                                                     : GuideEffect::kNoOpen)
            << what;
    }
}

TEST(GuideNavigation, BackAndTheStack) {
    // Back enters 0 instead of 1 and re-opens Windows Security on 4 and 9.
    GuideModel m = At(13, {0, 1});
    GuideBack(m);
    EXPECT_EQ(m.step, 0u);
    m = At(5, {0, 4});
    EXPECT_EQ(GuideBack(m).post, GuideEffect::kOpenThreatSettings);
    m = At(0, {});
    GuideEffect none = GuideBack(m);
    EXPECT_FALSE(none.entered || none.refresh);

    // 40 forward moves keep 32 entries and still move.
    m = At(4, {});
    for (int i = 0; i < 40; ++i) GuideManualSteps(m), GuideNext(m);
    EXPECT_EQ(m.historyCount, kGuideHistoryLimit);
    EXPECT_EQ(m.step, 4u);
    EXPECT_EQ(m.history[kGuideHistoryLimit - 1], 3u);  // entries alternate 4, 3, ...

    // The manual page returns where it was opened from.
    m = At(6);
    GuideManualSteps(m);
    GuideNext(m);
    EXPECT_EQ(m.step, 6u);
}

TEST(GuideNavigation, ThreadResultsAndOpenRequests) {
    struct Case {
        const char* what;
        uint32_t step;
        uint32_t message;
        uintptr_t value, generation;
        int to;
        int32_t selected;
        int32_t history;
    };
    const Case cases[] = {
        {"Defender on", 1, kGuideDefenderStatus, 2, 100, 4, 0, 1},
        {"Defender unknown", 1, kGuideDefenderStatus, 0, 100, 2, 0, 1},
        {"stale Defender", 1, kGuideDefenderStatus, 2, 99, kSame, 0, 1},
        {"Defender after leaving", 0, kGuideDefenderStatus, 2, 100, kSame, 0, 1},
        {"one product", 14, kGuideSecurityProducts, kSecurityKingsoft, 100, 10, 2, 2},
        {"one product after Defender", 1, kGuideSecurityProducts, kSecurityAvast, 100, 10, 4, 2},
        {"only other", 14, kGuideSecurityProducts, kSecurityOther, 100, 13, 0, 1},
        {"two products", 14, kGuideSecurityProducts, kSecurityAvast | kSecurityTencent, 100, 13, 0, 1},
        {"incomplete with one", 14, kGuideSecurityProducts, kSecurityIncomplete | kSecurityAvast, 100, 13, 0, 1},
        {"nothing", 14, kGuideSecurityProducts, 0, 100, 13, 0, 1},
        {"stale products", 14, kGuideSecurityProducts, kSecurityAvast, 101, kSame, 0, 1},
        {"products after stopping", 13, kGuideSecurityProducts, kSecurityAvast, 100, kSame, 0, 1},
    };
    for (const Case& c : cases) {
        GuideModel m = At(c.step);
        if (c.message == kGuideDefenderStatus) GuideDefenderResult(m, c.value, c.generation);
        else GuideProductsResult(m, c.value, c.generation);
        EXPECT_EQ(m.step, c.to == kSame ? c.step : static_cast<uint32_t>(c.to)) << c.what;
        EXPECT_EQ(m.selectedProduct, c.selected) << c.what;
        EXPECT_EQ(m.historyCount, c.history) << c.what;
    }
    // Back from the product a detection chose shows it marked in the third-party list.
    GuideModel m = At(14);
    GuideProductsResult(m, kSecurityTencent, 100);
    GuideBack(m);
    EXPECT_EQ(m.step, 13u);
    EXPECT_EQ(GuidePageFor(m).optionCaption[3], u"腾讯电脑管家（已检测）");
    EXPECT_EQ(GuidePageFor(m).optionCaption[2], u"金山毒霸");

    GuideEffect e;
    // A detection stopped by the user: its result changes nothing.
    m = At(14);
    GuideOption(m, 5);
    GuideProductsResult(m, kSecurityAvast, 100);
    EXPECT_EQ(m.step, 13u);
    EXPECT_EQ(m.detectedMask, 0u);

    // Link 513 opens the page of its step and comes back there from the manual path.
    m = At(5);
    EXPECT_FALSE(GuideOpenSecurityWantsAppBrowser(m));
    EXPECT_EQ(m.returnStep, 5u);
    m = At(9);
    EXPECT_TRUE(GuideOpenSecurityWantsAppBrowser(m));
    e = GuideOpenSecurityFailed(m);
    EXPECT_EQ(m.step, 3u);
    EXPECT_EQ(m.history[m.historyCount - 1], 9u);
    EXPECT_EQ(WideBuffer(e.subtitle),
              u"无法打开 Windows 安全中心，请从开始菜单搜索“Windows 安全中心”，或按下方路径手动进入。");
    EXPECT_EQ(GuideNext(m).post, GuideEffect::kOpenAppBrowser);
    EXPECT_EQ(m.step, 9u);

    EXPECT_TRUE(GuideAcceptsOpen(At(9), kGuideOpenAppBrowser, 100));
    EXPECT_FALSE(GuideAcceptsOpen(At(9), kGuideOpenAppBrowser, 99));
    EXPECT_FALSE(GuideAcceptsOpen(At(9), kGuideOpenThreatSettings, 100));
    EXPECT_TRUE(GuideAcceptsOpen(At(4), kGuideOpenThreatSettings, 100));

    // Failures: threads that did not start, launches that failed.
    m = At(1);
    GuideThreadNotStarted(m, GuideEffect::kDefenderThread);
    EXPECT_EQ(m.step, 2u);
    m = At(14);
    GuideThreadNotStarted(m, GuideEffect::kProductThread);
    EXPECT_EQ(m.step, 13u);
    EXPECT_EQ(m.detectedMask, kSecurityIncomplete);
    m = At(4);
    e = GuideOpenFailed(m, kGuideOpenThreatSettings);
    EXPECT_EQ(m.step, 3u);
    EXPECT_EQ(m.returnStep, 4u);
    ASSERT_NE(e.subtitle, nullptr);
    GuideNext(m);
    EXPECT_EQ(m.step, 4u);  // which tries again
    m = At(9);
    e = GuideOpenFailed(m, kGuideOpenAppBrowser);
    EXPECT_EQ(m.step, 9u);
    EXPECT_FALSE(e.refresh);
    ASSERT_NE(e.subtitle, nullptr);
}

TEST(GuidePage, CaptionsAndVisibilityPerStep) {
    // Per step: options shown (bits), body, folder, open/manual links, tutorials, 511, 512, next caption.
    struct Case {
        uint32_t step;
        unsigned options;
        bool body, folder, security, tutorials, backToList, next;
        const char16_t* nextCaption;
        int picture;
    };
    const Case cases[] = {
        {0, 0x0F, false, false, false, false, false, true, u"关闭", 0},
        {1, 0, true, false, false, false, true, false, u"下一步", 0},
        {2, 0x03, false, false, false, false, true, false, u"下一步", 0},
        {3, 0, true, false, false, false, true, true, u"我已打开，继续", 101},
        {4, 0, true, false, false, false, true, true, u"下一步", 102},
        {5, 0, true, true, true, false, true, true, u"下一步", 103},
        {6, 0, true, false, true, false, true, true, u"下一步", 104},
        {7, 0, true, false, false, false, true, true, u"下一步", 105},
        {8, 0, true, false, false, false, true, true, u"下一步", 106},
        {9, 0, true, false, true, false, true, true, u"下一步", 107},
        {10, 0, true, false, false, false, true, true, u"下一步", 108},
        {11, 0, true, true, false, false, true, true, u"下一步", 109},
        {12, 0, true, false, false, true, true, true, u"已解决", 110},
        {13, 0x3F, true, false, false, false, true, false, u"下一步", 0},
        {14, 0x20, true, false, false, false, true, false, u"下一步", 0},
    };
    for (const Case& c : cases) {
        GuidePage p = GuidePageFor(At(c.step));
        unsigned options = 0;
        for (int i = 0; i < kGuideOptionCount; ++i) options |= p.optionVisible[i] ? 1u << i : 0;
        EXPECT_EQ(options, c.options) << c.step;
        EXPECT_EQ(p.bodyVisible, c.body) << c.step;
        EXPECT_EQ(p.folderVisible, c.folder) << c.step;
        EXPECT_EQ(p.openSecurityVisible && p.manualVisible, c.security) << c.step;
        EXPECT_EQ(p.tutorialsVisible, c.tutorials) << c.step;
        EXPECT_EQ(p.backToListVisible, c.backToList) << c.step;
        EXPECT_EQ(p.nextVisible, c.next) << c.step;
        if (c.next) {
            EXPECT_EQ(p.nextCaption, c.nextCaption) << c.step;
        }
        EXPECT_EQ(p.vendorHelpVisible, c.step == 10 || c.step == 11) << c.step;
        EXPECT_EQ(p.subtitleIsLink, c.step == 4) << c.step;
        EXPECT_EQ(p.subtitleSmall, c.step == 10 || c.step == 11) << c.step;
        EXPECT_EQ(p.pictureResource, c.picture) << c.step;
    }
    EXPECT_FALSE(GuidePageFor(At(0, {})).backVisible);
    EXPECT_EQ(GuidePageFor(At(12)).backToListCaption, u"仍有问题");
    EXPECT_EQ(GuidePageFor(At(9)).openSecurityText, u"<a>重新打开安全中心</a>");
    EXPECT_EQ(GuidePageFor(At(5)).openSecurityText, u"<a>打开 Windows 安全中心</a>");
    EXPECT_EQ(GuidePageFor(At(0)).optionCaption[1], u"2  Windows 已保护你的电脑");

    GuideModel m = At(10);
    m.selectedProduct = 4;
    GuidePage p = GuidePageFor(m);
    EXPECT_TRUE(Starts(p.subtitle, u"Avast Free / Premium · 第1步 / 恢复文件\r\n"));
    EXPECT_TRUE(p.subtitleSmall);
    EXPECT_TRUE(Starts(p.body, u"1. 打开 Avast"));
    m.selectedProduct = 99;  // out of the table: the "other" row, never past its end
    EXPECT_TRUE(Starts(GuidePageFor(m).subtitle, u"其他杀毒软件"));

    // The manual Security Center path follows where it returns to; the third-party
    // list's subtitle follows detection.
    EXPECT_EQ(GuidePageFor(At(3, {0}, 9)).body.substr(0, 4), u"开始 →");
    EXPECT_NE(GuidePageFor(At(3, {0}, 9)).body, GuidePageFor(At(3, {0}, 4)).body);
    m = At(13);
    const WideBuffer none = GuidePageFor(m).subtitle;
    m.detectedMask = kSecurityAvast;
    const WideBuffer found = GuidePageFor(m).subtitle;
    m.detectedMask = kSecurityIncomplete | kSecurityAvast;
    const WideBuffer incomplete = GuidePageFor(m).subtitle;
    EXPECT_TRUE(Starts(none, u"未识别到已"));
    EXPECT_TRUE(Starts(found, u"已检测到下"));
    EXPECT_TRUE(Starts(incomplete, u"自动检测未完成"));
    EXPECT_EQ(GuidePageFor(m).optionCaption[4], u"Avast Free / Premium（已检测）");
}

TEST(GuideLayout, FitsTheWorkAreaAndKeepsPicturesTwoToOne) {
    struct Fit { int32_t width, height; uint32_t dpi, expected; };
    const Fit fits[] = {
        {1280, 1024, 96, 96}, {1280, 1024, 144, 144},  // 1170 x 990 fits 1280 x 1024
        {800, 600, 96, 84},                            // (600 - 24) * 96 / 660, rounded
        {640, 480, 96, 72},                            // 66 would be too small
        {10, 10, 96, 72},
    };
    for (const Fit& f : fits) EXPECT_EQ(GuideFitDpi(f.dpi, f.width, f.height), f.expected) << f.width;

    for (uint32_t dpi : {72u, 96u, 144u}) {
        const int32_t w = 764 * static_cast<int32_t>(dpi) / 96, h = 621 * static_cast<int32_t>(dpi) / 96;
        for (uint32_t step = 3; step <= 12; ++step) {
            GuideLayout l = GuideLayoutFor(step, w, h, dpi);
            PixelRect r = GuidePictureRect(l.pictureArea);
            EXPECT_EQ(r.right - r.left, 2 * (r.bottom - r.top)) << step;
            EXPECT_GE(r.left, l.pictureArea.left) << step;
            EXPECT_LE(r.right, l.pictureArea.right) << step;
            EXPECT_GE(r.top, l.pictureArea.top) << step;
            EXPECT_LE(r.bottom, l.pictureArea.bottom) << step;
            // Centred both ways, to a pixel.
            EXPECT_LE(std::abs((r.left - l.pictureArea.left) - (l.pictureArea.right - r.right)), 1) << step;
            EXPECT_LE(std::abs((r.top - l.pictureArea.top) - (l.pictureArea.bottom - r.bottom)), 1) << step;
            // The body lies between the picture and what follows it on the page.
            EXPECT_LE(l.pictureArea.bottom, l.body.top) << step;
            EXPECT_LE(l.body.bottom, l.bottomLineY) << step;
            GuidePage page = GuidePageFor(At(step));
            if (page.folderVisible) {
                EXPECT_LE(l.body.bottom, l.folder.top) << step;
            }
            if (page.manualVisible || page.vendorHelpVisible) {
                EXPECT_LE(l.body.bottom, l.manual.top) << step;
            }
            if (page.tutorialsVisible) {
                EXPECT_LE(l.body.bottom, l.tutorials[0].top) << step;
            }
        }
    }
    // The reserve below the picture and the body's height per step (96 DPI, 764 x 621),
    // the body cut where the folder box, the links or the rule begin.
    struct Reserve { uint32_t step; int32_t reserve, bodyHeight; };
    const Reserve reserves[] = {
        {3, 148, 60}, {4, 180, 56}, {5, 225, 56}, {6, 180, 56}, {7, 148, 60}, {8, 148, 60},
        {9, 248, 138}, {10, 295, 175}, {11, 295, 135}, {12, 260, 56}, {13, 148, 60},
    };
    for (const Reserve& r : reserves) {
        GuideLayout l = GuideLayoutFor(r.step, 764, 621, 96);
        EXPECT_EQ(l.pictureArea.bottom, 621 - r.reserve) << r.step;
        EXPECT_EQ(l.body.top, 635 - r.reserve) << r.step;
        EXPECT_EQ(l.body.bottom - l.body.top, r.bodyHeight) << r.step;
    }
    // Each number is scaled on its own: 120 DPI, an odd client width.
    GuideLayout odd = GuideLayoutFor(5, 957, 777, 120);
    EXPECT_EQ(odd.pictureArea.right, 923);  // 738 units
    EXPECT_EQ(odd.folder.top, MulDivRound(622 - 146, 120, 96));

    // At 96 DPI and the 764 x 621 client: numbers as given in units.
    GuideLayout l = GuideLayoutFor(13, 764, 621, 96);
    EXPECT_EQ(l.options[1].left, 28 + (764 - 40) / 2);
    EXPECT_EQ(l.options[5].top, 142 + 94 * 2);
    EXPECT_EQ(l.next.left, 764 - 184);
    EXPECT_EQ(l.bottomLineY, 621 - 74);
    EXPECT_EQ(GuidePictureRect({28, 128, 736, 326}), (PixelRect{184, 128, 580, 326}));  // a product's restore and trust pages
    EXPECT_EQ(GuidePictureRect({0, 0, 0, 10}).right, 0);
}

TEST(GuideLinks, AddressesPerLink) {
    EXPECT_NE(GuideLinkAddress(kGuideContactLink, 0).find(u"/?route=user_center/contact&puctype=10"), WideBuffer::npos);
    EXPECT_EQ(GuideLinkAddress(kGuideVendorHelpLink, 5), GuideLinkAddress(kGuideTutorialLink + 2, 0));
    EXPECT_NE(GuideLinkAddress(kGuideVendorHelpLink, 2).find(u"/soft/paper_202006291931.shtml"), WideBuffer::npos);
    EXPECT_TRUE(GuideLinkAddress(kGuideCopyLink, 0).empty());
}

}  // namespace
