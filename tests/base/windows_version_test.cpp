#include "base/windows_version.h"

#include <gtest/gtest.h>

namespace {

TEST(ClassifyWindowsVersion, VersionRecords) {
    struct Case { uint32_t major, minor, build, type; WindowsVersionCode expected; };
    const Case cases[] = {
        {10, 0, 19045, 1, kWindows10},
        {10, 0, 21999, 1, kWindows10},
        {10, 0, 22000, 1, kWindows11},
        {10, 0, 26100, 1, kWindows11},
        {10, 0, 26100, 3, kWindowsServer},   // server edition
        {10, 0, 17763, 2, kWindowsServer},   // domain controller
        {6, 1, 7601, 3, kWindowsServer},     // server wins over any version
        {10, 1, 22000, 1, kWindowsUnknown},
        {6, 0, 6002, 1, kWindowsUnknown},    // Vista-era kernel
        {6, 1, 7601, 1, kWindows7},
        {6, 2, 9200, 1, kWindows8},
        {6, 3, 9600, 1, kWindows81},
        {6, 4, 9600, 1, kWindowsUnknown},
        {5, 1, 2600, 1, kWindowsUnknown},
        {11, 0, 30000, 1, kWindowsUnknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyWindowsVersion(c.major, c.minor, c.build, c.type), c.expected)
            << c.major << "." << c.minor << "." << c.build << " type " << c.type;
    }
}

TEST(WindowsVersionName, TokensAndNames) {
    EXPECT_EQ(OsTokenCode(u"WIN8.1"), kWindows81);
    EXPECT_EQ(OsTokenCode(u"WinServer"), kWindowsServer);
    EXPECT_EQ(OsTokenCode(u"win 10"), kWindowsUnknown);
    EXPECT_EQ(OsTokenCode(u""), kWindowsUnknown);
    EXPECT_EQ(std::u16string(WindowsVersionName(kWindowsUnknown)), u"无法识别的 Windows 版本");
    EXPECT_EQ(std::u16string(WindowsVersionName(kWindows81)), u"Windows 8.1");
    EXPECT_EQ(std::u16string(WindowsVersionName(static_cast<WindowsVersionCode>(9))), u"无法识别的 Windows 版本");
}

TEST(NextOsToken, SplitsOnBothCommasAndTrims) {
    std::u16string list = u" win10 ，\tWIN11,,x ";
    std::vector<std::u16string> tokens;
    size_t position = 0;
    WideBuffer token;
    while (NextOsToken(list, position, token)) tokens.push_back(token);
    EXPECT_EQ(tokens, (std::vector<std::u16string>{u"win10", u"WIN11", u"", u"x"}));
    // A trailing separator yields no extra empty token: the text ends right after it.
    position = 0;
    tokens.clear();
    while (NextOsToken(u"a,", position, token)) tokens.push_back(token);
    EXPECT_EQ(tokens, (std::vector<std::u16string>{u"a"}));
    position = 0;
    EXPECT_FALSE(NextOsToken(u"", position, token));
}

TEST(IsOsSupported, Lists) {
    struct Case { const char16_t* list; WindowsVersionCode running; bool expected; };
    const Case cases[] = {
        {u"", kWindowsUnknown, true},
        {u"   ", kWindows7, true},           // blanks only: no restriction
        {u",", kWindows10, false},           // commas only: a restriction nothing meets
        {u" ， ", kWindows10, false},
        {u"win10,win11", kWindows11, true},
        {u"win10，win11", kWindows11, true},
        {u"  win10 ,  WIN11  ", kWindows11, true},
        {u"win10,win11", kWindows7, false},
        {u"win8", kWindows81, true},         // "win8" also admits 8.1
        {u"win8", kWindows8, true},
        {u"win8.1", kWindows8, false},
        {u"win10,foo", kWindowsUnknown, false},  // an unrecognised system is always refused
        {u"foo", kWindowsUnknown, false},
        {u"winserver", kWindowsServer, true},
        {u"win10,,", kWindows10, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsOsSupported(c.list, c.running), c.expected)
            << "list [" << std::string(WideToUtf8(c.list)) << "] running " << c.running;
    }
}

TEST(DescribeSupportedSystems, Texts) {
    struct Case { const char16_t* list; WindowsVersionCode running; const char16_t* expected; };
    const Case cases[] = {
        {u"win10,foo", kWindows10, u"支持系统：Windows 10、foo\r\n当前系统：Windows 10"},
        {u"win8，WIN8.1 , winserver", kWindows81,
         u"支持系统：Windows 8 / 8.1、Windows 8.1、Windows Server\r\n当前系统：Windows 8.1"},
        {u"", kWindowsUnknown, u"支持系统：未声明系统限制\r\n当前系统：无法识别的 Windows 版本"},
        {u" , ", kWindows7, u"支持系统：未声明系统限制\r\n当前系统：Windows 7"},
        {u" Win 7 ", kWindows7, u"支持系统：Win 7\r\n当前系统：Windows 7"},  // unknown tokens as written
    };
    for (const Case& c : cases) {
        WideBuffer out = u"stale";
        DescribeSupportedSystems(c.list, c.running, out);
        EXPECT_EQ(out, c.expected);
    }
}

}  // namespace
