// The main window's controls: creation, placement for the current page, the
// owner-drawn cards, links, loading indicator and root frame, text colours,
// and the agreement check box's shake.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include "base/wide_win.h"
#include "startup/app_state.h"
#include "ui/main_layout.h"
#include "ui/main_ui_win.h"
#include "ui/product_view.h"
#include "ui/window_timers.h"
#include "ui/wizard.h"

namespace {

HWND MainWindow() { return static_cast<HWND>(g_app.mainWindow); }

HFONT MakeFont(const wchar_t* face, int32_t size, int weight) {
    return CreateFontW(-Scale(size), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

LRESULT CALLBACK HandCursorProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    if (message == WM_SETCURSOR && LOWORD(lParam) == HTCLIENT && IsWindowEnabled(control)) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(control, HandCursorProc, id);
    return DefSubclassProc(control, message, wParam, lParam);
}

// The frame's colour follows the edit's focus.
LRESULT CALLBACK RootFocusProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    if (message == WM_NCDESTROY) RemoveWindowSubclass(edit, RootFocusProc, id);
    LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS) InvalidateRect(Control(kRootFrame), nullptr, TRUE);
    return result;
}

HWND Create(HWND window, int32_t id, const wchar_t* cls, const wchar_t* text, DWORD style) {
    HWND control = CreateWindowExW(0, cls, text, WS_CHILD | style, 0, 0, 0, 0, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   static_cast<HINSTANCE>(g_app.instanceHandle), nullptr);
    if (!control) return nullptr;
    SetWindowTheme(control, L"Explorer", nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(g_ui.bodyFont), FALSE);
    if (id >= kFirstControlId && id < kControlIdLimit) g_ui.controls[id] = control;
    return control;
}

HWND CreateLink(HWND window, int32_t id, const wchar_t* text) {
    HWND link = Create(window, id, L"BUTTON", text, WS_TABSTOP | BS_OWNERDRAW);
    if (link) {
        g_ui.controlIsLink[id] = true;
        SetWindowSubclass(link, HandCursorProc, 1, 0);
    }
    return link;
}

HWND CreateCheck(HWND window, int32_t id, const wchar_t* text, bool checked) {
    HWND check = Create(window, id, L"BUTTON", text, WS_TABSTOP | BS_AUTOCHECKBOX);
    if (check && checked) SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
    return check;
}

void CreateListTooltip(HWND window) {
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0,
                               0, 0, window, nullptr, static_cast<HINSTANCE>(g_app.instanceHandle), nullptr);
    g_ui.listTooltip = tip;
    if (!tip) return;
    SendMessageW(tip, WM_SETFONT, reinterpret_cast<WPARAM>(g_ui.bodyFont), TRUE);
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_SUBCLASS | TTF_TRANSPARENT;
    tool.hwnd = Control(kProductList);
    tool.uId = 1;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, Scale(400));
    SendMessageW(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 400);
    SendMessageW(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 15000);
}


void DrawText(HDC dc, const PixelRect& area, std::u16string_view text, HFONT font, UiColor color, UINT format) {
    RECT r = ToRect(area);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, color);
    WideBuffer copy(text);
    DrawTextW(dc, W(copy), static_cast<int>(copy.size()), &r, format);
    SelectObject(dc, old);
}

void FillColor(HDC dc, const RECT& r, UiColor color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void DrawLoading(const DRAWITEMSTRUCT& item) {
    FillColor(item.hDC, item.rcItem, kColorWhite);
    const LoadingIndicatorPaint paint = LoadingIndicatorFor(ToPixelRect(item.rcItem), g_app.loadingPhase, g_app.uiDpi);
    HGDIOBJ oldPen = SelectObject(item.hDC, GetStockObject(NULL_PEN));
    for (const LoadingDot& dot : paint.dots) {
        HBRUSH brush = CreateSolidBrush(dot.color);
        HGDIOBJ oldBrush = SelectObject(item.hDC, brush);
        Ellipse(item.hDC, dot.bounds.left, dot.bounds.top, dot.bounds.right, dot.bounds.bottom);
        SelectObject(item.hDC, oldBrush);
        DeleteObject(brush);
    }
    SelectObject(item.hDC, oldPen);
    DrawText(item.hDC, paint.text, kLoadingText, g_ui.bodyFont, kColorMuted, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void DrawCard(const DRAWITEMSTRUCT& item) {
    FillColor(item.hDC, item.rcItem, kColorWhite);
    const OperationCardPaint paint =
        OperationCardFor(static_cast<int32_t>(item.CtlID) - kInstallCard, ToPixelRect(item.rcItem),
                         (item.itemState & ODS_SELECTED) != 0, (item.itemState & ODS_FOCUS) != 0, g_app.uiDpi);
    HBRUSH brush = CreateSolidBrush(paint.face);
    HPEN pen = CreatePen(PS_SOLID, 1, paint.border);
    HGDIOBJ oldBrush = SelectObject(item.hDC, brush), oldPen = SelectObject(item.hDC, pen);
    RoundRect(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom, paint.corner,
              paint.corner);
    SelectObject(item.hDC, oldBrush);
    SelectObject(item.hDC, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
    const UINT line = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    DrawText(item.hDC, paint.title, paint.titleText, g_ui.cardTitleFont, kColorText, line);
    DrawText(item.hDC, paint.description, paint.descriptionText, g_ui.smallFont, kColorMuted, line);
    DrawText(item.hDC, paint.arrow, kCardArrow, g_ui.cardTitleFont, kColorAccent, line | DT_CENTER);
}

void DrawLink(const DRAWITEMSTRUCT& item) {
    FillColor(item.hDC, item.rcItem, kColorWhite);
    wchar_t text[1024] = L"";
    GetWindowTextW(item.hwndItem, text, 1024);
    const LinkItemPaint paint = LinkItemFor(static_cast<int32_t>(item.CtlID), ToPixelRect(item.rcItem),
                                            IsWindowEnabled(item.hwndItem) != FALSE, g_app.helpBlinkOn, g_app.uiDpi);
    if (paint.fill != kColorWhite) FillColor(item.hDC, item.rcItem, paint.fill);
    const UINT line = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    if (paint.hasGlyph) DrawText(item.hDC, paint.glyph, kRefreshGlyph, g_ui.symbolFont, paint.textColor, line | DT_CENTER);
    DrawText(item.hDC, paint.text, U(text), g_ui.bodyFont, paint.textColor, line | DT_LEFT | DT_END_ELLIPSIS);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = ToRect(paint.focus);
        DrawFocusRect(item.hDC, &focus);
    }
}

void DrawRootFrame(const DRAWITEMSTRUCT& item) {
    // An owner-drawn static gets no background of its own.
    FillColor(item.hDC, item.rcItem, kColorWhite);
    HBRUSH brush = CreateSolidBrush(RootFrameColor(GetFocus() == Control(kRootEdit)));
    FrameRect(item.hDC, &item.rcItem, brush);
    DeleteObject(brush);
}

// Counted as the page's texts count them.
bool SomeFailed() { return UnfinishedCount(g_app.catalog, g_app.productViews) > 0; }
bool SomeSucceeded() { return SucceededCount(g_app.catalog, g_app.productViews) > 0; }

int32_t EditTextHeight() {
    HWND edit = Control(kRootEdit);
    HDC dc = GetDC(edit);
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, g_ui.bodyFont);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(edit, dc);
    return metrics.tmHeight;
}

}  // namespace

void CreateControls(HWND window) {
    g_ui.symbolFont = MakeFont(L"Segoe UI Symbol", 18, 400);
    g_ui.appIcon = static_cast<HICON>(LoadImageW(nullptr, IDI_APPLICATION, IMAGE_ICON, Scale(44), Scale(44), LR_SHARED));
    g_ui.bodyFont = MakeFont(L"Microsoft YaHei UI", 15, 400);
    g_ui.cardTitleFont = MakeFont(L"Microsoft YaHei UI", 16, 600);
    g_ui.smallFont = MakeFont(L"Microsoft YaHei UI", 13, 400);
    g_ui.titleFont = MakeFont(L"Microsoft YaHei UI", 23, 600);

    for (int32_t id : {kInstallCard, kUninstallCard, kUpdateCard}) {
        const wchar_t* text = id == kInstallCard ? L"开始安装" : id == kUninstallCard ? L"卸载" : L"更新软件";
        HWND card = Create(window, id, L"BUTTON", text, WS_TABSTOP | BS_OWNERDRAW);
        if (card) SetWindowSubclass(card, HandCursorProc, 1, 0);
    }
    CreateCheck(window, kPurgeCheck, L"删除配置文件（清空软件目录）", false);
    g_ui.titleLabel = Create(window, 0, L"STATIC", L"", WS_VISIBLE);
    SendMessageW(g_ui.titleLabel, WM_SETFONT, reinterpret_cast<WPARAM>(g_ui.titleFont), FALSE);
    g_ui.subtitleLabel = Create(window, 0, L"STATIC", L"", WS_VISIBLE);
    g_ui.stepLabel = Create(window, 0, L"STATIC", L"", WS_VISIBLE | SS_RIGHT);
    HWND list = Create(window, kProductList, L"LISTBOX", L"",
                       LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_TABSTOP |
                           WS_VSCROLL | WS_CLIPCHILDREN);
    if (list) SetWindowSubclass(list, ProductListProc, 1, 0);
    CreateListTooltip(window);
    HWND frame = Create(window, kRootFrame, L"STATIC", L"", SS_OWNERDRAW | SS_NOTIFY | WS_CLIPSIBLINGS);
    HWND edit = Create(window, kRootEdit, L"EDIT", W(g_app.installRoot), WS_TABSTOP | ES_AUTOHSCROLL);
    if (edit) {
        SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
        SetWindowSubclass(edit, RootFocusProc, 1, 0);
        // Made first, the frame would lie over the edit and take every click on the text, so
        // the caret could not be placed nor text selected; under it, it keeps only its margin
        // and its painting leaves the edit alone.
        if (frame) SetWindowPos(frame, edit, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    Create(window, kChangeRootButton, L"BUTTON", L"更改目录", WS_TABSTOP | BS_PUSHBUTTON);
    CreateCheck(window, kShortcutCheck, L"创建桌面快捷方式", true);
    CreateCheck(window, kAgreeCheck, L"我已阅读并同意", false);
    CreateLink(window, kAgreementLink, L"使用许可与隐私协议");
    CreateCheck(window, kAutorunCheck, L"自动运行", true);
    CreateLink(window, kHelpLink, L"安装遇到问题？");
    CreateLink(window, kContactLink, L"联系客服");
    CreateLink(window, kLogLink, L"安装日志");
    Create(window, kPrimaryButton, L"BUTTON", L"开始安装", WS_TABSTOP | BS_PUSHBUTTON);
    Create(window, kCloseButton, L"BUTTON", L"关闭", WS_TABSTOP | BS_PUSHBUTTON);
    CreateLink(window, kRefreshLink, L"刷新");
    CreateLink(window, kManualDownloadLink, L"到官网手动下载");
    CreateCheck(window, kArmAutoCheck, L"自动配置 ARM 上的 x86 软件兼容性", true);
    CreateLink(window, kArmExistingLink, L"为已有软件设置 ARM 兼容性");
    Create(window, kLoadingIndicator, L"STATIC", L"正在从官网获取软件列表…", SS_OWNERDRAW);
    HWND bar = Create(window, kProgressBar, PROGRESS_CLASSW, nullptr, PBS_SMOOTH);
    if (bar) SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    Create(window, kNoticeLabel, L"STATIC", L"", SS_LEFT);
    Create(window, kProgressLabel, L"STATIC", L"", 0);
    CreateCheck(window, kCleanPackagesCheck, L"清理已安装的包（保留软件文件）", true);
    Create(window, kBackButton, L"BUTTON", L"返回列表", WS_TABSTOP | BS_PUSHBUTTON);
    CreateLink(window, kOpenRootLink, L"查看安装目录");
    CreateLink(window, kShopLink, L"购买软件");
    Create(window, kRetryButton, L"BUTTON", L"重试", WS_TABSTOP | BS_PUSHBUTTON);
}

void LayoutControls() {
    StopAgreeShake();
    HWND window = MainWindow();
    RECT client;
    GetClientRect(window, &client);
    MainLayoutInput input;
    input.page = g_app.wizardPage;
    input.operationMode = g_app.operationMode;
    input.hostIsArm64 = g_app.hostIsArm64;
    input.someFailed = SomeFailed();
    input.someSucceeded = SomeSucceeded();
    input.clientWidth = client.right;
    input.clientHeight = client.bottom;
    input.dpi = g_app.uiDpi;
    input.rootEditTextHeight = EditTextHeight();
    const MainLayout layout = MainLayoutFor(input);
    MoveIfChanged(g_ui.titleLabel, layout.title);
    MoveIfChanged(g_ui.subtitleLabel, layout.subtitle);
    MoveIfChanged(g_ui.stepLabel, layout.step);
    for (int32_t i = 0; i < kMainControlSlots; ++i) {
        if (layout.placed[i]) MoveIfChanged(g_ui.controls[kFirstControlId + i], layout.controls[i]);
    }
    UpdateRowChecks();
    InvalidateRect(window, nullptr, TRUE);
}

void UpdateRowChecks() {
    HWND list = Control(kProductList);
    if (!list) return;
    RECT listClient;
    GetClientRect(list, &listClient);
    const bool loading = g_app.workerBusy && g_app.taskKind == 1;
    for (int32_t row = 0; row < 64; ++row) {
        RECT item = {};
        bool wanted = g_app.wizardPage == kPageChoose && !loading && row < g_app.listRowCount &&
                      SendMessageW(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item)) != LB_ERR;
        RowCheckPlace place;
        if (wanted) {
            place = RowCheckFor(ToPixelRect(item), listClient.bottom, g_app.uiDpi);
            wanted = place.inView;
        }
        HWND& box = g_ui.rowChecks[row];
        if (wanted && !box) {
            box = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_TABSTOP | BS_CHECKBOX, Scale(12), 0, Scale(24),
                                  Scale(24), list, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstRowCheckId + row)),
                                  static_cast<HINSTANCE>(g_app.instanceHandle), nullptr);
            if (box) {
                SetWindowTheme(box, L"Explorer", nullptr);
                SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(g_ui.bodyFont), FALSE);
            }
        }
        if (!box) continue;
        if (wanted) {
            MoveIfChanged(box, place.box);
            const int32_t product = g_app.listRows[row];
            const ProductEntry& p = g_app.catalog.products[product];
            SendMessageW(box, BM_SETCHECK, p.selected ? BST_CHECKED : BST_UNCHECKED, 0);
            const bool enable = !g_app.workerBusy && g_app.productFilter == 0 &&
                                IsViewEligible(g_app.productViews[product], g_app.operationMode);
            if ((IsWindowEnabled(box) != FALSE) != enable) EnableWindow(box, enable);
        }
        ShowIfChanged(box, wanted);
        if (wanted) InvalidateRect(box, nullptr, TRUE);
    }
}

bool DrawMainItem(const DRAWITEMSTRUCT& item) {
    const int32_t id = static_cast<int32_t>(item.CtlID);
    if (id == kLoadingIndicator) DrawLoading(item);
    else if (id == kRootFrame) DrawRootFrame(item);
    else if (id >= kInstallCard && id <= kUpdateCard) DrawCard(item);
    else if (id >= 0 && id < kControlIdLimit && g_ui.controlIsLink[id]) DrawLink(item);
    else return false;
    return true;
}

void PaintMainWindow(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    const UiLine line = FooterSeparator(client.right, client.bottom, g_app.uiDpi);
    HPEN pen = CreatePen(PS_SOLID, 1, kColorSeparator);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, line.x1, line.y, nullptr);
    LineTo(dc, line.x2, line.y);
    SelectObject(dc, old);
    DeleteObject(pen);
    EndPaint(window, &ps);
}

LRESULT StaticColor(HDC dc, HWND control) {
    int32_t which = control == g_ui.titleLabel      ? kTitleLabel
                    : control == g_ui.subtitleLabel ? kSubtitleLabel
                    : control == g_ui.stepLabel     ? kStepLabel
                                                    : GetDlgCtrlID(control);
    SetTextColor(dc, StaticTextColor(which, g_app.wizardPage, SomeSucceeded(), SomeFailed()));
    SetBkColor(dc, kColorWhite);
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

void StartAgreeShake() {
    HWND check = Control(kAgreeCheck);
    if (!check) return;
    if (!g_app.agreeShaking) {
        GetWindowRect(check, &g_ui.agreeHomeRect);
        MapWindowPoints(nullptr, MainWindow(), reinterpret_cast<POINT*>(&g_ui.agreeHomeRect), 2);
    }
    g_app.agreeShakeStart = GetTickCount();
    g_app.agreeShaking = true;
    SetFocus(check);
    if (!SetTimer(MainWindow(), kTimerAgreeShake, kAgreeShakeStepMs, nullptr)) StopAgreeShake();
}

void StopAgreeShake() {
    KillTimer(MainWindow(), kTimerAgreeShake);
    if (!g_app.agreeShaking) return;
    g_app.agreeShaking = false;
    MoveIfChanged(Control(kAgreeCheck), ToPixelRect(g_ui.agreeHomeRect));
}

void OnAgreeShakeTimer() {
    const uint32_t elapsed = GetTickCount() - g_app.agreeShakeStart;
    const bool checked = SendMessageW(Control(kAgreeCheck), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (AgreeShakeStops(g_app.agreeShaking, elapsed, g_app.wizardPage, checked)) return StopAgreeShake();
    PixelRect moved = ToPixelRect(g_ui.agreeHomeRect);
    const int32_t offset = Scale(AgreeShakeOffset(elapsed));
    moved.left += offset;
    moved.right += offset;
    MoveIfChanged(Control(kAgreeCheck), moved);
}
