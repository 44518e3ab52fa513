// One install attempt as a transaction: every file it registers or deploys is
// recorded with its size and SHA-256, overwritten files are backed up, and a
// rollback or cleanup only touches files whose content is still as recorded.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "base/text.h"

struct HeldFolderCache;

struct LedgerEntry {
    WideBuffer path;         // installed target or temporary file
    WideBuffer backup_path;  // copy of what the target replaced; empty when it did not exist
    WideBuffer hash;
    WideBuffer backup_hash;
    uint64_t size = 0;
    uint64_t backup_size = 0;
    bool temporary = false;
    bool rolled_back = false;
};

// The entries by path (folded as EqualsNoCase folds), the newest for each.
// A copy starts empty and is rebuilt on first use, since its pointers would
// name the other transaction's entries.
struct LedgerIndex {
    std::unordered_map<WideBuffer, LedgerEntry*> by_path;
    size_t indexed = 0;  // entries counted in by_path; another count means stale
    LedgerIndex() = default;
    LedgerIndex(const LedgerIndex&) : indexed(static_cast<size_t>(-1)) {}
    LedgerIndex& operator=(const LedgerIndex&) {
        by_path.clear();
        indexed = static_cast<size_t>(-1);
        return *this;
    }
};

struct InstallTransaction {
    WideBuffer root;         // full path of the install root
    WideBuffer work_folder;  // root\temp_setup\<product>-<pid>-<tick>
    WideBuffer ledger_path;
    WideBuffer package_hash;
    WideBuffer main_program_hash;
    uint64_t package_size = 0;
    uint64_t main_program_size = 0;
    bool committed = false;
    bool rollback_incomplete = false;
    std::list<LedgerEntry> entries;  // newest first; added through AddLedgerEntry
    LedgerIndex index;
    std::unique_ptr<InstallTransaction> older;
    WideBuffer recovery_path;            // recovery.tsv of the attempt; empty: none is kept
    std::shared_ptr<void> attempt_lock;  // attempt.lock, held open while the transaction lives
    std::shared_ptr<void> work_folder_hold;  // the work folder, held against renaming while the transaction lives
    std::shared_ptr<void> ledger_file;       // ledger.log kept open for appending; empty: opened per line
    std::shared_ptr<void> recovery_file;     // recovery.tsv kept open for appending; empty: opened per line
    std::shared_ptr<HeldFolderCache> folder_cache;  // folders held while DeployTree runs
};

// The ledger's kind words.
extern const char16_t kLedgerTemporary[];
extern const char16_t kLedgerAboutToOverwrite[];
extern const char16_t kLedgerOverwritten[];
extern const char16_t kLedgerOverwriteFailed[];
extern const char16_t kLedgerCommitted[];
extern const char16_t kLedgerRolledBack[];
extern const char16_t kLedgerRollbackFailed[];
extern const char16_t kLedgerCleaned[];
extern const char16_t kLedgerCleanFailed[];

// "<kind>\t<path>\r\n" as UTF-8.
std::string LedgerLineText(std::u16string_view kind, std::u16string_view path);

// "<puc_type>-<process id>-<tick>", the work folder's name below temp_setup.
WideBuffer WorkFolderName(std::u16string_view pucType, uint32_t processId, uint32_t tick);

// "backup-<tick>-<n>.bin".
WideBuffer BackupFileName(uint32_t tick, uint32_t number);

// The entry for path (ASCII case ignored), the newest when several, or null.
// Found through the index; entries put in the list by other means (or
// removed from it) make it rebuild once.
LedgerEntry* FindLedgerEntry(InstallTransaction& transaction, std::u16string_view path);
// Puts entry at the front of the list and in the index.
LedgerEntry& AddLedgerEntry(InstallTransaction& transaction, LedgerEntry entry);
