#include "base/text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

TEST(TextCompare, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(CompareNoCase(u"ABC", u"abc"), 0);
    EXPECT_EQ(CompareNoCase(u"Program Files", u"PROGRAM FILES"), 0);
    // Non-ASCII letters keep their case: Ä (U+00C4) and ä (U+00E4) differ.
    EXPECT_NE(CompareNoCase(u"\u00C4", u"\u00E4"), 0);
    EXPECT_NE(CompareNoCase(u"\uFF21", u"\uFF41"), 0);  // fullwidth A/a
    // '[' (0x5B) sorts after 'Z' but before 'a': folding happens before the difference.
    EXPECT_EQ(CompareNoCase(u"Z", u"["), u'z' - u'[');
    EXPECT_EQ(CompareExact(u"Z", u"["), u'Z' - u'[');
}

TEST(TextCompare, DifferenceOfFirstDifferingUnit) {
    EXPECT_EQ(CompareExact(u"abc", u"abd"), -1);
    EXPECT_EQ(CompareExact(u"ab", u"abc"), -static_cast<int>(u'c'));
    EXPECT_EQ(CompareNoCase(u"abC", u"ab"), static_cast<int>(u'c'));
    EXPECT_EQ(CompareExact(TextView(nullptr), u""), 0);  // null reads as ""
    EXPECT_LT(CompareNoCase(TextView(nullptr), u"a"), 0);
}

TEST(TextSearch, PrefixSuffixContains) {
    EXPECT_TRUE(StartsWithNoCase(u"TW_SETUP_O77", u"tw_setup_o"));
    EXPECT_TRUE(StartsWithNoCase(u"x", u""));
    EXPECT_FALSE(StartsWithNoCase(u"tw", u"tw_"));
    EXPECT_TRUE(EndsWithNoCase(u"setup.EXE", u".exe"));
    EXPECT_FALSE(EndsWithNoCase(u"exe", u".exe"));
    EXPECT_TRUE(ContainsNoCase(u"Content-Type: TEXT/HTML", u"text/html"));
    EXPECT_FALSE(ContainsNoCase(u"abc", u""));
    EXPECT_FALSE(ContainsNoCase(u"", u"a"));
    EXPECT_FALSE(ContainsNoCase(u"ab", u"abc"));
    EXPECT_EQ(WideLength(nullptr), 0u);
    EXPECT_EQ(ByteLength(nullptr), 0u);
    EXPECT_EQ(WideLength(u"软件"), 2u);
}

TEST(TextConvert, RoundTripsEveryPlane) {
    const std::u16string text = u"A é 软件 \U0001F600 \uFFFF";
    std::string utf8 = WideToUtf8(text);
    EXPECT_EQ(utf8, "A \xC3\xA9 \xE8\xBD\xAF\xE4\xBB\xB6 \xF0\x9F\x98\x80 \xEF\xBF\xBF");
    EXPECT_EQ(Utf8ToWide(utf8), text);
    EXPECT_EQ(Utf8ToWide(""), u"");
    EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(TextConvert, IllFormedUtf8BecomesReplacementCharacters) {
    struct Case { std::string bytes; std::u16string expected; };
    const Case cases[] = {
        {"\x80", u"\uFFFD"},                       // lone continuation byte
        {"a\xC3", u"a\uFFFD"},                     // truncated at the end
        {"\xC0\xAF", u"\uFFFD\uFFFD"},             // overlong "/": C0 is never valid
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},   // overlong three-byte form
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},   // encoded surrogate D800
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xE8\xBD", u"\uFFFD"},                   // maximal subpart is one replacement
        {"\xE8\xBDx", u"\uFFFDx"},
        {"\xF0\x9F\x98", u"\uFFFD"},
        {"\xFF\xFE", u"\uFFFD\uFFFD"},
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8ToWide(c.bytes), c.expected);
}

TEST(TextConvert, LoneSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(WideToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
    EXPECT_EQ(WideToUtf8(std::u16string{u'\xDC00', u'a'}), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(WideToUtf8(std::u16string{u'\xD83D', u'\xD83D', u'\xDE00'}), "\xEF\xBF\xBD\xF0\x9F\x98\x80");
}

TEST(TextHex, LowercaseDigits) {
    const uint8_t bytes[] = {0x00, 0x9F, 0xA0, 0xFF};
    EXPECT_EQ(HexLower(bytes, 4), "009fa0ff");
    EXPECT_EQ(HexLower(bytes, 0), "");
}

TEST(PathJoin, OnlyBackslashCountsAsSeparator) {
    struct Case { const char16_t* dir; const char16_t* name; const char16_t* expected; };
    const Case cases[] = {
        {u"C:\\", u"a", u"C:\\a"},
        {u"C:\\x", u"", u"C:\\x"},
        {u"C:/x", u"a", u"C:/x\\a"},
        {u"C:\\x/", u"a", u"C:\\x/\\a"},
        {u"", u"a", u"a"},
        {u"", u"", u""},
        {u"D:\\Tarnwick软件", u"产品", u"D:\\Tarnwick软件\\产品"},
    };
    for (const Case& c : cases) {
        WideBuffer out = u"old contents";
        PathJoin(out, c.dir, c.name);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(FolderOfPath, TextBeforeTheLastBackslash) {
    struct Case { const char16_t* path; const char16_t* expected; };
    const Case cases[] = {
        {u"C:\\Apps\\Tool\\tool.exe", u"C:\\Apps\\Tool"},
        {u"C:\\tool.exe", u"C:"},
        {u"C:\\Apps\\", u"C:\\Apps"},
        {u"C:/Apps/tool.exe", u""},  // "/" is not the separator here
        {u"tool.exe", u""},
        {u"", u""},
        {u"\\\\server\\share\\产品\\主程序.exe", u"\\\\server\\share\\产品"},
    };
    for (const Case& c : cases) EXPECT_EQ(FolderOfPath(c.path), c.expected) << WideToUtf8(c.path);
}

TEST(IsDecimalDigits, OnlyAsciiDigitsAndNotEmpty) {
    struct Case { const char16_t* text; bool expected; };
    const Case cases[] = {
        {u"0", true}, {u"12", true}, {u"0012", true}, {u"", false}, {u"12a", false}, {u"a12", false},
        {u"+1", false}, {u"-1", false}, {u"1 ", false}, {u" 1", false}, {u"1.0", false},
        {u"\uff11\uff12", false},  // full-width digits
        {u"\u0661", false},         // Arabic-Indic one
        {u"/", false}, {u":", false},  // the neighbours of '0' and '9'
    };
    for (const Case& c : cases) EXPECT_EQ(IsDecimalDigits(c.text), c.expected) << WideToUtf8(c.text);
}

TEST(AppendQuotedArgument, TrailingBackslashesAreDoubled) {
    struct Case { const char16_t* value; const char16_t* expected; };
    const Case cases[] = {
        {u"C:\\dir\\", u"x \"C:\\dir\\\\\""},
        {u"C:\\dir", u"x \"C:\\dir\""},
        {u"a\\\\", u"x \"a\\\\\\\\\""},
        {u"", u"x \"\""},
        {u"a\\b c", u"x \"a\\b c\""},  // inner backslashes stay single
    };
    for (const Case& c : cases) {
        WideBuffer out = u"x";
        AppendQuotedArgument(out, c.value);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(StringList, UniqueWithoutRegardToAsciiCaseNewestFirst) {
    StringList list;
    StringListAddUnique(list, u"C:\\A\\x.exe");
    StringListAddUnique(list, u"c:\\a\\X.EXE");
    StringListAddUnique(list, u"C:\\B");
    StringListAddUnique(list, u"C:\\\u00C4");
    StringListAddUnique(list, u"C:\\\u00E4");  // not an ASCII letter: a different item
    std::vector<WideBuffer> items(list.begin(), list.end());
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0], u"C:\\\u00E4");
    EXPECT_EQ(items[2], u"C:\\B");
    EXPECT_EQ(items[3], u"C:\\A\\x.exe");  // the first spelling is kept
}

// The adder gives the list one add at a time gives, starting from a list that
// already holds items, and stays linear over a list of a large product.
TEST(StringList, AdderAddsAsOneAtATimeDoes) {
    const std::vector<std::vector<WideBuffer>> cases = {
        {},
        {u"C:\\A\\x.exe", u"c:\\a\\X.EXE", u"C:\\B"},
        {u"C:\\\u00C4", u"C:\\\u00E4", u"c:\\\u00c4", u"", u""},
        {u"C:\\P\\a", u"C:\\P\\A", u"C:\\Q\\a", u"C:\\p\\a\\"},
    };
    for (const std::vector<WideBuffer>& texts : cases) {
        StringList expected = {u"c:\\p\\A", u"C:\\B"};
        StringList actual = expected;
        for (const WideBuffer& text : texts) StringListAddUnique(expected, text);
        StringListAdder adder(actual);
        for (const WideBuffer& text : texts) adder.Add(text);
        EXPECT_EQ(actual, expected) << texts.size();
    }
    StringList large;
    StringListAdder adder(large);
    const size_t n = 50000;
    for (size_t i = 0; i < 2 * n; ++i) {
        WideBuffer path = u"C:\\Product\\file-" + Utf8ToWide(std::to_string(i % n));
        if (i >= n) path[3] = u'p';  // the second round differs in case only
        adder.Add(path);
    }
    EXPECT_EQ(std::distance(large.begin(), large.end()), static_cast<long>(n));
    EXPECT_EQ(large.front(), u"C:\\Product\\file-49999");
}

}  // namespace
