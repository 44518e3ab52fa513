// Undoing on the next run an install attempt that a crash, a kill or a power
// cut interrupted: its work folder's ledger and recovery.tsv are read back and
// every target it wrote is restored while it still holds what was written.
#pragma once

#include "catalog/product.h"
#include "package/recovery.h"
#include "package/transaction.h"

// Starts the attempt's record: attempt.lock held for the transaction's life
// (so no other process takes the folder for an interrupted one) and the
// header of recovery.tsv.
bool BeginAttemptRecord(const ProductEntry& product, InstallTransaction& transaction);

// Keeps recovery.tsv open for the transaction's life (after
// BeginAttemptRecord), so that a line costs one write and one flush.
bool KeepRecoveryRecordOpen(InstallTransaction& transaction);

// Appends the overwrite of target (with the backup in entry) to recovery.tsv
// and flushes it, before the copy starts; sets last_error on failure. The
// staged file's hash is taken from registered, its entry, when given (its
// content was hashed when it was registered); otherwise it is read.
bool RecordOverwrite(const InstallTransaction& transaction, std::u16string_view staged, std::u16string_view target,
                     const LedgerEntry& backup, ProductEntry& product, const LedgerEntry* registered = nullptr);

struct RecoveryOutcome {
    bool acted = false;       // some folder was undone, or found committed
    bool incomplete = false;  // some folder could not be undone entirely
    bool incompleteFreshInstall = false;  // ...and it was a fresh install's
};

// Looks in temp_setup below root and below the product's recorded root for
// attempts of this product that no running process owns, and undoes them.
RecoveryOutcome RecoverInterruptedAttempts(ProductEntry& product, std::u16string_view root);

// The product's install record as it is after any interrupted attempt was
// undone: what the window shows and what the operations act on.
void ReadInstallRecord(ProductEntry& product, std::u16string_view root);
// The record read again after a recovery pass that acted.
void RefreshInstallRecord(ProductEntry& product, std::u16string_view root, const RecoveryOutcome& outcome);
