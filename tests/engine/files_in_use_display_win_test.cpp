// ResolveFilesInUse on a real display: stand-ins run from the product folder,
// from a sub-folder and from a sibling folder with the same program name; the
// test finds the box its own process shows, reads it and answers it the way a
// user would. Without a display the box would return at once and every "no
// prompt" or "user said no" check would pass whatever the code did.
#include "engine/files_in_use_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "base/test_folder_win.h"
#include "base/text_format.h"
#include "package/path_rules.h"
#include "package/path_safety_win.h"
#include "running_win.h"
#include "stand_in_win.h"

namespace {

const char16_t kHeader[] =
    u"文件被占用：\r\n%s\r\n\r\n是否强制关闭以下软件进程并继续安装？\r\n未保存的内容可能丢失。\r\n";

std::string Script(const char* verb, const WideBuffer& file) { return std::string(verb) + " " + WideToUtf8(file) + "\n"; }

// A product folder with stand-ins: tool.exe in the folder holding the busy
// file, tool.exe in its bin folder, and tool.exe in "Tool2" beside it.
struct Scene {
    TestFolder folder;
    ScopedEnvironment appData{L"LOCALAPPDATA", (folder / u"appdata").c_str()};
    RunningPrograms running;
    ProductEntry product;
    WideBuffer root = folder / u"root";
    HANDLE inFolder = nullptr, inSub = nullptr, sibling = nullptr;

    explicit Scene(bool startProductPrograms = true) {
        product.puc_type = u"12";
        product.puc_name = u"Tool";
        product.deploy_dir = root + u"\\Tool";
        product.busy_file = product.deploy_dir + u"\\data.bin";
        CreateDirectoryTree(product.deploy_dir);
        StandIn second(root + u"\\Tool2\\tool.exe", Script("hold", root + u"\\Tool2\\data.bin"));
        sibling = running.StartHolding(second.path(), root + u"\\Tool2\\data.bin");
        if (!startProductPrograms) return;
        StandIn first(product.deploy_dir + u"\\tool.exe", Script("hold", product.busy_file));
        StandIn sub(product.deploy_dir + u"\\bin\\tool.exe", Script("hold", product.deploy_dir + u"\\bin\\lock.bin"));
        inFolder = running.StartHolding(first.path(), product.busy_file);
        inSub = running.StartHolding(sub.path(), product.deploy_dir + u"\\bin\\lock.bin");
    }
    // The log's lines without their time stamps.
    std::vector<WideBuffer> LogLines() {
        std::vector<WideBuffer> lines;
        ByteBuffer bytes;
        if (!ReadWholeFile(folder / u"appdata\\TwParcelwright\\logs\\install.log", bytes)) return lines;
        WideBuffer text = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        size_t start = 0, end;
        while ((end = text.find(u"\r\n", start)) != WideBuffer::npos) {
            lines.push_back(text.substr(start + 22, end - start - 22));  // "[YYYY-MM-DD hh:mm:ss] "
            start = end + 2;
        }
        return lines;
    }
};

struct BoxSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    if (process == search->process && IsWindowVisible(window) && wcscmp(name, L"#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND OwnMessageBox() {
    BoxSearch search = {GetCurrentProcessId(), nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

WideBuffer TextOf(HWND window) {
    wchar_t text[4096] = L"";
    DWORD_PTR n = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &n);
    return WideBuffer(U(text), n);
}

struct BoxFacts {
    WideBuffer caption, text;
    std::set<int> buttons;
    bool warningIcon = false;
    HWND owner = nullptr;
};

BOOL CALLBACK ReadControl(HWND control, LPARAM context) {
    auto* facts = reinterpret_cast<BoxFacts*>(context);
    wchar_t name[16] = L"";
    GetClassNameW(control, name, 16);
    int id = GetDlgCtrlID(control);
    if (_wcsicmp(name, L"Button") == 0 && IsWindowVisible(control)) facts->buttons.insert(id);
    if (_wcsicmp(name, L"Static") == 0 && id == 0xFFFF) facts->text = TextOf(control);
    if (_wcsicmp(name, L"Static") == 0 &&
        reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0)) == LoadIconW(nullptr, IDI_WARNING)) {
        facts->warningIcon = true;
    }
    return TRUE;
}

BoxFacts ReadBox(HWND box) {
    BoxFacts facts;
    facts.caption = TextOf(box);
    facts.owner = GetWindow(box, GW_OWNER);
    EnumChildWindows(box, ReadControl, reinterpret_cast<LPARAM>(&facts));
    return facts;
}

// ResolveFilesInUse on a thread of its own, as the worker calls it; with an
// owner window made on that thread. Any box still open at the end is refused.
class ResolveRun {
public:
    ResolveRun(const ProductEntry& product, bool withOwner) {
        thread_ = std::thread([this, &product, withOwner] {
            HWND owner = withOwner ? CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                                                     nullptr, nullptr, nullptr)
                                   : nullptr;
            owner_ = owner;
            result_ = ResolveFilesInUse(product, owner);
            if (owner) DestroyWindow(owner);
            finished_ = true;
        });
    }
    ~ResolveRun() {
        WaitUntil([this] {
            if (HWND box = OwnMessageBox()) PostMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
            return finished_.load();
        }, 30000);
        thread_.join();
    }
    ResolveRun(const ResolveRun&) = delete;
    ResolveRun& operator=(const ResolveRun&) = delete;

    // The box, or null once the call ended without one.
    HWND WaitForBoxOrEnd() {
        HWND box = nullptr;
        WaitUntil([&] { return (box = OwnMessageBox()) != nullptr || finished_; });
        return box;
    }
    bool WaitForEnd() { return WaitUntil([this] { return finished_.load(); }); }
    bool finished() const { return finished_; }
    bool result() const { return result_; }
    HWND owner() const { return owner_; }

private:
    std::thread thread_;
    std::atomic<bool> finished_{false};
    std::atomic<HWND> owner_{nullptr};
    bool result_ = false;
};

WideBuffer ProcessLine(HANDLE process) {
    return u"\r\ntool.exe（PID " + Utf8ToWide(std::to_string(GetProcessId(process))) + u"）";
}

DWORD ExitCode(HANDLE process) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

enum class Answer { kYes, kNo, kEnter };

void Give(HWND box, Answer answer) {
    if (answer == Answer::kYes) PostMessageW(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
    if (answer == Answer::kNo) PostMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
    // Enter takes the default button, which must be "no".
    if (answer == Answer::kEnter) PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
}

TEST(ResolveFilesInUse, AsksOnceListingOnlyTheFoldersProcessesAndEndsThemOnYes) {
    struct Case { Answer answer; bool withOwner; bool agreed; const char* what; };
    const Case cases[] = {
        {Answer::kYes, false, true, "yes, no owner"},
        {Answer::kYes, true, true, "yes, owned by a window"},
        {Answer::kNo, false, false, "no"},
        {Answer::kEnter, true, false, "enter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scene s;
        ASSERT_TRUE(s.inFolder && s.inSub && s.sibling);
        ResolveRun run(s.product, c.withOwner);
        HWND box = run.WaitForBoxOrEnd();
        ASSERT_NE(box, nullptr) << "no box was shown";
        BoxFacts facts = ReadBox(box);
        EXPECT_EQ(facts.caption, u"软件正在运行");
        EXPECT_EQ(facts.buttons, (std::set<int>{IDYES, IDNO}));
        EXPECT_TRUE(facts.warningIcon);
        EXPECT_EQ(facts.owner, run.owner());
        WideBuffer header;
        TextFormat(header, kHeader, s.product.busy_file);
        // The snapshot decides the order of the two lines.
        const WideBuffer a = ProcessLine(s.inFolder), b = ProcessLine(s.inSub);
        EXPECT_TRUE(facts.text == header + a + b || facts.text == header + b + a) << WideToUtf8(facts.text);

        Give(box, c.answer);
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_EQ(run.result(), c.agreed);
        EXPECT_EQ(IsRunning(s.inFolder), !c.agreed);
        EXPECT_EQ(IsRunning(s.inSub), !c.agreed);
        EXPECT_TRUE(IsRunning(s.sibling));  // same name, neighbouring folder: never touched
        if (c.agreed) {
            EXPECT_EQ(ExitCode(s.inFolder), 1u);
            EXPECT_EQ(ExitCode(s.inSub), 1u);
            EXPECT_EQ(s.LogLines(), (std::vector<WideBuffer>{u"[Parcelwright] 用户确认关闭产品12的2个进程，结果：已关闭"}));
        } else {
            EXPECT_TRUE(s.LogLines().empty());  // a refusal is not logged
        }
    }
}

// Each of these must end without a box although programs run from the folder.
TEST(ResolveFilesInUse, NoPromptWhenTheFileOrFolderIsNotProvablyTheProducts) {
    struct Case { const char* what; void (*change)(Scene&); };
    const Case cases[] = {
        {"busy file outside the folder", [](Scene& s) { s.product.busy_file = s.root + u"\\Tool2\\data.bin"; }},
        {"busy file missing", [](Scene& s) { s.product.busy_file = s.product.deploy_dir + u"\\none.bin"; }},
        {"no busy file", [](Scene& s) { s.product.busy_file.clear(); }},
        {"product number with a letter", [](Scene& s) { s.product.puc_type = u"12a"; }},
        {"product number empty", [](Scene& s) { s.product.puc_type.clear(); }},
        {"product folder with a trailing backslash", [](Scene& s) { s.product.deploy_dir += u"\\"; }},
        {"product name empty", [](Scene& s) { s.product.puc_name.clear(); }},
        {"product named like the work folder", [](Scene& s) { s.product.puc_name = u"TEMP_SETUP"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scene s;
        ASSERT_TRUE(s.inFolder && s.inSub && s.sibling);
        c.change(s);
        ResolveRun run(s.product, false);
        EXPECT_EQ(run.WaitForBoxOrEnd(), nullptr) << "a box was shown";
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_FALSE(run.result());
        EXPECT_TRUE(IsRunning(s.inFolder) && IsRunning(s.inSub) && IsRunning(s.sibling));
        EXPECT_TRUE(s.LogLines().empty());
    }
}

// The folder is a link to a folder elsewhere, and the program was started
// through that link: still nothing may be offered.
TEST(ResolveFilesInUse, NoPromptForAProductFolderReachedThroughALink) {
    Scene s(false);
    TestFolder elsewhere;
    ASSERT_TRUE(CreateDirectoryTree(elsewhere / u"Tool"));
    s.product.deploy_dir = s.root + u"\\Linked";
    s.product.busy_file = s.product.deploy_dir + u"\\data.bin";
    ASSERT_TRUE(MakeUnixSymlink(elsewhere / u"Tool", s.product.deploy_dir));
    StandIn linked(s.product.deploy_dir + u"\\tool.exe", Script("hold", s.product.busy_file));
    HANDLE program = s.running.StartHolding(linked.path(), s.product.busy_file);
    ASSERT_NE(program, nullptr);
    ResolveRun run(s.product, false);
    EXPECT_EQ(run.WaitForBoxOrEnd(), nullptr) << "a box was shown";
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_FALSE(run.result());
    EXPECT_TRUE(IsRunning(program));
    EXPECT_TRUE(s.LogLines().empty());
}

// The holder runs from outside the folder: the file is the product's, but no
// process is, so nothing is offered and the search is logged.
TEST(ResolveFilesInUse, NothingOwnedIsLoggedWithoutAPrompt) {
    Scene s(false);
    StandIn holder(s.folder / u"outside\\holder.exe", Script("hold", s.product.busy_file));
    HANDLE program = s.running.StartHolding(holder.path(), s.product.busy_file);
    ASSERT_NE(program, nullptr);
    ResolveRun run(s.product, false);
    EXPECT_EQ(run.WaitForBoxOrEnd(), nullptr) << "a box was shown";
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_FALSE(run.result());
    EXPECT_TRUE(IsRunning(program) && IsRunning(s.sibling));
    EXPECT_EQ(s.LogLines(),
              (std::vector<WideBuffer>{u"[Parcelwright] 文件占用但未找到可安全归属到产品目录的进程：" + s.product.busy_file}));
}

// A program that survives being ended still holds the file: the outcome is
// logged as a partial failure and the caller is told to stop.
TEST(ResolveFilesInUse, AProgramThatSurvivesIsAPartialFailure) {
    struct Survivor {
        BOOL(WINAPI* saved)(HANDLE, UINT) = g_endProcess;
        Survivor() { g_endProcess = Pretend; }
        ~Survivor() { g_endProcess = saved; }
        static BOOL WINAPI Pretend(HANDLE, UINT) { return TRUE; }  // says yes, ends nothing
    } survivor;
    Scene s;
    ASSERT_TRUE(s.inFolder && s.inSub && s.sibling);
    ResolveRun run(s.product, false);
    HWND box = run.WaitForBoxOrEnd();
    ASSERT_NE(box, nullptr) << "no box was shown";
    Give(box, Answer::kYes);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_FALSE(run.result());
    EXPECT_TRUE(IsRunning(s.inFolder) && IsRunning(s.inSub));
    EXPECT_EQ(s.LogLines(), (std::vector<WideBuffer>{u"[Parcelwright] 用户确认关闭产品12的2个进程，结果：部分关闭失败"}));
}

// The program itself runs from the product folder (a copy started from
// there): it is never offered, let alone ended.
TEST(ResolveFilesInUse, NeverListsItself) {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    WideBuffer exe(U(self), n);
    TestFolder folder;
    ScopedEnvironment appData{L"LOCALAPPDATA", (folder / u"appdata").c_str()};
    ProductEntry product;
    product.puc_type = u"12";
    product.puc_name = u"Self";
    product.deploy_dir = FolderOfPath(exe);
    product.busy_file = exe;  // the running program's own file
    if (!ValidateProductDir(product, FolderOfPath(product.deploy_dir), product.deploy_dir)) {
        GTEST_SKIP() << "the test program's folder is not a usable product folder here";
    }
    ResolveRun run(product, false);
    EXPECT_EQ(run.WaitForBoxOrEnd(), nullptr) << "a box was shown";
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_FALSE(run.result());
    ByteBuffer log;
    ASSERT_TRUE(ReadWholeFile(folder / u"appdata\\TwParcelwright\\logs\\install.log", log));
    const std::string text(log.begin(), log.end());
    EXPECT_NE(text.find(WideToUtf8(u"[Parcelwright] 文件占用但未找到可安全归属到产品目录的进程：" + exe)),
              std::string::npos) << text;
}

}  // namespace
