#include "package/transaction_win.h"

#include <gtest/gtest.h>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "catalog/sha256_win.h"
#include "package/held_path_scenes_win.h"
#include "package/ledger_win.h"
#include "package/path_rules.h"
#include "package/path_safety_win.h"

namespace {

// A work folder, a staging folder and a product folder in one test folder.
struct Install {
    TestFolder folder;
    InstallTransaction t;
    ProductEntry product;
    WideBuffer staging = folder / u"root\\temp_setup\\12-1-1\\unpacked";
    WideBuffer dir = folder / u"root\\产品";
    std::vector<std::u16string> statuses;

    Install() {
        t.root = folder / u"root";
        t.work_folder = folder / u"root\\temp_setup\\12-1-1";
        t.ledger_path = t.work_folder + u"\\ledger.log";
        CreateDirectoryTree(staging);
        CreateDirectoryTree(dir);
        product.deploy_dir = dir;
        product.puc_type = u"12";
    }
    std::vector<std::string> LedgerLines() {
        std::vector<std::string> lines;
        std::string text = Read(t.ledger_path);
        size_t start = 0, end;
        while ((end = text.find("\r\n", start)) != std::string::npos) {
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }
    static bool Status(void* context, ProductEntry*, const char16_t* text) {
        static_cast<Install*>(context)->statuses.push_back(text);
        return true;
    }
    void Rollback(bool rollback) { RollbackTransaction(product, t, rollback, Status, this); }
    size_t Backups() {
        size_t n = 0;
        for (const LedgerEntry& e : t.entries) n += !e.backup_path.empty();
        return n;
    }
};

std::string Line(const char16_t* kind, const WideBuffer& path) { return WideToUtf8(WideBuffer(kind) + u"\t" + path); }

TEST(Sha256, KnownDigests) {
    TestFolder folder;
    Write(folder / u"empty", "");
    WideBuffer hex;
    uint64_t size = 1;
    ASSERT_TRUE(HashFileSha256(folder / u"empty", hex, &size));
    EXPECT_EQ(hex, u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(size, 0u);
    Write(folder / u"abc", "abc");
    ASSERT_TRUE(HashFileSha256(folder / u"abc", hex));
    EXPECT_EQ(hex, u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // One million "a": crosses many 64 KiB reads.
    Write(folder / u"million", std::string(1000000, 'a'));
    ASSERT_TRUE(HashFileSha256(folder / u"million", hex, &size));
    EXPECT_EQ(hex, u"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(size, 1000000u);
    hex = u"kept";
    EXPECT_FALSE(HashFileSha256(folder / u"missing", hex));
    EXPECT_EQ(hex, u"kept");
}

TEST(DeployFile, BacksUpThenOverwritesWithLedgerLines) {
    Install in;
    WideBuffer target = in.dir + u"\\app.exe";
    Write(target, "old");
    Write(in.staging + u"\\app.exe", "new");
    Write(in.staging + u"\\readme.txt", "hello");
    ASSERT_TRUE(DeployFile(in.t, in.staging + u"\\app.exe", target, in.product));
    ASSERT_TRUE(DeployFile(in.t, in.staging + u"\\readme.txt", in.dir + u"\\doc\\readme.txt", in.product));
    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(Read(in.dir + u"\\doc\\readme.txt"), "hello");
    ASSERT_EQ(in.Backups(), 1u);
    const LedgerEntry& installed = *std::next(in.t.entries.begin());  // newest first: readme, app, backup
    EXPECT_EQ(installed.path, target);
    EXPECT_EQ(Read(installed.backup_path), "old");
    EXPECT_TRUE(IsStrictlyUnder(in.t.work_folder, installed.backup_path));
    EXPECT_EQ(in.LedgerLines(), (std::vector<std::string>{
                                    Line(u"临时文件", installed.backup_path), Line(u"即将覆盖", target),
                                    Line(u"覆盖完成", target), Line(u"即将覆盖", in.dir + u"\\doc\\readme.txt"),
                                    Line(u"覆盖完成", in.dir + u"\\doc\\readme.txt")}));
}

TEST(DeployFile, HeldOpenTargetIsBusyAndNotBackedUp) {
    Install in;
    WideBuffer target = in.dir + u"\\app.exe";
    Write(target, "old");
    Write(in.staging + u"\\app.exe", "new");
    UniqueHandle holder(CreateFileW(W(target), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_FALSE(DeployFile(in.t, in.staging + u"\\app.exe", target, in.product));
    EXPECT_EQ(in.product.busy_file, target);
    EXPECT_EQ(in.product.last_error, u"无法覆盖文件，程序正在运行中，请关闭后再试");
    EXPECT_TRUE(in.t.entries.empty());
    EXPECT_TRUE(in.LedgerLines().empty());
    holder.reset();
    EXPECT_EQ(Read(target), "old");
}

TEST(DeployFile, AccessDeniedNamesTheErrorAndLeavesTheTargetAlone) {
    Install in;
    WideBuffer target = in.dir + u"\\app.exe";
    ASSERT_TRUE(CreateDirectoryTree(target));  // a folder where a file is expected: error 5
    Write(in.staging + u"\\app.exe", "new");
    EXPECT_FALSE(DeployFile(in.t, in.staging + u"\\app.exe", target, in.product));
    EXPECT_EQ(in.product.last_error, u"无法覆盖文件，拒绝访问（错误 5），可能是杀毒软件拦截导致");
    EXPECT_TRUE(in.product.busy_file.empty());  // no program to offer closing
    EXPECT_TRUE(in.t.entries.empty());
    EXPECT_TRUE(in.LedgerLines().empty());
    EXPECT_TRUE(DirectoryExists(target));
}

TEST(DeployFile, RefusesATargetBehindALink) {
    Install in;
    TestFolder outside;
    in.dir = in.folder / u"root\\plain";  // the link helper needs ASCII paths
    in.product.deploy_dir = in.dir;
    ASSERT_TRUE(CreateDirectoryTree(in.dir));
    ASSERT_TRUE(MakeUnixSymlink(outside.path(), in.dir + u"\\link"));
    Write(in.staging + u"\\a.txt", "x");
    EXPECT_FALSE(DeployFile(in.t, in.staging + u"\\a.txt", in.dir + u"\\link\\a.txt", in.product));
    EXPECT_EQ(in.product.last_error, u"目标目录不安全或无法创建。");
    EXPECT_FALSE(FileExists(outside / u"a.txt"));
}

TEST(RollbackTransaction, DeletesNewFilesRestoresOverwrittenAndCleansUp) {
    Install in;
    Write(in.dir + u"\\app.exe", "old");
    Write(in.staging + u"\\app.exe", "new");
    Write(in.staging + u"\\sub\\new.dll", "dll");
    ASSERT_TRUE(RegisterTreeAsTemp(in.t, in.staging));
    ASSERT_TRUE(DeployTree(in.product, in.t, in.staging, in.staging, nullptr));
    EXPECT_EQ(Read(in.dir + u"\\sub\\new.dll"), "dll");

    in.Rollback(true);
    EXPECT_FALSE(in.t.rollback_incomplete);
    EXPECT_EQ(Read(in.dir + u"\\app.exe"), "old");
    EXPECT_FALSE(FileExists(in.dir + u"\\sub\\new.dll"));
    // Staged files and the backup are gone; the ledger stays.
    EXPECT_FALSE(FileExists(in.staging + u"\\app.exe"));
    EXPECT_EQ(in.Backups(), 1u);
    EXPECT_FALSE(FileExists(in.t.entries.back().path));
    EXPECT_TRUE(FileExists(in.t.ledger_path));
    EXPECT_EQ(std::count(in.statuses.begin(), in.statuses.end(), u"已撤回本次衍生文件/恢复原文件。"), 2);
}

TEST(RollbackTransaction, AnEditedFileIsLeftAloneAndTheBackupsKept) {
    Install in;
    Write(in.dir + u"\\app.exe", "old");
    Write(in.dir + u"\\config.ini", "original");
    Write(in.staging + u"\\app.exe", "new");
    Write(in.staging + u"\\config.ini", "shipped");
    ASSERT_TRUE(DeployTree(in.product, in.t, in.staging, in.staging, nullptr));
    Write(in.dir + u"\\config.ini", "edited by the user");

    in.Rollback(true);
    EXPECT_TRUE(in.t.rollback_incomplete);
    EXPECT_EQ(Read(in.dir + u"\\config.ini"), "edited by the user");
    EXPECT_EQ(Read(in.dir + u"\\app.exe"), "old");  // the other file was still restored
    for (const LedgerEntry& e : in.t.entries) {
        if (!e.backup_path.empty()) {
            EXPECT_TRUE(FileExists(e.backup_path));
        }
    }
    std::vector<std::string> lines = in.LedgerLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), Line(u"撤回失败", in.dir + u"\\config.ini")), lines.end());
    EXPECT_NE(std::find(in.statuses.begin(), in.statuses.end(), u"撤回文件失败，保留原文件备份与台账，避免误删。"),
              in.statuses.end());

    // Once the user's file is back as we left it, a retry finishes the job.
    Write(in.dir + u"\\config.ini", "shipped");
    in.Rollback(true);
    EXPECT_FALSE(in.t.rollback_incomplete);
    EXPECT_EQ(Read(in.dir + u"\\config.ini"), "original");
}

TEST(RollbackTransaction, ChangedTemporaryFileIsNotDeleted) {
    Install in;
    Write(in.t.work_folder + u"\\package.bin", "package");
    ASSERT_TRUE(RegisterTempFile(in.t, in.t.work_folder + u"\\package.bin"));
    Write(in.t.work_folder + u"\\package.bin", "replaced by someone");
    in.Rollback(false);
    EXPECT_EQ(Read(in.t.work_folder + u"\\package.bin"), "replaced by someone");
    std::vector<std::string> lines = in.LedgerLines();
    EXPECT_EQ(lines.back(), Line(u"清理失败", in.t.work_folder + u"\\package.bin"));
}

TEST(RollbackTransaction, TemporaryFilesOutsideTheWorkFolderAreNeverDeleted) {
    Install in;
    WideBuffer outside = in.folder / u"elsewhere.txt";
    Write(outside, "x");
    ASSERT_TRUE(RegisterTempFile(in.t, outside));
    in.Rollback(false);
    EXPECT_TRUE(FileExists(outside));
}

TEST(RollbackTransaction, CleaningWithoutRollbackKeepsUncommittedInstalls) {
    Install in;
    Write(in.staging + u"\\app.exe", "new");
    ASSERT_TRUE(RegisterTreeAsTemp(in.t, in.staging));
    ASSERT_TRUE(DeployTree(in.product, in.t, in.staging, in.staging, nullptr));
    in.Rollback(false);  // not committed, not rolled back: cleanup must not start
    EXPECT_TRUE(in.t.rollback_incomplete);
    EXPECT_TRUE(FileExists(in.staging + u"\\app.exe"));
    EXPECT_TRUE(FileExists(in.dir + u"\\app.exe"));
}

TEST(RollbackTransaction, CommittedTransactionIsCleanedNeverRolledBack) {
    Install in;
    Write(in.dir + u"\\app.exe", "old");
    Write(in.staging + u"\\app.exe", "new");
    ASSERT_TRUE(RegisterTreeAsTemp(in.t, in.staging));
    ASSERT_TRUE(DeployTree(in.product, in.t, in.staging, in.staging, nullptr));
    in.t.committed = true;
    in.Rollback(true);
    EXPECT_FALSE(in.t.rollback_incomplete);
    EXPECT_EQ(Read(in.dir + u"\\app.exe"), "new");
    EXPECT_FALSE(FileExists(in.staging + u"\\app.exe"));
    EXPECT_EQ(in.Backups(), 1u);
    for (const LedgerEntry& e : in.t.entries) {
        if (!e.backup_path.empty()) {
            EXPECT_FALSE(FileExists(e.backup_path));
        }
    }
    EXPECT_TRUE(FileExists(in.t.ledger_path));
    EXPECT_TRUE(DirectoryExists(in.t.work_folder));
}

// What changed on disk between the install and its rollback decides whether
// the entry can be undone; cleanup runs only after a complete rollback.
TEST(RollbackTransaction, ChangesOnDiskBeforeRollback) {
    struct Case {
        const char* name;
        const char* original;  // the target before the install; null when new
        void (*change)(const LedgerEntry& installed);
        bool rolled_back;
        const char* target_after;
        const char* backup_after;  // null when there is no backup
    };
    const Case cases[] = {
        // Same size as the original: only the hash tells them apart.
        {"backup edited", "old", [](const LedgerEntry& e) { Write(e.backup_path, "odd"); }, false, "new", "odd"},
        {"backup deleted", "old", [](const LedgerEntry& e) { DeleteFileW(W(e.backup_path)); }, false, "new",
         "<missing>"},
        {"new file already gone", nullptr, [](const LedgerEntry& e) { DeleteFileW(W(e.path)); }, true, "<missing>",
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Install in;
        WideBuffer target = in.dir + u"\\app.exe";
        if (c.original) Write(target, c.original);
        Write(in.staging + u"\\app.exe", "new");
        ASSERT_TRUE(RegisterTreeAsTemp(in.t, in.staging));
        ASSERT_TRUE(DeployFile(in.t, in.staging + u"\\app.exe", target, in.product));
        LedgerEntry& installed = *FindLedgerEntry(in.t, target);
        ASSERT_EQ(installed.backup_path.empty(), c.backup_after == nullptr);
        c.change(installed);

        in.Rollback(true);
        EXPECT_EQ(installed.rolled_back, c.rolled_back);
        EXPECT_EQ(in.t.rollback_incomplete, !c.rolled_back);
        EXPECT_EQ(Read(target), c.target_after);
        if (c.backup_after) {
            EXPECT_EQ(Read(installed.backup_path), c.backup_after);
        }
        EXPECT_EQ(FileExists(in.staging + u"\\app.exe"), !c.rolled_back);
        ASSERT_FALSE(in.statuses.empty());
        EXPECT_EQ(in.statuses[0], c.rolled_back ? u"已撤回本次衍生文件/恢复原文件。"
                                                : u"撤回文件失败，保留原文件备份与台账，避免误删。");
        std::vector<std::string> lines = in.LedgerLines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), Line(c.rolled_back ? u"撤回完成" : u"撤回失败", target)),
                  lines.end());
    }
}

// A folder on the target's path replaced by a link after the install: rollback
// must neither write nor delete through it, nor count a file behind it as gone.
TEST(RollbackTransaction, NothingIsRestoredOrDeletedThroughALink) {
    struct Case {
        const char* name;
        const char* original;      // the target before the install; null when new
        const char16_t* linked;    // below the product folder
        const char* outside_file;  // app.exe in the folder the link points to
    };
    const Case cases[] = {
        {"backup restored through the parent", "old", u"sub\\inner", nullptr},
        {"missing behind a grandparent", nullptr, u"sub", nullptr},
        {"deleted through the parent", nullptr, u"sub\\inner", "new"},
        {"link at the target itself", "old", u"sub\\inner\\app.exe", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Install in;
        TestFolder outside;
        in.dir = in.folder / u"root\\plain";  // the link helper needs ASCII paths
        in.product.deploy_dir = in.dir;
        WideBuffer target = in.dir + u"\\sub\\inner\\app.exe";
        if (c.original) Write(target, c.original);
        Write(in.staging + u"\\app.exe", "new");
        ASSERT_TRUE(DeployFile(in.t, in.staging + u"\\app.exe", target, in.product));
        if (c.outside_file) Write(outside / u"app.exe", c.outside_file);
        WideBuffer link = in.dir + u"\\" + c.linked;
        RemoveTree(in.dir + u"\\sub");
        ASSERT_TRUE(CreateDirectoryTree(link.substr(0, link.rfind(u'\\'))));
        ASSERT_TRUE(MakeUnixSymlink(outside.path(), link));

        in.Rollback(true);
        const LedgerEntry& installed = *FindLedgerEntry(in.t, target);
        EXPECT_FALSE(installed.rolled_back);
        EXPECT_TRUE(in.t.rollback_incomplete);
        EXPECT_EQ(Read(outside / u"app.exe"), c.outside_file ? c.outside_file : "<missing>");
        if (c.original) {
            EXPECT_EQ(Read(installed.backup_path), c.original);
        }
    }
}

// Each deploy backs up what the one before wrote; only undoing them newest
// first ends with what was there before the install.
TEST(RollbackTransaction, ATargetDeployedTwiceGetsItsOriginalBack) {
    Install in;
    WideBuffer target = in.dir + u"\\app.exe";
    Write(target, "original");
    Write(in.staging + u"\\1\\app.exe", "first");
    Write(in.staging + u"\\2\\app.exe", "second");
    ASSERT_TRUE(DeployFile(in.t, in.staging + u"\\1\\app.exe", target, in.product));
    ASSERT_TRUE(DeployFile(in.t, in.staging + u"\\2\\app.exe", target, in.product));
    ASSERT_EQ(in.Backups(), 2u);
    in.Rollback(true);
    EXPECT_FALSE(in.t.rollback_incomplete);
    EXPECT_EQ(Read(target), "original");
}

TEST(DeployTree, DepthLinksAndCancel) {
    {
        Install in;
        WideBuffer deep = in.staging;
        for (int i = 0; i < 65; ++i) deep += u"\\d";
        Write(deep + u"\\f.txt", "x");
        EXPECT_FALSE(DeployTree(in.product, in.t, in.staging, in.staging, nullptr));
        EXPECT_EQ(in.product.last_error, u"安装文件目录过深或包含链接。");
    }
    {
        Install in;
        TestFolder outside;
        Write(outside / u"secret.txt", "x");
        ASSERT_TRUE(MakeUnixSymlink(outside.path(), in.staging + u"\\link"));
        EXPECT_FALSE(DeployTree(in.product, in.t, in.staging, in.staging, nullptr));
        EXPECT_EQ(in.product.last_error, u"安装包含有链接文件，已中止。");
        EXPECT_FALSE(FileExists(in.dir + u"\\link"));
        EXPECT_FALSE(RegisterTreeAsTemp(in.t, in.staging));
    }
    {
        Install in;
        Write(in.staging + u"\\a.txt", "x");
        UniqueHandle cancel(CreateEventW(nullptr, TRUE, TRUE, nullptr));
        EXPECT_FALSE(DeployTree(in.product, in.t, in.staging, in.staging, cancel.get()));
        EXPECT_EQ(in.product.last_error, u"用户已取消安装。");
        EXPECT_FALSE(FileExists(in.dir + u"\\a.txt"));
    }
    {
        Install in;  // an empty staging folder deploys nothing and succeeds
        EXPECT_TRUE(DeployTree(in.product, in.t, in.staging, in.staging, nullptr));
        // A folder that is not there cannot be walked (path not found).
        EXPECT_FALSE(RegisterTreeAsTemp(in.t, in.folder / u"no-such-folder"));
    }
}

// The tree's files are hashed two at a time but registered in the walk's
// order, up to the first that cannot be read, as one at a time would: new
// files get entries and ledger lines, registered ones a fresh hash.
TEST(RegisterTreeAsTemp, RegistersInTheWalksOrderUpToTheFirstUnreadableFile) {
    struct Case {
        const char* name;
        size_t locked;  // index in the walk's order of a file held without sharing, or none
    };
    const size_t kNone = static_cast<size_t>(-1);
    const Case cases[] = {{"all readable", kNone}, {"first", 0}, {"middle", 21}, {"last", 39}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Install in;
        for (int i = 0; i < 40; ++i) {
            WideBuffer name = Utf8ToWide(std::to_string(i % 3) + "\\f" + std::to_string(i) + ".txt");
            Write(in.staging + u"\\" + name, std::string(static_cast<size_t>(i) * 700, char('a' + i % 26)));
        }
        std::vector<WideBuffer> order;
        ASSERT_TRUE(WalkFiles(in.staging, [&](const WideBuffer& file) {
            order.push_back(file);
            return true;
        }));
        // Every fifth file was registered before, with a hash it no longer has.
        const WideBuffer stale(64, u'0');
        for (size_t i = 0; i < order.size(); i += 5) ASSERT_TRUE(RegisterTempFile(in.t, order[i], &stale, 1));
        std::vector<std::string> before = in.LedgerLines();
        UniqueHandle lock;
        if (c.locked != kNone) lock.reset(CreateFileW(W(order[c.locked]), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(RegisterTreeAsTemp(in.t, in.staging), c.locked == kNone || c.locked % 5 == 0);
        size_t reached = c.locked == kNone || c.locked % 5 == 0 ? order.size() : c.locked;
        std::vector<std::string> expected = before;
        for (size_t i = 0; i < order.size(); ++i) {
            LedgerEntry* entry = FindLedgerEntry(in.t, order[i]);
            if (i % 5 != 0 && i < reached) expected.push_back(Line(u"临时文件", order[i]));
            if (i >= reached || i == c.locked) {
                if (i % 5 == 0) {
                    ASSERT_NE(entry, nullptr);
                    EXPECT_EQ(entry->hash, stale) << i;
                } else {
                    EXPECT_EQ(entry, nullptr) << i;
                }
                continue;
            }
            ASSERT_NE(entry, nullptr) << i;
            WideBuffer hash;
            uint64_t size = 0;
            ASSERT_TRUE(HashFileSha256(order[i], hash, &size));
            EXPECT_EQ(entry->hash, hash) << i;
            EXPECT_EQ(entry->size, size) << i;
        }
        EXPECT_EQ(in.LedgerLines(), expected);
    }
}

TEST(DeployTree, StagingRootWithATrailingBackslash) {
    Install in;
    Write(in.staging + u"\\bin\\app.exe", "x");
    ASSERT_TRUE(DeployTree(in.product, in.t, in.staging + u"\\", in.staging, nullptr)) << WideToUtf8(in.product.last_error);
    EXPECT_EQ(Read(in.dir + u"\\bin\\app.exe"), "x");  // not "in\\app.exe"
}

TEST(AppendLedgerLine, NeverWritesThroughALink) {
    Install in;
    TestFolder outside;
    ASSERT_TRUE(CreateDirectoryTree(in.folder / u"w"));
    ASSERT_TRUE(MakeUnixSymlink(outside.path(), in.folder / u"w\\linked"));
    in.t.ledger_path = in.folder / u"w\\linked\\ledger.log";
    AppendLedgerLine(in.t, kLedgerTemporary, u"C:\\x");
    EXPECT_FALSE(FileExists(outside / u"ledger.log"));
}

TEST(VerifyFileUnchanged, SizeHashAndLinks) {
    TestFolder folder;
    Write(folder / u"f", "abc");
    const char16_t* abc = u"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";  // case ignored
    EXPECT_TRUE(VerifyFileUnchanged(folder / u"f", abc, 3));
    EXPECT_FALSE(VerifyFileUnchanged(folder / u"f", abc, 4));
    Write(folder / u"f", "abd");
    EXPECT_FALSE(VerifyFileUnchanged(folder / u"f", abc, 3));
    EXPECT_FALSE(VerifyFileUnchanged(folder / u"gone", abc, 3));
}

TEST(AppendLedgerLine, NeverWritesThroughAHardLink) {
    Install in;
    Write(in.folder / u"other.txt", "someone else's");
    ASSERT_TRUE(CreateDirectoryTree(in.t.work_folder));
    ASSERT_TRUE(CreateHardLinkW(W(in.t.ledger_path), W(in.folder / u"other.txt"), nullptr));
    AppendLedgerLine(in.t, kLedgerTemporary, u"C:\\x");
    EXPECT_EQ(Read(in.folder / u"other.txt"), "someone else's");
    EXPECT_EQ(Read(in.t.ledger_path), "someone else's");
    // A ledger of its own takes the line.
    ASSERT_TRUE(DeleteFileW(W(in.t.ledger_path)));
    AppendLedgerLine(in.t, kLedgerTemporary, u"C:\\x");
    EXPECT_EQ(in.LedgerLines(), (std::vector<std::string>{Line(u"临时文件", u"C:\\x")}));
}

// A target that is a second name of a file elsewhere: the install writes a
// file of its own under that name, the rollback puts the original content
// back under it, and the file elsewhere never changes.
TEST(DeployFile, AHardLinkedTargetIsReplacedNotWrittenThrough) {
    Install in;
    WideBuffer target = in.dir + u"\\app.exe";
    Write(in.folder / u"elsewhere.exe", "elsewhere");
    ASSERT_TRUE(CreateHardLinkW(W(target), W(in.folder / u"elsewhere.exe"), nullptr));
    Write(in.staging + u"\\app.exe", "new");
    ASSERT_TRUE(DeployFile(in.t, in.staging + u"\\app.exe", target, in.product)) << WideToUtf8(in.product.last_error);
    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(Read(in.folder / u"elsewhere.exe"), "elsewhere");
    in.Rollback(true);
    EXPECT_FALSE(in.t.rollback_incomplete);
    EXPECT_EQ(Read(target), "elsewhere");
    EXPECT_EQ(Read(in.folder / u"elsewhere.exe"), "elsewhere");
    // Restored as a file of its own: writing it leaves the other name alone.
    Write(target, "changed");
    EXPECT_EQ(Read(in.folder / u"elsewhere.exe"), "elsewhere");
}

// The product's sub-folder swapped for a link to a folder outside at the
// moment the target is used: by deployment (backup and overwrite), by the
// rollback of a new file (delete) and of an overwritten one (restore).
TEST(RollbackTransaction, NothingOutsideChangesWhenAFolderIsSwappedAtTheMoment) {
    struct Case {
        const char* name;
        const char* original;  // the target before the install; null when new
        bool swapDuringDeploy;
    };
    const Case cases[] = {
        {"deploy over an existing file", "old", true},
        {"deploy a new file", nullptr, true},
        {"roll back a new file", nullptr, false},
        {"restore an overwritten file", "old", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Victim victim;
        Install in;
        in.dir = in.folder / u"root\\plain";  // the link helper needs ASCII paths
        in.product.deploy_dir = in.dir;
        WideBuffer sub = in.dir + u"\\inner";
        WideBuffer target = sub + u"\\app.exe";
        ASSERT_TRUE(CreateDirectoryTree(sub));
        if (c.original) Write(target, c.original);
        Write(in.staging + u"\\app.exe", "new");
        {
            std::unique_ptr<SwapAtUse> swap;
            if (c.swapDuringDeploy) swap = std::make_unique<SwapAtUse>(target, sub, victim.folder.path());
            DeployFile(in.t, in.staging + u"\\app.exe", target, in.product);
            if (swap) {
                EXPECT_TRUE(swap->swapped);
                EXPECT_TRUE(swap->linked);
                EXPECT_EQ(swap->renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            }
        }
        if (!c.swapDuringDeploy) {
            SwapAtUse swap(target, sub, victim.folder.path());
            in.Rollback(true);
            EXPECT_TRUE(swap.swapped);
            EXPECT_TRUE(swap.linked);
            EXPECT_EQ(swap.renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
        EXPECT_TRUE(victim.Unchanged());
        RemoveLink(sub);
    }
}

}  // namespace
