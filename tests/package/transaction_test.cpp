#include "package/transaction.h"

#include <gtest/gtest.h>

namespace {

LedgerEntry Entry(const char16_t* path, const char16_t* hash) {
    LedgerEntry entry;
    entry.path = path;
    entry.hash = hash;
    return entry;
}

// The index answers as a search of the list would: A-Z folded and nothing
// else, the newest entry of a path, and the list changed behind its back.
TEST(FindLedgerEntry, AnswersAsTheListDoes) {
    InstallTransaction t;
    AddLedgerEntry(t, Entry(u"C:\\R\\Tool\\a.dll", u"1"));
    AddLedgerEntry(t, Entry(u"C:\\R\\Tool\\\u00e0.dll", u"2"));
    AddLedgerEntry(t, Entry(u"C:\\R\\TOOL\\A.DLL", u"3"));
    struct Case { const char16_t* path; const char16_t* hash; const char* what; };
    const Case cases[] = {
        {u"c:\\r\\tool\\a.dll", u"3", "ASCII case ignored, the newest wins"},
        {u"C:\\R\\Tool\\\u00c0.dll", nullptr, "other letters are other names"},
        {u"C:\\R\\Tool\\\u00e0.dll", u"2", "found as written"},
        {u"C:\\R\\Tool\\a.dl", nullptr, "a prefix is no match"},
        {u"", nullptr, "empty"},
    };
    for (const Case& c : cases) {
        LedgerEntry* found = FindLedgerEntry(t, c.path);
        if (!c.hash) {
            EXPECT_EQ(found, nullptr) << c.what;
        } else {
            ASSERT_NE(found, nullptr) << c.what;
            EXPECT_EQ(found->hash, c.hash) << c.what;
        }
    }

    // Removed from the list directly, then another added: never a stale entry.
    t.entries.remove_if([](const LedgerEntry& e) { return e.hash == u"3"; });
    AddLedgerEntry(t, Entry(u"C:\\R\\Tool\\b.dll", u"4"));
    ASSERT_NE(FindLedgerEntry(t, u"C:\\R\\Tool\\A.dll"), nullptr);
    EXPECT_EQ(FindLedgerEntry(t, u"C:\\R\\Tool\\A.dll")->hash, u"1");
    EXPECT_EQ(FindLedgerEntry(t, u"C:\\R\\Tool\\b.dll")->hash, u"4");

    // Put in the list directly, at either end.
    t.entries.push_back(Entry(u"C:\\old.txt", u"5"));
    t.entries.push_front(Entry(u"C:\\new.txt", u"6"));
    EXPECT_EQ(FindLedgerEntry(t, u"C:\\OLD.TXT")->hash, u"5");
    EXPECT_EQ(FindLedgerEntry(t, u"C:\\new.txt")->hash, u"6");

    // A copy finds its own entries, not the original's.
    InstallTransaction copy;
    copy.entries = t.entries;
    copy.index = t.index;
    FindLedgerEntry(copy, u"C:\\new.txt")->hash = u"7";
    EXPECT_EQ(FindLedgerEntry(t, u"C:\\new.txt")->hash, u"6");
    EXPECT_EQ(&*copy.entries.begin(), FindLedgerEntry(copy, u"C:\\new.txt"));

    t.entries.clear();
    EXPECT_EQ(FindLedgerEntry(t, u"C:\\new.txt"), nullptr);
}

// Registering many files must not search every earlier entry each time.
TEST(FindLedgerEntry, AHundredThousandEntries) {
    InstallTransaction t;
    const size_t n = 100000;
    for (size_t i = 0; i < n; ++i) {
        std::u16string path = u"C:\\R\\f" + Utf8ToWide(std::to_string(i));
        ASSERT_EQ(FindLedgerEntry(t, path), nullptr);
        AddLedgerEntry(t, Entry(path.c_str(), u"x"));
    }
    EXPECT_NE(FindLedgerEntry(t, u"c:\\r\\F99999"), nullptr);
}

}  // namespace
