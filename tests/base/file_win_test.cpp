#include "base/file_win.h"

#include <gtest/gtest.h>

#include "base/handles_win.h"
#include "base/test_folder_win.h"

namespace {

bool MakeFileOfSize(const WideBuffer& path, int64_t size) {
    UniqueHandle file(CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER at;
    at.QuadPart = size;
    return SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

TEST(CreateDirectoryTree, CreatesEveryLevel) {
    TestFolder folder;
    WideBuffer deep = folder / u"a\\b/软件\\c";
    EXPECT_FALSE(DirectoryExists(folder / u"a"));
    EXPECT_TRUE(CreateDirectoryTree(deep));
    EXPECT_TRUE(DirectoryExists(folder / u"a"));
    EXPECT_TRUE(DirectoryExists(folder / u"a\\b\\软件"));
    EXPECT_TRUE(DirectoryExists(deep));
    EXPECT_TRUE(CreateDirectoryTree(deep));  // already there
    EXPECT_FALSE(CreateDirectoryTree(u""));
}

TEST(CreateDirectoryTree, FailsWhenAFileIsInTheWay) {
    TestFolder folder;
    ASSERT_TRUE(WriteWholeFile(folder / u"file", "x", 1));
    EXPECT_FALSE(CreateDirectoryTree(folder / u"file\\sub"));
    EXPECT_TRUE(FileExists(folder / u"file"));
    EXPECT_FALSE(DirectoryExists(folder / u"file"));
}

// The reason shown to the user was that of the final existence check (file
// not found) instead of the creation that failed.
TEST(CreateDirectoryTree, FailureLeavesTheErrorOfTheCreation) {
    TestFolder folder;
    ASSERT_TRUE(WriteWholeFile(folder / u"file", "x", 1));
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryTree(folder / u"file"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryTree(folder / u"file\\sub\\deeper"));
    DWORD below = GetLastError();
    EXPECT_NE(below, 0u);
    EXPECT_NE(below, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryTree(folder / u"bad<name"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST(WholeFile, WriteThenReadBack) {
    TestFolder folder;
    WideBuffer path = folder / u"数据.bin";
    const uint8_t data[] = {0, 1, 2, 0xFF, 0};
    ASSERT_TRUE(WriteWholeFile(path, data, sizeof(data)));
    EXPECT_EQ(FileSize(path), 5u);
    ByteBuffer bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, ByteBuffer(data, data + 5));
    // Writing again truncates.
    ASSERT_TRUE(WriteWholeFile(path, "ab", 2));
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes.size(), 2u);
}

TEST(ReadWholeFile, SizeLimits) {
    TestFolder folder;
    ByteBuffer bytes{1, 2, 3};
    ASSERT_TRUE(WriteWholeFile(folder / u"empty", "", 0));
    EXPECT_FALSE(ReadWholeFile(folder / u"empty", bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(ReadWholeFile(folder / u"missing", bytes));
    EXPECT_FALSE(ReadWholeFile(folder.path(), bytes));  // a folder is not a file

    ASSERT_TRUE(MakeFileOfSize(folder / u"over", kMaxWholeFileSize + 1));
    EXPECT_FALSE(ReadWholeFile(folder / u"over", bytes));
    EXPECT_EQ(FileSize(folder / u"over"), kMaxWholeFileSize + 1);

    ASSERT_TRUE(MakeFileOfSize(folder / u"max", kMaxWholeFileSize));
    ASSERT_TRUE(ReadWholeFile(folder / u"max", bytes));
    EXPECT_EQ(bytes.size(), kMaxWholeFileSize);
    EXPECT_EQ(bytes.back(), 0);
}

TEST(ReadWholeFile, SharesWithReadersOnly) {
    TestFolder folder;
    WideBuffer path = folder / u"held";
    ASSERT_TRUE(WriteWholeFile(path, "abc", 3));
    ByteBuffer bytes;
    {
        UniqueHandle reader(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_TRUE(ReadWholeFile(path, bytes));
    }
    {
        UniqueHandle writer(CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer);
        EXPECT_FALSE(ReadWholeFile(path, bytes));  // someone is writing it
    }
}

TEST(FileHelpers, ExistenceAndModulePath) {
    TestFolder folder;
    EXPECT_TRUE(FileExists(folder.path()));
    EXPECT_TRUE(DirectoryExists(folder.path()));
    EXPECT_FALSE(FileExists(folder / u"none"));
    EXPECT_EQ(FileSize(folder / u"none"), 0u);
    WideBuffer module;
    ASSERT_TRUE(ModulePath(module));
    EXPECT_TRUE(EndsWithNoCase(module, u"tw_tests_win.exe"));
    EXPECT_TRUE(FileExists(module));
}

}  // namespace
