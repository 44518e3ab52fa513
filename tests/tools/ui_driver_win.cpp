// ui_driver: command-line helper for whole-program tests. It finds the visible top-level
// windows of a program under test (same Wine prefix), prints them with their controls, clicks
// buttons and links, types into edits, presses keys and clicks with the real mouse, and saves
// screenshots. It has no notion of the program's pages: tests name controls by text or dialog id.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>
#include <commctrl.h>
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
const int kExitFailed = 1;  // a fault that waiting cannot cure: a control of the wrong class, a file not written
const int kExitUsage = 2;
const int kExitTimeout = 3;

const char kUsage[] =
    "usage: ui_driver COMMAND --exe NAME [--wait MS] [OPTIONS]\n"
    "  dump [--class CLS]                  print the windows and their controls\n"
    "  click --text TEXT                   click the control with this text\n"
    "  click-id --id N [--class CLS]       click the control with dialog id N\n"
    "  click-link --id N (--link ID | --index K) [--class CLS]\n"
    "                                      click one link of the SysLink with dialog id N\n"
    "  text --id N [--class CLS]           print the control's text\n"
    "  state --id N [--class CLS]          print the control's visibility, state, rectangle, style,\n"
    "                                      whether it has the keyboard focus, an edit's selection\n"
    "  set-text --id N --text TEXT [--class CLS]\n"
    "                                      replace the text of an edit (or any control)\n"
    "  key --key tab|enter|space|escape|down|apps|shift+f10 [--id N] [--class CLS]\n"
    "                                      press a key in the window, brought to the front; with\n"
    "                                      --id only once control N has the keyboard focus\n"
    "  click-at --id N --x X --y Y [--class CLS]\n"
    "                                      move the real cursor to the control's client point X,Y\n"
    "                                      and click the left button there\n"
    "  right-click-at --id N --x X --y Y [--class CLS]\n"
    "                                      the same with the right button\n"
    "  items --id N [--class CLS]          print a list box's items, their client rectangles and\n"
    "                                      which one is selected\n"
    "  progress --id N [--class CLS]       print a progress bar's position and marquee style\n"
    "  screenshot --out FILE [--class CLS] save the window as a 24-bit BMP\n"
    "  close [--class CLS] | close-box | wait-gone\n"
    "  clipboard-put --text TEXT           put TEXT on the clipboard, also in a second, private format\n"
    "  clipboard                           print the clipboard's text and whether the private format is there\n";

struct ProcessHandle {
    HANDLE h;
    explicit ProcessHandle(DWORD pid, DWORD access = PROCESS_QUERY_LIMITED_INFORMATION)
        : h(OpenProcess(access, FALSE, pid)) {}
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

DWORD window_pid(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

std::wstring exe_name_of_window(HWND hwnd) {
    ProcessHandle proc(window_pid(hwnd));
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

// Options each command accepts besides --exe and --wait; --link and --index share a bit
// because a link is named one way or the other.
enum OptionBit : unsigned {
    kOptClass = 1, kOptText = 2, kOptId = 4, kOptLink = 8, kOptOut = 16, kOptKey = 32, kOptX = 64, kOptY = 128,
};

struct Command;

struct Options {
    const Command* command = nullptr;
    std::wstring exe, cls, text, link, out, key;
    WORD virtual_key = 0;
    DWORD id = 0;
    DWORD index = 0;
    DWORD x = 0, y = 0;
    bool by_index = false;
    unsigned given = 0;
    DWORD wait_ms = 10000;
};

// An attempt either asks to be polled again or ends the run with an exit code.
const int kNotYet = -1;

// Calls attempt() every kPollMs until it ends the run or the wait runs out.
template <typename Attempt>
int poll_until(DWORD wait_ms, Attempt attempt) {
    ULONGLONG deadline = GetTickCount64() + wait_ms;
    for (;;) {
        int result = attempt();
        if (result != kNotYet) return result;
        if (GetTickCount64() >= deadline) {
            write_line(L"error: timeout");
            return kExitTimeout;
        }
        Sleep(kPollMs);
    }
}

int fail(const std::wstring& why) {
    write_line(L"error: " + why);
    return kExitFailed;
}

int try_dump(const Options& o) {
    std::vector<HWND> tops = find_top(o.exe, o.cls);
    for (HWND top : tops) print_lines(describe(top));
    return tops.empty() ? kNotYet : 0;
}

int try_click(const Options& o) {
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
    if (!target || !PostMessageW(target, BM_CLICK, 0, 0)) return kNotYet;
    write_line(L"clicked id=" + num(GetDlgCtrlID(target)));
    return 0;
}

// The front-most matching top-level window only: a second window of the program (a box,
// the main window behind a guide) must not answer for the one the test means.
HWND first_top(const Options& o) {
    std::vector<HWND> tops = find_top(o.exe, o.cls);
    return tops.empty() ? nullptr : tops.front();
}

// The first control with the dialog id, hidden or not; null while there is none.
HWND control_with_id(HWND top, DWORD id) {
    if (!top) return nullptr;
    for (HWND c : descendants(top)) {
        if ((DWORD)GetDlgCtrlID(c) == id) return c;
    }
    return nullptr;
}

int try_click_id(const Options& o) {
    HWND top = first_top(o);
    if (!top) return kNotYet;
    for (HWND c : descendants(top)) {
        if ((DWORD)GetDlgCtrlID(c) != o.id || !can_click(c, top)) continue;
        if (!PostMessageW(c, BM_CLICK, 0, 0)) return kNotYet;
        write_line(L"clicked id=" + num(o.id));
        return 0;
    }
    return kNotYet;
}

int try_text(const Options& o) {
    HWND c = control_with_id(first_top(o), o.id);
    if (!c) return kNotYet;
    write_line(L"text=" + quoted(window_text(c)));
    return 0;
}

std::wstring hex(unsigned long v) {
    wchar_t buf[16];
    swprintf(buf, ARRAYSIZE(buf), L"0x%08lX", v);
    return buf;
}

// The control that has the keyboard focus in the window's thread, null for none.
HWND focused_control(HWND top) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// An edit's selection as "start,end" (the caret where both are equal); empty for other controls.
std::wstring selection_text(HWND c) {
    DWORD_PTR sel = 0;
    if (!equal_ascii_nocase(class_name(c), L"Edit") ||
        !SendMessageTimeoutW(c, EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &sel))
        return L"";
    return L" sel=" + num(LOWORD(sel)) + L"," + num(HIWORD(sel));
}

int try_state(const Options& o) {
    HWND top = first_top(o);
    HWND c = control_with_id(top, o.id);
    if (!c) return kNotYet;
    write_line(flags_text(c) + L" " + rect_text(c, false) + L" style=" +
               hex((unsigned long)GetWindowLongPtrW(c, GWL_STYLE)) + L" focus=" +
               num(focused_control(top) == c ? 1 : 0) + selection_text(c));
    return 0;
}

// ---- typing, keys and the real mouse ------------------------------------------------------

// WM_SETTEXT is one of the messages the system copies across processes, so the text can
// live in our own memory. The control must be one a user could type into: shown, enabled.
int try_set_text(const Options& o) {
    HWND top = first_top(o);
    HWND c = control_with_id(top, o.id);
    if (!c || !can_click(c, top)) return kNotYet;
    DWORD_PTR done = 0;
    if (!SendMessageTimeoutW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(o.text.c_str()), SMTO_ABORTIFHUNG,
                             kTextTimeoutMs, &done) ||
        !done || window_text(c) != o.text)
        return kNotYet;
    write_line(L"set id=" + num(o.id) + L" text=" + quoted(o.text));
    return 0;
}

// Real key strokes go to the foreground window's focused control, so the window is brought
// to the front first; the dialog manager of its message loop then sees them as a user's.
int try_key(const Options& o) {
    HWND top = first_top(o);
    if (!top || !IsWindowEnabled(top)) return kNotYet;
    if (GetForegroundWindow() != top) {
        SetForegroundWindow(top);
        return kNotYet;
    }
    HWND focus = focused_control(top);
    if ((o.given & kOptId) && (!focus || (DWORD)GetDlgCtrlID(focus) != o.id)) return kNotYet;
    // "shift+NAME" holds Shift around the key.
    const bool shift = o.key.compare(0, 6, L"shift+") == 0;
    INPUT keys[4] = {};
    UINT count = 0;
    if (shift) keys[count++].ki.wVk = VK_SHIFT;
    keys[count++].ki.wVk = o.virtual_key;
    keys[count].ki.wVk = o.virtual_key;
    keys[count++].ki.dwFlags = KEYEVENTF_KEYUP;
    if (shift) {
        keys[count].ki.wVk = VK_SHIFT;
        keys[count++].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    for (UINT i = 0; i < count; ++i) keys[i].type = INPUT_KEYBOARD;
    if (SendInput(count, keys, sizeof(INPUT)) != count) return kNotYet;
    write_line(L"pressed " + o.key + L" focus=" + num(focus ? GetDlgCtrlID(focus) : 0));
    return 0;
}

// Controls that read the cursor or the click point (list rows) need a real click: the
// cursor is moved there and the button pressed through the input queue, as a mouse would.
int click_at(const Options& o, DWORD down, DWORD up) {
    HWND top = first_top(o);
    HWND c = control_with_id(top, o.id);
    if (!c || !can_click(c, top)) return kNotYet;
    RECT client;
    POINT at = {(LONG)o.x, (LONG)o.y};
    if (!GetClientRect(c, &client)) return kNotYet;
    if (!PtInRect(&client, at)) return fail(L"the point lies outside the client area of control " + num(o.id));
    ClientToScreen(c, &at);
    // Another top-level window there (a box, a tip) would take the click. A sibling lying over
    // the point may: the click goes where the window's own hit tests send it, as a user's would.
    HWND hit = WindowFromPoint(at);
    if (!hit || GetAncestor(hit, GA_ROOT) != top) return kNotYet;
    POINT now;
    if (!SetCursorPos(at.x, at.y) || !GetCursorPos(&now) || now.x != at.x || now.y != at.y) return kNotYet;
    INPUT clicks[2] = {};
    for (INPUT& k : clicks) k.type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = down;
    clicks[1].mi.dwFlags = up;
    if (SendInput(2, clicks, sizeof(INPUT)) != 2) return kNotYet;
    write_line(L"clicked at " + num(o.x) + L"," + num(o.y) + L" id=" + num(o.id));
    return 0;
}

int try_click_at(const Options& o) { return click_at(o, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); }
int try_right_click_at(const Options& o) { return click_at(o, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP); }

// ---- list boxes and progress bars ----------------------------------------------------------

// List-box messages lie below WM_USER, so the system copies their rectangles and strings
// across processes; unlike a SysLink's, they need no memory in the target.
bool send_list(HWND list, UINT message, WPARAM w, LPARAM l, DWORD_PTR* answer) {
    return SendMessageTimeoutW(list, message, w, l, SMTO_ABORTIFHUNG, kTextTimeoutMs, answer) &&
           (LRESULT)*answer != LB_ERR;
}

int try_items(const Options& o) {
    HWND list = control_with_id(first_top(o), o.id);
    if (!list) return kNotYet;
    if (!equal_ascii_nocase(class_name(list), L"ListBox"))
        return fail(L"control " + num(o.id) + L" is a " + class_name(list) + L", not a list box");
    DWORD_PTR count = 0, selected = 0;
    if (!send_list(list, LB_GETCOUNT, 0, 0, &count)) return kNotYet;
    if (!send_list(list, LB_GETCURSEL, 0, 0, &selected)) selected = (DWORD_PTR)-1;  // LB_ERR: none
    std::vector<std::wstring> lines = {L"items count=" + num((long long)count)};
    for (DWORD_PTR i = 0; i < count; ++i) {
        RECT r = {};
        DWORD_PTR length = 0, done = 0;
        if (!send_list(list, LB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r), &done) ||
            !send_list(list, LB_GETTEXTLEN, i, 0, &length) || length > kMaxTextChars)
            return kNotYet;  // the list changed under us; read it again
        std::vector<wchar_t> text(length + 1, L'\0');
        if (!send_list(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()), &done)) return kNotYet;
        lines.push_back(L"item index=" + num((long long)i) + L" text=" +
                        quoted(std::wstring(text.data(), done < length ? done : length)) + L" rect=" +
                        num(r.left) + L"," + num(r.top) + L"," + num(r.right) + L"," + num(r.bottom) +
                        L" selected=" + num(i == selected ? 1 : 0));
    }
    print_lines(lines);
    return 0;
}

int try_progress(const Options& o) {
    HWND bar = control_with_id(first_top(o), o.id);
    if (!bar) return kNotYet;
    if (!equal_ascii_nocase(class_name(bar), PROGRESS_CLASSW))
        return fail(L"control " + num(o.id) + L" is a " + class_name(bar) + L", not a progress bar");
    DWORD_PTR pos = 0;
    if (!SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &pos)) return kNotYet;
    bool marquee = (GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
    write_line(L"pos=" + num((long long)pos) + L" marquee=" + num(marquee ? 1 : 0));
    return 0;
}

// ---- links of a SysLink ------------------------------------------------------------------

// Memory inside the process that owns a window. A SysLink in another process reads the
// LITEM / LHITTESTINFO of its LM_* messages at the address it is given, in its own space.
class RemoteBlock {
public:
    RemoteBlock(HWND window, SIZE_T size)
        : process_(window_pid(window), PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE) {
        if (process_.h) base_ = VirtualAllocEx(process_.h, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (base_) VirtualFreeEx(process_.h, base_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    bool ok() const { return base_ != nullptr; }
    LPARAM address() const { return reinterpret_cast<LPARAM>(base_); }
    bool write(const void* data, SIZE_T size) {
        SIZE_T done = 0;
        return WriteProcessMemory(process_.h, base_, data, size, &done) && done == size;
    }
    bool read(void* data, SIZE_T size) {
        SIZE_T done = 0;
        return ReadProcessMemory(process_.h, base_, data, size, &done) && done == size;
    }

private:
    ProcessHandle process_;
    void* base_ = nullptr;
};

// Sends a SysLink message whose lParam is the block; false when it fails or answers FALSE.
bool send_link_message(HWND syslink, UINT message, RemoteBlock* block) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(syslink, message, 0, block->address(), SMTO_ABORTIFHUNG, kTextTimeoutMs,
                               &answer) &&
           answer;
}

struct LinkItem {
    std::wstring id;  // szID, the <a id="..."> of the markup
    bool enabled;
};

// The links in order. LM_GETITEM by index is the one lookup Wine's SysLink answers: it
// refuses an LITEM without LIF_ITEMINDEX, so asking by szID fails there.
bool read_links(HWND syslink, RemoteBlock* block, std::vector<LinkItem>* links) {
    const int kMaxLinks = 256;
    for (int i = 0; i < kMaxLinks; ++i) {
        LITEM item = {};
        item.mask = LIF_ITEMINDEX | LIF_ITEMID | LIF_STATE;
        item.iLink = i;
        item.stateMask = LIS_ENABLED;
        if (!block->write(&item, sizeof item)) return false;
        if (!send_link_message(syslink, LM_GETITEM, block)) return true;  // past the last link
        if (!block->read(&item, sizeof item)) return false;
        item.szID[MAX_LINKID_TEXT - 1] = L'\0';
        links->push_back(LinkItem{item.szID, (item.state & LIS_ENABLED) != 0});
    }
    return true;
}

// The index of the link under a client point, -1 for plain text or nothing.
int link_at(HWND syslink, RemoteBlock* block, int x, int y) {
    LHITTESTINFO hit = {};
    hit.pt.x = x;
    hit.pt.y = y;
    if (!block->write(&hit.pt, sizeof hit.pt) || !send_link_message(syslink, LM_HITTEST, block)) return -1;
    if (!block->read(&hit, sizeof hit)) return -1;
    return hit.item.iLink;
}

// The middle of the first stretch of the link met scanning the client area row by row, so
// the click lands inside the link's text, not on its edge. There is no message for a link's
// rectangle; hit tests on a grid finer than a character find it.
bool find_link_point(HWND syslink, RemoteBlock* block, int index, POINT* out) {
    const int kStep = 3;
    RECT client;
    if (!GetClientRect(syslink, &client)) return false;
    auto on_link = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < client.right && y < client.bottom && link_at(syslink, block, x, y) == index;
    };
    for (int y = 1; y < client.bottom; y += kStep) {
        for (int x = 1; x < client.right; x += kStep) {
            if (!on_link(x, y)) continue;
            int left = x, right = x, top = y, bottom = y;
            while (on_link(left - 1, y)) --left;
            while (on_link(right + 1, y)) ++right;
            int middle = (left + right) / 2;
            while (on_link(middle, top - 1)) --top;
            while (on_link(middle, bottom + 1)) ++bottom;
            out->x = middle;
            out->y = (top + bottom) / 2;
            return true;
        }
    }
    return false;
}

int try_click_link(const Options& o) {
    HWND top = first_top(o);
    HWND syslink = control_with_id(top, o.id);
    if (!syslink || !can_click(syslink, top)) return kNotYet;
    if (!equal_ascii_nocase(class_name(syslink), L"SysLink"))
        return fail(L"control " + num(o.id) + L" is a " + class_name(syslink) + L", not a SysLink");
    RemoteBlock block(syslink, sizeof(LHITTESTINFO));  // holds an LITEM too: LHITTESTINFO ends with one
    if (!block.ok()) return IsWindow(syslink) ? fail(L"cannot reach the SysLink's process") : kNotYet;
    std::vector<LinkItem> links;
    if (!read_links(syslink, &block, &links)) return kNotYet;
    int index = -1;
    for (size_t i = 0; i < links.size() && index < 0; ++i) {
        if (o.by_index ? i == o.index : links[i].id == o.link) index = (int)i;
    }
    POINT at;
    if (index < 0 || !links[(size_t)index].enabled || !find_link_point(syslink, &block, index, &at)) return kNotYet;
    // The control sends NM_CLICK itself on the button-up that follows a button-down on the
    // same link; posted, both arrive in order without moving the real cursor.
    LPARAM where = MAKELPARAM(at.x, at.y);
    if (!PostMessageW(syslink, WM_LBUTTONDOWN, MK_LBUTTON, where) || !PostMessageW(syslink, WM_LBUTTONUP, 0, where))
        return kNotYet;
    write_line(L"clicked link=" + links[(size_t)index].id + L" id=" + num(o.id));
    return 0;
}

// ---- screenshots -------------------------------------------------------------------------

struct ScreenDc {
    HDC dc = GetDC(nullptr);
    ~ScreenDc() { if (dc) ReleaseDC(nullptr, dc); }
};

struct MemoryDc {
    HDC dc;
    explicit MemoryDc(HDC like) : dc(CreateCompatibleDC(like)) {}
    ~MemoryDc() { if (dc) DeleteDC(dc); }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
};

struct Bitmap {
    HBITMAP bmp;
    Bitmap(HDC like, int w, int h) : bmp(CreateCompatibleBitmap(like, w, h)) {}
    ~Bitmap() { if (bmp) DeleteObject(bmp); }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
};

// Rows of a 24-bit bottom-up DIB are padded to four bytes, as the BMP file stores them.
DWORD bmp_stride(LONG width) { return ((DWORD)width * 3 + 3) & ~3u; }

// Copies a rectangle of the screen DC rather than asking the window to paint itself: the
// file shows what is really on the screen, a window lying on top included.
bool capture_screen(const RECT& r, BITMAPINFOHEADER* header, std::vector<BYTE>* pixels) {
    LONG w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    ScreenDc screen;
    MemoryDc memory(screen.dc);
    Bitmap bitmap(screen.dc, w, h);
    if (!screen.dc || !memory.dc || !bitmap.bmp) return false;
    HGDIOBJ old = SelectObject(memory.dc, bitmap.bmp);
    BOOL copied = BitBlt(memory.dc, 0, 0, w, h, screen.dc, r.left, r.top, SRCCOPY | CAPTUREBLT);
    SelectObject(memory.dc, old);  // GetDIBits wants the bitmap out of every DC
    if (!copied) return false;
    *header = BITMAPINFOHEADER{};
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = w;
    header->biHeight = h;
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = BI_RGB;
    header->biSizeImage = bmp_stride(w) * (DWORD)h;
    pixels->assign(header->biSizeImage, 0);
    return GetDIBits(screen.dc, bitmap.bmp, 0, (UINT)h, pixels->data(), reinterpret_cast<BITMAPINFO*>(header),
                     DIB_RGB_COLORS) == h;
}

bool write_bmp(const std::wstring& path, const BITMAPINFOHEADER& header, const std::vector<BYTE>& pixels) {
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    bool ok = WriteFile(h, &file, sizeof file, &done, nullptr) && done == sizeof file &&
              WriteFile(h, &header, sizeof header, &done, nullptr) && done == sizeof header &&
              WriteFile(h, pixels.data(), (DWORD)pixels.size(), &done, nullptr) && done == pixels.size();
    return CloseHandle(h) && ok;
}

int try_screenshot(const Options& o) {
    HWND top = first_top(o);
    RECT r;
    if (!top || !GetWindowRect(top, &r)) return kNotYet;
    BITMAPINFOHEADER header;
    std::vector<BYTE> pixels;
    if (!capture_screen(r, &header, &pixels)) return fail(L"cannot copy the window from the screen");
    if (!write_bmp(o.out, header, pixels)) return fail(L"cannot write " + o.out);
    write_line(L"saved " + num(header.biWidth) + L"x" + num(header.biHeight));
    return 0;
}

// ---- closing -----------------------------------------------------------------------------

int try_close_box(const Options& o) {
    std::vector<HWND> boxes = find_top(o.exe, L"#32770");
    if (boxes.empty()) return kNotYet;
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
    if (!posted) return kNotYet;  // the box vanished under us; look again
    print_lines(lines);
    write_line(L"closed");
    return 0;
}

// Asks every matching window to close, as its close box would.
int try_close(const Options& o) {
    std::vector<HWND> tops = find_top(o.exe, o.cls);
    for (HWND top : tops) PostMessageW(top, WM_CLOSE, 0, 0);
    if (tops.empty()) return kNotYet;
    write_line(L"closed");
    return 0;
}

int try_wait_gone(const Options& o) {
    if (!find_top(o.exe, L"").empty()) return kNotYet;
    write_line(L"gone");
    return 0;
}

// ---- clipboard ---------------------------------------------------------------------------

// What another program may have left: its text and a format of its own.
const wchar_t kOlderFormat[] = L"TwDriverOlderFormat";

HGLOBAL global_text(const std::wstring& text) {
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* data = block ? GlobalLock(block) : nullptr;
    if (!data) {
        if (block) GlobalFree(block);
        return nullptr;
    }
    memcpy(data, text.c_str(), bytes);
    GlobalUnlock(block);
    return block;
}

int try_clipboard_put(const Options& o) {
    if (!OpenClipboard(nullptr)) return kNotYet;
    EmptyClipboard();
    bool ok = true;
    for (UINT format : {(UINT)CF_UNICODETEXT, RegisterClipboardFormatW(kOlderFormat)}) {
        HGLOBAL block = global_text(o.text);
        if (!block || !SetClipboardData(format, block)) {
            if (block) GlobalFree(block);
            ok = false;
        }
    }
    CloseClipboard();
    if (!ok) return fail(L"cannot place the text");
    write_line(L"put");
    return 0;
}

int try_clipboard(const Options&) {
    if (!OpenClipboard(nullptr)) return kNotYet;
    std::wstring text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* chars = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (chars) {
        text.assign(chars, wcsnlen(chars, GlobalSize(data) / sizeof(wchar_t)));
        GlobalUnlock(data);
    }
    bool older = IsClipboardFormatAvailable(RegisterClipboardFormatW(kOlderFormat)) != FALSE;
    CloseClipboard();
    write_line(L"text=" + quoted(text) + L" older=" + num(older ? 1 : 0));
    return 0;
}

struct Command {
    const wchar_t* name;
    int (*attempt)(const Options&);
    unsigned allowed;
    unsigned required;
};

const Command kCommands[] = {
    {L"dump", try_dump, kOptClass, 0},
    {L"click", try_click, kOptText, kOptText},
    {L"click-id", try_click_id, kOptClass | kOptId, kOptId},
    {L"click-link", try_click_link, kOptClass | kOptId | kOptLink, kOptId | kOptLink},
    {L"text", try_text, kOptClass | kOptId, kOptId},
    {L"state", try_state, kOptClass | kOptId, kOptId},
    {L"set-text", try_set_text, kOptClass | kOptId | kOptText, kOptId | kOptText},
    {L"key", try_key, kOptClass | kOptId | kOptKey, kOptKey},
    {L"click-at", try_click_at, kOptClass | kOptId | kOptX | kOptY, kOptId | kOptX | kOptY},
    {L"right-click-at", try_right_click_at, kOptClass | kOptId | kOptX | kOptY, kOptId | kOptX | kOptY},
    {L"items", try_items, kOptClass | kOptId, kOptId},
    {L"progress", try_progress, kOptClass | kOptId, kOptId},
    {L"screenshot", try_screenshot, kOptClass | kOptOut, kOptOut},
    {L"close", try_close, kOptClass, 0},
    {L"close-box", try_close_box, 0, 0},
    {L"wait-gone", try_wait_gone, 0, 0},
    {L"clipboard-put", try_clipboard_put, kOptText, kOptText},
    {L"clipboard", try_clipboard, 0, 0},
};

bool parse_number(const wchar_t* s, DWORD* out) {
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

unsigned option_bit(const std::wstring& key) {
    if (key == L"--class") return kOptClass;
    if (key == L"--text") return kOptText;
    if (key == L"--id") return kOptId;
    if (key == L"--link" || key == L"--index") return kOptLink;
    if (key == L"--out") return kOptOut;
    if (key == L"--key") return kOptKey;
    if (key == L"--x") return kOptX;
    if (key == L"--y") return kOptY;
    return 0;
}

// The keys a test may press, by the names it uses.
WORD virtual_key_named(const std::wstring& name) {
    if (name == L"tab") return VK_TAB;
    if (name == L"enter") return VK_RETURN;
    if (name == L"space") return VK_SPACE;
    if (name == L"escape") return VK_ESCAPE;
    if (name == L"down") return VK_DOWN;
    if (name == L"apps") return VK_APPS;
    if (name == L"shift+f10") return VK_F10;
    return 0;
}

bool parse_args(int argc, wchar_t** argv, Options* o) {
    if (argc < 2) return false;
    for (const Command& c : kCommands) {
        if (wcscmp(argv[1], c.name) == 0) o->command = &c;
    }
    const Command* command = o->command;
    if (!command) return false;
    for (int i = 2; i < argc; i += 2) {
        if (i + 1 >= argc) return false;
        std::wstring key = argv[i];
        const wchar_t* value = argv[i + 1];
        if (key == L"--exe" && *value) {
            o->exe = value;
            continue;
        }
        if (key == L"--wait") {
            if (!parse_number(value, &o->wait_ms)) return false;
            continue;
        }
        unsigned bit = option_bit(key);
        if (!(command->allowed & bit) || (o->given & bit)) return false;  // foreign to the command, or twice
        o->given |= bit;
        if (key == L"--text") o->text = value;
        else if (key == L"--id") { if (!parse_number(value, &o->id)) return false; }
        else if (key == L"--index") { if (!parse_number(value, &o->index)) return false; o->by_index = true; }
        else if (key == L"--x") { if (!parse_number(value, &o->x)) return false; }
        else if (key == L"--y") { if (!parse_number(value, &o->y)) return false; }
        else if (key == L"--key") { o->key = value; if (!(o->virtual_key = virtual_key_named(o->key))) return false; }
        else if (!*value) return false;
        else if (key == L"--class") o->cls = value;
        else if (key == L"--link") o->link = value;
        else o->out = value;
    }
    return !o->exe.empty() && (o->given & command->required) == command->required;
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
    return poll_until(o.wait_ms, [&] { return o.command->attempt(o); });
}
