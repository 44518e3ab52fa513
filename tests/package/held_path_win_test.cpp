#include "package/held_path_win.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/test_folder_win.h"
#include "package/held_path_scenes_win.h"

namespace {

// base\a\b\f.txt, and a folder outside to link to.
struct Tree {
    TestFolder folder;
    TestFolder outside;
    WideBuffer base = folder / u"base";
    WideBuffer file = base + u"\\a\\b\\f.txt";
    Tree() {
        Write(file, "file");
        Write(outside / u"f.txt", "outside");
        Write(outside / u"b\\f.txt", "outside b");
    }
};

const char kAbcHash[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

// What HoldFile finds for each shape of the path below the base.
TEST(HoldFile, RefusesLinksAndTellsMissingApart) {
    struct Case {
        const char* name;
        std::function<void(Tree&)> stage;
        std::u16string path;  // below base; empty: the tree's file
        bool held;
        bool fileOpen;
        DWORD error;
    };
    const Case cases[] = {
        {"plain file", [](Tree&) {}, u"", true, true, 0},
        {"file missing", [](Tree& t) { DeleteFileW(W(t.file)); }, u"", true, false, ERROR_FILE_NOT_FOUND},
        {"folder missing", [](Tree& t) { RemoveTree(t.base + u"\\a\\b"); }, u"", false, false, ERROR_PATH_NOT_FOUND},
        {"file where a folder is", [](Tree& t) { RemoveTree(t.base + u"\\a\\b"); Write(t.base + u"\\a\\b", "x"); },
         u"", false, false, ERROR_PATH_NOT_FOUND},
        {"folder on the way is a link",
         [](Tree& t) { RemoveTree(t.base + u"\\a"); MakeUnixSymlink(t.outside.path(), t.base + u"\\a"); }, u"", false,
         false, kErrorCrossesLink},
        {"parent is a link",
         [](Tree& t) { RemoveTree(t.base + u"\\a\\b"); MakeUnixSymlink(t.outside / u"b", t.base + u"\\a\\b"); }, u"",
         false, false, kErrorCrossesLink},
        {"the file is a link to a folder",
         [](Tree& t) { DeleteFileW(W(t.file)); MakeUnixSymlink(t.outside.path(), t.file); }, u"", false, false,
         kErrorCrossesLink},
        {"the file is a folder", [](Tree& t) { DeleteFileW(W(t.file)); CreateDirectoryW(W(t.file), nullptr); }, u"",
         false, false, ERROR_ACCESS_DENIED},
        {"dot-dot segment", [](Tree&) {}, u"a\\..\\..\\outside.txt", false, false, ERROR_BAD_PATHNAME},
        {"empty segment", [](Tree&) {}, u"a\\\\b\\f.txt", false, false, ERROR_BAD_PATHNAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tree t;
        c.stage(t);
        WideBuffer path = c.path.empty() ? t.file : t.base + u"\\" + c.path;
        HeldFile held;
        SetLastError(0);
        EXPECT_EQ(HoldFile(t.base, path, HeldAccess::kDelete, held), c.held);
        EXPECT_EQ(static_cast<bool>(held.file), c.fileOpen);
        EXPECT_EQ(GetLastError(), c.error);
        if (c.held) {
            EXPECT_EQ(held.folders.chain.size(), 3u);  // base, a, b
        }
        EXPECT_EQ(Read(t.outside / u"f.txt"), "outside");
    }
    // A base that is itself a link, and a path that is not below the base.
    Tree t;
    ASSERT_TRUE(MakeUnixSymlink(t.base, t.folder / u"linkedbase"));
    HeldFile held;
    EXPECT_FALSE(HoldFile(t.folder / u"linkedbase", t.folder / u"linkedbase\\a\\b\\f.txt", HeldAccess::kRead, held));
    EXPECT_EQ(GetLastError(), kErrorCrossesLink);
    EXPECT_FALSE(HoldFile(t.base, t.outside / u"f.txt", HeldAccess::kRead, held));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_PATHNAME));
    EXPECT_FALSE(HoldFile(t.base, t.base, HeldAccess::kRead, held));
    // A base that is a file is no folder to hold.
    EXPECT_FALSE(HoldFile(t.file, t.file + u"\\x", HeldAccess::kRead, held));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// While held, no folder from the base down can be renamed or deleted; the
// file is open for nobody else. Released, all of them can.
TEST(HoldFile, HeldFoldersCannotBeRenamedUntilReleased) {
    Tree t;
    {
        HeldFile held;
        ASSERT_TRUE(HoldFile(t.base, t.file, HeldAccess::kWrite, held));
        for (const WideBuffer& folder : {t.base, t.base + u"\\a", t.base + u"\\a\\b"}) {
            EXPECT_FALSE(MoveFileExW(W(folder), W(t.folder / u"moved"), 0)) << WideToUtf8(folder);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << WideToUtf8(folder);
        }
        UniqueHandle other(CreateFileW(W(t.file), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(other);
        // Creating a sibling in a held folder is still possible.
        EXPECT_TRUE(WriteWholeFile(t.base + u"\\a\\b\\sibling.txt", "s", 1));
    }
    EXPECT_TRUE(MoveFileExW(W(t.base + u"\\a\\b"), W(t.base + u"\\a\\c"), 0));
    EXPECT_EQ(Read(t.base + u"\\a\\c\\f.txt"), "file");
}

TEST(DeleteFileBelow, DeletesThroughTheHandleOnlyWhatWasChecked) {
    struct Case {
        const char* name;
        const char* content;
        std::u16string hash;  // null: no content check
        uint64_t size;
        bool guarded;
        bool deleted;
        DWORD error;
    };
    const Case cases[] = {
        {"unguarded", "abc", u"", 0, false, true, 0},
        {"same content", "abc", WideBuffer(kAbcHash, kAbcHash + 64), 3, true, true, 0},
        {"hash in upper case", "abc", u"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", 3, true,
         true, 0},
        {"same size, other content", "abd", WideBuffer(kAbcHash, kAbcHash + 64), 3, true, false, ERROR_FILE_INVALID},
        {"other size", "abc", WideBuffer(kAbcHash, kAbcHash + 64), 4, true, false, ERROR_FILE_INVALID},
        {"no hash recorded", "abc", u"", 3, true, false, ERROR_FILE_INVALID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tree t;
        Write(t.file, c.content);
        bool ok = c.guarded ? DeleteUnchangedFileBelow(t.base, t.file, c.hash, c.size) : DeleteFileBelow(t.base, t.file);
        EXPECT_EQ(ok, c.deleted);
        if (!ok) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(FileExists(t.file), !c.deleted);
    }
    Tree t;
    ASSERT_TRUE(DeleteFileW(W(t.file)));
    EXPECT_FALSE(DeleteFileBelow(t.base, t.file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileBelow(t.base, t.base + u"\\x\\f.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // A folder goes only when empty.
    EXPECT_FALSE(DeleteEmptyFolderBelow(t.base, t.base + u"\\a"));
    EXPECT_TRUE(DirectoryExists(t.base + u"\\a\\b"));
    EXPECT_TRUE(DeleteEmptyFolderBelow(t.base, t.base + u"\\a\\b"));
    EXPECT_FALSE(DirectoryExists(t.base + u"\\a\\b"));
}

// Overwriting writes through the file's own handle only when it has one name;
// a planted hard link keeps the other name's content.
TEST(ReplaceHeldFile, NeverWritesThroughASecondName) {
    struct Case {
        const char* name;
        bool exists;
        bool hardLink;
    };
    for (const Case& c : {Case{"one name", true, false}, Case{"hard link", true, true}, Case{"missing", false, false}}) {
        SCOPED_TRACE(c.name);
        Tree t;
        Write(t.folder / u"source.txt", "the new content");
        Write(t.folder / u"victim.txt", "victim");
        DeleteFileW(W(t.file));
        if (c.hardLink) {
            ASSERT_TRUE(CreateHardLinkW(W(t.file), W(t.folder / u"victim.txt"), nullptr));
        } else if (c.exists) {
            Write(t.file, "old content that is longer");
        }
        HeldFile target;
        ASSERT_TRUE(HoldFile(t.base, t.file, HeldAccess::kWrite, target, true));
        ASSERT_EQ(static_cast<bool>(target.file), c.exists);
        if (c.exists) {
            EXPECT_EQ(HeldFileLinkCount(target.file.get()), c.hardLink ? 2u : 1u);
        }
        UniqueHandle source(CreateFileW(W(t.folder / u"source.txt"), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(ReplaceHeldFile(target, source.get()));
        ASSERT_TRUE(target.file);
        EXPECT_EQ(HeldFileLinkCount(target.file.get()), 1u);
        target = HeldFile();
        EXPECT_EQ(Read(t.file), "the new content");
        EXPECT_EQ(Read(t.folder / u"victim.txt"), "victim");
    }
}

// The swap between check and use: refused while held (error 32); done
// behind Wine's back on the Unix side, the handles still reach the folder
// they checked, and nothing outside is deleted or written.
TEST(HeldPathHook, AFolderSwappedForALinkAtTheMomentOfUse) {
    for (bool write : {false, true}) {
        SCOPED_TRACE(write ? "write" : "delete");
        Tree t;
        Victim victim;
        Write(victim.folder / u"f.txt", "victim f");
        victim.before = Snapshot(victim.folder.path());
        Write(t.folder / u"source.txt", "new");
        SwapAtUse swap(t.file, t.base + u"\\a\\b", victim.folder.path());
        HeldFile held;
        ASSERT_TRUE(HoldFile(t.base, t.file, HeldAccess::kWrite, held));
        EXPECT_TRUE(swap.swapped);
        EXPECT_TRUE(swap.linked);
        EXPECT_EQ(swap.renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        if (write) {
            UniqueHandle source(CreateFileW(W(t.folder / u"source.txt"), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
            EXPECT_TRUE(ReplaceHeldFile(held, source.get()));
        } else {
            DeleteHeldFile(held);
        }
        held = HeldFile();
        EXPECT_TRUE(victim.Unchanged());
        if (write) {
            EXPECT_EQ(Read(t.base + u"\\a\\b.moved\\f.txt"), "new");
        }
        RemoveLink(t.base + u"\\a\\b");
    }
}

TEST(TrustedBaseOf, RootOrTheDesktopShortcutOnly) {
    wchar_t desktop[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop)));
    WideBuffer d = U(desktop);
    WideBuffer base;
    EXPECT_TRUE(TrustedBaseOf(u"C:\\R", u"C:\\R\\P\\a.exe", base));
    EXPECT_EQ(base, u"C:\\R");
    EXPECT_TRUE(TrustedBaseOf(u"C:\\R", d + u"\\P.lnk", base));
    EXPECT_EQ(base, d);
    EXPECT_FALSE(TrustedBaseOf(u"C:\\R", d + u"\\sub\\P.lnk", base));
    EXPECT_FALSE(TrustedBaseOf(u"C:\\R", d + u"\\P.exe", base));
    EXPECT_FALSE(TrustedBaseOf(u"C:\\R", u"C:\\Rx\\a.exe", base));
    EXPECT_FALSE(TrustedBaseOf(u"", u"C:\\R\\a.exe", base));
}

}  // namespace

namespace {

// A cache holds each parent once: later files below it are held from it
// without opening the folders again, no folder on the way can be renamed or
// swapped for a link while the cache lives, and what the first hold refused
// is refused still.
// A package of many folders: the cache stays bounded, every file is still held,
// and a parent dropped from it is walked again.
TEST(HeldFolderCache, StaysBoundedOverManyFolders) {
    Tree t;
    const size_t folders = HeldFolderCache::kLimit * 3 + 5;
    HeldFolderCache cache;
    std::vector<HeldFile> held(folders);
    for (size_t i = 0; i < folders; ++i) {
        const WideBuffer file = t.base + u"\\many\\" + Utf8ToWide(std::to_string(i)) + u"\\f.txt";
        Write(file, std::to_string(i));
        ASSERT_TRUE(HoldFile(t.base, file, HeldAccess::kRead, held[i], false, false, &cache)) << i;
        ASSERT_LE(cache.by_parent.size(), HeldFolderCache::kLimit) << i;
        EXPECT_TRUE(cache.HoldsParentOf(t.base, file)) << i;
    }
    EXPECT_FALSE(cache.HoldsParentOf(t.base, t.base + u"\\many\\0\\f.txt"));
    HeldFile again;
    ASSERT_TRUE(HoldFile(t.base, t.base + u"\\many\\0\\f.txt", HeldAccess::kRead, again, false, false, &cache));
    EXPECT_EQ(Read(t.base + u"\\many\\0\\f.txt"), "0");
    EXPECT_TRUE(cache.HoldsParentOf(t.base, t.base + u"\\many\\0\\f.txt"));
}

TEST(HeldFolderCache, HoldsEachParentOnceAndKeepsItsFoldersInPlace) {
    Tree t;
    Write(t.base + u"\\a\\b\\g.txt", "g");
    Write(t.base + u"\\a\\h.txt", "h");
    std::shared_ptr<const HeldFolders> first;
    {
        HeldFolderCache cache;
        EXPECT_FALSE(cache.HoldsParentOf(t.base, t.file));
        HeldFile f, g, upper, h;
        ASSERT_TRUE(HoldFile(t.base, t.file, HeldAccess::kWrite, f, false, false, &cache));
        ASSERT_TRUE(f.folders.shared);
        EXPECT_TRUE(f.folders.chain.empty());
        EXPECT_TRUE(cache.HoldsParentOf(t.base, t.base + u"\\a\\b\\other.txt"));
        EXPECT_TRUE(cache.HoldsParentOf(t.base, t.base + u"\\A\\B\\other.txt"));  // ASCII case folded
        EXPECT_FALSE(cache.HoldsParentOf(t.base, t.base + u"\\a\\other.txt"));
        EXPECT_FALSE(cache.HoldsParentOf(t.folder / u"elsewhere", t.file));

        ASSERT_TRUE(HoldFile(t.base, t.base + u"\\a\\b\\g.txt", HeldAccess::kRead, g, false, false, &cache));
        EXPECT_EQ(g.folders.shared, f.folders.shared);
        EXPECT_EQ(Read(t.base + u"\\a\\b\\g.txt"), "g");
        ASSERT_TRUE(HoldFile(t.base, t.base + u"\\A\\b\\G.TXT", HeldAccess::kRead, upper, false, false, &cache));
        EXPECT_EQ(upper.folders.shared, f.folders.shared);
        ASSERT_TRUE(HoldFile(t.base, t.base + u"\\a\\h.txt", HeldAccess::kRead, h, false, false, &cache));
        EXPECT_NE(h.folders.shared, f.folders.shared);
        EXPECT_EQ(cache.by_parent.size(), 2u);

        // A cached path still has its segments checked.
        HeldFile bad;
        EXPECT_FALSE(HoldFile(t.base, t.base + u"\\a\\b\\..\\f.txt", HeldAccess::kRead, bad, false, false, &cache));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_PATHNAME));
        first = f.folders.shared;
    }
    // The cache is gone but a file still held keeps its folders.
    EXPECT_FALSE(MoveFileExW(W(t.base + u"\\a\\b"), W(t.base + u"\\a\\c"), 0));
    first.reset();
    EXPECT_TRUE(MoveFileExW(W(t.base + u"\\a\\b"), W(t.base + u"\\a\\c"), 0));
    EXPECT_TRUE(MoveFileExW(W(t.base + u"\\a\\c"), W(t.base + u"\\a\\b"), 0));

    // Released files, cache alive: its folders stay where they are.
    HeldFolderCache cache;
    {
        HeldFile f;
        ASSERT_TRUE(HoldFile(t.base, t.file, HeldAccess::kRead, f, false, false, &cache));
    }
    for (const WideBuffer& folder : {t.base, t.base + u"\\a", t.base + u"\\a\\b"}) {
        EXPECT_FALSE(MoveFileExW(W(folder), W(t.folder / u"moved"), 0)) << WideToUtf8(folder);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << WideToUtf8(folder);
    }
    HeldFile again;
    ASSERT_TRUE(HoldFile(t.base, t.file, HeldAccess::kRead, again, false, false, &cache));
    EXPECT_EQ(Read(t.file), "file");

    // A link met when first held is refused, and nothing is cached for it.
    RemoveTree(t.base + u"\\a\\h.txt");
    ASSERT_TRUE(MakeUnixSymlink(t.outside.path(), t.base + u"\\l"));
    HeldFile linked;
    EXPECT_FALSE(HoldFile(t.base, t.base + u"\\l\\f.txt", HeldAccess::kRead, linked, false, false, &cache));
    EXPECT_EQ(GetLastError(), kErrorCrossesLink);
    EXPECT_FALSE(cache.HoldsParentOf(t.base, t.base + u"\\l\\f.txt"));
}

// A folder the holding task created is taken as empty for writing: the file
// is not looked for. Someone who plants a file there meanwhile makes the
// create fail, and the planted file is never written over; a folder that was
// there already is looked in as before, and so is every other access.
TEST(HeldFolderCache, AFolderItCreatedIsTakenAsEmpty) {
    struct Case {
        const char* name;
        bool folderBefore;  // the folder "new" exists before the first hold
        HeldAccess access;
        bool plantedSeen;   // the planted file is open after the second hold
    };
    const Case cases[] = {
        {"created, for writing", false, HeldAccess::kWrite, false},
        {"created, for reading", false, HeldAccess::kRead, true},
        {"created, for deleting", false, HeldAccess::kDelete, true},
        {"there before, for writing", true, HeldAccess::kWrite, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tree t;
        Write(t.folder / u"source.txt", "ours");
        if (c.folderBefore) CreateDirectoryW(W(t.base + u"\\new"), nullptr);
        HeldFolderCache cache;
        HeldFile first, second;
        ASSERT_TRUE(HoldFile(t.base, t.base + u"\\new\\a.txt", HeldAccess::kWrite, first, true, false, &cache));
        EXPECT_EQ(first.folders.ParentCreated(), !c.folderBefore);
        // Another user writes into the folder, which is held with write sharing.
        Write(t.base + u"\\new\\planted.txt", "planted");
        ASSERT_TRUE(HoldFile(t.base, t.base + u"\\new\\planted.txt", c.access, second, true, false, &cache));
        EXPECT_EQ(static_cast<bool>(second.file), c.plantedSeen);
        if (c.access == HeldAccess::kWrite) {
            UniqueHandle source(CreateFileW(W(t.folder / u"source.txt"), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
            EXPECT_EQ(ReplaceHeldFile(second, source.get()), c.plantedSeen);
        }
        second = HeldFile();
        EXPECT_EQ(Read(t.base + u"\\new\\planted.txt"), c.plantedSeen && c.access == HeldAccess::kWrite ? "ours"
                                                                                                          : "planted");
    }
}

// A new folder is held from the deepest folder above it that the cache
// holds: only the folders below that one are opened (and checked), and the
// folders above stay in place while any file below them is held.
TEST(HeldFolderCache, ANewFolderIsHeldFromTheDeepestHeldOneAbove) {
    Tree t;
    HeldFolderCache cache;
    HeldFile f, deep, linked;
    ASSERT_TRUE(HoldFile(t.base, t.file, HeldAccess::kRead, f, false, false, &cache));
    // What the cache can vouch for before the deeper file is held.
    struct Case { const char16_t* below; bool above; };
    for (const Case& c : {Case{u"\\a\\b\\f2.txt", true}, Case{u"\\a\\b\\c\\d\\g.txt", true},
                          Case{u"\\a\\g.txt", false}, Case{u"\\x\\b\\g.txt", false}}) {
        EXPECT_EQ(cache.HoldsFolderAbove(t.base, t.base + c.below), c.above) << WideToUtf8(c.below);
    }
    EXPECT_FALSE(cache.HoldsFolderAbove(t.folder / u"elsewhere", t.file));
    ASSERT_TRUE(HoldFile(t.base, t.base + u"\\a\\b\\c\\d\\g.txt", HeldAccess::kWrite, deep, true, false, &cache));
    ASSERT_TRUE(deep.folders.shared);
    const HeldFolders& entry = *deep.folders.shared;
    EXPECT_EQ(entry.shared, f.folders.shared);
    EXPECT_EQ(entry.chain.size(), 2u);  // c and d
    EXPECT_TRUE(entry.parentCreated);
    EXPECT_EQ(entry.parent, t.base + u"\\a\\b\\c\\d");
    EXPECT_TRUE(DirectoryExists(t.base + u"\\a\\b\\c\\d"));

    ASSERT_TRUE(MakeUnixSymlink(t.outside.path(), t.base + u"\\a\\b\\l"));
    EXPECT_FALSE(HoldFile(t.base, t.base + u"\\a\\b\\l\\b\\f.txt", HeldAccess::kRead, linked, false, false, &cache));
    EXPECT_EQ(GetLastError(), kErrorCrossesLink);

    cache = HeldFolderCache();
    f = HeldFile();
    EXPECT_FALSE(MoveFileExW(W(t.base + u"\\a\\b"), W(t.base + u"\\a\\moved"), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    deep = HeldFile();
    EXPECT_TRUE(MoveFileExW(W(t.base + u"\\a\\b"), W(t.base + u"\\a\\moved"), 0));
}

}  // namespace
