#include "engine/install_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(OutsideProductFilter, ExactDecimalTextOnly) {
    struct Case { uint32_t filter; const char16_t* pucType; bool outside; };
    const Case cases[] = {
        {0, u"12", false}, {0, u"", false}, {12, u"12", false}, {12, u"0012", true}, {12, u"13", true},
        {12, u"12 ", true}, {12, u"", true}, {4294967295u, u"4294967295", false}, {1, u"01", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OutsideProductFilter(c.filter, c.pucType), c.outside) << c.filter << " " << WideToUtf8(c.pucType);
    }
}

TEST(ClassifyDeployFailure, ZipOrExtractionMessages) {
    struct Case { PackageFormat format; const char16_t* error; uint32_t before, after; };
    const Case cases[] = {
        {kFormatZip, u"无法覆盖文件，程序正在运行中，请关闭后再试", 0, 4},  // a ZIP failure is the package's
        {kFormatZip, u"解压后未找到主程序，可能被安全软件删除", 0, 3},
        {kFormat7z, u"解压失败，退出码 2。安装包可能损坏", 0, 4},
        {kFormatRar, u"安装包不是有效的 zip 格式", 1, 4},           // ASCII case ignored
        {kFormat7zSfx, u"无法覆盖文件，程序正在运行中，请关闭后再试", 0, 0},
        {kFormatRarSfx, u"目标目录不安全或无法创建。", 5, 5},
        {kFormat7z, u"", 2, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyDeployFailure(c.format, c.error, c.before), c.after) << WideToUtf8(c.error);
    }
}

}  // namespace
