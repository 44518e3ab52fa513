#include "prereq/prerequisite_install_win.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <iterator>
#include <thread>

#include "base/deployment.h"
#include "base/file_win.h"
#include "base/test_folder_win.h"
#include "catalog/vendor_server_win.h"
#include "engine/stand_in_win.h"
#include "package/transaction_win.h"
#include "prereq/prerequisites.h"

namespace {

std::string Read(const WideBuffer& path) {
    ByteBuffer bytes;
    ReadWholeFile(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

// The lines a stand-in recorded (its .args or .cwd file).
std::vector<std::string> Lines(const WideBuffer& file) {
    std::string text = Read(file);
    if (text == "") return {};
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

bool WaitForFile(const WideBuffer& path) {
    for (int i = 0; i < 3000; ++i) {
        if (FileExists(path)) return true;
        Sleep(10);
    }
    return false;
}

// The server path of a row's download link (every Microsoft origin of the
// test build is a prefix on the loopback server).
std::string RowTarget(int row) {
    return WideToUtf8(PrerequisiteDownloadUrl(kPrerequisites[row]).substr(WideBuffer(kVendorOrigin).size()));
}

// Serves a copy of the stand-in at each row's link for as long as it lives.
struct ServedInstallers {
    std::vector<std::unique_ptr<StandIn>> copies;
    std::unique_ptr<ServerRules> rules;
    ServedInstallers(const char16_t* name, std::initializer_list<int> rows, const std::string& extraRules = "") {
        std::string json = "{" + extraRules;
        for (int row : rows) {
            std::string file = "prq-" + WideToUtf8(name) + "-" + std::to_string(row) + ".exe";
            copies.push_back(std::make_unique<StandIn>(ServerFile(Utf8ToWide(file)), ""));
            if (json.size() > 1) json += ",";
            json += "\"" + RowTarget(row) + "\": {\"body_file\": \"" + file + "\"}";
        }
        rules = std::make_unique<ServerRules>(name, json + "}");
    }
};

struct Report {
    std::u16string status, text;
    bool operator==(const Report& o) const { return status == o.status && text == o.text; }
};

// A product, its transaction's work folder and the log, in one test folder.
struct Scene {
    TestFolder folder;
    ScopedEnvironment data{L"LOCALAPPDATA", (folder / u"data").c_str()};
    InstallTransaction t;
    ProductEntry product;
    std::vector<Report> reports;
    std::function<void(ProductEntry&, const std::u16string&)> onStatus;

    Scene() {
        t.work_folder = folder / u"work";
        t.ledger_path = t.work_folder + u"\\ledger.log";
        CreateDirectoryTree(t.work_folder);
        product.puc_type = u"12";
    }
    WideBuffer Work(std::u16string_view name) const { return t.work_folder + u"\\" + WideBuffer(name); }
    static bool Status(void* context, ProductEntry* p, const char16_t* text) {
        auto* s = static_cast<Scene*>(context);
        Report r{p->status_text, text};
        // Download progress repeats its line a timing-dependent number of times.
        if (s->reports.empty() || !(s->reports.back() == r)) s->reports.push_back(r);
        if (s->onStatus) s->onStatus(*p, text);
        return true;
    }
    bool Install(HANDLE cancel = nullptr) { return InstallPrerequisites(product, t, Status, this, cancel); }
    // The script a downloaded installer follows: <work>\<code>.exe.script.
    void Script(int row, const std::string& script) {
        WideBuffer path = Work(WideBuffer(kPrerequisites[row].code) + u".exe.script");
        WriteWholeFile(path, script.data(), script.size());
    }
    std::vector<std::string> Calls(int row) const {
        return Lines(Work(WideBuffer(kPrerequisites[row].code) + u".exe.args"));
    }
    std::string Log() const { return Read(folder / u"data\\TwParcelwright\\logs\\install.log"); }
};

TEST(InstallPrerequisites, InstallerExit3010CountsAndTheNextCallSkips) {
    ServedInstallers served(u"3010", {3});
    Scene s;
    ScopedEnvironment programFiles(L"ProgramFiles", (s.folder / u"pf").c_str());
    s.product.env_mask = kPrerequisites[3].bit;
    WideBuffer installer = s.Work(u"dotnet_desktop_8_x86.exe");
    s.Script(3, "write " + WideToUtf8(s.folder / u"pf\\dotnet\\shared\\Microsoft.WindowsDesktop.App\\8.0.7\\x.dll") +
                    " x\nexit 3010\n");
    ASSERT_TRUE(s.Install()) << WideToUtf8(s.product.last_error);

    EXPECT_EQ(s.Calls(3), std::vector<std::string>{"\"" + WideToUtf8(installer) + "\" /install /quiet /norestart"});
    std::vector<std::string> folders = Lines(installer + u".cwd");
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_TRUE(EqualsNoCase(Utf8ToWide(folders[0]), s.t.work_folder)) << folders[0];
    const std::vector<Report> expected = {
        {u"正在检查环境要求…", u".NET 8 桌面运行时（32 位）"},
        {u"正在下载环境程序…", u"正在下载环境程序…"},
        {u"正在安装环境程序…", u"正在安装环境程序…"},
        {u"环境安装完成", u"环境安装完成。"},
    };
    EXPECT_EQ(s.reports, expected);
    EXPECT_NE(s.Log().find(WideToUtf8(u"[Parcelwright] 环境安装请求重启后生效：.NET 8 桌面运行时（32 位）\r\n")),
              std::string::npos);
    EXPECT_NE(Read(s.t.ledger_path).find(WideToUtf8(u"临时文件\t" + installer + u"\r\n")), std::string::npos);
    EXPECT_FALSE(FileExists(installer + u".part"));
    EXPECT_TRUE(s.product.env_warnings.empty());
    EXPECT_EQ(s.product.progress_percent, 0);
    EXPECT_FALSE(s.product.progress_indeterminate);

    size_t requests = RequestsTo(Utf8ToWide(RowTarget(3)), u"").size();
    s.reports.clear();
    ASSERT_TRUE(s.Install());
    EXPECT_EQ(s.reports.back(), (Report{u"环境已满足", u"检测到环境已安装，跳过下载。"}));
    EXPECT_EQ(RequestsTo(Utf8ToWide(RowTarget(3)), u"").size(), requests);  // nothing downloaded again
}

// A runtime that cannot be installed is a warning; the product goes on.
TEST(InstallPrerequisites, FailuresBecomeWarningsInTableOrder) {
    ServedInstallers served(u"fail", {9, 1}, "\"" + RowTarget(5) + "\": {\"body\": \"<html/>\", \"content_type\": \"text/html\"}");
    Scene s;
    s.product.env_mask = kPrerequisites[9].bit | kPrerequisites[1].bit | kPrerequisites[5].bit;
    s.Script(1, "exit 1603\n");
    s.Script(9, "exit 5\n");
    ASSERT_TRUE(s.Install());
    EXPECT_EQ(s.product.env_warnings,
              u".NET Framework 4.8：安装程序退出代码 1603。；VC++ 2010（32 位）：服务器返回网页而不是环境安装程序。；"
              u"VC++ 2019（32 位）：安装程序退出代码 5。");
    EXPECT_EQ(s.reports.back(), (Report{u"环境安装失败，将继续安装主程序", u"环境安装未完成，继续安装主程序。"}));
    EXPECT_FALSE(FileExists(s.Work(u"vc2010_x86.exe")));
    EXPECT_NE(s.Log().find(WideToUtf8(u"[Parcelwright] 环境程序安装警告：VC++ 2019（32 位）：安装程序退出代码 5。")),
              std::string::npos);
    EXPECT_TRUE(s.product.last_error.empty());
}

TEST(DownloadPrerequisite, RefusalsLeaveNothingBehind) {
    ServerRules rules(u"prq-refusals", R"({
      "/prq/html": {"body": "MZ<html>", "content_type": "Text/HTML"},
      "/prq/huge": {"body": "MZ", "content_length": 536870913},
      "/prq/not-mz": {"body": "PK\u0003\u0004 not a program"},
      "/prq/short": {"body": "MZ and some", "content_length": 100},
      "/prq/empty": {"body": ""},
      "/prq/missing": {"status": 404, "body": "no"}
    })");
    struct Case { const char16_t* target; const char16_t* error; };
    const Case cases[] = {
        {u"/prq/html", u"服务器返回网页而不是环境安装程序。"},
        {u"/prq/huge", u"环境安装包超过 512 MB，已跳过。"},
        {u"/prq/not-mz", u"下载内容不是有效的 Windows 安装程序。"},
        {u"/prq/short", u"环境安装包下载不完整。"},
        {u"/prq/empty", u"环境安装包下载不完整。"},
        {u"/prq/missing", u"服务器返回 HTTP 404。"},
    };
    for (const Case& c : cases) {
        Scene s;
        WideBuffer target = s.Work(u"vc2010_x86.exe"), error;
        EXPECT_FALSE(DownloadPrerequisite(s.product, s.t, ServerUrl(c.target), target, nullptr, nullptr, nullptr, error));
        EXPECT_EQ(error, c.error) << WideToUtf8(c.target);
        EXPECT_FALSE(FileExists(target)) << WideToUtf8(c.target);
        EXPECT_FALSE(FileExists(target + u".part")) << WideToUtf8(c.target);
        EXPECT_TRUE(s.t.entries.empty()) << WideToUtf8(c.target);
        EXPECT_FALSE(s.product.progress_indeterminate);
    }
    // A .part already there is someone else's: never written to or removed.
    Scene s;
    WideBuffer target = s.Work(u"vc2010_x86.exe"), error;
    ASSERT_TRUE(WriteWholeFile(target + u".part", "theirs", 6));
    EXPECT_FALSE(DownloadPrerequisite(s.product, s.t, ServerUrl(u"/prq/not-mz"), target, nullptr, nullptr, nullptr,
                                      error));
    EXPECT_EQ(error.rfind(u"无法创建环境安装包（错误 80）", 0), 0u) << WideToUtf8(error);
    EXPECT_EQ(Read(target + u".part"), "theirs");
}

TEST(InstallPrerequisites, CancelDuringADownloadStopsTheProduct) {
    ServerRules rules(u"prq-cancel-download", "{\"" + RowTarget(7) +
                                                  "\": {\"body_size\": 400000, \"chunk\": 20000, \"delay_ms\": 60}}");
    Scene s;
    s.product.env_mask = kPrerequisites[7].bit;
    UniqueHandle cancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    s.onStatus = [&](ProductEntry& p, const std::u16string&) {
        if (p.bytes_received > 0) SetEvent(cancel.get());
    };
    EXPECT_FALSE(s.Install(cancel.get()));
    EXPECT_EQ(s.product.last_error, u"用户已取消安装。");
    EXPECT_TRUE(s.product.env_warnings.empty());
    EXPECT_FALSE(FileExists(s.Work(u"vc2013_x86.exe.part")));
    EXPECT_FALSE(FileExists(s.Work(u"vc2013_x86.exe")));
}

// An elevated installer is never interrupted; the cancel counts once it ends.
TEST(InstallPrerequisites, CancelWhileAnInstallerRunsWaitsForIt) {
    ServedInstallers served(u"cancel-run", {10});
    Scene s;
    s.product.env_mask = kPrerequisites[10].bit;
    WideBuffer started = s.Work(u"started"), go = s.Work(u"go"), finished = s.Work(u"finished");
    s.Script(10, "write " + WideToUtf8(started) + " x\nwait " + WideToUtf8(go) + "\nwrite " + WideToUtf8(finished) +
                     " x\nexit 0\n");
    UniqueHandle cancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread canceller([&] {
        if (WaitForFile(started)) SetEvent(cancel.get());
        WriteWholeFile(go, "", 0);
    });
    EXPECT_FALSE(s.Install(cancel.get()));
    canceller.join();
    EXPECT_TRUE(FileExists(finished));
    EXPECT_EQ(s.product.last_error, u"用户已取消安装。");
}

// Wine's own dism.exe accepts anything; the stand-in takes its place in the
// 64-bit system folder only, so a run from the 32-bit one would go unrecorded.
// Wine prefers its built-in program to a file of that name in a system folder
// unless told otherwise.
class NativeDism {
public:
    NativeDism() {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        overrides_.receive(), nullptr);
        RegSetValueExW(overrides_.get(), L"dism.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"native"),
                       sizeof(L"native"));
        wchar_t windows[MAX_PATH];
        GetWindowsDirectoryW(windows, MAX_PATH);
        native_ = WideBuffer(U(windows)) + u"\\Sysnative\\dism.exe";
        records_ = WideBuffer(U(windows)) + u"\\SysWOW64\\dism.exe";  // what the stand-in sees as its own path
        saved_ = MoveFileExW(W(native_), W(native_ + u".tw-saved"), MOVEFILE_REPLACE_EXISTING);
        stand_in_ = std::make_unique<StandIn>(native_, "");
        DeleteFileW(W(records_ + u".args"));
        DeleteFileW(W(records_ + u".cwd"));
    }
    ~NativeDism() {
        RegDeleteValueW(overrides_.get(), L"dism.exe");
        stand_in_.reset();
        DeleteFileW(W(native_ + u".script"));
        DeleteFileW(W(native_));
        if (saved_) MoveFileExW(W(native_ + u".tw-saved"), W(native_), MOVEFILE_REPLACE_EXISTING);
        for (const char16_t* suffix : {u".script", u".args", u".cwd"}) DeleteFileW(W(records_ + suffix));
    }
    void Script(const std::string& text) { WriteWholeFile(records_ + u".script", text.data(), text.size()); }
    std::string Args() const { return Read(records_ + u".args"); }
    std::string Folder() const { return Read(records_ + u".cwd"); }
    const WideBuffer& path() const { return native_; }

private:
    UniqueRegKey overrides_;
    WideBuffer native_, records_;
    bool saved_ = false;
    std::unique_ptr<StandIn> stand_in_;
};

TEST(InstallPrerequisites, DotNet35IsEnabledThroughTheNativeDism) {
    NativeDism dism;
    dism.Script("exit 3010\n");
    Scene s;
    s.product.env_mask = kPrerequisites[0].bit;
    ASSERT_TRUE(s.Install());
    EXPECT_EQ(dism.Args(), "\"" + WideToUtf8(dism.path()) + "\" /Online /Enable-Feature /FeatureName:NetFx3 /All /NoRestart\n");
    EXPECT_TRUE(EqualsNoCase(Utf8ToWide(dism.Folder()), s.t.work_folder + u"\n"));
    const std::vector<Report> expected = {
        {u"正在检查环境要求…", u".NET Framework 3.5"},
        {u"正在启用 .NET Framework 3.5…", u"正在通过 Windows 可选功能启用 .NET Framework 3.5。"},
        {u"正在安装环境程序…", u"正在安装环境程序…"},
        {u"环境安装完成", u"环境安装完成。"},
    };
    EXPECT_EQ(s.reports, expected);
    EXPECT_TRUE(s.t.entries.empty());  // nothing was downloaded
    EXPECT_NE(s.Log().find(WideToUtf8(u"环境安装请求重启后生效：.NET Framework 3.5")), std::string::npos);

    dism.Script("exit 87\n");
    Scene refused;
    refused.product.env_mask = kPrerequisites[0].bit;
    ASSERT_TRUE(refused.Install());
    EXPECT_EQ(refused.product.env_warnings, u".NET Framework 3.5：安装程序退出代码 87。");
}

// DirectX is present in Wine's system folders, so the missing-runtime steps
// are driven directly.
TEST(InstallMissingPrerequisite, DirectXUnpacksThenSetsUp) {
    ServedInstallers served(u"directx", {12});
    struct Case { std::string unpackExit, setupScript; bool unpacksSetup; const char16_t* warning; };
    const Case cases[] = {
        {"0", "exit 0", true, u""},
        {"2", "exit 0", true, u"DirectX 运行库（2010 年 6 月版）：DirectX 解包程序退出代码 2。"},
        {"0", "exit 1603", true, u"DirectX 运行库（2010 年 6 月版）：DirectX 安装程序退出代码 1603。"},
        // Unpacked without its setup program: nothing changed it, it is not there.
        {"0", "exit 0", false, u"DirectX 运行库（2010 年 6 月版）：请求安装环境程序失败（错误 2）"},
    };
    for (const Case& c : cases) {
        Scene s;
        WideBuffer folder = s.Work(u"directx_june2010"), setup = folder + u"\\DXSETUP.exe";
        std::string unpack = c.unpacksSetup ? "clone " + WideToUtf8(setup) + "\n" : "";
        s.Script(12, unpack + "write " + WideToUtf8(setup) + ".script " + c.setupScript + "\nwrite " +
                         WideToUtf8(folder) + "\\sub\\dxdata.cab cab\nexit " + c.unpackExit + "\n");
        ASSERT_TRUE(InstallMissingPrerequisite(s.product, s.t, 12, Scene::Status, &s, nullptr));
        if (!c.unpacksSetup) {
            EXPECT_EQ(s.product.env_warnings.rfind(c.warning, 0), 0u) << WideToUtf8(s.product.env_warnings);
            EXPECT_FALSE(FileExists(setup));
            continue;
        }
        EXPECT_EQ(s.product.env_warnings, c.warning) << c.unpackExit << " " << c.setupScript;
        WideBuffer package = s.Work(u"directx_june2010.exe");
        EXPECT_EQ(s.Calls(12), std::vector<std::string>{"\"" + WideToUtf8(package) + "\" /Q /T:\"" +
                                                        WideToUtf8(folder) + "\""});
        if (c.unpackExit != "0") {
            EXPECT_TRUE(Lines(setup + u".args").empty());
            continue;
        }
        EXPECT_EQ(Lines(setup + u".args"), std::vector<std::string>{"\"" + WideToUtf8(setup) + "\" /silent"});
        std::vector<std::string> folders = Lines(setup + u".cwd");
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_TRUE(EqualsNoCase(Utf8ToWide(folders[0]), folder));
        EXPECT_NE(FindLedgerEntry(s.t, folder + u"\\sub\\dxdata.cab"), nullptr);  // the tree is the install's
    }
}

// What runs elevated is exactly what was downloaded and registered.
TEST(InstallPrerequisites, InstallerChangedBeforeItRunsIsSkipped) {
    ServedInstallers served(u"changed", {11});
    Scene s;
    s.product.env_mask = kPrerequisites[11].bit;
    WideBuffer installer = s.Work(u"webview2.exe");
    s.onStatus = [&](ProductEntry&, const std::u16string& text) {
        if (text == u"正在安装环境程序…") {
            UniqueHandle file(CreateFileW(W(installer), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            DWORD wrote = 0;
            WriteFile(file.get(), "!", 1, &wrote, nullptr);
        }
    };
    ASSERT_TRUE(s.Install());
    EXPECT_EQ(s.product.env_warnings, u"Microsoft Edge WebView2 Runtime：环境安装程序在运行前已被更改，已跳过运行。");
    EXPECT_TRUE(s.Calls(11).empty());
}

TEST(HoldRegisteredTree, UnchangedFilesAreHeldAgainstWriting) {
    Scene s;
    WideBuffer folder = s.Work(u"tree");
    ASSERT_TRUE(CreateDirectoryTree(folder + u"\\sub"));
    ASSERT_TRUE(WriteWholeFile(folder + u"\\setup.exe", "MZ", 2));
    ASSERT_TRUE(WriteWholeFile(folder + u"\\sub\\a.dll", "a", 1));
    ASSERT_TRUE(RegisterTreeAsTemp(s.t, folder));
    {
        std::vector<UniqueHandle> held;
        ASSERT_TRUE(HoldRegisteredTree(s.t, folder, held));
        EXPECT_EQ(held.size(), 2u);
        UniqueHandle writer(CreateFileW(W(folder + u"\\sub\\a.dll"), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(writer);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    {
        ASSERT_TRUE(WriteWholeFile(folder + u"\\planted.dll", "p", 1));  // a file nobody registered
        std::vector<UniqueHandle> held;
        EXPECT_FALSE(HoldRegisteredTree(s.t, folder, held));
        ASSERT_TRUE(DeleteFileW(W(folder + u"\\planted.dll")));
    }
    ASSERT_TRUE(WriteWholeFile(folder + u"\\sub\\a.dll", "b", 1));  // same size, other content
    std::vector<UniqueHandle> held;
    EXPECT_FALSE(HoldRegisteredTree(s.t, folder, held));
    EXPECT_FALSE(HoldRegisteredTree(s.t, s.Work(u"nothing-registered"), held));
}

// A downloaded installer runs elevated from the work folder: until it has
// ended nobody may write, rename or delete it; afterwards it is free again.
TEST(InstallPrerequisites, AnInstallerStaysHeldUntilItEnds) {
    ServedInstallers served(u"held", {9});
    Scene s;
    s.product.env_mask = kPrerequisites[9].bit;
    StandInGate gate("prerequisite");
    s.Script(9, gate.Script() + "exit 0\n");
    WideBuffer installer = s.Work(WideBuffer(kPrerequisites[9].code) + u".exe");
    bool installed = false;
    std::thread run([&] { installed = s.Install(); });
    bool started = gate.WaitStarted();
    FileAccess whileRunning = TryToChange(installer, true);
    gate.Open();
    run.join();
    ASSERT_TRUE(started) << WideToUtf8(s.product.env_warnings);
    EXPECT_EQ(whileRunning, FileAccess{});
    EXPECT_TRUE(installed);
    EXPECT_TRUE(s.product.env_warnings.empty()) << WideToUtf8(s.product.env_warnings);
    EXPECT_EQ(TryToChange(installer, true), (FileAccess{true, true, true}));
}

// DXSETUP loads what lies beside it: every file of the unpacked folder stays
// held while it runs, and is released once it has ended.
TEST(InstallMissingPrerequisite, TheDirectXFolderStaysHeldWhileSetupRuns) {
    ServedInstallers served(u"directx-held", {12});
    Scene s;
    StandInGate gate("dxsetup");
    WideBuffer folder = s.Work(u"directx_june2010"), setup = folder + u"\\DXSETUP.exe";
    const WideBuffer files[] = {setup, folder + u"\\dsetup.dll", folder + u"\\sub\\dxdata.cab"};
    s.Script(12, "clone " + WideToUtf8(files[0]) + "\nwrite " + WideToUtf8(files[1]) + " dll\nwrite " +
                     WideToUtf8(files[2]) + " cab\n");
    // The unpacked copy has no script beside it (that file would be one more
    // to hold): it follows the one the environment names.
    WideBuffer setupScript = s.folder / u"dxsetup.script";
    std::string script = gate.Script() + "exit 0\n";
    ASSERT_TRUE(WriteWholeFile(setupScript, script.data(), script.size()));
    ScopedEnvironment scriptForCopies(L"TW_STAND_IN_SCRIPT", setupScript.c_str());
    std::thread run([&] { InstallMissingPrerequisite(s.product, s.t, 12, Scene::Status, &s, nullptr); });
    bool started = gate.WaitStarted();
    std::vector<FileAccess> whileRunning;
    for (const WideBuffer& file : files) whileRunning.push_back(TryToChange(file, true));
    gate.Open();
    run.join();
    ASSERT_TRUE(started) << WideToUtf8(s.product.env_warnings);
    EXPECT_TRUE(s.product.env_warnings.empty()) << WideToUtf8(s.product.env_warnings);
    EXPECT_EQ(Lines(setup + u".args"), std::vector<std::string>{"\"" + WideToUtf8(setup) + "\" /silent"});
    for (size_t i = 0; i < std::size(files); ++i) {
        SCOPED_TRACE(WideToUtf8(files[i]));
        EXPECT_EQ(whileRunning[i], FileAccess{});
        EXPECT_EQ(TryToChange(files[i], true), (FileAccess{true, true, true}));
    }
}

// The exit code of an elevated run that cannot be read is a failure named by
// that read's error, and what was held is released.
TEST(RunElevatedAndWait, AnUnreadableExitCodeIsAFailure) {
    Scene s;
    StandIn program(s.Work(u"setup.exe"), "exit 0\n");
    std::vector<UniqueHandle> held;
    held.emplace_back(CreateFileW(W(program.path()), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held[0]);
    UnreadableExitCodes unreadable;
    DWORD code = 99;
    WideBuffer error;
    EXPECT_FALSE(RunElevatedAndWait(program.path(), u"/quiet", s.t.work_folder, code, error, &held));
    EXPECT_EQ(error.rfind(u"读取环境安装结果失败（错误 1816）", 0), 0u) << WideToUtf8(error);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(held.empty());
    EXPECT_EQ(program.Calls().size(), 1u);
}

// The same through the whole row: a warning naming the read, for an installer
// and for the DirectX unpacker alike.
TEST(InstallMissingPrerequisite, AnUnreadableExitCodeBecomesAWarning) {
    ServedInstallers served(u"unreadable", {9, 12});
    struct Case { int row; const char16_t* warning; };
    const Case cases[] = {
        {9, u"读取环境安装结果失败（错误 1816）"},
        {12, u"请求安装环境程序失败（错误 1816）"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        Scene s;
        s.Script(c.row, "exit 0\n");
        UnreadableExitCodes unreadable;
        ASSERT_TRUE(InstallMissingPrerequisite(s.product, s.t, c.row, Scene::Status, &s, nullptr));
        WideBuffer expected = WideBuffer(kPrerequisites[c.row].displayName) + u"：" + c.warning;
        EXPECT_EQ(s.product.env_warnings.rfind(expected, 0), 0u) << WideToUtf8(s.product.env_warnings);
        EXPECT_EQ(s.Calls(c.row).size(), 1u);
    }
}

}  // namespace
