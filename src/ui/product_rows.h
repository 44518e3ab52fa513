// What a row of the product list shows, where, and what a point in it means,
// without a window. Painting, the cursor shape and clicks all read the same
// action table, so a row can only react where it draws something.
#pragma once

#include <cstdint>

#include "base/text.h"
#include "catalog/product.h"
#include "startup/dpi.h"
#include "ui/product_view.h"

// A colour as red, green, blue; the window turns it into RGB(r, g, b).
struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

constexpr Rgb kRowSelectedColor{239, 246, 255};
constexpr Rgb kRowCannotChooseColor{247, 248, 250};
constexpr Rgb kProgressTrackColor{226, 232, 240};
constexpr Rgb kRowSeparatorColor{235, 239, 245};
constexpr Rgb kBadgeTextColor{255, 255, 255};

// The window's own fonts and colours, which the painter maps to its objects.
enum RowFont : int32_t { kRowFontBody, kRowFontCardTitle, kRowFontSmall };
enum RowColor : int32_t {
    kRowColorText, kRowColorMuted, kRowColorAccent, kRowColorError, kRowColorSuccess, kRowColorWarning,
};
enum RowBackground : int32_t { kRowBackgroundWhite, kRowBackgroundSelected, kRowBackgroundCannotChoose };

// Row heights in units (page 0, page 1, the others).
constexpr int32_t kRowHeightChoose = 106;
constexpr int32_t kRowHeightProgress = 126;
constexpr int32_t kRowHeightOther = 140;
int32_t RowHeightUnits(int32_t page);

// The page-0 badge text, empty for none; modes 0 install, 1 uninstall, 2 update.
WideBuffer RowStatusLabel(const ProductEntry& product, const ProductView& view, int32_t operationMode);
Rgb BadgeColor(std::u16string_view label);

// The badge for a text textWidthPx wide in the small font (0: no text, empty):
// the text plus its insets, right-aligned in area and growing to the left, but
// never left of leftLimitPx (the name column's start), where a longer text is cut.
PixelRect BadgeRect(const PixelRect& area, int32_t leftLimitPx, int32_t textWidthPx, uint32_t dpi);
// Where the badge's text is drawn: the badge less its 8-unit insets.
PixelRect BadgeTextRect(const PixelRect& badge, uint32_t dpi);
// Where the name and version column of a page-0 row starts.
int32_t NameColumnLeft(const PixelRect& row, uint32_t dpi);

// "打开安装目录" beside the badge; empty when the product is not installed.
// labelWidthPx is the measured width of RowStatusLabel's text.
PixelRect OpenFolderLinkRect(const PixelRect& row, const ProductEntry& product, const ProductView& view,
                           int32_t operationMode, int32_t labelWidthPx, uint32_t dpi);

// --- The action column of pages 1 and 2 --------------------------------------

enum RowActionKind : int32_t {
    kRowActionNone,
    kRowActionRetry,          // retry this product only
    kRowActionLaunchNow,      // the launch-now check box
    kRowActionManualDownload, // opens error_url
    kRowActionMoreInfo,       // opens complete_url
    kRowActionArmSettings,    // the main program's Properties dialog
    kRowActionSecurityCheck,  // the troubleshooting guide
};

// One entry of the column, its band given in units below the row top.
struct RowActionEntry {
    RowActionKind kind = kRowActionNone;
    const char16_t* caption = u"";
    RowFont font = kRowFontSmall;
    RowColor color = kRowColorAccent;
    int32_t top = 0, bottom = 0;
    bool checked = false;  // launch-now only: the box's state
};

constexpr int kRowActionLimit = 4;
struct RowActionList {
    RowActionEntry entries[kRowActionLimit];
    int32_t count = 0;
};

// The entries drawn on a row of page 1 or 2 (none on other pages). Bands never
// overlap and stay inside the row.
RowActionList RowActions(int32_t page, const ProductView& view, bool hostIsArm64);

// Where an entry is painted: the band across the column, the caption's
// rectangle and, for launch-now, the check box (empty otherwise).
struct RowActionPlace {
    PixelRect band, text, checkBox;
};
RowActionPlace PlaceRowAction(const RowActionEntry& entry, const PixelRect& row, uint32_t dpi);

// The entry whose painted band holds the point, when the point lies in the row
// and in its action column (x >= right - 132 units); kRowActionNone otherwise.
// Both the cursor shape and a mouse click on pages 1 and 2 go through here.
RowActionKind RowActionAt(int32_t page, const ProductView& view, bool hostIsArm64, int32_t xPx, int32_t yPx,
                          const PixelRect& row, uint32_t dpi);

// What Space does on a selected row of page 1 or 2: the action of its first band
// (retry or the launch-now mark); kRowActionNone when that band is empty.
RowActionKind FirstBandAction(int32_t page, const ProductView& view, bool hostIsArm64);
// Whether the row draws that action now; keys and the row menu act on nothing else.
bool RowOffers(int32_t page, const ProductView& view, bool hostIsArm64, RowActionKind kind);

// --- Page 0 -------------------------------------------------------------------

// Ticking is allowed: a product eligible at the last view refresh and no
// product given on the command line.
bool CanToggleRow(const ProductView& view, int32_t operationMode, int32_t productFilter);

enum PageZeroClick : int32_t {
    kPageZeroOutside,   // not in the row: default processing
    kPageZeroSelect,    // select the row only
    kPageZeroToggle,    // select the row and toggle its tick
    kPageZeroHomePage,  // open home_url
    kPageZeroOpenFolder,
};
// What a click at the point does; the cursor is the hand exactly for the home
// page, the folder link and toggle.
PageZeroClick PageZeroClickAt(const ProductEntry& product, const ProductView& view, int32_t operationMode,
                              int32_t productFilter, int32_t xPx, int32_t yPx, const PixelRect& row,
                              int32_t labelWidthPx, uint32_t dpi);

// --- Everything the painter draws ---------------------------------------------

struct RowLayout {
    RowBackground background = kRowBackgroundWhite;
    bool dimmed = false;
    uint8_t iconAlpha = 255;
    PixelRect icon;
    int32_t textX = 0;

    // Status glyph, pages other than 0; card title font.
    const char16_t* glyph = nullptr;
    PixelRect glyphRect;
    RowColor glyphColor = kRowColorAccent;

    PixelRect nameRect;  // card title font
    RowColor nameColor = kRowColorText;
    PixelRect secondLine;

    // Page 0.
    WideBuffer versionText;  // small font, muted, in secondLine; empty: none
    WideBuffer label;        // badge text; empty: no badge
    PixelRect badgeArea, badgeRect;
    Rgb badgeColor;
    PixelRect folderLink;         // small font, accent, right-aligned; empty: none
    PixelRect homeLink;           // body font, accent; empty: none
    PixelRect updateDescription;  // small font, muted, wrapped; empty: none

    // Other pages.
    RowFont statusFont = kRowFontSmall;  // status and details
    RowColor statusColor = kRowColorMuted;
    bool hasProgress = false;  // page 1
    PixelRect progressTrack;
    int32_t progressFilled = 0;  // width of the accent part from the track's left
    PixelRect percentRect;         // small font, muted
    WideBuffer percentText;
    WideBuffer details;  // wrapped; empty: none
    PixelRect detailsRect;
    RowColor detailsColor = kRowColorError;
    RowActionList actions;  // place each with PlaceRowAction

    int32_t separatorLeft = 0, separatorY = 0;  // a 1-pixel line to the row's right
};

// labelWidthPx: the small-font width of RowStatusLabel's text (page 0 only).
RowLayout LayoutProductRow(int32_t page, const ProductEntry& product, const ProductView& view,
                           int32_t operationMode, bool hostIsArm64, const PixelRect& row, int32_t labelWidthPx,
                           uint32_t dpi);
