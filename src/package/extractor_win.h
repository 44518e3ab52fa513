// Finding 7-Zip or WinRAR and running them (or a self-extractor) on a package.
#pragma once

#include <windows.h>

#include "catalog/product.h"
#include "package/package_format.h"
#include "package/transaction.h"

bool FindExtractor(std::u16string_view folder, std::u16string_view program, WideBuffer& path);
// CheckArchiveListing over the listing log; a missing or unreadable log fails.
bool CheckListingFile(const WideBuffer& log, std::u16string_view destination, bool is7zip);
bool RunExternalExtractor(ProductEntry& product, InstallTransaction& transaction, std::u16string_view destination,
                          PackageFormat format, HANDLE cancelEvent);
