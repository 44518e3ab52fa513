#include "prereq/prerequisite_install.h"

#include <gtest/gtest.h>

#include "base/log.h"
#include "catalog/product.h"
#include "prereq/prerequisites.h"

namespace {

using M = PrerequisiteMethod;

// Wine is always 64-bit with one build number; 32-bit Windows and the builds
// after the last one with the .NET 3.5 feature exist only here.
TEST(ChoosePrerequisiteMethod, RowWindowsBitnessAndBuild) {
    struct Case { int row; bool win64; uint32_t build; M method; };
    const Case cases[] = {
        {0, true, 19045, M::kDism},       {0, false, 7601, M::kDism},
        {0, true, 27999, M::kDism},       {0, true, 28000, M::kDownload},
        {0, true, 0, M::kDism},           // unknown build: an older Windows
        {1, true, 10, M::kDownload},      {12, false, 28000, M::kDownload},
        {4, false, 19045, M::kSkipNot64Bit}, {6, false, 0, M::kSkipNot64Bit},
        {8, false, 30000, M::kSkipNot64Bit}, {10, false, 7601, M::kSkipNot64Bit},
        {10, true, 7601, M::kDownload},   {3, false, 7601, M::kDownload},  // the 32-bit variant
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChoosePrerequisiteMethod(c.row, c.win64, c.build), c.method)
            << c.row << " " << c.win64 << " " << c.build;
    }
}

TEST(IsAcceptedInstallerExit, CodesAndRestartNotes) {
    struct Case { uint32_t code; bool accepted, restart; };
    const Case cases[] = {
        {0, true, false},          {1638, true, false},       {1641, true, true},
        {3010, true, true},        {2147944038u, true, false}, {1603, false, false},
        {1, false, false},         {1223, false, false},       {2147944039u, false, false},
        {0xFFFFFFFFu, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsAcceptedInstallerExit(c.code), c.accepted) << c.code;
        EXPECT_EQ(ExitNeedsRestart(c.code), c.restart) << c.code;
    }
}

TEST(PrerequisiteSizes, AnnouncedAndReceivedLimits) {
    struct Announced { const char16_t* text; bool tooLarge; };
    const Announced announced[] = {
        {u"536870912", false}, {u"536870913", true}, {u"", false}, {u"0", false},
        {u"99999999999999999999999", true},  // saturates instead of wrapping to a small value
        {u"12abc", false}, {u"5368709120", true},
    };
    for (const Announced& a : announced) EXPECT_EQ(AnnouncedSizeTooLarge(a.text), a.tooLarge) << WideToUtf8(a.text);
    struct Received { uint64_t received, announced; bool abnormal; };
    const Received received[] = {
        {10, 10, false}, {11, 10, true}, {536870912, 0, false}, {536870913, 0, true},
        {536870913, 600000000, true}, {5, 0, false},
    };
    for (const Received& r : received) {
        EXPECT_EQ(ReceivedSizeAbnormal(r.received, r.announced), r.abnormal) << r.received << "/" << r.announced;
    }
}

TEST(PrerequisiteArguments, DismAndDirectX) {
    EXPECT_EQ(std::u16string(kDismArguments), u"/Online /Enable-Feature /FeatureName:NetFx3 /All /NoRestart");
    EXPECT_EQ(DirectXUnpackArguments(u"D:\\R\\temp_setup\\7-1-2\\directx_june2010"),
              u"/Q /T:\"D:\\R\\temp_setup\\7-1-2\\directx_june2010\"");
}

TEST(AddPrerequisiteWarning, JoinsWarningsAndLogsEach) {
    CapturedLogLines().clear();
    ProductEntry p;
    AddPrerequisiteWarning(p, 9, u"安装程序退出代码 1603。");
    AddPrerequisiteWarning(p, 12, u"");
    EXPECT_EQ(p.env_warnings, u"VC++ 2019（32 位）：安装程序退出代码 1603。；DirectX 运行库（2010 年 6 月版）：安装未完成");
    ASSERT_EQ(CapturedLogLines().size(), 2u);
    EXPECT_EQ(CapturedLogLines()[0], u"[Parcelwright] 环境程序安装警告：VC++ 2019（32 位）：安装程序退出代码 1603。");
    EXPECT_EQ(CapturedLogLines()[1], u"[Parcelwright] 环境程序安装警告：DirectX 运行库（2010 年 6 月版）：安装未完成");
}

}  // namespace
