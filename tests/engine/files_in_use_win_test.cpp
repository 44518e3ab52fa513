#include "engine/files_in_use_win.h"

#include <gtest/gtest.h>

#include "base/file_win.h"
#include "base/test_folder_win.h"

namespace {

void Touch(const WideBuffer& path) {
    ASSERT_TRUE(CreateDirectoryTree(path.substr(0, path.rfind(u'\\'))));
    ASSERT_TRUE(WriteWholeFile(path, "x", 1));
}

TEST(IsOwnedPath, StrictlyBelowThroughExistingComponentsWithoutLinks) {
    TestFolder f, elsewhere;
    const WideBuffer tool = f / u"root\\Tool";
    Touch(tool + u"\\data.bin");
    Touch(tool + u"\\bin\\tool.exe");
    Touch(f / u"root\\Tool2\\tool.exe");
    Touch(f / u"root\\äpps\\a.exe");
    Touch(elsewhere / u"x.bin");
    ASSERT_TRUE(MakeUnixSymlink(elsewhere.path(), f / u"root\\Linked"));
    ASSERT_TRUE(MakeUnixSymlink(elsewhere.path(), tool + u"\\jn"));

    struct Case { WideBuffer folder, path; bool owned; const char* why; };
    const Case cases[] = {
        {tool, tool + u"\\data.bin", true, "a file in the folder"},
        {tool, tool + u"\\bin\\tool.exe", true, "a file in a sub-folder"},
        {tool, tool + u"\\bin", true, "a sub-folder"},
        {f / u"root\\TOOL", tool + u"\\bin\\tool.exe", true, "ASCII case differs"},
        {f / u"root\\Äpps", f / u"root\\äpps\\a.exe", true, "case differs beyond ASCII"},
        {tool, f / u"root\\Tool2\\tool.exe", false, "a sibling whose name starts with the folder's"},
        {tool, tool, false, "the folder itself"},
        {tool + u"\\", tool + u"\\bin\\tool.exe", false, "a folder written with a trailing backslash"},
        {tool, tool + u"\\missing.bin", false, "a missing file"},
        {tool, tool + u"\\gone\\x.bin", false, "a missing folder on the way"},
        {tool, tool + u"\\jn\\x.bin", false, "a link inside the folder"},
        {tool, tool + u"\\jn", false, "the link itself"},
        {f / u"root\\Linked", f / u"root\\Linked\\x.bin", false, "the folder reached through a link"},
        {tool, tool + u"\\..\\Tool2\\tool.exe", false, "a path that climbs out again"},
        {tool, tool + u"\\.\\data.bin", false, "a path not in its full form"},
        {u"", u"\\data.bin", false, "an empty folder"},
        {tool, u"", false, "an empty path"},
    };
    for (const Case& c : cases) EXPECT_EQ(IsOwnedPath(c.folder, c.path), c.owned) << c.why;
}

// A link higher up, between the drive root and the product folder, counts as
// much as one below it: the first component checked is the first folder.
TEST(IsOwnedPath, ALinkAboveTheFolderIsRefused) {
    TestFolder f, elsewhere;
    Touch(elsewhere / u"Tool\\tool.exe");
    ASSERT_TRUE(MakeUnixSymlink(elsewhere.path(), f / u"root"));
    EXPECT_FALSE(IsOwnedPath(f / u"root\\Tool", f / u"root\\Tool\\tool.exe"));
    EXPECT_TRUE(IsOwnedPath(elsewhere / u"Tool", elsewhere / u"Tool\\tool.exe"));
}

}  // namespace
