#include "base/file_mapping.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "base/text.h"
#include "file_mapping_cases.h"

namespace {

// A private folder under the system's temporary folder, removed at the end.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/tw_mapping_XXXXXX";
        path_ = mkdtemp(pattern) ? pattern : "";
    }
    ~TempFolder() {
        for (const std::string& file : files_) unlink(file.c_str());
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) rmdir(it->c_str());
        rmdir(path_.c_str());
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary) << bytes;
        files_.push_back(file);
        return file;
    }
    std::string Folder(const std::string& name) {
        std::string folder = path_ + "/" + name;
        mkdir(folder.c_str(), 0700);
        folders_.push_back(folder);
        return folder;
    }

private:
    std::string path_;
    std::vector<std::string> files_, folders_;
};

TEST(FileMapping, ViewsOfEveryRange) {
    TempFolder folder;
    FileMapping file;
    ASSERT_TRUE(file.Open(Utf8ToWide(folder.Write("数据.bin", MappedFileBytes()))));
    CheckEveryView(file);
}

TEST(FileMapping, Opening) {
    TempFolder folder;
    struct Case { const char* what; std::string path; bool opens; uint64_t size; };
    const Case cases[] = {
        {"a file", folder.Write("a.zip", "PK"), true, 2},
        {"an empty file", folder.Write("empty.zip", ""), true, 0},
        {"a missing file", folder.Folder("sub") + "/missing.zip", false, 0},
        {"a folder", folder.Folder("package.zip"), false, 0},
    };
    for (const Case& c : cases) {
        FileMapping file;
        EXPECT_EQ(file.Open(Utf8ToWide(c.path)), c.opens) << c.what;
        EXPECT_EQ(file.size(), c.size) << c.what;
        const uint8_t* view = file.View(0, 1);
        EXPECT_EQ(view != nullptr, c.size > 0) << c.what;
        file.Release(view, 0, 1);
    }
}

}  // namespace
