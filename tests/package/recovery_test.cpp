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
        {2, Event(kLedgerTemporary, a), false, false, {}, false, "two lines for no overwrite: the ledger lost one"},
        {1, Event(kLedgerTemporary, a), true, false, {a}, true, "a line whose overwrite line is missing"},
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

}  // namespace
