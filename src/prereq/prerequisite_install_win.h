// Installing a product's declared runtimes before the product itself: each
// missing one is downloaded into the install's work folder and run silently and
// elevated (.NET Framework 3.5 through DISM, DirectX in two stages). A runtime
// that cannot be installed becomes a warning; only a cancel stops the product.
#pragma once

#include <windows.h>

#include <vector>

#include "base/handles_win.h"
#include "base/log.h"
#include "catalog/product.h"
#include "package/transaction.h"

// False only when cancelled (last_error then says so).
bool InstallPrerequisites(ProductEntry& product, InstallTransaction& transaction, StatusCallback callback,
                          void* context, HANDLE cancelEvent);

// One runtime already known to be missing: downloaded (or enabled through
// DISM) and run; false only when cancelled.
bool InstallMissingPrerequisite(ProductEntry& product, InstallTransaction& transaction, int row,
                                StatusCallback callback, void* context, HANDLE cancelEvent);

// Downloads url to target (through target + ".part"); true when target exists,
// starts with "MZ" and is registered in the transaction.
bool DownloadPrerequisite(ProductEntry& product, InstallTransaction& transaction, const WideBuffer& url,
                          const WideBuffer& target, StatusCallback callback, void* context, HANDLE cancelEvent,
                          WideBuffer& error);

// A registered file (or every registered file below a folder, which must hold
// no other file) opened with read sharing only and checked against what was
// registered, so that what runs elevated next is what was downloaded.
bool HoldRegisteredFile(InstallTransaction& transaction, const WideBuffer& path, std::vector<UniqueHandle>& held);
bool HoldRegisteredTree(InstallTransaction& transaction, const WideBuffer& folder, std::vector<UniqueHandle>& held);

// Starts program elevated ("runas", hidden, no error boxes) and waits for it
// without regard to cancelling; held files are released only once it has
// ended. An exit code that cannot be read is a failure.
bool RunElevatedAndWait(const WideBuffer& program, const WideBuffer& arguments, const WideBuffer& folder,
                        DWORD& exitCode, WideBuffer& error, std::vector<UniqueHandle>* held = nullptr);
