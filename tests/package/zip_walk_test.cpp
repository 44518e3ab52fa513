#include "package/zip_walk.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <memory>

#include "package/path_rules.h"
#include "zip_builder.h"

namespace {

// The walk with in-memory callbacks: names are UTF-8 or Latin-1, joins are
// the text rules below "C:\staging", files land in a map (a second file of
// the same name fails, as CREATE_NEW does).
struct Walk {
    std::map<std::u16string, std::string> files;
    std::vector<std::u16string> directories;
    int cancelAfter = -1;
    int asked = 0;
    WideBuffer message;
    bool ok = false;

    static bool Decode(const uint8_t* bytes, size_t size, bool utf8, WideBuffer& name) {
        if (utf8) {
            name = Utf8ToWide(std::string(reinterpret_cast<const char*>(bytes), size));
        } else {
            name.assign(bytes, bytes + size);
        }
        return true;
    }
    static bool Join(std::u16string_view destination, std::u16string_view name, WideBuffer& target) {
        return JoinRelativeText(destination, name, target) && IsStrictlyUnder(destination, target);
    }
    static bool Cancelled(void* c) {
        auto* w = static_cast<Walk*>(c);
        return w->cancelAfter >= 0 && w->asked++ >= w->cancelAfter;
    }
    static bool Directory(void* c, const ZipEntry& e) {
        static_cast<Walk*>(c)->directories.push_back(e.target);
        return true;
    }
    static bool File(void* c, const ZipEntry& e, const uint8_t* data, size_t size) {
        auto* w = static_cast<Walk*>(c);
        return w->files.emplace(e.target, std::string(reinterpret_cast<const char*>(data), size)).second;
    }
    void Run(const std::string& archive) {
        // Exactly sized, so any read past the end faults.
        std::unique_ptr<uint8_t[]> image(new uint8_t[archive.size() ? archive.size() : 1]);
        std::copy(archive.begin(), archive.end(), image.get());
        ZipWalkCallbacks cb{Decode, Join, Cancelled, Directory, File, this};
        ok = WalkZip(image.get(), archive.size(), u"C:\\staging", cb, message);
    }
};

Walk RunZip(const ZipBuilder& zip) {
    Walk w;
    w.Run(zip.Build());
    return w;
}

std::string Deflate(const std::string& data, int level) {
    z_stream z = {};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(WalkZip, ExtractsEntries) {
    ZipBuilder zip;
    zip.Add("bin/", "");
    zip.Add("bin/app.exe", "MZ program bytes", 0);
    zip.Add("docs\\说明.txt", std::string(5000, 'x'), 8);
    zip.Add("empty.dat", "");
    std::string text = "text that zlib compresses with matches, matches, matches";
    ZipBuilderEntry& real = zip.Add("real.txt", text, 8);
    real.compressed = Deflate(text, 9);
    zip.Add("late.bin", "sizes after the data", 8).descriptor = true;
    ZipBuilderEntry& latin = zip.Add("caf\xE9.txt", "x");
    latin.flags = 0;  // not UTF-8: the ANSI code page decides
    Walk w = RunZip(zip);
    ASSERT_TRUE(w.ok) << WideToUtf8(w.message);
    EXPECT_EQ(w.directories, (std::vector<std::u16string>{u"C:\\staging\\bin"}));
    EXPECT_EQ(w.files[u"C:\\staging\\bin\\app.exe"], "MZ program bytes");
    EXPECT_EQ(w.files[u"C:\\staging\\docs\\说明.txt"], std::string(5000, 'x'));
    EXPECT_EQ(w.files.count(u"C:\\staging\\empty.dat"), 1u);
    EXPECT_EQ(w.files[u"C:\\staging\\empty.dat"], "");
    EXPECT_EQ(w.files[u"C:\\staging\\real.txt"], text);
    EXPECT_EQ(w.files[u"C:\\staging\\late.bin"], "sizes after the data");
    EXPECT_EQ(w.files.count(u"C:\\staging\\caf\u00E9.txt"), 1u);
}

TEST(WalkZip, ArchiveLevelFailures) {
    const std::u16string format = kZipFormatUnsupported;
    struct Case { const char* what; std::function<void(ZipBuilder&)> change; std::u16string message; };
    const Case cases[] = {
        {"no entries", [](ZipBuilder& z) { z.entries.clear(); }, format},
        {"disk number", [](ZipBuilder& z) { z.disk = 1; }, format},
        {"central directory disk", [](ZipBuilder& z) { z.cdDisk = 1; }, format},
        {"count 0xFFFF (ZIP64)", [](ZipBuilder& z) { z.count = 0xFFFF; }, format},
        {"offset 0xFFFFFFFF (ZIP64)", [](ZipBuilder& z) { z.cdOffset = 0xFFFFFFFF; }, format},
        {"offset past the end", [](ZipBuilder& z) { z.cdOffset = 100000; }, format},
        {"count larger than the directory", [](ZipBuilder& z) { z.count = 2; }, kZipEntryFailed},
    };
    for (const Case& c : cases) {
        ZipBuilder zip;
        zip.Add("a.txt", "a");
        c.change(zip);
        Walk w = RunZip(zip);
        EXPECT_FALSE(w.ok) << c.what;
        EXPECT_EQ(w.message, c.message) << c.what;
    }
    Walk tiny;
    tiny.Run(std::string("PK\x05\x06", 4) + std::string(17, '\0'));  // 21 bytes
    EXPECT_EQ(tiny.message, kZipTooLarge);
    Walk none;
    none.Run(std::string(100, 'x'));
    EXPECT_EQ(none.message, format);
}

TEST(WalkZip, ArchivesShorterThanAHeaderAreReadWithinBounds) {
    // An end record pointing at a "directory" in a file too short to hold one
    // (a read past the end here once went unnoticed by the offset arithmetic).
    for (size_t size : {29, 45}) {
        std::string archive(size, '\0');
        archive.replace(0, 4, "PK\x01\x02", 4);  // a central header signature, and no room for the rest
        archive.replace(size - 22, 4, "PK\x05\x06", 4);
        archive[size - 22 + 10] = 1;  // one entry at offset 0
        Walk w;
        w.Run(archive);
        EXPECT_FALSE(w.ok) << size;
        EXPECT_EQ(w.message, std::u16string(kZipEntryFailed)) << size;
    }
}

TEST(WalkZip, CommentLimits) {
    ZipBuilder zip;
    zip.Add("a.txt", "a");
    zip.comment = std::string(65535, 'c');
    EXPECT_TRUE(RunZip(zip).ok);  // the longest comment is searched through

    // The end record may start 65,535 bytes before the last 22, not 65,536.
    ZipBuilder plain;
    plain.Add("a.txt", "a");
    std::string archive = plain.Build();
    Walk inside;
    inside.Run(archive + std::string(65535, 'x'));
    EXPECT_TRUE(inside.ok) << WideToUtf8(inside.message);
    Walk far;
    far.Run(archive + std::string(65536, 'x'));
    EXPECT_EQ(far.message, std::u16string(kZipFormatUnsupported));
}

TEST(WalkZip, EntryFailures) {
    struct Case { const char* what; std::function<void(ZipBuilder&)> change; };
    const Case cases[] = {
        {"empty name", [](ZipBuilder& z) { z.Add("", "x"); }},
        {"encrypted", [](ZipBuilder& z) { z.Add("e.txt", "x").flags |= 1; }},
        {"over 256 MiB", [](ZipBuilder& z) { z.Add("big", "x").uncompressedSize = 268435457; }},
        {"symbolic link", [](ZipBuilder& z) { z.Add("link", "target").externalAttributes = 0xA1FF0000; }},
        {"climbs out", [](ZipBuilder& z) { z.Add("../evil.txt", "x"); }},
        {"dot-dot segment", [](ZipBuilder& z) { z.Add("a/../../evil.txt", "x"); }},
        {"device name", [](ZipBuilder& z) { z.Add("con", "x"); }},
        {"device with extension", [](ZipBuilder& z) { z.Add("sub/lpt1.txt", "x"); }},
        {"trailing full stop", [](ZipBuilder& z) { z.Add("name.", "x"); }},
        {"drive letter", [](ZipBuilder& z) { z.Add("C:/Windows/evil.dll", "x"); }},
        {"absolute", [](ZipBuilder& z) { z.Add("/etc/x", "x"); }},
        {"unsupported method", [](ZipBuilder& z) { z.Add("m.bin", "x", 12); }},
        {"stored sizes differ", [](ZipBuilder& z) { z.Add("s.bin", "abc").compressedSize = 2; }},
        {"deflate one byte short", [](ZipBuilder& z) { z.Add("d.bin", "abcd", 8).uncompressedSize = 5; }},
        {"deflate one byte long", [](ZipBuilder& z) { z.Add("d.bin", "abcd", 8).uncompressedSize = 3; }},
        {"CRC mismatch", [](ZipBuilder& z) { z.Add("c.bin", "abc").crc = 1; }},
        {"duplicate name", [](ZipBuilder& z) { z.Add("dup.txt", "1"); z.Add("DUP.txt", "2"); z.Add("dup.txt", "3"); }},
        {"bad local header", [](ZipBuilder& z) { z.Add("l.txt", "x").localOffset = 1; }},
        {"local header past the end", [](ZipBuilder& z) { z.Add("l.txt", "x").localOffset = 0x7FFFFFF0; }},
        {"data past the end", [](ZipBuilder& z) { z.Add("p.txt", "x").compressedSize = 1000000; }},
        {"corrupt deflate", [](ZipBuilder& z) { z.Add("x.bin", "abc", 8).compressed = std::string("\x07", 1); }},
    };
    for (const Case& c : cases) {
        ZipBuilder zip;
        zip.Add("first.txt", "kept");
        c.change(zip);
        Walk w = RunZip(zip);
        EXPECT_FALSE(w.ok) << c.what;
        EXPECT_EQ(w.message, std::u16string(kZipEntryFailed)) << c.what;
        EXPECT_EQ(w.files.count(u"C:\\staging\\first.txt"), 1u) << c.what;  // earlier entries stay
    }
}

TEST(WalkZip, CancelledBeforeTheNextEntry) {
    ZipBuilder zip;
    zip.Add("a.txt", "a");
    zip.Add("b.txt", "b");
    Walk w;
    w.cancelAfter = 1;
    w.Run(zip.Build());
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(w.message, std::u16string(kZipCancelled));
    EXPECT_EQ(w.files.size(), 1u);
}

TEST(WalkZip, SelfExtractorStubBeforeTheArchive) {
    ZipBuilder zip;
    zip.prefix = "MZ" + std::string(4000, '\0');
    zip.Add("a.txt", "a");
    EXPECT_TRUE(RunZip(zip).ok);
}

}  // namespace
