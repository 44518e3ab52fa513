// Moving a product to another install root: once the install below the new
// root is committed, what the old manifest listed is removed from the old copy.
// The old folder, anything unlisted (user data) and every file the new install
// owns again stay.
#pragma once

#include "catalog/product.h"

// Never fails the operation: problems are logged and the file stays.
void CleanupMigratedInstall(const ProductEntry& product, std::u16string_view oldRoot, std::u16string_view oldDir,
                            const StringList& oldList);
