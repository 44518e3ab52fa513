#include "engine/child_process_win.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "stand_in_win.h"

namespace {

std::string Read(const WideBuffer& path) {
    ByteBuffer bytes;
    ReadWholeFile(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

TEST(RunChildProcess, AnUnreadableExitCodeIsAFailureWithItsError) {
    struct Case { const char* script; bool output; };
    const Case cases[] = {{"exit 0\n", false}, {"exit 7\n", false}, {"print x\nexit 0\n", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        TestFolder folder;
        StandIn tool(folder / u"tool.exe", c.script);
        WideBuffer log = folder / u"out.log";
        UnreadableExitCodes unreadable;
        DWORD code = 99;
        EXPECT_FALSE(RunChildProcess(tool.path(), u"", folder.path(), c.output ? log.c_str() : nullptr, nullptr,
                                     &code));
        EXPECT_EQ(GetLastError(), kUnreadableExitCodeError);
        EXPECT_EQ(code, 0u);  // started, so stored, but never a code it did not give
        EXPECT_EQ(tool.Calls().size(), 1u);  // it did run to its end
    }
}

TEST(RunChildProcess, OutputExitCodeAndCommandLine) {
    TestFolder folder;
    StandIn tool(folder / u"tools\\tool.exe", "print hello\nprint 中文\nexit 7\n");
    DWORD code = 0;
    WideBuffer log = folder / u"out.log";
    ASSERT_TRUE(RunChildProcess(tool.path(), u"a \"b c\"", folder.path(), log.c_str(), nullptr, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(Read(log), "hello\r\n中文\r\n");
    ASSERT_EQ(tool.Calls().size(), 1u);
    EXPECT_EQ(tool.Calls()[0], WideToUtf8(u"\"" + tool.path() + u"\" a \"b c\""));
    // Without an output file nothing is redirected and the run still completes.
    ASSERT_TRUE(RunChildProcess(tool.path(), u"", folder.path(), nullptr, nullptr, &code));
    EXPECT_EQ(code, 7u);
}

TEST(RunChildProcess, MissingProgram) {
    TestFolder folder;
    DWORD code = 99;
    EXPECT_FALSE(RunChildProcess(folder / u"none.exe", u"", folder.path(), nullptr, nullptr, &code));
    EXPECT_EQ(code, 99u);  // never started: nothing stored
    EXPECT_NE(GetLastError(), 0u);
}

TEST(RunChildProcess, CancelTerminatesWith1223) {
    TestFolder folder;
    StandIn slow(folder / u"slow.exe", "sleep 20000\n");
    UniqueHandle cancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread canceller([&] {
        Sleep(300);
        SetEvent(cancel.get());
    });
    DWORD started = GetTickCount(), code = 0;
    EXPECT_FALSE(RunChildProcess(slow.path(), u"", folder.path(), nullptr, cancel.get(), &code));
    DWORD lastError = GetLastError();
    canceller.join();
    EXPECT_EQ(lastError, 1223u);
    EXPECT_EQ(code, 1223u);
    EXPECT_LT(GetTickCount() - started, 5000u);
}

// The output file lies in a work folder a standard user can write to; a file
// planted there must never be written through.
TEST(RunChildProcess, OutputFileIsAlwaysNew) {
    TestFolder folder;
    StandIn tool(folder / u"tool.exe", "print fresh\n");
    WideBuffer victim = folder / u"victim.txt", log = folder / u"out.log";
    ASSERT_TRUE(WriteWholeFile(victim, "precious", 8));
    ASSERT_TRUE(CreateHardLinkW(W(log), W(victim), nullptr));
    DWORD code = 1;
    ASSERT_TRUE(RunChildProcess(tool.path(), u"", folder.path(), log.c_str(), nullptr, &code));
    EXPECT_EQ(Read(log), "fresh\r\n");
    EXPECT_EQ(Read(victim), "precious");

    // A link on the way to the output file: nothing is started.
    TestFolder elsewhere;
    ASSERT_TRUE(MakeUnixSymlink(elsewhere.path(), folder / u"linked"));
    WideBuffer linkedLog = folder / u"linked\\out.log";
    code = 99;
    EXPECT_FALSE(RunChildProcess(tool.path(), u"", folder.path(), linkedLog.c_str(), nullptr, &code));
    EXPECT_EQ(code, 99u);
    EXPECT_EQ(tool.Calls().size(), 1u);
    EXPECT_FALSE(FileExists(elsewhere / u"out.log"));
}

// App Paths of one program in one hive and view, removed afterwards.
class AppPathKey {
public:
    AppPathKey(HKEY root, REGSAM view, const WideBuffer& name, const WideBuffer& value) : root_(root), view_(view) {
        key_ = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name;
        UniqueRegKey key;
        RegCreateKeyExW(root, W(key_), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.receive(), nullptr);
        RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * 2));
    }
    ~AppPathKey() { RegDeleteKeyExW(root_, W(key_), view_, 0); }

private:
    HKEY root_;
    REGSAM view_;
    WideBuffer key_;
};

TEST(FindAppPath, TriesEachHiveAndViewAndSkipsMissingOrLinkedTargets) {
    TestFolder folder, real;
    WideBuffer target = folder / u"Program\\app_test_tw.exe";
    ASSERT_TRUE(CreateDirectoryTree(folder / u"Program"));
    ASSERT_TRUE(WriteWholeFile(target, "x", 1));
    ASSERT_TRUE(WriteWholeFile(real / u"app_test_tw.exe", "x", 1));
    ASSERT_TRUE(MakeUnixSymlink(real.path(), folder / u"linked"));
    WideBuffer found;
    EXPECT_FALSE(FindAppPath(u"app_test_tw.exe", found));
    {
        AppPathKey missing(HKEY_CURRENT_USER, KEY_WOW64_32KEY, u"app_test_tw.exe", folder / u"gone.exe");
        AppPathKey linked(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, u"app_test_tw.exe", folder / u"linked\\app_test_tw.exe");
        AppPathKey good(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, u"app_test_tw.exe", target);
        ASSERT_TRUE(FindAppPath(u"app_test_tw.exe", found));
        EXPECT_EQ(found, target);  // the missing and the linked ones were passed over
    }
    EXPECT_FALSE(FindAppPath(u"app_test_tw.exe", found));
}

// A registered value that names the file untidily comes back in the full form
// the install record can hold. A program name of its own: the registry is
// shared with the test above when both run at once.
TEST(FindAppPath, ReturnsTheNormalisedPath) {
    TestFolder folder;
    WideBuffer target = folder / u"Program\\app_test_tw_norm.exe";
    ASSERT_TRUE(CreateDirectoryTree(folder / u"Program"));
    ASSERT_TRUE(WriteWholeFile(target, "x", 1));
    const WideBuffer values[] = {folder / u"Program\\\\app_test_tw_norm.exe", target + u" ",
                                 folder / u"x\\..\\Program/app_test_tw_norm.exe"};
    for (const WideBuffer& value : values) {
        AppPathKey key(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, u"app_test_tw_norm.exe", value);
        WideBuffer found;
        ASSERT_TRUE(FindAppPath(u"app_test_tw_norm.exe", found)) << WideToUtf8(value);
        EXPECT_EQ(found, target) << WideToUtf8(value);
    }
}

struct InstallerRun {
    TestFolder folder;
    ProductEntry product;
    InstallerRun() {
        product.deploy_dir = folder / u"root\\Tool";
        CreateDirectoryTree(product.deploy_dir);
        product.package_path = folder / u"work\\package.exe";
        product.runname = u"Tool.exe";
    }
};

TEST(RunInstaller, ExitCodesAndTheMainProgramSearch) {
    {
        InstallerRun r;
        StandIn installer(r.product.package_path, "write " + WideToUtf8(r.product.deploy_dir) + "\\bin\\tool.exe x\nexit 3010\n");
        ASSERT_TRUE(RunInstaller(r.product, nullptr, nullptr)) << WideToUtf8(r.product.last_error);
        EXPECT_EQ(r.product.main_program_path, r.product.deploy_dir + u"\\bin\\tool.exe");
        EXPECT_EQ(installer.Calls().size(), 1u);
    }
    {
        InstallerRun r;  // installed elsewhere and registered in App Paths
        WideBuffer elsewhere = r.folder / u"ProgramFiles\\Vendor\\Tool.exe";  // the stand-in splits at spaces
        StandIn installer(r.product.package_path, "write " + WideToUtf8(elsewhere) + " x\nexit 0\n");
        AppPathKey registered(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, u"Tool.exe", elsewhere);
        ASSERT_TRUE(RunInstaller(r.product, nullptr, nullptr)) << WideToUtf8(r.product.last_error);
        EXPECT_EQ(r.product.main_program_path, elsewhere);
    }
    {
        InstallerRun r;  // succeeded, but the main program is nowhere
        StandIn installer(r.product.package_path, "exit 1641\n");
        EXPECT_FALSE(RunInstaller(r.product, nullptr, nullptr));
        EXPECT_EQ(r.product.failure_kind, 3u);
        EXPECT_TRUE(r.product.block_suspected);
        EXPECT_EQ(r.product.last_error,
                  u"已完成安装，但主程序找不到，可能被杀毒软件拦截隔离导致，请您解决杀毒软件重新安装再试");
    }
    {
        InstallerRun r;  // the user cancelled the installer
        StandIn installer(r.product.package_path, "exit 1602\n");
        EXPECT_FALSE(RunInstaller(r.product, nullptr, nullptr));
        EXPECT_EQ(r.product.failure_kind, 5u);
        EXPECT_EQ(r.product.last_error, u"安装程序返回失败，退出码 1602。");
    }
    {
        InstallerRun r;  // no main program named: exit code 0 is enough
        r.product.runname.clear();
        StandIn installer(r.product.package_path, "exit 0\n");
        EXPECT_TRUE(RunInstaller(r.product, nullptr, nullptr));
        EXPECT_TRUE(r.product.main_program_path.empty());
    }
}

// The package runs elevated from the work folder: from the hold its caller
// took until it has ended, nobody may write, rename or delete it.
TEST(RunInstaller, ThePackageStaysHeldUntilTheInstallerEnds) {
    InstallerRun r;
    StandInGate gate("installer");
    StandIn installer(r.product.package_path, gate.Script() + "exit 0\n");
    r.product.runname.clear();
    UniqueHandle hold(CreateFileW(W(r.product.package_path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(hold);
    bool installed = false;
    std::thread run([&] { installed = RunInstaller(r.product, nullptr, nullptr, &hold); });
    bool started = gate.WaitStarted();
    FileAccess whileRunning = TryToChange(r.product.package_path, true);
    gate.Open();
    run.join();
    ASSERT_TRUE(started);
    EXPECT_EQ(whileRunning, FileAccess{});
    EXPECT_TRUE(installed) << WideToUtf8(r.product.last_error);
    EXPECT_FALSE(hold);
    EXPECT_EQ(TryToChange(r.product.package_path, true), (FileAccess{true, true, true}));
}

TEST(RunInstaller, AnUnreadableExitCodeFailsAndReleasesThePackage) {
    InstallerRun r;
    StandIn installer(r.product.package_path, "write " + WideToUtf8(r.product.deploy_dir) + "\\Tool.exe x\nexit 0\n");
    UniqueHandle hold(CreateFileW(W(r.product.package_path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    UnreadableExitCodes unreadable;
    EXPECT_FALSE(RunInstaller(r.product, nullptr, nullptr, &hold));
    EXPECT_EQ(r.product.failure_kind, 5u);
    EXPECT_EQ(r.product.last_error, u"安装程序返回失败，退出码 0。");
    EXPECT_TRUE(r.product.main_program_path.empty());  // though the program is there
    EXPECT_FALSE(hold);
}

}  // namespace
