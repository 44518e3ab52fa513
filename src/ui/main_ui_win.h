// The main window's handles and the small helpers its files share. Everything
// here belongs to the user-interface thread.
#pragma once

#include <windows.h>

#include "base/text.h"
#include "startup/dpi.h"
#include "ui/controls_win.h"
#include "ui/control_ids.h"

struct MainUi {
    HWND controls[kControlIdLimit] = {};  // ids 100..199
    bool controlIsLink[kControlIdLimit] = {};
    bool controlVisible[kControlIdLimit] = {};  // wanted visibility, rebuilt by every refresh
    HWND titleLabel = nullptr, subtitleLabel = nullptr, stepLabel = nullptr;
    HWND listTooltip = nullptr;
    HWND rowChecks[64] = {};
    HFONT symbolFont = nullptr, bodyFont = nullptr, cardTitleFont = nullptr, smallFont = nullptr,
          titleFont = nullptr;
    HICON appIcon = nullptr;
    RECT agreeHomeRect = {};
    WideBuffer tooltipText;
};

extern MainUi g_ui;

HWND Control(int32_t id);
inline RECT ToRect(const PixelRect& r) { return {r.left, r.top, r.right, r.bottom}; }
inline PixelRect ToPixelRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
int32_t Scale(int32_t units);


// ShellExecuteW "open"; on failure the box telling the user to open it by hand.
void OpenLink(std::u16string_view address);
// Opens a product's folder, or says why it cannot.
void OpenInstallFolder(std::u16string_view path);

// Controls, layout and painting (main_controls_win.cpp).
void CreateControls(HWND window);
void LayoutControls();
void UpdateRowChecks();
bool DrawMainItem(const DRAWITEMSTRUCT& item);
void PaintMainWindow(HWND window);
LRESULT StaticColor(HDC dc, HWND control);
void StopAgreeShake();
void StartAgreeShake();
void OnAgreeShakeTimer();

// The product list (product_list_win.cpp).
void DrawProductRow(const DRAWITEMSTRUCT& item);
LRESULT CALLBACK ProductListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR);

// Confirmations and pickers (pickers_win.cpp).
bool ConfirmOperation();
void PickInstallRoot();
void ApplyRootEdit();
void PickArmProgram();
void RowAction(int32_t row, POINT clientPoint);

// The wizard (main_window_win.cpp).
void RefreshPage();
void RefreshProductViewsAndChecks();
void StartTask(int32_t kind);
// Moves to page while kind starts; a task that cannot start leaves the page as it was.
void StartTaskOnPage(int32_t kind, int32_t page);
void UpdateAutorunDefault();
