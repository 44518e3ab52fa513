#include "base/system_win.h"

#include <gtest/gtest.h>

#include "base/handles_win.h"

namespace {

TEST(FormatSystemError, PrefixCodeAndSystemText) {
    WideBuffer out = u"old";
    FormatSystemError(out, u"无法创建文件夹", ERROR_ACCESS_DENIED);
    // The system's own text follows, unchanged, line break included.
    const std::u16string expected = u"无法创建文件夹（错误 5）";
    ASSERT_GT(out.size(), expected.size());
    EXPECT_EQ(out.substr(0, expected.size()), expected);
    EXPECT_EQ(out.back(), u'\n');
}

TEST(FormatSystemError, UnknownCodeGivesEmptyText) {
    WideBuffer out;
    FormatSystemError(out, u"失败", 0x2FFFFFFFu);
    EXPECT_EQ(out, u"失败（错误 805306367）");
}

TEST(IsCancelled, FollowsTheEvent) {
    EXPECT_FALSE(IsCancelled(nullptr));
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    EXPECT_FALSE(IsCancelled(event.get()));
    SetEvent(event.get());
    EXPECT_TRUE(IsCancelled(event.get()));
    EXPECT_TRUE(IsCancelled(event.get()));  // manual reset: it stays signalled
    ResetEvent(event.get());
    EXPECT_FALSE(IsCancelled(event.get()));
}

}  // namespace
