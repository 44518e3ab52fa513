// demo_app: the small real program the demo's products install. Started under
// any name it opens a window saying it runs; started as package.exe (the name
// the installer gives a downloaded EXE installer) it is the demo's installer
// and, when the user agrees, copies itself into its working folder (the
// product folder) as "Screen Recorder.exe".
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::wstring OwnPath() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

std::wstring FileName(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

int RunInstaller(const std::wstring& self) {
    wchar_t folder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::wstring question = L"将把 Tarnwick录屏大师 安装到：\n";
    question += folder;
    question += L"\n\n这是演示用的安装程序。";
    if (MessageBoxW(nullptr, question.c_str(), L"Tarnwick录屏大师 安装向导", MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
        return 1602;  // the user cancelled the installation
    }
    std::wstring target = std::wstring(folder) + L"\\Screen Recorder.exe";
    return CopyFileW(self.c_str(), target.c_str(), FALSE) ? 0 : 1603;
}

HFONT g_font = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CTLCOLORSTATIC) {
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(24, 39, 60));
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int RunApp(HINSTANCE instance, const std::wstring& self) {
    std::wstring name = FileName(self);
    if (name.size() > 4) name.resize(name.size() - 4);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"TwDemoApp";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(L"TwDemoApp", name.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                CW_USEDEFAULT, CW_USEDEFAULT, 460, 220, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    g_font = CreateFontW(-18, 0, 0, 0, 400, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei UI");
    std::wstring text = name + L" 已正常运行。\r\n\r\n这是 Tarnwick 演示用的软件，关闭窗口即可退出。";
    HWND label = CreateWindowW(L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, 24, 24, 400, 120, window,
                               nullptr, instance, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(g_font), FALSE);
    ShowWindow(window, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DeleteObject(g_font);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const std::wstring self = OwnPath();
    if (_wcsicmp(FileName(self).c_str(), L"package.exe") == 0) return RunInstaller(self);
    return RunApp(instance, self);
}
