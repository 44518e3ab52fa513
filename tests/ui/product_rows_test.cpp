#include "ui/product_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace {

enum Flag : uint32_t {
    kFailed = 1, kSucceeded = 2, kErrorUrl = 4, kCompleteUrl = 8, kBlocked = 16, kMain = 32, kLaunch = 64, kArm = 128,
};

ProductView ViewOf(uint32_t f) {
    ProductView v;
    v.failed = f & kFailed;
    v.succeeded = f & kSucceeded;
    v.hasErrorUrl = f & kErrorUrl;
    v.hasCompleteUrl = f & kCompleteUrl;
    v.suspectedBlock = f & kBlocked;
    v.hasMainProgram = f & kMain;
    v.launchAfterInstall = f & kLaunch;
    return v;
}

// "R24-48 M72-94": kind letter and band in units, top to bottom.
std::string Bands(const RowActionList& list) {
    std::vector<const RowActionEntry*> sorted;
    for (int32_t i = 0; i < list.count; ++i) sorted.push_back(&list.entries[i]);
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->top < b->top; });
    std::string out;
    for (const RowActionEntry* e : sorted) {
        if (!out.empty()) out += ' ';
        out += "-RLMIAS"[e->kind];
        out += std::to_string(e->top) + "-" + std::to_string(e->bottom);
    }
    return out;
}

ProductEntry Installed(bool installed = true) {
    ProductEntry p;
    p.installed = installed;
    p.has_package = true;
    p.version = u"2.0";
    return p;
}

TEST(RowStatusLabel, FirstRuleThatAppliesPerMode) {
    struct Case {
        bool supported, invalid, installed, hasPackage, selected, sameVersion;
        int32_t mode;
        std::u16string label;
    };
    const Case cases[] = {
        {false, true, true, false, true, false, 2, u"不适合您的系统"},
        {true, true, true, true, true, true, 1, u"记录异常"},
        {true, false, false, false, true, false, 0, u"暂无安装包"},
        {true, false, false, true, true, false, 0, u""},
        {true, false, true, false, true, false, 0, u"已安装"},  // an installed product needs no package
        {true, false, true, true, true, false, 1, u"即将卸载"},
        {true, false, true, true, false, false, 1, u"已安装"},
        {true, false, true, true, true, true, 2, u"无需更新"},  // same version wins over the tick
        {true, false, true, true, true, false, 2, u"已安装，即将更新"},
        {true, false, true, true, false, false, 2, u"已安装 · 更新"},
    };
    for (const Case& c : cases) {
        ProductEntry p = Installed(c.installed);
        p.os_supported = c.supported;
        p.manifest_invalid = c.invalid;
        p.selected = c.selected;
        ProductView v;
        v.hasPackage = c.hasPackage;
        v.sameVersion = c.sameVersion;
        EXPECT_EQ(RowStatusLabel(p, v, c.mode), c.label) << "case " << (&c - cases);
    }
}

TEST(BadgeColor, FirstMatchingRule) {
    const struct { std::u16string label; Rgb color; } cases[] = {
        {u"", {156, 163, 175}},        {u"无需更新", {156, 163, 175}},       {u"无需异常", {156, 163, 175}},
        {u"暂无安装包", {203, 213, 224}}, {u"暂无异常", {203, 213, 224}},       {u"不适合您的系统", {239, 68, 68}},
        {u"记录异常", {239, 68, 68}},    {u"已安装 · 更新", {59, 130, 246}},  {u"无", {59, 130, 246}},
    };
    for (const auto& c : cases) EXPECT_EQ(BadgeColor(c.label), c.color) << "case " << (&c - cases);
}

TEST(BadgeRect, TextPlusInsetsGrowingLeftUpToTheLimit) {
    // Area of a 700-pixel row at 96 DPI: 572..688, name column from 101.
    const struct { PixelRect area; int32_t limit, width; uint32_t dpi; PixelRect badge; } cases[] = {
        {{572, 10, 688, 32}, 101, 40, 96, {632, 10, 688, 32}},
        {{572, 10, 688, 32}, 101, 100, 96, {572, 10, 688, 32}},      // exactly the old area
        {{572, 10, 688, 32}, 101, 101, 96, {571, 10, 688, 32}},      // wider text: past the area's left
        {{572, 10, 688, 32}, 101, 120, 96, {552, 10, 688, 32}},      // the longest label, whole
        {{572, 10, 688, 32}, 101, 571, 96, {101, 10, 688, 32}},      // exactly up to the name column
        {{572, 10, 688, 32}, 101, 572, 96, {101, 10, 688, 32}},      // capped there
        {{572, 10, 688, 32}, 101, INT32_MAX, 96, {101, 10, 688, 32}},
        {{858, 15, 1032, 48}, 152, 40, 144, {968, 15, 1032, 48}},    // insets of 12 pixels
        {{0, 0, 100, 40}, 0, 20, 96, {64, 9, 100, 31}},
        {{0, 13, 100, 40}, 0, 20, 120, {60, 13, 100, 40}},           // area 27 high, badge 28: truncated halves
        {{572, 10, 688, 32}, 101, 0, 96, {}},
        {{572, 10, 688, 32}, 101, -3, 96, {}},
        {{10, 0, 10, 22}, 10, 40, 96, {}},                           // no room
        {{10, 0, 10, 22}, 30, 40, 96, {}},                           // the limit right of the area
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BadgeRect(c.area, c.limit, c.width, c.dpi), c.badge) << "case " << (&c - cases);
    }
}

// Every label of the status table, at each DPI, with its text as wide as the
// list font makes it (about 10 units a character, 120 for the longest): the
// badge holds the text between its insets, ends at the area's right edge, stays
// clear of the name column, and the folder link sits left of it.
TEST(BadgeRect, EveryStatusLabelFitsAtEachDpi) {
    const std::u16string labels[] = {u"不适合您的系统", u"记录异常", u"暂无安装包", u"即将卸载", u"已安装",
                                     u"无需更新", u"已安装，即将更新", u"已安装 · 更新"};
    for (uint32_t dpi : {96u, 120u, 144u}) {
        const PixelRect row{0, 0, ScaleUnits(700, dpi), ScaleUnits(106, dpi)};
        for (const std::u16string& label : labels) {
            const std::string what = "dpi " + std::to_string(dpi) + " label of " + std::to_string(label.size());
            const int32_t text = ScaleUnits(15 * static_cast<int32_t>(label.size()), dpi);  // generous
            ProductEntry p = Installed();
            ProductView v;
            v.hasPackage = true;
            v.version = p.version;
            const RowLayout l = LayoutProductRow(0, p, v, 0, false, row, text, dpi);
            ASSERT_FALSE(l.badgeRect.IsEmpty()) << what;
            const PixelRect inner = BadgeTextRect(l.badgeRect, dpi);
            EXPECT_GE(inner.right - inner.left, text) << what;
            EXPECT_EQ(inner.left - l.badgeRect.left, ScaleUnits(8, dpi)) << what;
            EXPECT_EQ(l.badgeRect.right, l.badgeArea.right) << what;
            EXPECT_GE(l.badgeRect.left, NameColumnLeft(row, dpi)) << what;
            EXPECT_EQ(l.folderLink.right, l.badgeRect.left - ScaleUnits(6, dpi)) << what;
        }
    }
    // The update badge at 96 DPI: 120 pixels of text need 136, not the old 116.
    ProductEntry p = Installed();
    p.selected = true;
    p.installed_version = u"1.0";
    ProductView v;
    CopyProductView(p, v);
    const RowLayout l = LayoutProductRow(0, p, v, 2, false, {0, 0, 700, 106}, 120, 96);
    EXPECT_EQ(l.label, u"已安装，即将更新");
    EXPECT_EQ(l.badgeRect, (PixelRect{552, 10, 688, 32}));
    EXPECT_EQ(l.folderLink, (PixelRect{448, 10, 546, 32}));
}

TEST(BadgeRect, FolderLinkSitsLeftOfTheBadge) {
    const ProductView v;
    EXPECT_EQ(OpenFolderLinkRect({0, 0, 700, 106}, Installed(false), v, 0, 40, 96), PixelRect{});
    EXPECT_EQ(OpenFolderLinkRect({0, 0, 700, 106}, Installed(), v, 0, 40, 96), (PixelRect{528, 10, 626, 32}));
    EXPECT_EQ(OpenFolderLinkRect({0, 100, 1050, 259}, Installed(), v, 0, 40, 144), (PixelRect{812, 115, 959, 148}));
    // 120 DPI: half pixels round away from zero, as MulDiv does (10 units are 13 pixels, 6 are 8).
    EXPECT_EQ(OpenFolderLinkRect({0, 0, 875, 133}, Installed(), v, 0, 40, 120), (PixelRect{669, 13, 792, 40}));
    // Unmeasured label: the link stays beside the area's edge instead of jumping off the row.
    EXPECT_EQ(OpenFolderLinkRect({0, 0, 700, 106}, Installed(), v, 0, 0, 96), (PixelRect{584, 10, 682, 32}));
}

TEST(RowActions, BandsPerPageAndState) {
    const struct { int32_t page; uint32_t flags; const char* bands; } cases[] = {
        {1, kFailed, "R24-48"},
        {1, kFailed | kErrorUrl, "R24-48 M72-94"},
        {1, kFailed | kBlocked, "R24-48 S72-94"},
        {1, kFailed | kErrorUrl | kBlocked, "R24-48 M72-94 S96-118"},
        {1, kFailed | kBlocked | kMain | kArm, "R24-48 S72-94 A96-118"},
        // Shared band and no room below in a 126-unit row: the ARM entry takes the free band above,
        // clear of the percentage at 49-69 too.
        {1, kFailed | kErrorUrl | kBlocked | kMain | kArm, "A2-24 R24-48 M72-94 S96-118"},
        {1, kSucceeded | kMain | kCompleteUrl | kErrorUrl, ""},  // launch and more info are page 2's
        {1, kMain | kArm, "A96-118"},
        {1, kArm, ""},
        {2, kSucceeded | kMain | kLaunch, "L10-34"},
        {2, kSucceeded | kCompleteUrl, "I41-63"},
        {2, kFailed | kErrorUrl | kCompleteUrl | kSucceeded | kMain, "R10-34 M41-63"},
        {2, kFailed | kCompleteUrl, "R10-34 I41-63"},
        {2, kErrorUrl, ""},
        {2, kMain | kArm, "A75-100"},
        {2, kBlocked | kMain | kArm, "S75-97 A97-119"},  // shared band: moved below
        {2, kFailed | kErrorUrl | kBlocked, "R10-34 M41-63 S75-97"},
        {0, kFailed | kErrorUrl | kBlocked | kMain | kArm, ""},
        {3, kFailed | kErrorUrl | kBlocked | kMain | kArm, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Bands(RowActions(c.page, ViewOf(c.flags), c.flags & kArm)), c.bands)
            << "page " << c.page << " flags " << c.flags;
    }
}

TEST(RowActions, LaunchBoxShowsTheMarkBesideItsCaption) {
    for (bool mark : {false, true}) {
        const ProductView v = ViewOf(kSucceeded | kMain | (mark ? uint32_t{kLaunch} : 0u));
        const RowActionEntry e = RowActions(2, v, false).entries[0];
        EXPECT_EQ(e.checked, mark);
        const RowActionPlace place = PlaceRowAction(e, {0, 300, 1050, 510}, 144);
        EXPECT_EQ(place.band, (PixelRect{864, 315, 1038, 351}));
        EXPECT_EQ(place.checkBox, (PixelRect{864, 318, 888, 342}));
        EXPECT_EQ(place.text.left, 896);  // 21 units is 31.5 pixels: rounded up, as MulDiv does
    }
    EXPECT_EQ(PlaceRowAction(RowActions(2, ViewOf(kFailed), false).entries[0], {0, 0, 700, 140}, 96).checkBox,
              PixelRect{});
}

// Space performs the first band's action only, even where another entry is drawn
// above it; a menu or key may act only on what the row draws.
TEST(RowKeys, SpaceTakesTheFirstBandAndOnlyOfferedActionsRun) {
    const struct { int32_t page; uint32_t flags; RowActionKind space; const char* offered; } cases[] = {
        {1, kFailed | kErrorUrl | kBlocked | kMain | kArm, kRowActionRetry, "RMSA"},  // ARM drawn above retry
        {1, kSucceeded | kMain | kCompleteUrl, kRowActionNone, ""},
        {1, kMain | kArm, kRowActionNone, "A"},
        {2, kSucceeded | kMain, kRowActionLaunchNow, "L"},
        {2, kSucceeded | kMain | kLaunch | kCompleteUrl, kRowActionLaunchNow, "LI"},
        {2, kFailed | kSucceeded | kMain | kErrorUrl, kRowActionRetry, "RM"},  // a failure takes the band
        {2, kSucceeded | kCompleteUrl | kBlocked, kRowActionNone, "IS"},
        {0, kFailed | kErrorUrl | kMain | kArm, kRowActionNone, ""},
        {3, kSucceeded | kMain, kRowActionNone, ""},
    };
    for (const auto& c : cases) {
        const ProductView v = ViewOf(c.flags);
        const bool arm = c.flags & kArm;
        EXPECT_EQ(FirstBandAction(c.page, v, arm), c.space) << "case " << (&c - cases);
        std::string offered;
        for (RowActionKind k : {kRowActionRetry, kRowActionLaunchNow, kRowActionManualDownload, kRowActionMoreInfo,
                                kRowActionSecurityCheck, kRowActionArmSettings}) {
            if (RowOffers(c.page, v, arm, k)) offered += "-RLMIAS"[k];
        }
        EXPECT_EQ(offered, c.offered) << "case " << (&c - cases);
        EXPECT_FALSE(RowOffers(c.page, v, arm, kRowActionNone));
    }
}

TEST(RowActionAt, BandEdgesColumnAndRow) {
    const PixelRect row96{0, 200, 700, 326};    // page 1 row at 96 DPI; the column starts at x 568
    const PixelRect row144{0, 300, 1050, 489};  // at 144 DPI; the column starts at x 852
    const struct { uint32_t flags; int32_t x, y; const PixelRect* row; uint32_t dpi; RowActionKind kind; } cases[] = {
        {kFailed, 568, 224, &row96, 96, kRowActionRetry},   // top edge, column edge
        {kFailed, 568, 223, &row96, 96, kRowActionNone},
        {kFailed, 600, 248, &row96, 96, kRowActionNone},    // bottom edge is exclusive
        {kFailed, 567, 230, &row96, 96, kRowActionNone},    // left of the column
        {kFailed, 700, 230, &row96, 96, kRowActionNone},    // right of the item
        {kFailed, 600, 200 + 126 + 24, &row96, 96, kRowActionNone},  // the next row's band
        {kFailed | kErrorUrl, 600, 255, &row96, 96, kRowActionNone},  // the old link zone: nothing drawn
        {kFailed | kErrorUrl, 600, 272, &row96, 96, kRowActionManualDownload},
        {kFailed | kErrorUrl | kBlocked, 600, 317, &row96, 96, kRowActionSecurityCheck},
        {kFailed | kErrorUrl | kBlocked, 600, 318, &row96, 96, kRowActionNone},
        {kFailed | kErrorUrl | kBlocked | kMain | kArm, 600, 210, &row96, 96, kRowActionArmSettings},
        {kFailed | kErrorUrl | kBlocked | kMain | kArm, 600, 255, &row96, 96, kRowActionNone},  // the percentage
        {kFailed, 852, 336, &row144, 144, kRowActionRetry},
        {kFailed, 851, 336, &row144, 144, kRowActionNone},
        {kFailed, 900, 371, &row144, 144, kRowActionRetry},
        {kFailed, 900, 372, &row144, 144, kRowActionNone},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RowActionAt(1, ViewOf(c.flags), c.flags & kArm, c.x, c.y, *c.row, c.dpi), c.kind)
            << "case " << (&c - cases);
    }
    EXPECT_EQ(RowActionAt(0, ViewOf(kFailed), false, 600, 230, row96, 96), kRowActionNone);
}

// Guards the fault where the painter and the click used different numbers:
// every pixel of the row must hit exactly the entry painted there.
TEST(RowActionAt, WhatIsDrawnIsWhatIsClicked) {
    const uint32_t states[] = {
        kFailed | kErrorUrl | kBlocked | kMain, kFailed | kBlocked | kMain,
        kSucceeded | kMain | kCompleteUrl | kBlocked, kFailed | kCompleteUrl | kMain,
    };
    for (uint32_t dpi : {96u, 120u, 144u}) {
        for (int32_t page : {1, 2}) {
            for (uint32_t f : states) {
                const ProductView v = ViewOf(f);
                const PixelRect row{0, 50, 900, 50 + RowHeightUnits(page) * static_cast<int32_t>(dpi) / 96};
                const RowActionList list = LayoutProductRow(page, ProductEntry{}, v, 0, true, row, 0, dpi).actions;
                for (int32_t y = row.top - 2; y < row.bottom + 2; ++y) {
                    RowActionKind painted = kRowActionNone;
                    int32_t hits = 0;
                    for (int32_t i = 0; i < list.count; ++i) {
                        const PixelRect band = PlaceRowAction(list.entries[i], row, dpi).band;
                        ASSERT_TRUE(band.top >= row.top && band.bottom <= row.bottom);
                        if (y >= band.top && y < band.bottom) painted = list.entries[i].kind, ++hits;
                    }
                    ASSERT_LE(hits, 1) << "overlapping bands at y " << y;
                    ASSERT_EQ(RowActionAt(page, v, true, row.right - 60, y, row, dpi), painted)
                        << "dpi " << dpi << " page " << page << " flags " << f << " y " << y;
                }
            }
        }
    }
}

TEST(PageZeroClickAt, LinksToggleAndSelect) {
    // Row at 96 DPI; the badge of a 40-pixel label puts the folder link at (528, 10)-(626, 32).
    const struct { bool installed, eligible; int32_t filter; bool home; int32_t x, y; PageZeroClick click; } cases[] = {
        {true, true, 0, true, 572, 46, kPageZeroHomePage},
        {true, true, 0, true, 600, 45, kPageZeroToggle},   // the drawn link starts at 46
        {true, true, 0, true, 600, 70, kPageZeroToggle},
        {true, true, 0, true, 571, 50, kPageZeroToggle},
        {true, true, 0, false, 600, 50, kPageZeroToggle},
        {true, true, 0, true, 528, 10, kPageZeroOpenFolder},
        {true, true, 0, true, 626, 20, kPageZeroToggle},
        {false, true, 0, true, 600, 20, kPageZeroToggle},  // no folder link when not installed
        {true, true, 7, true, 100, 50, kPageZeroSelect},   // a product filter forbids ticking
        {true, false, 0, true, 100, 50, kPageZeroSelect},
        {true, false, 0, true, 600, 50, kPageZeroHomePage},
        {true, true, 0, true, 100, 106, kPageZeroOutside},
        {true, true, 0, true, -1, 50, kPageZeroOutside},
    };
    for (const auto& c : cases) {
        ProductEntry p = Installed(c.installed);
        p.os_supported = c.eligible;
        ProductView v;
        v.hasPackage = true;
        v.hasHomePage = c.home;
        v.eligible[0] = c.eligible;
        EXPECT_EQ(PageZeroClickAt(p, v, 0, c.filter, c.x, c.y, {0, 0, 700, 106}, 40, 96), c.click)
            << "case " << (&c - cases);
    }
}

TEST(RowLayout, ChoosePageTextsBadgeAndName) {
    const struct { bool installed, package, home, selected; std::u16string installedVersion, text;
                   int32_t badgeTop, nameRight; RowBackground background; } cases[] = {
        {true, true, false, true, u"1.0", u"已装 1.0 · 最新 2.0", 10, 518, kRowBackgroundSelected},
        {true, true, false, false, u"", u"已装 未知 · 最新 2.0", 10, 518, kRowBackgroundWhite},
        {false, false, true, false, u"", u"版本 2.0", 10, 560, kRowBackgroundCannotChoose},
        {false, false, false, false, u"", u"版本 2.0", 32, 560, kRowBackgroundCannotChoose},
        {false, true, false, true, u"", u"版本 2.0", 0, 560, kRowBackgroundSelected},  // no label, no badge
    };
    for (const auto& c : cases) {
        ProductEntry p = Installed(c.installed);
        p.has_package = c.package;
        ProductView v;
        v.hasPackage = c.package;
        v.hasHomePage = c.home;
        v.selected = c.selected;
        v.installedVersion = c.installedVersion;
        v.version = p.version;
        v.eligible[0] = c.package;
        const RowLayout l = LayoutProductRow(0, p, v, 0, false, {0, 0, 700, 106}, 40, 96);
        const std::string what = "case " + std::to_string(&c - cases);
        EXPECT_EQ(l.versionText, c.text) << what;
        EXPECT_EQ(l.badgeArea.top, c.badgeTop) << what;
        EXPECT_EQ(l.nameRect.right, c.nameRight) << what;
        EXPECT_EQ(l.background, c.background) << what;
        const bool dim = c.background == kRowBackgroundCannotChoose;
        EXPECT_EQ(l.dimmed, dim) << what;
        EXPECT_EQ(l.iconAlpha, dim ? 150 : 255) << what;
        EXPECT_EQ(l.nameColor, dim ? kRowColorMuted : kRowColorText) << what;
    }
}

TEST(RowLayout, DetailsAndProgress) {
    // Row at 96 DPI, right edge 700, bottom 140; text column from x 99.
    const struct { int32_t page; uint32_t flags; std::u16string error, warnings, details; RowColor color;
                   PixelRect rect; RowFont font; } cases[] = {
        {1, kFailed, u"下载失败", u"", u"下载失败", kRowColorError, {99, 72, 560, 132}, kRowFontBody},
        {1, kFailed | kBlocked, u"被拦截", u"缺少运行库", u"被拦截\r\n环境安装警告：缺少运行库", kRowColorError,
         {99, 72, 520, 132}, kRowFontBody},
        {2, kSucceeded, u"", u"缺少运行库", u"环境安装警告：缺少运行库", kRowColorWarning, {99, 64, 560, 134},
         kRowFontSmall},
        {2, kFailed | kBlocked, u"被拦截", u"", u"被拦截", kRowColorError, {99, 64, 520, 100}, kRowFontSmall},
        {2, 0, u"未知错误", u"", u"未知错误", kRowColorError, {99, 64, 560, 134}, kRowFontSmall},
        {2, kFailed, u"", u"", u"", kRowColorError, {}, kRowFontSmall},
    };
    for (const auto& c : cases) {
        ProductView v = ViewOf(c.flags);
        v.lastError = c.error;
        v.envWarnings = c.warnings;
        const RowLayout l = LayoutProductRow(c.page, ProductEntry{}, v, 0, false, {0, 0, 700, 140}, 0, 96);
        const std::string what = "case " + std::to_string(&c - cases);
        EXPECT_EQ(l.details, c.details) << what;
        EXPECT_EQ(l.detailsColor, c.color) << what;
        EXPECT_EQ(l.detailsRect, c.rect) << what;
        EXPECT_EQ(l.statusFont, c.font) << what;
    }

    // Track from 99 to 560, 461 pixels; a stray percentage fills no further than the track.
    const struct { int32_t percent, filled; std::u16string text; } progress[] = {
        {0, 0, u"0%"}, {37, 171, u"37%"}, {100, 461, u"100%"}, {150, 461, u"150%"}, {-5, 0, u"-5%"},
    };
    for (const auto& c : progress) {
        ProductView v;
        v.progressPercent = c.percent;
        const RowLayout l = LayoutProductRow(1, ProductEntry{}, v, 0, false, {0, 0, 700, 126}, 0, 96);
        EXPECT_EQ(l.progressTrack, (PixelRect{99, 55, 560, 61}));
        EXPECT_EQ(l.progressFilled, c.filled) << c.percent;
        EXPECT_EQ(l.percentText, c.text);
    }
}

// The window's thread reads eligibility from the view only: a record the worker
// rewrites after the refresh changes nothing until the next refresh.
TEST(ProductView, EligibilityIsCapturedAtTheRefresh) {
    const struct { bool installed, package, os, invalid; std::u16string installedVersion; bool eligible[3]; } cases[] = {
        {false, true, true, false, u"", {true, false, false}},
        {false, false, true, false, u"", {false, false, false}},
        {false, true, false, false, u"", {false, false, false}},
        {true, true, true, false, u"1.0", {true, true, true}},
        {true, true, true, false, u"2.0", {true, true, false}},   // same version: nothing to update
        {true, true, true, false, u"", {true, true, true}},       // unknown installed version
        {true, false, true, false, u"1.0", {false, true, false}},
        {true, true, true, true, u"1.0", {false, false, false}},  // a broken record is never chosen
    };
    for (const auto& c : cases) {
        ProductEntry p = Installed(c.installed);
        p.has_package = c.package;
        p.os_supported = c.os;
        p.manifest_invalid = c.invalid;
        p.installed_version = c.installedVersion;
        ProductView v;
        CopyProductView(p, v);
        for (int32_t mode = 0; mode < 3; ++mode) {
            EXPECT_EQ(IsViewEligible(v, mode), c.eligible[mode]) << "case " << (&c - cases) << " mode " << mode;
        }
        EXPECT_FALSE(IsViewEligible(v, 3));
        EXPECT_FALSE(IsViewEligible(v, -1));
    }

    // An update row ticked on page 0; the worker then finishes the update.
    ProductEntry p = Installed();
    p.installed_version = u"1.0";
    ProductView v;
    CopyProductView(p, v);
    const PixelRect row{0, 0, 700, 106};
    const auto paints = [&] { return LayoutProductRow(0, p, v, 2, false, row, 40, 96).background; };
    EXPECT_EQ(paints(), kRowBackgroundWhite);
    EXPECT_TRUE(CanToggleRow(v, 2, 0));
    EXPECT_EQ(PageZeroClickAt(p, v, 2, 0, 300, 50, row, 40, 96), kPageZeroToggle);
    p.installed_version = u"2.0";
    p.has_package = false;
    EXPECT_EQ(paints(), kRowBackgroundWhite);
    EXPECT_TRUE(CanToggleRow(v, 2, 0));
    EXPECT_EQ(PageZeroClickAt(p, v, 2, 0, 300, 50, row, 40, 96), kPageZeroToggle);
    CopyProductView(p, v);
    EXPECT_EQ(paints(), kRowBackgroundCannotChoose);
    EXPECT_FALSE(CanToggleRow(v, 2, 0));
    EXPECT_EQ(PageZeroClickAt(p, v, 2, 0, 300, 50, row, 40, 96), kPageZeroSelect);
    // A record that becomes eligible after the refresh stays grey until the next one.
    p.has_package = true;
    p.installed_version = u"1.5";
    EXPECT_EQ(paints(), kRowBackgroundCannotChoose);
    CopyProductView(p, v);
    EXPECT_EQ(paints(), kRowBackgroundWhite);
}

}  // namespace
