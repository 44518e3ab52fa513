#include "engine/operation_tasks.h"

#include <gtest/gtest.h>

namespace {

TEST(InScope, SelectedRowsByFilter) {
    struct Case { bool selected, failed; int32_t row, filter; bool in; };
    const Case cases[] = {
        {true, false, 3, -1, true},  {false, false, 3, -1, false}, {true, false, 3, 3, true},
        {true, false, 3, 2, false},  {true, true, 0, -2, true},    {true, false, 0, -2, false},
        {false, true, 0, -2, false}, {true, false, 0, -7, true},   {true, true, 0, 0, true},
    };
    for (const Case& c : cases) {
        ProductEntry p;
        p.selected = c.selected;
        p.failed = c.failed;
        EXPECT_EQ(InScope(p, c.row, c.filter), c.in) << c.selected << c.failed << " " << c.row << " " << c.filter;
    }
}

TEST(ProductRoot, RecordedRootOnlyWhenInstalled) {
    ProductEntry p;
    p.installed_root = u"D:\\Old";
    EXPECT_EQ(ProductRoot(p, u"D:\\New"), u"D:\\New");  // a record of an uninstalled product counts for nothing
    p.installed = true;
    EXPECT_EQ(ProductRoot(p, u"D:\\New"), u"D:\\Old");
    p.installed_root.clear();
    EXPECT_EQ(ProductRoot(p, u"D:\\New"), u"D:\\New");
}

TEST(DefenderWarningText, ErrorsBetweenTheTwoParagraphs) {
    WideBuffer text = DefenderWarningText(u"D:\\A：失败\r\nD:\\B：失败");
    EXPECT_EQ(text.rfind(u"以下安装目录未能自动加入 Microsoft Defender 排除项，安装将继续：\r\n\r\nD:\\A：失败\r\nD:\\B：失败\r\n\r\n若错误提示", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 6), u"添加文件夹。");
}

}  // namespace
