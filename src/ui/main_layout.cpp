#include "ui/main_layout.h"

#include <algorithm>

#include "startup/app_state.h"
#include "startup/dpi.h"
#include "ui/product_rows.h"

namespace {

uint32_t DpiOf(uint32_t dpi) { return dpi == 0 ? 96 : dpi; }

// The client size in units, and B: the bottom the root box and the options
// hang from, 28 units higher on ARM64 to make room for armExistingLink.
struct Units {
    int32_t W, H, B;
};

Units UnitsOf(const MainLayoutInput& in) {
    const int32_t dpi = static_cast<int32_t>(DpiOf(in.dpi));
    Units u;
    u.W = MulDivRound(in.clientWidth, 96, dpi);
    u.H = MulDivRound(in.clientHeight, 96, dpi);
    u.B = in.hostIsArm64 ? u.H - 28 : u.H;
    return u;
}

int32_t ListBottom(const MainLayoutInput& in, const Units& u) {
    switch (in.page) {
        case kPageChoose: return in.operationMode == kModeUninstall ? u.H - 132 : u.B - 188;
        case kPageProgress: return u.H - 182;
        case kPageResults: return u.H - 181;
        default: return 125;
    }
}

class Placer {
public:
    Placer(MainLayout& layout, uint32_t dpi) : layout_(layout), dpi_(dpi) {}
    void operator()(int32_t id, int32_t x, int32_t y, int32_t width, int32_t height) {
        layout_.controls[id - kFirstControlId] = PlaceScaled(x, y, width, height, dpi_);
        layout_.placed[id - kFirstControlId] = true;
    }

private:
    MainLayout& layout_;
    uint32_t dpi_;
};

void PlaceHeader(MainLayout& l, const Units& u, uint32_t dpi) {
    l.title = PlaceScaled(28, 40, u.W - 56, 32, dpi);
    l.subtitle = PlaceScaled(28, 77, u.W - 56, 24, dpi);
    l.step = PlaceScaled(u.W - 90, 16, 60, 22, dpi);
}

void PlaceListArea(Placer& put, const MainLayoutInput& in, const Units& u) {
    const int32_t L = ListBottom(in, u);
    if (in.page >= kPageChoose && in.page <= kPageResults) {
        const int32_t y = in.page == kPageChoose ? 132 : 128;
        put(kProductList, 28, y, u.W - 56, L - y);
    }
    put(kLoadingIndicator, 28, (L - 220) / 2 + 132, u.W - 56, 88);
    switch (in.page) {
        case kPageChoose: put(kNoticeLabel, 28, 103, u.W - 56, 24); break;
        case kPageProgress: put(kNoticeLabel, 28, u.H - 126, u.W - 56, 48); break;
        case kPageResults: put(kNoticeLabel, 28, u.H - 174, u.W - 56, 40); break;
        default: put(kNoticeLabel, 28, u.H - 116, u.W - 56, 48); break;
    }
    put(kRefreshLink, u.W - 176, 44, 58, 31);
    put(kManualDownloadLink, u.W - 112, 44, 84, 31);
    put(kInstallCard, 28, 138, u.W - 56, 80);
    put(kUninstallCard, 28, 234, u.W - 56, 80);
    put(kUpdateCard, 28, 330, u.W - 56, 80);
}

void PlaceOptions(Placer& put, const MainLayoutInput& in, const Units& u) {
    const int32_t agreeY = u.B - 101;
    put(kRootFrame, 28, u.B - 174, u.W - 156, 32);
    put(kChangeRootButton, u.W - 118, u.B - 174, 90, 32);
    put(kShortcutCheck, 28, u.B - 135, 220, 24);
    put(kAgreeCheck, 28, agreeY, 126, 24);
    put(kAgreementLink, 158, agreeY, (u.W - 56) / 2 - 150, 24);
    put(kAutorunCheck, (u.W - 56) / 2 + 48, agreeY, 180, 24);
    put(kArmAutoCheck, 258, u.B - 135, u.W - 286, 24);
    put(kArmExistingLink, 28, u.H - 95, u.W - 56, 24);
    if (in.operationMode == kModeUninstall) put(kPurgeCheck, 28, u.H - 108, u.W - 56, 24);
    put(kProgressLabel, 28, u.H - 174, u.W - 56, 30);
    put(kProgressBar, 28, u.H - 139, u.W - 56, 8);
    put(kCleanPackagesCheck, 28, in.page == kPageResults ? u.H - 127 : u.H - 109, u.W - 56, 28);
    put(kOpenRootLink, 28, 236, u.W - 56, 36);
    put(kShopLink, 28, 326, 150, 32);
}

void PlaceFooter(Placer& put, const MainLayoutInput& in, const Units& u) {
    const int32_t y = u.H - 51;
    put(kHelpLink, 174, u.H - 49, 112, 31);
    put(kContactLink, 28, u.H - 49, 64, 31);
    put(kLogLink, 100, u.H - 49, 64, 31);
    if (in.page == kPageWelcome) {
        put(kCloseButton, u.W - 148, y, 120, 35);
    } else {
        put(kCloseButton, u.W - 270, y, 112, 35);
    }
    put(kPrimaryButton, u.W - 148, y, 120, 35);
    put(kBackButton, in.page == kPageProgress && in.someFailed ? u.W - 390 : u.W - 270, y, 112, 35);
    put(kRetryButton, u.W - 148, y, 120, 35);
}

void PlacePageOverrides(Placer& put, const MainLayoutInput& in, const Units& u) {
    if (in.page == kPageFinish) {
        const int32_t linkX = in.someSucceeded ? 168 : 28;
        put(kProgressLabel, 28, 130, u.W - 56, 30);
        put(kOpenRootLink, 28, 179, u.W - 56, 34);
        put(kNoticeLabel, 28, 224, u.W - 56, 48);
        put(kShopLink, 28, 288, 120, 30);
        put(kManualDownloadLink, linkX, 288, 160, 30);
        put(kHelpLink, linkX + 180, 288, 150, 30);
    } else if (in.page == kPageCancelled) {
        put(kProgressLabel, 28, 170, u.W - 56, 52);
        put(kNoticeLabel, 28, u.H - 116, u.W - 56, 26);
    }
}

}  // namespace

MainLayout MainLayoutFor(const MainLayoutInput& input) {
    const uint32_t dpi = DpiOf(input.dpi);
    const Units u = UnitsOf(input);
    MainLayout l;
    Placer put(l, dpi);
    PlaceHeader(l, u, dpi);
    PlaceListArea(put, input, u);
    PlaceOptions(put, input, u);
    PlaceFooter(put, input, u);
    PlacePageOverrides(put, input, u);
    l.controls[kRootEdit - kFirstControlId] = RootEditRect(input);
    l.placed[kRootEdit - kFirstControlId] = true;
    // The title spans the width, and a static paints its whole box white: on
    // page 0 it would wipe the refresh and download links it overlaps.
    if (input.page == kPageChoose) {
        l.title.right = std::min(l.title.right, l.controls[kRefreshLink - kFirstControlId].left);
    }
    return l;
}

PixelRect RootEditRect(const MainLayoutInput& input) {
    const uint32_t dpi = DpiOf(input.dpi);
    const Units u = UnitsOf(input);
    PixelRect r;
    r.left = ScaleUnits(36, dpi);
    r.top = ScaleUnits(u.B - 174, dpi) + (ScaleUnits(32, dpi) - input.rootEditTextHeight) / 2;
    r.right = r.left + ScaleUnits(u.W - 172, dpi);
    r.bottom = r.top + input.rootEditTextHeight;
    return r;
}

UiLine FooterSeparator(int32_t clientWidth, int32_t clientHeight, uint32_t dpi) {
    dpi = DpiOf(dpi);
    UiLine line;
    line.x1 = ScaleUnits(28, dpi);
    line.x2 = clientWidth - ScaleUnits(28, dpi);
    line.y = clientHeight - ScaleUnits(66, dpi);
    return line;
}

const char16_t kLoadingText[] = u"正在从官网获取软件列表…";
const char16_t kCardArrow[] = u"→";
const char16_t kRefreshGlyph[] = u"↻";

UiColor LoadingDotColor(int32_t shade) {
    const int32_t e = ((shade % kLoadingDotCount) + kLoadingDotCount) % kLoadingDotCount;
    return MakeUiColor(static_cast<uint8_t>(37 + 13 * e), static_cast<uint8_t>(99 + 26 * e / 3),
                       static_cast<uint8_t>(235 + 13 * e / 10));
}

LoadingIndicatorPaint LoadingIndicatorFor(const PixelRect& item, int32_t phase, uint32_t dpi) {
    // A clock face of radius 18 units, from twelve o'clock clockwise.
    static const int32_t dx[kLoadingDotCount] = {0, 9, 16, 18, 16, 9, 0, -9, -16, -18, -16, -9};
    static const int32_t dy[kLoadingDotCount] = {-18, -16, -9, 0, 9, 16, 18, 16, 9, 0, -9, -16};
    dpi = DpiOf(dpi);
    const int32_t cx = (item.left + item.right) / 2;
    const int32_t cy = item.top + ScaleUnits(24, dpi);
    const int32_t radius = ScaleUnits(3, dpi);
    LoadingIndicatorPaint p;
    for (int32_t d = 0; d < kLoadingDotCount; ++d) {
        LoadingDot& dot = p.dots[d];
        dot.x = cx + ScaleUnits(dx[d], dpi);
        dot.y = cy + ScaleUnits(dy[d], dpi);
        dot.bounds = {dot.x - radius, dot.y - radius, dot.x + radius, dot.y + radius};
        dot.color = LoadingDotColor(d - phase);
    }
    p.text = {item.left, item.top + ScaleUnits(58, dpi), item.right, item.bottom};
    return p;
}

OperationCardPaint OperationCardFor(int32_t card, const PixelRect& item, bool pressed, bool focused, uint32_t dpi) {
    static const char16_t* const kTitles[3] = {u"开始安装", u"卸载", u"更新软件"};
    static const char16_t* const kDescriptions[3] = {
        u"选择软件下载安装，已安装项目可覆盖更新。",
        u"选择已安装的软件，移除程序文件。",
        u"只列出已安装软件，同版本勾选后重新安装。",
    };
    dpi = DpiOf(dpi);
    const int32_t index = std::clamp(card, 0, 2);
    OperationCardPaint p;
    p.face = pressed ? kColorCardFacePressed : kColorCardFace;
    p.border = focused ? kColorAccent : kColorSeparator;
    p.corner = ScaleUnits(10, dpi);
    p.title = {item.left + ScaleUnits(20, dpi), item.top + ScaleUnits(12, dpi), item.right - ScaleUnits(52, dpi),
               item.top + ScaleUnits(37, dpi)};
    p.description = {item.left + ScaleUnits(20, dpi), item.top + ScaleUnits(43, dpi), item.right - ScaleUnits(52, dpi),
                     item.bottom - ScaleUnits(10, dpi)};
    p.arrow = {item.right - ScaleUnits(46, dpi), item.top, item.right - ScaleUnits(16, dpi), item.bottom};
    p.titleText = kTitles[index];
    p.descriptionText = kDescriptions[index];
    return p;
}

LinkItemPaint LinkItemFor(int32_t id, const PixelRect& item, bool enabled, bool helpBlinkOn, uint32_t dpi) {
    dpi = DpiOf(dpi);
    LinkItemPaint p;
    p.textColor = enabled ? kColorAccent : kColorMuted;
    p.text = item;
    p.text.left += ScaleUnits(2, dpi);
    if (id == kRefreshLink) {
        p.hasGlyph = true;
        p.glyph = {p.text.left, item.top, p.text.left + ScaleUnits(18, dpi), item.bottom};
        p.text.left += ScaleUnits(22, dpi);
    }
    p.focus = p.text;
    if (id == kHelpLink && helpBlinkOn) {
        const int32_t inset = ScaleUnits(2, dpi);
        p.fill = kColorAlert;
        p.textColor = kColorWhite;
        p.text = {item.left + inset, item.top + inset, item.right - inset, item.bottom - inset};
    }
    return p;
}

UiColor RootFrameColor(bool editHasFocus) { return editHasFocus ? kColorAccent : kColorFrameIdle; }

int32_t AgreeShakeOffset(uint32_t elapsedMs) {
    static const int32_t kOffsets[9] = {0, -5, 5, -4, 4, -3, 3, -2, 2};
    return kOffsets[(elapsedMs / 40) % 9];
}

bool AgreeShakeStops(bool shaking, uint32_t elapsedMs, int32_t page, bool agreeChecked) {
    return !shaking || elapsedMs >= 2000 || page != kPageChoose || agreeChecked;
}

RowCheckPlace RowCheckFor(const PixelRect& item, int32_t listClientHeight, uint32_t dpi) {
    dpi = DpiOf(dpi);
    const int32_t size = ScaleUnits(24, dpi);
    RowCheckPlace p;
    p.inView = item.bottom > 0 && item.top < listClientHeight;
    p.box.left = ScaleUnits(12, dpi);
    p.box.top = item.top + (item.bottom - item.top - size) / 2;
    p.box.right = p.box.left + size;
    p.box.bottom = p.box.top + size;
    return p;
}

int32_t InitialListItemHeight(uint32_t dpi) { return ScaleUnits(92, DpiOf(dpi)); }

int32_t ListItemHeight(int32_t page, uint32_t dpi) { return ScaleUnits(RowHeightUnits(page), DpiOf(dpi)); }

UiColor StaticTextColor(int32_t which, int32_t page, bool someSucceeded, bool someFailed) {
    if (page == kPageFinish) {
        if (which == kNoticeLabel || which == kSubtitleLabel) return kColorMuted;
        if (which == kTitleLabel) {
            if (!someSucceeded) return kColorError;
            return someFailed ? kColorText : kColorSuccess;
        }
    }
    if (which == kNoticeLabel) {
        if (page == kPageChoose || page == kPageCancelled) return kColorMuted;
        if (page == kPageProgress) return someFailed ? kColorText : kColorError;
        return kColorError;
    }
    return kColorText;
}
