#include "security/defender.h"

#include <gtest/gtest.h>

#include <string>

#include "base/log.h"

namespace {

const std::u16string kHead =
    u"-NoProfile -NonInteractive -WindowStyle Hidden -Command \"& {try {$ErrorActionPreference='Stop'; $path=";
const std::u16string kTail =
    u"; if (@((Get-MpPreference -ErrorAction Stop).ExclusionPath) -notcontains $path) {Add-MpPreference "
    u"-ExclusionPath $path -ErrorAction Stop}; if (@((Get-MpPreference -ErrorAction Stop).ExclusionPath) "
    u"-notcontains $path) {exit 1168}; exit 0} catch {exit ($_.Exception.HResult)}}\"";

// A typographic quote left single would end the literal and run the rest of
// the folder name as PowerShell, elevated.
TEST(ExclusionArguments, EveryQuoteThatEndsTheLiteralIsDoubled) {
    struct Case { const char16_t* path; const char16_t* literal; };
    const Case cases[] = {
        {u"D:\\Apps", u"'D:\\Apps'"},
        {u"D:\\Bob's Apps", u"'D:\\Bob''s Apps'"},
        {u"D:\\x\u2019;calc;\u2019", u"'D:\\x\u2019\u2019;calc;\u2019\u2019'"},
        {u"D:\\\u2018\u201A\u201B", u"'D:\\\u2018\u2018\u201A\u201A\u201B\u201B'"},
        {u"D:\\''", u"'D:\\'''''"},
        {u"D:\\\u201C\u2017\u201D", u"'D:\\\u201C\u2017\u201D'"},  // double quotes and neighbours stay
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExclusionArguments(c.path), kHead + c.literal + kTail) << std::string(c.path, c.path + 4);
    }
}

TEST(IsExclusionRefused, SystemUserAndParentFoldersButNotDedicatedOnes) {
    const std::vector<WideBuffer> known = {
        u"C:\\Program Files (x86)", u"C:\\Program Files", u"C:\\Users\\bob", u"C:\\Users\\bob\\AppData\\Local",
        u"C:\\Users\\bob\\AppData\\Roaming", u"C:\\ProgramData", u"D:\\Desk\\bob\\Desktop", u""};
    struct Case { const char16_t* path; bool refused; };
    const Case cases[] = {
        {u"C:\\Program Files", true},
        {u"c:\\program files\\", true},
        {u"C:\\Program Files (x86)", true},
        {u"C:\\Users\\bob", true},
        {u"C:\\Users", true},
        {u"C:\\USERS\\", true},
        {u"C:\\Users\\bob\\AppData", true},
        {u"C:\\Users\\bob\\AppData\\Roaming", true},
        {u"C:\\ProgramData", true},
        {u"D:\\Desk\\bob\\Desktop", true},
        {u"D:\\Desk", true},
        {u"C:\\", true},
        {u"D:\\", true},
        {u"E:", true},
        {u"D:\\Apps", false},
        {u"C:\\Program Files\\Tarnwick", false},         // below is a dedicated folder
        {u"C:\\Users\\bob\\Tools", false},
        {u"C:\\Program", false},                         // a prefix is not a parent
        {u"C:\\Users\\bo", false},
        {u"D:\\Desktop", false},
    };
    for (const Case& c : cases) {
        const std::u16string p = c.path;
        EXPECT_EQ(IsExclusionRefused(c.path, known), c.refused) << std::string(p.begin(), p.end());
    }
}

// An existing folder is refused by what it is: whatever name reached it, it
// may not be a protected folder or one above one; the text rule still holds
// for folders that do not exist.
TEST(IsExclusionRefused, ByIdentityWhereTheFolderExists) {
    const FileIdentity programFiles{7, 0, 100, true}, driveC{7, 0, 5, true}, users{7, 0, 20, true},
        profile{7, 0, 21, true};
    ProtectedFolders known;
    known.paths = {u"C:\\Program Files", u"C:\\Users\\bob"};
    known.identities = {programFiles, driveC, profile, users, driveC};
    const FileIdentity otherVolume{8, 0, 100, true}, otherHigh{7, 1, 100, true}, dedicated{7, 0, 300, true},
        noIndex{7, 0, 0, true};
    struct Case { const char16_t* path; const FileIdentity* identity; bool refused; };
    const Case cases[] = {
        {u"C:\\PROGRA~1", &programFiles, true},           // a short name
        {u"S:\\Program Files", &programFiles, true},      // another drive letter
        {u"S:\\Users", &users, true},                     // an ancestor through it
        {u"Z:\\prefix\\drive_c", &driveC, true},        // a drive root reached as a folder
        {u"S:\\Users\\bob", &profile, true},
        {u"C:\\Program Files", nullptr, true},            // the text alone still refuses
        {u"C:\\Users", &dedicated, true},                 // whatever the identity says
        {u"D:\\", nullptr, true},
        {u"S:\\Apps", &dedicated, false},
        {u"S:\\Apps", &otherVolume, false},               // the same index on another volume
        {u"S:\\Apps", &otherHigh, false},
        {u"S:\\Apps", nullptr, false},                    // missing: only the text decides
        {u"C:\\PROGRA~1", nullptr, false},
        {u"S:\\Apps", &noIndex, false},
    };
    for (const Case& c : cases) {
        const std::u16string p = c.path;
        EXPECT_EQ(IsExclusionRefused(c.path, c.identity, known), c.refused) << std::string(p.begin(), p.end());
    }
    // A protected folder without an index cannot refuse a folder without one.
    known.identities.push_back(noIndex);
    EXPECT_FALSE(IsExclusionRefused(u"S:\\Apps", &noIndex, known));
}

TEST(FolderAndAncestors, NearestFirstDownToTheDriveRoot) {
    using List = std::vector<WideBuffer>;
    struct Case { const char16_t* path; List chain; };
    const Case cases[] = {
        {u"C:\\Users\\bob\\AppData\\Local",
         {u"C:\\Users\\bob\\AppData\\Local", u"C:\\Users\\bob\\AppData", u"C:\\Users\\bob", u"C:\\Users", u"C:\\"}},
        {u"C:\\Program Files\\", {u"C:\\Program Files", u"C:\\"}},
        {u"C:\\", {u"C:\\"}},
        {u"C:", {u"C:\\"}},
        // a network path never reaches a lone "\"
        {u"\\\\server\\share\\Desk", {u"\\\\server\\share\\Desk", u"\\\\server\\share", u"\\\\server"}},
        {u"", {}},
    };
    for (const Case& c : cases) {
        const std::u16string p = c.path;
        EXPECT_EQ(FolderAndAncestors(c.path), c.chain) << std::string(p.begin(), p.end());
    }
}

TEST(ExclusionExitMessage, ZeroSucceedsAndEveryOtherCodeExplains) {
    struct Case { uint32_t code; bool ok; const char16_t* message; };
    const Case cases[] = {
        {0, true, u"添加成功或已存在"},
        {1168, false, u"命令执行后未在 Defender 排除列表中找到安装目录，可能由 Windows 篡改防护或组织策略阻止。"},
        {0x80070005, false,
         u"Windows Defender 排除项设置失败（PowerShell 错误 0x80070005），请检查 Defender 服务、篡改防护或组织策略。"},
        {1, false, u"Windows Defender 排除项设置失败（PowerShell 错误 0x1），请检查 Defender 服务、篡改防护或组织策略。"},
    };
    for (const Case& c : cases) {
        WideBuffer message = u"stale";
        EXPECT_EQ(ExclusionExitMessage(c.code, message), c.ok) << c.code;
        EXPECT_EQ(message, c.message) << c.code;
    }
}

TEST(ScanStatusOutput, FirstWordWinsAndOnlySingleBytesCount) {
    struct Case { std::string bytes; int status; };
    const Case cases[] = {
        {"enabled\r\n", 1},
        {"disabled\r\n", 0},
        {"unknown\r\n", -1},
        {"", -1},
        {"enabled", 1},             // seven bytes are enough
        {"enable\n", -1},
        {"xx disabled enabled", 0},
        {"noise enabled disabled", 1},
        {std::string("e\0n\0a\0b\0l\0e\0d\0", 14), -1},  // UTF-16 text
        {"ENABLED\r\n", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScanStatusOutput(ByteBuffer(c.bytes.begin(), c.bytes.end())), c.status) << c.bytes;
    }
}

TEST(StatusFileName, TemporaryFolderProcessAndTick) {
    EXPECT_EQ(StatusFileName(u"C:\\T\\", 4321, 4294967295u), u"C:\\T\\TwDefender-4321-4294967295.txt");
}

struct Recorder {
    std::vector<WideBuffer> asked;
    const char16_t* failWith = u"";
    static bool Exclude(std::u16string_view folder, WideBuffer& message, void* context) {
        auto* self = static_cast<Recorder*>(context);
        self->asked.emplace_back(folder);
        message = *self->failWith ? self->failWith : u"添加成功或已存在";
        return !*self->failWith;
    }
};

TEST(AddExclusionOnce, EachFolderOnceAndNoMoreThan130) {
    Recorder r;
    ExclusionRun run;
    for (const char16_t* folder : {u"D:\\Apps", u"", u"d:\\apps", u"D:\\APPS\\temp_setup", u"D:\\Apps\\temp_setup"}) {
        AddExclusionOnce(folder, run, Recorder::Exclude, &r);
    }
    EXPECT_EQ(r.asked, (std::vector<WideBuffer>{u"D:\\Apps", u"D:\\APPS\\temp_setup"}));
    EXPECT_EQ(run.errors, u"");

    for (int i = 2; i < 130; ++i) {
        std::string name = "D:\\F" + std::to_string(i);
        AddExclusionOnce(WideBuffer(name.begin(), name.end()), run, Recorder::Exclude, &r);
    }
    EXPECT_EQ(r.asked.size(), 130u);
    AddExclusionOnce(u"D:\\One too many", run, Recorder::Exclude, &r);
    AddExclusionOnce(u"D:\\apps", run, Recorder::Exclude, &r);  // already handled: no complaint
    AddExclusionOnce(u"D:\\Another", run, Recorder::Exclude, &r);
    EXPECT_EQ(r.asked.size(), 130u);
    EXPECT_EQ(run.errors, u"排除项目标数量超出限制。\r\n排除项目标数量超出限制。");
}

TEST(AddExclusionOnce, FailuresAreLoggedAndCollectedOnePerLine) {
    Recorder r;
    ExclusionRun run;
    CapturedLogLines().clear();
    r.failWith = u"原因一";
    AddExclusionOnce(u"D:\\A", run, Recorder::Exclude, &r);
    r.failWith = u"";
    AddExclusionOnce(u"D:\\B", run, Recorder::Exclude, &r);
    r.failWith = u"原因二";
    AddExclusionOnce(u"D:\\C", run, Recorder::Exclude, &r);
    AddExclusionOnce(u"d:\\c", run, Recorder::Exclude, &r);
    EXPECT_EQ(run.errors, u"D:\\A：原因一\r\nD:\\C：原因二");
    EXPECT_EQ(CapturedLogLines(), (std::vector<WideBuffer>{u"[Parcelwright] 排除项未完成：D:\\A；原因一",
                                                           u"[Parcelwright] 排除项未完成：D:\\C；原因二"}));
}

}  // namespace
