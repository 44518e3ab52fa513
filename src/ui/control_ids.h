// The main window's control ids, pages and timers. Ids 100..199 index the
// window's control table; the three header labels have id 0.
#pragma once

#include <cstdint>

enum ControlId : int32_t {
    kProductList = 100,
    kRootEdit = 101,
    kChangeRootButton = 102,
    kShortcutCheck = 103,
    kAgreeCheck = 104,
    kAgreementLink = 105,
    kHelpLink = 106,
    kContactLink = 107,
    kLogLink = 108,
    kPrimaryButton = 109,
    kCloseButton = 110,
    kRefreshLink = 111,
    kManualDownloadLink = 112,
    kProgressBar = 113,
    kNoticeLabel = 114,
    kCleanPackagesCheck = 117,
    kBackButton = 118,
    kOpenRootLink = 119,
    kShopLink = 120,
    kRetryButton = 121,
    kProgressLabel = 122,
    kArmAutoCheck = 123,
    kArmExistingLink = 124,
    kAutorunCheck = 125,
    kRootFrame = 126,
    kInstallCard = 127,
    kUninstallCard = 128,
    kUpdateCard = 129,
    kPurgeCheck = 130,
    kLoadingIndicator = 131,
};

constexpr int32_t kFirstControlId = 100;
constexpr int32_t kControlIdLimit = 200;
constexpr int32_t kFirstRowCheckId = 2000;  // + row, children of the product list

enum WizardPage : int32_t {
    kPageChoose = 0,
    kPageProgress = 1,
    kPageResults = 2,
    kPageFinish = 3,
    kPageCancelled = 4,
    kPageWelcome = 5,
};

enum MainTimer : uint32_t {
    kTimerListRepaint = 1,
    kTimerLoading = 2,
    kTimerAgreeShake = 3,
    kTimerHelpBlink = 7,
};
