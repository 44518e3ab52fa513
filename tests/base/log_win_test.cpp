#include "base/log.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"

namespace {

std::string ReadLog(const TestFolder& folder) {
    ByteBuffer bytes;
    if (!ReadWholeFile(folder / u"TwParcelwright\\logs\\install.log", bytes)) return "";
    return std::string(bytes.begin(), bytes.end());
}

TEST(LogLine, CreatesTheFolderAndWritesUtf8WithCrLf) {
    TestFolder folder;
    ScopedEnvironment scope(L"LOCALAPPDATA", folder.path().c_str());
    EXPECT_FALSE(DirectoryExists(folder / u"TwParcelwright"));
    LogLine(u"[Parcelwright] %s 第%u步", u"主机架构：x86/x64", 2u);
    LogLine(u"second");
    std::string log = ReadLog(folder);
    std::regex line(
        "\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] \\[Parcelwright\\] "
        "\xE4\xB8\xBB\xE6\x9C\xBA\xE6\x9E\xB6\xE6\x9E\x84\xEF\xBC\x9Ax86/x64 \xE7\xAC\xAC" "2\xE6\xAD\xA5\r\n"
        "\\[[-: \\d]{19}\\] second\r\n");
    EXPECT_TRUE(std::regex_match(log, line)) << log;
    EXPECT_NE(log.compare(0, 3, "\xEF\xBB\xBF"), 0);  // no byte-order mark
}

TEST(LogLine, WithoutLocalAppDataNothingIsWrittenAndNothingFails) {
    TestFolder folder;
    ScopedEnvironment scope(L"LOCALAPPDATA", nullptr);
    LogLine(u"dropped");
    SUCCEED();
}

TEST(LogLine, TooLongLocalAppDataIsSkipped) {
    TestFolder folder;
    WideBuffer longPath = folder.path() + u"\\" + WideBuffer(300 - folder.path().size(), u'x');
    ScopedEnvironment scope(L"LOCALAPPDATA", longPath.c_str());
    LogLine(u"dropped");
    EXPECT_FALSE(DirectoryExists(longPath));
}

TEST(LogLine, ReadersMayHoldTheFileOpen) {
    TestFolder folder;
    ScopedEnvironment scope(L"LOCALAPPDATA", folder.path().c_str());
    LogLine(u"one");
    UniqueHandle reader(CreateFileW(W(folder / u"TwParcelwright\\logs\\install.log"), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    LogLine(u"two");
    EXPECT_NE(ReadLog(folder).find("] two\r\n"), std::string::npos);
}

TEST(LogLine, TwoThreadsAppendWithoutLosingOrMixingLines) {
    TestFolder folder;
    ScopedEnvironment scope(L"LOCALAPPDATA", folder.path().c_str());
    constexpr int kLines = 200;
    auto writer = [](const char16_t* tag) {
        for (int i = 0; i < kLines; ++i) LogLine(u"%s line %04d of this thread", tag, i);
    };
    std::thread a(writer, u"A");
    std::thread b(writer, u"B");
    a.join();
    b.join();
    std::string log = ReadLog(folder);
    std::regex line("\\[[-: \\d]{19}\\] ([AB]) line (\\d{4}) of this thread\r\n");
    int next[2] = {0, 0};
    auto it = std::sregex_iterator(log.begin(), log.end(), line);
    size_t covered = 0;
    for (; it != std::sregex_iterator(); ++it) {
        int who = (*it)[1] == "A" ? 0 : 1;
        EXPECT_EQ(std::stoi((*it)[2]), next[who]);  // each thread's lines in order, none lost
        ++next[who];
        covered += it->length();
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
    EXPECT_EQ(covered, log.size());  // nothing but whole lines
}

}  // namespace
