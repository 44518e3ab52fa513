#include "base/log.h"

#include <gtest/gtest.h>

namespace {

TEST(ComposeLogLine, TimestampUtf8AndCrLf) {
    LocalTime t{2026, 3, 9, 7, 5, 2};
    EXPECT_EQ(ComposeLogLine(t, u"[Parcelwright] 主机架构：x86/x64"),
              "[2026-03-09 07:05:02] [Parcelwright] \xE4\xB8\xBB\xE6\x9C\xBA\xE6\x9E\xB6\xE6\x9E\x84"
              "\xEF\xBC\x9Ax86/x64\r\n");
    EXPECT_EQ(ComposeLogLine(LocalTime{999, 12, 31, 23, 59, 59}, u""), "[0999-12-31 23:59:59] \r\n");
}

struct Recorded {
    int calls = 0;
    std::u16string text;
    bool answer = true;
};

bool Record(void* context, ProductEntry*, const char16_t* text) {
    auto* r = static_cast<Recorded*>(context);
    ++r->calls;
    r->text = text;
    return r->answer;
}

TEST(ReportStatus, LogsThenAsksTheWindow) {
    CapturedLogLines().clear();
    Recorded r;
    r.answer = false;
    EXPECT_FALSE(ReportStatus(nullptr, u"正在下载 50%", Record, &r));
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.text, u"正在下载 50%");
    // The text is an argument, not a format: its "%" reaches the log unchanged.
    ASSERT_EQ(CapturedLogLines().size(), 1u);
    EXPECT_EQ(CapturedLogLines()[0], u"[Parcelwright] 正在下载 50%");
    EXPECT_TRUE(ReportStatus(nullptr, u"x", nullptr, nullptr));
    EXPECT_EQ(CapturedLogLines().size(), 2u);
}

}  // namespace
