#include "ui/main_layout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "startup/app_state.h"

namespace {

// The window's real client area (720 x 700 units overall) under Wine.
struct Client {
    int32_t width, height;
    uint32_t dpi;
};
constexpr Client kClients[] = {{714, 675, 96}, {1074, 1016, 144}};

// The window state the layout reads besides the client size.
struct Situation {
    int32_t page, mode;
    bool arm, failed, succeeded;
};

constexpr Situation kChoose = {kPageChoose, kModeInstall, false, false, false};
constexpr Situation kChooseArm = {kPageChoose, kModeInstall, true, false, false};

MainLayoutInput Input(const Client& c, const Situation& s) {
    MainLayoutInput in{s.page, s.mode, s.arm, s.failed, s.succeeded, c.width, c.height, c.dpi, 0};
    in.rootEditTextHeight = c.dpi == 96 ? 20 : 30;
    return in;
}

const PixelRect& Of(const MainLayout& l, int32_t id) { return l.controls[id - kFirstControlId]; }

bool Overlap(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

PixelRect Shown(const MainLayout& l, int32_t id) {
    return id == kTitleLabel ? l.title : id == kSubtitleLabel ? l.subtitle : id == kStepLabel ? l.step : Of(l, id);
}

TEST(MainLayout, ShownControlsStayApartInsideTheClientAndOffTheSeparator) {
    // What each page shows at the same time (the page logic decides; this mirrors it).
    struct Page {
        Situation s;
        std::vector<int32_t> ids;
    };
    const std::vector<int32_t> kHeader = {kTitleLabel, kSubtitleLabel, kStepLabel, kContactLink, kLogLink};
    const Page pages[] = {
        {{kPageWelcome, kModeInstall, false, false, false},
         {kTitleLabel, kSubtitleLabel, kInstallCard, kUninstallCard, kUpdateCard, kCloseButton, kHelpLink,
          kContactLink, kLogLink}},
        {kChooseArm,
         {kProductList, kNoticeLabel, kRootFrame, kRootEdit, kChangeRootButton, kShortcutCheck, kAgreeCheck,
          kAgreementLink, kAutorunCheck, kHelpLink, kRefreshLink, kManualDownloadLink, kPrimaryButton, kCloseButton,
          kArmAutoCheck, kArmExistingLink}},
        {{kPageChoose, kModeUpdate, false, false, false},  // catalog loading, something installed
         {kLoadingIndicator, kRootFrame, kRootEdit, kChangeRootButton, kShortcutCheck, kAgreeCheck, kAgreementLink,
          kAutorunCheck, kHelpLink, kRefreshLink, kManualDownloadLink, kPrimaryButton, kBackButton}},
        {{kPageChoose, kModeUninstall, true, false, false},
         {kProductList, kNoticeLabel, kPurgeCheck, kHelpLink, kRefreshLink, kManualDownloadLink, kPrimaryButton,
          kBackButton}},
        {{kPageProgress, kModeInstall, false, true, true},
         {kProductList, kNoticeLabel, kProgressBar, kProgressLabel, kCloseButton, kBackButton, kHelpLink,
          kPrimaryButton}},
        {{kPageProgress, kModeInstall, false, true, false},
         {kProductList, kNoticeLabel, kProgressBar, kProgressLabel, kCloseButton, kBackButton, kHelpLink, kRetryButton}},
        {{kPageResults, kModeInstall, false, false, true},
         {kProductList, kNoticeLabel, kCleanPackagesCheck, kBackButton, kPrimaryButton}},
        {{kPageFinish, kModeInstall, false, true, true},
         {kNoticeLabel, kProgressLabel, kPrimaryButton, kOpenRootLink, kShopLink, kManualDownloadLink, kHelpLink}},
        {{kPageFinish, kModeInstall, false, true, false},
         {kNoticeLabel, kProgressLabel, kPrimaryButton, kManualDownloadLink, kHelpLink}},
        {{kPageCancelled, kModeInstall, false, false, false},
         {kTitleLabel, kSubtitleLabel, kStepLabel, kNoticeLabel, kPrimaryButton, kLogLink}},
    };
    for (const Client& c : kClients) {
        const UiLine sep = FooterSeparator(c.width, c.height, c.dpi);
        for (const Page& p : pages) {
            MainLayout l = MainLayoutFor(Input(c, p.s));
            std::vector<int32_t> ids = p.ids;
            if (p.s.page != kPageWelcome && p.s.page != kPageCancelled) {
                ids.insert(ids.end(), kHeader.begin(), kHeader.end());
            }
            for (size_t i = 0; i < ids.size(); ++i) {
                const PixelRect r = Shown(l, ids[i]);
                const std::string where = "page " + std::to_string(p.s.page) + " id " + std::to_string(ids[i]) +
                                          " dpi " + std::to_string(c.dpi);
                if (ids[i] > 0) {
                    EXPECT_TRUE(l.placed[ids[i] - kFirstControlId]) << where;
                }
                EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= c.width && r.bottom <= c.height) << where;
                EXPECT_LT(r.left, r.right) << where;
                EXPECT_TRUE(r.bottom <= sep.y || r.top > sep.y) << where;
                for (size_t j = i + 1; j < ids.size(); ++j) {
                    // The edit lies inside its frame on purpose (RootEditCentredInItsFrame).
                    const bool editInFrame = (ids[i] == kRootFrame && ids[j] == kRootEdit) ||
                                             (ids[i] == kRootEdit && ids[j] == kRootFrame);
                    EXPECT_EQ(Overlap(r, Shown(l, ids[j])), editInFrame) << where << " and " << ids[j];
                }
            }
        }
    }
}

TEST(MainLayout, ListBottomArmShiftAndPageVariants) {
    // Expected pixels at 96 DPI (= units of the 714 x 675 client) and at 144 DPI
    // (client 716 x 677 units, each number scaled on its own).
    struct Case {
        Situation s;
        int32_t id;
        PixelRect at96, at144;
    };
    const Case cases[] = {
        {kChoose, kProductList, {28, 132, 686, 487}, {42, 198, 1032, 734}},
        {kChooseArm, kProductList, {28, 132, 686, 459}, {42, 198, 1032, 692}},
        {{kPageChoose, kModeUpdate, true, false, false}, kProductList, {28, 132, 686, 459}, {42, 198, 1032, 692}},
        {{kPageChoose, kModeUninstall, true, false, false}, kProductList, {28, 132, 686, 543}, {42, 198, 1032, 818}},
        {{kPageProgress, kModeInstall, false, false, false}, kProductList, {28, 128, 686, 493}, {42, 192, 1032, 743}},
        {{kPageResults, kModeInstall, false, false, false}, kProductList, {28, 128, 686, 494}, {42, 192, 1032, 744}},
        {kChooseArm, kLoadingIndicator, {28, 251, 686, 339}, {42, 378, 1032, 510}},
        // ARM64: the root box and the agreement row 28 units up, armExistingLink stays.
        {kChoose, kRootFrame, {28, 501, 586, 533}, {42, 755, 882, 803}},
        {kChooseArm, kRootFrame, {28, 473, 586, 505}, {42, 713, 882, 761}},
        {kChoose, kAgreeCheck, {28, 574, 154, 598}, {42, 864, 231, 900}},
        {kChooseArm, kAgreeCheck, {28, 546, 154, 570}, {42, 822, 231, 858}},
        {kChooseArm, kArmExistingLink, {28, 580, 686, 604}, {42, 873, 1032, 909}},
        {{kPageProgress, kModeInstall, false, true, false}, kBackButton, {324, 624, 436, 659}, {489, 939, 657, 992}},
        {{kPageResults, kModeInstall, false, true, false}, kBackButton, {444, 624, 556, 659}, {669, 939, 837, 992}},
        {{kPageWelcome, kModeInstall, false, false, false}, kCloseButton, {566, 624, 686, 659}, {852, 939, 1032, 992}},
        {{kPageFinish, kModeInstall, false, true, true}, kManualDownloadLink, {168, 288, 328, 318}, {252, 432, 492, 477}},
        {{kPageFinish, kModeInstall, false, true, false}, kHelpLink, {208, 288, 358, 318}, {312, 432, 537, 477}},
        {{kPageCancelled, kModeInstall, false, false, false}, kNoticeLabel, {28, 559, 686, 585}, {42, 842, 1032, 881}},
    };
    for (const Case& k : cases) {
        for (const Client& c : kClients) {
            MainLayout l = MainLayoutFor(Input(c, k.s));
            EXPECT_EQ(Of(l, k.id), c.dpi == 96 ? k.at96 : k.at144)
                << "page " << k.s.page << " id " << k.id << " dpi " << c.dpi;
        }
    }
    // Left where they are: the list off pages 0..2, purgeCheck outside uninstall mode.
    MainLayout finish = MainLayoutFor(Input(kClients[0], {kPageFinish, kModeInstall, false, false, false}));
    EXPECT_FALSE(finish.placed[kProductList - kFirstControlId]);
    EXPECT_FALSE(finish.placed[kPurgeCheck - kFirstControlId]);
    // The page 0 title stops where the refresh link begins; elsewhere it spans the page.
    EXPECT_EQ(MainLayoutFor(Input(kClients[1], kChoose)).title.right, 810);
    EXPECT_EQ(MainLayoutFor(Input(kClients[1], {kPageResults, kModeInstall, false, false, false})).title.right, 1032);
}

TEST(MainLayout, RootEditCentredInItsFrame) {
    for (const Client& c : kClients) {
        for (bool arm : {false, true}) {
            for (int32_t extra : {0, 1}) {  // odd and even text heights
                MainLayoutInput in = Input(c, {kPageChoose, kModeInstall, arm, false, false});
                in.rootEditTextHeight += extra;
                const MainLayout l = MainLayoutFor(in);
                const PixelRect frame = Of(l, kRootFrame), edit = Of(l, kRootEdit);
                EXPECT_EQ(edit.bottom - edit.top, in.rootEditTextHeight);
                EXPECT_LE(std::abs((edit.top - frame.top) - (frame.bottom - edit.bottom)), 1) << c.dpi;
                EXPECT_EQ(edit.left - frame.left, frame.right - edit.right) << c.dpi;  // 8 units each side
            }
        }
    }
}

TEST(MainLayoutPaint, LoadingDotsWalkClockwiseFromTheTop) {
    const PixelRect item = {42, 378, 1032, 510};
    const LoadingIndicatorPaint p = LoadingIndicatorFor(item, 0, 144);
    const int32_t cx = 537, cy = 378 + 36;
    EXPECT_EQ(p.dots[0].x, cx);
    EXPECT_EQ(p.dots[0].y, cy - 27);
    EXPECT_EQ(p.dots[3].x, cx + 27);  // three o'clock
    EXPECT_EQ(p.dots[6].y, cy + 27);
    EXPECT_EQ(p.dots[9].x, cx - 27);
    EXPECT_EQ(p.dots[0].bounds, (PixelRect{cx - 5, cy - 32, cx + 5, cy - 22}));  // radius 3 units = 5 px
    EXPECT_EQ(p.text, (PixelRect{42, 378 + 87, 1032, 510}));
    struct Shade { int32_t phase, dot; UiColor color; };
    const Shade shades[] = {
        {0, 0, kColorAccent},
        {0, 11, MakeUiColor(180, 194, 249)},
        {5, 5, kColorAccent},
        {5, 4, MakeUiColor(180, 194, 249)},  // just behind the darkest dot: palest
        {5, 6, MakeUiColor(50, 107, 236)},
        {11, 0, MakeUiColor(50, 107, 236)},
    };
    for (const Shade& s : shades) {
        EXPECT_EQ(LoadingIndicatorFor(item, s.phase, 96).dots[s.dot].color, s.color) << s.phase << "/" << s.dot;
    }
}

TEST(MainLayoutPaint, AgreementShakeOffsetsAndStop) {
    struct Tick { uint32_t elapsed; int32_t offset; };
    const Tick ticks[] = {{0, 0}, {39, 0}, {40, -5}, {80, 5}, {120, -4}, {320, 2}, {360, 0}, {1999, 4}};
    for (const Tick& t : ticks) EXPECT_EQ(AgreeShakeOffset(t.elapsed), t.offset) << t.elapsed;

    struct Stop { bool shaking; uint32_t elapsed; int32_t page; bool checked, stops; };
    const Stop stops[] = {
        {true, 1999, kPageChoose, false, false}, {true, 2000, kPageChoose, false, true},
        {true, 100, kPageProgress, false, true}, {true, 100, kPageChoose, true, true},
        {false, 100, kPageChoose, false, true},
    };
    for (const Stop& s : stops) EXPECT_EQ(AgreeShakeStops(s.shaking, s.elapsed, s.page, s.checked), s.stops) << s.elapsed;
}

TEST(MainLayoutPaint, RowCheckBoxesFollowRowsInView) {
    struct Row { uint32_t dpi; PixelRect item; int32_t listHeight; bool inView; int32_t boxTop; };
    const Row rows[] = {
        {96, {0, 0, 640, 106}, 355, true, 41},
        {96, {0, -50, 640, 56}, 355, true, -9},    // partly scrolled out above
        {96, {0, -106, 640, 0}, 355, false, -65},  // just out above
        {96, {0, 354, 640, 460}, 355, true, 395},  // one pixel in at the bottom
        {96, {0, 355, 640, 461}, 355, false, 396},
        {144, {0, -100, 960, 59}, 536, true, -39},  // item 159 px, box 36 px
    };
    for (const Row& r : rows) {
        const RowCheckPlace p = RowCheckFor(r.item, r.listHeight, r.dpi);
        const int32_t size = r.dpi == 96 ? 24 : 36;
        EXPECT_EQ(p.inView, r.inView) << r.item.top;
        EXPECT_EQ(p.box, (PixelRect{size / 2, r.boxTop, size / 2 + size, r.boxTop + size})) << r.item.top;
    }
    struct Height { int32_t page; int32_t at96, at144; };
    const Height heights[] = {{kPageChoose, 106, 159}, {kPageProgress, 126, 189}, {kPageResults, 140, 210}};
    for (const Height& h : heights) {
        EXPECT_EQ(ListItemHeight(h.page, 96), h.at96);
        EXPECT_EQ(ListItemHeight(h.page, 144), h.at144);
    }
    EXPECT_EQ(InitialListItemHeight(144), 138);
}

TEST(MainLayoutPaint, CardsAndLinks) {
    const PixelRect card = {28, 234, 686, 314};
    struct State { bool pressed, focused; UiColor face, border; };
    const State states[] = {
        {false, false, kColorCardFace, kColorSeparator}, {true, false, kColorCardFacePressed, kColorSeparator},
        {false, true, kColorCardFace, kColorAccent}, {true, true, kColorCardFacePressed, kColorAccent},
    };
    for (const State& s : states) {
        const OperationCardPaint p = OperationCardFor(1, card, s.pressed, s.focused, 96);
        EXPECT_EQ(p.face, s.face);
        EXPECT_EQ(p.border, s.border);
    }
    const OperationCardPaint p = OperationCardFor(1, card, false, false, 96);
    EXPECT_EQ(p.description, (PixelRect{48, 277, 634, 304}));

    // The refresh glyph sits in the text rectangle's first 18 units; the text follows 22 units on.
    const LinkItemPaint refresh = LinkItemFor(kRefreshLink, {810, 66, 897, 113}, false, false, 144);
    EXPECT_EQ(refresh.glyph, (PixelRect{813, 66, 840, 113}));
    EXPECT_EQ(refresh.text.left, 846);
    EXPECT_EQ(refresh.textColor, kColorMuted);
    // Blinking help link: red fill, white text inset, the focus still around the plain text rectangle.
    const LinkItemPaint help = LinkItemFor(kHelpLink, {174, 626, 286, 657}, true, true, 96);
    EXPECT_EQ(help.fill, kColorAlert);
    EXPECT_EQ(help.text, (PixelRect{176, 628, 284, 655}));
    EXPECT_EQ(help.focus, (PixelRect{176, 626, 286, 657}));
}

TEST(MainLayoutPaint, StaticTextColours) {
    struct Case { int32_t which, page; bool succeeded, failed; UiColor color; };
    const Case cases[] = {
        {kTitleLabel, kPageFinish, true, false, kColorSuccess}, {kTitleLabel, kPageFinish, true, true, kColorText},
        {kTitleLabel, kPageFinish, false, true, kColorError},   {kTitleLabel, kPageFinish, false, false, kColorError},
        {kSubtitleLabel, kPageFinish, true, false, kColorMuted}, {kNoticeLabel, kPageFinish, true, false, kColorMuted},
        {kNoticeLabel, kPageChoose, false, false, kColorMuted},  {kNoticeLabel, kPageCancelled, false, false, kColorMuted},
        {kNoticeLabel, kPageProgress, false, true, kColorText},  {kNoticeLabel, kPageProgress, true, false, kColorError},
        {kNoticeLabel, kPageResults, true, false, kColorError},  {kProgressLabel, kPageFinish, true, false, kColorText},
        {kTitleLabel, kPageResults, false, true, kColorText},    {kRootEdit, kPageChoose, false, false, kColorText},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StaticTextColor(c.which, c.page, c.succeeded, c.failed), c.color) << c.which << " page " << c.page;
    }
}

}  // namespace
