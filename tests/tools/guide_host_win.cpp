// guide_host: opens the troubleshooting guide without a main window, for
// whole-program tests. Usage: guide_host.exe [FOLDER] [--again]
// With --again the guide is opened once more after the first window is gone.
// Exits 0 when this process's last guide window is gone (at once when another
// process already showed one and this one only brought it forward).
#include <windows.h>
#include <objbase.h>

#include <cwchar>

#include "base/wide_win.h"
#include "security/guide_win.h"

namespace {

bool g_guideGone = false;

LRESULT CALLBACK WatchDestroy(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_NCDESTROY) {
        wchar_t cls[64] = L"";
        GetClassNameW(message->hwnd, cls, 64);
        if (wcscmp(cls, kGuideWindowClass) == 0) {
            g_guideGone = true;
            PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);  // wake the loop
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool OwnGuideOpen() {
    HWND guide = FindWindowW(kGuideWindowClass, nullptr);
    DWORD process = 0;
    if (guide) GetWindowThreadProcessId(guide, &process);
    return guide && process == GetCurrentProcessId();
}

void RunUntilGone() {
    g_guideGone = false;
    if (!OwnGuideOpen()) return;
    MSG msg;
    while (!g_guideGone && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsGuideDialogMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* folder = L"";
    bool again = false;
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--again") == 0) again = true;
        else folder = argv[i];
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, WatchDestroy, nullptr, GetCurrentThreadId());
    for (int round = 0; round < (again ? 2 : 1); ++round) {
        OpenTroubleshootingGuide(nullptr, U(folder));
        RunUntilGone();
    }
    if (hook) UnhookWindowsHookEx(hook);
    CoUninitialize();
    return 0;
}
