// Install manifests on disk: the one proof the program accepts that a folder
// is its installation of a product. Read before every maintenance step,
// written once per successful install, never edited in place.
#pragma once

#include "catalog/product.h"
#include "package/manifest.h"
#include "package/transaction.h"

// %LOCALAPPDATA%\TwParcelwright\installed\<puc_type>.manifest, or false.
bool ManifestPath(const ProductEntry& product, WideBuffer& path);
bool ReadInstallManifest(ProductEntry& product, std::u16string_view installRoot);
bool WriteInstallManifest(ProductEntry& product, const InstallTransaction& transaction, uint32_t type);
bool ValidateRecordedFile(const ProductEntry& product, std::u16string_view path);
bool CheckDirectoryOwnership(ProductEntry& product, std::u16string_view dir);
