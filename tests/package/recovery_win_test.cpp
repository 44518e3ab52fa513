#include "package/recovery_win.h"

#include <gtest/gtest.h>

#include "base/file_win.h"
#include "base/test_folder_win.h"
#include "base/wide_win.h"
#include "catalog/sha256_win.h"
#include "package/held_path_scenes_win.h"

namespace {

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

// Undoing an interrupted attempt acts on the very file it checked: a folder
// of the product swapped for a link to another folder at that moment leaves
// that folder as it was, for a target the attempt created (deleted when
// undone) and one it overwrote (restored from its backup).
TEST(RecoverInterruptedAttempts, ASwapAtTheMomentOfUseReachesNothingOutside) {
    for (bool overwrote : {false, true}) {
        TestFolder folder;
        ScopedEnvironment data{L"LOCALAPPDATA", (folder / u"data").c_str()};
        Victim victim;
        const WideBuffer root = folder / u"root", dir = root + u"\\Swap", work = root + u"\\temp_setup\\77-1-1";
        RecoveryLine line;
        line.target = dir + u"\\sub\\a.dll";
        line.staged = work + u"\\unpacked\\sub\\a.dll";
        ASSERT_TRUE(CreateDirectoryTree(dir + u"\\sub"));
        ASSERT_TRUE(CreateDirectoryTree(work + u"\\unpacked\\sub"));
        ASSERT_TRUE(WriteWholeFile(line.target, "written", 7));
        ASSERT_TRUE(WriteWholeFile(line.staged, "written", 7));
        ASSERT_TRUE(HashFileSha256(line.staged, line.staged_hash, &line.staged_size));
        if (overwrote) {
            line.backup = work + u"\\backup-1-1.bin";
            ASSERT_TRUE(WriteWholeFile(line.backup, "original", 8));
            ASSERT_TRUE(HashFileSha256(line.backup, line.backup_hash, &line.backup_size));
        }
        std::string record = RecoveryHeaderText(u"77", u"2.0", dir) + RecoveryLineText(line);
        std::string ledger = LedgerLineText(kLedgerAboutToOverwrite, line.target) +
                             LedgerLineText(kLedgerOverwritten, line.target);
        ASSERT_TRUE(WriteWholeFile(work + u"\\recovery.tsv", record.data(), record.size()));
        ASSERT_TRUE(WriteWholeFile(work + u"\\ledger.log", ledger.data(), ledger.size()));
        ProductEntry product;
        product.puc_type = u"77";
        product.puc_name = u"Swap";

        SwapAtUse swap(line.target, dir + u"\\sub", victim.folder.path());
        RecoverInterruptedAttempts(product, root);
        EXPECT_TRUE(swap.swapped) << overwrote;
        EXPECT_EQ(swap.renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << overwrote;
        EXPECT_TRUE(swap.linked) << overwrote;
        EXPECT_TRUE(victim.Unchanged()) << overwrote;
        RemoveLink(dir + u"\\sub");
        // The handle held the folder that moved away: the restore went there.
        // (Wine cannot delete through a handle whose folder moved behind its
        // back; the undo then fails, which is safe.)
        if (overwrote) {
            EXPECT_EQ(Read(dir + u"\\sub.moved\\a.dll"), "original");
        }
    }
}

}  // namespace
