#include "package/recovery_win.h"

#include <windows.h>

#include <mutex>
#include <set>

#include "base/file_win.h"
#include "base/handles_win.h"
#include "base/log.h"
#include "base/memory.h"
#include "base/system_win.h"
#include "base/wide_win.h"
#include "catalog/sha256_win.h"
#include "package/manifest.h"
#include "package/manifest_win.h"
#include "package/held_path_win.h"
#include "package/ledger_win.h"
#include "package/path_rules.h"
#include "package/path_safety_win.h"
#include "package/work_folder_win.h"

namespace {

const char16_t kLockName[] = u"attempt.lock";
const char16_t kRecordName[] = u"recovery.tsv";
const char16_t kKeptLine[] = u"[Parcelwright] 上次中断的安装未能完全撤回，备份保留在：%s";

// Never through a second link: a name planted beside another file would have
// the elevated program write into that file. Flushed, since the line must be
// on disk before the overwrite it announces begins.
bool AppendBytes(HANDLE file, const std::string& bytes) {
    DWORD wrote = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) && wrote == bytes.size() &&
           FlushFileBuffers(file);
}

bool AppendBytes(const WideBuffer& path, const std::string& bytes, DWORD disposition) {
    UniqueHandle file;
    return OpenAppendOnly(path, disposition, file) && AppendBytes(file.get(), bytes);
}

// Recovery runs at every catalog load and root change: a folder it must leave
// is reported once per run, not each time.
void LogKeptOnce(const WideBuffer& work) noexcept {
    static std::mutex turn;
    static std::set<WideBuffer> logged;  // folded by ASCII case
    try {
        WideBuffer key = work;
        for (char16_t& c : key) c = FoldAscii(c);
        {
            std::lock_guard<std::mutex> hold(turn);
            if (!logged.insert(std::move(key)).second) return;
        }
        LogLine(kKeptLine, work);
    } catch (...) {
        // Out of memory: the line is lost, recovery goes on.
    }
}

// At most kMaxRecoveryFileSize bytes, else nothing: a file a crash left is
// never read whole when it could not have been written by an attempt.
bool ReadRecoveryFile(const WideBuffer& path, ByteBuffer& bytes) {
    bytes.clear();
    UniqueHandle file(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 1 ||
        static_cast<uint64_t>(size.QuadPart) > kMaxRecoveryFileSize ||
        !TryResize(bytes, static_cast<size_t>(size.QuadPart))) {
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        if (!ReadFile(file.get(), bytes.data() + done, chunk, &got, nullptr) || got == 0) {
            bytes.clear();
            return false;
        }
        done += got;
    }
    return true;
}

// "<puc_type>-<digits>-<digits>", the name of this product's work folders.
bool IsAttemptFolderName(std::u16string_view name, std::u16string_view pucType) {
    if (name.size() <= pucType.size() + 1 || name.substr(0, pucType.size()) != pucType || name[pucType.size()] != u'-') {
        return false;
    }
    std::u16string_view rest = name.substr(pucType.size() + 1);
    size_t dash = rest.find(u'-');
    return dash != std::u16string_view::npos && IsDecimalDigits(rest.substr(0, dash)) &&
           IsDecimalDigits(rest.substr(dash + 1));
}

bool KnownToThisProcess(const ProductEntry& product, const WideBuffer& folder) {
    for (const InstallTransaction* t = product.transaction.get(); t; t = t->older.get()) {
        if (EqualsNoCase(t->work_folder, folder)) return true;
    }
    return false;
}

// A running attempt holds its lock open without sharing (process ids in the
// folder name say nothing, since Windows reuses them). Recovery takes the lock
// itself, so two copies of the program never undo one folder at once.
bool TakeAttemptLock(const WideBuffer& folder, UniqueHandle& lock) {
    WideBuffer path;
    PathJoin(path, folder, kLockName);
    if (!HasNoReparsePoint(path)) return false;
    lock.reset(CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    return static_cast<bool>(lock);
}

bool IsFullPath(std::u16string_view path) {
    WideBuffer full;
    return FullPathOf(path, full) && EqualsNoCase(full, path);
}

// Every path the files name must be one this attempt could have written:
// targets in the product folder (or its desktop shortcut), backups and staged
// files in the work folder.
bool RecordIsTrustworthy(const ProductEntry& product, const WideBuffer& root, const WideBuffer& work,
                         const RecoveryRecord& record) {
    WideBuffer named;
    bool ownFolder = EqualsNoCase(record.product_dir, product.installed_dir) ||
                     (SafeJoinRelative(root, SanitizeFolderName(product.puc_name), named) &&
                      EqualsNoCase(record.product_dir, named));
    if (record.puc_type != product.puc_type || !ownFolder || !IsFullPath(record.product_dir) ||
        !ValidateProductDir(product, root, record.product_dir)) {
        return false;
    }
    WideBuffer desktop;
    if (!DesktopFolder(desktop)) desktop.clear();
    for (const RecoveryLine& line : record.lines) {
        bool targetOk = IsRecoveryTarget(record.product_dir, desktop, product.puc_name, line.target);
        bool backupOk = line.backup.empty() || (IsStrictlyUnder(work, line.backup) && IsFullPath(line.backup));
        if (!targetOk || !IsFullPath(line.target) || !backupOk || !IsStrictlyUnder(work, line.staged) ||
            !IsFullPath(line.staged)) {
            return false;
        }
    }
    return true;
}

uint64_t LastWriteTime(const WideBuffer& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

enum class Superseded { kNo, kByThisAttempt, kByALaterInstall };

// A manifest written after the attempt's last record line means the attempt
// is over: either it committed and the crash came before its "安装提交" line
// (the manifest then carries its version, folder and every file it wrote), or
// a later install committed over it. Undoing either would break what the
// manifest describes.
Superseded CheckSuperseded(const ProductEntry& product, const WideBuffer& work, const RecoveryRecord& record,
                           const std::vector<LedgerRecordLine>& ledger) {
    WideBuffer path, recordPath;
    PathJoin(recordPath, work, kRecordName);
    ByteBuffer bytes;
    ManifestFields fields;
    if (!ManifestPath(product, path) || LastWriteTime(path) <= LastWriteTime(recordPath) ||
        !ReadWholeFile(path, bytes) || !ParseManifestBytes(bytes.data(), bytes.size(), fields)) {
        return Superseded::kNo;
    }
    if (record.version.empty() || fields.version != record.version || !EqualsNoCase(fields.dir, record.product_dir)) {
        return Superseded::kByALaterInstall;
    }
    return LedgerMatchesFileList(ledger, fields.files) ? Superseded::kByThisAttempt : Superseded::kByALaterInstall;
}

// What the held target holds, read through its handle.
TargetState StateOf(const RecoveryLine& line, const HeldFile& target) {
    if (!target.file) return TargetState::kMissing;
    if (!line.backup.empty() && HeldFileHolds(target, line.backup_hash, line.backup_size)) {
        return TargetState::kHoldsOriginal;
    }
    return HeldFileHolds(target, line.staged_hash, line.staged_size) ? TargetState::kHoldsWritten
                                                                     : TargetState::kHoldsOther;
}

// Restores what the target held before the attempt, only while it holds what
// the attempt wrote (torn copies excepted). The target is held from the
// install root (or the desktop) and the backup from the work folder, so what
// was checked is what is written or deleted, whatever is renamed meanwhile.
bool UndoStep(const RecoveryStep& step, const WideBuffer& root, const WideBuffer& work) {
    const RecoveryLine& l = *step.line;
    WideBuffer base;
    HeldFile target;
    if (!TrustedBaseOf(root, l.target, base) || !HoldFile(base, l.target, HeldAccess::kWrite, target, true)) {
        return false;
    }
    switch (DecideUndo(step, StateOf(l, target))) {
        case UndoAction::kNone:
            return true;
        case UndoAction::kRefuse:
            return false;
        case UndoAction::kRestore: {
            HeldFile backup;
            return HoldFile(work, l.backup, HeldAccess::kRead, backup) && backup.file &&
                   HeldFileHolds(backup, l.backup_hash, l.backup_size) && ReplaceHeldFile(target, backup.file.get());
        }
        case UndoAction::kDelete:
            return DeleteHeldFile(target);
    }
    return false;
}

// torn: a backup of a line beyond the ledger's overwrites, perhaps the one
// being written when the process died, which holds whatever the copy had
// reached; its name was recorded before it existed.
void CleanFile(const InstallTransaction& ledger, const WideBuffer& work, const WideBuffer& path,
               const WideBuffer& hash, uint64_t size, bool torn = false) {
    if (path.empty() || !FileExists(path)) return;
    bool cleaned = IsStrictlyUnder(work, path) &&
                   (torn ? DeleteFileBelow(work, path) : DeleteUnchangedFileBelow(work, path, hash, size));
    AppendLedgerLine(ledger, cleaned ? kLedgerCleaned : kLedgerCleanFailed, path);
}

// Without both files (an attempt stopped before its first overwrite, or one
// made before attempts kept a record) there is nothing to undo.
RecoveryRead ReadAttempt(const WideBuffer& work, RecoveryFiles& files) {
    WideBuffer ledgerPath, recordPath;
    PathJoin(ledgerPath, work, u"ledger.log");
    PathJoin(recordPath, work, kRecordName);
    if (FileSize(ledgerPath) == 0 || FileSize(recordPath) == 0) return RecoveryRead::kNothingToDo;
    ByteBuffer ledgerBytes, recordBytes;
    if (!HasNoReparsePoint(ledgerPath) || !HasNoReparsePoint(recordPath) ||
        !ReadRecoveryFile(ledgerPath, ledgerBytes) || !ReadRecoveryFile(recordPath, recordBytes)) {
        return RecoveryRead::kUnreadable;
    }
    return ReadRecoveryFiles(ledgerBytes.data(), ledgerBytes.size(), recordBytes.data(), recordBytes.size(), files);
}

bool IsFreshInstall(const RecoveryRecord& record) {
    for (const RecoveryLine& line : record.lines) {
        if (!line.backup.empty()) return false;
    }
    return true;
}

// One work folder; records what happened in outcome.
void RecoverAttempt(const ProductEntry& product, const WideBuffer& root, const WideBuffer& work,
                    RecoveryOutcome& outcome) {
    RecoveryFiles files;
    RecoveryRead attempt = ReadAttempt(work, files);
    if (attempt == RecoveryRead::kNothingToDo) return;
    InstallTransaction ledger;
    ledger.work_folder = work;
    PathJoin(ledger.ledger_path, work, u"ledger.log");
    KeepLedgerOpen(ledger);  // else each line opens it again
    bool ok = attempt == RecoveryRead::kPlanned && RecordIsTrustworthy(product, root, work, files.record);
    if (ok) {
        Superseded superseded = CheckSuperseded(product, work, files.record, files.ledger);
        if (superseded == Superseded::kByALaterInstall) return;
        if (superseded == Superseded::kByThisAttempt) {
            AppendLedgerLine(ledger, kLedgerCommitted, files.record.product_dir);
            outcome.acted = true;
            return;
        }
        for (const RecoveryStep& step : files.plan.steps) {
            bool undone = UndoStep(step, root, work);
            AppendLedgerLine(ledger, undone ? kLedgerRolledBack : kLedgerRollbackFailed, step.line->target);
            ok &= undone;
        }
    }
    if (ok) {
        for (size_t i = 0; i < files.record.lines.size(); ++i) {
            const RecoveryLine& line = files.record.lines[i];
            CleanFile(ledger, work, line.backup, line.backup_hash, line.backup_size, i >= files.plan.begun);
            CleanFile(ledger, work, line.staged, line.staged_hash, line.staged_size);
        }
        LogLine(u"[Parcelwright] 已撤回上次中断的安装：%s", work);
    } else {
        LogKeptOnce(work);
        outcome.incomplete = true;
        outcome.incompleteFreshInstall |= attempt == RecoveryRead::kPlanned && IsFreshInstall(files.record);
    }
    outcome.acted = true;
}

void RecoverBelow(const ProductEntry& product, const WideBuffer& root, RecoveryOutcome& outcome) {
    WideBuffer tempRoot;
    PathJoin(tempRoot, root, u"temp_setup");
    if (!HasNoReparsePoint(tempRoot)) return;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find = ListFolder(tempRoot, product.puc_type + u"-*", data);
    if (!find) return;
    do {
        std::u16string_view name = U(data.cFileName);
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsAttemptFolderName(name, product.puc_type)) {
            continue;
        }
        WideBuffer work;
        bool trusted = false;
        // The standard library may throw on a record that exhausts memory; the
        // folder is then left as it is and the catalog still loads.
        try {
            PathJoin(work, tempRoot, name);
            if (KnownToThisProcess(product, work)) continue;
            // Only a folder nobody but administrators and this user can change
            // says what this program did; any other is not even written to.
            UniqueHandle held, lock;
            if (!OpenTrustedWorkFolder(work, held)) {
                LogKeptOnce(work);
                continue;
            }
            trusted = true;
            if (!TakeAttemptLock(work, lock)) continue;
            RecoverAttempt(product, root, work, outcome);
        } catch (...) {
            if (!work.empty()) LogKeptOnce(work);
            outcome.incomplete |= trusted;
            outcome.acted |= trusted;
        }
    } while (FindNextFileW(find.get(), &data));
}

}  // namespace

bool BeginAttemptRecord(const ProductEntry& product, InstallTransaction& transaction) {
    WideBuffer lock, record;
    PathJoin(lock, transaction.work_folder, kLockName);
    PathJoin(record, transaction.work_folder, kRecordName);
    if (!HasNoReparsePoint(lock)) return false;
    HANDLE held = CreateFileW(W(lock), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (held == INVALID_HANDLE_VALUE) return false;
    transaction.attempt_lock = std::shared_ptr<void>(held, [](void* handle) { CloseHandle(handle); });
    std::string header = RecoveryHeaderText(product.puc_type, product.version, product.deploy_dir);
    if (!AppendBytes(record, header, CREATE_NEW)) return false;
    transaction.recovery_path = record;
    return true;
}

bool KeepRecoveryRecordOpen(InstallTransaction& transaction) {
    UniqueHandle file;
    if (transaction.recovery_path.empty() || !OpenAppendOnly(transaction.recovery_path, OPEN_EXISTING, file)) {
        return false;
    }
    transaction.recovery_file = std::shared_ptr<void>(file.release(), [](void* handle) { CloseHandle(handle); });
    return true;
}

bool RecordOverwrite(const InstallTransaction& transaction, std::u16string_view staged, std::u16string_view target,
                     const LedgerEntry& backup, ProductEntry& product, const LedgerEntry* registered) {
    if (transaction.recovery_path.empty()) return true;
    RecoveryLine line{WideBuffer(target), backup.backup_path, backup.backup_size, backup.backup_hash, 0, {},
                      WideBuffer(staged)};
    bool known = registered && !registered->hash.empty() && EqualsNoCase(registered->path, staged);
    if (known) {
        line.staged_hash = registered->hash;
        line.staged_size = registered->size;
    }
    std::string text = known || HashFileSha256(staged, line.staged_hash, &line.staged_size) ? RecoveryLineText(line)
                                                                                          : std::string();
    HANDLE held = transaction.recovery_file.get();
    if (text.empty() || !(held ? AppendBytes(held, text) : AppendBytes(transaction.recovery_path, text, OPEN_EXISTING))) {
        FormatSystemError(product.last_error, u"无法保存安装恢复记录，停止覆盖", GetLastError());
        return false;
    }
    return true;
}

RecoveryOutcome RecoverInterruptedAttempts(ProductEntry& product, std::u16string_view root) {
    RecoveryOutcome outcome;
    if (!IsDecimalDigits(product.puc_type)) return outcome;
    // Each folder catches what it throws; this is for the paths around them.
    try {
        WideBuffer chosen, recorded;
        if (FullPathOf(root, chosen)) RecoverBelow(product, chosen, outcome);
        if (!product.installed_root.empty() && FullPathOf(product.installed_root, recorded) &&
            !(FullPathOf(root, chosen) && IsSameDirectory(chosen, recorded))) {
            RecoverBelow(product, recorded, outcome);
        }
    } catch (...) {
    }
    return outcome;
}

void ReadInstallRecord(ProductEntry& product, std::u16string_view root) {
    ReadInstallManifest(product, root);  // the recorded root tells where else to look
    RecoveryOutcome outcome = RecoverInterruptedAttempts(product, root);
    if (outcome.acted) RefreshInstallRecord(product, root, outcome);
}

void RefreshInstallRecord(ProductEntry& product, std::u16string_view root, const RecoveryOutcome& outcome) {
    ReadInstallManifest(product, root);
    WideBuffer manifest;
    // What an interrupted fresh install could not undo is no installation.
    if (outcome.incompleteFreshInstall && product.installed && ManifestPath(product, manifest) &&
        !FileExists(manifest)) {
        product.installed = false;
        product.installed_main.clear();
    }
}
