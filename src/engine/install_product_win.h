// One product installed into one product folder below an install root, as one
// transaction: download and re-check the package, install its prerequisites,
// run it as an installer or extract and deploy it file by file, check the main
// program, add the shortcut, write the manifest and commit; or roll back.
#pragma once

#include <windows.h>

#include "base/log.h"
#include "catalog/product.h"
#include "package/transaction.h"

// True when installed and committed (or already installed in this run). On
// false, failed is set and last_error says why.
bool InstallProduct(ProductEntry& product, std::u16string_view root, bool createShortcut, StatusCallback callback,
                    void* context, HANDLE cancelEvent);

// Moves the downloaded package to work folder\package.exe (or setup-<tick>.exe
// when that fails) and registers it; package_path follows. On failure
// last_error holds "无法准备执行安装包" with the system's reason, and a moved
// file the transaction could not register is deleted.
bool MakePackageExecutable(ProductEntry& product, InstallTransaction& t);
