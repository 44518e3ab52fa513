#include "engine/install_product_win.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <map>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "catalog/vendor_server_win.h"
#include "package/path_safety_win.h"
#include "package/transaction_win.h"
#include "package/zip_builder.h"
#include "startup/app_state.h"

namespace {

using Files = std::map<std::u16string, std::string>;

std::string Read(const WideBuffer& path) {
    ByteBuffer bytes;
    if (!ReadWholeFile(path, bytes)) return "";
    return std::string(bytes.begin(), bytes.end());
}

void CollectFiles(const WideBuffer& folder, const std::u16string& prefix, Files& files) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find = ListFolder(folder, u"*", data);
    if (!find) return;
    do {
        if (IsDotEntry(data)) continue;
        std::u16string name = U(data.cFileName);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CollectFiles(folder + u"\\" + name, prefix + name + u"\\", files);
        } else {
            files[prefix + name] = Read(folder + u"\\" + name);
        }
    } while (FindNextFileW(find.get(), &data));
}

Files Tree(const WideBuffer& folder) {
    Files files;
    CollectFiles(folder, u"", files);
    return files;
}

// A ZIP product served by the loopback server, installed below a test root.
struct Scene {
    TestFolder folder;
    ScopedEnvironment data{L"LOCALAPPDATA", (folder / u"data").c_str()};
    WideBuffer root = folder / u"root";
    ProductEntry product;
    std::vector<WideBuffer> served;
    std::function<void(const std::u16string&)> onStatus;

    explicit Scene(const char16_t* name) {
        product.puc_type = u"61";
        product.puc_name = name;
        product.runname = u"Roll.exe";
        product.has_package = true;
        product.version = u"1.0";
    }
    ~Scene() {
        for (const WideBuffer& file : served) DeleteFileW(W(file));
    }
    void Serve(const std::string& name, const Files& files) {
        ZipBuilder zip;
        for (const auto& [path, content] : files) {
            std::string entry = WideToUtf8(path);
            for (char& c : entry) c = c == '\\' ? '/' : c;
            zip.Add(entry, content);
        }
        std::string bytes = zip.Build();
        WideBuffer file = ServerFile(Utf8ToWide(name));
        WriteWholeFile(file, bytes.data(), bytes.size());
        served.push_back(file);
        product.download_url = ServerUrl(u"/" + Utf8ToWide(name));
    }
    static bool Status(void* context, ProductEntry*, const char16_t* text) {
        auto* s = static_cast<Scene*>(context);
        if (s->onStatus) s->onStatus(text);
        return true;
    }
    bool Install(bool shortcut) { return InstallProduct(product, root, shortcut, Status, this, nullptr); }
    WideBuffer Dir() const { return root + u"\\" + product.puc_name; }
};

const Files kV1 = {{u"Roll.exe", "MZ one"}, {u"data.bin", std::string(5000, '1')}, {u"lib\\a.dll", "a one"}};
const Files kV2 = {{u"Roll.exe", "MZ two"}, {u"data.bin", std::string(7000, '2')}, {u"lib\\a.dll", "a two"},
                   {u"added.txt", "new"}};

// An attempt that fails after deploying everything cannot restore a file that
// is held open; its backups stay, and the next attempt's left-over rollback
// restores the folder once the file is free.
TEST(InstallProduct, AnIncompleteRollbackIsFinishedByTheNextAttempt) {
    Scene s(u"RollbackTool");
    s.Serve("ip-rollback-1.zip", kV1);
    ASSERT_TRUE(s.Install(false)) << WideToUtf8(s.product.last_error);
    ASSERT_EQ(Tree(s.Dir()), kV1);

    wchar_t desktop[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop)));
    WideBuffer link = WideBuffer(U(desktop)) + u"\\RollbackTool.lnk";
    ASSERT_TRUE(CreateDirectoryW(W(link), nullptr));  // the shortcut cannot be placed
    UniqueHandle holder;
    s.onStatus = [&](const std::u16string& text) {
        if (text == u"开始创建桌面快捷方式。") {
            holder.reset(CreateFileW(W(s.Dir() + u"\\data.bin"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        }
    };
    s.Serve("ip-rollback-2.zip", kV2);
    s.product.version = u"2.0";
    s.product.was_installed = true;  // a reinstall in the recorded folder
    s.product.succeeded = false;
    EXPECT_FALSE(s.Install(true));
    RemoveDirectoryW(W(link));
    ASSERT_TRUE(holder) << "the deployed file could not be held";
    EXPECT_EQ(s.product.last_error.rfind(u"无法覆盖文件，拒绝访问（错误 5）", 0), 0u) << WideToUtf8(s.product.last_error);
    ASSERT_TRUE(s.product.transaction);
    EXPECT_TRUE(s.product.transaction->rollback_incomplete);
    size_t backups = 0;
    for (const LedgerEntry& e : s.product.transaction->entries) backups += !e.backup_path.empty() && FileExists(e.backup_path);
    EXPECT_EQ(backups, 3u);  // Roll.exe, data.bin and a.dll were overwritten; every backup stays
    holder.reset();
    EXPECT_EQ(Read(s.Dir() + u"\\data.bin"), kV2.at(u"data.bin"));

    s.onStatus = nullptr;
    s.product.download_url = ServerUrl(u"/ip-rollback-missing.zip");
    EXPECT_FALSE(s.Install(false));
    EXPECT_EQ(s.product.last_error, u"服务器返回 HTTP 404。");
    EXPECT_EQ(Tree(s.Dir()), kV1);  // byte for byte the first install again
}

// What runs elevated runs from the work folder: while the attempt lasts it
// cannot be renamed and replaced by a folder of someone else's.
TEST(InstallProduct, TheWorkFolderIsHeldWhileTheAttemptRuns) {
    Scene s(u"HeldTool");
    s.Serve("ip-held.zip", kV1);
    WideBuffer work;
    DWORD renameError = 0;
    s.onStatus = [&](const std::u16string& text) {
        if (text != u"正在下载安装包…" || !s.product.transaction) return;
        work = s.product.transaction->work_folder;
        if (!MoveFileExW(W(work), W(s.root + u"\\temp_setup\\elsewhere"), 0)) renameError = GetLastError();
    };
    ASSERT_TRUE(s.Install(false)) << WideToUtf8(s.product.last_error);
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(DirectoryExists(work));
    EXPECT_EQ(Tree(s.Dir()), kV1);
}

// A file where temp_setup belongs stops the attempt before anything is
// downloaded; nothing is written through it.
TEST(InstallProduct, AFileInPlaceOfTempSetupStopsTheAttempt) {
    Scene s(u"NoTempTool");
    s.Serve("ip-notemp.zip", kV1);
    ASSERT_TRUE(CreateDirectoryTree(s.root));
    ASSERT_TRUE(WriteWholeFile(s.root + u"\\temp_setup", "mine", 4));
    EXPECT_FALSE(s.Install(false));
    EXPECT_EQ(s.product.last_error, u"无法创建安装目录，请检查软件是否有权限、磁盘是否充足、目录是否存在后再试。");
    EXPECT_EQ(Read(s.root + u"\\temp_setup"), "mine");
    EXPECT_TRUE(RequestsTo(u"/ip-notemp.zip", u"").empty());
}

// A package.exe the transaction could not register would run without being
// checked again and stay behind: the step fails and the file is deleted.
TEST(MakePackageExecutable, RegisteredOrDeleted) {
    for (bool locked : {false, true}) {
        TestFolder folder;
        ProductEntry product;
        InstallTransaction t;
        t.work_folder = folder / u"work";
        t.ledger_path = folder / u"work\\ledger.log";
        ASSERT_TRUE(CreateDirectoryTree(t.work_folder));
        product.package_path = folder / u"work\\package.bin";
        ASSERT_TRUE(WriteWholeFile(product.package_path, "MZ package", 10));
        // A writer that lets it be moved and deleted, but not read by
        // anyone who does not share writing, as the hash does not.
        UniqueHandle holder;
        if (locked) {
            holder.reset(CreateFileW(W(product.package_path), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     0, nullptr));
            ASSERT_TRUE(holder);
        }
        bool ok = MakePackageExecutable(product, t);
        holder.reset();
        const WideBuffer exe = folder / u"work\\package.exe";
        EXPECT_EQ(ok, !locked);
        EXPECT_EQ(FileExists(exe), !locked) << locked;
        EXPECT_FALSE(FileExists(folder / u"work\\package.bin"));
        EXPECT_EQ(FindLedgerEntry(t, exe) != nullptr, !locked);
        if (locked) {
            EXPECT_EQ(product.last_error.rfind(u"无法准备执行安装包（错误 32）", 0), 0u) << WideToUtf8(product.last_error);
        } else {
            EXPECT_EQ(product.package_path, exe);
            EXPECT_EQ(Read(exe), "MZ package");
        }
    }
}

// Refusals before the transaction change nothing on disk.
TEST(InstallProduct, RefusalsCreateNoFolder) {
    struct Case { const char* what; uint32_t filter; const char16_t* supportOs; bool hasPackage; const char16_t* root;
                  std::u16string message; };
    const Case cases[] = {
        {"another product locked", 62, u"", true, nullptr, u"抱歉无法安装，您可以到官网手动下载（请选择其他下载按钮下载）"},
        {"unsupported system", 0, u"win7", true, nullptr, u"该软件不适合您的系统，请查看支持的系统列表。"},
        {"no package", 0, u"", false, nullptr, u"该产品暂无安装包直链，请到官网手动下载。"},
        {"a drive as root", 0, u"", true, u"C:\\", kInstallRootRefused},
    };
    for (const Case& c : cases) {
        Scene s(u"Refused");
        g_app.productFilter = c.filter;
        s.product.support_os = c.supportOs;
        s.product.has_package = c.hasPackage;
        s.Serve("ip-refused.zip", kV1);
        bool ok = InstallProduct(s.product, c.root ? WideBuffer(c.root) : s.root, false, nullptr, nullptr, nullptr);
        g_app.productFilter = 0;
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(s.product.last_error, c.message) << c.what;
        EXPECT_TRUE(s.product.failed) << c.what;
        EXPECT_FALSE(FileExists(s.root)) << c.what;
        EXPECT_TRUE(RequestsTo(u"/ip-refused.zip", u"").empty()) << c.what;
    }
}

}  // namespace
