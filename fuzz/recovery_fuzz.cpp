// Fuzzes the readers of what an interrupted attempt left (the ledger and
// recovery.tsv, both in a folder a standard user can write to) and the plan
// made from them. The input is split at its first NUL: ledger, then record. A
// parsed record must write back to text that parses to the same lines.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/recovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    size_t ledgerSize = split ? static_cast<size_t>(split - data) : size;
    const uint8_t* recordData = split ? split + 1 : data;
    size_t recordSize = split ? size - ledgerSize - 1 : size;

    std::vector<LedgerRecordLine> ledger;
    RecoveryRecord record;
    bool ledgerOk = ParseLedgerLines(data, ledgerSize, ledger);
    if (!ParseRecoveryRecord(recordData, recordSize, record)) return 0;
    if (ledgerOk) {
        RecoveryPlan plan;
        if (PlanRecovery(ledger, record, plan)) {
            for (const RecoveryStep& step : plan.steps) {
                if (step.line < record.lines.data() || step.line >= record.lines.data() + record.lines.size()) {
                    std::abort();
                }
            }
        }
    }
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
    return 0;
}
