// ui_driver: command-line helper for whole-program tests. It finds the visible top-level
// windows of a program under test (same Wine prefix), prints them with their controls, and clicks buttons.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const UINT kTextTimeoutMs = 2000;   // per WM_GETTEXT* round trip, so a hung target cannot hang us
const DWORD kPollMs = 50;
const DWORD_PTR kMaxTextChars = 1 << 20;
const int kExitTimeout = 3;
const int kExitUsage = 2;

const char kUsage[] =
    "usage: ui_driver dump|click|close|close-box|wait-gone --exe NAME [--wait MS] "
    "[--class CLS (dump, close)] [--text TEXT (click only, required)]\n";

struct ProcessHandle {
    HANDLE h;
    explicit ProcessHandle(DWORD pid) : h(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {}
    ~ProcessHandle() { if (h) CloseHandle(h); }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
};

// Writes UTF-8 bytes ourselves: the console's own wide-char conversion mangles CJK text under Wine.
void write_line(const std::wstring& line) {
    std::wstring s = line + L"\n";
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    std::string bytes((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), (int)s.size(), &bytes[0], n, nullptr, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
}

bool equal_ascii_nocase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = (wchar_t)(x + 32);
        if (y >= L'A' && y <= L'Z') y = (wchar_t)(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::wstring exe_name_of_window(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    ProcessHandle proc(pid);
    if (!proc.h) return L"";
    wchar_t path[4 * MAX_PATH];
    DWORD size = ARRAYSIZE(path);
    if (!QueryFullProcessImageNameW(proc.h, 0, path, &size)) return L"";
    std::wstring full(path, size);
    size_t cut = full.find_last_of(L"\\/");
    return cut == std::wstring::npos ? full : full.substr(cut + 1);
}

std::wstring class_name(HWND hwnd) {
    wchar_t buf[256];
    int n = GetClassNameW(hwnd, buf, ARRAYSIZE(buf));
    return n > 0 ? std::wstring(buf, (size_t)n) : std::wstring();
}

std::wstring window_text(HWND hwnd) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &len) ||
        len == 0)
        return L"";
    if (len > kMaxTextChars) len = kMaxTextChars;
    std::vector<wchar_t> buf(len + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, (WPARAM)buf.size(), (LPARAM)buf.data(),
                             SMTO_ABORTIFHUNG, kTextTimeoutMs, &got))
        return L"";
    if (got > len) got = len;
    return std::wstring(buf.data(), (size_t)got);
}

std::wstring quoted(const std::wstring& s) {
    std::wstring out = L"\"";
    for (wchar_t c : s) {
        switch (c) {
            case L'\\': out += L"\\\\"; break;
            case L'"': out += L"\\\""; break;
            case L'\r': out += L"\\r"; break;
            case L'\n': out += L"\\n"; break;
            case L'\t': out += L"\\t"; break;
            default: out += c;
        }
    }
    return out + L"\"";
}

std::wstring num(long long v) { return std::to_wstring(v); }

std::wstring rect_text(HWND hwnd, bool with_size) {
    RECT r = {0, 0, 0, 0};
    GetWindowRect(hwnd, &r);  // screen coordinates for windows and controls alike
    std::wstring s = L"rect=" + num(r.left) + L"," + num(r.top) + L"," + num(r.right) + L"," + num(r.bottom);
    if (with_size) s += L" size=" + num(r.right - r.left) + L"x" + num(r.bottom - r.top);
    return s;
}

std::wstring flags_text(HWND hwnd) {
    return L"visible=" + num(IsWindowVisible(hwnd) ? 1 : 0) + L" enabled=" + num(IsWindowEnabled(hwnd) ? 1 : 0);
}

struct TopQuery {
    std::wstring exe;
    std::wstring cls;  // empty: any class
    std::vector<HWND> found;
};

BOOL CALLBACK collect_top(HWND hwnd, LPARAM lp) {
    TopQuery* q = reinterpret_cast<TopQuery*>(lp);
    if (!IsWindowVisible(hwnd)) return TRUE;
    if (!q->cls.empty() && !equal_ascii_nocase(class_name(hwnd), q->cls)) return TRUE;
    if (equal_ascii_nocase(exe_name_of_window(hwnd), q->exe)) q->found.push_back(hwnd);
    return TRUE;
}

// Visible top-level windows of the process, front-most first.
std::vector<HWND> find_top(const std::wstring& exe, const std::wstring& cls) {
    TopQuery q;
    q.exe = exe;
    q.cls = cls;
    EnumWindows(collect_top, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

BOOL CALLBACK collect_child(HWND hwnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> descendants(HWND top) {
    std::vector<HWND> out;
    EnumChildWindows(top, collect_child, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::vector<std::wstring> describe(HWND top) {
    std::vector<std::wstring> lines;
    lines.push_back(L"window class=" + quoted(class_name(top)) + L" title=" + quoted(window_text(top)) +
                    L" " + rect_text(top, true) + L" " + flags_text(top));
    for (HWND c : descendants(top)) {
        lines.push_back(L"  control id=" + num(GetDlgCtrlID(c)) + L" class=" + quoted(class_name(c)) +
                        L" text=" + quoted(window_text(c)) + L" " + rect_text(c, false) + L" " +
                        flags_text(c));
    }
    return lines;
}

void print_lines(const std::vector<std::wstring>& lines) {
    for (const std::wstring& l : lines) write_line(l);
}

// A control can take a click only if it and every ancestor up to its top-level window are
// enabled; this keeps us from clicking a window that a modal box is currently blocking.
bool can_click(HWND control, HWND top) {
    if (!IsWindowVisible(control)) return false;
    for (HWND w = control; w; w = GetAncestor(w, GA_PARENT)) {
        if (!IsWindowEnabled(w)) return false;
        if (w == top) break;
    }
    return true;
}

struct Options {
    std::wstring command, exe, cls, text;
    bool has_text = false;
    DWORD wait_ms = 10000;
};

bool parse_ms(const wchar_t* s, DWORD* out) {
    size_t n = wcslen(s);
    if (n == 0 || n > 9) return false;
    DWORD v = 0;
    for (size_t i = 0; i < n; ++i) {
        if (s[i] < L'0' || s[i] > L'9') return false;
        v = v * 10 + (DWORD)(s[i] - L'0');
    }
    *out = v;
    return true;
}

bool parse_args(int argc, wchar_t** argv, Options* o) {
    if (argc < 2) return false;
    o->command = argv[1];
    bool is_click = o->command == L"click";
    bool takes_class = o->command == L"dump" || o->command == L"close";
    if (!takes_class && !is_click && o->command != L"close-box" && o->command != L"wait-gone") return false;
    for (int i = 2; i < argc; i += 2) {
        std::wstring key = argv[i];
        if (i + 1 >= argc) return false;
        const wchar_t* value = argv[i + 1];
        if (key == L"--exe" && *value) o->exe = value;
        else if (key == L"--wait") { if (!parse_ms(value, &o->wait_ms)) return false; }
        else if (key == L"--class" && takes_class && *value) o->cls = value;
        else if (key == L"--text" && is_click) { o->text = value; o->has_text = true; }
        else return false;
    }
    return !o->exe.empty() && (!is_click || o->has_text);
}

// Calls attempt() every kPollMs until it reports success or the wait runs out.
template <typename Attempt>
int poll_until(DWORD wait_ms, Attempt attempt) {
    ULONGLONG deadline = GetTickCount64() + wait_ms;
    for (;;) {
        if (attempt()) return 0;
        if (GetTickCount64() >= deadline) {
            write_line(L"error: timeout");
            return kExitTimeout;
        }
        Sleep(kPollMs);
    }
}

bool try_dump(const Options& o) {
    std::vector<HWND> tops = find_top(o.exe, o.cls);
    for (HWND top : tops) print_lines(describe(top));
    return !tops.empty();
}

bool try_click(const Options& o) {
    HWND target = nullptr;
    for (HWND top : find_top(o.exe, L"")) {
        for (HWND c : descendants(top)) {
            if (window_text(c) != o.text || !can_click(c, top)) continue;
            bool button = equal_ascii_nocase(class_name(c), L"Button");
            if (!target || button) target = c;  // prefer a button over e.g. a label with the same text
            if (button) break;
        }
        if (target && equal_ascii_nocase(class_name(target), L"Button")) break;
    }
    if (!target || !PostMessageW(target, BM_CLICK, 0, 0)) return false;
    write_line(L"clicked id=" + num(GetDlgCtrlID(target)));
    return true;
}

bool try_close_box(const Options& o) {
    std::vector<HWND> boxes = find_top(o.exe, L"#32770");
    if (boxes.empty()) return false;
    HWND box = boxes.front();
    std::vector<std::wstring> lines = describe(box);
    HWND button = nullptr;
    for (HWND c : descendants(box)) {
        if (equal_ascii_nocase(class_name(c), L"Button") && IsWindowVisible(c) && IsWindowEnabled(c)) {
            button = c;
            break;
        }
    }
    bool posted = button ? PostMessageW(button, BM_CLICK, 0, 0) : PostMessageW(box, WM_CLOSE, 0, 0);
    if (!posted) return false;  // the box vanished under us; look again
    print_lines(lines);
    write_line(L"closed");
    return true;
}

// Asks every matching window to close, as its close box would.
bool try_close(const Options& o) {
    std::vector<HWND> tops = find_top(o.exe, o.cls);
    for (HWND top : tops) PostMessageW(top, WM_CLOSE, 0, 0);
    if (!tops.empty()) write_line(L"closed");
    return !tops.empty();
}

bool try_wait_gone(const Options& o) {
    if (!find_top(o.exe, L"").empty()) return false;
    write_line(L"gone");
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // LF line ends, bytes untouched
    _setmode(_fileno(stderr), _O_BINARY);
    Options o;
    if (!parse_args(argc, argv, &o)) {
        fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (o.command == L"dump") return poll_until(o.wait_ms, [&] { return try_dump(o); });
    if (o.command == L"click") return poll_until(o.wait_ms, [&] { return try_click(o); });
    if (o.command == L"close") return poll_until(o.wait_ms, [&] { return try_close(o); });
    if (o.command == L"close-box") return poll_until(o.wait_ms, [&] { return try_close_box(o); });
    return poll_until(o.wait_ms, [&] { return try_wait_gone(o); });
}
