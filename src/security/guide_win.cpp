#include "security/guide_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <uxtheme.h>

#include <memory>

#include "base/log.h"
#include "base/picture_win.h"
#include "base/wide_win.h"
#include "security/defender_win.h"
#include "security/guide.h"
#include "security/security_products_win.h"
#include "startup/dpi.h"
#include "ui/controls_win.h"

const wchar_t kGuideWindowClass[] = L"DaDezororaSecurityGuide";

namespace {

constexpr int kOptionControls = kGuideOptionCount;
constexpr int kBackControl = 6, kBackToListControl = 7, kNextControl = 8, kOpenSecurityControl = 9,
              kManualControl = 10, kContactControl = 11, kCopyControl = 12, kFirstTutorialControl = 13,
              kVendorHelpControl = 16, kControlCount = 17;

struct GuideState {
    HWND window = nullptr;
    HWND titleLabel = nullptr, subtitleLabel = nullptr, subtitleLink = nullptr, bodyLabel = nullptr,
         folderEdit = nullptr;
    HWND controls[kControlCount] = {};
    HFONT bodyFont = nullptr, titleFont = nullptr, smallFont = nullptr;
    WideBuffer folderPath;
    uint32_t dpi = 96;
    GuideModel model;
    PixelRect pictureRect;
};

// Pictures are decoded once per size for the life of the process.
struct CachedPicture {
    HBITMAP bitmap = nullptr;
    int width = 0, height = 0;
};
CachedPicture g_pictures[10];

// Set before a guide opens; the detection threads only read it.
uint32_t (*g_detectProducts)() = DetectSecurityProducts;

// The state of the window being created; its creator frees it if creation fails.
GuideState* g_creating = nullptr;
// This process's guide, for the keyboard: another program's guide is none of ours.
HWND g_guideWindow = nullptr;

struct ThreadStart {
    HWND window;
    uint32_t generation;
};

GuideState* StateOf(HWND window) { return reinterpret_cast<GuideState*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

int32_t Scaled(const GuideState& s, int32_t units) { return MulDivRound(units, static_cast<int32_t>(s.dpi), 96); }

HFONT MakeFont(const GuideState& s, int pixels, int weight) {
    return CreateFontW(-Scaled(s, pixels), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Microsoft YaHei UI");
}

// ---- launching and links ----------------------------------------------------

bool LaunchAppBrowserControl() {
    wchar_t folder[MAX_PATH];
    UINT n = GetWindowsDirectoryW(folder, MAX_PATH);
    bool started = false;
    DWORD error = n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    if (n > 0 && n < MAX_PATH) {
        WideBuffer explorer = U(folder);
        PathJoin(explorer, WideBuffer(explorer), u"explorer.exe");
        WideBuffer commandLine;
        TextFormat(commandLine, u"\"%s\" windowsdefender://appbrowser", explorer);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        started = CreateProcessW(W(explorer), W(&commandLine[0]), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process) != FALSE;
        error = started ? 0 : GetLastError();
        if (started) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    LogLine(u"[Parcelwright] 请求打开应用和浏览器控制：%s，错误%u", started ? u"已提交" : u"启动失败",
            static_cast<uint32_t>(error));
    return started;
}

bool LaunchThreatSettings(HWND window) {
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_FLAG_NO_UI;
    execute.hwnd = window;
    execute.lpVerb = L"open";
    execute.lpFile = L"windowsdefender://threatsettings";
    execute.nShow = SW_SHOWNORMAL;
    bool started = ShellExecuteExW(&execute) != FALSE;
    DWORD error = started ? 0 : GetLastError();
    LogLine(u"[Parcelwright] 请求打开病毒和威胁防护设置：%s，错误%u", started ? u"已提交" : u"启动失败",
            static_cast<uint32_t>(error));
    return started;
}

void OpenAddress(HWND window, const WideBuffer& url) {
    if (!url.empty()) ShellExecuteW(window, L"open", W(url), nullptr, nullptr, SW_SHOWNORMAL);
}

// The folder as Unicode text; the clipboard is emptied first so that an older
// format another program left there cannot paste instead.
const char16_t* CopyFolder(const GuideState& s) {
    const size_t bytes = (s.folderPath.size() + 1) * sizeof(char16_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return u"<a>复制失败</a>";
    void* data = GlobalLock(block);
    if (!data) {
        GlobalFree(block);
        return u"<a>复制失败</a>";
    }
    memcpy(data, s.folderPath.c_str(), bytes);
    GlobalUnlock(block);
    if (!OpenClipboard(s.window)) {
        GlobalFree(block);
        return u"<a>请重试复制</a>";
    }
    EmptyClipboard();
    bool placed = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
    if (!placed) {
        GlobalFree(block);
        return u"<a>复制失败</a>";
    }
    return u"<a>目录已复制</a>";
}

// ---- pictures -----------------------------------------------------------------

HBITMAP PictureFor(int resource, int width, int height) {
    CachedPicture& cached = g_pictures[resource - 101];
    if (cached.bitmap && cached.width == width && cached.height == height) return cached.bitmap;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resource), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return nullptr;
    HBITMAP bitmap = DecodePicture(static_cast<const uint8_t*>(bytes), SizeofResource(module, found), width, height);
    if (!bitmap) return nullptr;
    if (cached.bitmap) DeleteObject(cached.bitmap);
    cached = {bitmap, width, height};
    return bitmap;
}

void DrawPicture(HDC dc, int resource, const PixelRect& r) {
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (resource < 101 || resource > 110 || width <= 0 || height <= 0) return;
    HBITMAP bitmap = PictureFor(resource, width, height);
    if (!bitmap) return;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, r.left, r.top, width, height, memory, 0, 0, width, height, blend);
    SelectObject(memory, old);
    DeleteDC(memory);
}

// ---- page ---------------------------------------------------------------------


void InsetFolderText(GuideState& s) {
    RECT client;
    GetClientRect(s.folderEdit, &client);
    HDC dc = GetDC(s.folderEdit);
    HGDIOBJ old = SelectObject(dc, s.bodyFont);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(s.folderEdit, dc);
    RECT text = client;
    text.left += Scaled(s, 8);
    text.right -= Scaled(s, 8);
    text.top = (client.bottom - metrics.tmHeight) / 2;
    text.bottom = text.top + metrics.tmHeight;
    SendMessageW(s.folderEdit, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&text));
}

void Layout(GuideState& s) {
    RECT client;
    GetClientRect(s.window, &client);
    const GuideLayout l = GuideLayoutFor(s.model.step, client.right, client.bottom, s.dpi);
    MoveIfChanged(s.titleLabel, l.title);
    MoveIfChanged(s.subtitleLabel, l.subtitle);
    MoveIfChanged(s.subtitleLink, l.subtitle);
    MoveIfChanged(s.bodyLabel, l.body);
    MoveIfChanged(s.folderEdit, l.folder);
    for (int i = 0; i < kOptionControls; ++i) MoveIfChanged(s.controls[i], l.options[i]);
    MoveIfChanged(s.controls[kBackControl], l.back);
    MoveIfChanged(s.controls[kBackToListControl], l.backToList);
    MoveIfChanged(s.controls[kNextControl], l.next);
    MoveIfChanged(s.controls[kOpenSecurityControl], l.openSecurity);
    MoveIfChanged(s.controls[kManualControl], l.manual);
    MoveIfChanged(s.controls[kContactControl], l.contact);
    MoveIfChanged(s.controls[kCopyControl], l.copy);
    for (int i = 0; i < 3; ++i) MoveIfChanged(s.controls[kFirstTutorialControl + i], l.tutorials[i]);
    MoveIfChanged(s.controls[kVendorHelpControl], l.vendorHelp);
    InsetFolderText(s);
    s.pictureRect = GuidePictureRect(l.pictureArea);
}

void Refresh(GuideState& s) {
    const GuidePage page = GuidePageFor(s.model);
    SetTextIfChanged(s.titleLabel, page.title);
    SetTextIfChanged(page.subtitleIsLink ? s.subtitleLink : s.subtitleLabel, page.subtitle);
    SendMessageW(s.subtitleLabel, WM_SETFONT, reinterpret_cast<WPARAM>(page.subtitleSmall ? s.smallFont : s.bodyFont),
                 FALSE);
    SetTextIfChanged(s.bodyLabel, page.body);
    SetTextIfChanged(s.controls[kCopyControl], kGuideCopyLinkText);
    for (int i = 0; i < kOptionControls; ++i) {
        if (page.optionVisible[i]) SetTextIfChanged(s.controls[i], page.optionCaption[i]);
    }
    SetTextIfChanged(s.controls[kBackToListControl], page.backToListCaption);
    SetTextIfChanged(s.controls[kNextControl], page.nextCaption);
    SetTextIfChanged(s.controls[kOpenSecurityControl], page.openSecurityText);

    ShowIfChanged(s.subtitleLink, page.subtitleIsLink);
    ShowIfChanged(s.subtitleLabel, !page.subtitleIsLink);
    ShowIfChanged(s.bodyLabel, page.bodyVisible);
    for (int i = 0; i < kOptionControls; ++i) ShowIfChanged(s.controls[i], page.optionVisible[i]);
    ShowIfChanged(s.controls[kVendorHelpControl], page.vendorHelpVisible);
    ShowIfChanged(s.controls[kOpenSecurityControl], page.openSecurityVisible);
    ShowIfChanged(s.controls[kManualControl], page.manualVisible);
    ShowIfChanged(s.folderEdit, page.folderVisible);
    ShowIfChanged(s.controls[kBackControl], page.backVisible);
    ShowIfChanged(s.controls[kBackToListControl], page.backToListVisible);
    ShowIfChanged(s.controls[kNextControl], page.nextVisible);
    for (int i = 0; i < 3; ++i) ShowIfChanged(s.controls[kFirstTutorialControl + i], page.tutorialsVisible);
    Layout(s);
    // The children too: with clipped children the window's own invalidation leaves them stale.
    RedrawWindow(s.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

DWORD WINAPI DefenderThread(void* parameter) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    const int status = DefenderStatus();
    if (status == 0) {
        PostMessageW(start->window, kGuideSecurityProducts, g_detectProducts(), start->generation);
    } else {
        PostMessageW(start->window, kGuideDefenderStatus, status == 1 ? 2 : 0, start->generation);
    }
    return 0;
}

DWORD WINAPI ProductThread(void* parameter) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    PostMessageW(start->window, kGuideSecurityProducts, g_detectProducts(), start->generation);
    return 0;
}

void Apply(GuideState& s, const GuideEffect& effect);

void StartThread(GuideState& s, GuideEffect::Thread thread) {
    auto* start = new ThreadStart{s.window, s.model.generation};
    HANDLE handle = CreateThread(nullptr, 0, thread == GuideEffect::kDefenderThread ? DefenderThread : ProductThread,
                                 start, 0, nullptr);
    if (handle) {
        CloseHandle(handle);
        return;
    }
    delete start;
    Apply(s, GuideThreadNotStarted(s.model, thread));
}

void Apply(GuideState& s, const GuideEffect& effect) {
    if (effect.entered) LogLine(u"[Parcelwright] 排查步骤进入：%u", s.model.step);
    if (effect.refresh) Refresh(s);
    if (effect.subtitle) SetWindowTextW(s.subtitleLabel, W(effect.subtitle));
    if (effect.post == GuideEffect::kOpenAppBrowser) {
        PostMessageW(s.window, kGuideOpenAppBrowser, s.model.generation, 0);
    } else if (effect.post == GuideEffect::kOpenThreatSettings) {
        PostMessageW(s.window, kGuideOpenThreatSettings, s.model.generation, 0);
    }
    if (effect.thread != GuideEffect::kNoThread) StartThread(s, effect.thread);
    // Through WM_CLOSE, so that closing by this button is logged like the close box.
    if (effect.close) PostMessageW(s.window, WM_CLOSE, 0, 0);
}

void OnOpenSecurity(GuideState& s) {
    bool appBrowser = GuideOpenSecurityWantsAppBrowser(s.model);
    bool started = appBrowser ? LaunchAppBrowserControl() : LaunchThreatSettings(s.window);
    if (!started) Apply(s, GuideOpenSecurityFailed(s.model));
}

void OnLink(GuideState& s, int id, const NMLINK& link) {
    switch (id) {
        case kGuideSubtitleLink:
            if (s.model.step != 4) return;
            if (wcscmp(link.item.szID, L"manual") == 0) Apply(s, GuideManualSteps(s.model));
            else if (wcscmp(link.item.szID, L"open") == 0) OnOpenSecurity(s);
            return;
        case kGuideOpenSecurityLink: return OnOpenSecurity(s);
        case kGuideManualLink: return Apply(s, GuideManualSteps(s.model));
        case kGuideCopyLink: return SetTextIfChanged(s.controls[kCopyControl], CopyFolder(s));
        default: return OpenAddress(s.window, GuideLinkAddress(id, s.model.selectedProduct));
    }
}

void OnOpenRequest(GuideState& s, UINT message, WPARAM generation) {
    if (!GuideAcceptsOpen(s.model, message, generation)) return;
    bool started = message == kGuideOpenAppBrowser ? LaunchAppBrowserControl() : LaunchThreatSettings(s.window);
    if (!started) Apply(s, GuideOpenFailed(s.model, message));
}

// ---- creation ------------------------------------------------------------------

LRESULT CALLBACK LinkSubclass(HWND link, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    if (message == WM_SETCURSOR && IsWindowEnabled(link)) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(link, LinkSubclass, id);
    return DefSubclassProc(link, message, wParam, lParam);
}

HWND AddChild(GuideState& s, const wchar_t* cls, const WideBuffer& text, DWORD style, int id) {
    HWND child = CreateWindowExW(0, cls, W(text), WS_CHILD | style, 0, 0, 0, 0, s.window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (!child) return nullptr;
    SetWindowTheme(child, L"Explorer", nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(s.bodyFont), FALSE);
    return child;
}

HWND AddLink(GuideState& s, const char16_t* caption, int id) {
    WideBuffer markup;
    TextFormat(markup, u"<a>%s</a>", caption);
    HWND link = AddChild(s, WC_LINK, markup, WS_TABSTOP, id);
    if (link) SetWindowSubclass(link, LinkSubclass, 1, 0);
    return link;
}

void CreateControls(GuideState& s) {
    s.bodyFont = MakeFont(s, 14, 400);
    s.titleFont = MakeFont(s, 22, 600);
    s.smallFont = MakeFont(s, 12, 400);
    s.titleLabel = AddChild(s, L"STATIC", u"", SS_LEFT | SS_NOPREFIX, 0);
    SendMessageW(s.titleLabel, WM_SETFONT, reinterpret_cast<WPARAM>(s.titleFont), FALSE);
    s.subtitleLabel = AddChild(s, L"STATIC", u"", SS_LEFT | SS_NOPREFIX, 0);
    s.bodyLabel = AddChild(s, L"STATIC", u"", SS_LEFT | SS_NOPREFIX, 0);
    // Not given the hand everywhere: most of this link's text is plain.
    s.subtitleLink = AddChild(s, WC_LINK, u"", WS_TABSTOP, kGuideSubtitleLink);
    s.folderEdit = AddChild(s, L"EDIT", s.folderPath, WS_BORDER | ES_READONLY | ES_MULTILINE | ES_AUTOHSCROLL, 0);
    for (int i = 0; i < kOptionControls; ++i) {
        s.controls[i] = AddChild(s, L"BUTTON", u"", WS_TABSTOP | BS_COMMANDLINK, kGuideFirstOption + i);
    }
    s.controls[kVendorHelpControl] = AddLink(s, u"查看厂商帮助 / 操作说明", kGuideVendorHelpLink);
    s.controls[kBackControl] = AddChild(s, L"BUTTON", u"上一步", WS_TABSTOP | BS_PUSHBUTTON, kGuideBack);
    s.controls[kBackToListControl] = AddChild(s, L"BUTTON", u"返回问题列表", WS_TABSTOP | BS_PUSHBUTTON,
                                              kGuideBackToList);
    s.controls[kNextControl] = AddChild(s, L"BUTTON", u"下一步", WS_TABSTOP | BS_DEFPUSHBUTTON, kGuideNext);
    s.controls[kOpenSecurityControl] = AddLink(s, u"打开 Windows 安全中心", kGuideOpenSecurityLink);
    s.controls[kManualControl] = AddLink(s, u"无法打开？查看手动步骤", kGuideManualLink);
    s.controls[kContactControl] = AddLink(s, u"联系客服", kGuideContactLink);
    s.controls[kCopyControl] = AddLink(s, u"复制目录", kGuideCopyLink);
    s.controls[kFirstTutorialControl] = AddLink(s, u"安装和下载教程", kGuideTutorialLink);
    s.controls[kFirstTutorialControl + 1] = AddLink(s, u"Windows 安全中心拦截说明", kGuideTutorialLink + 1);
    s.controls[kFirstTutorialControl + 2] = AddLink(s, u"其他杀毒软件拦截说明", kGuideTutorialLink + 2);
    for (HWND shown : {s.titleLabel, s.subtitleLabel, s.bodyLabel, s.controls[kContactControl], s.controls[kCopyControl]}) {
        if (shown) ShowWindow(shown, SW_SHOW);
    }
    Refresh(s);
}

// Also what themed children see behind them when they ask for the parent's background.
void PaintTo(GuideState& s, HDC dc) {
    RECT client;
    GetClientRect(s.window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const GuideLayout l = GuideLayoutFor(s.model.step, client.right, client.bottom, s.dpi);

    HGDIOBJ oldFont = SelectObject(dc, s.smallFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(100, 116, 139));
    RECT header = {l.header.left, l.header.top, l.header.right, l.header.bottom};
    DrawTextW(dc, W(kGuideHeader), -1, &header, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    SelectObject(dc, oldFont);

    auto line = [&](int y, COLORREF colour) {
        RECT r = {l.pictureArea.left, y, l.pictureArea.right, y + 1};
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    };
    const int picture = GuidePageFor(s.model).pictureResource;
    if (picture) {
        DrawPicture(dc, picture, s.pictureRect);
        line(l.pictureLineY, RGB(237, 240, 244));
    }
    line(l.bottomLineY, RGB(229, 233, 241));
}

LRESULT OnColor(GuideState& s, HDC dc, HWND control) {
    COLORREF colour = control == s.titleLabel   ? RGB(30, 41, 59)
                      : control == s.folderEdit ? RGB(37, 99, 235)
                                                : RGB(71, 85, 105);
    SetTextColor(dc, colour);
    SetBkColor(dc, RGB(255, 255, 255));
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

void Destroy(HWND window) {
    if (g_guideWindow == window) g_guideWindow = nullptr;
    GuideState* s = StateOf(window);
    if (!s) return;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    for (HFONT font : {s->bodyFont, s->titleFont, s->smallFont}) {
        if (font) DeleteObject(font);
    }
    s->bodyFont = s->titleFont = s->smallFont = nullptr;
    if (s != g_creating) delete s;
}

LRESULT CALLBACK GuideWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* s = static_cast<GuideState*>(created->lpCreateParams);
        s->window = window;
        g_guideWindow = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
    }
    GuideState* s = StateOf(window);
    if (!s) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_CREATE:
            CreateControls(*s);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            PaintTo(*s, BeginPaint(window, &ps));
            EndPaint(window, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            PaintTo(*s, reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            return OnColor(*s, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (id >= kGuideFirstOption && id < kGuideFirstOption + kGuideOptionCount) {
                Apply(*s, GuideOption(s->model, id - kGuideFirstOption));
            } else if (id == kGuideBack) {
                Apply(*s, GuideBack(s->model));
            } else if (id == kGuideBackToList) {
                Apply(*s, GuideBackToList(s->model));
            } else if (id == kGuideNext || id == IDOK) {
                if (IsWindowVisible(s->controls[kNextControl])) Apply(*s, GuideNext(s->model));
            }
            return 0;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            const int id = static_cast<int>(header->idFrom);
            if ((header->code == NM_CLICK || header->code == NM_RETURN) && id >= kGuideOpenSecurityLink &&
                id <= kGuideSubtitleLink) {
                OnLink(*s, id, *reinterpret_cast<const NMLINK*>(lParam));
            }
            return 0;
        }
        case kGuideDefenderStatus:
            Apply(*s, GuideDefenderResult(s->model, wParam, lParam));
            return 0;
        case kGuideSecurityProducts:
            Apply(*s, GuideProductsResult(s->model, wParam, lParam));
            return 0;
        case kGuideOpenAppBrowser:
        case kGuideOpenThreatSettings:
            OnOpenRequest(*s, message, wParam);
            return 0;
        case WM_CLOSE:
            LogLine(u"[Parcelwright] 用户关闭排查窗口，当前步骤：%u", s->model.step);
            DestroyWindow(window);
            return 0;
        case WM_NCDESTROY: {
            LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            Destroy(window);
            return result;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

uint32_t InitialDpi(HWND owner) {
    if (owner) {
        using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
        auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
        if (getDpi) {
            UINT dpi = getDpi(owner);
            if (dpi) return dpi;
        }
    }
    HDC dc = GetDC(owner);
    int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
    if (dc) ReleaseDC(owner, dc);
    return dpi > 0 ? static_cast<uint32_t>(dpi) : 96;
}

RECT WorkAreaOf(HWND owner) {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    HMONITOR monitor = MonitorFromWindow(owner, owner ? MONITOR_DEFAULTTONEAREST : MONITOR_DEFAULTTOPRIMARY);
    if (monitor && GetMonitorInfoW(monitor, &info)) return info.rcWork;
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool RegisterGuideClass(HINSTANCE instance) {
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    // Opening the guide again after it was closed finds the class already there.
    if (GetClassInfoExW(instance, kGuideWindowClass, &existing)) return true;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = GuideWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kGuideWindowClass;
    return RegisterClassExW(&wc) != 0;
}

}  // namespace

void OpenTroubleshootingGuide(HWND ownerWindow, std::u16string_view folderPath) {
    if (HWND open = FindWindowW(kGuideWindowClass, nullptr)) {
        ShowWindow(open, SW_SHOWNORMAL);
        SetForegroundWindow(open);
        return;
    }
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterGuideClass(instance)) return;

    std::unique_ptr<GuideState> owned(new GuideState);
    GuideState* s = owned.get();
    s->folderPath = folderPath.empty() ? WideBuffer(kGuideDefaultFolder) : WideBuffer(folderPath);
    s->model.generation = GetTickCount();
    const RECT work = WorkAreaOf(ownerWindow);
    s->dpi = GuideFitDpi(InitialDpi(ownerWindow), work.right - work.left, work.bottom - work.top);
    const int width = Scaled(*s, 780), height = Scaled(*s, 660);
    const int left = work.left + (work.right - work.left - width) / 2;
    const int top = work.top + (work.bottom - work.top - height) / 2;
    g_creating = s;
    HWND window = CreateWindowExW(0, kGuideWindowClass, W(kGuideWindowCaption),
                                  WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_DLGFRAME | WS_CLIPCHILDREN, left, top,
                                  width, height, ownerWindow, nullptr, instance, s);
    g_creating = nullptr;
    if (!window) return;
    owned.release();  // the window frees it when destroyed
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
}

void SetGuideProductDetection(uint32_t (*detect)()) { g_detectProducts = detect ? detect : DetectSecurityProducts; }

bool IsGuideDialogMessage(MSG* msg) {
    return g_guideWindow && IsDialogMessageW(g_guideWindow, msg);
}
