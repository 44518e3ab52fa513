#include "engine/files_in_use.h"

#include <gtest/gtest.h>

#include "base/log.h"

namespace {

const char16_t kHeader[] =
    u"文件被占用：\r\nC:\\Apps\\Tool\\data.bin\r\n\r\n是否强制关闭以下软件进程并继续安装？\r\n未保存的内容可能丢失。\r\n";

TEST(InUseList, PromptNamesTheFileThenOneLinePerProcess) {
    InUseList list;
    list.count = 7;  // a reused record starts over
    list.overflow = true;
    StartInUseList(list, u"C:\\Apps\\Tool\\data.bin");
    EXPECT_EQ(list.prompt, kHeader);
    EXPECT_EQ(list.count, 0u);
    EXPECT_FALSE(list.overflow);
    ASSERT_TRUE(AddInUseProcess(list, u"Tool.exe", 4242));
    ASSERT_TRUE(AddInUseProcess(list, u"助手.exe", 4294967295u));
    EXPECT_EQ(list.prompt, WideBuffer(kHeader) + u"\r\nTool.exe（PID 4242）\r\n助手.exe（PID 4294967295）");
    EXPECT_EQ(list.count, 2u);
}

// Paths and program names are arguments, never formats: a "%s" in a folder
// name must not pull in another argument or read past the list.
TEST(InUseList, PercentSignsInNamesArePrintedAsTheyAre) {
    InUseList list;
    StartInUseList(list, u"C:\\100%s\\%u.bin");
    AddInUseProcess(list, u"%s%n.exe", 9);
    EXPECT_EQ(list.prompt,
              u"文件被占用：\r\nC:\\100%s\\%u.bin\r\n\r\n是否强制关闭以下软件进程并继续安装？\r\n未保存的内容可能丢失。"
              u"\r\n\r\n%s%n.exe（PID 9）");
}

// The caller stops at the first refusal, as the snapshot walk does.
TEST(InUseList, AtMost128AndThe129thMarksTheListOverflowing) {
    struct Case { uint32_t found; uint32_t count; bool overflow; bool ask; };
    const Case cases[] = {
        {0, 0, false, false}, {1, 1, false, true},    {127, 127, false, true},
        {128, 128, false, true}, {129, 128, true, false}, {500, 128, true, false},
    };
    for (const Case& c : cases) {
        InUseList list;
        StartInUseList(list, u"C:\\A\\f");
        uint32_t offered = 0;
        while (offered < c.found && AddInUseProcess(list, u"p.exe", offered)) ++offered;
        EXPECT_EQ(list.count, c.count) << c.found;
        EXPECT_EQ(list.overflow, c.overflow) << c.found;
        EXPECT_EQ(ShouldAskToClose(list), c.ask) << c.found;
        size_t lines = 0;
        for (size_t at = list.prompt.find(u"（PID "); at != WideBuffer::npos; at = list.prompt.find(u"（PID ", at + 1)) {
            ++lines;
        }
        EXPECT_EQ(lines, c.count) << c.found;  // the refused one left no line behind
    }
}

TEST(WaitTimeLeft, OneBudgetAcrossTickWrap) {
    struct Case { uint32_t start, now, left; };
    const Case cases[] = {
        {1000, 1000, 3000},
        {1000, 1001, 2999},
        {1000, 3999, 1},
        {1000, 4000, 0},
        {1000, 90000, 0},
        {0xFFFFFF00u, 0xFFFFFF00u, 3000},
        {0xFFFFFF00u, 0x00000010u, 3000 - 0x110},  // the tick count wrapped meanwhile
        {0xFFFFFF00u, 0x00000C00u, 0},
        {1000, 999, 0},  // a clock that went back must not give 49 days
    };
    for (const Case& c : cases) EXPECT_EQ(WaitTimeLeft(c.start, c.now, kInUseWaitMs), c.left) << c.start << " " << c.now;
}

TEST(LogInUseOutcome, OneLineForAgreementOrForNothingFound) {
    struct Case { uint32_t count; bool overflow, agreed, closed; const char16_t* line; };
    const Case cases[] = {
        {2, false, true, true, u"[Parcelwright] 用户确认关闭产品12的2个进程，结果：已关闭"},
        {3, false, true, false, u"[Parcelwright] 用户确认关闭产品12的3个进程，结果：部分关闭失败"},
        {0, false, false, false, u"[Parcelwright] 文件占用但未找到可安全归属到产品目录的进程：C:\\A\\T\\%s.bin"},
        {2, false, false, false, nullptr},  // the user said no
        {128, true, false, false, nullptr},  // too many to offer
    };
    for (const Case& c : cases) {
        InUseList list;
        list.count = c.count;
        list.overflow = c.overflow;
        CapturedLogLines().clear();
        LogInUseOutcome(list, u"12", u"C:\\A\\T\\%s.bin", c.agreed, c.closed);
        if (!c.line) {
            EXPECT_TRUE(CapturedLogLines().empty()) << c.count;
            continue;
        }
        ASSERT_EQ(CapturedLogLines().size(), 1u) << c.count;
        EXPECT_EQ(CapturedLogLines()[0], c.line);
    }
}

}  // namespace
