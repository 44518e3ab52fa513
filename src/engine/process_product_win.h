// Choosing what happens to one product of a run: a fresh install, a reinstall
// or update in place, a move to another root, or an uninstall. Refusals are
// recorded on the product and change nothing on disk.
#pragma once

#include <windows.h>

#include "base/log.h"
#include "catalog/product.h"

bool ProcessProduct(ProductEntry& product, std::u16string_view root, bool createShortcut, int32_t mode, bool purge,
                    StatusCallback callback, void* context, HANDLE cancelEvent);
