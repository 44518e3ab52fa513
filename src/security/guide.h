// The troubleshooting guide's decisions, without a window: the fifteen steps
// and their texts, where every button and thread result leads, what each page
// shows, and where everything goes on it. guide_win creates, shows and paints.
#pragma once

#include <cstdint>

#include "base/text.h"
#include "startup/dpi.h"

constexpr uint32_t kGuideStepCount = 15;
constexpr int32_t kGuideHistoryLimit = 32;
constexpr int kGuideOptionCount = 6;
constexpr int kGuideProductCount = 6;

// Window messages private to the guide.
constexpr uint32_t kGuideDefenderStatus = 0x8047;     // wParam 2 active, 0 undetermined; lParam generation
constexpr uint32_t kGuideSecurityProducts = 0x8048;   // wParam mask; lParam generation
constexpr uint32_t kGuideOpenAppBrowser = 0x804A;     // wParam generation
constexpr uint32_t kGuideOpenThreatSettings = 0x804B; // wParam generation

// Control ids.
constexpr int kGuideFirstOption = 501;  // 501-506
constexpr int kGuideBack = 510;
constexpr int kGuideBackToList = 511;
constexpr int kGuideNext = 512;
constexpr int kGuideOpenSecurityLink = 513;
constexpr int kGuideManualLink = 514;
constexpr int kGuideContactLink = 515;
constexpr int kGuideCopyLink = 516;
constexpr int kGuideTutorialLink = 517;   // 517-519
constexpr int kGuideVendorHelpLink = 520;
constexpr int kGuideSubtitleLink = 521;

// The navigation state of one guide window.
struct GuideModel {
    uint32_t step = 0;
    uint32_t returnStep = 0;
    uint32_t history[kGuideHistoryLimit] = {};
    int32_t historyCount = 0;
    uint32_t generation = 0;
    int32_t selectedProduct = 0;
    uint32_t detectedMask = 0;
};

// What the window does after the model changed, in this order: log the entered
// step, refresh the page, replace the subtitle, post the open request, start a
// thread, close.
struct GuideEffect {
    enum Thread { kNoThread, kDefenderThread, kProductThread };
    enum Open { kNoOpen, kOpenAppBrowser, kOpenThreatSettings };
    bool entered = false;  // "排查步骤进入" for model.step
    bool refresh = false;
    const char16_t* subtitle = nullptr;  // replaces the subtitle after the refresh
    Open post = kNoOpen;                 // with the generation of the moment
    Thread thread = kNoThread;           // with the generation of the moment
    bool close = false;
};

// Buttons 501-506 (index 0-5), 510, 511, 512.
GuideEffect GuideOption(GuideModel& model, int index);
GuideEffect GuideBack(GuideModel& model);
GuideEffect GuideBackToList(GuideModel& model);
GuideEffect GuideNext(GuideModel& model);

// The manual-steps link (514, and "manual" in the subtitle of the page that
// opens Defender's threat settings).
GuideEffect GuideManualSteps(GuideModel& model);
// Link 513: remembers the step to come back to; true when Windows Security's
// app-and-browser page is wanted rather than the threat settings.
bool GuideOpenSecurityWantsAppBrowser(GuideModel& model);
// Link 513's launch failed.
GuideEffect GuideOpenSecurityFailed(GuideModel& model);

// Thread results and the guide's own open requests; ignored (no effect) unless
// the generation and the step still match.
GuideEffect GuideDefenderResult(GuideModel& model, uintptr_t status, uintptr_t generation);
GuideEffect GuideProductsResult(GuideModel& model, uintptr_t mask, uintptr_t generation);
bool GuideAcceptsOpen(const GuideModel& model, uint32_t message, uintptr_t generation);
// The launch an accepted open request made failed.
GuideEffect GuideOpenFailed(GuideModel& model, uint32_t message);
// A detection thread could not be started.
GuideEffect GuideThreadNotStarted(GuideModel& model, GuideEffect::Thread thread);

extern const char16_t kGuideDefaultFolder[];
extern const char16_t kGuideWindowCaption[];
extern const char16_t kGuideHeader[];

// Everything the page of the model's step shows.
struct GuidePage {
    WideBuffer title, subtitle, body;
    bool subtitleIsLink = false;
    bool subtitleSmall = false;
    bool bodyVisible = false;
    bool optionVisible[kGuideOptionCount] = {};
    WideBuffer optionCaption[kGuideOptionCount];
    bool backVisible = false, backToListVisible = false, nextVisible = false;
    WideBuffer backToListCaption, nextCaption;
    bool openSecurityVisible = false, manualVisible = false, folderVisible = false;
    bool vendorHelpVisible = false, tutorialsVisible = false;
    WideBuffer openSecurityText;  // SysLink markup
    int pictureResource = 0;      // 0: none
};
GuidePage GuidePageFor(const GuideModel& model);

extern const char16_t kGuideCopyLinkText[];

// The address a link opens (515, 517-520), empty for any other id.
WideBuffer GuideLinkAddress(int id, int32_t selectedProduct);

// Where the controls of a step go, in device pixels, for a client area of
// clientWidth x clientHeight at dpi.
struct GuideLayout {
    PixelRect title, subtitle, body, folder, vendorHelp, openSecurity, manual, contact, copy;
    PixelRect back, backToList, next;
    PixelRect options[kGuideOptionCount];
    PixelRect tutorials[3];
    PixelRect pictureArea;
    PixelRect header;          // the one-line header text
    int32_t pictureLineY = 0;  // the rule under the picture
    int32_t bottomLineY = 0;   // the rule above the buttons
};
GuideLayout GuideLayoutFor(uint32_t step, int32_t clientWidth, int32_t clientHeight, uint32_t dpi);

// The picture inside its area: 2:1, as large as fits, centred both ways.
PixelRect GuidePictureRect(const PixelRect& area);

// dpi lowered so that 780 x 660 units plus 24 pixels fit the work area, never below 72.
uint32_t GuideFitDpi(uint32_t dpi, int32_t workWidth, int32_t workHeight);
