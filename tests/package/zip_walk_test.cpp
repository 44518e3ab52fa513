#include "package/zip_walk.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

#include "package/path_rules.h"
#include "zip_builder.h"
#include "zip_layouts.h"

namespace {

// Stands between the walk and the memory source: records every view, refuses
// the ones a test names (as a full address space would) and counts the views
// not yet given back.
struct ViewLog {
    ZipSource inner{};
    std::function<bool(uint64_t offset, size_t length)> refuse;
    std::vector<std::pair<uint64_t, size_t>> made;
    std::map<const uint8_t*, size_t> liveLengths;
    int live = 0;
    int mostLive = 0;

    static const uint8_t* View(void* c, uint64_t offset, size_t length) {
        auto* log = static_cast<ViewLog*>(c);
        if (log->refuse && log->refuse(offset, length)) return nullptr;
        const uint8_t* view = log->inner.view(log->inner.context, offset, length);
        if (view) {
            log->made.emplace_back(offset, length);
            log->liveLengths[view] = length;
            log->mostLive = std::max(log->mostLive, ++log->live);
        }
        return view;
    }
    static void Release(void* c, const uint8_t* view, uint64_t offset, size_t length) {
        auto* log = static_cast<ViewLog*>(c);
        --log->live;
        log->liveLengths.erase(view);
        log->inner.release(log->inner.context, view, offset, length);
    }
    ZipSource Source() { return ZipSource{inner.size, View, Release, this}; }
    size_t LongestLive() const {
        size_t longest = 0;
        for (const auto& view : liveLengths) longest = std::max(longest, view.second);
        return longest;
    }
};

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
    ViewLog views;
    int mostLiveAtFile = 0;
    size_t longestAtFile = 0;

    static bool Decode(const uint8_t* bytes, size_t size, bool utf8, WideBuffer& name) {
        if (utf8) {
            name = Utf8ToWide(std::string(reinterpret_cast<const char*>(bytes), size));
        } else {
            name.assign(bytes, bytes + size);
        }
        return true;
    }
    static bool Join(void*, std::u16string_view destination, std::u16string_view name, WideBuffer& target) {
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
        w->mostLiveAtFile = std::max(w->mostLiveAtFile, w->views.live);
        w->longestAtFile = std::max(w->longestAtFile, w->views.LongestLive());
        return w->files.emplace(e.target, std::string(reinterpret_cast<const char*>(data), size)).second;
    }
    void Run(const std::string& archive) {
        // Each view is an exactly sized copy, so any read outside one faults.
        ZipMemoryImage image{reinterpret_cast<const uint8_t*>(archive.data()), archive.size()};
        views.inner = MemoryZipSource(image);
        ZipWalkCallbacks cb{Decode, Join, Cancelled, Directory, File, this};
        ok = WalkZip(views.Source(), u"C:\\staging", cb, message);
        // Whatever the outcome: the directory's view and one over the entries
        // at most; while a file is handed on, no view longer than the entry
        // window (a large entry's is given back first); none kept.
        EXPECT_LE(views.mostLive, 2);
        EXPECT_LE(mostLiveAtFile, 2);
        EXPECT_LE(longestAtFile, kZipEntryWindow);
        EXPECT_EQ(views.live, 0);
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

// The entry's local record is the archive comment, so every range in it is
// measured against the file's last byte; the copied views turn a bounds check
// that is one byte out into a fault.
TEST(WalkZip, RangesEndingAtTheLastByte) {
    struct Case { const char* what; std::string archive; bool ok; };
    const Case cases[] = {
        {"data ends at the last byte", ArchiveEndingInAnEntry("tail", 4), true},
        {"data one byte past the end", ArchiveEndingInAnEntry("tail", 5), false},
        {"empty data right after a header that ends the file", ArchiveEndingInAnEntry("", 0), true},
        {"header one byte short", ArchiveEndingInAnEntry("", 0, 1), false},
        {"extra field past the end", ArchiveEndingInAnEntry("", 0, 0, 1), false},
    };
    for (const Case& c : cases) {
        Walk w;
        w.Run(c.archive);
        EXPECT_EQ(w.ok, c.ok) << c.what;
        EXPECT_EQ(w.files[u"C:\\staging\\first.txt"], "kept") << c.what;
        if (c.ok) {
            EXPECT_EQ(w.files.count(u"C:\\staging\\tail.txt"), 1u) << c.what;
        } else {
            EXPECT_EQ(w.message, std::u16string(kZipEntryFailed)) << c.what;
            EXPECT_EQ(w.files.count(u"C:\\staging\\tail.txt"), 0u) << c.what;
        }
    }
    Walk w;
    w.Run(ArchiveEndingInAnEntry("tail", 4));
    EXPECT_EQ(w.files[u"C:\\staging\\tail.txt"], "tail");
}

// 18 entries whose central comments put the last entry's last name byte at
// lastNameByte, counted from the directory's start (a header is 46 bytes and
// a 7-byte name before its comment).
ZipBuilder DirectoryWithLastNameByteAt(size_t lastNameByte) {
    ZipBuilder zip = ArchiveWithLargeDirectory(18, 61600, 3000);
    zip.entries[16].comment = std::string(lastNameByte - 52 - 17 * 53 - 16 * 61600, 'c');
    zip.entries[17].comment.clear();
    return zip;
}

TEST(WalkZip, ReadsADirectoryLargerThanOneViewInSteps) {
    // More than a megabyte of directory, which the walk reads in 1 MiB steps.
    // The names are read where comments are not: a name whose last byte is
    // the first past a step must come from the next view (once read from
    // the old one, one byte outside it).
    struct Case { const char* what; ZipBuilder zip; size_t count; int directoryViews; };
    const Case cases[] = {
        {"headers straddling the step", ArchiveWithLargeDirectory(24, 60000, 3000), 24, 2},
        {"a name ending one byte past the step", DirectoryWithLastNameByteAt(1 << 20), 18, 2},
        {"a name ending on the step's last byte", DirectoryWithLastNameByteAt((1 << 20) - 1), 18, 1},
    };
    for (const Case& c : cases) {
        Walk w;
        w.Run(c.zip.Build());
        ASSERT_TRUE(w.ok) << c.what << ": " << WideToUtf8(w.message);
        ASSERT_EQ(w.files.size(), c.count) << c.what;
        EXPECT_EQ(w.files[u"C:\\staging\\e17.bin"], std::string(3000, 'r')) << c.what;
        // After the end record's view, the views from the directory's start on.
        const uint64_t directoryStart = c.count * (30 + 7 + 3000);
        int directoryViews = 0;
        for (size_t i = 1; i < w.views.made.size(); ++i) directoryViews += w.views.made[i].first >= directoryStart;
        EXPECT_EQ(directoryViews, c.directoryViews) << c.what;
    }
}

// The views the entries were read through: every view but the end record's
// (the first) and the directory's (from directoryStart on).
std::vector<std::pair<uint64_t, size_t>> EntryViews(const Walk& w, uint64_t directoryStart) {
    std::vector<std::pair<uint64_t, size_t>> views;
    for (size_t i = 1; i < w.views.made.size(); ++i) {
        if (w.views.made[i].first < directoryStart) views.push_back(w.views.made[i]);
    }
    return views;
}

TEST(WalkZip, EntriesFollowingEachOtherShareAView) {
    // Stored entries named "eNN.bin": 30 + 7 bytes of header and name, then the data.
    const size_t window = static_cast<size_t>(kZipEntryWindow);
    struct Case { const char* what; std::vector<size_t> sizes; std::vector<std::pair<uint64_t, size_t>> views; };
    const Case cases[] = {
        {"ninety small entries: one view", std::vector<size_t>(90, 1000), {{0, 90 * 1037}}},
        // The large entry's header lies in the first window, its data does
        // not: a view of exactly its data, given back before its file is
        // handed on; the next entry starts a new window.
        {"an entry larger than the window", {1000, window + 1, 1000},
         {{0, window}, {1037 + 37, window + 1}, {1037 + 37 + window + 1, 1037}}},
        // Data that ends one byte past the window is read through a new
        // window from its start, which holds the next entry's header but not
        // its data.
        {"data ending one byte past the window", {window - 37 + 1, 10},
         {{0, window}, {37, window}, {window + 38, 10}}},
        {"data ending on the window's last byte", {window - 37, 10}, {{0, window}, {window, 47}}},
    };
    for (const Case& c : cases) {
        ZipBuilder zip;
        uint64_t directoryStart = 0;
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            zip.Add("e" + std::to_string(100 + i).substr(1) + ".bin", std::string(c.sizes[i], 'd'));
            directoryStart += 37 + c.sizes[i];
        }
        Walk w = RunZip(zip);
        ASSERT_TRUE(w.ok) << c.what << ": " << WideToUtf8(w.message);
        EXPECT_EQ(w.files.size(), c.sizes.size()) << c.what;
        // Views never reach past the entries' end into a shorter archive:
        // each is clamped to the archive's size, which the directory follows.
        std::vector<std::pair<uint64_t, size_t>> views = EntryViews(w, directoryStart);
        for (auto& view : views) view.second = static_cast<size_t>(std::min<uint64_t>(view.second, directoryStart - view.first));
        EXPECT_EQ(views, c.views) << c.what;
    }
}

TEST(WalkZip, AViewThatCannotBeMadeFailsLikeNoMemory) {
    // A stub ahead of the entries keeps the end record's view (the last
    // 65,557 bytes) apart from the entries' views.
    ZipBuilder zip;
    zip.prefix = std::string(70000, 'S');
    zip.Add("a.txt", "kept");   // local header at 70000, data at 70035
    zip.Add("b.txt", "lost");   // local header at 70039, data at 70074
    const std::string archive = zip.Build();
    const uint64_t tail = archive.size() - (22 + 65535);
    // The second entry beyond the first one's window: its own view.
    ZipBuilder far;
    far.Add("a.txt", std::string(static_cast<size_t>(kZipEntryWindow), 'k'));
    far.Add("b.txt", "lost");  // local header at 35 + the window
    const std::string farArchive = far.Build();
    ZipBuilder large = ArchiveWithLargeDirectory(24, 60000, 10);
    const std::string largeArchive = large.Build();
    const uint64_t largeDirectory = 24 * (30 + 7 + 10);
    struct Case { const char* what; const std::string* archive; std::function<bool(uint64_t, size_t)> refuse;
                  std::u16string message; size_t kept; };
    int directoryViews = 0;
    const Case cases[] = {
        {"the end record's view", &archive, [&](uint64_t at, size_t) { return at == tail; }, kZipTooLarge, 0},
        {"a local header's view", &archive, [](uint64_t at, size_t) { return at == 70000; }, kZipEntryFailed, 0},
        {"the second entry's view", &farArchive,
         [](uint64_t at, size_t) { return at == 35 + kZipEntryWindow; }, kZipEntryFailed, 1},
        {"the directory's next step", &largeArchive,
         [&](uint64_t at, size_t length) { return at >= largeDirectory && length > 65557 && ++directoryViews == 2; },
         kZipEntryFailed, 0},
    };
    for (const Case& c : cases) {
        Walk w;
        w.views.refuse = c.refuse;
        w.Run(*c.archive);
        EXPECT_FALSE(w.ok) << c.what;
        EXPECT_EQ(w.message, c.message) << c.what;
        if (c.kept) {
            EXPECT_EQ(w.files.size(), c.kept) << c.what;
        }
    }
    EXPECT_EQ(directoryViews, 2);
}

}  // namespace
