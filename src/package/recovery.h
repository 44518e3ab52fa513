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
    size_t begun = 0;                 // record lines with their "即将覆盖"; one more may have a torn backup
    std::vector<RecoveryStep> steps;  // targets still to undo, newest first
};

// Matches the ledger's overwrites with the record's lines, in order. False
// when they disagree (another target, an overwrite without its line, a target
// overwritten twice): such a folder is not touched.
bool PlanRecovery(const std::vector<LedgerRecordLine>& ledger, const RecoveryRecord& record, RecoveryPlan& plan);
