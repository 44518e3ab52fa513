#include "package/recovery.h"

#include <gtest/gtest.h>

#include "package/transaction.h"

namespace {

const std::string kHash(64, 'a'), kOther(64, 'b');

std::string Header() { return "TWRECOVERY1\t12\t2.0\tD:\\R\\Tool\r\n"; }

std::string Line(const std::string& target, const std::string& backup = "D:\\R\\temp_setup\\12-1-1\\backup-1-1.bin") {
    return target + "\t" + backup + "\t" + (backup.empty() ? "0\t" : "5\t" + kHash) + "\t7\t" + kOther +
           "\tD:\\R\\temp_setup\\12-1-1\\unpacked\\x\r\n";
}

bool Parse(const std::string& text, RecoveryRecord& record) {
    return ParseRecoveryRecord(reinterpret_cast<const uint8_t*>(text.data()), text.size(), record);
}

std::vector<LedgerRecordLine> Ledger(const std::string& text) {
    std::vector<LedgerRecordLine> lines;
    EXPECT_TRUE(ParseLedgerLines(reinterpret_cast<const uint8_t*>(text.data()), text.size(), lines));
    return lines;
}

std::string Event(const char16_t* kind, const std::string& path) { return LedgerLineText(kind, Utf8ToWide(path)); }

TEST(RecoveryRecord, WrittenLinesReadBack) {
    RecoveryLine line{u"D:\\R\\工具\\a.exe", u"D:\\R\\temp_setup\\w\\backup-1-2.bin", 5, WideBuffer(64, u'c'), 9,
                      WideBuffer(64, u'd'), u"D:\\R\\temp_setup\\w\\unpacked\\a.exe"};
    RecoveryLine created = line;
    created.backup.clear();
    created.backup_hash.clear();
    created.backup_size = 0;
    std::string text = RecoveryHeaderText(u"12", u"2.0", u"D:\\R\\工具") + RecoveryLineText(line) +
                       RecoveryLineText(created);
    RecoveryRecord record;
    ASSERT_TRUE(Parse(text, record));
    EXPECT_EQ(record.puc_type, u"12");
    EXPECT_EQ(record.version, u"2.0");
    EXPECT_EQ(record.product_dir, u"D:\\R\\工具");
    ASSERT_EQ(record.lines.size(), 2u);
    EXPECT_EQ(record.lines[0].target, line.target);
    EXPECT_EQ(record.lines[0].backup_hash, line.backup_hash);
    EXPECT_EQ(record.lines[0].staged, line.staged);
    EXPECT_EQ(record.lines[1].backup, u"");
    EXPECT_EQ(record.lines[1].staged_size, 9u);
    // A version no manifest could hold is not written.
    EXPECT_EQ(RecoveryHeaderText(u"12", u"2\t0", u"D:\\R\\x"), "TWRECOVERY1\t12\t\tD:\\R\\x\r\n");
}

TEST(RecoveryRecord, MalformedRecordsAreRefused) {
    struct Case { std::string text; bool ok; size_t lines; const char* what; };
    const Case cases[] = {
        {Header() + Line("D:\\R\\Tool\\a"), true, 1, "one line"},
        {Header() + Line("D:\\R\\Tool\\a") + "D:\\R\\Tool\\b\t\t0", true, 1, "a torn last line is ignored"},
        {Header(), true, 0, "no overwrite yet"},
        {"TWRECOVERY1\t12\t2.0\tD:\\R\\Tool", false, 0, "a torn header"},
        {"", false, 0, "empty"},
        {"TWRECOVERY2\t12\t2.0\tD:\\R\\Tool\r\n", false, 0, "another magic"},
        {"TWRECOVERY1\t12\t2.0\r\n", false, 0, "a header field missing"},
        {"TWRECOVERY1\t\t2.0\tD:\\R\\Tool\r\n", false, 0, "no product number"},
        {Header() + "D:\\R\\Tool\\a\t\t0\t\t7\t" + kOther + "\r\n", false, 0, "no staged file"},
        {Header() + "D:\\R\\Tool\\a\t\t3\t\t7\t" + kOther + "\tx\r\n", false, 0, "a size for a missing backup"},
        {Header() + "D:\\R\\Tool\\a\tb\t3\t\t7\t" + kOther + "\tx\r\n", false, 0, "a backup without its hash"},
        {Header() + "D:\\R\\Tool\\a\t\t0\t\t7\t" + kOther.substr(1) + "\tx\r\n", false, 0, "a short hash"},
        {Header() + "D:\\R\\Tool\\a\t\t0\t\t7\t" + std::string(64, 'A') + "\tx\r\n", false, 0, "upper-case hex"},
        {Header() + "D:\\R\\Tool\\a\t\t0\t\t-7\t" + kOther + "\tx\r\n", false, 0, "a negative size"},
        {Header() + "D:\\R\\Tool\\a\t\t0\t\t99999999999999999999\t" + kOther + "\tx\r\n", false, 0, "a huge size"},
        {Header() + "D:\\R\\Tool\\a\t\t0\t\t7\t" + kOther + "\tx\ty\r\n", false, 0, "an extra field"},
        {Header() + "D:\\R\\Tool\\a\nb\t\t0\t\t7\t" + kOther + "\tx\r\n", false, 0, "a line feed in a path"},
    };
    for (const Case& c : cases) {
        RecoveryRecord record;
        EXPECT_EQ(Parse(c.text, record), c.ok) << c.what;
        if (c.ok) {
            EXPECT_EQ(record.lines.size(), c.lines) << c.what;
        }
    }
    std::vector<LedgerRecordLine> lines;
    std::string noTab = "临时文件 D:\\x\r\n";
    EXPECT_FALSE(ParseLedgerLines(reinterpret_cast<const uint8_t*>(noTab.data()), noTab.size(), lines));
}

TEST(PlanRecovery, WhatIsUndoneNewestFirst) {
    const std::string lines[] = {Line("D:\\R\\Tool\\a"), Line("D:\\R\\Tool\\b", ""), Line("D:\\R\\Tool\\c")};
    const std::string a = "D:\\R\\Tool\\a", b = "D:\\R\\Tool\\b", c = "D:\\R\\Tool\\c";
    struct Case { size_t recorded; std::string ledger; bool ok, committed; std::vector<std::string> steps; bool lastTorn; const char* what; };
    const Case cases[] = {
        {3, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerAboutToOverwrite, b) +
             Event(kLedgerOverwritten, b) + Event(kLedgerAboutToOverwrite, c),
         true, false, {c, b, a}, true, "killed while copying c"},
        {3, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerAboutToOverwrite, b) +
             Event(kLedgerOverwriteFailed, b),
         true, false, {c, b, a}, true, "c's line written, its overwrite line lost: undone as if torn"},
        {3, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerAboutToOverwrite, b) +
             Event(kLedgerOverwritten, b) + Event(kLedgerAboutToOverwrite, c) + Event(kLedgerRollbackFailed, c),
         true, false, {c, b, a}, false, "after a failed undo c is guarded by its content again"},
        {3, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerAboutToOverwrite, b) +
             Event(kLedgerOverwritten, b) + Event(kLedgerRolledBack, c) + Event(kLedgerRolledBack, b) +
             Event(kLedgerRolledBack, a),
         true, false, {}, false, "everything undone, the trailing line too"},
        {2, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerAboutToOverwrite, b) +
             Event(kLedgerOverwritten, b) + Event(kLedgerRolledBack, b) + Event(kLedgerRollbackFailed, a),
         true, false, {a}, false, "a rollback that only undid b"},
        {1, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerRolledBack, a),
         true, false, {}, false, "rolled back already"},
        {1, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerCommitted, "D:\\R\\Tool"),
         true, true, {a}, false, "committed"},
        {3, Event(kLedgerAboutToOverwrite, b) + Event(kLedgerOverwritten, b), false, false, {}, false,
         "the ledger names another target"},
        {3, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerAboutToOverwrite, a), false, false, {}, false,
         "one target twice"},
        {1, Event(kLedgerTemporary, a), true, false, {a}, true, "a line whose overwrite line is missing"},
        {3, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerAboutToOverwrite, b) +
             Event(kLedgerOverwritten, b) + Event(kLedgerRollbackFailed, c) + Event(kLedgerRolledBack, b),
         true, false, {c, a}, false, "a trailing line whose undo failed is guarded by its content again"},
        {1, Event(kLedgerAboutToOverwrite, "D:\\R\\TOOL\\A") + Event(kLedgerOverwritten, "d:\\r\\tool\\a"),
         true, false, {a}, false, "the ledger's ASCII case does not matter"},
        {2, Event(kLedgerRolledBack, b) + Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) +
             Event(kLedgerAboutToOverwrite, b),
         true, false, {b, a}, true, "an event before a target's overwrite is not its undo"},
    };
    for (const Case& test : cases) {
        RecoveryRecord record;
        std::string text = Header();
        for (size_t i = 0; i < test.recorded; ++i) text += lines[i];
        ASSERT_TRUE(Parse(text, record));
        RecoveryPlan plan;
        ASSERT_EQ(PlanRecovery(Ledger(test.ledger), record, plan), test.ok) << test.what;
        if (!test.ok) continue;
        EXPECT_EQ(plan.committed, test.committed) << test.what;
        std::vector<std::string> steps;
        for (const RecoveryStep& step : plan.steps) steps.push_back(WideToUtf8(step.line->target));
        EXPECT_EQ(steps, test.steps) << test.what;
        for (size_t i = 0; i < plan.steps.size(); ++i) {
            EXPECT_EQ(plan.steps[i].torn, test.lastTorn && i == 0) << test.what;
        }
    }
}

// The ledger is not flushed, the record is: a power cut can leave record lines
// beyond the ledger's last "即将覆盖", each of whose copies may have begun.
// Only the newest line may have a copy cut short; earlier ones were copied in full,
// so their targets are undone only while they hold what was written.
TEST(PlanRecovery, RecordLinesBeyondTheLedgerAreUndoneTheNewestAsTorn) {
    const std::string a = "D:\\R\\Tool\\a", b = "D:\\R\\Tool\\b", c = "D:\\R\\Tool\\c";
    struct Step { std::string target; bool torn; };
    struct Case { std::string ledger; bool ok; std::vector<Step> steps; const char* what; };
    const Case cases[] = {
        {Event(kLedgerTemporary, a), true, {{c, true}, {b, false}, {a, false}}, "the ledger lost every overwrite"},
        {Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a), true, {{c, true}, {b, false}, {a, false}},
         "two lines beyond the ledger"},
        {Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerRolledBack, c) +
             Event(kLedgerRollbackFailed, b),
         true, {{b, false}, {a, false}}, "undo logged for both: c is done, b is guarded by its content again"},
        {Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerAboutToOverwrite, c), false,
         {}, "an overwrite out of the record's order"},
    };
    for (const Case& test : cases) {
        RecoveryRecord record;
        ASSERT_TRUE(Parse(Header() + Line(a) + Line(b, "") + Line(c), record));
        RecoveryPlan plan;
        ASSERT_EQ(PlanRecovery(Ledger(test.ledger), record, plan), test.ok) << test.what;
        if (!test.ok) continue;
        ASSERT_EQ(plan.steps.size(), test.steps.size()) << test.what;
        for (size_t i = 0; i < plan.steps.size(); ++i) {
            EXPECT_EQ(WideToUtf8(plan.steps[i].line->target), test.steps[i].target) << test.what;
            EXPECT_EQ(plan.steps[i].torn, test.steps[i].torn) << test.what << " " << i;
        }
    }
}

// Record lines given by target; the ledger by events.
RecoveryRecord RecordOf(const std::vector<std::string>& targets) {
    std::string text = Header();
    for (const std::string& target : targets) text += Line(target);
    RecoveryRecord record;
    EXPECT_TRUE(Parse(text, record));
    return record;
}

TEST(PlanRecovery, ATargetIsOverwrittenOnce) {
    const std::string a = "D:\\R\\Tool\\a", upper = "D:\\R\\TOOL\\A", accented = "D:\\R\\Tool\\\xc3\xa0";
    struct Case { std::vector<std::string> record; std::string ledger; bool ok; const char* what; };
    const Case cases[] = {
        {{a, upper},
         Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) + Event(kLedgerAboutToOverwrite, upper), false,
         "twice in another ASCII case"},
        {{a, upper}, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a), false,
         "a trailing line for a target already overwritten"},
        {{a, accented}, Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) +
             Event(kLedgerAboutToOverwrite, accented), true, "only A-Z fold: another letter is another target"},
    };
    for (const Case& c : cases) {
        RecoveryRecord record = RecordOf(c.record);
        RecoveryPlan plan;
        EXPECT_EQ(PlanRecovery(Ledger(c.ledger), record, plan), c.ok) << c.what;
    }
}

// A quadratic plan would take minutes here.
TEST(PlanRecovery, AHundredThousandTargets) {
    const size_t n = 100000;
    std::string record = Header(), ledger;
    for (size_t i = 0; i < n; ++i) {
        std::string target = "D:\\R\\Tool\\f" + std::to_string(i);
        record += Line(target);
        ledger += Event(kLedgerAboutToOverwrite, target);
        if (i + 1 < n) ledger += Event(kLedgerOverwritten, target);
        if (i % 2 == 1 && i + 1 < n) ledger += Event(kLedgerRolledBack, target);
    }
    RecoveryFiles files;
    ASSERT_EQ(ReadRecoveryFiles(reinterpret_cast<const uint8_t*>(ledger.data()), ledger.size(),
                                reinterpret_cast<const uint8_t*>(record.data()), record.size(), files),
              RecoveryRead::kPlanned);
    ASSERT_EQ(files.plan.steps.size(), n / 2 + 1);
    EXPECT_EQ(WideToUtf8(files.plan.steps[0].line->target), "D:\\R\\Tool\\f99999");
    EXPECT_TRUE(files.plan.steps[0].torn);
    EXPECT_EQ(WideToUtf8(files.plan.steps.back().line->target), "D:\\R\\Tool\\f0");
}

RecoveryRead Read(const std::string& ledger, const std::string& record) {
    RecoveryFiles files;
    return ReadRecoveryFiles(reinterpret_cast<const uint8_t*>(ledger.data()), ledger.size(),
                             reinterpret_cast<const uint8_t*>(record.data()), record.size(), files);
}

// text, then a torn last line (no CR LF, so never parsed) up to size bytes.
std::string TornTo(const std::string& text, size_t size) { return text + std::string(size - text.size(), 'x'); }

TEST(ReadRecoveryFiles, BoundsAndOutcomes) {
    const std::string a = "D:\\R\\Tool\\a";
    const std::string record = Header() + Line(a), begun = Event(kLedgerAboutToOverwrite, a);
    struct Case { std::string ledger, record; RecoveryRead read; const char* what; };
    const Case cases[] = {
        {begun, record, RecoveryRead::kPlanned, "killed while copying"},
        {TornTo(begun, kMaxRecoveryFileSize), TornTo(record, kMaxRecoveryFileSize), RecoveryRead::kPlanned,
         "both of exactly the limit"},
        {TornTo(begun, kMaxRecoveryFileSize + 1), record, RecoveryRead::kUnreadable, "a ledger one byte over"},
        {begun, TornTo(record, kMaxRecoveryFileSize + 1), RecoveryRead::kUnreadable, "a record one byte over"},
        {begun + Event(kLedgerCommitted, "D:\\R\\Tool"), "not a record", RecoveryRead::kNothingToDo,
         "committed, whatever the record says"},
        {begun + Event(kLedgerRolledBack, a), record, RecoveryRead::kNothingToDo, "undone already"},
        {begun, "TWRECOVERY1\r\n", RecoveryRead::kUnreadable, "a malformed record"},
        {"no tab\r\n", record, RecoveryRead::kUnreadable, "a malformed ledger"},
        {Event(kLedgerAboutToOverwrite, "D:\\R\\Tool\\b"), record, RecoveryRead::kUnreadable, "they disagree"},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(c.ledger, c.record), c.read) << c.what;
}

TEST(DecideUndo, OnlyWhatTheAttemptWroteIsUndone) {
    RecoveryLine replaced = RecordOf({"D:\\R\\Tool\\a"}).lines[0], created = replaced;
    created.backup.clear();
    using S = TargetState;
    using A = UndoAction;
    struct Case { const RecoveryLine* line; bool torn; S state; A action; const char* what; };
    const Case cases[] = {
        {&replaced, false, S::kMissing, A::kRefuse, "replaced, then deleted by the user: stays deleted"},
        {&replaced, true, S::kMissing, A::kRestore, "replaced, missing after the torn copy"},
        {&created, false, S::kMissing, A::kNone, "created, then deleted"},
        {&created, true, S::kMissing, A::kNone, "created, its copy never began"},
        {&replaced, false, S::kHoldsOriginal, A::kNone, "restored already"},
        {&replaced, true, S::kHoldsOriginal, A::kNone, "the torn copy never began"},
        {&replaced, false, S::kHoldsWritten, A::kRestore, "replaced and written"},
        {&created, false, S::kHoldsWritten, A::kDelete, "created and written"},
        {&replaced, false, S::kHoldsOther, A::kRefuse, "changed by the user"},
        {&created, false, S::kHoldsOther, A::kRefuse, "created, then changed by the user"},
        {&replaced, true, S::kHoldsOther, A::kRestore, "half copied"},
        {&created, true, S::kHoldsOther, A::kDelete, "created, half copied"},
    };
    for (const Case& c : cases) EXPECT_EQ(DecideUndo({c.line, c.torn}, c.state), c.action) << c.what;
}

TEST(IsRecoveryTarget, OnlyTheProductFolderAndItsOwnShortcut) {
    const std::u16string dir = u"D:\\R\\Tool", desktop = u"C:\\Users\\u\\Desktop";
    struct Case { std::u16string desktop, name, target; bool ok; const char* what; };
    const Case cases[] = {
        {desktop, u"Tool", u"D:\\R\\Tool\\bin\\a.exe", true, "in the product folder"},
        {desktop, u"Tool", u"D:\\R\\Tool", false, "the product folder itself"},
        {desktop, u"Tool", u"D:\\R\\Tool2\\a.exe", false, "a sibling folder"},
        {desktop, u"Tool", desktop + u"\\Tool.lnk", true, "its own shortcut"},
        {desktop, u"Tool", u"c:\\users\\U\\DESKTOP\\tool.LNK", true, "its own shortcut in another case"},
        {desktop, u"Tool", desktop + u"\\Other.lnk", false, "another program's shortcut"},
        {desktop, u"Tool", desktop + u"\\Tool.lnk\\x", false, "below the shortcut's name"},
        {desktop, u"Tool", desktop + u"\\sub\\Tool.lnk", false, "in a folder on the desktop"},
        {desktop, u"Tool", desktop + u"\\Tool.lnk ", false, "a trailing space"},
        {desktop, u"A:B", desktop + u"\\A_B.lnk", true, "a name with unsafe characters"},
        {desktop, u"A:B", desktop + u"\\A:B.lnk", false, "the unsanitized name"},
        {u"", u"Tool", u"\\Tool.lnk", false, "no desktop known"},
    };
    for (const Case& c : cases) EXPECT_EQ(IsRecoveryTarget(dir, c.desktop, c.name, c.target), c.ok) << c.what;
}

TEST(LedgerMatchesFileList, EveryOverwriteListedAndFinished) {
    const std::string a = "D:\\R\\Tool\\a", b = "D:\\R\\Tool\\b";
    const std::string both = Event(kLedgerAboutToOverwrite, a) + Event(kLedgerOverwritten, a) +
                             Event(kLedgerAboutToOverwrite, b) + Event(kLedgerOverwritten, b);
    StringList ab{u"d:\\r\\tool\\B", u"D:\\R\\Tool\\a"}, onlyA{u"D:\\R\\Tool\\a"};
    EXPECT_TRUE(LedgerMatchesFileList(Ledger(both), ab));
    EXPECT_FALSE(LedgerMatchesFileList(Ledger(both), onlyA)) << "a target the manifest does not list";
    EXPECT_FALSE(LedgerMatchesFileList(Ledger(Event(kLedgerAboutToOverwrite, a)), ab)) << "an unfinished overwrite";
    EXPECT_TRUE(LedgerMatchesFileList({}, {})) << "no overwrite at all";
}

}  // namespace
