// The product list: painting a row from its portable layout, the list's
// subclass (check boxes, tooltip, cursor, clicks, Space and the row menu), the row
// actions of the progress and results pages, and opening links and folders.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <uxtheme.h>
#include <vsstyle.h>
#include <windowsx.h>

#include "base/file_win.h"
#include "base/wide_win.h"
#include "base/windows_version.h"
#include "base/windows_version_win.h"
#include "engine/arm_settings_win.h"
#include "engine/worker.h"
#include "security/guide_win.h"
#include "startup/app_state.h"
#include "ui/colors.h"
#include "ui/main_ui_win.h"
#include "ui/product_list_win.h"
#include "ui/product_rows.h"
#include "ui/wizard.h"

namespace {

HWND MainWindow() { return static_cast<HWND>(g_app.mainWindow); }

// Performs a row's action on page 1 or 2 when the row offers it now.
void PerformRowAction(int32_t row, RowActionKind kind);

COLORREF Color(Rgb c) { return RGB(c.r, c.g, c.b); }

COLORREF Color(RowColor role) {
    switch (role) {
        case kRowColorText: return kColorText;
        case kRowColorMuted: return kColorMuted;
        case kRowColorAccent: return kColorAccent;
        case kRowColorError: return kColorError;
        case kRowColorSuccess: return kColorSuccess;
        default: return kColorWarning;
    }
}

HFONT Font(RowFont role) {
    return role == kRowFontBody ? g_ui.bodyFont : role == kRowFontCardTitle ? g_ui.cardTitleFont : g_ui.smallFont;
}


void Text(HDC dc, const PixelRect& area, std::u16string_view text, HFONT font, COLORREF color, UINT format) {
    if (area.IsEmpty() || text.empty()) return;
    RECT r = ToRect(area);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, color);
    WideBuffer copy(text);
    DrawTextW(dc, W(copy), static_cast<int>(copy.size()), &r, format | DT_NOPREFIX);
    SelectObject(dc, old);
}

void Fill(HDC dc, const PixelRect& area, COLORREF color) {
    RECT r = ToRect(area);
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

int32_t LabelWidthFor(HWND list, int32_t product) {
    const WideBuffer label =
        RowStatusLabel(g_app.catalog.products[product], g_app.productViews[product], g_app.operationMode);
    HDC dc = GetDC(list);
    const int32_t width = BadgeLabelWidth(dc, label);
    ReleaseDC(list, dc);
    return width;
}

void DrawRowCheckBox(HWND list, HDC dc, const PixelRect& area, bool ticked) {
    RECT r = ToRect(area);
    HTHEME theme = OpenThemeData(list, L"BUTTON");
    if (theme) {
        DrawThemeBackground(theme, dc, BP_CHECKBOX, ticked ? CBS_CHECKEDNORMAL : CBS_UNCHECKEDNORMAL, &r, nullptr);
        CloseThemeData(theme);
    } else {
        DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONCHECK | (ticked ? DFCS_CHECKED : 0));
    }
}

void DrawIcon(HDC dc, const RowLayout& layout, const ProductView& view) {
    const PixelRect& r = layout.icon;
    if (view.iconBitmap) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, static_cast<HBITMAP>(view.iconBitmap));
        BITMAP bm = {};
        GetObjectW(static_cast<HBITMAP>(view.iconBitmap), sizeof(bm), &bm);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, layout.iconAlpha, AC_SRC_ALPHA};
        AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, 0, 0, bm.bmWidth, bm.bmHeight, blend);
        SelectObject(memory, old);
        DeleteDC(memory);
    } else if (g_ui.appIcon) {
        if (layout.dimmed) {
            DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(g_ui.appIcon), 0, r.left, r.top, r.right - r.left,
                       r.bottom - r.top, DST_ICON | DSS_DISABLED);
        } else {
            DrawIconEx(dc, r.left, r.top, g_ui.appIcon, r.right - r.left, r.bottom - r.top, 0, nullptr, DI_NORMAL);
        }
    }
}

// The product's row under a list client point, -1 for none.
int32_t RowAt(HWND list, POINT point, RECT* item) {
    const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y));
    const int32_t row = LOWORD(hit);
    if (HIWORD(hit) != 0 || row >= g_app.listRowCount) return -1;
    if (SendMessageW(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(item)) == LB_ERR) return -1;
    if (!PtInRect(item, point)) return -1;
    return row;
}

void RefreshRow(HWND list, int32_t row) {
    RefreshProductViewsAndChecks();
    RECT item;
    if (SendMessageW(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item)) != LB_ERR) {
        InvalidateRect(list, &item, FALSE);
    }
}

void ToggleRow(int32_t row) {
    ProductEntry& p = g_app.catalog.products[g_app.listRows[row]];
    p.selected = !p.selected;
    // The tick is the window's own field: the view follows at once.
    g_app.productViews[g_app.listRows[row]].selected = p.selected;
    UpdateAutorunDefault();
}

bool OnPageZeroClick(HWND list, POINT point) {
    RECT item;
    const int32_t row = RowAt(list, point, &item);
    if (row < 0) return false;
    const int32_t product = g_app.listRows[row];
    const ProductEntry& p = g_app.catalog.products[product];
    switch (PageZeroClickAt(p, g_app.productViews[product], g_app.operationMode, g_app.productFilter, point.x,
                            point.y, ToPixelRect(item), LabelWidthFor(list, product), g_app.uiDpi)) {
        case kPageZeroHomePage: OpenLink(p.home_url); return true;
        case kPageZeroOpenFolder: OpenInstallFolder(p.installed_dir); return true;
        case kPageZeroOutside: return false;
        case kPageZeroToggle:
            SendMessageW(list, LB_SETCURSEL, row, 0);
            SetFocus(list);
            ToggleRow(row);
            break;
        case kPageZeroSelect:
            SendMessageW(list, LB_SETCURSEL, row, 0);
            SetFocus(list);
            break;
    }
    RefreshRow(list, row);
    return true;
}

bool IsActionable(HWND list, POINT point) {
    if (g_app.workerBusy) return false;
    RECT item;
    const int32_t row = RowAt(list, point, &item);
    if (row < 0) return false;
    const int32_t product = g_app.listRows[row];
    if (g_app.wizardPage == kPageChoose) {
        const ::PageZeroClick click =
            PageZeroClickAt(g_app.catalog.products[product], g_app.productViews[product], g_app.operationMode,
                            g_app.productFilter, point.x, point.y, ToPixelRect(item), LabelWidthFor(list, product),
                            g_app.uiDpi);
        return click == kPageZeroToggle || click == kPageZeroHomePage || click == kPageZeroOpenFolder;
    }
    return RowActionAt(g_app.wizardPage, g_app.productViews[product], g_app.hostIsArm64, point.x, point.y,
                       ToPixelRect(item), g_app.uiDpi) != kRowActionNone;
}

void UpdateTooltip(HWND list, bool leaving, POINT point) {
    if (!g_ui.listTooltip) return;
    int32_t row = -1;
    RECT item = {};
    if (!leaving && g_app.wizardPage <= kPageResults) {
        row = RowAt(list, point, &item);
        TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, list, 0};
        TrackMouseEvent(&track);
    }
    if (row == g_app.hoveredRow) return;
    SendMessageW(g_ui.listTooltip, TTM_POP, 0, 0);
    g_app.hoveredRow = row;
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = list;
    tool.uId = 1;
    if (row >= 0) {
        g_ui.tooltipText.clear();
        DescribeSupportedSystems(g_app.catalog.products[g_app.listRows[row]].support_os, CurrentWindowsVersion(),
                                 g_ui.tooltipText);
        tool.lpszText = W(&g_ui.tooltipText[0]);
        SendMessageW(g_ui.listTooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
        tool.rect = item;
    }
    SendMessageW(g_ui.listTooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
}

LRESULT RowCheckColor(HDC dc, HWND box) {
    const int32_t row = GetDlgCtrlID(box) - kFirstRowCheckId;
    COLORREF color = kColorWhite;
    if (row >= 0 && row < g_app.listRowCount) {
        const ProductView& v = g_app.productViews[g_app.listRows[row]];
        color = !IsViewEligible(v, g_app.operationMode) ? Color(kRowCannotChooseColor)
                : v.selected                            ? Color(kRowSelectedColor)
                                                        : kColorWhite;
    }
    SetBkColor(dc, color);
    SetDCBrushColor(dc, color);
    return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
}

const ProductView& ViewOfRow(int32_t row) {
    static const ProductView kNone;
    return row >= 0 && row < g_app.listRowCount ? g_app.productViews[g_app.listRows[row]] : kNone;
}

// Rows of the progress and results pages act through Space and a menu as well as a click.
bool HasRowMenus() {
    return (g_app.wizardPage == kPageProgress || g_app.wizardPage == kPageResults) && !g_app.workerBusy;
}

// Shift+F10 and the menu key open a row's menu.
bool IsMenuKey(WPARAM key) {
    return key == VK_APPS || (key == VK_F10 && (GetKeyState(VK_SHIFT) & 0x8000));
}

// A menu of the actions the row draws, with the same captions and the launch-now mark;
// at the pointer for a mouse, at the row's action column for the keyboard.
void OpenRowMenu(HWND list, int32_t row, const POINT* screenPoint) {
    if (row < 0 || row >= g_app.listRowCount) return;
    const RowActionList actions = RowActions(g_app.wizardPage, ViewOfRow(row), g_app.hostIsArm64);
    if (actions.count == 0) return;
    POINT at = {};
    if (screenPoint) {
        at = *screenPoint;
    } else {
        RECT item, client;
        if (SendMessageW(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item)) == LB_ERR) return;
        GetClientRect(list, &client);
        at = {item.right - Scale(124), item.top + Scale(10)};
        at.y = at.y < client.top ? client.top : at.y > client.bottom ? client.bottom : at.y;
        ClientToScreen(list, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    for (int32_t i = 0; i < actions.count; ++i) {
        const RowActionEntry& e = actions.entries[i];
        AppendMenuW(menu, MF_STRING | (e.checked ? MF_CHECKED : MF_UNCHECKED), static_cast<UINT_PTR>(e.kind),
                    W(e.caption));
    }
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                         at.x, at.y, 0, MainWindow(), nullptr));
    DestroyMenu(menu);
    // The row may have changed while the menu was open: the action is checked again.
    if (chosen != 0) PerformRowAction(row, static_cast<RowActionKind>(chosen));
}

}  // namespace

int32_t BadgeLabelWidth(HDC dc, const WideBuffer& label) {
    if (label.empty()) return 0;
    HGDIOBJ old = SelectObject(dc, g_ui.smallFont);
    SIZE size = {};
    GetTextExtentPoint32W(dc, W(label), static_cast<int>(label.size()), &size);
    SelectObject(dc, old);
    return size.cx;
}

void DrawProductRow(const DRAWITEMSTRUCT& item) {
    const int32_t row = static_cast<int32_t>(item.itemID);
    if (item.itemID == static_cast<UINT>(-1) || row >= g_app.listRowCount) return;
    const int32_t product = g_app.listRows[row];
    const ProductEntry& p = g_app.catalog.products[product];
    const ProductView& view = g_app.productViews[product];
    HDC dc = item.hDC;
    const WideBuffer label = RowStatusLabel(p, view, g_app.operationMode);
    const RowLayout l = LayoutProductRow(g_app.wizardPage, p, view, g_app.operationMode, g_app.hostIsArm64,
                                         ToPixelRect(item.rcItem), BadgeLabelWidth(dc, label), g_app.uiDpi);
    const COLORREF background = l.background == kRowBackgroundSelected        ? Color(kRowSelectedColor)
                                : l.background == kRowBackgroundCannotChoose ? Color(kRowCannotChooseColor)
                                                                              : kColorWhite;
    Fill(dc, ToPixelRect(item.rcItem), background);
    const UINT line = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS;
    if (l.glyph) Text(dc, l.glyphRect, l.glyph, g_ui.cardTitleFont, Color(l.glyphColor), line);
    DrawIcon(dc, l, view);
    Text(dc, l.nameRect, view.name, g_ui.cardTitleFont, Color(l.nameColor), line);
    if (g_app.wizardPage == kPageChoose) {
        Text(dc, l.secondLine, l.versionText, g_ui.smallFont, kColorMuted, line);
        if (!l.label.empty()) {
            HBRUSH brush = CreateSolidBrush(Color(l.badgeColor));
            HPEN pen = CreatePen(PS_SOLID, 1, Color(l.badgeColor));
            HGDIOBJ oldBrush = SelectObject(dc, brush), oldPen = SelectObject(dc, pen);
            RoundRect(dc, l.badgeRect.left, l.badgeRect.top, l.badgeRect.right, l.badgeRect.bottom, Scale(12), Scale(12));
            SelectObject(dc, oldBrush);
            SelectObject(dc, oldPen);
            DeleteObject(brush);
            DeleteObject(pen);
            Text(dc, BadgeTextRect(l.badgeRect, g_app.uiDpi), l.label, g_ui.smallFont, Color(kBadgeTextColor),
                 line | DT_CENTER);
        }
        if (!l.folderLink.IsEmpty()) Text(dc, l.folderLink, u"打开安装目录", g_ui.smallFont, kColorAccent, line | DT_RIGHT);
        if (!l.homeLink.IsEmpty()) Text(dc, l.homeLink, u"了解产品", g_ui.bodyFont, kColorAccent, line);
        if (!view.updateDescription.empty()) {
            Text(dc, l.updateDescription, view.updateDescription, g_ui.smallFont, kColorMuted,
                 DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS);
        }
    } else {
        Text(dc, l.secondLine, view.statusText, Font(l.statusFont), Color(l.statusColor), line);
        if (l.hasProgress) {
            Fill(dc, l.progressTrack, Color(kProgressTrackColor));
            PixelRect filled = l.progressTrack;
            filled.right = filled.left + l.progressFilled;
            if (!filled.IsEmpty()) Fill(dc, filled, kColorAccent);
            Text(dc, l.percentRect, l.percentText, g_ui.smallFont, kColorMuted, line);
        }
        Text(dc, l.detailsRect, l.details, Font(l.statusFont), Color(l.detailsColor),
             DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS);
        for (int32_t i = 0; i < l.actions.count; ++i) {
            const RowActionEntry& entry = l.actions.entries[i];
            const RowActionPlace place = PlaceRowAction(entry, ToPixelRect(item.rcItem), g_app.uiDpi);
            if (!place.checkBox.IsEmpty()) DrawRowCheckBox(item.hwndItem, dc, place.checkBox, entry.checked);
            Text(dc, place.text, entry.caption, Font(entry.font), Color(entry.color), line);
        }
    }
    // Space and the menu key act on this row: show which one it is.
    if (g_app.wizardPage != kPageChoose && (item.itemState & ODS_FOCUS)) DrawFocusRect(dc, &item.rcItem);
    HPEN pen = CreatePen(PS_SOLID, 1, Color(kRowSeparatorColor));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, l.separatorLeft, l.separatorY, nullptr);
    LineTo(dc, item.rcItem.right, l.separatorY);
    SelectObject(dc, old);
    DeleteObject(pen);
}

LRESULT CALLBACK ProductListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    switch (message) {
        case WM_COMMAND: {
            const int32_t box = LOWORD(wParam);
            if (HIWORD(wParam) != BN_CLICKED || box < kFirstRowCheckId || box >= kFirstRowCheckId + 64) break;
            const int32_t row = box - kFirstRowCheckId;
            if (g_app.wizardPage != kPageChoose || g_app.workerBusy || row >= g_app.listRowCount) return 0;
            const ProductView& v = g_app.productViews[g_app.listRows[row]];
            if (CanToggleRow(v, g_app.operationMode, static_cast<int32_t>(g_app.productFilter))) {
                ToggleRow(row);
                SendMessageW(list, LB_SETCURSEL, row, 0);
                RefreshRow(list, row);
            }
            return 0;
        }
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC: {
            const int32_t child = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (child >= kFirstRowCheckId && child < kFirstRowCheckId + 64) {
                return RowCheckColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
            }
            break;
        }
        case WM_SIZE:
        case WM_VSCROLL:
        case WM_MOUSEWHEEL:
        case LB_SETTOPINDEX: {
            LRESULT result = DefSubclassProc(list, message, wParam, lParam);
            UpdateRowChecks();
            return result;
        }
        case WM_MOUSEMOVE:
        case WM_MOUSELEAVE:
            UpdateTooltip(list, message == WM_MOUSELEAVE, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            break;
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT) {
                POINT point;
                GetCursorPos(&point);
                ScreenToClient(list, &point);
                SetCursor(LoadCursorW(nullptr, IsActionable(list, point) ? IDC_HAND : IDC_ARROW));
                return TRUE;
            }
            break;
        case WM_LBUTTONDOWN: {
            const POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (g_app.wizardPage == kPageChoose && !g_app.workerBusy) {
                if (OnPageZeroClick(list, point)) return 0;
                break;
            }
            // Pages 1 and 2: only a click acts on a row, at the point clicked.
            LRESULT result = DefSubclassProc(list, message, wParam, lParam);
            RECT item;
            const int32_t row = RowAt(list, point, &item);
            if (row >= 0) RowAction(row, point);
            return result;
        }
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            const int32_t row = static_cast<int32_t>(SendMessageW(list, LB_GETCURSEL, 0, 0));
            if (message == WM_KEYDOWN && wParam == VK_SPACE && g_app.wizardPage == kPageChoose && !g_app.workerBusy) {
                RowAction(row, POINT{0, 0});
                return 0;
            }
            if (!HasRowMenus()) break;
            if (message == WM_KEYDOWN && wParam == VK_SPACE) {
                PerformRowAction(row, FirstBandAction(g_app.wizardPage, ViewOfRow(row), g_app.hostIsArm64));
                return 0;
            }
            if (IsMenuKey(wParam)) {
                OpenRowMenu(list, row, nullptr);
                return 0;
            }
            break;
        }
        case WM_KEYUP:
        case WM_SYSKEYUP:
            // The default would open the menu a second time, or the system menu after F10.
            if (HasRowMenus() && IsMenuKey(wParam)) return 0;
            break;
        case WM_RBUTTONDOWN:
            if (HasRowMenus()) {
                RECT item;
                const int32_t row = RowAt(list, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, &item);
                if (row >= 0) SendMessageW(list, LB_SETCURSEL, row, 0);
                SetFocus(list);
                return 0;
            }
            break;
        case WM_RBUTTONUP:
            if (HasRowMenus()) {
                POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                RECT item;
                const int32_t row = RowAt(list, at, &item);
                ClientToScreen(list, &at);
                if (row >= 0) OpenRowMenu(list, row, &at);
                return 0;
            }
            break;
        case WM_CONTEXTMENU:
            if (HasRowMenus()) {
                POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                if (lParam == -1) {
                    OpenRowMenu(list, static_cast<int32_t>(SendMessageW(list, LB_GETCURSEL, 0, 0)), nullptr);
                } else {
                    POINT client = at;
                    ScreenToClient(list, &client);
                    RECT item;
                    const int32_t row = RowAt(list, client, &item);
                    if (row >= 0) OpenRowMenu(list, row, &at);
                }
                return 0;
            }
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(list, ProductListProc, id);
            break;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

void RowAction(int32_t row, POINT point) {
    HWND list = Control(kProductList);
    if (row < 0 || row >= g_app.listRowCount || g_app.workerBusy) return;
    const int32_t product = g_app.listRows[row];
    if (g_app.wizardPage == kPageChoose) {
        if (CanToggleRow(g_app.productViews[product], g_app.operationMode, static_cast<int32_t>(g_app.productFilter))) {
            ToggleRow(row);
        }
        RefreshProductViewsAndChecks();
        InvalidateRect(list, nullptr, FALSE);
        return;
    }
    RECT item;
    if (SendMessageW(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item)) == LB_ERR) return;
    PerformRowAction(row, RowActionAt(g_app.wizardPage, g_app.productViews[product], g_app.hostIsArm64, point.x,
                                      point.y, ToPixelRect(item), g_app.uiDpi));
}

namespace {

void PerformRowAction(int32_t row, RowActionKind kind) {
    if (row < 0 || row >= g_app.listRowCount || g_app.workerBusy) return;
    const int32_t product = g_app.listRows[row];
    if (!RowOffers(g_app.wizardPage, g_app.productViews[product], g_app.hostIsArm64, kind)) return;
    ProductEntry& p = g_app.catalog.products[product];
    switch (kind) {
        case kRowActionRetry:
            g_app.rowFilter = product;
            return StartTaskOnPage(kTaskRunOperation, kPageProgress);
        case kRowActionLaunchNow: p.launch_after_install = !p.launch_after_install; break;
        case kRowActionManualDownload: return OpenLink(p.error_url);
        case kRowActionMoreInfo: return OpenLink(p.complete_url);
        case kRowActionSecurityCheck: return OpenTroubleshootingGuide(MainWindow(), g_app.installRoot);
        case kRowActionArmSettings:
            if (!OpenPropertiesDialog(MainWindow(), p.main_program_path)) {
                SetTextIfChanged(Control(kNoticeLabel), u"无法打开主程序属性，请在安装目录中右键主程序 → 属性 → 兼容性。");
            }
            return;
        default: return;
    }
    RefreshProductViewsAndChecks();
    InvalidateRect(Control(kProductList), nullptr, FALSE);
}

}  // namespace

void OpenLink(std::u16string_view address) {
    WideBuffer copy(address);
    const INT_PTR result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(MainWindow(), L"open", W(copy), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        MessageBoxW(MainWindow(), L"无法自动打开，请手动打开链接或联系客服。", L"Tarnwick软件下载", MB_OK | MB_ICONINFORMATION);
    }
}

void OpenInstallFolder(std::u16string_view path) {
    WideBuffer copy(path);
    if (!copy.empty() && DirectoryExists(copy)) {
        const INT_PTR result =
            reinterpret_cast<INT_PTR>(ShellExecuteW(MainWindow(), L"open", W(copy), nullptr, nullptr, SW_SHOWNORMAL));
        if (result > 32) return;
        MessageBoxW(MainWindow(), L"无法打开软件位置，请在文件资源管理器中手动打开安装目录。", L"Tarnwick软件下载",
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    MessageBoxW(MainWindow(), L"未找到该软件的安装目录，请检查安装记录或查看安装日志。", L"Tarnwick软件下载",
                MB_OK | MB_ICONINFORMATION);
}
