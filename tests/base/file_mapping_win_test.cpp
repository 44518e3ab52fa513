#include "base/file_mapping.h"

#include <gtest/gtest.h>


#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "engine/running_win.h"
#include "engine/stand_in_win.h"
#include "file_mapping_cases.h"

namespace {

WideBuffer WriteMappedFile(const TestFolder& folder) {
    WideBuffer path = folder / u"安装包.zip";
    std::string bytes = MappedFileBytes();
    WriteWholeFile(path, bytes.data(), bytes.size());
    return path;
}

// The error an open of path with this access and sharing gets, 0 when it opens.
DWORD OpenError(const WideBuffer& path, DWORD access, DWORD share) {
    UniqueHandle file(CreateFileW(W(path), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 0 : GetLastError();
}

TEST(FileMapping, ViewsOfEveryRange) {
    TestFolder folder;
    FileMapping file;
    ASSERT_TRUE(file.Open(WriteMappedFile(folder)));
    CheckEveryView(file);
}

TEST(FileMapping, Opening) {
    TestFolder folder;
    WriteWholeFile(folder / u"a.zip", "PK", 2);
    WriteWholeFile(folder / u"empty.zip", "", 0);
    CreateDirectoryW(W(folder / u"package.zip"), nullptr);
    struct Case { const char* what; WideBuffer path; bool opens; uint64_t size; };
    const Case cases[] = {
        {"a file", folder / u"a.zip", true, 2},
        {"an empty file (the system maps none)", folder / u"empty.zip", true, 0},
        {"a missing file", folder / u"missing.zip", false, 0},
        {"a folder", folder / u"package.zip", false, 0},
    };
    for (const Case& c : cases) {
        FileMapping file;
        EXPECT_EQ(file.Open(c.path), c.opens) << c.what;
        EXPECT_EQ(file.size(), c.size) << c.what;
        const uint8_t* view = file.View(0, 1);
        EXPECT_EQ(view != nullptr, c.size > 0) << c.what;
        file.Release(view, 0, 1);
    }
}

// While the mapping is open, readers may come and go but nothing that could
// change the bytes under the walk opens the file.
TEST(FileMapping, KeepsWritersOutWhileOpen) {
    TestFolder folder;
    WideBuffer path = WriteMappedFile(folder);
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    struct Case { const char* what; DWORD access; DWORD share; DWORD error; };
    const Case cases[] = {
        {"a writer sharing everything", GENERIC_WRITE, all, ERROR_SHARING_VIOLATION},
        {"a reader that wants to write too", GENERIC_READ | GENERIC_WRITE, all, ERROR_SHARING_VIOLATION},
        {"a deleter", DELETE, all, ERROR_SHARING_VIOLATION},
        {"a reader sharing everything", GENERIC_READ, all, 0},
        {"a reader sharing reading only", GENERIC_READ, FILE_SHARE_READ, 0},
    };
    {
        FileMapping file;
        ASSERT_TRUE(file.Open(path));
        const uint8_t* view = file.View(65536, 10);
        ASSERT_NE(view, nullptr);
        for (const Case& c : cases) EXPECT_EQ(OpenError(path, c.access, c.share), c.error) << c.what;
        EXPECT_EQ(view[0], MappedByteAt(65536));
        file.Release(view, 65536, 10);
    }
    // Afterwards nothing of it is left: a writer can cut the file short,
    // which the system refuses while any view of it exists.
    UniqueHandle writer(CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_TRUE(SetEndOfFile(writer.get()));
}

TEST(FileMapping, DoesNotOpenAFileSomeoneIsWriting) {
    TestFolder folder;
    WideBuffer path = WriteMappedFile(folder);
    {
        // A writer that lets others read and write: reading alone is not
        // enough, the mapping shares no writing.
        UniqueHandle writer(CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(writer);
        FileMapping file;
        EXPECT_FALSE(file.Open(path));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(file.View(0, 1), nullptr);
    }
    {
        // The stand-in opens through the ANSI functions: ASCII names. It says
        // it holds the file with a second file; probing the held file itself
        // could take it first and make the stand-in's exclusive open fail.
        WideBuffer held = folder / u"held.zip", holding = folder / u"holding";
        ASSERT_TRUE(CopyFileW(W(path), W(held), FALSE));
        RunningPrograms programs;
        StandIn holder(folder / u"holder\\holder.exe",
                       "hold " + WideToUtf8(held) + "\nwrite " + WideToUtf8(holding) + " x\n");
        HANDLE process = programs.Start(holder.path());
        ASSERT_TRUE(process && WaitUntil([&] { return FileExists(holding) || !IsRunning(process); }));
        ASSERT_TRUE(IsRunning(process));  // a stand-in that could not hold the file has ended
        FileMapping file;
        EXPECT_FALSE(file.Open(held));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
}

}  // namespace
