#include "engine/shortcut_win.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <thread>

#include "base/handles_win.h"
#include "base/system_win.h"
#include "base/test_folder_win.h"
#include "engine/shortcut.h"
#include "package/transaction_win.h"

namespace {

std::string Read(const WideBuffer& path) {
    ByteBuffer bytes;
    if (!ReadWholeFile(path, bytes)) return "<missing>";
    return std::string(bytes.begin(), bytes.end());
}

// A product installed into a test folder, named uniquely so that tests
// running side by side never share a desktop link; the link goes at the end.
struct ShortcutInstall {
    TestFolder folder;
    InstallTransaction t;
    ProductEntry product;
    WideBuffer desktop, link;

    explicit ShortcutInstall(const std::u16string& name) {
        static std::atomic<int> counter{0};
        t.root = folder / u"root";
        t.work_folder = folder / u"root\\temp_setup\\12-1-1";
        t.ledger_path = t.work_folder + u"\\ledger.log";
        CreateDirectoryTree(t.work_folder);
        product.puc_type = u"12";
        product.puc_name = name + Utf8ToWide(" " + std::to_string(GetCurrentProcessId()) + "-" +
                                              std::to_string(++counter));
        product.deploy_dir = folder / u"root\\Tool";
        product.main_program_path = product.deploy_dir + u"\\bin\\Tool.exe";
        CreateDirectoryTree(product.deploy_dir + u"\\bin");
        WriteWholeFile(product.main_program_path, "MZ", 2);
        DesktopFolder(desktop);
        link = desktop + u"\\" + DesktopLinkName(product.puc_name);
    }
    ~ShortcutInstall() { DeleteFileW(W(link)); }
    WideBuffer Staged() const { return t.work_folder + u"\\shortcut.lnk"; }
    void Rollback() { RollbackTransaction(product, t, true, nullptr, nullptr); }
};

struct LinkFields {
    bool loaded = false;
    WideBuffer path, description, folder, arguments, icon;
    int iconIndex = -1;
};

LinkFields ReadLink(const WideBuffer& file) {
    LinkFields fields;
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> persist;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.receiveVoid())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, persist.receiveVoid())) ||
        FAILED(persist->Load(W(file), STGM_READ))) {
        return fields;
    }
    wchar_t text[MAX_PATH * 2];
    fields.loaded = true;
    if (SUCCEEDED(link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH))) fields.path = U(text);
    if (SUCCEEDED(link->GetDescription(text, MAX_PATH * 2))) fields.description = U(text);
    if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH * 2))) fields.folder = U(text);
    if (SUCCEEDED(link->GetArguments(text, MAX_PATH * 2))) fields.arguments = U(text);
    if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH * 2, &fields.iconIndex))) fields.icon = U(text);
    return fields;
}

// The call made from a thread of its own whose COM state the test sets up;
// reports what CoInitializeEx says on that thread afterwards.
enum class ThreadCom { kNone, kApartment, kMultithreaded };

struct ThreadOutcome {
    bool created = false;
    HRESULT afterwards = E_FAIL;
};

ThreadOutcome CreateOnThread(ShortcutInstall& install, ThreadCom com) {
    ThreadOutcome outcome;
    std::thread([&] {
        if (com == ThreadCom::kApartment) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (com == ThreadCom::kMultithreaded) CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        outcome.created = CreateDesktopShortcut(install.product, install.t);
        if (com == ThreadCom::kApartment) CoUninitialize();  // the thread's own; ours must be gone too
        outcome.afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(outcome.afterwards)) CoUninitialize();
        if (com == ThreadCom::kMultithreaded) CoUninitialize();
    }).join();
    return outcome;
}

TEST(CreateDesktopShortcut, LinkFieldsOnThreadsInEveryComState) {
    // S_OK: nothing was left initialised; S_FALSE: the thread's own
    // multithreaded initialisation survived the call.
    struct Case { ThreadCom com; HRESULT afterwards; const char* what; };
    const Case cases[] = {
        {ThreadCom::kNone, S_OK, "plain thread"},
        {ThreadCom::kApartment, S_OK, "apartment-threaded thread"},
        {ThreadCom::kMultithreaded, S_FALSE, "multithreaded thread"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShortcutInstall install(u"Tarnwick 工具");
        ThreadOutcome outcome = CreateOnThread(install, c.com);
        ASSERT_TRUE(outcome.created) << WideToUtf8(install.product.last_error);
        EXPECT_EQ(outcome.afterwards, c.afterwards);
        LinkFields fields = ReadLink(install.link);
        ASSERT_TRUE(fields.loaded);
        EXPECT_EQ(fields.path, install.product.main_program_path);
        EXPECT_EQ(fields.description, install.product.puc_name);
        EXPECT_EQ(fields.folder, install.product.deploy_dir + u"\\bin");
        EXPECT_EQ(fields.arguments, u"");
        EXPECT_EQ(fields.icon, install.product.main_program_path);
        EXPECT_EQ(fields.iconIndex, 0);
        EXPECT_TRUE(install.product.last_error.empty());
        // The staged copy is a temporary of the transaction, the desktop link an installed file.
        ASSERT_EQ(install.t.entries.size(), 2u);
        EXPECT_EQ(install.t.entries.back().path, install.Staged());
        EXPECT_TRUE(install.t.entries.back().temporary);
        EXPECT_EQ(install.t.entries.front().path, install.link);
        EXPECT_FALSE(install.t.entries.front().temporary);
        EXPECT_EQ(Read(install.Staged()), Read(install.link));
    }
}

TEST(CreateDesktopShortcut, UnsafeCharactersInTheNameBecomeUnderscores) {
    ShortcutInstall install(u"A/B:C*D?E<F>G|H\"I");
    ASSERT_NE(install.link.find(u"A_B_C_D_E_F_G_H_I "), WideBuffer::npos);
    ASSERT_TRUE(CreateDesktopShortcut(install.product, install.t));
    EXPECT_EQ(ReadLink(install.link).description, install.product.puc_name);  // the description keeps them
}

TEST(CreateDesktopShortcut, RollbackBringsBackThePreviousLinkOrRemovesTheNewOne) {
    for (bool previous : {true, false}) {
        SCOPED_TRACE(previous ? "a link of that name was there" : "no link was there");
        ShortcutInstall install(u"回滚");
        const std::string old("an older link\r\n\x00\xff tail", 20);
        if (previous) {
            ASSERT_TRUE(WriteWholeFile(install.link, old.data(), old.size()));
        }
        ASSERT_TRUE(CreateDesktopShortcut(install.product, install.t));
        EXPECT_EQ(ReadLink(install.link).path, install.product.main_program_path);
        install.Rollback();
        EXPECT_EQ(Read(install.link), previous ? old : "<missing>");
        EXPECT_FALSE(FileExists(install.Staged()));
        EXPECT_FALSE(install.t.rollback_incomplete);
    }
}

TEST(CreateDesktopShortcut, ACommittedInstallKeepsTheNewLink) {
    ShortcutInstall install(u"提交");
    const std::string old = "an older link";
    ASSERT_TRUE(WriteWholeFile(install.link, old.data(), old.size()));
    ASSERT_TRUE(CreateDesktopShortcut(install.product, install.t));
    const std::string created = Read(install.link);
    install.t.committed = true;
    install.Rollback();
    EXPECT_EQ(Read(install.link), created);
    EXPECT_EQ(ReadLink(install.link).path, install.product.main_program_path);
    EXPECT_FALSE(FileExists(install.Staged()));
}

// The work folder can be written by others; a file planted where the link is
// staged (here a hard link to a file elsewhere) must not be written through.
TEST(CreateDesktopShortcut, AFilePlantedAtTheStagedPathIsReplacedNotWrittenThrough) {
    ShortcutInstall install(u"暂存");
    WideBuffer victim = install.folder / u"victim.txt";
    ASSERT_TRUE(WriteWholeFile(victim, "precious", 8));
    ASSERT_TRUE(CreateHardLinkW(W(install.Staged()), W(victim), nullptr));
    ASSERT_TRUE(CreateDesktopShortcut(install.product, install.t));
    EXPECT_EQ(Read(victim), "precious");
    EXPECT_TRUE(ReadLink(install.link).loaded);
}

TEST(CreateDesktopShortcut, FailuresLeaveAReasonAndNoLink) {
    {
        SCOPED_TRACE("the work folder is gone");
        ShortcutInstall install(u"失败");
        RemoveTree(install.folder / u"root\\temp_setup");
        EXPECT_FALSE(CreateDesktopShortcut(install.product, install.t));
        EXPECT_EQ(install.product.last_error, u"创建桌面快捷方式失败，请检查桌面权限后重试。");
        EXPECT_FALSE(FileExists(install.link));
    }
    {
        SCOPED_TRACE("a program holds the desktop link: the deploy step's reason stays");
        ShortcutInstall install(u"占用");
        ASSERT_TRUE(WriteWholeFile(install.link, "old", 3));
        UniqueHandle held(CreateFileW(W(install.link), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_FALSE(CreateDesktopShortcut(install.product, install.t));
        EXPECT_EQ(install.product.last_error, u"无法覆盖文件，程序正在运行中，请关闭后再试");
        EXPECT_EQ(install.product.busy_file, install.link);
        held.reset();
        EXPECT_EQ(Read(install.link), "old");
    }
}

}  // namespace
