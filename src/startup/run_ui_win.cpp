#include "startup/run_ui_win.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/log.h"
#include "base/wide_win.h"
#include "base/windows_version_win.h"
#include "catalog/catalog.h"
#include "security/guide_win.h"
#include "startup/app_state.h"
#include "startup/command_line.h"
#include "startup/dpi.h"
#include "ui/main_window_win.h"

namespace {

struct WindowIcons {
    UniqueIcon large;
    UniqueIcon small;  // empty when the large icon serves for both
    HICON Small() const { return small ? small.get() : large.get(); }
};

HICON LoadOwnIcon(HINSTANCE instance, int size, uint32_t dpi) {
    int scaled = MulDivRound(size, static_cast<int32_t>(dpi), 96);
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, scaled, scaled, 0));
}

WindowIcons LoadWindowIcons(HINSTANCE instance, uint32_t dpi) {
    WindowIcons icons;
    wchar_t path[MAX_PATH + 1];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH) {
        HICON large = nullptr, small = nullptr;
        ExtractIconExW(path, 0, &large, &small, 1);
        icons.large.reset(large);
        icons.small.reset(small);
    }
    if (!icons.large) icons.large.reset(LoadOwnIcon(instance, 32, dpi));
    if (!icons.small) icons.small.reset(LoadOwnIcon(instance, 16, dpi));
    return icons;
}

bool RegisterMainWindowClass(HINSTANCE instance, const WindowIcons& icons) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = 0;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kMainWindowClass;
    wc.hIcon = icons.large.get();
    wc.hIconSm = icons.Small();
    return RegisterClassExW(&wc) != 0;
}

HWND CreateMainWindow(HINSTANCE instance, const RECT& work) {
    int width = ScaleForDpi(720), height = ScaleForDpi(700);
    int left = work.left + (work.right - work.left - width) / 2;
    int top = work.top + (work.bottom - work.top - height) / 2;
    return CreateWindowExW(0, kMainWindowClass, W(kProgramCaption),
                           WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, left, top, width,
                           height, nullptr, nullptr, instance, nullptr);
}

void ShowMainWindow(HWND window, const WindowIcons& icons) {
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetClassLongPtrW(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(icons.large.get()));
    SetClassLongPtrW(window, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(icons.Small()));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons.large.get()));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons.Small()));
    SendMessageW(window, WM_SETICON, ICON_SMALL2, reinterpret_cast<LPARAM>(icons.Small()));
    RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

void RunMessageLoop(HWND window) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &msg) || IsGuideDialogMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

void ChooseDefaultInstallRoot() {
    if (!g_app.pathArgument.empty()) {
        g_app.installRoot = g_app.pathArgument;
    } else if (DirectoryExists(u"D:\\")) {
        g_app.installRoot = u"D:\\Tarnwick软件";
    } else {
        g_app.installRoot = u"C:\\Tarnwick软件";
    }
}

int RunUserInterface(HINSTANCE instance) {
    g_app.instanceHandle = instance;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    g_app.hostIsArm64 = IsHostArm64();
    CurrentWindowsVersion();
    LogLine(u"[Parcelwright] 主机架构：%s", g_app.hostIsArm64 ? u"ARM64（x86仿真）" : u"x86/x64");

    HDC screen = GetDC(nullptr);
    g_app.uiDpi = static_cast<uint32_t>(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);

    CatalogReset(g_app.catalog);
    g_app.installRoot.clear();
    g_app.statusHistory.clear();
    g_app.pageNotice.clear();
    ChooseDefaultInstallRoot();
    g_app.cancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    WindowIcons icons = LoadWindowIcons(instance, g_app.uiDpi);
    RegisterMainWindowClass(instance, icons);

    RECT work = {0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    g_app.uiDpi = ClampDpi(g_app.uiDpi, work.right - work.left, work.bottom - work.top);

    HWND window = CreateMainWindow(instance, work);
    if (!window) return 1;
    g_app.mainWindow = window;
    ShowMainWindow(window, icons);
    RunMessageLoop(window);

    UnregisterClassW(kMainWindowClass, instance);
    // icons are destroyed here, after the class that used them is gone
    CoUninitialize();
    return 0;
}
