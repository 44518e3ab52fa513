#include "package/manifest_win.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "package/path_safety_win.h"

namespace {

ByteBuffer Utf16(std::u16string_view text) { return Utf16LeBytes(text); }

WideBuffer Desktop() {
    wchar_t buffer[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return U(buffer);
}

// LOCALAPPDATA, an install root and a product, all in one test folder.
struct ManifestScene {
    TestFolder folder;
    ScopedEnvironment data{L"LOCALAPPDATA", (folder / u"data").c_str()};
    WideBuffer root = folder / u"root";
    WideBuffer dir = root + u"\\工具";
    WideBuffer manifest = folder / u"data\\TwParcelwright\\installed\\12.manifest";
    ProductEntry product;
    InstallTransaction t;

    ManifestScene() {
        CreateDirectoryTree(dir);
        product.puc_type = u"12";
        product.puc_name = u"工具";
        product.deploy_dir = dir;
        product.main_program_path = dir + u"\\tool.exe";
        product.version = u"2.0";
        product.runname = u"tool.exe";
        t.root = root;
        LedgerEntry installed;
        installed.path = dir + u"\\tool.exe";
        t.entries.push_back(installed);
        LedgerEntry temporary;
        temporary.path = root + u"\\temp_setup\\12-1-1\\package.bin";
        temporary.temporary = true;
        t.entries.push_back(temporary);
        LedgerEntry library;
        library.path = dir + u"\\lib\\x.dll";
        t.entries.push_back(library);
    }
    void WriteText(std::u16string_view text) {
        ByteBuffer bytes = Utf16(text);
        ASSERT_TRUE(CreateDirectoryTree(manifest.substr(0, manifest.rfind(u'\\'))));
        ASSERT_TRUE(WriteWholeFile(manifest, bytes.data(), bytes.size()));
    }
    std::u16string Header(std::u16string_view type = u"0") {
        return u"DADEZORORA1\nBASE\t" + root + u"\nDIR\t" + dir + u"\nMAIN\t" + dir + u"\\tool.exe\nVERSION\t2.0\nTYPE\t" +
               std::u16string(type) + u"\n";
    }
    std::string Log() {
        ByteBuffer bytes;
        ReadWholeFile(folder / u"data\\TwParcelwright\\logs\\install.log", bytes);
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST(ManifestPath, Rules) {
    ManifestScene s;
    WideBuffer path;
    ASSERT_TRUE(ManifestPath(s.product, path));
    EXPECT_EQ(path, s.manifest);
    s.product.puc_type = u"12a";
    EXPECT_FALSE(ManifestPath(s.product, path));
    s.product.puc_type = u"";
    EXPECT_FALSE(ManifestPath(s.product, path));
    s.product.puc_type = u"12";
    WideBuffer tooLong = WideBuffer(u"C:\\") + WideBuffer(257, u'x');
    ScopedEnvironment longData(L"LOCALAPPDATA", tooLong.c_str());
    EXPECT_FALSE(ManifestPath(s.product, path));
}

TEST(WriteInstallManifest, WritesExactBytesAndReadsBack) {
    ManifestScene s;
    s.product.file_list.clear();
    ASSERT_TRUE(WriteInstallManifest(s.product, s.t, ManifestTypeDeployed)) << WideToUtf8(s.product.last_error);
    ByteBuffer bytes;
    ASSERT_TRUE(ReadWholeFile(s.manifest, bytes));
    EXPECT_EQ(bytes, Utf16(s.Header() + u"FILE\t" + s.dir + u"\\tool.exe\nFILE\t" + s.dir + u"\\lib\\x.dll\n"));
    EXPECT_FALSE(FileExists(s.manifest + u".tmp"));
    EXPECT_TRUE(s.product.installed);
    EXPECT_EQ(s.product.installed_dir, s.dir);
    EXPECT_NE(s.Log().find(WideToUtf8(u"[Parcelwright] 已保存产品12安装清单：" + s.manifest)), std::string::npos);

    ProductEntry fresh;
    fresh.puc_type = u"12";
    fresh.puc_name = u"工具";
    ASSERT_TRUE(ReadInstallManifest(fresh, s.root));
    EXPECT_TRUE(fresh.installed);
    EXPECT_FALSE(fresh.manifest_invalid);
    EXPECT_EQ(fresh.installed_root, s.root);
    EXPECT_EQ(fresh.installed_main, s.dir + u"\\tool.exe");
    EXPECT_EQ(fresh.installed_version, u"2.0");
    EXPECT_FALSE(fresh.installer_type);
    EXPECT_EQ(std::distance(fresh.file_list.begin(), fresh.file_list.end()), 2);

    // A reinstall keeps the old list: paths in both sources are written twice
    // and read back once.
    fresh.deploy_dir = s.dir;
    fresh.main_program_path = s.dir + u"\\tool.exe";
    fresh.version = u"2.1";
    ASSERT_TRUE(WriteInstallManifest(fresh, s.t, ManifestTypeInstaller)) << WideToUtf8(fresh.last_error);
    ProductEntry again;
    again.puc_type = u"12";
    again.puc_name = u"工具";
    ASSERT_TRUE(ReadInstallManifest(again, s.root));
    EXPECT_TRUE(again.installer_type);
    EXPECT_EQ(again.installed_version, u"2.1");
    EXPECT_EQ(std::distance(again.file_list.begin(), again.file_list.end()), 2);
}

// An installer's App Paths value can name the main program untidily; the record
// written must still be one the next read accepts.
TEST(WriteInstallManifest, MainIsNormalisedOrLeftEmpty) {
    struct Case { const char16_t* main; uint32_t type; const char16_t* recorded; };
    const Case cases[] = {
        {u"\\\\tool.exe", ManifestTypeInstaller, u"\\tool.exe"},
        {u"\\tool.exe ", ManifestTypeInstaller, u"\\tool.exe"},
        {u"\\sub\\..\\tool.exe", ManifestTypeDeployed, u"\\tool.exe"},
        {u"\\..\\outside.exe", ManifestTypeDeployed, u""},    // a deployed MAIN must lie inside DIR
        {u"\\..\\outside.exe", ManifestTypeInstaller, u"\\..\\outside.exe"},  // an installer's may not
        {u"\\bad\ttab.exe", ManifestTypeInstaller, u""},
    };
    for (const Case& c : cases) {
        ManifestScene s;
        s.product.main_program_path = s.dir + c.main;
        WideBuffer expected;
        if (*c.recorded) {
            ASSERT_TRUE(FullPathOf(s.dir + c.recorded, expected));
        }
        ASSERT_TRUE(WriteInstallManifest(s.product, s.t, c.type)) << WideToUtf8(c.main);
        EXPECT_EQ(s.product.installed_main, expected) << WideToUtf8(c.main);
        ProductEntry read;
        read.puc_type = u"12";
        read.puc_name = u"工具";
        ASSERT_TRUE(ReadInstallManifest(read, s.root)) << WideToUtf8(c.main);
        EXPECT_EQ(read.installed_main, expected) << WideToUtf8(c.main);
    }
}

// The .tmp lies in a folder the user can write to; a hard link planted there
// is replaced, never written through.
TEST(WriteInstallManifest, PlantedTmpLinkIsNotWrittenThrough) {
    ManifestScene s;
    WideBuffer victim = s.folder / u"victim.txt";
    ASSERT_TRUE(WriteWholeFile(victim, "precious", 8));
    ASSERT_TRUE(CreateDirectoryTree(s.folder / u"data\\TwParcelwright\\installed"));
    ASSERT_TRUE(CreateHardLinkW(W(s.manifest + u".tmp"), W(victim), nullptr));
    ASSERT_TRUE(WriteInstallManifest(s.product, s.t, ManifestTypeDeployed)) << WideToUtf8(s.product.last_error);
    ByteBuffer bytes;
    ASSERT_TRUE(ReadWholeFile(victim, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "precious");
    EXPECT_FALSE(FileExists(s.manifest + u".tmp"));
    ProductEntry read;
    read.puc_type = u"12";
    read.puc_name = u"工具";
    EXPECT_TRUE(ReadInstallManifest(read, s.root));
}

TEST(WriteInstallManifest, FailureKeepsTheOldManifestAndLeavesNoTmp) {
    ManifestScene s;
    ASSERT_TRUE(WriteInstallManifest(s.product, s.t, ManifestTypeDeployed));
    ByteBuffer before;
    ASSERT_TRUE(ReadWholeFile(s.manifest, before));
    {
        // Someone holds the manifest: the replace fails after the .tmp was written.
        UniqueHandle holder(CreateFileW(W(s.manifest), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        s.product.version = u"3.0";
        EXPECT_FALSE(WriteInstallManifest(s.product, s.t, ManifestTypeDeployed));
        EXPECT_EQ(s.product.last_error.rfind(u"无法保存安装清单，安装未提交（错误 ", 0), 0u) << WideToUtf8(s.product.last_error);
        EXPECT_FALSE(FileExists(s.manifest + u".tmp"));
    }
    ByteBuffer after;
    ASSERT_TRUE(ReadWholeFile(s.manifest, after));
    EXPECT_EQ(after, before);

    // Refused before writing: a product folder that is not a direct child of the root.
    s.product.deploy_dir = s.dir + u"\\nested";
    EXPECT_FALSE(WriteInstallManifest(s.product, s.t, ManifestTypeDeployed));
    EXPECT_FALSE(FileExists(s.manifest + u".tmp"));
    ASSERT_TRUE(ReadWholeFile(s.manifest, after));
    EXPECT_EQ(after, before);

    s.product.deploy_dir = s.dir;
    s.product.version = u"bad\nversion";
    EXPECT_FALSE(WriteInstallManifest(s.product, s.t, ManifestTypeDeployed));
}

TEST(ReadInstallManifest, InvalidManifests) {
    ManifestScene s;
    const std::u16string file = u"FILE\t" + s.dir + u"\\tool.exe\n";
    struct Case { std::u16string text; bool valid; const char* what; };
    std::u16string crlf = s.Header();
    for (size_t at = 0; (at = crlf.find(u'\n', at)) != std::u16string::npos; at += 2) crlf.insert(at, 1, u'\r');
    const Case cases[] = {
        {s.Header() + file, true, "plain"},
        {u"\n\n" + s.Header() + u"\n" + file + u"\n", true, "blank lines"},
        {crlf, false, "CR LF"},
        {s.Header(u"2"), false, "TYPE 2"},
        {s.Header(u"01"), false, "TYPE 01"},
        {s.Header() + u"DIR\t" + s.dir + u"\n", false, "DIR twice"},
        {s.Header() + u"MAIN\t" + s.dir + u"\\other.exe\n", true, "MAIN twice"},
        {s.Header() + u"FILE\t" + s.dir + u"/tool.exe\n", false, "forward slash"},
        {s.Header() + u"FILE\t" + s.dir + u"\\x\\..\\tool.exe\n", false, "dot-dot"},
        {s.Header() + u"FILE\tlib\\x.dll\n", false, "relative"},
        {s.Header() + u"FILE\t" + s.root + u"\\other\\x.dll\n", false, "outside DIR"},
        {s.Header() + u"FILE\t" + Desktop() + u"\\工具.LNK\n", true, "desktop shortcut in capitals"},
        {s.Header() + u"FILE\t" + Desktop() + u"\\sub\\工具.lnk\n", false, "shortcut in a desktop sub-folder"},
        {s.Header() + u"FILE\t" + Desktop() + u"\\工具.exe\n", false, "desktop non-shortcut"},
        {s.Header() + u"MAIN\t" + s.root + u"\\elsewhere.exe\n", false, "MAIN outside DIR, TYPE 0"},
        {s.Header(u"1") + u"MAIN\t" + s.root + u"\\elsewhere.exe\n", true, "MAIN outside DIR, TYPE 1"},
        {s.Header() + u"MAIN\t" + s.dir + u"\\..\\..\\elsewhere.exe\n", false, "MAIN climbing out with .."},
        {u"DADEZORORA1\nBASE\t" + s.root + u"\\\nDIR\t" + s.dir + u"\nTYPE\t0\n", false, "BASE not normalised"},
        {u"DADEZORORA1\nBASE\t" + s.root + u"\nDIR\t" + s.root + u"\\a\\b\nTYPE\t0\n", false, "DIR two levels down"},
        {u"DADEZORORA1\nBASE\t" + s.root + u"\nDIR\t" + s.root + u"\\temp_setup\nTYPE\t0\n", true,
         "any direct child (the name is not compared)"},
    };
    for (const Case& c : cases) {
        s.WriteText(c.text);
        s.product.last_error.clear();
        EXPECT_EQ(ReadInstallManifest(s.product, s.root), c.valid) << c.what;
        EXPECT_EQ(s.product.installed, c.valid) << c.what;
        EXPECT_EQ(s.product.manifest_invalid, !c.valid) << c.what;
        if (!c.valid) {
            EXPECT_TRUE(s.product.file_list.empty()) << c.what;
            EXPECT_EQ(s.product.last_error, u"安装记录无法读取或路径不安全，停止自动维护，请联系客服。");
        }
    }
    EXPECT_NE(s.Log().find(WideToUtf8(u"[Parcelwright] 产品12安装记录校验失败。\r\n")), std::string::npos);
}

TEST(ReadInstallManifest, SizeLimits) {
    ManifestScene s;
    std::u16string header = s.Header();
    std::u16string exact = header + std::u16string(8388608 - header.size(), u'\n');  // 16 MiB of UTF-16
    s.WriteText(exact);
    EXPECT_TRUE(ReadInstallManifest(s.product, s.root));
    s.WriteText(exact + u"\n");
    EXPECT_FALSE(ReadInstallManifest(s.product, s.root));
    for (size_t size : {1, 3}) {
        ASSERT_TRUE(WriteWholeFile(s.manifest, "DAD", size));
        EXPECT_FALSE(ReadInstallManifest(s.product, s.root)) << size;
        EXPECT_TRUE(s.product.manifest_invalid);
    }
    ASSERT_TRUE(WriteWholeFile(s.manifest, "", 0));
    EXPECT_FALSE(ReadInstallManifest(s.product, s.root));
}

TEST(ReadInstallManifest, WithoutAManifest) {
    ManifestScene s;
    ProductEntry p;
    p.puc_type = u"12";
    p.puc_name = u"工具";
    p.runname = u"TOOL.exe";
    EXPECT_TRUE(ReadInstallManifest(p, s.root));  // folder there, main program not
    EXPECT_FALSE(p.installed);
    ASSERT_TRUE(CreateDirectoryTree(s.dir + u"\\bin"));
    ASSERT_TRUE(WriteWholeFile(s.dir + u"\\bin\\tool.exe", "x", 1));
    EXPECT_TRUE(ReadInstallManifest(p, s.root + u"\\"));
    EXPECT_TRUE(p.installed);  // an install without a record: updatable, not uninstallable by list
    EXPECT_EQ(p.installed_main, s.dir + u"\\bin\\tool.exe");
    EXPECT_EQ(p.installed_root, s.root);
    EXPECT_TRUE(p.file_list.empty());
    p.puc_name = u"无此产品";
    EXPECT_TRUE(ReadInstallManifest(p, s.root));
    EXPECT_FALSE(p.installed);
    EXPECT_FALSE(p.manifest_invalid);
}

TEST(CheckDirectoryOwnership, OtherProductsFolders) {
    ManifestScene s;
    EXPECT_TRUE(CheckDirectoryOwnership(s.product, s.dir));  // no manifest folder at all
    ASSERT_TRUE(WriteInstallManifest(s.product, s.t, ManifestTypeDeployed));
    EXPECT_TRUE(CheckDirectoryOwnership(s.product, s.dir));  // its own manifest does not count

    ProductEntry other;
    other.puc_type = u"13";
    other.puc_name = u"其他";
    EXPECT_FALSE(CheckDirectoryOwnership(other, s.dir));
    EXPECT_EQ(other.last_error, u"该软件目录已由其他产品使用，请更换安装根目录后再试。");
    other.last_error.clear();
    EXPECT_FALSE(CheckDirectoryOwnership(other, s.dir.substr(0, s.dir.size() - 1) + u"具"));  // case-folded compare only
    other.last_error.clear();
    EXPECT_TRUE(CheckDirectoryOwnership(other, s.root + u"\\其他"));

    // One unreadable manifest blocks every new install until it is repaired.
    WideBuffer broken = s.folder / u"data\\TwParcelwright\\installed\\99.manifest";
    ASSERT_TRUE(WriteWholeFile(broken, "", 0));
    EXPECT_FALSE(CheckDirectoryOwnership(other, s.root + u"\\其他"));
    EXPECT_EQ(other.last_error, u"无法核验安装目录归属，请检查安装记录后重试。");
    ByteBuffer noDir = Utf16(u"DADEZORORA1\nBASE\tx\n");
    ASSERT_TRUE(WriteWholeFile(broken, noDir.data(), noDir.size()));
    other.last_error.clear();
    EXPECT_FALSE(CheckDirectoryOwnership(other, s.root + u"\\其他"));
    DeleteFileW(W(broken));
    other.last_error.clear();
    EXPECT_TRUE(CheckDirectoryOwnership(other, s.root + u"\\其他"));
}

// Another product's folder reached under another name is still its folder.
TEST(CheckDirectoryOwnership, SameFolderUnderAnotherName) {
    ManifestScene s;
    s.dir = s.root + u"\\Ärger";
    s.product.puc_name = u"Ärger";
    s.product.deploy_dir = s.dir;
    s.product.main_program_path = s.dir + u"\\tool.exe";
    s.t.entries.clear();
    ASSERT_TRUE(CreateDirectoryTree(s.dir));
    ASSERT_TRUE(WriteInstallManifest(s.product, s.t, ManifestTypeDeployed)) << WideToUtf8(s.product.last_error);
    ProductEntry other;
    other.puc_type = u"13";
    other.puc_name = u"ärger";
    wchar_t shortName[MAX_PATH];
    DWORD n = GetShortPathNameW(W(s.dir), shortName, MAX_PATH);
    std::vector<WideBuffer> names = {s.root + u"\\ärger", u"S:" + s.dir.substr(2)};
    if (n > 0 && n < MAX_PATH && !EqualsNoCase(U(shortName), s.dir)) names.push_back(U(shortName));
    for (const WideBuffer& name : names) {
        other.last_error.clear();
        EXPECT_FALSE(CheckDirectoryOwnership(other, name)) << WideToUtf8(name);
        EXPECT_EQ(other.last_error, u"该软件目录已由其他产品使用，请更换安装根目录后再试。") << WideToUtf8(name);
    }
}

}  // namespace
