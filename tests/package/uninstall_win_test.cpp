#include "package/uninstall_win.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "package/held_path_scenes_win.h"
#include "package/manifest_win.h"
#include "package/migration_win.h"

namespace {

WideBuffer Desktop() {
    wchar_t buffer[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return U(buffer);
}

// A product installed below root with a manifest listing its files (and a
// desktop shortcut named after the test), read back as the catalog load does.
struct Installed {
    TestFolder folder;
    ScopedEnvironment data{L"LOCALAPPDATA", (folder / u"data").c_str()};
    WideBuffer root = folder / u"root";
    WideBuffer name;
    WideBuffer dir, shortcut;
    ProductEntry product;
    std::vector<std::u16string> reports;

    explicit Installed(const char16_t* productName, std::vector<const char16_t*> files = {u"app.exe", u"lib\\a.dll"},
                       const WideBuffer& installRoot = WideBuffer())
        : name(productName) {
        if (!installRoot.empty()) root = installRoot;
        dir = root + u"\\" + name;
        shortcut = Desktop() + u"\\" + name + u".lnk";
        InstallTransaction t;
        t.root = root;
        for (const char16_t* file : files) {
            WideBuffer path = dir + u"\\" + file;
            CreateDirectoryTree(path.substr(0, path.rfind(u'\\')));
            WriteWholeFile(path, "program", 7);
            LedgerEntry entry;
            entry.path = path;
            t.entries.push_front(entry);
        }
        WriteWholeFile(shortcut, "link", 4);
        LedgerEntry link;
        link.path = shortcut;
        t.entries.push_front(link);
        product.puc_type = u"31";
        product.puc_name = name;
        product.deploy_dir = dir;
        product.main_program_path = dir + u"\\app.exe";
        product.version = u"1.0";
        WriteInstallManifest(product, t, ManifestTypeDeployed);
        ProductEntry fresh;
        fresh.puc_type = product.puc_type;
        fresh.puc_name = name;
        ReadInstallManifest(fresh, root);
        product = std::move(fresh);
    }
    ~Installed() { DeleteFileW(W(shortcut)); }
    WideBuffer Manifest() const { return folder / u"data\\TwParcelwright\\installed\\31.manifest"; }
    static bool Status(void* context, ProductEntry*, const char16_t* text) {
        static_cast<Installed*>(context)->reports.push_back(text);
        return true;
    }
    bool Uninstall(bool purge, HANDLE cancel = nullptr) {
        return UninstallProduct(product, purge, Status, this, cancel);
    }
};

TEST(UninstallProduct, ListedFilesGoUserFilesStay) {
    Installed in(u"UninstallKeeps");
    ASSERT_TRUE(in.product.installed);
    ASSERT_TRUE(WriteWholeFile(in.dir + u"\\settings.ini", "mine", 4));
    ASSERT_TRUE(in.Uninstall(false)) << WideToUtf8(in.product.last_error);
    EXPECT_FALSE(FileExists(in.dir + u"\\app.exe"));
    EXPECT_FALSE(FileExists(in.dir + u"\\lib\\a.dll"));
    EXPECT_FALSE(FileExists(in.shortcut));
    EXPECT_FALSE(FileExists(in.Manifest()));
    EXPECT_EQ(Read(in.dir + u"\\settings.ini"), "mine");
    EXPECT_TRUE(DirectoryExists(in.dir + u"\\lib"));  // empty folders stay without purge
    EXPECT_TRUE(in.product.succeeded);
    EXPECT_FALSE(in.product.installed);
    EXPECT_FALSE(in.product.uninstalled);
    EXPECT_EQ(in.product.status_text, u"卸载完成");
    EXPECT_EQ(in.reports, (std::vector<std::u16string>{u"正在按软件文件清单删除…", u"软件卸载完成。"}));
}

TEST(UninstallProduct, PurgeRemovesTheFolder) {
    Installed in(u"UninstallPurges");
    ASSERT_TRUE(WriteWholeFile(in.dir + u"\\settings.ini", "mine", 4));
    ASSERT_TRUE(in.Uninstall(true)) << WideToUtf8(in.product.last_error);
    EXPECT_FALSE(DirectoryExists(in.dir));
    EXPECT_FALSE(FileExists(in.shortcut));
    EXPECT_FALSE(FileExists(in.Manifest()));
    EXPECT_TRUE(in.product.uninstalled);
    EXPECT_TRUE(DirectoryExists(in.root));
}

// Every refusal leaves every file and the manifest where they were.
TEST(UninstallProduct, RefusalsDeleteNothing) {
    struct Case {
        const char* what;
        bool purge;
        std::function<void(Installed&)> stage;
        std::u16string message;
    };
    const Case cases[] = {
        {"installer type", false, [](Installed& in) { in.product.installer_type = true; },
         u"该产品使用独立EXE安装，请使用其原生卸载程序处理系统关联；不能按目录冒充完整卸载。"},
        {"installer type, purge", true, [](Installed& in) { in.product.installer_type = true; },
         u"无法安全清理该软件目录，请使用原生卸载程序或联系客服。"},
        {"invalid record", false, [](Installed& in) { in.product.manifest_invalid = true; },
         u"产品安装目录无法安全确认，未执行删除。"},
        {"no file list", false, [](Installed& in) { in.product.file_list.clear(); },
         u"此旧安装缺少程序文件清单，无法区分程序文件和用户数据；可重装，或勾选删除配置文件后清理专用目录。"},
        {"entry outside the folder", false,
         [](Installed& in) { in.product.file_list.push_front(in.folder / u"elsewhere.txt"); },
         u"安装清单含有越界路径，停止删除。"},
        {"link in the folder, purge", true,
         [](Installed& in) { MakeUnixSymlink(in.folder.path(), in.dir + u"\\linked"); },
         u"无法读取软件目录或目录包含链接，未执行删除。"},
    };
    for (const Case& c : cases) {
        Installed in(u"UninstallRefusals");
        ASSERT_TRUE(WriteWholeFile(in.folder / u"elsewhere.txt", "x", 1));
        c.stage(in);
        EXPECT_FALSE(in.Uninstall(c.purge)) << c.what;
        EXPECT_EQ(in.product.last_error, c.message) << c.what;
        EXPECT_TRUE(in.product.failed) << c.what;
        for (const WideBuffer& kept : {in.dir + u"\\app.exe", in.dir + u"\\lib\\a.dll", in.shortcut, in.Manifest(),
                                       in.folder / u"elsewhere.txt"}) {
            EXPECT_TRUE(FileExists(kept)) << c.what << " " << WideToUtf8(kept);
        }
        RemoveLink(in.dir + u"\\linked");
    }
}

// The pre-check runs over every entry before the first deletion.
TEST(UninstallProduct, AFileInUseStopsEverythingFirst) {
    Installed in(u"UninstallBusy");
    UniqueHandle holder(CreateFileW(W(in.dir + u"\\lib\\a.dll"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_FALSE(in.Uninstall(false));
    EXPECT_EQ(in.product.last_error,
              u"文件 " + in.dir + u"\\lib\\a.dll 正在运行或无删除权限，请关闭软件后再试。");
    EXPECT_TRUE(FileExists(in.dir + u"\\app.exe"));
    EXPECT_TRUE(FileExists(in.shortcut));
    EXPECT_TRUE(FileExists(in.Manifest()));
    holder.reset();
    // Repeating after the program was closed completes.
    ProductEntry again;
    again.puc_type = u"31";
    again.puc_name = in.name;
    ASSERT_TRUE(ReadInstallManifest(again, in.root));
    EXPECT_TRUE(UninstallProduct(again, false, nullptr, nullptr, nullptr)) << WideToUtf8(again.last_error);
    EXPECT_FALSE(FileExists(in.dir + u"\\lib\\a.dll"));
}

TEST(UninstallProduct, CancelBeforeAndDuringDeletion) {
    {
        Installed in(u"UninstallCancelBefore");
        UniqueHandle cancel(CreateEventW(nullptr, TRUE, TRUE, nullptr));
        EXPECT_FALSE(in.Uninstall(false, cancel.get()));
        EXPECT_EQ(in.product.last_error, u"用户已取消操作，尚未删除文件。");
        EXPECT_TRUE(FileExists(in.dir + u"\\app.exe"));
        EXPECT_TRUE(FileExists(in.Manifest()));
    }
    Installed in(u"UninstallCancelDuring", {u"a.txt", u"b.txt", u"c.txt", u"d.txt"});
    UniqueHandle cancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // A cancel that arrives after the check, as the deletion pass starts.
    EXPECT_FALSE(UninstallProduct(
        in.product, false, [](void* c, ProductEntry*, const char16_t*) { return SetEvent(c) != FALSE; }, cancel.get(),
        cancel.get()));
    EXPECT_EQ(in.product.last_error, u"用户已取消，已删除的文件不会自动恢复；可重试或重装。");
    EXPECT_TRUE(FileExists(in.Manifest()));  // still lists what remains
    EXPECT_TRUE(FileExists(in.dir + u"\\a.txt"));
}

TEST(UninstallProduct, PurgeStopsWhenTheFolderGainedAFile) {
    Installed in(u"UninstallNewFile");
    // A file that appears after the listing was made is not deleted.
    EXPECT_FALSE(UninstallProduct(
        in.product, true,
        [](void* c, ProductEntry*, const char16_t* text) {
            auto* scene = static_cast<Installed*>(c);
            if (std::u16string(text) == u"正在按软件文件清单删除…") WriteWholeFile(scene->dir + u"\\new.log", "n", 1);
            return true;
        },
        &in, nullptr));
    EXPECT_EQ(in.product.last_error, u"软件目录仍有新增文件、占用或权限限制，未完成目录清理，请重试。");
    EXPECT_EQ(Read(in.dir + u"\\new.log"), "n");
    EXPECT_TRUE(FileExists(in.Manifest()));
}

TEST(CleanupMigratedInstall, ListedOldFilesGoEverythingElseStays) {
    TestFolder roots;
    Installed old(u"MigrationMoves", {u"app.exe", u"lib\\a.dll"}, roots / u"old");
    ASSERT_TRUE(WriteWholeFile(old.dir + u"\\settings.ini", "mine", 4));
    ASSERT_TRUE(WriteWholeFile(old.folder / u"outside.txt", "x", 1));
    StringList oldList = old.product.file_list;
    oldList.push_front(old.folder / u"outside.txt");  // outside the old folder, not a shortcut: skipped
    ProductEntry moved;
    moved.puc_type = old.product.puc_type;
    moved.puc_name = old.product.puc_name;
    moved.deploy_dir = roots / u"new\\MigrationMoves";
    moved.file_list = {moved.deploy_dir + u"\\app.exe", old.shortcut};  // the shortcut is owned again
    ASSERT_TRUE(CreateDirectoryTree(moved.deploy_dir));
    ASSERT_TRUE(WriteWholeFile(moved.deploy_dir + u"\\app.exe", "new", 3));
    CleanupMigratedInstall(moved, old.root, old.dir, oldList);
    EXPECT_FALSE(FileExists(old.dir + u"\\app.exe"));
    EXPECT_FALSE(FileExists(old.dir + u"\\lib\\a.dll"));
    EXPECT_EQ(Read(old.dir + u"\\settings.ini"), "mine");
    EXPECT_TRUE(FileExists(old.shortcut));
    EXPECT_TRUE(FileExists(old.folder / u"outside.txt"));
    EXPECT_TRUE(DirectoryExists(old.dir));
    EXPECT_EQ(Read(moved.deploy_dir + u"\\app.exe"), "new");
}

// The same folder under another drive letter is no move: nothing is deleted.
TEST(CleanupMigratedInstall, SameFolderUnderAnotherNameKeepsEverything) {
    Installed old(u"MigrationSameFolder");
    ProductEntry moved;
    moved.puc_name = old.name;
    WideBuffer other = u"S:" + old.dir.substr(2);
    moved.deploy_dir = other;
    moved.file_list = {other + u"\\app.exe"};
    CleanupMigratedInstall(moved, old.root, old.dir, old.product.file_list);
    EXPECT_TRUE(FileExists(old.dir + u"\\app.exe"));
    EXPECT_TRUE(FileExists(old.dir + u"\\lib\\a.dll"));

    // Even with the folders judged apart, a file the new list names under
    // another name is the new install's.
    ProductEntry elsewhere;
    elsewhere.puc_name = old.name;
    elsewhere.deploy_dir = old.root + u"\\Elsewhere";
    elsewhere.file_list = {u"S:" + old.dir.substr(2) + u"\\lib\\a.dll"};
    CleanupMigratedInstall(elsewhere, old.root, old.dir, old.product.file_list);
    EXPECT_TRUE(FileExists(old.dir + u"\\lib\\a.dll"));
    EXPECT_FALSE(FileExists(old.dir + u"\\app.exe"));
}

// Only "file not found" and "path not found" make a listed file absent; any
// other error reading it stops the uninstall before anything is deleted.
TEST(UninstallProduct, AListedFileThatCannotBeReadIsNotAbsent) {
    struct Case {
        DWORD error;
        bool absent;
    };
    const Case cases[] = {{ERROR_ACCESS_DENIED, false}, {ERROR_SHARING_VIOLATION, false}, {ERROR_NOT_READY, false},
                          {ERROR_INVALID_NAME, false},  {ERROR_FILE_NOT_FOUND, true},     {ERROR_PATH_NOT_FOUND, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        Installed in(u"UninstallUnreadable");
        WideBuffer staged = in.dir + u"\\lib\\a.dll";
        StagedError error(staged, c.error);
        EXPECT_EQ(in.Uninstall(false), c.absent);
        EXPECT_EQ(FileExists(in.dir + u"\\app.exe"), !c.absent);
        EXPECT_EQ(FileExists(in.shortcut), !c.absent);
        EXPECT_EQ(FileExists(in.Manifest()), !c.absent);
        EXPECT_TRUE(FileExists(staged));  // never reached, whatever the outcome
        if (!c.absent) {
            EXPECT_EQ(in.product.last_error, u"文件 " + staged + u" 正在运行或无删除权限，请关闭软件后再试。");
        }
    }
}

// The same error first met in the deletion pass stops it there and keeps the
// manifest, which still lists what remains.
TEST(UninstallProduct, AnUnreadableFileInTheDeletionPassFails) {
    Installed in(u"UninstallUnreadableLate", {u"a.txt", u"b.txt", u"c.txt"});
    WideBuffer staged = in.dir + u"\\b.txt";
    StagedError error(staged, ERROR_ACCESS_DENIED, 1);  // the pre-check passes
    EXPECT_FALSE(in.Uninstall(false));
    EXPECT_EQ(in.product.last_error, u"无法删除文件 " + staged + u"，请关闭软件并检查权限后重试。");
    EXPECT_TRUE(FileExists(staged));
    EXPECT_TRUE(FileExists(in.Manifest()));
    EXPECT_TRUE(in.product.failed);
}

// A folder of the product swapped for a link to a folder outside while its
// file is about to be deleted: the held folder cannot be renamed, and when
// renamed anyway behind Wine's back, nothing outside is deleted.
TEST(UninstallProduct, PurgeNeverDeletesThroughAFolderSwappedAtTheMoment) {
    for (bool purge : {false, true}) {
        SCOPED_TRACE(purge ? "purge" : "listed files");
        Victim victim;
        Installed in(u"UninstallSwap");
        WideBuffer file = in.dir + u"\\lib\\a.dll";
        SwapAtUse swap(file, in.dir + u"\\lib", victim.folder.path(), 1);  // after the pre-check
        in.Uninstall(purge);
        EXPECT_TRUE(swap.swapped);
        EXPECT_TRUE(swap.linked);
        EXPECT_EQ(swap.renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_TRUE(victim.Unchanged());
        if (purge) {
            EXPECT_FALSE(in.product.succeeded);  // the link stays in the folder
        }
        RemoveLink(in.dir + u"\\lib");
    }
}

TEST(CleanupMigratedInstall, NeverDeletesThroughAFolderSwappedAtTheMoment) {
    Victim victim;
    TestFolder roots;
    Installed old(u"MigrationSwap", {u"app.exe", u"lib\\a.dll"}, roots / u"old");
    ProductEntry moved;
    moved.puc_type = old.product.puc_type;
    moved.puc_name = old.product.puc_name;
    moved.deploy_dir = roots / u"new\\MigrationSwap";
    ASSERT_TRUE(CreateDirectoryTree(moved.deploy_dir));
    SwapAtUse swap(old.dir + u"\\lib\\a.dll", old.dir + u"\\lib", victim.folder.path());
    CleanupMigratedInstall(moved, old.root, old.dir, old.product.file_list);
    EXPECT_TRUE(swap.swapped);
    EXPECT_TRUE(swap.linked);
    EXPECT_EQ(swap.renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(victim.Unchanged());
    EXPECT_FALSE(FileExists(old.dir + u"\\app.exe"));
    RemoveLink(old.dir + u"\\lib");
}

}  // namespace
