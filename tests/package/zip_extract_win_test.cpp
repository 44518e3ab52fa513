#include "package/zip_extract_win.h"

#include <gtest/gtest.h>

#include "base/file_mapping.h"
#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "package/zip_walk.h"
#include "zip_builder.h"
#include "zip_layouts.h"

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

// The package is read through views that start on 64 KiB boundaries: data
// on either side of one, an entry that ends the file, a package far larger
// than any one view.
TEST(ExtractZipPackage, ReadsAcrossViewBoundaries) {
    std::string data(100000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + (i >> 9));
    struct Case { const char* what; std::string archive; const char16_t* file; std::string content; };
    const Case cases[] = {
        {"data a byte before a boundary", ArchiveWithDataAt(65535, data), u"at.bin", data},
        {"data on a boundary", ArchiveWithDataAt(65536, data), u"at.bin", data},
        {"deflated data on a boundary", ArchiveWithDataAt(65536, data, 8), u"at.bin", data},
        {"data a byte after a boundary", ArchiveWithDataAt(65537, data), u"at.bin", data},
        {"an entry ending at the last byte", ArchiveEndingInAnEntry("tail", 4), u"tail.txt", "tail"},
        {"a package of about 6 MiB with a 1.4 MiB directory", ArchiveWithLargeDirectory(24, 60000, 200000).Build(),
         u"e23.bin", std::string(200000, 'x')},
    };
    for (const Case& c : cases) {
        Extraction x;
        ASSERT_TRUE(x.Run(c.archive)) << c.what << ": " << WideToUtf8(x.product.last_error);
        EXPECT_TRUE(x.Read(c.file) == c.content) << c.what;
    }
}

// Another program writing the package could change bytes after their CRC
// passed, so extraction does not read a package that has a writer.
TEST(ExtractZipPackage, APackageSomeoneWritesIsNotRead) {
    Extraction x;
    ZipBuilder zip;
    zip.Add("a.txt", "a");
    const std::string archive = zip.Build();
    WriteWholeFile(x.product.package_path, archive.data(), archive.size());
    UniqueHandle writer(CreateFileW(W(x.product.package_path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_FALSE(ExtractZipPackage(x.product, x.t, x.staging, nullptr));
    EXPECT_EQ(x.product.last_error, kZipTooLarge);
    EXPECT_FALSE(FileExists(x.staging + u"\\a.txt"));
}

struct WriterProbe {
    WideBuffer package;
    std::vector<DWORD> errors;

    static bool File(void* c, const ZipEntry&, const uint8_t*, size_t) {
        auto* probe = static_cast<WriterProbe*>(c);
        UniqueHandle writer(CreateFileW(W(probe->package), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        probe->errors.push_back(writer ? 0 : GetLastError());
        return true;
    }
};

TEST(ExtractZipPackage, AWriterIsRefusedWhileTheWalkRuns) {
    Extraction x;
    ZipBuilder zip;
    zip.Add("a.txt", "a");
    zip.Add("b.txt", std::string(70000, 'b'), 8);
    const std::string archive = zip.Build();
    WriteWholeFile(x.product.package_path, archive.data(), archive.size());
    WriterProbe probe{x.product.package_path, {}};
    {
        FileMapping package;
        ASSERT_TRUE(package.Open(x.product.package_path));
        ZipWalkCallbacks callbacks{
            [](const uint8_t* bytes, size_t size, bool, WideBuffer& name) {
                name.assign(bytes, bytes + size);
                return true;
            },
            [](void*, std::u16string_view destination, std::u16string_view name, WideBuffer& target) {
                target = WideBuffer(destination) + u"\\" + WideBuffer(name);
                return true;
            },
            [](void*) { return false; }, [](void*, const ZipEntry&) { return true; }, WriterProbe::File, &probe};
        WideBuffer message;
        EXPECT_TRUE(WalkZip(MappedZipSource(package), x.staging, callbacks, message)) << WideToUtf8(message);
    }
    const DWORD refused = ERROR_SHARING_VIOLATION;
    EXPECT_EQ(probe.errors, (std::vector<DWORD>{refused, refused}));
}

// Nothing holds path: it opens without sharing and can be cut short, which
// the system refuses while a view of it is left.
bool NothingHolds(const WideBuffer& path) {
    UniqueHandle file(CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && SetEndOfFile(file.get());
}

// The package is let go whatever the outcome: the install deletes it later.
TEST(ExtractZipPackage, LetsThePackageGoAfterwards) {
    ZipBuilder good;
    good.Add("a.txt", "a");
    ZipBuilder bad;
    bad.Add("a.txt", "a");
    bad.Add("c.bin", "abc").crc = 1;
    for (const ZipBuilder* zip : {&good, &bad}) {
        Extraction x;
        EXPECT_EQ(x.Run(zip->Build()), zip == &good);
        EXPECT_TRUE(NothingHolds(x.product.package_path));
    }
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
