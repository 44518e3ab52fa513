// Every hash the install records (the ledger's entries, the backups', the
// recovery record's) is compared with one computed apart from the files on
// disk: hashes taken where the bytes pass must equal hashes read back.
#include <gtest/gtest.h>

#include "base/file_win.h"
#include "base/test_folder_win.h"
#include "catalog/sha256_win.h"
#include "package/ledger_win.h"
#include "package/recovery.h"
#include "package/recovery_win.h"
#include "package/transaction_win.h"
#include "package/zip_extract_win.h"
#include "zip_builder.h"

namespace {

void ExpectFileHolds(const WideBuffer& path, const WideBuffer& hash, uint64_t size, const char* what) {
    WideBuffer actual;
    uint64_t actualSize = 0;
    ASSERT_TRUE(HashFileSha256(path, actual, &actualSize)) << what << " " << WideToUtf8(path);
    EXPECT_EQ(actual, hash) << what << " " << WideToUtf8(path);
    EXPECT_EQ(actualSize, size) << what << " " << WideToUtf8(path);
}

TEST(RecordedHashes, EqualTheFilesOnDisk) {
    TestFolder folder;
    InstallTransaction t;
    ProductEntry product;
    t.root = folder / u"root";
    t.work_folder = folder / u"root\\temp_setup\\12-1-1";
    t.ledger_path = t.work_folder + u"\\ledger.log";
    const WideBuffer staging = t.work_folder + u"\\unpacked", dir = folder / u"root\\产品";
    product.puc_type = u"12";
    product.version = u"2.0";
    product.deploy_dir = dir;
    product.package_path = t.work_folder + u"\\package.zip";
    ASSERT_TRUE(CreateDirectoryTree(staging));
    ASSERT_TRUE(CreateDirectoryTree(dir + u"\\bin"));

    // Empty, small, stored and deflated, larger than one copy buffer, and
    // some over files that are there already (backed up).
    ZipBuilder zip;
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
    zip.Add("empty.txt", "");
    zip.Add("bin/tool.exe", "MZ new tool", 8);
    zip.Add("bin/big.dat", big, 8);
    zip.Add("数据/说明.txt", "说明", 0);
    zip.Add("stored.bin", std::string(70000, 'x'), 0);
    ASSERT_TRUE(WriteWholeFile(dir + u"\\bin\\tool.exe", "MZ old tool", 11));
    ASSERT_TRUE(WriteWholeFile(dir + u"\\stored.bin", "old", 3));
    std::string archive = zip.Build();
    ASSERT_TRUE(WriteWholeFile(product.package_path, archive.data(), archive.size()));

    ASSERT_TRUE(BeginAttemptRecord(product, t));
    ASSERT_TRUE(KeepLedgerOpen(t));
    ASSERT_TRUE(KeepRecoveryRecordOpen(t));
    ASSERT_TRUE(ExtractZipPackage(product, t, staging, nullptr)) << WideToUtf8(product.last_error);
    ASSERT_TRUE(RegisterTreeAsTemp(t, staging));
    ASSERT_TRUE(DeployTree(product, t, staging, staging, nullptr)) << WideToUtf8(product.last_error);

    size_t installed = 0, backups = 0, staged = 0;
    for (const LedgerEntry& entry : t.entries) {
        ExpectFileHolds(entry.path, entry.hash, entry.size, entry.temporary ? "temporary" : "installed");
        if (!entry.backup_path.empty()) {
            ExpectFileHolds(entry.backup_path, entry.backup_hash, entry.backup_size, "backup");
            ++backups;
        }
        installed += !entry.temporary;
        staged += entry.temporary && entry.path.rfind(staging, 0) == 0;
    }
    EXPECT_EQ(installed, 5u);
    EXPECT_EQ(backups, 2u);
    EXPECT_EQ(staged, 5u);

    t.recovery_file.reset();  // read back as recovery reads it
    ByteBuffer bytes;
    ASSERT_TRUE(ReadWholeFile(t.recovery_path, bytes));
    RecoveryRecord record;
    ASSERT_TRUE(ParseRecoveryRecord(bytes.data(), bytes.size(), record));
    ASSERT_EQ(record.lines.size(), 5u);
    for (const RecoveryLine& line : record.lines) {
        ExpectFileHolds(line.staged, line.staged_hash, line.staged_size, "staged");
        ExpectFileHolds(line.target, line.staged_hash, line.staged_size, "target as written");
        if (!line.backup.empty()) ExpectFileHolds(line.backup, line.backup_hash, line.backup_size, "recorded backup");
    }
}

TEST(Sha256Stream, PiecesHashAsTheWhole) {
    const std::string text = "The quick brown fox jumps over the lazy dog";
    WideBuffer whole, pieces;
    ASSERT_TRUE(HashBytesSha256(text.data(), text.size(), whole));
    EXPECT_EQ(whole, u"d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592");
    Sha256Stream stream;
    ASSERT_TRUE(stream.Begin());
    for (size_t i = 0; i < text.size(); i += 5) ASSERT_TRUE(stream.Add(text.data() + i, std::min<size_t>(5, text.size() - i)));
    EXPECT_EQ(stream.Size(), text.size());
    ASSERT_TRUE(stream.Finish(pieces));
    EXPECT_EQ(pieces, whole);
    // Used again after Begin, as a new hash.
    ASSERT_TRUE(stream.Begin());
    ASSERT_TRUE(stream.Finish(pieces));
    EXPECT_EQ(pieces, u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
