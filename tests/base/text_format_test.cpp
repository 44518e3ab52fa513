#include "base/text_format.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

template <typename... Args>
std::u16string Format(const char16_t* format, const Args&... args) {
    WideBuffer out;
    EXPECT_TRUE(TextFormat(out, format, args...));
    return out;
}

TEST(TextFormat, ConversionsOf32BitValues) {
    EXPECT_EQ(Format(u"%d|%i|%u", -7, 42, 7u), u"-7|42|7");
    EXPECT_EQ(Format(u"%x|%X", 0xBEEFu, 255), u"beef|FF");
    EXPECT_EQ(Format(u"%d", INT_MIN), u"-2147483648");
    EXPECT_EQ(Format(u"%u", UINT_MAX), u"4294967295");
    // A negative value given to an unsigned conversion shows its 32-bit pattern.
    EXPECT_EQ(Format(u"%u|%x", -1, -1), u"4294967295|ffffffff");
    // A 32-bit conversion sees only the low 32 bits of a wider argument.
    EXPECT_EQ(Format(u"%d", int64_t{0x100000005}), u"5");
    EXPECT_EQ(Format(u"%d", 0xFFFFFFFFu), u"-1");
}

TEST(TextFormat, SixtyFourBitForms) {
    EXPECT_EQ(Format(u"%I64d", INT64_MIN), u"-9223372036854775808");
    EXPECT_EQ(Format(u"%I64i", int64_t{-1}), u"-1");
    EXPECT_EQ(Format(u"%I64u", UINT64_MAX), u"18446744073709551615");
    EXPECT_EQ(Format(u"%I64x|%I64X", uint64_t{0x123456789ABCDEF0}, uint64_t{0xABCDEF0123}),
              u"123456789abcdef0|ABCDEF0123");
    EXPECT_EQ(Format(u"%016I64x", uint64_t{0xABC}), u"0000000000000abc");
    // "I6" without the 4 is not a size prefix: "%I" is printed and no argument used.
    EXPECT_EQ(Format(u"%I6d|%d", 3), u"%I6d|3");
}

TEST(TextFormat, Widths) {
    struct Case { const char16_t* format; int64_t value; const char16_t* expected; };
    const Case cases[] = {
        {u"%04d", -5, u"-0005"},       // the sign comes before the zeros
        {u"%08x", 0xABC, u"00000abc"},
        {u"%02d", 7, u"07"},
        {u"%02d", 123, u"123"},        // a width never truncates
        {u"%0d", 9, u"9"},             // "0" alone is a width of zero
        {u"%00003u", 4, u"004"},
        {u"%099d", 1, u"000000000000000000000001"},  // padding stops at 24 digits
        {u"%024d", -1, u"-000000000000000000000001"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Format(c.format, static_cast<int32_t>(c.value)), c.expected) << std::string(c.format, c.format + 5);
    }
}

TEST(TextFormat, WidthNeedsLeadingZero) {
    // "%5d" is not a conversion: it is printed as is and consumes no argument.
    EXPECT_EQ(Format(u"%5d %d", 42), u"%5d 42");
    EXPECT_EQ(Format(u"%-3d", 1), u"%-3d");
}

TEST(TextFormat, Strings) {
    const char16_t* none = nullptr;
    const char* noneUtf8 = nullptr;
    EXPECT_EQ(Format(u"[%s]", u"软件"), u"[软件]");
    EXPECT_EQ(Format(u"[%s]", none), u"[(null)]");
    EXPECT_EQ(Format(u"[%s]", WideBuffer(u"x")), u"[x]");
    EXPECT_EQ(Format(u"[%S]", "\xE5\xAE\x89\xE8\xA3\x85"), u"[安装]");
    EXPECT_EQ(Format(u"[%S]", noneUtf8), u"[(null)]");
    EXPECT_EQ(Format(u"[%S]", ""), u"[]");
    EXPECT_EQ(Format(u"%c%c", 0x41, 0x10000 + 0x4E2D), u"A中");  // low 16 bits only
    EXPECT_EQ(Format(u"100%%"), u"100%");
}

TEST(TextFormat, UnknownConversionsAndEnds) {
    EXPECT_EQ(Format(u"a%qb", 1), u"a%qb");
    EXPECT_EQ(Format(u"end%"), u"end");           // a lone "%" at the end ends formatting
    EXPECT_EQ(Format(u"w%012", 5), u"w");         // ending inside a width ends formatting
    EXPECT_EQ(Format(u"w%0I64", 5), u"w");
}

TEST(TextFormat, MismatchedOrMissingArgumentsAreHarmless) {
    // Where C would read garbage, the typed formatter prints a neutral value.
    EXPECT_EQ(Format(u"%d %s"), u"0 (null)");
    EXPECT_EQ(Format(u"%s", 5), u"(null)");
    EXPECT_EQ(Format(u"%d", u"text"), u"0");
    EXPECT_EQ(Format(u"%S", u"wide"), u"(null)");
}

TEST(TextFormat, AppendsWithoutClearing) {
    WideBuffer out = u"前缀";
    TextFormat(out, u"%u", 1u);
    EXPECT_EQ(out, u"前缀1");
}

// The destination given again as an argument once read freed memory: appending
// made the buffer grow while the %s still pointed into its old storage.
TEST(TextFormat, DestinationMayAlsoBeAnArgument) {
    WideBuffer out = u"安装";
    out.shrink_to_fit();
    TextFormat(out, u"失败：%s（%s）", out, out.c_str());
    EXPECT_EQ(out, u"安装失败：安装（安装）");
    WideBuffer longer(300, u'x');
    TextFormat(longer, u"%s", longer);
    EXPECT_EQ(longer, WideBuffer(600, u'x'));
}

}  // namespace
