// Row rules of the product list. Vertical positions are offsets from the row
// top scaled as a whole (T + 32 is T + ScaleUnits(32)), so the badge area, the folder
// link and every action band land on the same pixels wherever they are asked for.
#include "ui/product_rows.h"

#include "base/text_format.h"
#include "startup/dpi.h"

namespace {

constexpr int32_t kBadgeHeight = 22;
constexpr int32_t kBadgePadding = 8;
constexpr int32_t kActionColumn = 132;  // the part of the row that reacts on pages 1 and 2
constexpr int32_t kMovedBandHeight = 22;

int32_t Below(const PixelRect& row, int32_t units, uint32_t dpi) { return row.top + ScaleUnits(units, dpi); }
int32_t FromRight(const PixelRect& row, int32_t units, uint32_t dpi) { return row.right - ScaleUnits(units, dpi); }

bool Contains(std::u16string_view text, std::u16string_view part) { return text.find(part) != text.npos; }

PixelRect BadgeArea(const PixelRect& row, int32_t k, uint32_t dpi) {
    return {FromRight(row, 128, dpi), Below(row, k, dpi), FromRight(row, 12, dpi), Below(row, k + kBadgeHeight, dpi)};
}

// "了解产品": one rectangle for drawing, the hand cursor and the click.
PixelRect HomeLinkArea(const PixelRect& row, uint32_t dpi) {
    return {FromRight(row, 128, dpi), Below(row, 46, dpi), FromRight(row, 12, dpi), Below(row, 70, dpi)};
}

const char16_t* InstalledLabel(const ProductEntry& p, const ProductView& v, int32_t mode) {
    if (mode == 1) return p.selected ? u"即将卸载" : u"已安装";
    if (mode == 2) {
        if (v.sameVersion) return u"无需更新";
        return p.selected ? u"已安装，即将更新" : u"已安装 · 更新";
    }
    return u"已安装";
}

// --- Action bands ---

void AddAction(RowActionList& list, RowActionKind kind, const char16_t* caption, RowFont font, RowColor color,
               int32_t top, int32_t bottom, bool checked = false) {
    if (list.count >= kRowActionLimit) return;
    RowActionEntry& e = list.entries[list.count++];
    e.kind = kind;
    e.caption = caption;
    e.font = font;
    e.color = color;
    e.top = top;
    e.bottom = bottom;
    e.checked = checked;
}

const RowActionEntry* FirstOverlap(const RowActionList& list, int32_t top, int32_t bottom) {
    for (int32_t i = 0; i < list.count; ++i) {
        const RowActionEntry& e = list.entries[i];
        if (e.top < bottom && top < e.bottom) return &e;
    }
    return nullptr;
}

// A band someone else already draws in moves to the first free 22-unit band
// below it; when the row ends first, to the nearest free one above. False when
// the column has no room at all.
bool FindFreeBand(const RowActionList& list, int32_t rowHeight, int32_t* top, int32_t* bottom) {
    if (!FirstOverlap(list, *top, *bottom)) return true;
    int32_t y = *top;
    while (const RowActionEntry* hit = FirstOverlap(list, y, y + kMovedBandHeight)) y = hit->bottom;
    if (y + kMovedBandHeight > rowHeight) {
        y = *top;
        while (const RowActionEntry* hit = FirstOverlap(list, y, y + kMovedBandHeight)) y = hit->top - kMovedBandHeight;
        if (y < 0) return false;
    }
    *top = y;
    *bottom = y + kMovedBandHeight;
    return true;
}

// --- Layout steps ---

void LayoutBackground(int32_t page, const ProductView& v, int32_t mode, RowLayout& out) {
    if (page != 0) return;
    if (IsViewEligible(v, mode)) {
        out.background = v.selected ? kRowBackgroundSelected : kRowBackgroundWhite;
    } else {
        out.background = kRowBackgroundCannotChoose;
        out.dimmed = true;
    }
    out.iconAlpha = out.dimmed ? 150 : 255;
    out.nameColor = out.dimmed ? kRowColorMuted : kRowColorText;
}

void LayoutLeftColumn(int32_t page, const ProductView& v, const PixelRect& row, uint32_t dpi, RowLayout& out) {
    const int32_t x = row.left + ScaleUnits(12, dpi);
    int32_t iconX = x + ScaleUnits(30, dpi);  // page 0: the row check box sits left of the icon
    if (page != 0) {
        out.glyph = v.failed ? u"✕" : v.succeeded ? u"✓" : u"•";
        out.glyphColor = v.failed ? kRowColorError : v.succeeded ? kRowColorSuccess : kRowColorAccent;
        out.glyphRect = {x, Below(row, 17, dpi), x + ScaleUnits(22, dpi), Below(row, 45, dpi)};
        iconX = x + ScaleUnits(28, dpi);
    }
    const int32_t iconY = Below(row, page == 1 ? 4 : 18, dpi);
    const int32_t iconSize = ScaleUnits(44, dpi);  // the bitmap's own size, not an offset
    out.icon = {iconX, iconY, iconX + iconSize, iconY + iconSize};
    out.textX = iconX + ScaleUnits(59, dpi);
    const int32_t textRight = FromRight(row, 140, dpi);
    if (page == 1) {
        out.secondLine = {out.textX, Below(row, 24, dpi), textRight, Below(row, 48, dpi)};
    } else {
        out.secondLine = {out.textX, Below(row, 39, dpi), textRight, Below(row, 60, dpi)};
    }
    const int32_t nameRight =
        (page == 0 && !out.folderLink.IsEmpty()) ? out.folderLink.left - ScaleUnits(10, dpi) : textRight;
    if (page == 1) {
        out.nameRect = {out.textX, Below(row, 2, dpi), nameRight, Below(row, 24, dpi)};
    } else {
        out.nameRect = {out.textX, Below(row, 10, dpi), nameRight, Below(row, 36, dpi)};
    }
}

void LayoutPageZero(const ProductEntry& p, const ProductView& v, int32_t mode, const PixelRect& row,
                    int32_t labelWidthPx, uint32_t dpi, RowLayout& out) {
    if (!v.version.empty()) {
        if (p.installed) {
            const char16_t* installed = v.installedVersion.empty() ? u"未知" : v.installedVersion.c_str();
            TextFormat(out.versionText, u"已装 %s · 最新 %s", installed, v.version);
        } else {
            TextFormat(out.versionText, u"版本 %s", v.version);
        }
    }
    out.label = RowStatusLabel(p, v, mode);
    if (!out.label.empty()) {
        out.badgeArea = BadgeArea(row, (p.installed || v.hasHomePage) ? 10 : 32, dpi);
        out.badgeRect = BadgeRect(out.badgeArea, NameColumnLeft(row, dpi), labelWidthPx, dpi);
        out.badgeColor = BadgeColor(out.label);
    }
    if (v.hasHomePage) out.homeLink = HomeLinkArea(row, dpi);
    if (!v.updateDescription.empty()) {
        out.updateDescription = {out.textX, Below(row, 62, dpi), FromRight(row, 140, dpi), Below(row, 100, dpi)};
    }
}

WideBuffer ComposeDetails(const ProductView& v) {
    WideBuffer text = v.lastError;
    if (!v.envWarnings.empty()) {
        if (!text.empty()) text += u"\r\n";
        text += u"环境安装警告：";
        text += v.envWarnings;
    }
    return text;
}

void LayoutProgressOrResult(int32_t page, const ProductView& v, bool hostIsArm64, const PixelRect& row,
                            uint32_t dpi, RowLayout& out) {
    out.statusFont = (page == 1 && v.failed) ? kRowFontBody : kRowFontSmall;
    out.statusColor = v.failed ? kRowColorError : v.succeeded ? kRowColorSuccess : kRowColorMuted;
    if (page == 1) {
        out.hasProgress = true;
        out.progressTrack = {out.textX, Below(row, 55, dpi), FromRight(row, 140, dpi), Below(row, 61, dpi)};
        const int32_t trackWidth = out.progressTrack.right - out.progressTrack.left;
        // A stray percentage must not paint past the track.
        const int32_t percent = v.progressPercent < 0 ? 0 : v.progressPercent > 100 ? 100 : v.progressPercent;
        out.progressFilled = trackWidth > 0 ? MulDivRound(trackWidth, percent, 100) : 0;
        out.percentRect = {FromRight(row, 135, dpi), Below(row, 49, dpi), FromRight(row, 88, dpi), Below(row, 69, dpi)};
        TextFormat(out.percentText, u"%d%%", v.progressPercent);
    }
    out.details = ComposeDetails(v);
    if (!out.details.empty()) {
        const int32_t right = FromRight(row, v.suspectedBlock ? 180 : 140, dpi);
        if (page == 1) {
            out.detailsRect = {out.textX, Below(row, 72, dpi), right, row.bottom - ScaleUnits(8, dpi)};
        } else {
            const int32_t bottom = row.bottom - ScaleUnits(v.suspectedBlock ? 40 : 6, dpi);
            out.detailsRect = {out.textX, Below(row, 64, dpi), right, bottom};
        }
        out.detailsColor = v.failed ? kRowColorError : !v.envWarnings.empty() ? kRowColorWarning : kRowColorError;
    }
    out.actions = RowActions(page, v, hostIsArm64);
}

}  // namespace

int32_t RowHeightUnits(int32_t page) {
    return page == 0 ? kRowHeightChoose : page == 1 ? kRowHeightProgress : kRowHeightOther;
}

WideBuffer RowStatusLabel(const ProductEntry& p, const ProductView& v, int32_t operationMode) {
    if (!p.os_supported) return u"不适合您的系统";
    if (p.manifest_invalid) return u"记录异常";
    if (!p.installed) return v.hasPackage ? u"" : u"暂无安装包";
    return InstalledLabel(p, v, operationMode);
}

Rgb BadgeColor(std::u16string_view label) {
    if (label.empty() || Contains(label, u"无需")) return {156, 163, 175};
    if (Contains(label, u"暂无")) return {203, 213, 224};
    if (Contains(label, u"不适合") || Contains(label, u"异常")) return {239, 68, 68};
    return {59, 130, 246};
}

PixelRect BadgeRect(const PixelRect& area, int32_t leftLimitPx, int32_t textWidthPx, uint32_t dpi) {
    if (textWidthPx <= 0) return {};
    // The text keeps its full width between the insets BadgeTextRect leaves;
    // the badge grows to the left, never past leftLimitPx.
    const int32_t padding = 2 * ScaleUnits(kBadgePadding, dpi);
    const int32_t room = area.right - leftLimitPx;
    const int32_t width = textWidthPx >= room - padding ? room : textWidthPx + padding;
    if (width <= 0) return {};
    const int32_t height = ScaleUnits(kBadgeHeight, dpi);
    const int32_t areaHeight = area.bottom - area.top;
    return {area.right - width, area.top + (areaHeight - height) / 2, area.right, area.top + (areaHeight + height) / 2};
}

PixelRect BadgeTextRect(const PixelRect& badge, uint32_t dpi) {
    if (badge.IsEmpty()) return {};
    return {badge.left + ScaleUnits(kBadgePadding, dpi), badge.top, badge.right - ScaleUnits(kBadgePadding, dpi),
            badge.bottom};
}

int32_t NameColumnLeft(const PixelRect& row, uint32_t dpi) {
    return row.left + ScaleUnits(12, dpi) + ScaleUnits(30, dpi) + ScaleUnits(59, dpi);
}

PixelRect OpenFolderLinkRect(const PixelRect& row, const ProductEntry& product, const ProductView& view,
                           int32_t operationMode, int32_t labelWidthPx, uint32_t dpi) {
    if (!product.installed) return {};
    const PixelRect area = BadgeArea(row, 10, dpi);
    const bool hasLabel = !RowStatusLabel(product, view, operationMode).empty();
    const PixelRect badge = BadgeRect(area, NameColumnLeft(row, dpi), hasLabel ? labelWidthPx : 0, dpi);
    // Without a badge the link keeps its place at the area's right edge.
    const PixelRect anchor = badge.IsEmpty() ? PixelRect{area.right, area.top, area.right, area.bottom} : badge;
    const int32_t right = anchor.left - ScaleUnits(6, dpi);
    return {right - ScaleUnits(98, dpi), anchor.top, right, anchor.bottom};
}

RowActionList RowActions(int32_t page, const ProductView& v, bool hostIsArm64) {
    RowActionList list;
    if (page != 1 && page != 2) return list;
    const bool progressPage = page == 1;

    const int32_t band1 = progressPage ? 24 : 10;
    if (v.failed) {
        AddAction(list, kRowActionRetry, u"重试", kRowFontBody, kRowColorAccent, band1, band1 + 24);
    } else if (!progressPage && v.succeeded && v.hasMainProgram) {
        AddAction(list, kRowActionLaunchNow, u"立即开启", kRowFontSmall, kRowColorText, band1, band1 + 24,
                  v.launchAfterInstall);
    }

    if (v.failed && v.hasErrorUrl) {
        const int32_t top = progressPage ? 72 : 41;
        AddAction(list, kRowActionManualDownload, u"手动下载", kRowFontSmall, kRowColorAccent, top, top + 22);
    } else if (!progressPage && v.hasCompleteUrl) {
        AddAction(list, kRowActionMoreInfo, u"了解更多信息", kRowFontSmall, kRowColorAccent, 41, 63);
    }

    if (v.suspectedBlock) {
        const int32_t z = !progressPage ? 75 : (v.hasErrorUrl && v.failed) ? 96 : 72;
        AddAction(list, kRowActionSecurityCheck, u"检查安全软件", kRowFontSmall, kRowColorAccent, z, z + 22);
    }

    // Placed last: the security entry keeps its band and the ARM entry moves.
    if (hostIsArm64 && v.hasMainProgram) {
        int32_t top = progressPage ? 96 : 75;
        int32_t bottom = progressPage ? 118 : 100;
        // On page 1 the percentage (49 to 69 units) reaches into the column too.
        RowActionList taken = list;
        if (progressPage && taken.count < kRowActionLimit) {
            taken.entries[taken.count].top = 49;
            taken.entries[taken.count++].bottom = 69;
        }
        if (FindFreeBand(taken, RowHeightUnits(page), &top, &bottom)) {
            AddAction(list, kRowActionArmSettings, u"ARM兼容设置", kRowFontSmall, kRowColorAccent, top, bottom);
        }
    }
    return list;
}

RowActionPlace PlaceRowAction(const RowActionEntry& entry, const PixelRect& row, uint32_t dpi) {
    RowActionPlace place;
    const int32_t x0 = FromRight(row, 124, dpi);
    place.band = {x0, Below(row, entry.top, dpi), FromRight(row, 8, dpi), Below(row, entry.bottom, dpi)};
    place.text = place.band;
    if (entry.kind == kRowActionLaunchNow) {
        place.checkBox = {x0, place.band.top + ScaleUnits(2, dpi), x0 + ScaleUnits(16, dpi), place.band.top + ScaleUnits(18, dpi)};
        place.text.left = x0 + ScaleUnits(21, dpi);
    }
    return place;
}

RowActionKind RowActionAt(int32_t page, const ProductView& view, bool hostIsArm64, int32_t xPx, int32_t yPx,
                          const PixelRect& row, uint32_t dpi) {
    // A point outside the item (a stale or keyboard-made cursor position) never acts.
    if (!row.Contains(xPx, yPx) || xPx < FromRight(row, kActionColumn, dpi)) return kRowActionNone;
    const RowActionList list = RowActions(page, view, hostIsArm64);
    for (int32_t i = 0; i < list.count; ++i) {
        const PixelRect band = PlaceRowAction(list.entries[i], row, dpi).band;
        if (yPx >= band.top && yPx < band.bottom) return list.entries[i].kind;
    }
    return kRowActionNone;
}

RowActionKind FirstBandAction(int32_t page, const ProductView& view, bool hostIsArm64) {
    const RowActionList list = RowActions(page, view, hostIsArm64);
    for (int32_t i = 0; i < list.count; ++i) {
        const RowActionKind kind = list.entries[i].kind;
        if (kind == kRowActionRetry || kind == kRowActionLaunchNow) return kind;
    }
    return kRowActionNone;
}

bool RowOffers(int32_t page, const ProductView& view, bool hostIsArm64, RowActionKind kind) {
    const RowActionList list = RowActions(page, view, hostIsArm64);
    for (int32_t i = 0; i < list.count; ++i) {
        if (list.entries[i].kind == kind) return true;
    }
    return false;
}

bool CanToggleRow(const ProductView& view, int32_t operationMode, int32_t productFilter) {
    return productFilter == 0 && IsViewEligible(view, operationMode);
}

PageZeroClick PageZeroClickAt(const ProductEntry& product, const ProductView& view, int32_t operationMode,
                              int32_t productFilter, int32_t xPx, int32_t yPx, const PixelRect& row,
                              int32_t labelWidthPx, uint32_t dpi) {
    if (!row.Contains(xPx, yPx)) return kPageZeroOutside;
    if (view.hasHomePage && HomeLinkArea(row, dpi).Contains(xPx, yPx)) return kPageZeroHomePage;
    if (OpenFolderLinkRect(row, product, view, operationMode, labelWidthPx, dpi).Contains(xPx, yPx)) {
        return kPageZeroOpenFolder;
    }
    return CanToggleRow(view, operationMode, productFilter) ? kPageZeroToggle : kPageZeroSelect;
}

RowLayout LayoutProductRow(int32_t page, const ProductEntry& product, const ProductView& view,
                           int32_t operationMode, bool hostIsArm64, const PixelRect& row, int32_t labelWidthPx,
                           uint32_t dpi) {
    RowLayout out;
    LayoutBackground(page, view, operationMode, out);
    // The name stops short of the folder link, so that comes first.
    if (page == 0) out.folderLink = OpenFolderLinkRect(row, product, view, operationMode, labelWidthPx, dpi);
    LayoutLeftColumn(page, view, row, dpi, out);
    if (page == 0) {
        LayoutPageZero(product, view, operationMode, row, labelWidthPx, dpi, out);
    } else {
        LayoutProgressOrResult(page, view, hostIsArm64, row, dpi, out);
    }
    out.separatorLeft = row.left + ScaleUnits(12, dpi);
    out.separatorY = row.bottom - 1;
    return out;
}
