#include "package/zip_extract_win.h"

#include <gtest/gtest.h>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "package/zip_walk.h"
#include "zip_builder.h"

namespace {

struct Extraction {
    TestFolder folder;
    InstallTransaction t;
    ProductEntry product;
    WideBuffer staging = folder / u"unpacked";

    Extraction() {
        t.work_folder = folder.path();
        t.ledger_path = folder / u"ledger.log";
        CreateDirectoryTree(staging);
        product.package_path = folder / u"package.bin";
    }
    bool Run(const std::string& archive, HANDLE cancel = nullptr) {
        WriteWholeFile(product.package_path, archive.data(), archive.size());
        return ExtractZipPackage(product, t, staging, cancel);
    }
    std::string Read(std::u16string_view relative) {
        ByteBuffer bytes;
        if (!ReadWholeFile(staging + u"\\" + WideBuffer(relative), bytes)) return "<missing>";
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST(ExtractZipPackage, WritesAndRegistersEveryFile) {
    Extraction x;
    ZipBuilder zip;
    zip.Add("bin/", "");
    zip.Add("bin/tool.exe", "MZ tool", 8);
    zip.Add("数据/readme.txt", "说明", 0);
    zip.Add("empty.txt", "");
    ASSERT_TRUE(x.Run(zip.Build())) << WideToUtf8(x.product.last_error);
    EXPECT_EQ(x.Read(u"bin\\tool.exe"), "MZ tool");
    EXPECT_EQ(x.Read(u"数据\\readme.txt"), "说明");
    EXPECT_TRUE(FileExists(x.staging + u"\\empty.txt"));
    EXPECT_EQ(FileSize(x.staging + u"\\empty.txt"), 0u);
    EXPECT_TRUE(DirectoryExists(x.staging + u"\\bin"));
    EXPECT_NE(FindLedgerEntry(x.t, x.staging + u"\\bin\\tool.exe"), nullptr);
    EXPECT_NE(FindLedgerEntry(x.t, x.staging + u"\\数据\\readme.txt"), nullptr);
    EXPECT_NE(FindLedgerEntry(x.t, x.staging + u"\\empty.txt"), nullptr);
    EXPECT_EQ(FindLedgerEntry(x.t, x.staging + u"\\bin"), nullptr);  // folders are not registered
    EXPECT_EQ(x.t.entries.size(), 3u);
}

TEST(ExtractZipPackage, SecondEntryOfTheSameNameFailsAndTheFirstStaysRegistered) {
    Extraction x;
    ZipBuilder zip;
    zip.Add("same.txt", "first");
    zip.Add("SAME.TXT", "second");  // the file system ignores case
    EXPECT_FALSE(x.Run(zip.Build()));
    EXPECT_EQ(x.product.last_error, kZipEntryFailed);
    EXPECT_EQ(x.Read(u"same.txt"), "first");
    EXPECT_NE(FindLedgerEntry(x.t, x.staging + u"\\same.txt"), nullptr);
}

TEST(ExtractZipPackage, Messages) {
    {
        Extraction x;
        EXPECT_FALSE(x.Run("PK\x05\x06"));  // shorter than an end record
        EXPECT_EQ(x.product.last_error, kZipTooLarge);
    }
    {
        Extraction x;
        x.product.package_path = x.folder / u"missing.bin";
        EXPECT_FALSE(ExtractZipPackage(x.product, x.t, x.staging, nullptr));
        EXPECT_EQ(x.product.last_error, kZipTooLarge);
    }
    {
        Extraction x;
        ZipBuilder zip;
        EXPECT_FALSE(x.Run(zip.Build()));  // empty archive
        EXPECT_EQ(x.product.last_error, kZipFormatUnsupported);
    }
    {
        Extraction x;
        ZipBuilder zip;
        zip.Add("a.txt", "a");
        UniqueHandle cancel(CreateEventW(nullptr, TRUE, TRUE, nullptr));
        EXPECT_FALSE(x.Run(zip.Build(), cancel.get()));
        EXPECT_EQ(x.product.last_error, kZipCancelled);
        EXPECT_FALSE(FileExists(x.staging + u"\\a.txt"));
    }
    {
        Extraction x;
        ZipBuilder zip;
        zip.Add("../outside.txt", "x");
        EXPECT_FALSE(x.Run(zip.Build()));
        EXPECT_EQ(x.product.last_error, kZipEntryFailed);
        EXPECT_FALSE(FileExists(x.folder / u"outside.txt"));
    }
}

TEST(ExtractZipPackage, NeverWritesThroughALinkInTheStagingFolder) {
    Extraction x;
    TestFolder outside;
    ASSERT_TRUE(MakeUnixSymlink(outside.path(), x.staging + u"\\link"));
    ZipBuilder zip;
    zip.Add("link/planted.dll", "x");
    EXPECT_FALSE(x.Run(zip.Build()));
    EXPECT_FALSE(FileExists(outside / u"planted.dll"));
}

TEST(DetectPackageFormat, Files) {
    TestFolder folder;
    struct Case { std::string bytes; PackageFormat format; };
    ZipBuilder zip;
    zip.Add("a", "b");
    const Case cases[] = {
        {zip.Build(), kFormatZip},
        {std::string("MZ") + std::string(100, '\0') + "Rar!\x1a\x07", kFormatRarSfx},
        {std::string("MZ\0\0\0\0\0", 7), kFormatExe},
        {std::string("PK\x03\x04\0", 5), kFormatUnknown},
    };
    for (const Case& c : cases) {
        WideBuffer path = folder / u"p.bin";
        ASSERT_TRUE(WriteWholeFile(path, c.bytes.data(), c.bytes.size()));
        EXPECT_EQ(DetectPackageFormat(path), c.format);
    }
    EXPECT_EQ(DetectPackageFormat(folder / u"missing"), kFormatUnknown);
}

}  // namespace
