// The one process-wide record shared by the window, the worker and the install
// engine. Handles are kept as opaque pointers so portable code can include it.
#pragma once

#include <cstdint>

#include "base/text.h"
#include "base/windows_version.h"
#include "catalog/product.h"
#include "ui/product_view.h"

struct CachedWindowsVersion {
    WindowsVersionCode code = kWindowsUnknown;
    bool computed = false;
};

enum OperationMode : int32_t {
    kModeInstall = 0,
    kModeUninstall = 1,
    kModeUpdate = 2,  // update or reinstall
};

// rowFilter values besides a list row 0..63.
constexpr int32_t kRowFilterAllSelected = -1;
constexpr int32_t kRowFilterFailedOnly = -2;

struct AppState {
    void* instanceHandle = nullptr;  // HINSTANCE
    void* mainWindow = nullptr;      // HWND
    uint32_t uiDpi = 96;
    bool hostIsArm64 = false;

    // Set before the user-interface thread starts, read-only afterwards.
    uint32_t productFilter = 0;
    bool productLocked = false;
    uint32_t preferredProduct = 0;
    WideBuffer pathArgument;

    WideBuffer installRoot;
    WideBuffer statusHistory;
    WideBuffer pageNotice;
    WideBuffer armTargetPath;

    void* cancelEvent = nullptr;  // manual-reset event HANDLE
    int32_t taskKind = 0;
    bool workerBusy = false;
    int32_t operationMode = kModeInstall;
    int32_t rowFilter = kRowFilterAllSelected;
    bool createShortcut = false;
    bool applyArmSettings = false;
    bool cleanupAfterLaunch = false;
    bool purgeOnUninstall = false;

    CachedWindowsVersion windowsVersion;

    CatalogTable catalog;

    // The main window's own state; the worker never reads it.
    int32_t wizardPage = 0;
    bool closeRequested = false;  // never cleared once set
    bool rollbackFinished = false;
    bool exitPromptOpen = false;
    bool taskStartFailed = false;  // the last task could not start
    ProductView productViews[kCatalogSlots];
    int32_t listRows[kCatalogSlots] = {};
    int32_t listRowCount = 0;
    int32_t listFilledForPage = -1;
    int32_t hoveredRow = -1;
    int32_t lastTotalProgress = -1;
    bool progressMarquee = false;
    bool listRepaintPending = false;
    bool loadingAnimating = false;
    int32_t loadingPhase = 0;
    bool helpBlinkOn = false;
    int32_t helpBlinkCount = 0;
    bool agreeShaking = false;
    uint32_t agreeShakeStart = 0;
};

extern AppState g_app;
