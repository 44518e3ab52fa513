// Removing a product the program deployed itself, using only what its install
// manifest proves: the listed paths, or with purge the whole product folder.
// Every path is checked before the first one is deleted, and the manifest goes
// last, so an interrupted uninstall can simply be repeated. Files are deleted
// through handles held from the install root (see held_path_win.h).
#pragma once

#include <windows.h>

#include "base/log.h"
#include "catalog/product.h"

bool UninstallProduct(ProductEntry& product, bool purge, StatusCallback callback, void* context, HANDLE cancelEvent);
bool DeleteFileSet(ProductEntry& product, bool removeFolder, const StringList& files, StatusCallback callback,
                   void* context, HANDLE cancelEvent);
// Every file below folder, never through a link.
bool CollectTreeFiles(StringListAdder& list, std::u16string_view folder, int depth = 0);
// Removes folder (below base, the folder its handles are held from) and its
// empty sub-folders; false when a file or link is left.
bool RemoveEmptyTree(std::u16string_view base, std::u16string_view folder, int depth = 0);
