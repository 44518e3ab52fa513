#include "package/path_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(JoinRelativeText, AcceptsAndRefuses) {
    struct Case { const char16_t* rel; bool ok; const char16_t* joined; };
    const Case cases[] = {
        {u"a/b\\c.txt", true, u"F\\a/b\\c.txt"},
        {u"lpt0", true, u"F\\lpt0"},
        {u"COM0.txt", true, u"F\\COM0.txt"},
        {u"CONSOLE", true, u"F\\CONSOLE"},
        {u"nul_", true, u"F\\nul_"},
        {u"comA", true, u"F\\comA"},
        {u".hidden", true, u"F\\.hidden"},
        {u"a..b", true, u"F\\a..b"},
        {u"a\\..\\b", false, nullptr},
        {u"..", false, nullptr},
        {u".", false, nullptr},
        {u"a\\\\b", false, nullptr},   // doubled separator
        {u"a//b", false, nullptr},
        {u"a\\", false, nullptr},      // trailing separator
        {u"", false, nullptr},
        {u"\\a", false, nullptr},      // leading separator
        {u"/a", false, nullptr},
        {u"\\\\?\\C:\\x", false, nullptr},
        {u"C:\\x", false, nullptr},    // drive letters carry a colon
        {u"a:b", false, nullptr},      // alternate data stream
        {u"a\tb", false, nullptr},
        {u"a\x1F", false, nullptr},
        {u"name.", false, nullptr},
        {u"name ", false, nullptr},
        {u"dir./x", false, nullptr},
        {u"lpt9.dat", false, nullptr},
        {u"con.txt", false, nullptr},
        {u"x/Con", false, nullptr},
        {u"aux.tar.gz", false, nullptr},
        {u"com1.log", false, nullptr},
        {u"PRN", false, nullptr},
        {u"nul", false, nullptr},
    };
    for (const Case& c : cases) {
        WideBuffer joined = u"untouched";
        EXPECT_EQ(JoinRelativeText(u"F", c.rel, joined), c.ok) << WideToUtf8(c.rel);
        if (c.ok) {
            EXPECT_EQ(joined, c.joined);
        }
    }
    WideBuffer joined;
    ASSERT_TRUE(JoinRelativeText(u"C:\\", u"x", joined));
    EXPECT_EQ(joined, u"C:\\x");  // no doubled separator after a drive root
}

TEST(IsDeviceName, EveryDeviceWithDigitsAndExtensions) {
    for (const char16_t* name : {u"CON", u"PRN", u"AUX", u"NUL"}) {
        EXPECT_TRUE(IsDeviceName(name));
        EXPECT_TRUE(IsDeviceName(std::u16string(name) + u".txt"));
        EXPECT_TRUE(IsDeviceName(std::u16string(name) + u"."));
    }
    for (const char16_t* stem : {u"COM", u"LPT", u"com", u"Lpt"}) {
        EXPECT_FALSE(IsDeviceName(std::u16string(stem) + u"0")) << WideToUtf8(stem);
        for (char16_t d = u'1'; d <= u'9'; ++d) {
            std::u16string name = std::u16string(stem) + d;
            EXPECT_TRUE(IsDeviceName(name)) << WideToUtf8(name);
            EXPECT_TRUE(IsDeviceName(name + u".bin")) << WideToUtf8(name);
        }
        EXPECT_FALSE(IsDeviceName(std::u16string(stem) + u"10"));
    }
    EXPECT_FALSE(IsDeviceName(u"CONSOLE"));
    EXPECT_FALSE(IsDeviceName(u"xCON"));
    EXPECT_FALSE(IsDeviceName(u""));
}

TEST(IsStrictlyUnder, Boundaries) {
    struct Case { const char16_t* folder; const char16_t* path; bool under; };
    const Case cases[] = {
        {u"D:\\Apps", u"D:\\Apps\\x", true},
        {u"D:\\Apps", u"d:\\apps\\x", true},
        {u"D:\\Apps", u"D:\\Apps2\\x", false},
        {u"D:\\Apps", u"D:\\Apps", false},
        {u"D:\\Apps", u"D:\\Apps\\", true},
        {u"D:\\Apps\\", u"D:\\Apps\\x", false},  // a trailing backslash contains nothing
        {u"D:\\Apps", u"D:\\Apps/x", false},
        {u"", u"\\x", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsStrictlyUnder(c.folder, c.path), c.under) << WideToUtf8(c.folder) << " " << WideToUtf8(c.path);
    }
}

TEST(SanitizeFolderName, ReplacesAndTrims) {
    struct Case { const char16_t* name; const char16_t* folder; };
    const Case cases[] = {
        {u"图片工具", u"图片工具"},
        {u"A/B\\C:D*E?F\"G<H>I|J", u"A_B_C_D_E_F_G_H_I_J"},
        {u"tab\there", u"tab_here"},
        {u"Tool 2.0. . ", u"Tool 2.0"},
        {u"...", u""},
        {u" ", u""},
        {u"", u""},
        {u".NET", u".NET"},
    };
    for (const Case& c : cases) EXPECT_EQ(SanitizeFolderName(c.name), c.folder) << WideToUtf8(c.name);
}

TEST(InstallRootCharactersAllowed, Scan) {
    EXPECT_TRUE(InstallRootCharactersAllowed(u"D:\\Apps"));
    EXPECT_TRUE(InstallRootCharactersAllowed(u"D:/Apps/软件"));
    for (const char16_t* bad : {u"D:\\A*", u"D:\\A?", u"D:\\\"A\"", u"D:\\<A>", u"D:\\A|B", u"D:\\A:B", u":D\\A",
                                u"D:\\A\nB"}) {
        EXPECT_FALSE(InstallRootCharactersAllowed(bad)) << WideToUtf8(bad);
    }
}

TEST(InstallRootSegmentsAllowed, NoTrailingDotsOrSpaces) {
    // "." and ".." resolve to an acceptable root; only names the system would
    // silently shorten are refused.
    for (const char16_t* good : {u"D:\\Apps\\", u"D:/A.b/c d", u"D:\\Tools\\..\\Apps", u".\\Apps", u"..\\Apps",
                                 u"D:/a/./b", u"D:\\Apps\\.", u"D:\\Apps\\.."}) {
        EXPECT_TRUE(InstallRootSegmentsAllowed(good)) << WideToUtf8(good);
    }
    for (const char16_t* bad : {u"D:\\Apps.", u"D:\\Apps \\x", u"D:\\x\\...\\y", u"D:\\Apps. \\", u"D:\\.. \\x",
                                u"D:\\. ", u"ab.", u"a.\\b", u"D:a."}) {
        EXPECT_FALSE(InstallRootSegmentsAllowed(bad)) << WideToUtf8(bad);
    }
}

TEST(TrimTrailingBackslashes, DriveRootKeepsItsBackslash) {
    EXPECT_EQ(TrimTrailingBackslashes(u"D:\\"), u"D:\\");
    EXPECT_EQ(TrimTrailingBackslashes(u"D:\\Apps\\"), u"D:\\Apps");
    EXPECT_EQ(TrimTrailingBackslashes(u"D:\\Apps\\\\"), u"D:\\Apps");
    EXPECT_EQ(TrimTrailingBackslashes(u"D:\\a"), u"D:\\a");
}

TEST(ReparseCheckPrefixes, FromIndexThree) {
    EXPECT_EQ(ReparseCheckPrefixes(u"C:\\a\\b"), (std::vector<WideBuffer>{u"C:\\a", u"C:\\a\\b"}));
    EXPECT_EQ(ReparseCheckPrefixes(u"C:\\"), (std::vector<WideBuffer>{u"C:\\"}));  // a root only as the whole path
    EXPECT_EQ(ReparseCheckPrefixes(u"C:"), std::vector<WideBuffer>{});
    EXPECT_EQ(ReparseCheckPrefixes(u"C:\\a\\"), (std::vector<WideBuffer>{u"C:\\a", u"C:\\a\\"}));
}

TEST(IsDirectChildShape, OneLevelOnly) {
    EXPECT_TRUE(IsDirectChildShape(u"D:\\Apps", u"D:\\Apps\\Tool"));
    EXPECT_FALSE(IsDirectChildShape(u"D:\\Apps", u"D:\\Apps\\Tool\\bin"));
    EXPECT_FALSE(IsDirectChildShape(u"D:\\Apps", u"D:\\Apps"));
}

}  // namespace
