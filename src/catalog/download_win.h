// Streams a product's package into its install attempt's work folder, with
// progress, web-page and quarantine detection, then records its SHA-256.
#pragma once

#include <windows.h>

#include "base/log.h"
#include "catalog/product.h"

bool DownloadPackage(ProductEntry& product, InstallTransaction& transaction, StatusCallback callback,
                     void* context, HANDLE cancelEvent);

// What follows the transfer: registers package.bin.part, judges the body,
// checks the file is still there at its size (security software removes fresh
// downloads), renames it to package_path and records its SHA-256.
bool FinishDownload(ProductEntry& product, InstallTransaction& transaction, bool bodyComplete, HANDLE cancelEvent);
