// The main window's wizard without a window: what each page shows, which
// products its list holds, and where every button, worker result and close
// request leads. main_window_win applies the results.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"
#include "startup/app_state.h"
#include "ui/control_ids.h"

// The mode's verb: "卸载", "更新" or "安装".
const char16_t* ModeVerb(int32_t operationMode);

// What the page shows of one control (ids 100..199).
struct ControlLook {
    bool visible = false;
    int8_t enabled = -1;  // -1: left as it is
    bool hasText = false;  // text is set only when this is true
    WideBuffer text;
};

struct PageLook {
    WideBuffer title, subtitle, step;
    bool stepVisible = true;
    ControlLook controls[kControlIdLimit - kFirstControlId];
    bool progressLabelBodyFont = false;  // page 3
    bool primaryIsDefault = false;       // page 3
    bool startHelpBlink = false;         // page 1 after a run with failures
    bool loadingWanted = false;          // the catalog is loading on page 0

    ControlLook& operator[](int32_t id) { return controls[id - kFirstControlId]; }
    const ControlLook& operator[](int32_t id) const { return controls[id - kFirstControlId]; }
};

// Everything RefreshPage shows on the current page, from the application state.
PageLook ComposePage(const AppState& app);

// The products the list shows on the current page, in catalog order.
std::vector<int32_t> ListCandidates(const AppState& app);

// Copies every loaded product into its view.
void RefreshProductViews(AppState& app);
// Whether "自动运行" starts ticked: at most one chosen product is eligible.
bool AutorunDefault(const AppState& app);
// After the install records were read: the welcome page when something is
// installed, otherwise the choose page in install mode with the locked
// product preselected (the window then applies AutorunDefault).
void ChooseStartPage(AppState& app);

// What the window does after a decision below.
enum class WindowAction {
    kNone,
    kRefresh,         // RefreshPage
    kRefreshNewChoice,  // the choose page with a fresh choice: the autorun default, then RefreshPage
    kDestroy,         // destroy the window
    kStartRollback,   // StartTask(4)
    kStartOperation,  // StartTask(2)
    kStartOperationOnProgress,  // StartTask(2) and page 1, once the task has started
    kStartOpenPrograms,  // StartTask(3)
    kStartCatalog,    // StartTask(1)
    kLockedMissing,   // the error box, then destroy
    kAskExit,         // the exit question
    kConfirm,         // the operation confirmation, then AfterConfirmed
};

WindowAction OnWorkerFinished(AppState& app, bool success);
WindowAction OnBackButton(AppState& app);
WindowAction OnRetryButton(AppState& app);
WindowAction OnPrimaryButton(AppState& app);
// The confirmation accepted: task 2 for every chosen product, on page 1 once it runs.
WindowAction AfterConfirmed(AppState& app);
// One of the welcome page's cards (0 install, 1 uninstall, 2 update).
WindowAction OnCard(AppState& app, int32_t mode);
// Sets closeRequested unless the window may simply go; the window then
// signals the worker's cancel event.
WindowAction CancelOrClose(AppState& app);
// The close request: destroy at once, ask, or ignore.
WindowAction ConfirmExit(const AppState& app);
// The user answered Yes to the exit question.
WindowAction AfterExitConfirmed(AppState& app);

// A task could not start: the page stays and says so.
void TaskNotStarted(AppState& app);

// The progress line and bar after a worker status.
struct StatusUpdate {
    int32_t average = 0;
    bool marquee = false;
    bool hasLabel = false;
    WideBuffer label;
};
// text may be null; a non-null text is also appended to statusHistory.
StatusUpdate OnWorkerStatus(AppState& app, const char16_t* text);

// Before an operation starts: the agreement (install and update) and a chosen
// eligible product. False with the notice when something is missing; shake
// is set when the agreement is.
bool CheckBeforeConfirm(const AppState& app, bool agreeChecked, WideBuffer& notice, bool& shake);
// The confirmation question for uninstall and update (empty for install).
WideBuffer ConfirmQuestion(const AppState& app);
// The options the run takes from the page; every chosen eligible product gets the launch mark.
void CaptureOptions(AppState& app, bool shortcut, bool armAuto, bool autorun);
