// Where the main window's controls go and how its owner-drawn parts are
// measured and coloured, in device pixels, without a window: main_window_win
// moves and paints, these functions decide, so every page can be checked at
// any DPI natively.
#pragma once

#include <cstdint>

#include "ui/colors.h"
#include "startup/dpi.h"
#include "ui/control_ids.h"

// What the layout depends on. Sizes are the client area in pixels.
struct MainLayoutInput {
    int32_t page = kPageChoose;
    int32_t operationMode = 0;  // OperationMode
    bool hostIsArm64 = false;
    bool someFailed = false;     // a chosen product failed: page 1 moves backButton left
    bool someSucceeded = false;  // a chosen product succeeded: page 3 moves the links right
    int32_t clientWidth = 0, clientHeight = 0;
    uint32_t dpi = 96;
    int32_t rootEditTextHeight = 0;  // the body font's tmHeight on rootEdit's DC
};

constexpr int32_t kMainControlSlots = kControlIdLimit - kFirstControlId;

struct MainLayout {
    PixelRect controls[kMainControlSlots];  // by id - kFirstControlId
    bool placed[kMainControlSlots] = {};  // false: leave the control where it is
    PixelRect title, subtitle, step;        // the header labels (id 0)
};

// Every control of the current page, including rootEdit (RootEditRect).
MainLayout MainLayoutFor(const MainLayoutInput& input);

// rootEdit in pixels, its text line centred in rootFrame by the measured height.
PixelRect RootEditRect(const MainLayoutInput& input);

// The line between the page and the footer buttons: (x1, y) to (x2, y).
struct UiLine {
    int32_t x1 = 0, x2 = 0, y = 0;
};
UiLine FooterSeparator(int32_t clientWidth, int32_t clientHeight, uint32_t dpi);

// The loading indicator: twelve dots on a clock face, the darkest one at
// phase, and the text under them.
constexpr int32_t kLoadingDotCount = 12;
struct LoadingDot {
    int32_t x = 0, y = 0;  // centre
    PixelRect bounds;         // the ellipse
    UiColor color = 0;
};
struct LoadingIndicatorPaint {
    LoadingDot dots[kLoadingDotCount];
    PixelRect text;
};
LoadingIndicatorPaint LoadingIndicatorFor(const PixelRect& item, int32_t phase, uint32_t dpi);
// Shade 0 is the accent colour, 11 the palest.
UiColor LoadingDotColor(int32_t shade);
extern const char16_t kLoadingText[];

// One operation card of the welcome page (index 0, 1, 2: install, uninstall,
// update). Title and arrow use the card title font, the description the small one.
struct OperationCardPaint {
    UiColor face = 0, border = 0;  // RoundRect brush and 1-pixel pen
    int32_t corner = 0;            // RoundRect ellipse width and height
    PixelRect title, description, arrow;
    const char16_t* titleText = nullptr;
    const char16_t* descriptionText = nullptr;
};
OperationCardPaint OperationCardFor(int32_t card, const PixelRect& item, bool pressed, bool focused, uint32_t dpi);
extern const char16_t kCardArrow[];

// A link-style button. The focus rectangle is drawn around focus.
struct LinkItemPaint {
    UiColor fill = kColorWhite;
    bool hasGlyph = false;  // refreshLink's "↻", in the symbol font
    PixelRect glyph;
    PixelRect text;  // where the text is drawn
    UiColor textColor = 0;
    PixelRect focus;
};
LinkItemPaint LinkItemFor(int32_t id, const PixelRect& item, bool enabled, bool helpBlinkOn, uint32_t dpi);
extern const char16_t kRefreshGlyph[];

// rootFrame's one-pixel frame.
UiColor RootFrameColor(bool editHasFocus);

// The agreement check box shake: offset in units from its home left edge.
int32_t AgreeShakeOffset(uint32_t elapsedMs);
bool AgreeShakeStops(bool shaking, uint32_t elapsedMs, int32_t page, bool agreeChecked);

// A row's check box inside the product list, from the row's item rectangle in
// list client coordinates; inView when part of the row is visible.
struct RowCheckPlace {
    bool inView = false;
    PixelRect box;
};
RowCheckPlace RowCheckFor(const PixelRect& item, int32_t listClientHeight, uint32_t dpi);

// Row heights of the product list, in pixels.
int32_t InitialListItemHeight(uint32_t dpi);
int32_t ListItemHeight(int32_t page, uint32_t dpi);

// WM_CTLCOLORSTATIC / WM_CTLCOLOREDIT: which is a control id, or one of the
// header labels (they share id 0, so they get pseudo ids here).
enum MainHeaderLabel : int32_t {
    kTitleLabel = -1,
    kSubtitleLabel = -2,
    kStepLabel = -3,
};
UiColor StaticTextColor(int32_t which, int32_t page, bool someSucceeded, bool someFailed);
