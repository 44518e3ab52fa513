// The main window procedure: the wizard's pages applied to the controls, the
// buttons, the worker's three messages, the timers and closing.
#include "ui/main_window_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "base/deployment.h"
#include "base/log.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "engine/worker_win.h"
#include "security/guide_win.h"
#include "startup/app_state.h"
#include "startup/dpi.h"
#include "ui/main_layout.h"
#include "ui/main_ui_win.h"
#include "ui/window_timers.h"
#include "ui/wizard.h"

const wchar_t kMainWindowClass[] = L"TwParcelwrightNative";

MainUi g_ui;

namespace {

HWND MainWindow() { return static_cast<HWND>(g_app.mainWindow); }

bool IsChecked(int32_t id) { return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetFontIfDifferent(HWND control, HFONT font) {
    if (control && reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)) != font) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

void UpdateLoadingAnimation(bool wanted) {
    if (wanted == g_app.loadingAnimating) return;
    g_app.loadingAnimating = wanted;
    if (wanted) {
        g_app.loadingPhase = 0;
        SetTimer(MainWindow(), kTimerLoading, kLoadingStepMs, nullptr);
    } else {
        KillTimer(MainWindow(), kTimerLoading);
    }
}

void PopListTooltip() {
    g_app.hoveredRow = -1;
    if (!g_ui.listTooltip) return;
    SendMessageW(g_ui.listTooltip, TTM_POP, 0, 0);
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = Control(kProductList);
    tool.uId = 1;
    SendMessageW(g_ui.listTooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void RebuildListIfNeeded() {
    HWND list = Control(kProductList);
    if (!list) return;
    const std::vector<int32_t> rows = ListCandidates(g_app);
    bool same = g_app.listFilledForPage == g_app.wizardPage && static_cast<int32_t>(rows.size()) == g_app.listRowCount;
    for (size_t i = 0; same && i < rows.size(); ++i) same = rows[i] == g_app.listRows[i];
    if (!same) {
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        g_app.listRowCount = static_cast<int32_t>(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) g_app.listRows[i] = rows[i];
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        for (int32_t row : rows) {
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(g_app.productViews[row].name)));
        }
        SendMessageW(list, LB_SETITEMHEIGHT, 0, ListItemHeight(g_app.wizardPage, g_app.uiDpi));
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        g_app.listFilledForPage = g_app.wizardPage;
    }
    InvalidateRect(list, nullptr, FALSE);
}

void ApplyVisibility() {
    for (int32_t id = kFirstControlId; id < kControlIdLimit; ++id) {
        ShowIfChanged(g_ui.controls[id], g_ui.controlVisible[id]);
    }
}

void StartHelpBlink() {
    g_app.helpBlinkCount = 0;
    g_app.helpBlinkOn = false;
    SetTimer(MainWindow(), kTimerHelpBlink, kHelpBlinkMs, nullptr);
}

void Destroy() { DestroyWindow(MainWindow()); }

void Act(WindowAction action);

void ConfirmAndStart() {
    if (!ConfirmOperation()) return;
    Act(AfterConfirmed(g_app));
}

// The exit question; at most one on screen.
void AskExit() {
    g_app.exitPromptOpen = true;
    int answer = MessageBoxW(MainWindow(), L"确认退出安装吗？", L"退出安装", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    g_app.exitPromptOpen = false;
    if (answer == IDYES) Act(AfterExitConfirmed(g_app));
}

void Act(WindowAction action) {
    // A close request (see CancelOrClose) is passed on to a running task.
    if (g_app.closeRequested && g_app.cancelEvent) SetEvent(static_cast<HANDLE>(g_app.cancelEvent));
    switch (action) {
        case WindowAction::kNone: return;
        case WindowAction::kRefresh: return RefreshPage();
        case WindowAction::kRefreshNewChoice:
            UpdateAutorunDefault();
            return RefreshPage();
        case WindowAction::kDestroy: return Destroy();
        case WindowAction::kStartRollback: return StartTask(kTaskUndo);
        case WindowAction::kStartOperation: return StartTask(kTaskRunOperation);
        case WindowAction::kStartOperationOnProgress: return StartTaskOnPage(kTaskRunOperation, kPageProgress);
        case WindowAction::kStartOpenPrograms:
            g_app.cleanupAfterLaunch = g_app.operationMode != kModeUninstall && IsChecked(kCleanPackagesCheck);
            return StartTask(kTaskOpenPrograms);
        case WindowAction::kStartCatalog: return StartTask(kTaskLoadCatalog);
        case WindowAction::kLockedMissing:
            MessageBoxW(MainWindow(), W(g_app.catalog.catalogError), L"未找到指定产品", MB_OK | MB_ICONERROR);
            return Destroy();
        case WindowAction::kAskExit: return AskExit();
        case WindowAction::kConfirm: return ConfirmAndStart();
    }
}

void OpenLogFile() {
    WideBuffer local;
    if (ReadEnvironmentVariable(L"LOCALAPPDATA", 260, local) && !local.empty()) {
        WideBuffer path;
        PathJoin(path, local, u"TwParcelwright\\logs\\install.log");
        const INT_PTR result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(MainWindow(), L"open", L"notepad.exe", W(path), nullptr, SW_SHOWNORMAL));
        if (result > 32) return;
    }
    MessageBoxW(MainWindow(), W(g_app.statusHistory), L"安装日志", MB_OK);
}

void OnRefreshLink() {
    if (g_app.workerBusy) return;
    for (ProductView& view : g_app.productViews) {
        if (view.iconBitmap) DeleteObject(static_cast<HBITMAP>(view.iconBitmap));
        view = ProductView();
    }
    StartTask(kTaskLoadCatalog);
}

void OnCommand(WPARAM wParam) {
    const int32_t id = LOWORD(wParam);
    const int32_t code = HIWORD(wParam);
    if (id == kAgreeCheck && code == BN_CLICKED) return StopAgreeShake();
    if (id == kRootEdit && code == EN_KILLFOCUS) return ApplyRootEdit();
    if (id == kInstallCard || id == kUninstallCard || id == kUpdateCard) {
        if (g_app.wizardPage != kPageWelcome || g_app.workerBusy) return;
        SendMessageW(Control(kPurgeCheck), BM_SETCHECK, BST_UNCHECKED, 0);
        const WindowAction action = OnCard(g_app, id - kInstallCard);
        UpdateAutorunDefault();
        RefreshProductViewsAndChecks();
        return Act(action);
    }
    if (id == kRootFrame) return static_cast<void>(SetFocus(Control(kRootEdit)));
    if (code != BN_CLICKED) return;
    switch (id) {
        case kContactLink: return OpenLink(VendorContactUrl());
        case kAgreementLink: return OpenLink(WideBuffer(kVendorOrigin) + u"/user_agreement.php");
        case kManualDownloadLink: return OpenLink(WideBuffer(kVendorOrigin) + u"/");
        case kShopLink: return OpenLink(WideBuffer(kVendorShopOrigin) + u"/");
        case kOpenRootLink: return OpenLink(g_app.installRoot);
        case kHelpLink: return OpenTroubleshootingGuide(MainWindow(), g_app.installRoot);
        case kChangeRootButton:
            PickInstallRoot();
            return ApplyRootEdit();
        case kArmExistingLink: return PickArmProgram();
        case kRefreshLink: return OnRefreshLink();
        case kLogLink: return OpenLogFile();
        case kCloseButton: return Act(CancelOrClose(g_app));
        case kBackButton: return Act(OnBackButton(g_app));
        case kRetryButton: return Act(OnRetryButton(g_app));
        case kPrimaryButton: return Act(OnPrimaryButton(g_app));
        default: return;
    }
}

void OnWorkerStatusMessage(const char16_t* text) {
    const StatusUpdate update = OnWorkerStatus(g_app, text);
    UpdateRowChecks();
    if (update.hasLabel) SetTextIfChanged(Control(kProgressLabel), update.label);
    HWND bar = Control(kProgressBar);
    if (update.marquee != g_app.progressMarquee) {
        g_app.progressMarquee = update.marquee;
        LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
        SetWindowLongPtrW(bar, GWL_STYLE, update.marquee ? (style | PBS_MARQUEE) : (style & ~PBS_MARQUEE));
        SendMessageW(bar, PBM_SETMARQUEE, update.marquee ? TRUE : FALSE, kProgressMarqueeMs);
    }
    if (update.average != g_app.lastTotalProgress) {
        g_app.lastTotalProgress = update.average;
        SendMessageW(bar, PBM_SETPOS, update.average, 0);
    }
    if (!g_app.listRepaintPending) {
        g_app.listRepaintPending = true;
        SetTimer(MainWindow(), kTimerListRepaint, kListRepaintDelayMs, nullptr);
    }
}

// Grey in place, for the icon of a product without a package.
void MakeGrey(HBITMAP bitmap) {
    DIBSECTION dib = {};
    if (GetObjectW(bitmap, sizeof(dib), &dib) != sizeof(dib) || !dib.dsBm.bmBits || dib.dsBm.bmBitsPixel != 32) return;
    auto* pixel = static_cast<uint8_t*>(dib.dsBm.bmBits);
    const size_t count = static_cast<size_t>(dib.dsBm.bmWidth) * static_cast<size_t>(std::abs(dib.dsBm.bmHeight));
    for (size_t i = 0; i < count; ++i, pixel += 4) {
        const uint8_t grey = static_cast<uint8_t>((77 * pixel[2] + 150 * pixel[1] + 29 * pixel[0]) >> 8);
        pixel[0] = pixel[1] = pixel[2] = grey;
    }
}

void OnProductIcon(WPARAM index, HBITMAP bitmap) {
    if (index >= static_cast<WPARAM>(kCatalogSlots)) {
        if (bitmap) DeleteObject(bitmap);
        return;
    }
    ProductView& view = g_app.productViews[index];
    if (view.iconBitmap) DeleteObject(static_cast<HBITMAP>(view.iconBitmap));
    view.iconBitmap = bitmap;
    if (bitmap && !g_app.catalog.products[index].has_package) MakeGrey(bitmap);
    InvalidateRect(Control(kProductList), nullptr, FALSE);
}

void OnTimer(WPARAM id) {
    switch (id) {
        case kTimerListRepaint:
            KillTimer(MainWindow(), kTimerListRepaint);
            g_app.listRepaintPending = false;
            InvalidateRect(Control(kProductList), nullptr, FALSE);
            return;
        case kTimerLoading:
            if (!g_app.loadingAnimating) return;
            g_app.loadingPhase = (g_app.loadingPhase + 1) % 12;
            InvalidateRect(Control(kLoadingIndicator), nullptr, FALSE);
            return;
        case kTimerAgreeShake: return OnAgreeShakeTimer();
        case kTimerHelpBlink:
            g_app.helpBlinkOn = !g_app.helpBlinkOn;
            InvalidateRect(Control(kHelpLink), nullptr, TRUE);
            if (++g_app.helpBlinkCount >= kHelpBlinkTimes) {
                KillTimer(MainWindow(), kTimerHelpBlink);
                g_app.helpBlinkOn = false;
                InvalidateRect(Control(kHelpLink), nullptr, TRUE);
            }
            return;
    }
}

}  // namespace

HWND Control(int32_t id) { return id >= 0 && id < kControlIdLimit ? g_ui.controls[id] : nullptr; }

int32_t Scale(int32_t units) { return ScaleForDpi(units); }

void UpdateAutorunDefault() {
    SendMessageW(Control(kAutorunCheck), BM_SETCHECK, AutorunDefault(g_app) ? BST_CHECKED : BST_UNCHECKED, 0);
}

void RefreshProductViewsAndChecks() {
    RefreshProductViews(g_app);
    UpdateRowChecks();
}

void RefreshPage() {
    const PageLook look = ComposePage(g_app);
    UpdateLoadingAnimation(look.loadingWanted);
    PopListTooltip();
    for (int32_t id = 0; id < kControlIdLimit; ++id) g_ui.controlVisible[id] = id >= kFirstControlId && look[id].visible;
    SetTextIfChanged(g_ui.titleLabel, look.title);
    SetTextIfChanged(g_ui.subtitleLabel, look.subtitle);
    SetTextIfChanged(g_ui.stepLabel, look.step);
    ShowWindow(g_ui.titleLabel, SW_SHOW);
    ShowWindow(g_ui.subtitleLabel, SW_SHOW);
    ShowWindow(g_ui.stepLabel, look.stepVisible ? SW_SHOW : SW_HIDE);
    for (int32_t id = kFirstControlId; id < kControlIdLimit; ++id) {
        const ControlLook& c = look[id];
        HWND control = g_ui.controls[id];
        if (!control) continue;
        if (c.hasText) SetTextIfChanged(control, c.text);
        if (c.enabled >= 0 && (IsWindowEnabled(control) != FALSE) != (c.enabled == 1)) EnableWindow(control, c.enabled == 1);
    }
    if (g_app.wizardPage != kPageWelcome) RebuildListIfNeeded();
    if (look.startHelpBlink) StartHelpBlink();
    if (g_app.wizardPage == kPageFinish) {
        SetFontIfDifferent(Control(kProgressLabel), g_ui.bodyFont);
        SendMessageW(Control(kPrimaryButton), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    }
    LayoutControls();
    ApplyVisibility();
}

void StartTask(int32_t kind) {
    if (g_app.workerBusy) return;
    g_app.workerBusy = true;
    g_app.taskKind = kind;
    g_app.taskStartFailed = false;
    ResetEvent(static_cast<HANDLE>(g_app.cancelEvent));
    RefreshPage();
    HANDLE thread = CreateThread(nullptr, 0, WorkerMain, nullptr, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
        return;
    }
    TaskNotStarted(g_app);
    RefreshPage();
}

void StartTaskOnPage(int32_t kind, int32_t page) {
    if (g_app.workerBusy) return;
    const int32_t before = g_app.wizardPage;
    g_app.wizardPage = page;
    StartTask(kind);
    if (g_app.workerBusy) return;
    g_app.wizardPage = before;  // nothing runs: stay where the user was, with the notice
    RefreshPage();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            g_app.mainWindow = window;
            CreateControls(window);
            RefreshPage();
            PostMessageW(window, WM_COMMAND, kRefreshLink, 0);
            return 0;
        case WM_DESTROY:
            KillTimer(window, kTimerAgreeShake);
            KillTimer(window, kTimerLoading);
            if (g_ui.symbolFont) DeleteObject(g_ui.symbolFont);
            g_ui.symbolFont = nullptr;
            if (g_ui.listTooltip) DestroyWindow(g_ui.listTooltip);
            g_ui.listTooltip = nullptr;
            WideBuffer().swap(g_ui.tooltipText);
            if (g_app.mainWindow == window) g_app.mainWindow = nullptr;
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            LayoutControls();
            return 0;
        case WM_PAINT:
            PaintMainWindow(window);
            return 0;
        case WM_DRAWITEM:
            if (wParam == kProductList) {
                DrawProductRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            if (DrawMainItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
            break;
        case WM_MEASUREITEM:
            reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = static_cast<UINT>(InitialListItemHeight(g_app.uiDpi));
            return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            return StaticColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_CLOSE:
            Act(ConfirmExit(g_app));
            return 0;
        case WM_COMMAND:
            OnCommand(wParam);
            return 0;
        case WM_TIMER:
            if (wParam != kTimerListRepaint && wParam != kTimerLoading && wParam != kTimerAgreeShake &&
                wParam != kTimerHelpBlink) {
                break;
            }
            OnTimer(wParam);
            return 0;
        case kWorkerStatus:
            OnWorkerStatusMessage(reinterpret_cast<const char16_t*>(lParam));
            return 0;
        case kWorkerFinished: {
            const WindowAction action = OnWorkerFinished(g_app, wParam == 1);
            UpdateRowChecks();
            Act(action);
            return 0;
        }
        case kProductIconReady:
            OnProductIcon(wParam, reinterpret_cast<HBITMAP>(lParam));
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
