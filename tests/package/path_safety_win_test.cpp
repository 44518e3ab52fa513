#include "package/path_safety_win.h"

#include <gtest/gtest.h>

#include "base/file_win.h"
#include "base/test_folder_win.h"
#include "package/path_rules.h"

namespace {

WideBuffer Full(std::u16string_view path) {
    WideBuffer full;
    EXPECT_TRUE(FullPathOf(path, full));
    return full;
}

TEST(FullPathOf, Normalises) {
    EXPECT_EQ(Full(u"D:\\Apps\\"), u"D:\\Apps");
    EXPECT_EQ(Full(u"D:/Apps/x/../y"), u"D:\\Apps\\y");
    EXPECT_EQ(Full(u"D:\\"), u"D:\\");
    EXPECT_EQ(Full(u"D:\\Apps\\."), u"D:\\Apps");
}

TEST(PathTextEqualNoCase, UsesTheInvariantLocale) {
    EXPECT_TRUE(IsStrictlyUnder(u"C:\\Ärger", u"C:\\ärger\\x"));  // beyond ASCII, unlike CompareNoCase
    EXPECT_TRUE(IsDeviceName(u"cOn.txt"));
    EXPECT_FALSE(IsStrictlyUnder(u"C:\\Apps", u"C:\\Apps2\\x"));
}

TEST(IsSameDirectory, IdentityWhereBothExistTextOtherwise) {
    TestFolder folder;
    ASSERT_TRUE(CreateDirectoryTree(folder / u"Ärger"));
    ASSERT_TRUE(CreateDirectoryTree(folder / u"Other"));
    WideBuffer onS = u"S:" + folder.path().substr(2);  // the tests' prefix maps S: to C:
    ASSERT_TRUE(DirectoryExists(onS)) << "the Wine prefix lacks drive S:";
    struct Case { WideBuffer a, b; bool same; };
    const Case cases[] = {
        {folder / u"Ärger", folder / u"ärger", true},            // case beyond ASCII
        {folder / u"Ärger", onS + u"\\Ärger", true},             // another drive letter
        {folder / u"Ärger", folder / u"Other\\..\\Ärger\\", true},
        {folder / u"Ärger", folder / u"Other", false},
        {folder / u"Ärger", folder / u"Ärger\\sub", false},       // one of them missing
        {folder / u"New", folder / u"NEW", true},                  // neither exists: the text decides
        {folder / u"Neu-ä", folder / u"neu-Ä", true},
        {folder / u"New", folder / u"New2", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsSameDirectory(c.a, c.b), c.same) << WideToUtf8(c.a) << " | " << WideToUtf8(c.b);
        EXPECT_EQ(IsSameDirectory(c.b, c.a), c.same) << WideToUtf8(c.b) << " | " << WideToUtf8(c.a);
    }
}

TEST(ValidateInstallRoot, Cases) {
    TestFolder folder;
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    wchar_t profile[MAX_PATH];
    GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
    struct Case { std::u16string path; bool ok; };
    const Case cases[] = {
        {u"D:\\Apps", true},
        {u"D:\\Apps\\", true},
        {u"D:/Apps/软件", true},
        {folder.path(), true},                      // below the profile folder is fine
        {u"D:\\", false},
        {u"D:", false},
        {u"", false},
        {u"\\\\server\\share\\Apps", false},
        {u"\\\\?\\D:\\Apps", false},
        {u"Apps", false},                           // relative: resolves to the current folder, not checked here
        {U(windows), false},
        {std::u16string(U(windows)) + u"\\Temp", false},
        {std::u16string(U(windows)) + u"\\..\\WINDOWS\\x", false},
        {U(profile), false},
        {std::u16string(U(profile)) + u"\\", false},
        {u"D:\\Tools\\..\\Apps", true},           // dot segments resolve to an acceptable root
        {u"D:\\Tools\\.\\Apps", true},
        {u"D:\\Apps\\..", false},                 // ...or to the whole drive
        {u"D:\\Apps.", false},
        {u"D:\\Tools\\...\\Apps", false},
        {u"D:\\Apps \\x", false},
        {u"D:\\con", false},
        {u"D:\\x\\LPT1.log", false},
        {u"D:\\A*", false},
        {u"D:\\A?", false},
        {u"D:\\A|B", false},
        {u"D:\\A:B", false},
        {u"D:\\A\tB", false},
    };
    for (const Case& c : cases) {
        WideBuffer message = u"untouched";
        bool ok = ValidateInstallRoot(c.path, message);
        if (std::u16string_view(c.path) == u"Apps") {
            // A relative root resolves below the current folder of the test.
            continue;
        }
        EXPECT_EQ(ok, c.ok) << WideToUtf8(c.path);
        EXPECT_EQ(message, c.ok ? u"untouched" : kInstallRootRefused) << WideToUtf8(c.path);
    }
}

TEST(ValidateInstallRoot, LinksAreRefused) {
    TestFolder folder, target;
    ASSERT_TRUE(MakeUnixSymlink(target.path(), folder / u"link"));
    WideBuffer message;
    EXPECT_FALSE(ValidateInstallRoot(folder / u"link", message));
    EXPECT_FALSE(ValidateInstallRoot(folder / u"link\\Apps", message));  // a link as the parent
    EXPECT_TRUE(ValidateInstallRoot(folder / u"real", message));
}

// A caller formats the last error after a refusal; a missing component's
// "file not found" used to be what the user read.
TEST(HasNoReparsePoint, RefusalLeavesAccessDenied) {
    TestFolder folder, target;
    ASSERT_TRUE(MakeUnixSymlink(target.path(), folder / u"link"));
    SetLastError(0);
    EXPECT_FALSE(HasNoReparsePoint(folder / u"link\\missing\\file.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(SafeJoinRelative, StaysInsideAndAvoidsLinks) {
    TestFolder folder, outside;
    WideBuffer result;
    ASSERT_TRUE(SafeJoinRelative(folder.path(), u"a/b\\c.txt", result));
    EXPECT_EQ(result, folder / u"a\\b\\c.txt");
    EXPECT_FALSE(SafeJoinRelative(folder.path(), u"a\\..\\b", result));
    ASSERT_TRUE(MakeUnixSymlink(outside.path(), folder / u"link"));
    EXPECT_FALSE(SafeJoinRelative(folder.path(), u"link\\x.txt", result));
    EXPECT_FALSE(SafeJoinRelative(folder.path(), u"link", result));
}

TEST(EnsureParentDirectory, CreatesButNeverThroughALink) {
    TestFolder folder, outside;
    EXPECT_TRUE(EnsureParentDirectory(folder / u"x\\y\\file.txt"));
    EXPECT_TRUE(DirectoryExists(folder / u"x\\y"));
    ASSERT_TRUE(MakeUnixSymlink(outside.path(), folder / u"link"));
    EXPECT_FALSE(EnsureParentDirectory(folder / u"link\\new\\file.txt"));
    EXPECT_FALSE(DirectoryExists(outside / u"new"));  // nothing was created through the link
}

TEST(ValidateProductDir, DirectChildOfAValidRoot) {
    TestFolder folder;
    WideBuffer root = folder / u"root";
    ProductEntry p;
    p.puc_name = u"图片工具";
    EXPECT_TRUE(ValidateProductDir(p, root, root + u"\\图片工具"));
    EXPECT_TRUE(ValidateProductDir(p, root, root + u"\\Other"));  // the name is not compared
    EXPECT_TRUE(ValidateProductDir(p, root + u"\\", root + u"\\Other\\"));
    EXPECT_FALSE(ValidateProductDir(p, root, root + u"\\a\\b"));
    EXPECT_FALSE(ValidateProductDir(p, root, root));
    EXPECT_FALSE(ValidateProductDir(p, root, folder / u"elsewhere"));
    EXPECT_FALSE(ValidateProductDir(p, u"D:\\", u"D:\\Tool"));
    for (const char16_t* name : {u"temp_setup", u"TEMP_SETUP", u"temp_setup. ", u"...", u""}) {
        p.puc_name = name;
        EXPECT_FALSE(ValidateProductDir(p, root, root + u"\\x")) << WideToUtf8(name);
    }
}

TEST(FindFileByName, DepthLimitAndLinks) {
    TestFolder folder, hidden;
    WideBuffer deep = folder.path();
    for (int i = 0; i < 65; ++i) deep += u"\\d";
    ASSERT_TRUE(CreateDirectoryTree(deep));
    // The 64th nested folder is searched; the 65th is not.
    WideBuffer at64 = deep.substr(0, deep.size() - 2);
    ASSERT_TRUE(WriteWholeFile(at64 + u"\\Level64.exe", "x", 1));
    ASSERT_TRUE(WriteWholeFile(deep + u"\\Level65.exe", "x", 1));
    WideBuffer found;
    EXPECT_TRUE(FindFileByName(folder.path(), u"level64.EXE", found));
    EXPECT_EQ(found, at64 + u"\\Level64.exe");
    EXPECT_FALSE(FindFileByName(folder.path(), u"Level65.exe", found));

    ASSERT_TRUE(WriteWholeFile(hidden / u"Behind.exe", "x", 1));
    ASSERT_TRUE(MakeUnixSymlink(hidden.path(), folder / u"link"));
    EXPECT_FALSE(FindFileByName(folder.path(), u"Behind.exe", found));
    EXPECT_FALSE(FindFileByName(folder / u"link", u"Behind.exe", found));  // the start itself is a link
    ASSERT_TRUE(CreateDirectoryTree(folder / u"dir.exe"));
    EXPECT_FALSE(FindFileByName(folder.path(), u"dir.exe", found));  // folders never match
}

}  // namespace
