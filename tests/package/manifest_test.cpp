#include "package/manifest.h"

#include <gtest/gtest.h>

namespace {

ByteBuffer Utf16(std::u16string_view text) { return Utf16LeBytes(text); }

bool Parse(std::u16string_view text, ManifestFields* out = nullptr) {
    ByteBuffer bytes = Utf16(text);
    ManifestFields fields;
    bool ok = ParseManifestBytes(bytes.data(), bytes.size(), fields);
    if (out) *out = fields;
    return ok;
}

const std::u16string kHeader = u"DADEZORORA1\nBASE\tD:\\Apps\nDIR\tD:\\Apps\\工具\n";

TEST(BuildManifestBytes, ExactBytes) {
    ManifestFields fields;
    fields.base = u"D:\\Apps";
    fields.dir = u"D:\\Apps\\工具";
    fields.main = u"D:\\Apps\\工具\\a.exe";
    fields.type = ManifestTypeInstaller;
    ByteBuffer bytes = BuildManifestBytes(fields, {u"D:\\Apps\\工具\\a.exe", u"D:\\Apps\\工具\\b.dll"});
    EXPECT_EQ(bytes, Utf16(u"DADEZORORA1\nBASE\tD:\\Apps\nDIR\tD:\\Apps\\工具\nMAIN\tD:\\Apps\\工具\\a.exe\nVERSION\t\n"
                           u"TYPE\t1\nFILE\tD:\\Apps\\工具\\a.exe\nFILE\tD:\\Apps\\工具\\b.dll\n"));
    EXPECT_NE(bytes[0], 0xFF);  // no byte-order mark
    ManifestFields back;
    ASSERT_TRUE(ParseManifestBytes(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.main, fields.main);
    EXPECT_EQ(back.type, ManifestTypeInstaller);
    EXPECT_EQ(std::distance(back.files.begin(), back.files.end()), 2);
}

TEST(ParseManifestBytes, Lines) {
    struct Case { std::u16string text; bool ok; };
    const Case cases[] = {
        {kHeader + u"TYPE\t0\n", true},
        {kHeader + u"TYPE\t0", true},                               // no final LF
        {u"\n\n" + kHeader + u"\nTYPE\t1\n\n", true},                // blank lines anywhere
        {std::u16string(u"DADEZORORA1\0BASE\tB\0DIR\tD\0TYPE\t0", 31), true},  // NUL ends lines too
        {u"DADEZORORA1\r\nBASE\tB\r\nDIR\tD\r\nTYPE\t0\r\n", false},  // CR LF: the magic carries a CR
        {u"dadezorora1\nBASE\tB\nDIR\tD\nTYPE\t0\n", false},
        {u"BASE\tB\nDADEZORORA1\nDIR\tD\nTYPE\t0\n", false},
        {kHeader, false},                                            // TYPE missing
        {kHeader + u"TYPE\t2\n", false},
        {kHeader + u"TYPE\t01\n", false},
        {kHeader + u"TYPE\t0 \n", false},
        {kHeader + u"TYPE\t0\nTYPE\t0\n", false},
        {kHeader + u"TYPE\t0\nDIR\tD:\\x\n", false},                 // DIR twice
        {kHeader + u"TYPE\t0\nBASE\tD:\\x\n", false},
        {kHeader + u"TYPE\t0\nVERSION\t1\nVERSION\t2\n", false},
        {kHeader + u"TYPE\t0\nMAIN\ta\nMAIN\tb\n", true},            // MAIN may repeat
        {kHeader + u"TYPE\t0\nfile\tx\n", false},                    // keys are case-sensitive
        {kHeader + u"TYPE\t0\nOTHER\tx\n", false},
        {kHeader + u"TYPE\t0\nno tab here\n", false},
        {kHeader + u"TYPE\t0\nDADEZORORA1\n", false},
        {u"DADEZORORA1\nDIR\tD\nTYPE\t0\n", false},                  // BASE missing
        {u"DADEZORORA1\nBASE\tB\nTYPE\t0\n", false},                 // DIR missing
        {u"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(Parse(c.text), c.ok) << WideToUtf8(c.text);
}

TEST(ParseManifestBytes, Values) {
    ManifestFields f;
    ASSERT_TRUE(Parse(kHeader + u"MAIN\tfirst\nMAIN\tsecond\nTYPE\t1\nFILE\tC:\\A\\x\nFILE\tc:\\a\\X\nFILE\tC:\\b\n"
                                u"VERSION\t1.0\tbeta\n",
                      &f));
    EXPECT_EQ(f.main, u"second");
    EXPECT_EQ(f.version, u"1.0\tbeta");  // the value is the whole rest of the line
    EXPECT_EQ(f.dir, u"D:\\Apps\\工具");
    std::vector<WideBuffer> files(f.files.begin(), f.files.end());
    EXPECT_EQ(files, (std::vector<WideBuffer>{u"C:\\b", u"C:\\A\\x"}));  // duplicates collapse, newest first
    ManifestFields empty;
    ASSERT_TRUE(Parse(u"DADEZORORA1\nBASE\t\nDIR\t\nTYPE\t0\n", &empty));  // empty values parse; paths are checked later
}

TEST(ParseManifestBytes, OddAndTinySizes) {
    ByteBuffer bytes = Utf16(kHeader + u"TYPE\t0\n");
    ManifestFields f;
    EXPECT_FALSE(ParseManifestBytes(bytes.data(), bytes.size() - 1, f));
    EXPECT_FALSE(ParseManifestBytes(bytes.data(), 1, f));
    EXPECT_FALSE(ParseManifestBytes(bytes.data(), 0, f));
    EXPECT_FALSE(ParseManifestBytes(bytes.data(), 3, f));
}

TEST(ManifestDirValues, OnlyExactDirLines) {
    ByteBuffer bytes = Utf16(u"junk\nDIR\tD:\\A\ndir\tD:\\B\nDIR\t\nDIRX\tD:\\C\nDIR\n");
    std::vector<WideBuffer> dirs;
    ASSERT_TRUE(ManifestDirValues(bytes.data(), bytes.size(), dirs));
    EXPECT_EQ(dirs, (std::vector<WideBuffer>{u"D:\\A", u""}));
    EXPECT_FALSE(ManifestDirValues(bytes.data(), 3, dirs));
}

TEST(IsDirectDesktopShortcut, OnlyDirectlyOnTheDesktop) {
    const char16_t* desktop = u"C:\\Users\\u\\Desktop";
    EXPECT_TRUE(IsDirectDesktopShortcut(desktop, u"C:\\Users\\u\\Desktop\\工具.lnk"));
    EXPECT_TRUE(IsDirectDesktopShortcut(desktop, u"C:\\Users\\u\\Desktop\\TOOL.LNK"));
    EXPECT_FALSE(IsDirectDesktopShortcut(desktop, u"C:\\Users\\u\\Desktop\\sub\\tool.lnk"));
    EXPECT_FALSE(IsDirectDesktopShortcut(desktop, u"C:\\Users\\u\\Desktop\\tool.exe"));
    EXPECT_FALSE(IsDirectDesktopShortcut(desktop, u"C:\\Users\\u\\Desktop2\\tool.lnk"));
}

TEST(HasNoControlChars, Text) {
    EXPECT_TRUE(HasNoControlChars(u"D:\\软件 1"));
    EXPECT_TRUE(HasNoControlChars(u""));
    EXPECT_FALSE(HasNoControlChars(u"a\nb"));
    EXPECT_FALSE(HasNoControlChars(std::u16string(u"a\0b", 3)));
}

}  // namespace
