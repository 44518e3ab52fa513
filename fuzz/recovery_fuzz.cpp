// Fuzzes the reader of what an interrupted attempt left (the ledger and
// recovery.tsv, both in a work folder) and the plan made from them, with
// inputs of several MiB. The input is split at its first NUL: ledger, then
// record. The linear plan must agree with a plain quadratic one on inputs
// small enough for it, and a parsed record must write back to text that
// parses to the same lines.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/recovery.h"
#include "package/transaction.h"

namespace {

bool Is(const LedgerRecordLine& line, const char16_t* kind) { return line.kind == kind; }

bool IsTargetEvent(const LedgerRecordLine& line) {
    return Is(line, kLedgerAboutToOverwrite) || Is(line, kLedgerOverwritten) || Is(line, kLedgerOverwriteFailed) ||
           Is(line, kLedgerRolledBack) || Is(line, kLedgerRollbackFailed);
}

struct Step {
    size_t line;
    bool torn;
    bool operator==(const Step& other) const { return line == other.line && torn == other.torn; }
};

// Every target compared with every other, as the plan was first written.
bool QuadraticPlan(const std::vector<LedgerRecordLine>& ledger, const RecoveryRecord& record,
                   std::vector<Step>& steps) {
    std::vector<size_t> overwrites;
    for (size_t i = 0; i < ledger.size(); ++i) {
        if (!Is(ledger[i], kLedgerAboutToOverwrite)) continue;
        size_t k = overwrites.size();
        if (k >= record.lines.size() || !EqualsNoCase(record.lines[k].target, ledger[i].path)) return false;
        for (size_t earlier : overwrites) {
            if (EqualsNoCase(ledger[earlier].path, ledger[i].path)) return false;
        }
        overwrites.push_back(i);
    }
    // Record lines beyond the ledger's overwrites, newest first; only the newest may be torn.
    for (size_t k = record.lines.size(); k-- > overwrites.size();) {
        const WideBuffer& target = record.lines[k].target;
        for (size_t earlier : overwrites) {
            if (EqualsNoCase(ledger[earlier].path, target)) return false;
        }
        const LedgerRecordLine* last = nullptr;
        for (const LedgerRecordLine& line : ledger) {
            if (IsTargetEvent(line) && EqualsNoCase(line.path, target)) last = &line;
        }
        if (!last || !Is(*last, kLedgerRolledBack)) steps.push_back({k, !last && k + 1 == record.lines.size()});
    }
    for (size_t k = overwrites.size(); k-- > 0;) {
        size_t at = overwrites[k], last = at;
        bool written = false;
        for (size_t i = at + 1; i < ledger.size(); ++i) {
            if (!IsTargetEvent(ledger[i]) || !EqualsNoCase(ledger[i].path, ledger[at].path)) continue;
            written |= Is(ledger[i], kLedgerOverwritten) || Is(ledger[i], kLedgerOverwriteFailed);
            last = i;
        }
        if (Is(ledger[last], kLedgerRolledBack)) continue;
        steps.push_back({k, !written && last == at && k + 1 == overwrites.size()});
    }
    return true;
}

void CheckPlan(const std::vector<LedgerRecordLine>& ledger, const RecoveryRecord& record) {
    RecoveryPlan plan;
    bool planned = PlanRecovery(ledger, record, plan);
    std::vector<Step> steps;
    for (const RecoveryStep& step : plan.steps) {
        if (step.line < record.lines.data() || step.line >= record.lines.data() + record.lines.size()) std::abort();
        steps.push_back({static_cast<size_t>(step.line - record.lines.data()), step.torn});
    }
    if (planned) {
        // Newest first; torn only the last overwrite and, when a power cut lost
        // ledger lines, the newest record line.
        size_t last = record.lines.size() - 1;
        for (size_t i = 0; i < steps.size(); ++i) {
            if (i > 0 && steps[i].line >= steps[i - 1].line) std::abort();
            if (steps[i].torn && steps[i].line != last && steps[i].line + 1 != plan.begun) std::abort();
        }
        if (plan.begun > record.lines.size()) std::abort();
    }
    if (ledger.size() > 1500 || record.lines.size() > 1500) return;
    std::vector<Step> expected;
    bool expectedOk = QuadraticPlan(ledger, record, expected);
    if (planned != expectedOk || (planned && expected != steps)) std::abort();
}

void CheckRoundTrip(const RecoveryRecord& record) {
    std::string text = RecoveryHeaderText(record.puc_type, record.version, record.product_dir);
    for (const RecoveryLine& line : record.lines) text += RecoveryLineText(line);
    RecoveryRecord again;
    if (!ParseRecoveryRecord(reinterpret_cast<const uint8_t*>(text.data()), text.size(), again) ||
        again.lines.size() != record.lines.size()) {
        std::abort();
    }
    for (size_t i = 0; i < record.lines.size(); ++i) {
        if (again.lines[i].target != record.lines[i].target || again.lines[i].staged_hash != record.lines[i].staged_hash) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    size_t ledgerSize = split ? static_cast<size_t>(split - data) : size;
    const uint8_t* recordData = split ? split + 1 : data;
    size_t recordSize = split ? size - ledgerSize - 1 : size;

    RecoveryFiles files;
    RecoveryRead read = ReadRecoveryFiles(data, ledgerSize, recordData, recordSize, files);
    if (read == RecoveryRead::kPlanned && files.plan.steps.empty()) std::abort();

    std::vector<LedgerRecordLine> ledger;
    RecoveryRecord record;
    bool ledgerOk = ParseLedgerLines(data, ledgerSize, ledger);
    if (!ParseRecoveryRecord(recordData, recordSize, record)) return 0;
    CheckRoundTrip(record);
    if (ledgerOk) CheckPlan(ledger, record);
    return 0;
}
