// The main window procedure. For now it only owns the window's lifetime: the
// wizard pages are built on top of it.
#include "ui/main_window_win.h"

#include "startup/app_state.h"

const wchar_t kMainWindowClass[] = L"TwParcelwrightNative";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        if (g_app.mainWindow == window) g_app.mainWindow = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
