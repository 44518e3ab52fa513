// One product installed into one product folder below an install root, as one
// transaction: download and re-check the package, install its prerequisites,
// run it as an installer or extract and deploy it file by file, check the main
// program, add the shortcut, write the manifest and commit; or roll back.
#pragma once

#include <windows.h>

#include "base/log.h"
#include "catalog/product.h"

// True when installed and committed (or already installed in this run). On
// false, failed is set and last_error says why.
bool InstallProduct(ProductEntry& product, std::u16string_view root, bool createShortcut, StatusCallback callback,
                    void* context, HANDLE cancelEvent);
