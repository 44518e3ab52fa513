#include "security/defender_win.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <memory>

#include "base/file_win.h"
#include "base/test_folder_win.h"
#include "engine/stand_in_win.h"
#include "package/path_safety_win.h"

namespace {

std::string Read(const WideBuffer& path) {
    ByteBuffer bytes;
    ReadWholeFile(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

WideBuffer WindowsPath(const char16_t* below) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return WideBuffer(U(windows)) + below;
}

// Wine's powershell.exe prints nothing and exits 0, so a Defender step would
// pass untested: the stand-in replaces both the native one (reached through
// Sysnative) and the 32-bit one, and Wine is told to run the files on disk.
// A 32-bit stand-in started through Sysnative sees itself in system32, that
// is SysWOW64, so both follow and record into the SysWOW64 copy's files; the
// first word of each recorded command line tells which one ran.
class StandInPowerShell {
public:
    StandInPowerShell() : lock_(CreateMutexW(nullptr, FALSE, L"tw_test_powershell_stand_in")) {
        WaitForSingleObject(lock_.get(), 60000);  // other test processes share the prefix
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        overrides_.receive(), nullptr);
        RegSetValueExW(overrides_.get(), L"powershell.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"native"),
                       sizeof(L"native"));
        for (int i = 0; i < 2; ++i) {
            saved_[i] = MoveFileExW(W(paths_[i]), W(paths_[i] + u".tw-saved"), MOVEFILE_REPLACE_EXISTING);
            stand_ins_[i] = std::make_unique<StandIn>(paths_[i], "");
        }
        Clear();
    }
    ~StandInPowerShell() {
        RegDeleteValueW(overrides_.get(), L"powershell.exe");
        for (int i = 0; i < 2; ++i) {
            stand_ins_[i].reset();
            for (const char16_t* suffix : {u"", u".script", u".args", u".cwd"}) DeleteFileW(W(paths_[i] + suffix));
            if (saved_[i]) MoveFileExW(W(paths_[i] + u".tw-saved"), W(paths_[i]), MOVEFILE_REPLACE_EXISTING);
        }
        ReleaseMutex(lock_.get());
    }
    void Script(const std::string& text) { WriteWholeFile(paths_[1] + u".script", text.data(), text.size()); }
    std::string Args() const { return Read(paths_[1] + u".args"); }
    void Clear() {
        DeleteFileW(W(paths_[1] + u".args"));
        DeleteFileW(W(paths_[1] + u".cwd"));
    }
    const WideBuffer& native() const { return paths_[0]; }
    WideBuffer ThirtyTwoBit() const { return WindowsPath(u"\\system32\\WindowsPowerShell\\v1.0\\powershell.exe"); }

private:
    UniqueHandle lock_;
    UniqueRegKey overrides_;
    const WideBuffer paths_[2] = {WindowsPath(u"\\Sysnative\\WindowsPowerShell\\v1.0\\powershell.exe"),
                                  WindowsPath(u"\\SysWOW64\\WindowsPowerShell\\v1.0\\powershell.exe")};
    bool saved_[2] = {};
    std::unique_ptr<StandIn> stand_ins_[2];
};

bool PowerShellRunning() {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (EqualsNoCase(U(entry.szExeFile), u"powershell.exe")) return true;
    }
    return false;
}

bool PowerShellGone() {
    for (int i = 0; i < 250; ++i) {
        if (!PowerShellRunning()) return true;
        Sleep(20);
    }
    return false;
}

bool FolderEmpty(const WideBuffer& folder) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find = ListFolder(folder, u"*", data);
    if (!find) return true;
    do {
        if (!IsDotEntry(data)) return false;
    } while (FindNextFileW(find.get(), &data));
    return true;
}

WideBuffer ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return U(path);
}

struct Scene {
    TestFolder folder;
    ScopedEnvironment data{L"LOCALAPPDATA", (folder / u"data").c_str()};
    StandInPowerShell powerShell;
    std::string Log() const { return Read(folder / u"data\\TwParcelwright\\logs\\install.log"); }
};

TEST(AddDefenderExclusion, NativePowerShellGetsTheFolderWithEveryQuoteDoubled) {
    Scene s;
    const WideBuffer root = s.folder / u"Bob's x\u2019;exit 5;\u2019";
    s.powerShell.Script("exit 0\n");
    WideBuffer message;
    ASSERT_TRUE(AddDefenderExclusion(root, message));
    EXPECT_EQ(message, u"添加成功或已存在");
    const std::string args = s.powerShell.Args();
    EXPECT_EQ(args, "\"" + WideToUtf8(s.powerShell.native()) + "\" " + WideToUtf8(ExclusionArguments(root)) + "\n");
    EXPECT_NE(args.find(WideToUtf8(u"$path='" + s.folder.path() + u"\\Bob''s x\u2019\u2019;exit 5;\u2019\u2019';")),
              std::string::npos);
    const std::u16string expectedLog[] = {
        u"[Parcelwright] 开始添加安装目录排除项：" + root + u"\r\n",
        u"[Parcelwright] 使用系统 PowerShell 添加并核验排除项：" + s.powerShell.native() + u"\r\n",
        u"[Parcelwright] 安装目录排除项已核验：" + root + u"；添加成功或已存在\r\n",
    };
    const std::string log = s.Log();
    size_t at = 0;
    for (const std::u16string& line : expectedLog) {
        at = log.find(WideToUtf8(line), at);
        EXPECT_NE(at, std::string::npos) << WideToUtf8(line);
    }
}

TEST(AddDefenderExclusion, ExitCodesBecomeMessages) {
    Scene s;
    struct Case { const char* script; bool ok; const char16_t* message; };
    const Case cases[] = {
        {"exit 1168\n", false,
         u"命令执行后未在 Defender 排除列表中找到安装目录，可能由 Windows 篡改防护或组织策略阻止。"},
        {"exit 2147942405\n", false,
         u"Windows Defender 排除项设置失败（PowerShell 错误 0x80070005），请检查 Defender 服务、篡改防护或组织策略。"},
        {"exit 0\n", true, u"添加成功或已存在"},
    };
    for (const Case& c : cases) {
        s.powerShell.Script(c.script);
        WideBuffer message;
        EXPECT_EQ(AddDefenderExclusion(s.folder / u"Apps", message), c.ok) << c.script;
        EXPECT_EQ(message, c.message) << c.script;
    }
    EXPECT_NE(s.Log().find(WideToUtf8(u"[Parcelwright] 安装目录排除项未完成：" + s.folder / u"Apps" +
                                      u"；命令执行后未在 Defender 排除列表中找到安装目录")),
              std::string::npos);
}

// A PowerShell whose result cannot be read has not verified anything: the
// exclusion is not done, in the words of the failed read, and the status is
// unknown.
TEST(AddDefenderExclusion, AnUnreadableExitCodeIsNoSuccess) {
    Scene s;
    s.powerShell.Script("print enabled\nexit 0\n");
    UnreadableExitCodes unreadable;
    WideBuffer message;
    EXPECT_FALSE(AddDefenderExclusion(s.folder / u"Apps", message));
    EXPECT_EQ(message.rfind(u"无法启动或等待排除项设置（错误 1816）", 0), 0u) << WideToUtf8(message);
    EXPECT_EQ(DefenderStatus(12000), -1);
    EXPECT_FALSE(s.powerShell.Args().empty());  // it did run
}

// Without knowing whether this process runs under WOW64 the wrong PowerShell
// could be asked: the step says why it stopped and runs none.
TEST(AddDefenderExclusion, AnUnanswerableWow64QuestionRunsNoPowerShell) {
    Scene s;
    s.powerShell.Script("exit 0\n");
    struct Failing {
        BOOL(WINAPI* saved)(HANDLE, PBOOL) = g_isWow64Process;
        Failing() { g_isWow64Process = Fail; }
        ~Failing() { g_isWow64Process = saved; }
        static BOOL WINAPI Fail(HANDLE, PBOOL) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    } failing;
    WideBuffer message;
    EXPECT_FALSE(AddDefenderExclusion(s.folder / u"Apps", message));
    EXPECT_EQ(message.rfind(u"无法确认系统架构（错误 5）", 0), 0u) << WideToUtf8(message);
    EXPECT_TRUE(s.powerShell.Args().empty());
}

// A hanging PowerShell must not hold the install: it is stopped at the limit.
TEST(AddDefenderExclusion, HangingPowerShellIsStoppedAtTheTimeLimit) {
    Scene s;
    s.powerShell.Script("sleep 60000\n");
    WideBuffer message;
    DWORD start = GetTickCount();
    EXPECT_FALSE(AddDefenderExclusion(s.folder / u"Apps", message, 300));
    EXPECT_LT(GetTickCount() - start, 20000u);
    EXPECT_EQ(message, u"PowerShell 设置 Windows Defender 排除项超过30秒，已停止命令，安装将继续。");
    EXPECT_TRUE(PowerShellGone());
}

TEST(AddDefenderExclusion, SystemUserAndParentFoldersAreRefusedBeforePowerShell) {
    Scene s;
    s.powerShell.Script("exit 0\n");
    const WideBuffer profile = ShellFolder(CSIDL_PROFILE), desktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
    struct Case { WideBuffer folder; const char16_t* message; };
    const Case cases[] = {
        {ShellFolder(CSIDL_PROGRAM_FILES), kExclusionRefused},
        {ShellFolder(CSIDL_PROGRAM_FILESX86), kExclusionRefused},
        {u"C:\\Program Files", kExclusionRefused},  // the native one, named only by %ProgramW6432%
        {u"c:\\program files\\", kExclusionRefused},
        {ShellFolder(CSIDL_COMMON_APPDATA), kExclusionRefused},
        {FolderOfPath(ShellFolder(CSIDL_LOCAL_APPDATA)), kExclusionRefused},
        {ShellFolder(CSIDL_APPDATA), kExclusionRefused},
        {desktop, kExclusionRefused},
        {profile, kInstallRootRefused},  // the install-root rules refuse it first
        {FolderOfPath(profile), kExclusionRefused},
        {u"C:\\", kInstallRootRefused},
        {u"Z:\\", kInstallRootRefused},
    };
    for (const Case& c : cases) {
        WideBuffer message;
        EXPECT_FALSE(AddDefenderExclusion(c.folder, message)) << WideToUtf8(c.folder);
        EXPECT_EQ(message, c.message) << WideToUtf8(c.folder);
    }
    EXPECT_EQ(s.powerShell.Args(), "");
    EXPECT_NE(s.Log().find(WideToUtf8(u"[Parcelwright] 安装目录排除项未完成：C:\\；")), std::string::npos);

    // Folders below them are dedicated ones.
    for (const WideBuffer& below : {desktop + u"\\Tools", WideBuffer(u"C:\\Program Files\\Tarnwick")}) {
        WideBuffer message;
        EXPECT_TRUE(AddDefenderExclusion(below, message)) << WideToUtf8(below);
    }
}

WideBuffer ShortPathOf(const WideBuffer& path) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetShortPathNameW(W(path), buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? WideBuffer(U(buffer)) : WideBuffer();
}

WideBuffer OnS(const WideBuffer& path) { return u"S:" + path.substr(2); }  // the tests' prefix maps S: to C:

// An existing protected folder, or one above one, is refused whatever name
// reaches it: a short name, another drive letter, an ancestor through that
// letter; a dedicated folder is still accepted under those names.
TEST(AddDefenderExclusion, ProtectedFoldersAreRefusedUnderAnyName) {
    Scene s;
    s.powerShell.Script("exit 0\n");
    ASSERT_TRUE(DirectoryExists(u"S:\\")) << "the Wine prefix lacks drive S:";
    const WideBuffer programFiles = u"C:\\Program Files", profile = ShellFolder(CSIDL_PROFILE);
    const WideBuffer localAppData = ShellFolder(CSIDL_LOCAL_APPDATA);
    ASSERT_TRUE(DirectoryExists(programFiles) && DirectoryExists(profile) && DirectoryExists(localAppData));
    std::vector<WideBuffer> refused = {
        OnS(programFiles),
        u"s:\\program files\\",
        OnS(ShellFolder(CSIDL_PROGRAM_FILESX86)),
        OnS(ShellFolder(CSIDL_COMMON_APPDATA)),
        OnS(profile),                            // the text is not %USERPROFILE%, the folder is
        OnS(FolderOfPath(profile)),              // an ancestor through the other letter
        OnS(FolderOfPath(localAppData)),
        OnS(ShellFolder(CSIDL_DESKTOPDIRECTORY)),
        OnS(programFiles) + u"\\..\\" + programFiles.substr(3),
    };
    // Wine makes 8.3 names of its own; Windows has them where the volume keeps them.
    const WideBuffer shortProgramFiles = ShortPathOf(programFiles);
    if (!shortProgramFiles.empty() && !EqualsNoCase(shortProgramFiles, programFiles)) {
        refused.push_back(shortProgramFiles);
        refused.push_back(OnS(shortProgramFiles));
    } else {
        ADD_FAILURE() << "no short name for " << WideToUtf8(programFiles);
    }
    const WideBuffer shortAppData = ShortPathOf(FolderOfPath(localAppData));
    if (!shortAppData.empty() && !EqualsNoCase(shortAppData, FolderOfPath(localAppData))) {
        refused.push_back(shortAppData);
    }
    for (const WideBuffer& folder : refused) {
        WideBuffer message;
        EXPECT_FALSE(AddDefenderExclusion(folder, message)) << WideToUtf8(folder);
        EXPECT_EQ(message, kExclusionRefused) << WideToUtf8(folder);
    }
    EXPECT_EQ(s.powerShell.Args(), "");  // no PowerShell ran for any of them

    // A dedicated folder under its other names; PowerShell gets its long name.
    const WideBuffer dedicated = s.folder / u"Dedicated Install Folder";
    ASSERT_TRUE(CreateDirectoryTree(dedicated));
    std::vector<WideBuffer> accepted = {dedicated, OnS(dedicated), programFiles + u"\\Tarnwick"};
    const WideBuffer shortDedicated = ShortPathOf(dedicated);
    if (!shortDedicated.empty() && !EqualsNoCase(shortDedicated, dedicated)) accepted.push_back(shortDedicated);
    for (const WideBuffer& folder : accepted) {
        s.powerShell.Clear();
        WideBuffer message;
        EXPECT_TRUE(AddDefenderExclusion(folder, message)) << WideToUtf8(folder) << " " << WideToUtf8(message);
        const WideBuffer named = folder == shortDedicated ? dedicated : folder;
        EXPECT_NE(s.powerShell.Args().find(WideToUtf8(u"$path='" + named + u"';")), std::string::npos)
            << WideToUtf8(folder) << ": " << s.powerShell.Args();
    }
}

// Each outcome, and the output file never stays behind in the temporary folder.
TEST(DefenderStatus, OutcomesAndNoOutputFileLeft) {
    TestFolder files, temp;
    ScopedEnvironment tmp(L"TMP", (temp.path() + u"\\").c_str());
    StandInPowerShell powerShell;
    const char utf16[] = "e\0n\0a\0b\0l\0e\0d\0\r\0\n\0";
    ASSERT_TRUE(WriteWholeFile(files / u"utf16.txt", utf16, sizeof(utf16) - 1));
    struct Case { std::string script; DWORD limit; int status; };
    const Case cases[] = {
        {"print enabled", 12000, 1},
        {"print disabled", 12000, 0},
        {"print unknown", 12000, -1},
        {"", 12000, -1},
        {"print enabled\nexit 1", 12000, -1},
        {"cat " + WideToUtf8(files / u"utf16.txt"), 12000, -1},
        {"sleep 60000\nprint enabled", 3000, -1},  // long enough to start and record under load
    };
    for (const Case& c : cases) {
        powerShell.Clear();
        powerShell.Script(c.script + "\n");
        EXPECT_EQ(DefenderStatus(c.limit), c.status) << c.script;
        EXPECT_TRUE(EqualsNoCase(Utf8ToWide(powerShell.Args()),
                                 u"\"" + powerShell.ThirtyTwoBit() + u"\" " + kStatusArguments + u"\n"))
            << powerShell.Args();
        EXPECT_TRUE(FolderEmpty(temp.path())) << c.script;
        EXPECT_TRUE(PowerShellGone()) << c.script;
    }
}

}  // namespace
