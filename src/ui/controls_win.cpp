#include "ui/controls_win.h"

#include "base/text.h"
#include "base/wide_win.h"

void SetTextIfChanged(HWND control, std::u16string_view text) {
    if (!control) return;
    wchar_t current[512];
    const int n = GetWindowTextLengthW(control);
    if (n < 512 && GetWindowTextW(control, current, 512) == n && std::u16string_view(U(current), n) == text) return;
    WideBuffer copy(text);
    SetWindowTextW(control, W(copy));
}

void MoveIfChanged(HWND control, const PixelRect& r) {
    if (!control) return;
    RECT now;
    GetWindowRect(control, &now);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&now), 2);
    if (now.left == r.left && now.top == r.top && now.right == r.right && now.bottom == r.bottom) return;
    SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowIfChanged(HWND control, bool visible) {
    if (!control) return;
    const bool shown = (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != visible) ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}
