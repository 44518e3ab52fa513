// guide_host: opens the troubleshooting guide without a main window, for
// whole-program tests. Usage: guide_host.exe [FOLDER] [--again] [--detection FILE]
// With --again the guide is opened once more after the first window is gone.
// With --detection each security product detection waits until FILE exists,
// removes it and answers the mask written in it (hexadecimal), or what the real
// detection finds when FILE is empty; so a test can read the waiting page.
// Exits 0 when this process's last guide window is gone (at once when another
// process already showed one and this one only brought it forward).
#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include "base/wide_win.h"
#include "security/guide_win.h"
#include "security/security_products_win.h"

namespace {

bool g_guideGone = false;
const wchar_t* g_detectionFile = nullptr;

uint32_t ScriptedDetection() {
    while (GetFileAttributesW(g_detectionFile) == INVALID_FILE_ATTRIBUTES) Sleep(10);
    std::string text;
    HANDLE file = CreateFileW(g_detectionFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[64];
        DWORD read = 0;
        if (ReadFile(file, buffer, sizeof(buffer) - 1, &read, nullptr)) text.assign(buffer, read);
        CloseHandle(file);
    }
    DeleteFileW(g_detectionFile);
    if (text.find_first_not_of(" \r\n") == std::string::npos) return DetectSecurityProducts();
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
}

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
        else if (wcscmp(argv[i], L"--detection") == 0 && i + 1 < argc) g_detectionFile = argv[++i];
        else folder = argv[i];
    }
    if (g_detectionFile) SetGuideProductDetection(ScriptedDetection);
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
