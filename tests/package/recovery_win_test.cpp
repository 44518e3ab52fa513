#include "package/recovery_win.h"

#include <gtest/gtest.h>

#include "base/file_win.h"
#include "base/test_folder_win.h"
#include "base/wide_win.h"

namespace {

std::string Read(const WideBuffer& path) {
    ByteBuffer bytes;
    if (!ReadWholeFile(path, bytes)) return "<missing>";
    return std::string(bytes.begin(), bytes.end());
}

// The record's lines go only into the file the attempt made: a name that is
// a second link to a file elsewhere is refused, and that file stays as it is.
TEST(RecordOverwrite, NeverWritesThroughASecondLink) {
    TestFolder folder;
    InstallTransaction t;
    t.work_folder = folder / u"root\\temp_setup\\12-1-1";
    ProductEntry product;
    product.puc_type = u"12";
    product.version = u"2.0";
    product.deploy_dir = folder / u"root\\工具";
    WideBuffer staged = t.work_folder + u"\\unpacked\\a.txt", victim = folder / u"victim.txt";
    ASSERT_TRUE(CreateDirectoryTree(t.work_folder + u"\\unpacked"));
    ASSERT_TRUE(WriteWholeFile(staged, "new", 3));
    ASSERT_TRUE(WriteWholeFile(victim, "precious", 8));

    ASSERT_TRUE(BeginAttemptRecord(product, t));
    ASSERT_TRUE(RecordOverwrite(t, staged, product.deploy_dir + u"\\a.txt", LedgerEntry(), product));
    std::string written = Read(t.recovery_path);
    EXPECT_EQ(written.rfind("TWRECOVERY1\t12\t2.0\t", 0), 0u);
    EXPECT_NE(written.find("\\a.txt\t\t0\t\t3\t"), std::string::npos) << written;

    ASSERT_TRUE(DeleteFileW(W(t.recovery_path)));
    ASSERT_TRUE(CreateHardLinkW(W(t.recovery_path), W(victim), nullptr));
    EXPECT_FALSE(RecordOverwrite(t, staged, product.deploy_dir + u"\\b.txt", LedgerEntry(), product));
    EXPECT_EQ(Read(victim), "precious");
    EXPECT_NE(product.last_error.find(u"无法保存安装恢复记录"), WideBuffer::npos);
}

}  // namespace
