// What an install attempt leaves so that a crash can be undone on the next
// run: beside its ledger, a "recovery.tsv" with the sizes and SHA-256 of what
// each overwrite replaced and wrote. Reading both back and deciding what to
// undo needs no system; both files lie in a folder a standard user can write
// to, so every line is checked and anything odd makes the reader refuse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/text.h"

// One overwrite of the attempt, written before it starts.
struct RecoveryLine {
    WideBuffer target;
    WideBuffer backup;  // empty when the target did not exist
    uint64_t backup_size = 0;
    WideBuffer backup_hash;
    uint64_t staged_size = 0;
    WideBuffer staged_hash;
    WideBuffer staged;
};

struct RecoveryRecord {
    WideBuffer puc_type;
    WideBuffer version;
    WideBuffer product_dir;
    std::vector<RecoveryLine> lines;
};

struct LedgerRecordLine {
    WideBuffer kind;
    WideBuffer path;
};

// "TWRECOVERY1\t<puc_type>\t<version>\t<product folder>\r\n"; a version with
// control characters is written empty (no manifest can hold it either).
std::string RecoveryHeaderText(std::u16string_view pucType, std::u16string_view version,
                               std::u16string_view productDir);
// target, backup, backup size, backup SHA-256, staged size, staged SHA-256 and
// the staged file, tab-separated, then CR LF.
std::string RecoveryLineText(const RecoveryLine& line);

// Complete lines only: a last line without its CR LF was torn by the crash and
// is ignored. False for a missing header or any malformed complete line.
bool ParseRecoveryRecord(const uint8_t* data, size_t size, RecoveryRecord& record);
bool ParseLedgerLines(const uint8_t* data, size_t size, std::vector<LedgerRecordLine>& lines);

struct RecoveryStep {
    const RecoveryLine* line;
    bool torn;  // its copy was under way when the process died
};

struct RecoveryPlan {
    bool committed = false;           // the ledger says "安装提交"
    size_t begun = 0;                 // record lines with their "即将覆盖"; later ones may have torn backups
    std::vector<RecoveryStep> steps;  // targets still to undo, newest first
};

// Matches the ledger's overwrites with the record's lines, in order. False
// when they disagree (another target, an overwrite without its line, a target
// overwritten twice): such a folder is not touched. Linear in the lines.
bool PlanRecovery(const std::vector<LedgerRecordLine>& ledger, const RecoveryRecord& record, RecoveryPlan& plan);

// What a target holds when recovery finds it.
enum class TargetState { kMissing, kHoldsOriginal, kHoldsWritten, kHoldsOther };
enum class UndoAction {
    kNone,     // it already is what it was before the attempt
    kRestore,  // copy the backup back
    kDelete,   // the attempt created it
    kRefuse,   // changed since the crash: left as the user has it
};

// Only what the attempt wrote is undone; the copy under way (torn) may have
// left anything, a missing target among it. A target missing after any other
// step was deleted by the user and stays deleted.
UndoAction DecideUndo(const RecoveryStep& step, TargetState state);

// Neither file of an attempt is read when larger: an attempt writes a record
// line of a few hundred bytes and a few ledger lines per file it deploys, so
// this holds some hundred thousand files, more than any package has.
constexpr uint64_t kMaxRecoveryFileSize = uint64_t(64) << 20;

// What an attempt folder's files say, once read. plan points into record, so
// the whole is moved, never copied.
struct RecoveryFiles {
    std::vector<LedgerRecordLine> ledger;
    RecoveryRecord record;
    RecoveryPlan plan;
};

enum class RecoveryRead {
    kNothingToDo,  // committed, or nothing left to undo
    kUnreadable,   // too large, malformed, out of memory: the folder is left as it is
    kPlanned,      // plan.steps holds what to undo
};

// Parses both files and plans; never throws (running out of memory on a large
// hostile file is kUnreadable). A committed ledger is never undone, whatever
// the record says.
RecoveryRead ReadRecoveryFiles(const uint8_t* ledger, size_t ledgerSize, const uint8_t* record, size_t recordSize,
                               RecoveryFiles& files) noexcept;

// A target the attempt could have written: in the product folder, or the
// product's own desktop shortcut (desktop may be empty when unknown).
bool IsRecoveryTarget(std::u16string_view productDir, std::u16string_view desktop, std::u16string_view pucName,
                      std::u16string_view target);

// True when every "即将覆盖" of the ledger names a file of files (a manifest's
// list) and every overwrite finished: the manifest is this attempt's commit.
bool LedgerMatchesFileList(const std::vector<LedgerRecordLine>& ledger, const StringList& files);
