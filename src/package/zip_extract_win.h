// Package files on disk: what format a download is, and ZIP extraction into
// the install attempt's staging folder with every file registered.
#pragma once

#include <windows.h>

#include "catalog/product.h"
#include "package/package_format.h"
#include "package/transaction.h"

PackageFormat DetectPackageFormat(std::u16string_view packagePath);
bool ExtractZipPackage(ProductEntry& product, InstallTransaction& transaction, std::u16string_view destination,
                       HANDLE cancelEvent);
