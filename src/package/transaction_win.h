// Deploying staged files into a product folder with backups, and rolling an
// install back or cleaning up after it, guarded by recorded content.
#pragma once

#include <windows.h>

#include "base/handles_win.h"
#include "base/log.h"
#include "catalog/product.h"
#include "package/transaction.h"

// knownHash: the file's SHA-256, already computed where its bytes passed
// (written or copied while held); otherwise the file is read to hash it. An
// entry for the path already there is hashed again from the file either way.
LedgerEntry* RegisterTempFile(InstallTransaction& transaction, std::u16string_view path,
                              const WideBuffer* knownHash = nullptr, uint64_t knownSize = 0);
bool RegisterTreeAsTemp(InstallTransaction& transaction, std::u16string_view folder, int depth = 0);
bool DeployFile(InstallTransaction& transaction, std::u16string_view staged, std::u16string_view target,
                ProductEntry& product);
bool DeployTree(ProductEntry& product, InstallTransaction& transaction, std::u16string_view stagingRoot,
                std::u16string_view folder, HANDLE cancelEvent, int depth = 0);
// The file exists with this size and SHA-256 and is not reached through a link.
bool VerifyFileUnchanged(std::u16string_view path, std::u16string_view hash, uint64_t size);
// Opens path for reading with read sharing only and then verifies it, so that
// nobody can change or replace it while hold lives; hold is empty on false.
bool HoldFileUnchanged(std::u16string_view path, std::u16string_view hash, uint64_t size, UniqueHandle& hold);
void RollbackTransaction(ProductEntry& product, InstallTransaction& transaction, bool rollback,
                         StatusCallback callback, void* context);
