#include "startup/command_line.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseProductNumber, Boundaries) {
    struct Case { const char16_t* text; bool ok; uint32_t value; };
    const Case cases[] = {
        {u"1", true, 1},
        {u"012", true, 12},
        {u"000000000000000000007", true, 7},  // leading zeros never overflow
        {u"2147483646", true, 2147483646},
        {u"2147483647", false, 0},
        {u"2147483650", false, 0},
        {u"4294967308", false, 0},  // wraps to 12 in 32 bits
        {u"99999999999999999999", false, 0},
        {u"0", false, 0},
        {u"00", false, 0},
        {u"", false, 0},
        {u"-1", false, 0},
        {u"+1", false, 0},
        {u"12a", false, 0},
        {u" 12", false, 0},
        {u"１２", false, 0},  // fullwidth digits are not digits here
    };
    for (const Case& c : cases) {
        uint32_t value = 0;
        EXPECT_EQ(ParseProductNumber(c.text, value), c.ok) << WideToUtf8(c.text);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
    }
}

struct NameCase {
    const char16_t* path;
    uint32_t filter;
    bool locked;
    uint32_t preferred;
};

TEST(ApplyExecutableName, Patterns) {
    const NameCase cases[] = {
        {u"C:\\Users\\a\\Downloads\\tw_setup_o123.exe", 123, true, 0},
        {u"C:\\x\\TW_SETUP_O77.EXE", 77, true, 0},
        {u"C:\\x\\tw_setup_123.exe", 0, false, 123},
        {u"C:/x/tw_setup_5.exe", 0, false, 5},
        {u"tw_setup_o9", 9, true, 0},  // no extension, no folder
        {u"C:\\x\\tw_setup_other.exe", 0, false, 0},
        {u"C:\\x\\tw_setup_o123 (1).exe", 0, false, 0},
        {u"C:\\x\\tw_setup_12.exe.exe", 0, false, 0},
        {u"C:\\x\\tw_setup_o0.exe", 0, false, 0},
        {u"C:\\x\\tw_setup_o2147483647.exe", 0, false, 0},
        {u"C:\\x\\tw_setup_o.exe", 0, false, 0},
        {u"C:\\x\\tw_setup.exe", 0, false, 0},
        // "tw_setup_o" is the only prefix tried once the name starts with it,
        // so "tw_setup_only5" is not read as "tw_setup_" + "only5" either.
        {u"C:\\x\\tw_setup_only5.exe", 0, false, 0},
        {u"C:\\tw_setup_o5\\setup.exe", 0, false, 0},  // folder names do not count
        {u"C:\\x\\my_tw_setup_5.exe", 0, false, 0},
    };
    for (const NameCase& c : cases) {
        AppState app;
        ApplyExecutableName(app, c.path);
        EXPECT_EQ(app.productFilter, c.filter) << WideToUtf8(c.path);
        EXPECT_EQ(app.productLocked, c.locked) << WideToUtf8(c.path);
        EXPECT_EQ(app.preferredProduct, c.preferred) << WideToUtf8(c.path);
    }
}

struct ArgsCase {
    std::vector<WideBuffer> args;
    CommandLineResult result;
    uint32_t filter;
    const char16_t* path;
};

TEST(ApplyArguments, Rules) {
    using R = CommandLineResult;
    const ArgsCase cases[] = {
        {{}, R::kStart, 0, u""},
        {{u"--puctype", u"12"}, R::kStart, 12, u""},
        {{u"--PUCTYPE=12"}, R::kStart, 12, u""},
        {{u"--puctype=012"}, R::kStart, 12, u""},
        {{u"--puctype=2147483646"}, R::kStart, 2147483646, u""},
        {{u"--puctype", u"3", u"--puctype=4"}, R::kStart, 4, u""},  // the last one counts
        {{u"--puctype=0"}, R::kInvalid, 0, u""},
        {{u"--puctype=-1"}, R::kInvalid, 0, u""},
        {{u"--puctype", u"12a"}, R::kInvalid, 0, u""},
        {{u"--puctype", u"2147483647"}, R::kInvalid, 0, u""},
        {{u"--puctype"}, R::kInvalid, 0, u""},
        {{u"--puctype="}, R::kInvalid, 0, u""},
        {{u"--puctype", u"--path", u"D:\\x"}, R::kInvalid, 0, u""},
        {{u"--path", u"D:\\Apps"}, R::kStart, 0, u"D:\\Apps"},
        {{u"--Path=D:\\软件 目录\\"}, R::kStart, 0, u"D:\\软件 目录\\"},
        {{u"--path", u"a", u"--path", u"b"}, R::kStart, 0, u"b"},
        {{u"--path="}, R::kInvalid, 0, u""},
        {{u"--path", u""}, R::kInvalid, 0, u""},
        {{u"--path"}, R::kInvalid, 0, u""},
        {{u"D:\\Apps"}, R::kInvalid, 0, u""},      // a path without --path
        {{u"--pathD:\\x"}, R::kInvalid, 0, u""},
        {{u"-puctype", u"1"}, R::kInvalid, 0, u""},
        {{u"--help"}, R::kHelp, 0, u""},
        {{u"-h"}, R::kHelp, 0, u""},
        {{u"--HELP"}, R::kHelp, 0, u""},
        {{u"--puctype", u"5", u"-h", u"bogus"}, R::kHelp, 5, u""},  // help stops the walk
        {{u"bogus", u"--help"}, R::kInvalid, 0, u""},  // an error before help wins
    };
    for (const ArgsCase& c : cases) {
        AppState app;
        EXPECT_EQ(ApplyArguments(app, c.args), c.result) << (c.args.empty() ? "" : WideToUtf8(c.args[0]));
        if (c.result != R::kInvalid) {
            EXPECT_EQ(app.productFilter, c.filter);
            EXPECT_EQ(app.pathArgument, c.path);
        }
    }
}

TEST(ApplyArguments, LockedProductFromFileName) {
    AppState app;
    ApplyExecutableName(app, u"C:\\Downloads\\TW_SETUP_O77.EXE");
    EXPECT_EQ(ApplyArguments(app, {u"--puctype", u"77"}), CommandLineResult::kStart);
    EXPECT_EQ(app.productFilter, 77u);
    EXPECT_EQ(ApplyArguments(app, {u"--puctype=077"}), CommandLineResult::kStart);
    EXPECT_EQ(ApplyArguments(app, {u"--puctype", u"78"}), CommandLineResult::kInvalid);
    EXPECT_EQ(app.productFilter, 77u);
}

TEST(ApplyArguments, PreferredProductIsNotALock) {
    AppState app;
    ApplyExecutableName(app, u"C:\\Downloads\\tw_setup_5.exe");
    EXPECT_EQ(ApplyArguments(app, {u"--puctype", u"9"}), CommandLineResult::kStart);
    EXPECT_EQ(app.productFilter, 9u);
    EXPECT_FALSE(app.productLocked);
    EXPECT_EQ(app.preferredProduct, 5u);
}

}  // namespace
