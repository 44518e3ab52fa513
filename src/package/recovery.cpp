#include "package/recovery.h"

#include <unordered_map>
#include <unordered_set>

#include "engine/shortcut.h"
#include "package/manifest.h"
#include "package/path_rules.h"
#include "package/transaction.h"

namespace {

const char kMagic[] = "TWRECOVERY1";

// The complete lines of a file written line by line with CR LF endings.
std::vector<std::string_view> CompleteLines(const uint8_t* data, size_t size) {
    std::vector<std::string_view> lines;
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (size_t i = 0; i + 1 < size; ++i) {
        if (text[i] == '\r' && text[i + 1] == '\n') {
            lines.emplace_back(text + start, i - start);
            start = i + 2;
            ++i;
        }
    }
    return lines;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

bool ParseSize(std::string_view text, uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

bool IsSha256Hex(std::string_view text) {
    if (text.size() != 64) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool ParsePath(std::string_view text, WideBuffer& path) {
    path = Utf8ToWide(text);
    return HasNoControlChars(path);
}

bool ParseLine(std::string_view text, RecoveryLine& line) {
    std::vector<std::string_view> f = Fields(text);
    if (f.size() != 7 || f[0].empty() || f[6].empty()) return false;
    if (!ParsePath(f[0], line.target) || !ParsePath(f[1], line.backup) || !ParsePath(f[6], line.staged)) return false;
    if (!ParseSize(f[2], line.backup_size) || !ParseSize(f[4], line.staged_size) || !IsSha256Hex(f[5])) return false;
    // A target that did not exist has no backup, and then nothing about one.
    if (line.backup.empty() ? (line.backup_size != 0 || !f[3].empty()) : !IsSha256Hex(f[3])) return false;
    line.backup_hash = Utf8ToWide(f[3]);
    line.staged_hash = Utf8ToWide(f[5]);
    return true;
}

bool IsKind(const LedgerRecordLine& line, const char16_t* kind) { return line.kind == kind; }

constexpr size_t kNone = static_cast<size_t>(-1);

struct TargetEvents {
    size_t overwrite = kNone;  // its "即将覆盖"
    size_t last = kNone;       // its newest event
    bool written = false;      // "覆盖完成" or "覆盖失败" since its "即将覆盖"
};

// Where the record of an overwrite says what became of its target.
bool IsTargetEvent(const LedgerRecordLine& line) {
    return IsKind(line, kLedgerAboutToOverwrite) || IsKind(line, kLedgerOverwritten) ||
           IsKind(line, kLedgerOverwriteFailed) || IsKind(line, kLedgerRolledBack) ||
           IsKind(line, kLedgerRollbackFailed);
}

}  // namespace

std::string RecoveryHeaderText(std::u16string_view pucType, std::u16string_view version,
                               std::u16string_view productDir) {
    std::string text = kMagic;
    for (std::u16string_view field : {pucType, HasNoControlChars(version) ? version : std::u16string_view(), productDir}) {
        text += '\t';
        text += WideToUtf8(field);
    }
    return text + "\r\n";
}

std::string RecoveryLineText(const RecoveryLine& line) {
    return WideToUtf8(line.target) + '\t' + WideToUtf8(line.backup) + '\t' + std::to_string(line.backup_size) + '\t' +
           WideToUtf8(line.backup_hash) + '\t' + std::to_string(line.staged_size) + '\t' + WideToUtf8(line.staged_hash) +
           '\t' + WideToUtf8(line.staged) + "\r\n";
}

bool ParseRecoveryRecord(const uint8_t* data, size_t size, RecoveryRecord& record) {
    std::vector<std::string_view> lines = CompleteLines(data, size);
    if (lines.empty()) return false;
    std::vector<std::string_view> header = Fields(lines[0]);
    if (header.size() != 4 || header[0] != kMagic || header[1].empty() || header[3].empty()) return false;
    if (!ParsePath(header[1], record.puc_type) || !ParsePath(header[2], record.version) ||
        !ParsePath(header[3], record.product_dir)) {
        return false;
    }
    record.lines.clear();
    for (size_t i = 1; i < lines.size(); ++i) {
        RecoveryLine line;
        if (!ParseLine(lines[i], line)) return false;
        record.lines.push_back(std::move(line));
    }
    return true;
}

bool ParseLedgerLines(const uint8_t* data, size_t size, std::vector<LedgerRecordLine>& lines) {
    lines.clear();
    for (std::string_view text : CompleteLines(data, size)) {
        size_t tab = text.find('\t');
        if (tab == std::string_view::npos) return false;
        LedgerRecordLine line{Utf8ToWide(text.substr(0, tab)), Utf8ToWide(text.substr(tab + 1))};
        if (!HasNoControlChars(line.path)) return false;
        lines.push_back(std::move(line));
    }
    return true;
}

bool PlanRecovery(const std::vector<LedgerRecordLine>& ledger, const RecoveryRecord& record, RecoveryPlan& plan) {
    plan = RecoveryPlan();
    // One pass: each target's last event, and whether it was written since
    // its "即将覆盖" (a target has at most one).
    std::unordered_map<WideBuffer, TargetEvents> targets;
    std::vector<size_t> overwrites;  // ledger index of each "即将覆盖", in order
    for (size_t i = 0; i < ledger.size(); ++i) {
        plan.committed |= IsKind(ledger[i], kLedgerCommitted);
        if (!IsTargetEvent(ledger[i])) continue;
        TargetEvents& events = targets[FoldedText(ledger[i].path)];
        if (IsKind(ledger[i], kLedgerAboutToOverwrite)) {
            size_t k = overwrites.size();
            if (k >= record.lines.size() || !EqualsNoCase(record.lines[k].target, ledger[i].path)) return false;
            if (events.overwrite != kNone) return false;
            events.overwrite = i;
            events.written = false;
            overwrites.push_back(i);
        }
        events.written |= IsKind(ledger[i], kLedgerOverwritten) || IsKind(ledger[i], kLedgerOverwriteFailed);
        events.last = i;
    }
    // Each line is on disk before its overwrite begins; the ledger is not
    // flushed, so a power cut can lose its tail. Lines beyond the ledger's
    // last "即将覆盖" are undone unless an undo of it was logged since. Only
    // the newest may have had its copy cut short or never begun, and is undone
    // as if torn (a target that still holds its original counts as undone);
    // each earlier one was copied in full before the next line was written,
    // so a target holding anything else is a later change and is kept.
    plan.begun = overwrites.size();
    for (size_t k = record.lines.size(); k-- > overwrites.size();) {
        const RecoveryLine& trailing = record.lines[k];
        auto found = targets.find(FoldedText(trailing.target));
        if (found != targets.end()) {
            // The program never overwrites a target twice in one attempt.
            if (found->second.overwrite != kNone) return false;
            if (IsKind(ledger[found->second.last], kLedgerRolledBack)) continue;
        }
        plan.steps.push_back({&trailing, found == targets.end() && k + 1 == record.lines.size()});
    }
    for (size_t k = overwrites.size(); k-- > 0;) {
        const TargetEvents& events = targets[FoldedText(record.lines[k].target)];
        if (IsKind(ledger[events.last], kLedgerRolledBack)) continue;
        // Torn only while nothing happened to it since: after a failed undo the
        // content guard applies again.
        bool torn = !events.written && events.last == overwrites[k] && k + 1 == overwrites.size();
        plan.steps.push_back({&record.lines[k], torn});
    }
    return true;
}

UndoAction DecideUndo(const RecoveryStep& step, TargetState state) {
    bool created = step.line->backup.empty();
    switch (state) {
        case TargetState::kMissing:
            if (created) return UndoAction::kNone;
            return step.torn ? UndoAction::kRestore : UndoAction::kRefuse;
        case TargetState::kHoldsOriginal:
            return created ? UndoAction::kRefuse : UndoAction::kNone;
        case TargetState::kHoldsOther:
            if (!step.torn) return UndoAction::kRefuse;
            break;
        case TargetState::kHoldsWritten:
            break;
    }
    return created ? UndoAction::kDelete : UndoAction::kRestore;
}

RecoveryRead ReadRecoveryFiles(const uint8_t* ledger, size_t ledgerSize, const uint8_t* record, size_t recordSize,
                               RecoveryFiles& files) noexcept {
    if (ledgerSize > kMaxRecoveryFileSize || recordSize > kMaxRecoveryFileSize) return RecoveryRead::kUnreadable;
    // The standard library's bad_alloc and length_error are all that can be
    // thrown here; a file that exhausts memory is one not read.
    try {
        if (!ParseLedgerLines(ledger, ledgerSize, files.ledger)) return RecoveryRead::kUnreadable;
        for (const LedgerRecordLine& line : files.ledger) {
            if (IsKind(line, kLedgerCommitted)) return RecoveryRead::kNothingToDo;
        }
        if (!ParseRecoveryRecord(record, recordSize, files.record) ||
            !PlanRecovery(files.ledger, files.record, files.plan)) {
            return RecoveryRead::kUnreadable;
        }
        return files.plan.steps.empty() ? RecoveryRead::kNothingToDo : RecoveryRead::kPlanned;
    } catch (...) {
        files = RecoveryFiles();
        return RecoveryRead::kUnreadable;
    }
}

bool IsRecoveryTarget(std::u16string_view productDir, std::u16string_view desktop, std::u16string_view pucName,
                      std::u16string_view target) {
    if (IsStrictlyUnder(productDir, target)) return true;
    if (desktop.empty()) return false;
    WideBuffer link;
    PathJoin(link, desktop, DesktopLinkName(pucName));
    return EqualsNoCase(link, target);
}

bool LedgerMatchesFileList(const std::vector<LedgerRecordLine>& ledger, const StringList& files) {
    std::unordered_set<WideBuffer> listed;
    for (const WideBuffer& file : files) listed.insert(FoldedText(file));
    size_t overwrites = 0, written = 0;
    for (const LedgerRecordLine& line : ledger) {
        if (IsKind(line, kLedgerOverwritten)) ++written;
        if (!IsKind(line, kLedgerAboutToOverwrite)) continue;
        ++overwrites;
        if (listed.count(FoldedText(line.path)) == 0) return false;
    }
    return overwrites == written;
}
